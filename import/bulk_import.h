#pragma once

#include "store/directory_store.h"
#include "store/record.h"
#include "text/tsv.h"

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
// A cell is one line (text::oneLine): a line break inside it would split its row in two and shift every row below.
// Refuses (false, with a reason) a row with a non-empty cell beyond the seventh.
bool columnsFromRows(const text::TsvRows& rows, ColumnTexts& columns, QString* error = nullptr);

// ---- the import into the store ----------------------------------------------------------------------------------

// The cells of one row, GBK, in field order.
using RowCells = std::array<std::string_view, store::kFieldCount>;

// One record from the cells of a row, each tidied by the rule and width of its field.
store::Record tidyRow(const RowCells& cells);
// Tidies a tidied row once more, in place, as the import window's rows are (整理数据, then the import tidies again),
// so that a row imported from elsewhere takes both passes too. Most rows come out of the first pass unchanged by a
// second, and for those this costs one look at each field.
void retidyRow(store::Record& record);

// The import as the import window and telvane-cli make it: rows are tidied and added to the store a piece at a time,
// all inside one transaction, so memory stays the same however many rows come, and after a failure or a crash
// either every row is stored or none.
class Importer
{
public:
    explicit Importer(store::DirectoryStore& store);
    bool begin(QString* error = nullptr);
    bool addRow(const RowCells& cells, QString* error = nullptr);
    bool commit(QString* error = nullptr);
    std::size_t added() const { return m_added; }

private:
    bool flush(QString* error);

    store::DirectoryStore::Appender m_appender;
    std::vector<store::Record> m_piece;
    std::size_t m_added = 0;
};

// The import window's seven column texts into the store: line r of column k is cell k of row r, for as many rows as
// the largest line count of the columns (none when no column holds a line). *added gets the number of records.
bool importColumns(const ColumnTexts& columns, store::DirectoryStore& store, std::size_t* added = nullptr,
                   QString* error = nullptr);

} // namespace telvane::import
