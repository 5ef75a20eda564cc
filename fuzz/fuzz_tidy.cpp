// The column tidying rules on any column text, for every column 1..7.
//
// For any bytes: tidying never adds a line, tidying the result again never adds a line, every line fits the width
// and the text ends in exactly one CR LF. For text that is valid GB18030 (all a paste or an import can produce)
// the characters of a tidied line are characters of the line it came from, in order, none of them cut.
#include "import/bulk_import.h"
#include "import/tidy.h"
#include "text/gbk.h"

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

std::vector<std::string_view> characters(std::string_view s)
{
    std::vector<std::string_view> out;
    for (std::size_t at = 0; at < s.size();) {
        const std::size_t len = text::charLength(s, at);
        out.push_back(s.substr(at, len));
        at += len;
    }
    return out;
}

// Whether the characters of `part` appear in `whole` in the same order, each one whole.
bool characterSubsequence(std::string_view part, std::string_view whole)
{
    const auto from = characters(whole);
    std::size_t j = 0;
    for (std::string_view c : characters(part)) {
        while (j < from.size() && from[j] != c) {
            ++j;
        }
        if (j == from.size()) {
            return false;
        }
        ++j;
    }
    return true;
}

void checkShape(const std::string& tidied, std::size_t width, int column, std::string_view input)
{
    check(tidied.size() >= 2 && tidied.substr(tidied.size() - 2) == "\r\n", "does not end in CR LF", column, input);
    const auto lines = text::splitLines(tidied);
    check(!lines.empty(), "no line at all", column, input);
    check(tidied == "\r\n" || !lines.back().empty(), "ends in more than one CR LF", column, input);
    for (std::string_view line : lines) {
        check(line.size() <= width, "a line is wider than its field", column, input);
    }
}

void checkColumn(int column, std::string_view input, bool valid)
{
    const import::ColumnSpec spec = import::columnSpec(column);
    const std::string once = import::tidyColumn(column, input);
    check(once == import::tidyColumn(input, spec.rule, spec.width), "column number and rule disagree", column, input);
    checkShape(once, spec.width, column, input);
    const std::size_t before = text::lineCount(input);
    const std::size_t after = text::lineCount(once);
    check(after <= std::max<std::size_t>(before, 1), "tidying added a line", column, input);
    const std::string twice = import::tidyColumn(column, once);
    checkShape(twice, spec.width, column, input);
    check(text::lineCount(twice) <= after, "tidying a tidied column added a line", column, input);

    if (!valid) {
        return;
    }
    const auto inLines = text::splitLines(input);
    const auto outLines = text::splitLines(once);
    for (std::size_t i = 0; i < outLines.size() && i < inLines.size(); ++i) {
        const std::string_view out = outLines[i];
        const std::string source =
            spec.rule == import::Rule::ChineseOnly ? std::string(inLines[i]) : text::toHalfWidth(inLines[i]);
        check(characterSubsequence(out, source), "a tidied line is not made of its line's characters", column, input);
        check(import::tidyLine(inLines[i], spec.rule, spec.width) == out, "tidyLine and tidyColumn disagree", column,
              input);
        for (std::string_view c : characters(out)) {
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
            const std::string trimmed = text::trimSpaces(source);
            check(std::string_view(trimmed).substr(0, out.size()) == out, "a remark is not a prefix of its line",
                  column, input);
            check(out.size() == trimmed.size() || out.size() + text::charLength(trimmed, out.size()) > spec.width,
                  "a remark was cut although more fitted", column, input);
        }
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    // The raw bytes as a column, and the same bytes read as UTF-8 and converted, as a paste would give them.
    const std::string gbk = text::utf8ToGbk(input);
    for (int column = 1; column <= static_cast<int>(store::kFieldCount); ++column) {
        checkColumn(column, input, false);
        checkColumn(column, gbk, true);
    }
    // The whole import table: one record per line of the longest column, every field within its width.
    import::ColumnTexts columns;
    for (std::size_t k = 0; k < columns.size(); ++k) {
        columns[k] = gbk.substr(std::min(gbk.size(), k * 3));
    }
    const auto records = import::buildRecords(columns);
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
