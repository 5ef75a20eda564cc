#pragma once

#include <array>
#include <cstddef>
#include <string>
#include <string_view>

namespace telvane::store {

// The seven fields of a directory record, numbered as every operation numbers them.
enum class Field : int { Name = 1, Unit = 2, Remark = 3, Office = 4, Home = 5, Mobile = 6, Phs = 7 };

inline constexpr int kFieldCount = 7;

// Maximum widths in GBK bytes, field 1 to 7.
inline constexpr std::array<int, kFieldCount> kFieldWidths {10, 24, 32, 13, 13, 11, 13};

// Column names of the store file, field 1 to 7 (UTF-8).
inline constexpr std::array<std::string_view, kFieldCount> kFieldNames {
    "\u59D3\u540D", "\u5355\u4F4D", "\u5907\u6CE8",      "\u529E\u516C",
    "\u5BB6\u91CC", "\u624B\u673A", "\u5C0F\u7075\u901A"};

// One record's field values as GBK bytes, field 1 at index 0.
using Record = std::array<std::string, kFieldCount>;

inline constexpr int fieldIndex(Field f)
{
    return static_cast<int>(f) - 1;
}

} // namespace telvane::store
