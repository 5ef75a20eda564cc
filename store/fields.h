#pragma once

#include <array>
#include <cstddef>
#include <string_view>

// The seven fields of a directory record: the one place that says what each field is called, how wide it is, how the
// query box searches it, how the entry form stores it and how an imported column is tidied for it.
namespace telvane::store {

// How a pasted spreadsheet column is made to fit its field.
enum class TidyRule {
    ChineseOnly, // names and units: spaces and single-byte characters go, Chinese stays
    Remark, // remarks: everything stays, trimmed and cut at a character boundary
    Phone, // telephone numbers: only single-byte characters stay
};

struct FieldInfo
{
    std::string_view name; // column name in the store file and caption in the grid (UTF-8)
    std::size_t width; // the most GBK bytes the field holds
    bool letters; // searched by pinyin initials
    bool digits; // searched by digits
    bool fullWidthOnEntry; // half-width characters typed into the entry form are stored full-width
    TidyRule tidy;
};

inline constexpr std::size_t kFieldCount = 7;

// In record order: field 0 is the name, field 6 the PHS number.
inline constexpr std::array<FieldInfo, kFieldCount> kFields {{
    {"\u59D3\u540D", 10, true, false, true, TidyRule::ChineseOnly}, // 姓名
    {"\u5355\u4F4D", 24, true, false, true, TidyRule::ChineseOnly}, // 单位
    {"\u5907\u6CE8", 32, true, true, false, TidyRule::Remark}, // 备注
    {"\u529E\u516C", 13, false, true, false, TidyRule::Phone}, // 办公
    {"\u5BB6\u91CC", 13, false, true, false, TidyRule::Phone}, // 家里
    {"\u624B\u673A", 11, false, true, false, TidyRule::Phone}, // 手机
    {"\u5C0F\u7075\u901A", 13, false, true, false, TidyRule::Phone}, // 小灵通
}};

// Field indexes by role, for the few places that name one field.
enum Field : std::size_t { kName = 0, kUnit, kRemark, kOffice, kHome, kMobile, kPhs };

} // namespace telvane::store
