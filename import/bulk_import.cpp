#include "import/bulk_import.h"

#include "import/tidy.h"
#include "text/gbk.h"

#include <algorithm>

using namespace Qt::StringLiterals;

namespace telvane::import {

std::vector<store::Record> buildRecords(const ColumnTexts& columns)
{
    const std::size_t largest = largestLineCount(columns);
    if (largest == 0) {
        return {};
    }
    std::vector<store::Record> records(largest);
    for (std::size_t k = 1; k <= store::kFieldCount; ++k) {
        const std::string tidied = tidyColumn(k, columns[static_cast<std::size_t>(k - 1)]);
        const std::vector<std::string_view> lines = text::splitLines(tidied);
        if (lines.size() > records.size()) {
            records.resize(lines.size());
        }
        for (std::size_t r = 0; r < lines.size(); ++r) {
            records[r][static_cast<std::size_t>(k - 1)] = std::string(lines[r]);
        }
    }
    return records;
}

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
                QString cell = row[k];
                cell.replace(u"\r\n"_s, u"\n"_s);
                text += cell;
            }
        }
    }
    for (std::size_t k = 0; k < texts.size(); ++k) {
        columns[k] = text::toGbk(texts[k]);
    }
    return true;
}

} // namespace telvane::import
