#include "cli/commands.h"

#include "import/bulk_import.h"
#include "import/tidy.h"
#include "store/directory_store.h"
#include "store/handoff.h"
#include "text/gbk.h"
#include "text/tsv.h"

#include <QFile>

#include <algorithm>
#include <optional>
#include <thread>

#include <QString>

#include <cstdio>

using namespace Qt::StringLiterals;

namespace telvane::cli {

namespace {

// All of standard input; false when it could not be read to its end.
bool readInput(std::string& out)
{
    char buffer[1 << 16];
    std::size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, stdin)) > 0) {
        out.append(buffer, n);
    }
    return !std::ferror(stdin);
}

// Reads standard input as UTF-8 text without its byte-order mark; prints why not and returns false otherwise.
bool readUtf8Input(std::string& text)
{
    if (!readInput(text)) {
        printError("cannot read standard input");
        return false;
    }
    if (!text::isValidUtf8(text)) {
        printError("standard input is not valid UTF-8 text");
        return false;
    }
    if (text.starts_with("\xEF\xBB\xBF")) {
        text.erase(0, 3);
    }
    return true;
}

QString localPath(const std::string& file)
{
    return QString::fromLocal8Bit(file.data(), static_cast<qsizetype>(file.size()));
}

std::string utf8(const QString& text)
{
    return text.toUtf8().toStdString();
}

// The length of the bytes up to the last character that ends inside them: a UTF-8 sequence cut off at the end is
// left out (checking the bytes is not this function's task).
std::size_t completeUtf8(std::string_view bytes)
{
    std::size_t i = bytes.size();
    for (int back = 0; back < 4 && i > 0; ++back) {
        const auto c = static_cast<unsigned char>(bytes[i - 1]);
        if (c < 0x80) {
            return bytes.size();
        }
        --i;
        if (c >= 0xC0) {
            // The lead byte of the last sequence: whole when its length fits.
            const std::size_t length = c >= 0xF0 ? 4 : c >= 0xE0 ? 3 : 2;
            return bytes.size() - i >= length ? bytes.size() : i;
        }
    }
    return bytes.size();
}

} // namespace

int runTidy(const Args& args)
{
    const int column = args.size() == 1 ? std::atoi(args[0].c_str()) : 0;
    if (column < 1 || column > static_cast<int>(store::kFieldCount) || std::to_string(column) != args[0]) {
        return usage();
    }
    std::string input;
    if (!readUtf8Input(input)) {
        return kExitInput;
    }
    writeOut(text::gbkToUtf8(import::tidyColumn(column, text::utf8ToGbk(input))));
    return kExitOk;
}

namespace {

// Records read and tidied from standard input: what the reading thread hands to the writing one.
struct Piece
{
    std::vector<store::Record> records; // GBK, or UTF-8 as read for an exact import
    std::string refusal; // why the input is refused (the import then adds nothing)
};

constexpr std::size_t kPieceRows = 4096;

// Reads standard input a block at a time, checks it, reads its rows and tidies them as the import window tidies its
// rows (or, for an exact import, keeps every cell and every row as it is), and hands the records over in pieces.
// Runs on a thread of its own; a refusal is the last piece.
void readRows(store::Handoff<Piece>& pieces, bool exact, import::TidyCounts& counts)
{
    text::TsvReader reader;
    Piece piece;
    std::size_t line = 0;
    // A last row whose cells are all empty adds no record (as an empty last line adds none to a pasted column), so
    // such a row waits until another row follows it.
    std::optional<QStringList> emptyRow;
    store::Record cells;
    auto add = [&](const QStringList& row) {
        ++line;
        for (auto k = static_cast<qsizetype>(store::kFieldCount); k < row.size(); ++k) {
            if (!row[k].isEmpty()) {
                piece.refusal = "standard input: row " + std::to_string(line) + " has more than "
                                + std::to_string(store::kFieldCount) + " fields";
                return false;
            }
        }
        for (std::size_t k = 0; k < store::kFieldCount; ++k) {
            const QString cell = row.value(static_cast<qsizetype>(k));
            // As exported: every cell as it is, UTF-8 as the file keeps it; otherwise GBK, to be tidied.
            cells[k] = exact ? cell.toStdString() : text::toGbk(cell);
        }
        if (exact) {
            piece.records.push_back(cells);
        } else {
            import::RowCells views;
            std::copy(cells.begin(), cells.end(), views.begin());
            piece.records.push_back(import::tidyRow(views, &counts));
        }
        if (piece.records.size() >= kPieceRows) {
            pieces.push(std::move(piece));
            piece = {};
        }
        return true;
    };
    auto take = [&](const text::TsvRows& rows) {
        for (const QStringList& row : rows) {
            if (emptyRow && !add(*emptyRow)) {
                return false;
            }
            emptyRow.reset();
            if (!exact && std::all_of(row.begin(), row.end(), [](const QString& cell) { return cell.isEmpty(); })) {
                emptyRow = row;
            } else if (!add(row)) {
                return false;
            }
        }
        return true;
    };
    auto refuse = [&](const std::string& why) {
        piece.records.clear();
        if (piece.refusal.empty()) {
            piece.refusal = why;
        }
        pieces.push(std::move(piece));
        pieces.finish();
    };
    std::string block;
    std::vector<char> buffer(1 << 20);
    std::size_t n;
    while ((n = std::fread(buffer.data(), 1, buffer.size(), stdin)) > 0) {
        if (pieces.closed()) {
            return;
        }
        block.append(buffer.data(), n);
        // A character cut by the block's end waits for the next block.
        const std::size_t whole = completeUtf8(block);
        if (!text::isValidUtf8(std::string_view(block).substr(0, whole))) {
            return refuse("standard input is not valid UTF-8 text");
        }
        reader.feed(QString::fromUtf8(block.data(), static_cast<qsizetype>(whole)));
        block.erase(0, whole);
        if (!take(reader.takeRows())) {
            return refuse({});
        }
    }
    if (std::ferror(stdin)) {
        return refuse("cannot read standard input");
    }
    if (!block.empty()) {
        return refuse("standard input is not valid UTF-8 text");
    }
    if (!take(reader.finish())) {
        return refuse({});
    }
    pieces.push(std::move(piece));
    pieces.finish();
}

} // namespace

