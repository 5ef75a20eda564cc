// The command-line import on any input file: UTF-8 tab-separated rows become records, appended in one
// transaction to a store in a temporary folder (on tmpfs where there is one, so the syncs cost nothing).
//
// Never a crash; invalid UTF-8 and a refused table leave the store as it was; otherwise the record count grows by
// exactly the number of records imported; the file always passes SQLite's integrity check.
#include "import/bulk_import.h"
#include "import/tidy.h"
#include "text/tsv.h"
#include "store/directory_store.h"
#include "text/gbk.h"

#include <QDir>
#include <QFile>
#include <QString>
#include <QTemporaryDir>

#include <sqlite3.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
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
    if (!import::columnsFromRows(
            text::parseTsv(QString::fromUtf8(bytes.data(), static_cast<qsizetype>(bytes.size()))), columns, &error)) {
        return false;
    }
    std::vector<store::Record> records;
    if (import::largestLineCount(columns) > 0) {
        records = import::buildRecords(import::tidyColumns(columns));
    }
    if (!records.empty() && !store.appendMany(records, &error)) {
        return false;
    }
    imported = records.size();
    return true;
}

struct Fixture
{
    QTemporaryDir dir {QDir(QStringLiteral("/dev/shm")).exists()
                           ? QStringLiteral("/dev/shm/telvane-fuzz-XXXXXX")
                           : QDir::tempPath() + QStringLiteral("/telvane-fuzz-XXXXXX")};
    QString path = dir.filePath(QStringLiteral("DHB.EDB"));
    std::unique_ptr<store::DirectoryStore> store;

    void renew()
    {
        store.reset();
        QFile::remove(path);
        QFile::remove(path + QStringLiteral("-wal"));
        QFile::remove(path + QStringLiteral("-shm"));
        QString error;
        if (!store::DirectoryStore::create(path, &error)) {
            fail("cannot create the store:", error);
        }
        store = std::make_unique<store::DirectoryStore>();
        if (!store->open(path, &error)) {
            fail("cannot open the store:", error);
        }
    }
};

Fixture& fixture()
{
    static Fixture f;
    if (!f.store) {
        if (!f.dir.isValid()) {
            fail("no temporary folder");
        }
        f.renew();
    }
    return f;
}

bool integrityOk(const QString& path)
{
    sqlite3* db = nullptr;
    bool ok = false;
    if (sqlite3_open_v2(path.toUtf8().constData(), &db, SQLITE_OPEN_READONLY, nullptr) == SQLITE_OK) {
        sqlite3_stmt* st = nullptr;
        if (sqlite3_prepare_v2(db, "PRAGMA integrity_check", -1, &st, nullptr) == SQLITE_OK
            && sqlite3_step(st) == SQLITE_ROW) {
            ok = std::string_view(reinterpret_cast<const char*>(sqlite3_column_text(st, 0))) == "ok";
        }
        sqlite3_finalize(st);
    }
    sqlite3_close(db);
    return ok;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    Fixture& f = fixture();
    if (f.store->recordCount() > 20000) {
        f.renew();
    }
    const int before = f.store->recordCount();
    std::size_t imported = 0;
    QString error;
    const bool done =
        importBytes(std::string_view(reinterpret_cast<const char*>(data), size), *f.store, imported, error);
    const int after = f.store->recordCount();
    if (!done && error.isEmpty()) {
        fail("a refusal without a reason");
    }
    if (after != before + static_cast<int>(imported)) {
        fail("the record count did not grow by the number imported:", error);
    }
    // The file on disk, read by a fresh connection, agrees too.
    store::DirectoryStore reader;
    if (!reader.open(f.path, &error)) {
        fail("the store no longer opens:", error);
    }
    if (reader.recordCount() != after) {
        fail("a second connection counts differently");
    }
    const auto& columns = reader.columns();
    for (int n = before + 1; n <= after; ++n) {
        for (std::size_t k = 1; k <= store::kFieldCount; ++k) {
            if (columns.field(n, k).size()
                > static_cast<std::size_t>(store::kFields[static_cast<std::size_t>(k - 1)].width)) {
                fail("an imported field is wider than its field");
            }
        }
    }
    reader.close();
    if (!integrityOk(f.path)) {
        fail("integrity_check failed");
    }
    return 0;
}
