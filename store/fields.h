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
    // The caption of the field's column in the import window: what it holds and how much of it (UTF-8).
    std::string_view importName;
    std::string_view importLimit;
};

inline constexpr std::size_t kFieldCount = 7;

// In record order: field 0 is the name, field 6 the PHS number.
inline constexpr std::array<FieldInfo, kFieldCount> kFields {{
    {"姓名", 10, true, false, true, TidyRule::ChineseOnly, "姓名", "最多5字"},
    {"单位", 24, true, false, true, TidyRule::ChineseOnly, "单位名", "最多12个汉字"},
    {"备注", 32, true, true, false, TidyRule::Remark, "备注", "最多16个汉字或32个字符"},
    {"办公", 13, false, true, false, TidyRule::Phone, "办公电话", "13字符"},
    {"家里", 13, false, true, false, TidyRule::Phone, "家庭电话", "13字符"},
    {"手机", 11, false, true, false, TidyRule::Phone, "手机", "11字符"},
    {"小灵通", 13, false, true, false, TidyRule::Phone, "小灵通", "13字符"},
}};

// Field indexes by role, for the few places that name one field.
enum Field : std::size_t { kName = 0, kUnit, kRemark, kOffice, kHome, kMobile, kPhs };

// Which fields a read takes from the file.
using FieldSet = std::array<bool, kFieldCount>;
inline constexpr FieldSet kAllFields {true, true, true, true, true, true, true};

} // namespace telvane::store