int runImport(const Args& given)
{
    Args args;
    bool exact = false;
    for (const std::string& arg : given) {
        if (arg == "--exact") {
            exact = true;
        } else {
            args.push_back(arg);
        }
    }
    if (args.size() != 1) {
        return usage();
    }
    const QString path = localPath(args[0]);
    QString error;
    const store::FileState state = store::DirectoryStore::inspect(path);
    const bool created = state == store::FileState::Missing;
    if (created) {
        if (!store::DirectoryStore::create(path, &error)) {
            printError(args[0] + ": " + utf8(error));
            return kExitFile;
        }
    } else if (state != store::FileState::Store) {
        printError(args[0] + ": " + utf8(store::DirectoryStore::describe(state, path)));
        return kExitFile;
    }
    store::DirectoryStore store;
    if (!store.open(path, &error)) {
        printError(args[0] + ": " + utf8(error));
        return kExitFile;
    }
    import::Importer importer(store, exact ? store::Encoding::Utf8 : store::Encoding::Gbk);
    if (!importer.begin(&error)) {
        printError(args[0] + ": no record added: " + utf8(error));
        return kExitFile;
    }
    // Standard input is read and tidied on one thread while this one adds the rows, all in one transaction: the
    // memory stays the same however large the input is, and a refused input adds nothing.
    store::Handoff<Piece> pieces;
    import::TidyCounts tidied;
    std::thread reading(readRows, std::ref(pieces), exact, std::ref(tidied));
    std::string refusal;
    bool written = true;
    while (std::optional<Piece> piece = pieces.pop()) {
        if (!piece->refusal.empty()) {
            refusal = piece->refusal;
            break;
        }
        for (store::Record& record : piece->records) {
            if (written && !importer.add(std::move(record), &error)) {
                written = false;
                pieces.close();
            }
        }
    }
    pieces.close();
    reading.join();
    if (!refusal.empty()) {
        printError(refusal);
        importer.rollback();
        store.close();
        // A store made for the input goes again, so the folder is left as it was.
        if (created && store::DirectoryStore::inspect(path) == store::FileState::Store) {
            QFile::remove(path);
        }
        return kExitInput;
    }
    if (!written || !importer.commit(&error)) {
        printError(args[0] + ": no record added: " + utf8(error));
        return kExitFile;
    }
    if (tidied.changed > 0) {
        printError("tidying changed " + std::to_string(tidied.changed) + " cells as the import window does ("
                   + std::to_string(tidied.cut)
                   + " of them cut to their field's width); --exact stores every cell as it is");
    }
    if (const QString warning = store.incompleteWarning(); !warning.isEmpty()) {
        printError(utf8(warning));
    }
    const std::size_t added = importer.added();
    store.close();
    return writeOut(std::to_string(added) + "\n") ? kExitOk : kExitOutput;
}

int runExport(const Args& args)
{
    if (args.size() != 1) {
        return usage();
    }
    const QString path = localPath(args[0]);
    QString error;
    std::string out;
    QStringList row;
    store::Scan scan;
    bool writing = true;
    // One pass in the file's own UTF-8, written as it is read; it stops at the first failed write.
    const bool read = store::scanStore(
        path,
        [&](std::int64_t, const store::FieldViews& fields) {
            row.clear();
            for (const std::string_view field : fields) {
                row.append(QString::fromUtf8(field.data(), static_cast<qsizetype>(field.size())));
            }
            out += utf8(text::writeTsvRow(row));
            out += '\n';
            if (out.size() >= 1 << 16) {
                writing = writeOut(out);
                out.clear();
            }
            return writing;
        },
        &scan, &error, store::Encoding::Utf8);
    if (!writing || !writeOut(out)) {
        return kExitOutput;
    }
    if (!read) {
        printError(args[0] + ": " + utf8(error));
        return kExitFile;
    }
    return kExitOk;
}

} // namespace telvane::cli
