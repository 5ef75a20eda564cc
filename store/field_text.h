#pragma once

#include <QString>
#include <QStringView>

#include <cstddef>
#include <string>
#include <string_view>

// What a field keeps of a text typed, pasted or imported into it. Widths count the bytes of the form the store
// keeps, and whatever a width takes away is told to the caller, so nothing is cut without a word.
namespace telvane::store {

// A telephone number without its separators (spaces, hyphens, dots, brackets) and, when that is still too long,
// without a mainland country code (+86, 0086): the number stays whole where a cut would make another number of
// it. A landline keeps its trunk prefix 0 in front of the area code (+86 10 ... becomes 010...).
std::string compactPhone(std::string_view line, std::size_t width);

// A line (GBK bytes) fitted to the width of field 0..6: a telephone number compacted when that makes it fit,
// otherwise whole characters up to the width. *cut (if given) is set when characters were lost.
std::string fitToField(std::size_t field, std::string_view gbk, bool* cut = nullptr);

// A text typed or pasted into field 0..6 as the field stores it: one line, half-width characters made full-width
// where the field keeps them so (names and units, which the letter search reads two bytes at a time), fitted to
// the field's width. *cut (if given) is set when characters were lost.
QString storedText(std::size_t field, QStringView typed, bool* cut = nullptr);

// The bytes a text takes once stored in field 0..6 (a half-width character in a name or unit takes two).
std::size_t storedLength(std::size_t field, QStringView text);

} // namespace telvane::store
