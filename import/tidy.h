#pragma once

#include "store/fields.h"

#include <array>
#include <cstddef>
#include <span>
#include <string>
#include <string_view>

// The rules that make a pasted spreadsheet column fit the record field it feeds. Texts are GBK (GB18030) bytes;
// every width counts bytes. A character is kept or dropped whole: a GBK character whose second byte is below 0x80
// and a four-byte GB18030 character are never cut in half, and GB2312 text behaves exactly as the byte rules say.
namespace telvane::import {

using Rule = store::TidyRule;

struct ColumnSpec
{
    Rule rule;
    std::size_t width;
};

// The rule and width of column 1..7 (name, unit, remark, office, home, mobile, PHS): those of its field.
constexpr ColumnSpec columnSpec(int column)
{
    const store::FieldInfo& field = store::kFields[static_cast<std::size_t>(column - 1)];
    return {field.tidy, field.width};
}

// ---- one line ---------------------------------------------------------------------------------------------------

// Drops every space (0x20 and the ideographic space A1 A1) and every single-byte character, then keeps the
// characters that fit in `width` bytes.
std::string chineseOnlyLine(std::string_view line, std::size_t width);
// Full-width forms to half-width, spaces trimmed at both ends, cut to `width` bytes; a character the cut would
// split is dropped whole.
std::string remarkLine(std::string_view line, std::size_t width);
// Full-width forms to half-width, spaces trimmed at both ends, every multi-byte character dropped. A line longer
// than `width` loses its separators and a mainland country code first (store::compactPhone), so that a cut never
// makes another number of it; then the first `width` bytes.
std::string phoneLine(std::string_view line, std::size_t width);
// The rule's line; *cut (if given) tells whether the width cut something off. Under every rule a tab and each run
// of lone CRs and LFs inside the line become one space: a field is one line.
std::string tidyLine(std::string_view line, Rule rule, std::size_t width, bool* cut = nullptr);

// What tidying did to the lines of a column: how many it changed, and how many of those the width cut.
struct TidyCounts
{
    std::size_t changed = 0;
    std::size_t cut = 0;
};

// ---- one column -------------------------------------------------------------------------------------------------

// Applies the rule to every line (lines cut at CR LF only), keeps lines that became empty in their place, drops the
// empty lines at the end and ends the text with exactly one CR LF. A column without lines tidies to one empty line
// (CR LF). A tidied line never holds a CR LF pair, so tidying a tidied column again never adds a line.
std::string tidyColumn(std::string_view text, Rule rule, std::size_t width, TidyCounts* counts = nullptr);
// The same with the rule and width of column 1..7.
std::string tidyColumn(int column, std::string_view text, TidyCounts* counts = nullptr);

// The largest line count of the texts; 0 when none of them holds a line.
std::size_t largestLineCount(std::span<const std::string> texts);

} // namespace telvane::import
