#include "text/tsv.h"

namespace telvane::text {

namespace {

// Whether position i starts a line end: LF, CR LF, or a CR alone (as some spreadsheets end their rows).
inline qsizetype lineEndLength(QStringView text, qsizetype i)
{
    if (text[i] == u'\n') {
        return 1;
    }
    if (text[i] == u'\r') {
        return i + 1 < text.size() && text[i + 1] == u'\n' ? 2 : 1;
    }
    return 0;
}

// The end of an unquoted piece that starts at i: the next tab, line end or the end of the text.
qsizetype plainEnd(QStringView text, qsizetype i)
{
    while (i < text.size() && text[i] != u'\t' && lineEndLength(text, i) == 0) {
        ++i;
    }
    return i;
}

// Reads the cell that starts at i and moves i to the separator after it (or to the end).
QString readCell(QStringView text, qsizetype& i)
{
    const qsizetype n = text.size();
    if (i < n && text[i] == u'"') {
        QString value;
        qsizetype j = i + 1;
        while (j < n) {
            if (text[j] == u'"') {
                if (j + 1 < n && text[j + 1] == u'"') {
                    value += u'"';
                    j += 2;
                    continue;
                }
                // Closed: whatever follows up to the separator is kept as typed.
                const qsizetype end = plainEnd(text, j + 1);
                value += text.mid(j + 1, end - (j + 1));
                i = end;
                return value;
            }
            value += text[j];
            ++j;
        }
        // Never closed: the quote was an ordinary character.
    }
    const qsizetype end = plainEnd(text, i);
    QString value = text.mid(i, end - i).toString();
    i = end;
    return value;
}

} // namespace

namespace {

TsvRows parseRows(QStringView text, bool skipMark)
{
    TsvRows rows;
    qsizetype i = 0;
    if (skipMark && !text.isEmpty() && text[0] == QChar(0xFEFF)) {
        i = 1;
    }
    const qsizetype n = text.size();
    if (i >= n) {
        return rows;
    }
    QStringList row;
    while (true) {
        row.append(readCell(text, i));
        if (i >= n) {
            rows.append(row);
            break;
        }
        if (text[i] == u'\t') {
            ++i;
            continue;
        }
        i += lineEndLength(text, i);
        rows.append(row);
        row.clear();
        if (i >= n) {
            break; // a line end after the last row adds no row
        }
    }
    return rows;
}

} // namespace

TsvRows parseTsv(QStringView text)
{
    return parseRows(text, true);
}

void TsvReader::feed(QStringView piece)
{
    m_pending += piece;
    // Find the end of the last row that is complete: a line end outside a quoted cell. A CR or a quote at the very
    // end of the text so far waits for the next piece, which tells whether a LF or a second quote follows.
    const qsizetype n = m_pending.size();
    qsizetype i = m_scanned;
    // The byte-order mark at the very beginning is no part of the first cell (which may start with a quote).
    if (!m_started && i == 0 && n > 0 && m_pending[0] == QChar(0xFEFF)) {
        i = 1;
    }
    while (i < n) {
        const QChar c = m_pending[i];
        switch (m_state) {
            case State::CellStart:
                if (c == u'"') {
                    m_state = State::Quoted;
                    ++i;
                    continue;
                }
                m_state = State::Plain;
                continue;
            case State::Quoted:
                if (c == u'"') {
                    m_state = State::QuoteInQuoted;
                }
                ++i;
                continue;
            case State::QuoteInQuoted:
                // A doubled quote stays inside; anything else closes the cell, and the rest is read as it is.
                m_state = c == u'"' ? State::Quoted : State::Plain;
                if (c == u'"') {
                    ++i;
                }
                continue;
            case State::Plain:
                if (c == u'\t') {
                    m_state = State::CellStart;
                    ++i;
                } else if (c == u'\n') {
                    m_state = State::CellStart;
                    m_complete = ++i;
                } else if (c == u'\r') {
                    if (i + 1 >= n) {
                        m_scanned = i;
                        return;
                    }
                    m_state = State::CellStart;
                    i += m_pending[i + 1] == u'\n' ? 2 : 1;
                    m_complete = i;
                } else {
                    ++i;
                }
                continue;
        }
    }
    m_scanned = i;
}

TsvRows TsvReader::takeRows()
{
    if (m_complete == 0) {
        return {};
    }
    TsvRows rows = parseRows(QStringView(m_pending).left(m_complete), !m_started);
    m_started = true;
    m_pending.remove(0, m_complete);
    m_scanned -= m_complete;
    m_complete = 0;
    return rows;
}

TsvRows TsvReader::finish()
{
    // What is left holds no complete row; a quote never closed turns out an ordinary character here.
    TsvRows rows = parseRows(m_pending, !m_started);
    m_started = true;
    m_pending.clear();
    m_scanned = m_complete = 0;
    m_state = State::CellStart;
    return rows;
}

bool needsQuotes(QStringView cell)
{
    // A byte-order mark at the very beginning of a text is skipped on reading, so a cell that starts with one
    // keeps it only inside quotes.
    if (!cell.isEmpty() && cell[0] == QChar(0xFEFF)) {
        return true;
    }
    for (const QChar c : cell) {
        if (c == u'\t' || c == u'\r' || c == u'\n' || c == u'"') {
            return true;
        }
    }
    return false;
}

QString writeTsvRow(const QStringList& row)
{
    QString out;
    for (qsizetype k = 0; k < row.size(); ++k) {
        if (k > 0) {
            out += u'\t';
        }
        const QString& cell = row[k];
        if (needsQuotes(cell)) {
            out += u'"';
            for (const QChar c : cell) {
                if (c == u'"') {
                    out += u'"';
                }
                out += c;
            }
            out += u'"';
        } else {
            out += cell;
        }
    }
    return out;
}

QString writeTsv(const TsvRows& rows, QStringView lineEnd)
{
    QString out;
    for (const QStringList& row : rows) {
        out += writeTsvRow(row);
        out += lineEnd;
    }
    return out;
}

} // namespace telvane::text
