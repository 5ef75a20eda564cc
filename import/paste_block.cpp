#include "import/paste_block.h"

#include "text/gbk.h"
#include "text/tsv.h"

#include <algorithm>

namespace telvane::import {

bool isSpreadsheetBlock(QStringView text)
{
    if (text.contains(u'\t')) {
        return true;
    }
    for (qsizetype at = text.indexOf(u'"'); at >= 0; at = text.indexOf(u'"', at + 1)) {
        if (at == 0 || text[at - 1] == u'\n' || (at == 1 && text[0] == QChar(0xFEFF))) {
            return true;
        }
    }
    return false;
}

QList<QStringList> blockColumns(QStringView text)
{
    const text::TsvRows rows = text::parseTsv(text);
    qsizetype width = 0;
    for (const QStringList& row : rows) {
        width = std::max(width, row.size());
    }
    QList<QStringList> columns(width);
    for (QStringList& column : columns) {
        column.reserve(rows.size());
    }
    for (const QStringList& row : rows) {
        for (qsizetype c = 0; c < width; ++c) {
            columns[c].append(c < row.size() ? text::oneLine(row[c]) : QString());
        }
    }
    return columns;
}

} // namespace telvane::import
