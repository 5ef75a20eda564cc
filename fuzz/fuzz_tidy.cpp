// The column tidying rules on any column text, for every column 1..7.
//
// For any bytes: tidying never adds a line, tidying the result again never adds a line, every line fits the width
// and the text ends in exactly one CR LF. For text that is valid GB18030 (all a paste or an import can produce)
// the characters of a tidied line are characters of the line it came from, in order, none of them cut.
//
// Every column is tidied by its number and must give what its rule and width give. Columns that share a rule and a
// width (office, home and PHS) therefore tidy to the same text, and the checks on that text run once for them.
// When the bytes read as UTF-8 convert to themselves (plain ASCII), the raw column is the converted one and is
// checked once, with the checks for valid text. The checks walk lines and characters in place rather than build
// lists of them: under the address sanitizer an allocation costs more than tidying a short line.
#include "import/bulk_import.h"
#include "import/tidy.h"
#include "text/gbk.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

using namespace telvane;

namespace {

void check(bool condition, const char* what, int column, std::string_view input)
{
    if (!condition) {
        std::fprintf(stderr, "fuzz_tidy: column %d: %s (input of %zu bytes)\n", column, what, input.size());
        std::abort();
    }
}

// The lines of a text cut at CR LF pairs, one at a time: none for an empty text, none after a final CR LF.
class LineWalk
{
public:
    explicit LineWalk(std::string_view text)
        : m_text(text)
    { }
    bool next(std::string_view& line)
    {
        if (m_at >= m_text.size()) {
            return false;
        }
        const std::size_t end = m_text.find("\r\n", m_at);
        if (end == std::string_view::npos) {
            line = m_text.substr(m_at);
            m_at = m_text.size();
        } else {
            line = m_text.substr(m_at, end - m_at);
            m_at = end + 2;
        }
        return true;
    }

private:
    std::string_view m_text;
    std::size_t m_at = 0;
};

// The next character of `s` at `at`, advancing `at` past it.
std::string_view nextCharacter(std::string_view s, std::size_t& at)
{
    const std::size_t len = text::charLength(s, at);
    const std::string_view c = s.substr(at, len);
    at += len;
    return c;
}

// Whether the characters of `part` appear in `whole` in the same order, each one whole.
bool characterSubsequence(std::string_view part, std::string_view whole)
{
    std::size_t j = 0;
    for (std::size_t i = 0; i < part.size();) {
        const std::string_view c = nextCharacter(part, i);
        bool found = false;
        while (!found && j < whole.size()) {
            found = nextCharacter(whole, j) == c;
        }
        if (!found) {
            return false;
        }
    }
    return true;
}

void checkShape(std::string_view tidied, std::size_t width, int column, std::string_view input)
{
    check(tidied.size() >= 2 && tidied.substr(tidied.size() - 2) == "\r\n", "does not end in CR LF", column, input);
    LineWalk lines(tidied);
    std::string_view line;
    std::size_t count = 0;
    bool lastEmpty = false;
    while (lines.next(line)) {
        ++count;
        lastEmpty = line.empty();
        check(line.size() <= width, "a line is wider than its field", column, input);
    }
    check(count > 0, "no line at all", column, input);
    check(tidied == "\r\n" || !lastEmpty, "ends in more than one CR LF", column, input);
    check(count == text::lineCount(tidied), "tidied text counted two ways", column, input);
}

// One column text, raw bytes or valid GB18030, and what the rules that need its lines share: the half-width form
// of every line, made on first use.
// The reference of the half-width rule: full-width ASCII (A3 A1..A3 FE) and the ideographic space (A1 A1) become
// their one-byte forms, a tab and each run of CRs and LFs one space (a field is one line), everything else stays.
std::string halfWidthReference(std::string_view text)
{
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size();) {
        if (text[i] == '\t' || text[i] == '\r' || text[i] == '\n') {
            const bool tab = text[i] == '\t';
            ++i;
            while (!tab && i < text.size() && (text[i] == '\r' || text[i] == '\n')) {
                ++i;
            }
            out += ' ';
            continue;
        }
        const std::size_t len = text::charLength(text, i);
        if (len == 2) {
            const auto b1 = static_cast<unsigned char>(text[i]);
            const auto b2 = static_cast<unsigned char>(text[i + 1]);
            if (b1 == 0xA3 && b2 >= 0xA1 && b2 <= 0xFE) {
                out += static_cast<char>(b2 - 0x80);
                i += 2;
                continue;
            }
            if (b1 == 0xA1 && b2 == 0xA1) {
                out += ' ';
                i += 2;
                continue;
            }
        }
        out.append(text.substr(i, len));
        i += len;
    }
    return out;
}

struct Column
{
    std::string_view text;
    bool valid;
    std::vector<std::string_view> lines;
    std::vector<std::string> halfWidth;

    Column(std::string_view t, bool v)
        : text(t)
        , valid(v)
    {
        if (valid) {
            lines = text::splitLines(text);
        }
    }

    const std::string& halfWidthLine(std::size_t i)
    {
        if (halfWidth.empty()) {
            halfWidth.reserve(lines.size());
            for (std::string_view line : lines) {
                halfWidth.push_back(halfWidthReference(line));
            }
        }
        return halfWidth[i];
    }
};

