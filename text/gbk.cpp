#include "text/gbk.h"

#include <QByteArray>
#include <QStringDecoder>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <iconv.h>
#include <stdexcept>
#include <vector>

namespace telvane::text {

namespace {

// One conversion descriptor per direction and thread, opened on first use and kept for the whole run.
class Converter
{
public:
    Converter(const char* to, const char* from)
        : m_cd(iconv_open(to, from))
    {
        if (m_cd == reinterpret_cast<iconv_t>(-1)) {
            throw std::runtime_error("iconv cannot convert between GB18030 and UTF-8");
        }
    }
    ~Converter() { iconv_close(m_cd); }
    Converter(const Converter&) = delete;
    Converter& operator=(const Converter&) = delete;

    // Converts `in`; a byte that cannot be converted is replaced by `replacement` and clears *ok.
    std::string convert(std::string_view in, std::string_view replacement, bool* ok)
    {
        std::string out;
        out.resize(in.size() * 2 + 16);
        iconv(m_cd, nullptr, nullptr, nullptr, nullptr);
        char* src = const_cast<char*>(in.data());
        std::size_t srcLeft = in.size();
        std::size_t done = 0;
        bool clean = true;
        while (srcLeft > 0) {
            char* dst = out.data() + done;
            std::size_t dstLeft = out.size() - done;
            const std::size_t rc = iconv(m_cd, &src, &srcLeft, &dst, &dstLeft);
            done = out.size() - dstLeft;
            if (rc != static_cast<std::size_t>(-1)) {
                break;
            }
            if (errno == E2BIG) {
                out.resize(out.size() * 2);
            } else {
                // EILSEQ or EINVAL (a character cut off at the end): replace one byte and go on.
                clean = false;
                out.resize(std::max(out.size(), done + replacement.size() + srcLeft * 2 + 16));
                if (!replacement.empty()) {
                    std::memcpy(out.data() + done, replacement.data(), replacement.size());
                    done += replacement.size();
                }
                ++src;
                --srcLeft;
                iconv(m_cd, nullptr, nullptr, nullptr, nullptr);
            }
        }
        char* dst = out.data() + done;
        std::size_t dstLeft = out.size() - done;
        iconv(m_cd, nullptr, nullptr, &dst, &dstLeft);
        done = out.size() - dstLeft;
        out.resize(done);
        if (ok) {
            *ok = clean;
        }
        return out;
    }

private:
    iconv_t m_cd;
};

Converter& toGbkConverter()
{
    thread_local Converter c("GB18030", "UTF-8");
    return c;
}

Converter& fromGbkConverter()
{
    thread_local Converter c("UTF-8", "GB18030");
    return c;
}

bool isAscii(std::string_view s)
{
    for (unsigned char c : s) {
        if (c >= 0x80) {
            return false;
        }
    }
    return true;
}

constexpr std::string_view kGbkReplacement = "\x84\x31\xA4\x37"; // U+FFFD in GB18030
constexpr std::string_view kUtf8Replacement = "\xEF\xBF\xBD";

// The conversions of the basic plane and of the two-byte GBK codes as tables, made once from iconv itself, so that
// text of Chinese characters converts without an iconv call per field. Anything the tables do not cover (characters
// outside the basic plane, four-byte GB18030 codes, bytes that start no character) goes through iconv as a whole,
// so the results are iconv's in every case.
// Appends the UTF-8 form of one code point.
void appendUtf8(std::string& out, char32_t c)
{
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | (c >> 6));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += static_cast<char>(0xE0 | (c >> 12));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (c >> 18));
        out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
}

