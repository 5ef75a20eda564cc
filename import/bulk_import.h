#pragma once

#include "text/tsv.h"
#include "store/record.h"

#include <QString>

#include <array>
#include <string>
#include <vector>

// The bulk import without its window: seven tidied columns become one record per row.
namespace telvane::import {

// The seven column texts of the import, GBK bytes with CR LF between lines, column 1 at index 0.
using ColumnTexts = std::array<std::string, store::kFieldCount>;

// The Row table: every column is tidied again by its number and cut into lines; line r of column k becomes field k
// of record r. There are as many records as the largest line count of the columns as given (none when no column
// holds a line); a column with fewer lines leaves the lower fields empty, and every row is a record, also an
// empty one. A column never loses a line: should tidying ever yield more lines than that count, the table grows.
std::vector<store::Record> buildRecords(const ColumnTexts& columns);

// Tidies every column by its number, as the tidy command does with the seven paste boxes.
ColumnTexts tidyColumns(const ColumnTexts& columns);

// Tab-separated rows (cell k of a row feeds column k) to the seven column texts in GBK, cells joined by CR LF.
// A line break inside a cell would split its row in two and shift every row below it, so a CR LF pair inside a
// cell becomes a single LF. Refuses (false, with a reason) a row with a non-empty cell beyond the seventh.
bool columnsFromRows(const text::TsvRows& rows, ColumnTexts& columns, QString* error = nullptr);

} // namespace telvane::import
