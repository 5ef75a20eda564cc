#include "cli/commands.h"

#include "contacts/contact_file.h"
#include "contacts/duplicates.h"
#include "contacts/writers.h"
#include "import/bulk_import.h"
#include "import/tidy.h"
#include "query/phonetic.h"
#include "store/auto_backup.h"
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
            // As exported: every cell as it is, UTF-8 as the file keeps it; otherwise one line in GBK, to be tidied
            // as the import window tidies a pasted cell.
            cells[k] = exact ? cell.toStdString() : text::toGbk(text::oneLine(cell));
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

namespace {

struct ImportOptions
{
    bool exact = false;
    bool skipDuplicates = false;
    std::optional<std::string> from; // a contacts file read instead of standard input
};

// Opens the store an import adds to, made as an empty store when missing; prints why not and returns false.
bool openForImport(const std::string& file, store::DirectoryStore& store, bool* created)
{
    const QString path = localPath(file);
    QString error;
    const store::FileState state = store::DirectoryStore::inspect(path);
    *created = state == store::FileState::Missing;
    if (*created) {
        if (!store::DirectoryStore::create(path, &error)) {
            printError(file + ": " + utf8(error));
            return false;
        }
    } else if (state != store::FileState::Store) {
        printError(file + ": " + utf8(store::DirectoryStore::describe(state, path)));
        return false;
    }
    if (!store.open(path, &error)) {
        printError(file + ": " + utf8(error));
        return false;
    }
    return true;
}

// Backs up a store that existed before the import, once the records are in its open transaction and about to be
// committed: the copy is read through a connection of its own, which sees the store as it was before the import, and
// an input refused on the way leaves the folder as it was. A backup that fails is said and the import goes on.
void backUpBeforeCommit(const QString& path, bool created)
{
    if (created) {
        return;
    }
    if (const store::BackupResult backup = store::backupBeforeWrite(path, store::BackupReason::BeforeImport);
        !backup.warning.isEmpty()) {
        printError(utf8(backup.warning));
    }
}

// Which incoming records go in: with --skip-duplicates none that repeats a stored record or an earlier incoming one;
// either way the repeats of stored records are counted, for the message.
class RepeatFilter
{
public:
    RepeatFilter(bool active, bool skip)
        : m_active(active)
        , m_skip(skip)
    { }
    bool readStore(const QString& path, QString* error)
    {
        if (!m_active) {
            return true;
        }
        if (!contacts::indexStoredRecords(path, m_index, error)) {
            return false;
        }
        m_stored = m_index.size();
        return true;
    }
    // Whether the record is to be added.
    bool admit(const store::Record& record)
    {
        if (!m_active) {
            return true;
        }
        contacts::FieldViews fields;
        std::copy(record.begin(), record.end(), fields.begin());
        const std::size_t first = m_skip ? m_index.findAndAdd(fields) : m_index.find(fields);
        if (first == contacts::DuplicateIndex::npos) {
            return true;
        }
        ++(first < m_stored ? m_repeatStored : m_repeatIncoming);
        return !m_skip;
    }
    void report() const
    {
        if (!m_active) {
            return;
        }
        if (m_skip) {
            printError("skipped " + std::to_string(m_repeatStored) + " rows that repeat stored records and "
                       + std::to_string(m_repeatIncoming) + " that repeat earlier rows");
        } else if (m_repeatStored > 0) {
            printError(std::to_string(m_repeatStored)
                       + " rows repeat stored records (same mobile number, or same name and a same number); "
                         "--skip-duplicates leaves them out");
        }
    }

private:
    bool m_active;
    bool m_skip;
    contacts::DuplicateIndex m_index;
    std::size_t m_stored = 0;
    std::size_t m_repeatStored = 0;
    std::size_t m_repeatIncoming = 0;
};

std::string encodingName(contacts::TextEncoding encoding)
{
    switch (encoding) {
        case contacts::TextEncoding::Utf8:
            return "UTF-8";
        case contacts::TextEncoding::Utf8Bom:
            return "UTF-8 with a byte-order mark";
        case contacts::TextEncoding::Utf16Le:
            return "UTF-16LE";
        case contacts::TextEncoding::Utf16Be:
            return "UTF-16BE";
        case contacts::TextEncoding::Gb18030:
            return "GB18030";
    }
    return {};
}

// Says what reading the contacts file found besides its records.
void reportRead(const std::string& file, contacts::ContactFormat format, const contacts::ContactList& list)
{
    const contacts::ReadReport& r = list.report;
    std::string line = file + ": " + std::to_string(list.records.size()) + " records read";
    if (format == contacts::ContactFormat::VCard || format == contacts::ContactFormat::Csv) {
        line += " (" + encodingName(r.encoding) + ")";
    }
    if (r.numbersElsewhere > 0) {
        line += "; " + std::to_string(r.numbersElsewhere) + " numbers put into another phone field";
    }
    if (r.numbersInRemark > 0) {
        line += "; " + std::to_string(r.numbersInRemark) + " numbers appended to the remark";
    }
    if (r.columnsIgnored > 0) {
        line += "; " + std::to_string(r.columnsIgnored) + " columns ignored";
    }
    if (r.skippedEmpty > 0) {
        line += "; " + std::to_string(r.skippedEmpty) + " empty entries left out";
    }
    printError(line);
}

void reportTidied(const import::TidyCounts& tidied, bool exactPossible)
{
    if (tidied.changed > 0) {
        printError("tidying changed " + std::to_string(tidied.changed) + " cells as the import window does ("
                   + std::to_string(tidied.cut) + " of them cut to their field's width)"
                   + (exactPossible ? "; --exact stores every cell as it is" : ""));
    }
}

// import FILE --from CONTACTS: the records of a vCard, CSV/TXT, .xlsx or .ods file, tidied as every import.
// An import's rows added: the day's backup, then the commit, and what tidying, the repeats and the count came to.
struct ImportEnd
{
    store::DirectoryStore& store;
    import::Importer& importer;
    const RepeatFilter& repeats;
    const std::string& file;
    bool created;
    bool written;
    QString error;
};

int finishImport(ImportEnd end, const import::TidyCounts& tidied, bool exactPossible)
{
    if (end.written) {
        backUpBeforeCommit(end.store.path(), end.created);
    }
    if (!end.written || !end.importer.commit(&end.error)) {
        end.importer.rollback();
        printError(end.file + ": no record added: " + utf8(end.error));
        return kExitFile;
    }
    reportTidied(tidied, exactPossible);
    end.repeats.report();
    if (const QString warning = end.store.incompleteWarning(); !warning.isEmpty()) {
        printError(utf8(warning));
    }
    const std::size_t added = end.importer.added();
    end.store.close();
    return writeOut(std::to_string(added) + "\n") ? kExitOk : kExitOutput;
}

int importContacts(const std::string& file, const ImportOptions& options)
{
    contacts::ContactList list;
    contacts::ContactFormat format = contacts::ContactFormat::Csv;
    QString error;
    if (!contacts::readContactFile(localPath(*options.from), &list, &error, &format)) {
        printError(*options.from + ": " + utf8(error));
        return kExitInput;
    }
    reportRead(*options.from, format, list);
    std::vector<store::Record> records;
    records.reserve(static_cast<std::size_t>(list.records.size()));
    import::TidyCounts tidied;
    for (const contacts::RecordTexts& texts : list.records) {
        store::Record gbk;
        import::RowCells cells;
        for (std::size_t k = 0; k < store::kFieldCount; ++k) {
            gbk[k] = text::toGbk(texts[k]);
            cells[k] = gbk[k];
        }
        records.push_back(import::tidyRow(cells, &tidied));
    }

    bool created = false;
    store::DirectoryStore store;
    if (!openForImport(file, store, &created)) {
        return kExitFile;
    }
    RepeatFilter repeats(true, options.skipDuplicates);
    if (!repeats.readStore(store.path(), &error)) {
        printError(file + ": " + utf8(error));
        return kExitFile;
    }
    import::Importer importer(store);
    bool written = importer.begin(&error);
    for (store::Record& record : records) {
        if (written && repeats.admit(record)) {
            written = importer.add(std::move(record), &error);
        }
    }
    return finishImport({store, importer, repeats, file, created, written, error}, tidied, false);
}

} // namespace