class Tables
{
public:
    static const Tables& get()
    {
        static const Tables tables;
        return tables;
    }
    // GB18030 bytes of a basic-plane character (big-endian in the low `length` bytes); length 0: not in the table.
    std::uint32_t gbOf(char16_t c) const { return m_gb[c]; }
    std::uint8_t lengthOf(char16_t c) const { return m_length[c]; }
    // The character of a two-byte code, or 0 when the table does not have it.
    char32_t ofGb(unsigned lead, unsigned trail) const { return m_cp[(lead - 0x81) * 191 + (trail - 0x40)]; }
    static bool isTrail(unsigned b) { return (b >= 0x40 && b <= 0x7E) || (b >= 0x80 && b <= 0xFE); }

private:
    Tables()
        : m_gb(65536, 0)
        , m_length(65536, 0)
        , m_cp(126 * 191, 0)
    {
        // Every basic-plane character but the surrogates, each followed by a line feed: no GB18030 character holds
        // the byte 0x0A, so the output splits at it again.
        std::string in;
        for (char32_t c = 0x80; c <= 0xFFFF; ++c) {
            if (c >= 0xD800 && c <= 0xDFFF) {
                continue;
            }
            appendUtf8(in, c);
            in += '\n';
        }
        splitInto(toGbkConverter(), in, [this](std::string_view source, std::string_view out) {
            const char32_t c = decodeUtf8(source);
            if (out.size() == 2 || out.size() == 4) {
                std::uint32_t v = 0;
                for (const char b : out) {
                    v = (v << 8) | static_cast<unsigned char>(b);
                }
                m_gb[c] = v;
                m_length[c] = static_cast<std::uint8_t>(out.size());
            }
        });
        std::string codes;
        for (unsigned lead = 0x81; lead <= 0xFE; ++lead) {
            for (unsigned trail = 0x40; trail <= 0xFE; ++trail) {
                if (isTrail(trail)) {
                    codes += static_cast<char>(lead);
                    codes += static_cast<char>(trail);
                    codes += '\n';
                }
            }
        }
        splitInto(fromGbkConverter(), codes, [this](std::string_view source, std::string_view out) {
            const char32_t c = decodeUtf8(out);
            if (source.size() == 2 && c != 0) {
                m_cp[(static_cast<unsigned char>(source[0]) - 0x81) * 191
                     + (static_cast<unsigned char>(source[1]) - 0x40)] = c;
            }
        });
    }

    // The one character of a UTF-8 text, or 0 when it holds anything else.
    static char32_t decodeUtf8(std::string_view s)
    {
        if (s.empty()) {
            return 0;
        }
        const auto b0 = static_cast<unsigned char>(s[0]);
        const std::size_t length = b0 < 0x80 ? 1 : b0 < 0xE0 ? 2 : b0 < 0xF0 ? 3 : 4;
        if (s.size() != length) {
            return 0;
        }
        char32_t c = length == 1 ? b0 : length == 2 ? (b0 & 0x1F) : length == 3 ? (b0 & 0x0F) : (b0 & 0x07);
        for (std::size_t k = 1; k < length; ++k) {
            c = (c << 6) | (static_cast<unsigned char>(s[k]) & 0x3F);
        }
        return c;
    }

    // Converts each line of `in` on its own and hands over (source line, converted line); a line iconv refuses is
    // left out.
    template<typename Each>
    static void splitInto(Converter& converter, std::string_view in, Each each)
    {
        std::size_t at = 0;
        while (at < in.size()) {
            const std::size_t end = in.find('\n', at);
            const std::string_view line = in.substr(at, end - at);
            bool ok = true;
            const std::string out = converter.convert(line, {}, &ok);
            if (ok) {
                each(line, out);
            }
            at = end + 1;
        }
    }

    std::vector<std::uint32_t> m_gb;
    std::vector<std::uint8_t> m_length;
    std::vector<char32_t> m_cp;
};

bool gbkToUtf8Table(std::string_view gbk, std::string& out);

void appendGb(std::string& out, std::uint32_t bytes, std::uint8_t length)
{
    for (int k = length - 1; k >= 0; --k) {
        out += static_cast<char>((bytes >> (8 * k)) & 0xFF);
    }
}

} // namespace

void utf8ToGbk(std::string_view utf8, std::string& out, bool* ok)
{
    out.clear();
    if (isAscii(utf8)) {
        if (ok) {
            *ok = true;
        }
        out.assign(utf8);
        return;
    }
    // Through the table while the text is valid UTF-8 of the basic plane; anything else as a whole through iconv.
    // Written through a pointer into room for the longest outcome (a character of two UTF-8 bytes may take four in
    // GB18030): the index's building and the early answer convert every field of a store.
    const Tables& tables = Tables::get();
    out.resize(utf8.size() * 2);
    char* to = out.data();
    for (std::size_t i = 0; i < utf8.size();) {
        const auto b0 = static_cast<unsigned char>(utf8[i]);
        if (b0 < 0x80) {
            *to++ = static_cast<char>(b0);
            ++i;
            continue;
        }
        char32_t c = 0;
        if (b0 >= 0xC2 && b0 <= 0xDF && i + 1 < utf8.size()
            && (static_cast<unsigned char>(utf8[i + 1]) & 0xC0) == 0x80) {
            c = ((b0 & 0x1F) << 6) | (static_cast<unsigned char>(utf8[i + 1]) & 0x3F);
            i += 2;
        } else if (b0 >= 0xE0 && b0 <= 0xEF && i + 2 < utf8.size()
                   && (static_cast<unsigned char>(utf8[i + 1]) & 0xC0) == 0x80
                   && (static_cast<unsigned char>(utf8[i + 2]) & 0xC0) == 0x80) {
            c = ((b0 & 0x0F) << 12) | ((static_cast<unsigned char>(utf8[i + 1]) & 0x3F) << 6)
                | (static_cast<unsigned char>(utf8[i + 2]) & 0x3F);
            i += 3;
            if (c < 0x800) {
                c = 0; // an overlong form: iconv decides
            }
        }
        const std::uint8_t length = c ? tables.lengthOf(static_cast<char16_t>(c)) : 0;
        if (length == 0) {
            out = toGbkConverter().convert(utf8, kGbkReplacement, ok);
            return;
        }
        const std::uint32_t bytes = tables.gbOf(static_cast<char16_t>(c));
        for (int k = length - 1; k >= 0; --k) {
            *to++ = static_cast<char>((bytes >> (8 * k)) & 0xFF);
        }
    }
    out.resize(static_cast<std::size_t>(to - out.data()));
    if (ok) {
        *ok = true;
    }
}

