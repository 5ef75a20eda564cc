#include "import/tidy.h"

#include "store/field_text.h"
#include "text/gbk.h"

#include <algorithm>

namespace telvane::import {

namespace {

using text::charLength;

inline unsigned char byteOf(std::string_view s, std::size_t i)
{
    return static_cast<unsigned char>(s[i]);
}

inline bool isBreak(unsigned char c)
{
    return c == '\r' || c == '\n' || c == '\t';
}

// Full-width forms A3 A1..A3 FE to 0x21..0x7E and the ideographic space A1 A1 to 0x20, judged as whole
// characters, into `out` (replacing its content).
void halfWidthInto(std::string_view line, std::string& out)
{
    out.clear();
    const std::size_t n = line.size();
    out.reserve(n); // the half-width form is never longer
    std::size_t i = 0;
    while (i < n) {
        const unsigned char c = byteOf(line, i);
        if (c < 0x80) {
            if (isBreak(c)) {
                // A field is one line: a tab, and each run of line breaks (a lone CR or LF inside a column's
                // line), becomes one space.
                std::size_t j = i + 1;
                while (c != '\t' && j < n && (byteOf(line, j) == '\r' || byteOf(line, j) == '\n')) {
                    ++j;
                }
                out += ' ';
                i = j;
                continue;
            }
            // Runs of single bytes are copied in one go: most phone and remark text is plain ASCII.
            std::size_t j = i + 1;
            while (j < n && byteOf(line, j) < 0x80 && !isBreak(byteOf(line, j))) {
                ++j;
            }
            out.append(line.data() + i, j - i);
            i = j;
            continue;
        }
        const std::size_t len = charLength(line, i);
        if (len == 2) {
            const unsigned char c2 = byteOf(line, i + 1);
            if (c == 0xA3 && c2 >= 0xA1 && c2 <= 0xFE) {
                out += static_cast<char>(c2 - 0x80);
                i += 2;
                continue;
            }
            if (c == 0xA1 && c2 == 0xA1) {
                out += ' ';
                i += 2;
                continue;
            }
        }
        out.append(line.data() + i, len);
        i += len;
    }
}

// The bounds [begin, end) of `s` without the spaces (0x20) at both ends. A space byte is never part of a
// multi-byte character, so trimming bytes keeps characters whole.
inline void trimBounds(std::string_view s, std::size_t& begin, std::size_t& end)
{
    begin = 0;
    end = s.size();
    while (begin < end && s[begin] == ' ') {
        ++begin;
    }
    while (end > begin && s[end - 1] == ' ') {
        --end;
    }
}

bool appendChineseOnly(std::string_view line, std::size_t width, std::string& out)
{
    std::size_t kept = 0;
    const std::size_t n = line.size();
    std::size_t i = 0;
    while (i < n) {
        const unsigned char c = byteOf(line, i);
        if (c < 0x80) {
            // Latin letters, digits, punctuation, control bytes and the single-byte space.
            ++i;
            continue;
        }
        const std::size_t len = charLength(line, i);
        if (len == 2 && c == 0xA1 && byteOf(line, i + 1) == 0xA1) {
            i += 2; // the ideographic space
            continue;
        }
        if (kept + len > width) {
            return true;
        }
        out.append(line.data() + i, len);
        kept += len;
        i += len;
    }
    return false;
}

bool appendRemark(std::string_view line, std::size_t width, std::string& out, std::string& scratch)
{
    halfWidthInto(line, scratch);
    const std::string_view s(scratch);
    std::size_t begin;
    std::size_t end;
    trimBounds(s, begin, end);
    if (end - begin <= width) {
        out.append(s.data() + begin, end - begin);
        return false;
    }
    // Too long: keep whole characters up to the width. For GB2312 text this is the byte cut followed by dropping
    // the last byte when it is the first half of a character (an odd run of bytes of 0x80 or above at the cut).
    const std::string_view kept = s.substr(begin, end - begin);
    std::size_t i = 0;
    while (i < kept.size()) {
        const std::size_t len = byteOf(kept, i) < 0x80 ? 1 : charLength(kept, i);
        if (i + len > width) {
            break;
        }
        i += len;
    }
    out.append(kept.data(), i);
    return true;
}

bool appendPhone(std::string_view line, std::size_t width, std::string& out, std::string& scratch)
{
    halfWidthInto(line, scratch);
    const std::string_view s(scratch);
    std::size_t begin;
    std::size_t end;
    trimBounds(s, begin, end);
    const std::size_t start = out.size();
    for (std::size_t i = begin; i < end;) {
        const unsigned char c = byteOf(s, i);
        if (c >= 0x80) {
            i += charLength(s, i); // Chinese characters and other multi-byte characters go whole
            continue;
        }
        out += static_cast<char>(c);
        ++i;
    }
    if (out.size() - start <= width) {
        return false;
    }
    // Too long: the number without its separators (and its country code), so that a cut never makes another number
    // of it. A line that does not fit even so is cut as it stands, which keeps a number followed by an extension
    // or a word whole with its separators.
    const std::string number = store::compactPhone(std::string_view(out).substr(start), width);
    if (number.size() <= width) {
        out.resize(start);
        out += number;
        return false;
    }
    out.resize(start + width);
    return true;
}

// Appends the tidied line; true when the width cut something off.
bool appendTidied(std::string_view line, Rule rule, std::size_t width, std::string& out, std::string& scratch)
{
    switch (rule) {
        case Rule::ChineseOnly:
            return appendChineseOnly(line, width, out);
        case Rule::Remark:
            return appendRemark(line, width, out, scratch);
        case Rule::Phone:
            return appendPhone(line, width, out, scratch);
    }
    return false;
}

} // namespace

std::string chineseOnlyLine(std::string_view line, std::size_t width)
{
    std::string out;
    appendChineseOnly(line, width, out);
    return out;
}

std::string remarkLine(std::string_view line, std::size_t width)
{
    std::string out;
    std::string scratch;
    appendRemark(line, width, out, scratch);
    return out;
}

std::string phoneLine(std::string_view line, std::size_t width)
{
    std::string out;
    std::string scratch;
    appendPhone(line, width, out, scratch);
    return out;
}

std::string tidyLine(std::string_view line, Rule rule, std::size_t width, bool* cut)
{
    std::string out;
    std::string scratch;
    const bool wasCut = appendTidied(line, rule, width, out, scratch);
    if (cut) {
        *cut = wasCut;
    }
    return out;
}

std::string tidyColumn(std::string_view text, Rule rule, std::size_t width, TidyCounts* counts)
{
    std::string out;
    out.reserve(text.size() + 2);
    std::string scratch;
    // The lines as text::splitLines cuts them (at CR LF pairs only, none after a final CR LF), walked in place.
    for (std::size_t start = 0; start < text.size();) {
        const std::size_t end = std::min(text.find("\r\n", start), text.size());
        const std::string_view line = text.substr(start, end - start);
        const std::size_t at = out.size();
        const bool cut = appendTidied(line, rule, width, out, scratch);
        if (counts) {
            counts->cut += cut ? 1 : 0;
            counts->changed += std::string_view(out).substr(at) != line ? 1 : 0;
        }
        out += "\r\n";
        start = end + 2;
    }
    // Empty lines at the end go, also those that only became empty through cleaning.
    while (out.size() >= 2 && out[out.size() - 2] == '\r' && out.back() == '\n') {
        out.resize(out.size() - 2);
    }
    out += "\r\n";
    return out;
}

std::string tidyColumn(int column, std::string_view text, TidyCounts* counts)
{
    const ColumnSpec spec = columnSpec(column);
    return tidyColumn(text, spec.rule, spec.width, counts);
}

std::size_t largestLineCount(std::span<const std::string> texts)
{
    std::size_t largest = 0;
    for (const std::string& t : texts) {
        largest = std::max(largest, text::lineCount(t));
    }
    return largest;
}

} // namespace telvane::import
