#!/usr/bin/env python3
"""Writes query/pinyin_table.inc: the pinyin codes of every GBK double-byte character.

A character's code is the first letter of its syllable when the syllable starts with a consonant (zh, ch, sh give
z, c, s; y and w count as consonants), and the whole toneless syllable when it starts with a vowel (a, e, o, ai, an,
ang, er, ...). A character with several readings has several codes. Full-width Latin letters get the code of their
lower-case letter. Every other double-byte code has no code.

Readings are the union of the Unihan fields kMandarin and kTGHZ2013, plus the readings listed in
tools/pinyin_supplement.txt: readings that names use and those two fields lack (晟 shèng), each with its reason.
Compatibility ideographs read as their canonical (NFC) form. The table maps each GBK code to a small class id; a
class is one distinct set of codes. The output depends only on the two input files.

Usage (needs Debian's unicode-data package; the build itself does not):
    python3 tools/gen_pinyin.py [/usr/share/unicode/Unihan_Readings.txt.bz2] > query/pinyin_table.inc
"""

import bz2
import os
import sys
import unicodedata

UNIHAN = "/usr/share/unicode/Unihan_Readings.txt.bz2"
SUPPLEMENT = os.path.join(os.path.dirname(os.path.abspath(__file__)), "pinyin_supplement.txt")
FIELDS = ("kMandarin", "kTGHZ2013")
VOWELS = "aeo"


def load_readings(path):
    readings = {}
    with bz2.open(path, "rt", encoding="utf-8") as f:
        for line in f:
            if line.startswith("#") or not line.strip():
                continue
            cp, field, value = line.rstrip("\n").split("\t", 2)
            if field not in FIELDS:
                continue
            ch = chr(int(cp[2:], 16))
            for item in value.split():
                # kTGHZ2013 items read "page.position[,page.position]:reading"
                reading = item.rsplit(":", 1)[-1]
                readings.setdefault(ch, set()).add(reading)
    return readings


def load_supplement(path):
    """The lines of the supplement as (line number, character, reading); each must carry a reason."""
    entries = []
    with open(path, encoding="utf-8") as f:
        for number, line in enumerate(f, 1):
            line = line.strip()
            if not line or line.startswith("#"):
                continue
            parts = line.split(None, 2)
            if len(parts) < 3 or len(parts[0]) != 1:
                raise SystemExit(f"{path}:{number}: expected: character, reading, reason")
            entries.append((number, parts[0], parts[1]))
    return entries


def add_supplement(readings, entries, path):
    for number, ch, reading in entries:
        try:
            ch.encode("gbk")
        except UnicodeEncodeError:
            raise SystemExit(f"{path}:{number}: {ch} is no GBK character")
        known = readings.setdefault(ch, set())
        # The table keeps codes: a reading whose code the character already has would change nothing.
        if code_of(reading) in {code_of(r) for r in known}:
            raise SystemExit(f"{path}:{number}: {ch} already has the code of {reading}; drop the line")
        known.add(reading)


def toneless(syllable):
    decomposed = unicodedata.normalize("NFD", syllable.lower())
    return "".join(c for c in decomposed if not unicodedata.combining(c))


def code_of(syllable):
    s = toneless(syllable)
    if not s or not ("a" <= s[0] <= "z"):
        raise ValueError(f"unexpected reading {syllable!r}")
    return s if s[0] in VOWELS else s[0]


# Python's codec follows GB18030-2000, which maps these GBK codes to private-use points; the program converts text
# with glibc's iconv, which follows GB18030-2005 and reads them as the ideographs below.
GB18030_2005 = {
    0xFE51: 0x20087, 0xFE52: 0x20089, 0xFE53: 0x200CC, 0xFE59: 0x9FB4, 0xFE61: 0x9FB5, 0xFE66: 0x9FB6,
    0xFE67: 0x9FB7, 0xFE6C: 0x215D7, 0xFE6D: 0x9FB8, 0xFE76: 0x2298F, 0xFE7E: 0x9FB9, 0xFE90: 0x9FBA,
    0xFE91: 0x241FE, 0xFEA0: 0x9FBB,
}


def decode(lead, trail):
    code = lead << 8 | trail
    if code in GB18030_2005:
        return chr(GB18030_2005[code])
    try:
        return bytes([lead, trail]).decode("gb18030")
    except UnicodeDecodeError:
        return ""


def gbk_codes():
    for lead in range(0x81, 0xFF):
        for trail in list(range(0x40, 0x7F)) + list(range(0x80, 0xFF)):
            yield lead, trail


def codes_of_char(ch, readings):
    o = ord(ch)
    if 0xFF21 <= o <= 0xFF3A:
        return {chr(o - 0xFF21 + ord("a"))}
    if 0xFF41 <= o <= 0xFF5A:
        return {chr(o - 0xFF41 + ord("a"))}
    r = readings.get(ch)
    if r is None:
        r = readings.get(unicodedata.normalize("NFC", ch))
    if not r:
        return set()
    return {code_of(s) for s in r}


def main():
    path = sys.argv[1] if len(sys.argv) > 1 else UNIHAN
    readings = load_readings(path)
    add_supplement(readings, load_supplement(SUPPLEMENT), SUPPLEMENT)

    class_of = []
    classes = {(): 0}
    for lead, trail in gbk_codes():
        ch = decode(lead, trail)
        codes = tuple(sorted(codes_of_char(ch, readings))) if len(ch) == 1 else ()
        if codes not in classes:
            classes[codes] = len(classes)
        class_of.append(classes[codes])

    if len(classes) > 256:
        raise SystemExit(f"{len(classes)} classes do not fit a byte")

    out = sys.stdout
    out.write("// Generated by tools/gen_pinyin.py from Unihan (kMandarin + kTGHZ2013) and the readings of\n")
    out.write("// tools/pinyin_supplement.txt; do not edit.\n")
    out.write("// Regenerate: python3 tools/gen_pinyin.py > query/pinyin_table.inc\n")
    out.write("//\n")
    out.write("// kPinyinClassCodes[c]: the codes of class c, separated by blanks (class 0: no code).\n")
    out.write("// kPinyinClassOfGbk[(lead - 0x81) * 190 + trailIndex]: the class of a GBK double-byte code, where\n")
    out.write("// trailIndex counts the trail bytes 0x40..0x7E, 0x80..0xFE in order.\n\n")
    out.write(f"inline constexpr int kPinyinClassCount = {len(classes)};\n\n")
    out.write("inline constexpr const char* kPinyinClassCodes[kPinyinClassCount] = {\n")
    for codes, cid in sorted(classes.items(), key=lambda kv: kv[1]):
        out.write(f'    "{" ".join(codes)}", // {cid}\n')
    out.write("};\n\n")
    out.write(f"inline constexpr unsigned char kPinyinClassOfGbk[{len(class_of)}] = {{\n")
    for i in range(0, len(class_of), 24):
        out.write("    " + ",".join(str(c) for c in class_of[i : i + 24]) + ",\n")
    out.write("};\n")


if __name__ == "__main__":
    main()