std::string utf8ToGbk(std::string_view utf8, bool* ok)
{
    std::string out;
    utf8ToGbk(utf8, out, ok);
    return out;
}

std::string toGbk(QStringView text)
{
    const Tables& tables = Tables::get();
    std::string out;
    out.reserve(static_cast<std::size_t>(text.size()) * 2);
    for (const QChar ch : text) {
        const char16_t c = ch.unicode();
        if (c < 0x80) {
            out += static_cast<char>(c);
            continue;
        }
        const std::uint8_t length = tables.lengthOf(c);
        if (length == 0) {
            // A surrogate pair (or a lone one): through iconv as a whole.
            const QByteArray utf8 = text.toUtf8();
            return toGbkConverter().convert(std::string_view(utf8.constData(), static_cast<std::size_t>(utf8.size())),
                                            kGbkReplacement, nullptr);
        }
        appendGb(out, tables.gbOf(c), length);
    }
    return out;
}

std::string gbkToUtf8(std::string_view gbk, bool* ok)
{
    std::string out;
    if (!gbkToUtf8Table(gbk, out)) {
        return fromGbkConverter().convert(gbk, kUtf8Replacement, ok);
    }
    if (ok) {
        *ok = true;
    }
    return out;
}

void gbkToUtf8Into(std::string_view gbk, std::string& out)
{
    if (!gbkToUtf8Table(gbk, out)) {
        out = fromGbkConverter().convert(gbk, kUtf8Replacement, nullptr);
    }
}

namespace {

// Through the table into `out`; false (out undefined) when the text holds anything the table does not cover.
bool gbkToUtf8Table(std::string_view gbk, std::string& out)
{
    out.clear();
    if (isAscii(gbk)) {
        out.append(gbk);
        return true;
    }
    const Tables& tables = Tables::get();
    out.reserve(gbk.size() * 3 / 2 + 4);
    for (std::size_t i = 0; i < gbk.size();) {
        const auto b0 = static_cast<unsigned char>(gbk[i]);
        if (b0 < 0x80) {
            out += static_cast<char>(b0);
            ++i;
            continue;
        }
        const auto b1 = i + 1 < gbk.size() ? static_cast<unsigned char>(gbk[i + 1]) : 0u;
        const char32_t c = b0 >= 0x81 && b0 <= 0xFE && Tables::isTrail(b1) ? tables.ofGb(b0, b1) : 0;
        if (c == 0) {
            return false;
        }
        appendUtf8(out, c);
        i += 2;
    }
    return true;
}

} // namespace

QString fromGbk(std::string_view gbk)
{
    const Tables& tables = Tables::get();
    QString out;
    out.reserve(static_cast<qsizetype>(gbk.size()));
    for (std::size_t i = 0; i < gbk.size();) {
        const auto b0 = static_cast<unsigned char>(gbk[i]);
        if (b0 < 0x80) {
            out += QChar(static_cast<char16_t>(b0));
            ++i;
            continue;
        }
        const auto b1 = i + 1 < gbk.size() ? static_cast<unsigned char>(gbk[i + 1]) : 0u;
        const char32_t c = b0 >= 0x81 && b0 <= 0xFE && Tables::isTrail(b1) ? tables.ofGb(b0, b1) : 0;
        if (c == 0) {
            const std::string utf8 = gbkToUtf8(gbk);
            // QString::fromUtf8 would drop a leading U+FEFF, which is part of the stored text here.
            QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::ConvertInitialBom);
            return decoder(QByteArrayView(utf8.data(), static_cast<qsizetype>(utf8.size())));
        }
        if (c < 0x10000) {
            out += QChar(static_cast<char16_t>(c));
        } else {
            out += QChar(QChar::highSurrogate(c));
            out += QChar(QChar::lowSurrogate(c));
        }
        i += 2;
    }
    return out;
}

