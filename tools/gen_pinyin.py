#!/usr/bin/env python3
"""Writes query/pinyin_table.inc: the pinyin codes and toneless syllables of every GBK double-byte character, and the
readings of characters as surnames.

A character's code is the first letter of its syllable when the syllable starts with a consonant (zh, ch, sh give
z, c, s; y and w count as consonants), and the whole toneless syllable when it starts with a vowel (a, e, o, ai, an,
ang, er, ...). A character with several readings has several codes. Full-width Latin letters get the code of their
lower-case letter. Every other double-byte code has no code.

Readings are the union of the Unihan fields kMandarin and kTGHZ2013, plus the readings listed in
tools/pinyin_supplement.txt: readings that names use and those two fields lack (晟 shèng), each with its reason.
Compatibility ideographs read as their canonical (NFC) form. The table maps each GBK code to a small class id; a
class is one distinct set of codes. The output depends only on the input files.

Each character's toneless syllables are kept in order: its kMandarin reading (the usual one) first, then the other
readings as the fields and the supplement list them. tools/pinyin_surnames.txt lists the characters whose reading as
a surname is not the usual one (曾 zēng, 单 shàn), and compound surnames whose characters read otherwise together
(万俟 mò qí); each reading there must be one the character has.

Usage (needs Debian's unicode-data package; the build itself does not):
    python3 tools/gen_pinyin.py [/usr/share/unicode/Unihan_Readings.txt.bz2] > query/pinyin_table.inc
"""

import bz2
import os
import sys
import unicodedata

UNIHAN = "/usr/share/unicode/Unihan_Readings.txt.bz2"
SUPPLEMENT = os.path.join(os.path.dirname(os.path.abspath(__file__)), "pinyin_supplement.txt")
SURNAMES = os.path.join(os.path.dirname(os.path.abspath(__file__)), "pinyin_surnames.txt")
FIELDS = ("kMandarin", "kTGHZ2013")
VOWELS = "aeo"


def load_readings(path):
    """Each character's readings in order: kMandarin's first, then kTGHZ2013's; each toneless syllable once."""
    by_field = {field: {} for field in FIELDS}
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
                by_field[field].setdefault(ch, []).append(item.rsplit(":", 1)[-1])
    readings = {}
    for field in FIELDS:
        for ch, items in by_field[field].items():
            known = readings.setdefault(ch, [])
            for reading in items:
                if toneless(reading) not in map(toneless, known):
                    known.append(reading)
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
        known = readings.setdefault(ch, [])
        if toneless(reading) in map(toneless, known):
            raise SystemExit(f"{path}:{number}: {ch} already reads {toneless(reading)}; drop the line")
        known.append(reading)


def toneless(syllable):
    """The syllable without its tone, ü written v as it is typed (lǜ is lv)."""
    decomposed = unicodedata.normalize("NFD", syllable.lower()).replace("u\u0308", "v")
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


def readings_of_char(ch, readings):
    r = readings.get(ch)
    if r is None:
        r = readings.get(unicodedata.normalize("NFC", ch))
    return r or []


def syllables_of_char(ch, readings):
    """The toneless syllables, the usual one first."""
    out = []
    for reading in readings_of_char(ch, readings):
        syllable = toneless(reading)
        if syllable not in out:
            out.append(syllable)
    return out


def codes_of_char(ch, readings):
    o = ord(ch)
    if 0xFF21 <= o <= 0xFF3A:
        return {chr(o - 0xFF21 + ord("a"))}
    if 0xFF41 <= o <= 0xFF5A:
        return {chr(o - 0xFF41 + ord("a"))}
    return {code_of(s) for s in readings_of_char(ch, readings)}


def load_surnames(path, readings):
    """(characters, syllables) per line of the surname list: one character and its surname reading, or a compound
    surname and one reading per character. Every reading must be one the character has."""
    single, compound = [], []
    with open(path, encoding="utf-8") as f:
        for number, line in enumerate(f, 1):
            line = line.strip()
            if not line or line.startswith("#"):
                continue
            parts = line.split(None, 2)
            if len(parts) < 3:
                raise SystemExit(f"{path}:{number}: expected: surname, readings joined by -, reason")
            chars, syllables = parts[0], [toneless(r) for r in parts[1].split("-")]
            if len(chars) != len(syllables) or len(chars) > 2:
                raise SystemExit(f"{path}:{number}: one reading per character of a surname of one or two")
            for ch, syllable in zip(chars, syllables):
                try:
                    ch.encode("gbk")
                except UnicodeEncodeError:
                    raise SystemExit(f"{path}:{number}: {ch} is no GBK character")
                if syllable not in syllables_of_char(ch, readings):
                    raise SystemExit(f"{path}:{number}: {ch} has no reading {syllable}; add it to the supplement")
            usual = [syllables_of_char(ch, readings)[0] for ch in chars]
            if len(chars) == 1:
                if syllables == usual:
                    raise SystemExit(f"{path}:{number}: {chars} reads {syllables[0]} anyway; drop the line")
                single.append((chars, syllables))
            else:
                compound.append((chars, syllables))
    return single, compound


def gbk_index(ch):
    """The index of a GBK double-byte character in the order of gbk_codes()."""
    if ch not in GBK_INDEX:
        raise SystemExit(f"{ch} is no GBK double-byte character")
    return GBK_INDEX[ch]


GBK_INDEX = {}


