#include "editor/tsv.h"

using namespace Qt::StringLiterals;

namespace telvane::editor {

CellBlock parseTsv(QStringView text)
{
    CellBlock rows;
    QStringList row;
    QString cell;
    const qsizetype n = text.size();
    qsizetype i = 0;
    bool rowOpen = false;
    while (i < n) {
        rowOpen = true;
        if (cell.isEmpty() && text[i] == u'"') {
            // Quoted cell: up to the quote that is not doubled.
            ++i;
            while (i < n) {
                if (text[i] == u'"') {
                    if (i + 1 < n && text[i + 1] == u'"') {
                        cell += u'"';
                        i += 2;
                        continue;
                    }
                    ++i;
                    break;
                }
                cell += text[i++];
            }
            continue;
        }
        const QChar c = text[i];
        if (c == u'\t') {
            row << cell;
            cell.clear();
            ++i;
        } else if (c == u'\r' || c == u'\n') {
            row << cell;
            cell.clear();
            rows << row;
            row.clear();
            rowOpen = false;
            i += (c == u'\r' && i + 1 < n && text[i + 1] == u'\n') ? 2 : 1;
        } else {
            cell += c;
            ++i;
        }
    }
    if (rowOpen) {
        row << cell;
        rows << row;
    }
    return rows;
}

QString writeTsv(const CellBlock& rows)
{
    QString out;
    for (qsizetype r = 0; r < rows.size(); ++r) {
        if (r > 0) {
            out += u"\r\n";
        }
        const QStringList& row = rows[r];
        for (qsizetype c = 0; c < row.size(); ++c) {
            if (c > 0) {
                out += u'\t';
            }
            const QString& cell = row[c];
            const bool quote =
                cell.contains(u'\t') || cell.contains(u'\r') || cell.contains(u'\n') || cell.contains(u'"');
            if (quote) {
                QString doubled = cell;
                doubled.replace(u'"', u"\"\""_s);
                out += u'"' + doubled + u'"';
            } else {
                out += cell;
            }
        }
    }
    return out;
}

} // namespace telvane::editor
