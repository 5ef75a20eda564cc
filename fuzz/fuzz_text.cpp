// The GB18030 codec and the byte helpers on any input.
//
// Valid UTF-8 goes to GBK and back unchanged, and the helpers are checked against the same operation done on the
// Unicode text (full width is U+FF01.., the ideographic space U+3000). Arbitrary bytes never crash a helper, a
// replaced byte is reported, and the line functions agree with each other.
#include "text/gbk.h"

#include <QList>
#include <QString>
#include <QStringDecoder>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

using namespace telvane;

namespace {

[[noreturn]] void fail(const char* what, std::string_view input)
{
    std::fprintf(stderr, "fuzz_text: %s (input of %zu bytes)\n", what, input.size());
    std::abort();
}

void check(bool condition, const char* what, std::string_view input)
{
    if (!condition) {
        fail(what, input);
    }
}

// The Unicode form of toFullWidth: ! .. ~ become the full-width forms, the space the ideographic space. GB18030
// A3 A4 and A3 FE are the yuan sign and the macron, not U+FF04 and U+FF5E.
QString fullWidthUnicode(const QString& s)
{
    QString out;
    out.reserve(s.size());
    for (QChar c : s) {
        const char16_t u = c.unicode();
        if (u == u' ') {
            out += QChar(0x3000);
        } else if (u == u'$') {
            out += QChar(0xFFE5);
        } else if (u == u'~') {
            out += QChar(0xFFE3);
        } else if (u >= 0x21 && u <= 0x7E) {
            out += QChar(static_cast<char16_t>(u - 0x21 + 0xFF01));
        } else {
            out += c;
        }
    }
    return out;
}

QString utf8(const std::string& s)
{
    // Keeps a leading U+FEFF, which QString::fromUtf8 would drop.
    QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::ConvertInitialBom);
    return decoder(QByteArrayView(s.data(), static_cast<qsizetype>(s.size())));
}

// The private-use code points that GB18030-2022 gave to standard characters: the system's converter maps them to
// nothing, and a text holding one is converted with a replacement.
bool unmappedPrivateUse(char32_t c)
{
    static constexpr char32_t kUnmapped[] = {0xE78D, 0xE78E, 0xE78F, 0xE790, 0xE791, 0xE792, 0xE793, 0xE794,
                                             0xE795, 0xE796, 0xE816, 0xE817, 0xE818, 0xE81E, 0xE826, 0xE82B,
                                             0xE82C, 0xE831, 0xE832, 0xE83B, 0xE843, 0xE854, 0xE855, 0xE864};
    return std::find(std::begin(kUnmapped), std::end(kUnmapped), c) != std::end(kUnmapped);
}

// Whether the input is UTF-8 that GB18030 holds whole.
bool representable(std::string_view input)
{
    if (!text::isValidUtf8(input)) {
        return false;
    }
    const QString unicode = utf8(std::string(input));
    for (const QChar c : unicode) {
        if (unmappedPrivateUse(c.unicode())) {
            return false;
        }
    }
    return true;
}

// Valid text: every helper does on bytes what the Unicode operation does on characters. `gbk` is what utf8ToGbk
// made of the input, `converted` whether it reported it clean.
void validText(std::string_view input, const std::string& gbk, bool converted)
{
    check(converted, "valid UTF-8 reported as replaced", input);
    bool ok = false;
    const std::string back = text::gbkToUtf8(gbk, &ok);
    check(ok, "GBK made from valid UTF-8 does not convert back", input);
    check(back == input, "UTF-8 -> GBK -> UTF-8 is not the identity", input);

    const QString unicode = utf8(std::string(input));
    check(text::toGbk(unicode) == gbk, "toGbk and utf8ToGbk disagree", input);
    check(text::fromGbk(gbk) == unicode, "fromGbk does not give the text back", input);
    check(text::byteLength(QStringView(unicode)) == gbk.size(), "byteLength is not the GBK size", input);

    // leftBytes: the longest prefix of whole characters within the limit.
    for (std::size_t limit : {std::size_t {0}, std::size_t {1}, std::size_t {3}, gbk.size() / 2, gbk.size()}) {
        const QString prefix = text::leftBytes(unicode, limit);
        check(unicode.startsWith(prefix), "leftBytes is not a prefix", input);
        const std::size_t bytes = text::toGbk(prefix).size();
        check(bytes <= limit, "leftBytes exceeds its limit", input);
        if (prefix.size() < unicode.size()) {
            const qsizetype units = unicode.at(prefix.size()).isHighSurrogate() ? 2 : 1;
            check(bytes + text::toGbk(QStringView(unicode).mid(prefix.size(), units)).size() > limit,
                  "leftBytes stops before a character that fits", input);
        }
    }

    // Every character walked by charLength is one Unicode character. The pieces are converted back in one go, each
    // followed by an LF: an LF is never part of a multi-byte character, so a piece that is no whole character
    // cannot borrow from the next one and is replaced. They must give the input's characters, each followed by an LF.
    qsizetype chars = 0;
    std::string pieces;
    pieces.reserve(gbk.size() * 2);
    for (std::size_t at = 0; at < gbk.size();) {
        const std::size_t len = text::charLength(gbk, at);
        check(len == 1 || len == 2 || len == 4, "charLength out of range", input);
        pieces.append(gbk, at, len);
        pieces += '\n';
        at += len;
        ++chars;
    }
    std::string characters;
    characters.reserve(input.size() * 2);
    for (std::size_t at = 0; at < input.size();) {
        const auto lead = static_cast<unsigned char>(input[at]);
        const std::size_t len = lead < 0x80 ? 1 : lead < 0xE0 ? 2 : lead < 0xF0 ? 3 : 4;
        characters.append(input.substr(at, len));
        characters += '\n';
        at += len;
    }
    check(text::gbkToUtf8(pieces, &ok) == characters && ok, "charLength split a character", input);
    check(chars == static_cast<qsizetype>(unicode.toUcs4().size()), "charLength walk miscounts characters", input);

    const std::string full = text::toFullWidth(gbk);
    check(utf8(text::gbkToUtf8(full, &ok)) == fullWidthUnicode(unicode) && ok, "toFullWidth", input);

    QString noSpaces = unicode;
    noSpaces.remove(u' ').remove(QChar(0x3000));
    check(utf8(text::gbkToUtf8(text::removeSpaces(gbk), &ok)) == noSpaces && ok, "removeSpaces", input);
    QString trimmed = unicode;
    while (trimmed.startsWith(u' ')) {
        trimmed.remove(0, 1);
    }
    while (trimmed.endsWith(u' ')) {
        trimmed.chop(1);
    }
    check(utf8(text::gbkToUtf8(text::trimSpaces(gbk), &ok)) == trimmed && ok, "trimSpaces", input);
    check(text::lineCount(QStringView(unicode)) == text::lineCount(gbk), "line counts of GBK and Qt text differ",
          input);
}