bool isValidUtf8(std::string_view bytes)
{
    std::size_t i = 0;
    const std::size_t n = bytes.size();
    while (i < n) {
        const auto c = static_cast<unsigned char>(bytes[i]);
        std::size_t len;
        std::uint32_t cp;
        if (c < 0x80) {
            ++i;
            continue;
        } else if (c >= 0xC2 && c <= 0xDF) {
            len = 2;
            cp = c & 0x1F;
        } else if (c >= 0xE0 && c <= 0xEF) {
            len = 3;
            cp = c & 0x0F;
        } else if (c >= 0xF0 && c <= 0xF4) {
            len = 4;
            cp = c & 0x07;
        } else {
            return false;
        }
        if (i + len > n) {
            return false;
        }
        for (std::size_t k = 1; k < len; ++k) {
            const auto cc = static_cast<unsigned char>(bytes[i + k]);
            if ((cc & 0xC0) != 0x80) {
                return false;
            }
            cp = (cp << 6) | (cc & 0x3F);
        }
        if ((len == 3 && cp < 0x800) || (len == 4 && (cp < 0x10000 || cp > 0x10FFFF))
            || (cp >= 0xD800 && cp <= 0xDFFF)) {
            return false;
        }
        i += len;
    }
    return true;
}

std::size_t charLength(std::string_view text, std::size_t at)
{
    const std::size_t n = text.size();
    if (at >= n) {
        return 0;
    }
    const auto b1 = static_cast<unsigned char>(text[at]);
    if (b1 < 0x81 || b1 == 0xFF || at + 1 >= n) {
        return 1;
    }
    const auto b2 = static_cast<unsigned char>(text[at + 1]);
    if ((b2 >= 0x40 && b2 <= 0x7E) || (b2 >= 0x80 && b2 <= 0xFE)) {
        return 2;
    }
    if (b2 >= 0x30 && b2 <= 0x39 && at + 3 < n) {
        const auto b3 = static_cast<unsigned char>(text[at + 2]);
        const auto b4 = static_cast<unsigned char>(text[at + 3]);
        if (b3 >= 0x81 && b3 <= 0xFE && b4 >= 0x30 && b4 <= 0x39) {
            return 4;
        }
    }
    return 1;
}

std::size_t byteLength(QStringView text)
{
    const Tables& tables = Tables::get();
    std::size_t bytes = 0;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char16_t c = text[i].unicode();
        if (c < 0x80) {
            ++bytes;
        } else if (const std::uint8_t length = tables.lengthOf(c)) {
            bytes += length;
        } else if (QChar::isHighSurrogate(c) && i + 1 < text.size() && QChar::isLowSurrogate(text[i + 1].unicode())) {
            // Mostly four bytes, but a few characters outside the basic plane (FE 51, FE 91, ...) have two.
            bytes += toGbk(text.mid(i, 2)).size();
            ++i;
        } else {
            bytes += toGbk(text.mid(i, 1)).size();
        }
    }
    return bytes;
}

QString leftBytes(QStringView text, std::size_t maxBytes)
{
    std::size_t bytes = 0;
    qsizetype i = 0;
    while (i < text.size()) {
        const bool pair = QChar::isHighSurrogate(text[i].unicode()) && i + 1 < text.size()
                          && QChar::isLowSurrogate(text[i + 1].unicode());
        const qsizetype units = pair ? 2 : 1;
        const std::size_t len = byteLength(text.mid(i, units));
        if (bytes + len > maxBytes) {
            break;
        }
        bytes += len;
        i += units;
    }
    return text.left(i).toString();
}

std::string decimal(long long number)
{
    return std::to_string(number);
}

std::string trimSpaces(std::string_view text)
{
    std::size_t b = 0;
    std::size_t e = text.size();
    while (b < e && text[b] == ' ') {
        ++b;
    }
    while (e > b && text[e - 1] == ' ') {
        --e;
    }
    return std::string(text.substr(b, e - b));
}

