#pragma once

#include <array>
#include <cstddef>
#include <span>
#include <string>
#include <string_view>

// The rules that make a pasted spreadsheet column fit the record field it feeds. Texts are GBK (GB18030) bytes;
// every width counts bytes. A character is kept or dropped whole: a GBK character whose second byte is below 0x80
// and a four-byte GB18030 character are never cut in half, and GB2312 text behaves exactly as the byte rules say.
namespace telvane::import {

enum class Rule {
    ChineseOnly, // names and units: spaces and single-byte characters go, Chinese stays
    Remark, // remarks: everything stays, trimmed and cut at a character boundary
    Phone, // telephone numbers: only single-byte characters stay
};

struct ColumnSpec
{
    Rule rule;
    std::size_t width;
};

inline constexpr int kColumnCount = 7;

// Column 1..7: name, unit, remark, office, home, mobile, PHS, with the widths of the record fields.
inline constexpr std::array<ColumnSpec, kColumnCount> kColumns {{
    {Rule::ChineseOnly, 10},
    {Rule::ChineseOnly, 24},
    {Rule::Remark, 32},
    {Rule::Phone, 13},
    {Rule::Phone, 13},
    {Rule::Phone, 11},
    {Rule::Phone, 13},
}};

// The rule and width of column 1..7.
constexpr ColumnSpec columnSpec(int column)
{
    return kColumns[static_cast<std::size_t>(column - 1)];
}

// ---- one line ---------------------------------------------------------------------------------------------------

// Drops every space (0x20 and the ideographic space A1 A1) and every single-byte character, then keeps the
// characters that fit in `width` bytes.
std::string chineseOnlyLine(std::string_view line, std::size_t width);
// Full-width forms to half-width, spaces trimmed at both ends, cut to `width` bytes; a character the cut would
// split is dropped whole.
std::string remarkLine(std::string_view line, std::size_t width);
// Full-width forms to half-width, spaces trimmed at both ends, every multi-byte character dropped, then the first
// `width` bytes.
std::string phoneLine(std::string_view line, std::size_t width);
std::string tidyLine(std::string_view line, Rule rule, std::size_t width);

// ---- one column -------------------------------------------------------------------------------------------------

// Applies the rule to every line (lines cut at CR LF only), keeps lines that became empty in their place, drops the
// empty lines at the end and ends the text with exactly one CR LF. A column without lines tidies to one empty line
// (CR LF). A tidied line never holds a CR LF pair, so tidying a tidied column again never adds a line.
std::string tidyColumn(std::string_view text, Rule rule, std::size_t width);
// The same with the rule and width of column 1..7.
std::string tidyColumn(int column, std::string_view text);

// The largest line count of the texts; 0 when none of them holds a line.
std::size_t largestLineCount(std::span<const std::string> texts);

} // namespace telvane::import