def main():
    path = sys.argv[1] if len(sys.argv) > 1 else UNIHAN
    readings = load_readings(path)
    add_supplement(readings, load_supplement(SUPPLEMENT), SUPPLEMENT)
    single, compound = load_surnames(SURNAMES, readings)

    class_of = []
    classes = {(): 0}
    reading_of = []  # per GBK code: the index of its syllable list in `lists`
    lists = {(): 0}
    all_syllables = set()
    for index, (lead, trail) in enumerate(gbk_codes()):
        ch = decode(lead, trail)
        GBK_INDEX.setdefault(ch, index)
        codes = tuple(sorted(codes_of_char(ch, readings))) if len(ch) == 1 else ()
        if codes not in classes:
            classes[codes] = len(classes)
        class_of.append(classes[codes])
        syllables = tuple(syllables_of_char(ch, readings)) if len(ch) == 1 else ()
        if syllables not in lists:
            lists[syllables] = len(lists)
        reading_of.append(lists[syllables])
        all_syllables.update(syllables)

    if len(classes) > 256:
        raise SystemExit(f"{len(classes)} classes do not fit a byte")
    syllable_list = sorted(all_syllables)
    syllable_id = {syl: i for i, syl in enumerate(syllable_list)}
    # Flat lists: a count, then that many syllable ids; reading_of points at the count.
    flat, start = [], {}
    for syllables, lid in sorted(lists.items(), key=lambda kv: kv[1]):
        start[lid] = len(flat)
        flat.append(len(syllables))
        flat.extend(syllable_id[s] for s in syllables)
    if len(flat) > 65535:
        raise SystemExit("the syllable lists do not fit 16 bits")

    out = sys.stdout
    out.write("// Generated by tools/gen_pinyin.py from Unihan (kMandarin + kTGHZ2013), the readings of\n")
    out.write("// tools/pinyin_supplement.txt and the surnames of tools/pinyin_surnames.txt; do not edit.\n")
    out.write("// Regenerate: python3 tools/gen_pinyin.py > query/pinyin_table.inc\n")
    out.write("//\n")
    out.write("// kPinyinClassCodes[c]: the codes of class c, separated by blanks (class 0: no code).\n")
    out.write("// kPinyinClassOfGbk[(lead - 0x81) * 190 + trailIndex]: the class of a GBK double-byte code, where\n")
    out.write("// trailIndex counts the trail bytes 0x40..0x7E, 0x80..0xFE in order.\n")
    out.write("// kPinyinSyllables: every toneless syllable, sorted. kPinyinReadingOfGbk[same index]: where the character's\n")
    out.write("// list starts in kPinyinReadingLists, which holds a count and that many syllable numbers, the usual first.\n")
    out.write("// kPinyinSurnames: GBK index and syllable of the characters read otherwise as a surname, by index;\n")
    out.write("// kPinyinCompoundSurnames: the two GBK indexes and syllables of compound surnames read otherwise.\n\n")
    out.write(f"inline constexpr int kPinyinClassCount = {len(classes)};\n\n")
    out.write("inline constexpr const char* kPinyinClassCodes[kPinyinClassCount] = {\n")
    for codes, cid in sorted(classes.items(), key=lambda kv: kv[1]):
        out.write(f'    "{" ".join(codes)}", // {cid}\n')
    out.write("};\n\n")
    out.write(f"inline constexpr unsigned char kPinyinClassOfGbk[{len(class_of)}] = {{\n")
    for i in range(0, len(class_of), 24):
        out.write("    " + ",".join(str(c) for c in class_of[i : i + 24]) + ",\n")
    out.write("};\n\n")
    out.write(f"inline constexpr int kPinyinSyllableCount = {len(syllable_list)};\n\n")
    out.write("inline constexpr const char* kPinyinSyllables[kPinyinSyllableCount] = {\n")
    for i in range(0, len(syllable_list), 12):
        out.write("    " + " ".join(f'"{syl}",' for syl in syllable_list[i : i + 12]) + "\n")
    out.write("};\n\n")
    out.write(f"inline constexpr unsigned short kPinyinReadingLists[{len(flat)}] = {{\n")
    for i in range(0, len(flat), 24):
        out.write("    " + ",".join(str(v) for v in flat[i : i + 24]) + ",\n")
    out.write("};\n\n")
    out.write(f"inline constexpr unsigned short kPinyinReadingOfGbk[{len(reading_of)}] = {{\n")
    for i in range(0, len(reading_of), 24):
        out.write("    " + ",".join(str(start[v]) for v in reading_of[i : i + 24]) + ",\n")
    out.write("};\n\n")
    rows = sorted((gbk_index(chars), syllable_id[syls[0]], chars) for chars, syls in single)
    out.write(f"inline constexpr int kPinyinSurnameCount = {len(rows)};\n\n")
    out.write("inline constexpr unsigned short kPinyinSurnames[kPinyinSurnameCount][2] = {\n")
    for index, sid, chars in rows:
        out.write(f"    {{{index}, {sid}}}, // {chars} {syllable_list[sid]}\n")
    out.write("};\n\n")
    rows = sorted((gbk_index(chars[0]), gbk_index(chars[1]), syllable_id[syls[0]], syllable_id[syls[1]], chars)
                  for chars, syls in compound)
    out.write(f"inline constexpr int kPinyinCompoundSurnameCount = {len(rows)};\n\n")
    out.write("inline constexpr unsigned short kPinyinCompoundSurnames[kPinyinCompoundSurnameCount][4] = {\n")
    for a, b, sa, sb, chars in rows:
        out.write(f"    {{{a}, {b}, {sa}, {sb}}}, // {chars} {syllable_list[sa]} {syllable_list[sb]}\n")
    out.write("};\n")


if __name__ == "__main__":
    main()