int runImport(const Args& given)
{
    Args args;
    ImportOptions options;
    for (std::size_t i = 0; i < given.size(); ++i) {
        if (given[i] == "--exact") {
            options.exact = true;
        } else if (given[i] == "--skip-duplicates") {
            options.skipDuplicates = true;
        } else if (given[i] == "--from" && i + 1 < given.size()) {
            options.from = given[++i];
        } else {
            args.push_back(given[i]);
        }
    }
    // An exact import stores rows as they are, which the duplicate rules (made for tidied records) do not read.
    if (args.size() != 1 || (options.exact && (options.skipDuplicates || options.from))) {
        return usage();
    }
    if (options.from) {
        return importContacts(args[0], options);
    }
    const bool exact = options.exact;
    const QString path = localPath(args[0]);
    QString error;
    bool created = false;
    store::DirectoryStore store;
    if (!openForImport(args[0], store, &created)) {
        return kExitFile;
    }
    RepeatFilter repeats(options.skipDuplicates, true);
    if (!repeats.readStore(path, &error)) {
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
            if (written && repeats.admit(record) && !importer.add(std::move(record), &error)) {
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
    return finishImport({store, importer, repeats, args[0], created, written, error}, tidied, true);
}

namespace {

// export FILE --as vcf|csv: every record as a vCard 3.0 card (with the names' pinyin) or a CSV row (UTF-8 with a
// byte-order mark, a heading row), written as it is read.
int exportContacts(const std::string& file, bool vcard)
{
    QString error;
    QByteArray out = vcard ? QByteArray() : contacts::csvHeader();
    contacts::RecordTexts texts;
    bool writing = true;
    store::Scan scan;
    const bool read = store::scanStore(
        localPath(file),
        [&](std::int64_t, const store::FieldViews& fields) {
            for (std::size_t k = 0; k < store::kFieldCount; ++k) {
                texts[k] = QString::fromUtf8(fields[k].data(), static_cast<qsizetype>(fields[k].size()));
            }
            if (vcard) {
                contacts::appendVCard(out, texts, query::phoneticReading);
            } else {
                contacts::appendCsvRow(out, texts);
            }
            if (out.size() >= 1 << 16) {
                writing = writeOut(out.toStdString());
                out.clear();
            }
            return writing;
        },
        &scan, &error, store::Encoding::Utf8);
    if (!writing || !writeOut(out.toStdString())) {
        return kExitOutput;
    }
    if (!read) {
        printError(file + ": " + utf8(error));
        return kExitFile;
    }
    return kExitOk;
}

} // namespace

int runExport(const Args& given)
{
    Args args;
    std::string as;
    for (std::size_t i = 0; i < given.size(); ++i) {
        if (given[i] == "--as" && i + 1 < given.size()) {
            as = given[++i];
        } else {
            args.push_back(given[i]);
        }
    }
    if (args.size() != 1 || (!as.empty() && as != "vcf" && as != "csv")) {
        return usage();
    }
    if (!as.empty()) {
        return exportContacts(args[0], as == "vcf");
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
