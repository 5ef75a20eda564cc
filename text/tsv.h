#pragma once

#include <QList>
#include <QString>
#include <QStringList>
#include <QStringView>

// Tab-separated text as spreadsheets put it on the clipboard and into files: one row per line, cells separated by
// tabs, a cell that holds a tab, a line break or a double quote written in double quotes with its quotes doubled.
namespace telvane::text {

using TsvRows = QList<QStringList>;

// Reads rows. A row ends at LF, CR LF or a CR alone outside quotes; a line break after the last row adds no row, so an
// empty text has no rows and "\n" has one row with one empty cell. A leading byte-order mark is skipped. A cell that
// starts with a double quote is quoted: "" inside stands for one quote, and the text after the closing quote up to
// the next tab or line end is kept as it is. A quote that is never closed is an ordinary character.
TsvRows parseTsv(QStringView text);

// Reads rows from a text that arrives in pieces (a large file, standard input), giving the same rows parseTsv()
// gives for the whole text, a few at a time: only rows that no later piece can change are handed out.
class TsvReader
{
public:
    // Adds the next piece of the text.
    void feed(QStringView piece);
    // The rows complete so far (each handed out once).
    TsvRows takeRows();
    // The text has ended: the rows that were still open.
    TsvRows finish();

private:
    QString m_pending;
    qsizetype m_scanned = 0; // how far m_pending was looked at for the end of a row
    qsizetype m_complete = 0; // m_pending up to here holds complete rows only
    bool m_started = false; // a byte-order mark is skipped only at the very beginning
    // Where the scan stands inside a row, kept between pieces.
    enum class State { CellStart, Plain, Quoted, QuoteInQuoted };
    State m_state = State::CellStart;
};

// Writes one row without a line end.
QString writeTsvRow(const QStringList& row);
// Writes the rows, each followed by `lineEnd` (LF for files; the list editor puts CR LF on the clipboard, as
// spreadsheets do).
QString writeTsv(const TsvRows& rows, QStringView lineEnd = u"\n");

// Whether a cell must be quoted: it holds a tab, CR, LF or a double quote, or starts with a byte-order mark.
bool needsQuotes(QStringView cell);

} // namespace telvane::text
