#pragma once

#include <QString>
#include <QStringList>
#include <QStringView>

#include <QList>

namespace telvane::editor {

// A block of cells as spreadsheets put it on the clipboard: cells separated by tabs, one line per row.
using CellBlock = QList<QStringList>;

// Reads clipboard text into rows of cells. Lines end in CR LF, LF or a lone CR; a line end after the last row
// starts no further row. A cell that begins with a double quote is quoted: it runs to the next lone quote, may hold
// tabs and line ends, and "" inside it stands for one quote; anything between the closing quote and the next tab
// or line end is kept as written. Every row keeps as many cells as it has (rows may differ in length).
CellBlock parseTsv(QStringView text);

// Writes rows of cells for the clipboard: tabs between cells, CR LF between rows and none after the last. A cell
// holding a tab, CR, LF or double quote is quoted, its quotes doubled, so parseTsv reads back the same cells.
QString writeTsv(const CellBlock& rows);

} // namespace telvane::editor