// The checks of one tidied column; `once` is what column `column` tidies `in` to.
void checkTidied(int column, Column& in, std::string_view once, std::string_view input)
{
    const import::ColumnSpec spec = import::columnSpec(column);
    checkShape(once, spec.width, column, input);
    const std::size_t before = text::lineCount(in.text);
    const std::size_t after = text::lineCount(once);
    check(after <= std::max<std::size_t>(before, 1), "tidying added a line", column, input);
    const std::string twice = import::tidyColumn(column, once);
    checkShape(twice, spec.width, column, input);
    check(text::lineCount(twice) <= after, "tidying a tidied column added a line", column, input);

    if (!in.valid) {
        return;
    }
    LineWalk outLines(once);
    std::string_view out;
    for (std::size_t i = 0; i < in.lines.size() && outLines.next(out); ++i) {
        const std::string_view line = in.lines[i];
        const std::string_view source = spec.rule == import::Rule::ChineseOnly ? line : in.halfWidthLine(i);
        // (A telephone number too long for its field may have lost its country code and gained the trunk 0.)
        check(characterSubsequence(out, source)
                  || (spec.rule == import::Rule::Phone && characterSubsequence(out, "0" + std::string(source))),
              "a tidied line is not made of its line's characters", column, input);
        check(import::tidyLine(line, spec.rule, spec.width) == out, "tidyLine and tidyColumn disagree", column, input);
        for (std::size_t at = 0; at < out.size();) {
            const std::string_view c = nextCharacter(out, at);
            switch (spec.rule) {
                case import::Rule::ChineseOnly:
                    check(c.size() >= 2 && c != "\xA1\xA1", "a single byte or a space kept", column, input);
                    break;
                case import::Rule::Phone:
                    check(c.size() == 1 && static_cast<unsigned char>(c[0]) < 0x80, "a multi-byte character kept",
                          column, input);
                    break;
                case import::Rule::Remark:
                    break;
            }
        }
        if (spec.rule == import::Rule::Remark) {
            std::string_view trimmed = source;
            trimmed.remove_prefix(std::min(trimmed.find_first_not_of(' '), trimmed.size()));
            trimmed.remove_suffix(trimmed.size() - (trimmed.find_last_not_of(' ') + 1));
            check(trimmed.substr(0, out.size()) == out, "a remark is not a prefix of its line", column, input);
            check(out.size() == trimmed.size() || out.size() + text::charLength(trimmed, out.size()) > spec.width,
                  "a remark was cut although more fitted", column, input);
        }
    }
}

void checkColumns(Column& in, std::string_view input)
{
    // What each column tidies to; a column whose rule and width an earlier column has is compared with that one.
    std::array<std::string, store::kFieldCount> tidied;
    for (int column = 1; column <= static_cast<int>(store::kFieldCount); ++column) {
        const import::ColumnSpec spec = import::columnSpec(column);
        std::string& once = tidied[static_cast<std::size_t>(column - 1)];
        once = import::tidyColumn(column, in.text);
        int same = 1;
        while (same < column
               && (import::columnSpec(same).rule != spec.rule || import::columnSpec(same).width != spec.width)) {
            ++same;
        }
        if (same < column) {
            check(once == tidied[static_cast<std::size_t>(same - 1)], "columns of one rule and width disagree", column,
                  input);
            continue;
        }
        check(once == import::tidyColumn(in.text, spec.rule, spec.width), "column number and rule disagree", column,
              input);
        checkTidied(column, in, once, input);
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    // The raw bytes as a column, and the same bytes read as UTF-8 and converted, as a paste would give them.
    const std::string gbk = text::utf8ToGbk(input);
    if (gbk != input) {
        Column raw(input, false);
        checkColumns(raw, input);
    }
    Column converted(gbk, true);
    checkColumns(converted, input);

    // The whole import table: one record per line of the longest column, every field within its width.
    import::ColumnTexts columns;
    for (std::size_t k = 0; k < columns.size(); ++k) {
        columns[k] = gbk.substr(std::min(gbk.size(), k * 3));
    }
    const auto records = import::importedRecords(columns);

    // A second tidying pass, taken in one step as telvane-cli import takes it, is the same as tidying again.
    {
        import::RowCells cells;
        for (std::size_t k = 0; k < store::kFieldCount; ++k) {
            cells[k] = std::string_view(gbk).substr(std::min(gbk.size(), k * 5));
        }
        store::Record once = import::tidyRow(cells);
        import::RowCells again;
        for (std::size_t k = 0; k < store::kFieldCount; ++k) {
            again[k] = once[k];
        }
        const store::Record twice = import::tidyRow(again);
        import::retidyRow(once);
        check(once == twice, "retidyRow differs from tidying again", 0, input);
    }
    std::size_t largest = 0;
    for (const auto& c : columns) {
        largest = std::max(largest, text::lineCount(c));
    }
    check(records.size() == largest, "the Row table does not have one record per line", 0, input);
    for (const auto& r : records) {
        for (int k = 1; k <= static_cast<int>(store::kFieldCount); ++k) {
            check(r[static_cast<std::size_t>(k - 1)].size() <= import::columnSpec(k).width, "a field is too wide", k,
                  input);
        }
    }
    return 0;
}
