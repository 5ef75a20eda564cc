#pragma once

#include "import/tidy.h"
#include "store/directory_store.h"
#include "store/record.h"
#include "store/scan.h"
#include "text/tsv.h"

#include <QString>

#include <array>
#include <functional>
#include <string>
#include <vector>

// The bulk import without its window, one pipeline for the import window and telvane-cli: rows of cells, each row
// tidied into a record, the records added to the store a piece at a time inside one transaction.
namespace telvane::import {

// The column texts of the import, one per field, GBK bytes with CR LF between lines, column 1 at index 0.
using ColumnTexts = std::array<std::string, store::kFieldCount>;
// The cells of one row, GBK, in field order.
using RowCells = std::array<std::string_view, store::kFieldCount>;

// Hands the rows of the columns to `each`, until it says stop: line r of column k is cell k of row r, for as many
// rows as the largest line count of the columns (none when no column holds a line); a column with fewer lines
// gives empty cells below. False when `each` stopped.
bool forEachRow(const ColumnTexts& columns, const std::function<bool(const RowCells&)>& each);

// Tidies every column by its number, as the tidy command does with the paste boxes.
ColumnTexts tidyColumns(const ColumnTexts& columns);

// Tab-separated rows (cell k of a row feeds column k) to the column texts in GBK, cells joined by CR LF. A cell is
// one line (text::oneLine): a line break inside it would split its row in two and shift every row below. Refuses
// (false, with a reason) a row with a non-empty cell beyond the last field.
bool columnsFromRows(const text::TsvRows& rows, ColumnTexts& columns, QString* error = nullptr);

// One record from the cells of a row, as an import stores it: each cell tidied by the rule and width of its field,
// twice, as the import window's rows are (整理数据, then the import). *counts (if given) adds the cells tidying
// changed and those it cut.
store::Record tidyRow(const RowCells& cells, TidyCounts* counts = nullptr);
// Tidies a tidied row again, in place, until tidying changes it no more. Most rows come out of the first pass
// unchanged by a second, and for those this costs one look at each field.
void retidyRow(store::Record& record);

// The records importColumns() adds for the columns, in order.
std::vector<store::Record> importedRecords(const ColumnTexts& columns);

// Adds records to the store a piece at a time, all inside one transaction, so memory stays the same however many
// come, and after a failure or a crash either every record is stored or none. The records are GBK, or UTF-8 as the
// file keeps them.
class Importer
{
public:
    explicit Importer(store::DirectoryStore& store, store::Encoding encoding = store::Encoding::Gbk);
    bool begin(QString* error = nullptr);
    // A record as it is to be stored.
    bool add(store::Record&& record, QString* error = nullptr);
    // A row of GBK cells, tidied as the import tidies it.
    bool addRow(const RowCells& cells, QString* error = nullptr);
    bool commit(QString* error = nullptr);
    // Nothing added stays.
    void rollback();
    std::size_t added() const { return m_added; }
    // What tidying did to the rows given to addRow().
    const TidyCounts& counts() const { return m_counts; }

private:
    bool flush(QString* error);

    store::DirectoryStore::Appender m_appender;
    store::Encoding m_encoding;
    std::vector<store::Record> m_piece;
    std::size_t m_added = 0;
    TidyCounts m_counts;
};

// The import window's column texts into the store, each row tidied by tidyRow(), in one transaction. *added gets
// the number of records, *counts (if given) what tidying did.
bool importColumns(const ColumnTexts& columns, store::DirectoryStore& store, std::size_t* added = nullptr,
                   QString* error = nullptr, TidyCounts* counts = nullptr);

} // namespace telvane::import