std::string removeSpaces(std::string_view text)
{
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size();) {
        const std::size_t len = charLength(text, i);
        const bool space = (len == 1 && text[i] == ' ')
                           || (len == 2 && static_cast<unsigned char>(text[i]) == 0xA1
                               && static_cast<unsigned char>(text[i + 1]) == 0xA1);
        if (!space) {
            out.append(text.substr(i, len));
        }
        i += len;
    }
    return out;
}

std::string toFullWidth(std::string_view text)
{
    std::string out;
    out.reserve(text.size() * 2);
    for (std::size_t i = 0; i < text.size();) {
        const std::size_t len = charLength(text, i);
        const auto c = static_cast<unsigned char>(text[i]);
        if (len == 1 && c == 0x20) {
            out += "\xA1\xA1";
        } else if (len == 1 && c >= 0x21 && c <= 0x7E) {
            out += static_cast<char>(0xA3);
            out += static_cast<char>(c + 0x80);
        } else {
            out.append(text.substr(i, len));
        }
        i += len;
    }
    return out;
}

std::vector<std::string_view> splitLines(std::string_view text)
{
    std::vector<std::string_view> lines;
    std::size_t start = 0;
    const std::size_t n = text.size();
    std::size_t i = 0;
    while (i + 1 < n) {
        const void* hit = std::memchr(text.data() + i, '\r', n - 1 - i);
        if (!hit) {
            break;
        }
        i = static_cast<std::size_t>(static_cast<const char*>(hit) - text.data());
        if (text[i + 1] == '\n') {
            lines.push_back(text.substr(start, i - start));
            start = i + 2;
            i += 2;
        } else {
            ++i;
        }
    }
    if (start < n) {
        lines.push_back(text.substr(start));
    }
    return lines;
}

std::size_t lineCount(std::string_view text)
{
    std::size_t count = 0;
    std::size_t start = 0;
    const std::size_t n = text.size();
    std::size_t i = 0;
    while (i + 1 < n) {
        const void* hit = std::memchr(text.data() + i, '\r', n - 1 - i);
        if (!hit) {
            break;
        }
        i = static_cast<std::size_t>(static_cast<const char*>(hit) - text.data());
        if (text[i + 1] == '\n') {
            ++count;
            start = i + 2;
            i += 2;
        } else {
            ++i;
        }
    }
    return count + (start < n ? 1 : 0);
}

std::size_t lineCount(QStringView text)
{
    std::size_t count = 0;
    qsizetype start = 0;
    const qsizetype n = text.size();
    qsizetype i = 0;
    while (i + 1 < n) {
        const qsizetype at = text.indexOf(u'\r', i);
        if (at < 0 || at + 1 >= n) {
            break;
        }
        if (text[at + 1] == u'\n') {
            ++count;
            start = at + 2;
            i = at + 2;
        } else {
            i = at + 1;
        }
    }
    return count + (start < n ? 1 : 0);
}

namespace {

inline bool isLineBreak(QChar c)
{
    return c == u'\r' || c == u'\n' || c == u'\v' || c == u'\f' || c == QChar(0x85) || c == QChar(QChar::LineSeparator)
           || c == QChar(QChar::ParagraphSeparator);
}

} // namespace

bool isOneLine(QStringView text)
{
    return std::none_of(text.begin(), text.end(), [](QChar c) { return c == u'\t' || isLineBreak(c); });
}

QString oneLine(QStringView text)
{
    if (isOneLine(text)) {
        return text.toString();
    }
    QString line;
    line.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text[i];
        if (isLineBreak(c)) {
            while (i + 1 < text.size() && isLineBreak(text[i + 1])) {
                ++i;
            }
            line += u' ';
        } else {
            line += c == u'\t' ? QChar(u' ') : c;
        }
    }
    return line;
}

QString cellLine(QStringView text)
{
    const QString line = oneLine(text);
    QString valid;
    valid.reserve(line.size());
    for (qsizetype i = 0; i < line.size(); ++i) {
        const char16_t c = line[i].unicode();
        if (QChar::isHighSurrogate(c) && i + 1 < line.size() && line[i + 1].isLowSurrogate()) {
            valid += line[i];
            valid += line[++i];
        } else if (QChar::isSurrogate(c)) {
            valid += QChar(QChar::ReplacementCharacter); // half a character
        } else if (c >= 0x20 && c != 0x7F) {
            valid += line[i];
        }
    }
    auto blank = [](QChar c) { return c == u' ' || c == QChar(0x3000); };
    qsizetype start = 0;
    qsizetype end = valid.size();
    while (start < end && blank(valid[start])) {
        ++start;
    }
    while (end > start && blank(valid[end - 1])) {
        --end;
    }
    return valid.sliced(start, end - start);
}

} // namespace telvane::text
