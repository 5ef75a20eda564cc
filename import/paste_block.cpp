#include "import/paste_block.h"

#include "text/tsv.h"

#include <algorithm>

namespace telvane::import {

namespace {

inline bool isLineBreak(QChar c)
{
    return c == u'\r' || c == u'\n' || c == QChar(QChar::LineSeparator) || c == QChar(QChar::ParagraphSeparator);
}

// A cell as one line of its box.
QString oneLine(const QString& cell)
{
    if (std::none_of(cell.begin(), cell.end(), [](QChar c) { return c == u'\t' || isLineBreak(c); })) {
        return cell;
    }
    QString line;
    line.reserve(cell.size());
    for (qsizetype i = 0; i < cell.size(); ++i) {
        const QChar c = cell[i];
        if (isLineBreak(c)) {
            while (i + 1 < cell.size() && isLineBreak(cell[i + 1])) {
                ++i;
            }
            line += u' ';
        } else {
            line += c == u'\t' ? QChar(u' ') : c;
        }
    }
    return line;
}

} // namespace

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
            columns[c].append(c < row.size() ? oneLine(row[c]) : QString());
        }
    }
    return columns;
}

} // namespace telvane::import
