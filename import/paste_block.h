#pragma once

#include <QList>
#include <QStringList>
#include <QStringView>

// Text pasted into the import window's boxes, read as a spreadsheet puts it on the clipboard: rows end in LF or
// CR LF, cells are separated by tabs, and a cell holding a line break, a tab or a double quote is written in double
// quotes with its quotes doubled.
namespace telvane::import {

// Whether the pasted text is a spreadsheet block to be read cell by cell: it holds a tab (several columns), or a
// line starts with a double quote (a quoted cell). Anything else is a plain column and goes into the box as it is.
bool isSpreadsheetBlock(QStringView text);

// The columns of a spreadsheet block, the leftmost first, each holding one cell per row; a row shorter than the
// widest has empty cells at its end. Every cell is one line: a tab inside it, and each run of line breaks inside it
// (CR LF, CR, LF, U+2028, U+2029), becomes one space.
QList<QStringList> blockColumns(QStringView text);

} // namespace telvane::import
