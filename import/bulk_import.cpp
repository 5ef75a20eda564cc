#include "import/bulk_import.h"

#include "import/tidy.h"
#include "text/gbk.h"

#include <algorithm>

using namespace Qt::StringLiterals;

namespace telvane::import {

ColumnTexts tidyColumns(const ColumnTexts& columns)
{
    ColumnTexts tidied;
    for (std::size_t k = 1; k <= store::kFieldCount; ++k) {
        tidied[static_cast<std::size_t>(k - 1)] = tidyColumn(k, columns[static_cast<std::size_t>(k - 1)]);
    }
    return tidied;
}

bool columnsFromRows(const text::TsvRows& rows, ColumnTexts& columns, QString* error)
{
    std::array<QString, store::kFieldCount> texts;
    qsizetype line = 0;
    for (const QStringList& row : rows) {
        ++line;
        for (auto k = static_cast<qsizetype>(store::kFieldCount); k < row.size(); ++k) {
            if (!row[k].isEmpty()) {
                if (error) {
                    *error = u"row %1 has more than %2 fields"_s.arg(line).arg(store::kFieldCount);
                }
                return false;
            }
        }
        for (qsizetype k = 0; k < static_cast<qsizetype>(store::kFieldCount); ++k) {
            QString& text = texts[static_cast<std::size_t>(k)];
            if (line > 1) {
                text += u"\r\n"_s;
            }
            if (k < row.size()) {
                // A cell is one line: its own line breaks would split its row in two.
                text += text::oneLine(row[k]);
            }
        }
    }
    for (std::size_t k = 0; k < texts.size(); ++k) {
        columns[k] = text::toGbk(texts[k]);
    }
    return true;
}

store::Record tidyRow(const RowCells& cells, TidyCounts* counts)
{
    store::Record record;
    for (std::size_t f = 0; f < store::kFieldCount; ++f) {
        bool cut = false;
        record[f] = tidyLine(cells[f], store::kFields[f].tidy, store::kFields[f].width, &cut);
        if (counts) {
            counts->cut += cut ? 1 : 0;
        }
    }
    retidyRow(record);
    if (counts) {
        for (std::size_t f = 0; f < store::kFieldCount; ++f) {
            counts->changed += record[f] != cells[f] ? 1 : 0;
        }
    }
    return record;
}

void retidyRow(store::Record& record)
{
    for (std::size_t f = 0; f < store::kFieldCount; ++f) {
        // A tidied remark or number without a blank at its ends and without control bytes, and a tidied name or
        // unit of characters made of bytes 0x80 and above (every GB2312 character), is what tidying it again gives:
        // nothing is left to convert, trim, drop or cut. Only the rare others take the second pass (a byte below 0x80
        // in a name may be the tail of a malformed sequence, which the second pass reads in another alignment).
        // Those are tidied until tidying changes nothing more, so that tidying a tidied row again, as the import
        // window's 导入数据 does after 整理数据, gives what one tidying gives: every pass only drops, converts
        // or cuts, so the text gets shorter until it stays.
        const store::FieldInfo& info = store::kFields[f];
        std::string& field = record[f];
        const unsigned char below = info.tidy == store::TidyRule::ChineseOnly ? 0x80 : 0x20;
        bool plain = (field.empty() || (field.front() != ' ' && field.back() != ' '))
                     && std::none_of(field.begin(), field.end(),
                                     [below](char c) { return static_cast<unsigned char>(c) < below; });
        while (!plain) {
            std::string again = tidyLine(field, info.tidy, info.width);
            plain = again == field;
            field = std::move(again);
        }
    }
}

bool forEachRow(const ColumnTexts& columns, const std::function<bool(const RowCells&)>& each)
{
    const std::size_t rows = largestLineCount(columns);
    // A cursor into each column: its lines are taken one by one, cut at CR LF only.
    std::array<std::string_view, store::kFieldCount> rest;
    for (std::size_t k = 0; k < store::kFieldCount; ++k) {
        rest[k] = columns[k];
    }
    RowCells cells;
    for (std::size_t r = 0; r < rows; ++r) {
        for (std::size_t k = 0; k < store::kFieldCount; ++k) {
            const std::size_t end = rest[k].find("\r\n");
            cells[k] = rest[k].substr(0, end);
            rest[k] = end == std::string_view::npos ? std::string_view() : rest[k].substr(end + 2);
        }
        if (!each(cells)) {
            return false;
        }
    }
    return true;
}

std::vector<store::Record> importedRecords(const ColumnTexts& columns)
{
    std::vector<store::Record> records;
    forEachRow(columns, [&](const RowCells& cells) {
        records.push_back(tidyRow(cells));
        return true;
    });
    return records;
}

namespace {

// Records go to the store in pieces of this many: large enough to cost nothing per piece, small enough to keep the
// memory of an import of millions of rows flat.
constexpr std::size_t kPieceRows = 4096;

} // namespace

Importer::Importer(store::DirectoryStore& store, store::Encoding encoding)
    : m_appender(store)
    , m_encoding(encoding)
{
    m_piece.reserve(kPieceRows);
}

bool Importer::begin(QString* error)
{
    return m_appender.begin(error);
}

bool Importer::add(store::Record&& record, QString* error)
{
    m_piece.push_back(std::move(record));
    return m_piece.size() < kPieceRows || flush(error);
}

bool Importer::addRow(const RowCells& cells, QString* error)
{
    return add(tidyRow(cells, &m_counts), error);
}

bool Importer::flush(QString* error)
{
    const bool stored =
        m_encoding == store::Encoding::Utf8 ? m_appender.addUtf8(m_piece, error) : m_appender.add(m_piece, error);
    if (!stored) {
        return false;
    }
    m_added += m_piece.size();
    m_piece.clear();
    return true;
}

bool Importer::commit(QString* error)
{
    return flush(error) && m_appender.commit(error);
}

void Importer::rollback()
{
    m_piece.clear();
    m_appender.rollback();
}

bool importColumns(const ColumnTexts& columns, store::DirectoryStore& store, std::size_t* added, QString* error,
                   TidyCounts* counts)
{
    if (added) {
        *added = 0;
    }
    if (largestLineCount(columns) == 0) {
        return true;
    }
    Importer importer(store);
    if (!importer.begin(error)) {
        return false;
    }
    const bool all = forEachRow(columns, [&](const RowCells& cells) { return importer.addRow(cells, error); });
    if (!all || !importer.commit(error)) {
        return false;
    }
    if (added) {
        *added = importer.added();
    }
    if (counts) {
        *counts = importer.counts();
    }
    return true;
}

} // namespace telvane::import
