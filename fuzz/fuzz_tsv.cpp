// The tab-separated text reader and writer.
//
// Any text is read without a crash, and what is read writes back to text that reads the same; any table of
// cells built from the input is written and read back unchanged.
#include "import/bulk_import.h"
#include "text/tsv.h"

#include <QString>
#include <QStringList>

#include <cstdint>
#include <cstdio>
#include <cstdlib>

using namespace telvane;

namespace {

void check(bool condition, const char* what)
{
    if (!condition) {
        std::fprintf(stderr, "fuzz_tsv: %s\n", what);
        std::abort();
    }
}

// A table from the input: a control byte 0..5 ends a cell (1), a row (2), or stands for a tab (3), a CR (4), an LF
// (5) inside a cell; a quote, a byte-order mark and any other character is cell text. Every row has a cell.
text::TsvRows table(const QString& source)
{
    text::TsvRows rows;
    QStringList row;
    QString cell;
    for (QChar c : source) {
        switch (c.unicode()) {
            case 1:
                row.append(cell);
                cell.clear();
                break;
            case 2:
                row.append(cell);
                cell.clear();
                rows.append(row);
                row.clear();
                break;
            case 3:
                cell += u'\t';
                break;
            case 4:
                cell += u'\r';
                break;
            case 5:
                cell += u'\n';
                break;
            default:
                cell += c;
        }
    }
    if (!cell.isEmpty() || !row.isEmpty()) {
        row.append(cell);
        rows.append(row);
    }
    return rows;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const QString text = QString::fromUtf8(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));

    // Any text: read, write, read again gives the same rows.
    const text::TsvRows parsed = text::parseTsv(text);
    for (const QStringList& row : parsed) {
        check(!row.isEmpty(), "a row without a cell");
    }
    check(text::parseTsv(text::writeTsv(parsed)) == parsed, "rows read from text do not survive a write");

    // The same text arriving in pieces (standard input read a block at a time) gives the same rows.
    text::TsvReader reader;
    text::TsvRows pieces;
    qsizetype at = 0;
    for (std::size_t k = 0; at < text.size(); ++k) {
        const qsizetype length = 1 + (k < size ? data[k] % 7 : 3);
        reader.feed(QStringView(text).mid(at, length));
        pieces += reader.takeRows();
        at += length;
    }
    pieces += reader.finish();
    check(pieces == parsed, "rows read in pieces differ from rows read at once");

    // Any table: written and read back unchanged.
    const text::TsvRows rows = table(text);
    const QString written = text::writeTsv(rows);
    check(text::parseTsv(written) == rows, "a table does not survive write and read");
    for (const QStringList& row : rows) {
        // One row of one empty cell is written as an empty text, which has no rows.
        const text::TsvRows alone = text::parseTsv(text::writeTsvRow(row));
        check(row.size() == 1 && row[0].isEmpty() ? alone.isEmpty() : alone.size() == 1 && alone[0] == row,
              "one row does not survive");
    }

    // The list editor's clipboard blocks end every row in CR LF: any block is written and read back.
    check(text::parseTsv(text::writeTsv(rows, u"\r\n")) == rows, "a clipboard block does not survive write and read");

    // The rows as import columns: never a crash, and a refusal only for a filled cell beyond the seventh.
    import::ColumnTexts columns;
    QString error;
    bool beyond = false;
    for (const QStringList& row : rows) {
        for (qsizetype k = 7; k < row.size(); ++k) {
            beyond = beyond || !row[k].isEmpty();
        }
    }
    check(import::columnsFromRows(rows, columns, &error) == !beyond, "columnsFromRows refused the wrong table");
    check(beyond == !error.isEmpty(), "a refusal without a reason, or a reason without a refusal");
    return 0;
}