// Any bytes: nothing crashes, replacement is reported, sizes stay in bounds and the line functions agree.
void anyBytes(std::string_view input, const std::string& gbk, bool converted)
{
    bool ok = true;
    const std::string asUtf8 = text::gbkToUtf8(input, &ok);
    check(text::isValidUtf8(asUtf8), "gbkToUtf8 produced invalid UTF-8", input);
    if (ok) {
        bool back = false;
        check(text::utf8ToGbk(asUtf8, &back) == input && back, "clean GBK does not round-trip", input);
    } else {
        check(asUtf8.find("\xEF\xBF\xBD") != std::string::npos, "ok=false without a replacement character", input);
    }
    check(converted == representable(input), "utf8ToGbk ok disagrees with the text being representable", input);
    if (!converted) {
        check(gbk.find("\x84\x31\xA4\x37") != std::string::npos, "utf8ToGbk ok=false without U+FFFD", input);
    }
    const QString fromBytes = text::fromGbk(input);
    check(text::toGbk(fromBytes).size() == text::byteLength(QStringView(fromBytes)), "byteLength of decoded text",
          input);

    std::size_t walked = 0;
    for (std::size_t at = 0; at < input.size();) {
        const std::size_t len = text::charLength(input, at);
        check(len >= 1 && at + len <= input.size(), "charLength runs past the end", input);
        at += len;
        walked = at;
    }
    check(walked == input.size(), "charLength walk does not end at the end", input);
    check(text::charLength(input, input.size()) == 0, "charLength past the end is not 0", input);

    const std::string full = text::toFullWidth(input);
    check(full.size() <= 2 * input.size(), "toFullWidth more than doubles", input);
    const std::string noSpaces = text::removeSpaces(input);
    check(noSpaces.size() <= input.size() && noSpaces.find(' ') == std::string::npos, "removeSpaces", input);
    const std::string trimmed = text::trimSpaces(input);
    check(input.find(trimmed) != std::string_view::npos
              && (trimmed.empty() || (trimmed.front() != ' ' && trimmed.back() != ' ')),
          "trimSpaces", input);

    const auto lines = text::splitLines(input);
    check(lines.size() == text::lineCount(input), "splitLines and lineCount disagree", input);
    const QString latin = QString::fromLatin1(input.data(), static_cast<qsizetype>(input.size()));
    check(lines.size() == text::lineCount(QStringView(latin)), "byte and Qt line counts disagree", input);
    std::string joined;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        check(lines[i].find("\r\n") == std::string_view::npos, "a line holds CR LF", input);
        if (i > 0) {
            joined += "\r\n";
        }
        joined += lines[i];
    }
    std::string_view expected = input;
    if (expected.size() >= 2 && expected.substr(expected.size() - 2) == "\r\n") {
        expected.remove_suffix(2);
    }
    check(joined == expected, "lines joined by CR LF are not the text without its last CR LF", input);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    bool converted = false;
    const std::string gbk = text::utf8ToGbk(input, &converted);
    anyBytes(input, gbk, converted);
    if (representable(input)) {
        validText(input, gbk, converted);
    }
    return 0;
}
