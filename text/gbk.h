#pragma once

#include <QString>
#include <QStringView>

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

// GBK text as the directory keeps it: every length, width and position counts bytes, positions from 1.
// The encoding is GB18030, a superset of GBK in which every GBK character keeps its two bytes and every
// Unicode character has a form, so nothing typed is ever replaced.
namespace telvane::text {

// ---- conversion -------------------------------------------------------------------------------------------------

// Qt / UTF-8 text to GB18030 bytes. Invalid UTF-8 sets *ok to false; its bad bytes become U+FFFD.
std::string toGbk(QStringView text);
std::string utf8ToGbk(std::string_view utf8, bool* ok = nullptr);
// The same into `out`, whose room is used again (a pass over a million records converts millions of fields).
void utf8ToGbk(std::string_view utf8, std::string& out, bool* ok = nullptr);

// GB18030 bytes to Qt / UTF-8 text. A byte that starts no valid character becomes U+FFFD and sets *ok to false.
QString fromGbk(std::string_view gbk);
std::string gbkToUtf8(std::string_view gbk, bool* ok = nullptr);
// The same into a buffer that is reused (cleared first), for loops over many fields.
void gbkToUtf8Into(std::string_view gbk, std::string& out);

// Whether the bytes are a complete, valid UTF-8 text.
bool isValidUtf8(std::string_view bytes);

// ---- characters -------------------------------------------------------------------------------------------------

// Length in bytes of the character that starts at offset `at` (0-based): 1 for a single byte (also for a byte
// that starts no valid character, so a walk never stalls), 2 for a GBK double-byte character, 4 for a GB18030
// four-byte character. 0 when `at` is at or past the end.
std::size_t charLength(std::string_view text, std::size_t at);

// GB18030 bytes of a text's characters, in order; used to cut at character boundaries.
std::size_t byteLength(QStringView text);

// The longest prefix of `text` whose GB18030 form has at most `maxBytes` bytes, never splitting a character.
QString leftBytes(QStringView text, std::size_t maxBytes);

// ---- byte helpers -----------------------------------------------------------------------------------------------

inline std::size_t byteLength(std::string_view text)
{
    return text.size();
}
// A number as plain decimal digits (a minus sign for negatives).
std::string decimal(long long number);

// Removes the single-byte spaces (0x20) at both ends.
std::string trimSpaces(std::string_view text);
// Removes every space: single-byte 0x20 and the ideographic space A1 A1 (as a whole character only).
std::string removeSpaces(std::string_view text);
// Full-width conversion: 0x21..0x7E become A3 A1..A3 FE, the space becomes A1 A1; double-byte and four-byte
// characters and control bytes stay as they are.
std::string toFullWidth(std::string_view text);

// ---- lines --------------------------------------------------------------------------------------------------------

// Cuts a multi-line text into lines at CR LF pairs only. An empty text has no lines; a text ending in CR LF has
// no empty line after it; a lone CR or LF is an ordinary byte of its line. The views point into `text`.
std::vector<std::string_view> splitLines(std::string_view text);
// The number of lines splitLines would return, without building them.
std::size_t lineCount(std::string_view text);
// The same count over Qt text (CR and LF are the same characters in both forms).
std::size_t lineCount(QStringView text);

// A text as a one-line field holds it: a tab becomes one space, and so does each run of line breaks (CR LF, CR,
// LF, vertical tab, form feed, U+0085, U+2028, U+2029), as a spreadsheet's quoted cell becomes one line when
// pasted. Everything else stays.
QString oneLine(QStringView text);
bool isOneLine(QStringView text);
// A cell read from a file (a vCard value, a CSV or spreadsheet cell) as one line of valid text: oneLine(), then
// every other control character dropped, half a surrogate pair replaced by U+FFFD, and the blanks the import's rules
// trim (spaces, ideographic spaces) taken off both ends.
QString cellLine(QStringView text);

} // namespace telvane::text
