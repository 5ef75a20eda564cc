// The command-line import on any input file: UTF-8 tab-separated rows become records, appended in one
// transaction to a store in a temporary folder (on tmpfs where there is one, so the syncs cost nothing).
//
// Never a crash; invalid UTF-8 and a refused table leave the store as it was; otherwise the record count grows by
// exactly the number of records imported, a second connection reads the same count and every imported field within
// its width; the file always passes SQLite's integrity check, and a store opened afresh on it agrees.
#include "import/bulk_import.h"
#include "import/tidy.h"
#include "store/directory_store.h"
#include "text/gbk.h"
#include "text/tsv.h"

#include <QDir>
#include <QFile>
#include <QString>
#include <QTemporaryDir>

#include <sqlite3.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string_view>
#include <vector>

using namespace telvane;

namespace {

[[noreturn]] void fail(const char* what, const QString& detail = {})
{
    std::fprintf(stderr, "fuzz_cli_import: %s %s\n", what, detail.toLocal8Bit().constData());
    std::abort();
}

// What `telvane-cli import` does with the bytes of standard input (cli/import_commands.cpp, step by step with the
// same library calls): false, with a reason, when nothing was stored.
bool importBytes(std::string_view bytes, store::DirectoryStore& store, std::size_t& imported, QString& error)
{
    imported = 0;
    if (!text::isValidUtf8(bytes)) {
        error = QStringLiteral("standard input is not valid UTF-8 text");
        return false;
    }
    if (bytes.starts_with("\xEF\xBB\xBF")) {
        bytes.remove_prefix(3);
    }
    import::ColumnTexts columns;
    if (!import::columnsFromRows(text::parseTsv(QString::fromUtf8(bytes.data(), static_cast<qsizetype>(bytes.size()))),
                                 columns, &error)) {
        return false;
    }
    std::vector<store::Record> records;
    if (import::largestLineCount(columns) > 0) {
        records = import::importedRecords(import::tidyColumns(columns));
    }
    if (!records.empty() && !store.appendMany(records, &error)) {
        return false;
    }
    imported = records.size();
    return true;
}

// One store for the whole run, created once, and two more connections to it: a second store, as the list editor
// keeps one open beside the import, and a plain SQLite connection. The plain one empties the store once it holds
// more than a few records, so that every look at it (the reload after that write, the second store's reload, the
// integrity check) costs the same on the ten-thousandth input as on the first; the records it keeps make the next
// import number its records behind existing ones.
struct Fixture
{
    static constexpr int kKeep = 8;
    // Opening a store afresh (the file looked at, its schema read, every record loaded) costs more than everything
    // else together; it runs on every this many inputs, the first one included.
    static constexpr unsigned kFreshOpenEvery = 32;

    QTemporaryDir dir {QDir(QStringLiteral("/dev/shm")).exists()
                           ? QStringLiteral("/dev/shm/telvane-fuzz-XXXXXX")
                           : QDir::tempPath() + QStringLiteral("/telvane-fuzz-XXXXXX")};
    QString path = dir.filePath(QStringLiteral("DHB.EDB"));
    store::DirectoryStore store;
    store::DirectoryStore reader;
    sqlite3* plain = nullptr;
    unsigned inputs = 0;

    Fixture()
    {
        if (!dir.isValid()) {
            fail("no temporary folder");
        }
        QString error;
        if (!store::DirectoryStore::create(path, &error)) {
            fail("cannot create the store:", error);
        }
        if (!store.open(path, &error) || !reader.open(path, &error)) {
            fail("cannot open the store:", error);
        }
        if (sqlite3_open_v2(path.toUtf8().constData(), &plain, SQLITE_OPEN_READWRITE, nullptr) != SQLITE_OK) {
            fail("cannot open a plain connection");
        }
        sqlite3_busy_timeout(plain, 3000);
    }
    ~Fixture() { sqlite3_close(plain); }
    Fixture(const Fixture&) = delete;
    Fixture& operator=(const Fixture&) = delete;

    // The record count before an import, after emptying the store if it holds too many.
    int countKeepingSmall()
    {
        const int count = store.recordCount();
        if (count <= kKeep) {
            return count;
        }
        if (sqlite3_exec(plain, "DELETE FROM directory", nullptr, nullptr, nullptr) != SQLITE_OK) {
            fail("cannot empty the store:", QString::fromUtf8(sqlite3_errmsg(plain)));
        }
        return store.recordCount();
    }

    bool integrityOk() const
    {
        sqlite3_stmt* st = nullptr;
        bool ok = false;
        if (sqlite3_prepare_v2(plain, "PRAGMA integrity_check", -1, &st, nullptr) == SQLITE_OK
            && sqlite3_step(st) == SQLITE_ROW) {
            ok = std::string_view(reinterpret_cast<const char*>(sqlite3_column_text(st, 0))) == "ok";
        }
        sqlite3_finalize(st);
        return ok;
    }
};

Fixture& fixture()
{
    static Fixture f;
    return f;
}

void checkImported(store::DirectoryStore& reader, int before, int after, const char* who)
{
    if (reader.recordCount() != after) {
        fail(who, QStringLiteral("counts differently"));
    }
    const auto& columns = reader.columns();
    for (int n = before + 1; n <= after; ++n) {
        for (std::size_t k = 1; k <= store::kFieldCount; ++k) {
            if (columns.field(n, static_cast<int>(k)).size() > store::kFields[k - 1].width) {
                fail(who, QStringLiteral("reads an imported field wider than its field"));
            }
        }
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    Fixture& f = fixture();
    const int before = f.countKeepingSmall();
    std::size_t imported = 0;
    QString error;
    const bool done =
        importBytes(std::string_view(reinterpret_cast<const char*>(data), size), f.store, imported, error);
    const int after = f.store.recordCount();
    if (!done && error.isEmpty()) {
        fail("a refusal without a reason");
    }
    if (after != before + static_cast<int>(imported)) {
        fail("the record count did not grow by the number imported:", error);
    }
    // The file on disk, read through another connection, agrees too.
    checkImported(f.reader, before, after, "a second connection");
    if (f.inputs++ % Fixture::kFreshOpenEvery == 0) {
        store::DirectoryStore fresh;
        if (!fresh.open(f.path, &error)) {
            fail("the store no longer opens:", error);
        }
        checkImported(fresh, before, after, "a store opened afresh");
    }
    if (!f.integrityOk()) {
        fail("integrity_check failed");
    }
    return 0;
}
