// Writes to a store whose file system fails under it: full, read-only, or the file deleted or replaced while the
// store is open. Every failing save and import must say so (false and a reason), leave nothing half-written (the
// record count after reopening is the count before) and not crash; a file put in the store's place is left as
// it is.
//
// Full and read-only file systems are real ones: the test enters a private mount namespace (as root) and mounts a
// small tmpfs or a read-only bind mount of its temporary folder. Without that right those cases are skipped.
#include "app/main_window.h"
#include "editor/list_editor_window.h"
#include "import/bulk_import.h"
#include "store/directory_store.h"
#include "tests/support/test_support.h"

#include <QAbstractItemModel>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStatusBar>
#include <QTableView>
#include <QTemporaryDir>
#include <QTest>

#include <sqlite3.h>

#include <cerrno>
#include <cstring>
#include <sched.h>
#include <sys/mount.h>

using namespace Qt::StringLiterals;
using namespace telvane;

namespace {

// The record count a fresh connection sees, and whether SQLite finds the file sound (-1: not a sound store).
int countAfterReopen(const QString& path)
{
    sqlite3* db = nullptr;
    int count = -1;
    if (sqlite3_open_v2(path.toUtf8().constData(), &db, SQLITE_OPEN_READONLY, nullptr) == SQLITE_OK) {
        sqlite3_stmt* st = nullptr;
        bool sound = false;
        if (sqlite3_prepare_v2(db, "PRAGMA integrity_check", -1, &st, nullptr) == SQLITE_OK
            && sqlite3_step(st) == SQLITE_ROW) {
            sound = std::strcmp(reinterpret_cast<const char*>(sqlite3_column_text(st, 0)), "ok") == 0;
        }
        sqlite3_finalize(st);
        if (sound && sqlite3_prepare_v2(db, "SELECT count(*) FROM directory", -1, &st, nullptr) == SQLITE_OK
            && sqlite3_step(st) == SQLITE_ROW) {
            count = sqlite3_column_int(st, 0);
        }
        sqlite3_finalize(st);
    }
    sqlite3_close(db);
    return count;
}

store::Record record(int n)
{
    return testing::record({u"张三"_s,
                            u"北京市电力公司"_s,
                            u"remark %1"_s.arg(n),
                            u"010-%1"_s.arg(60000000 + n),
                            {},
                            QString::number(13900000000LL + n)});
}

// A batch of records through the bulk import: seven pasted columns, tidied, one record per line.
std::vector<store::Record> importBatch(int size, int first)
{
    import::ColumnTexts columns;
    for (int i = 0; i < size; ++i) {
        const store::Record r = record(first + i);
        for (std::size_t k = 0; k < columns.size(); ++k) {
            columns[k] += r[k] + "\r\n";
        }
    }
    return import::importedRecords(columns);
}

} // namespace

class FaultTest : public QObject
{
    Q_OBJECT

private:
    // Unmounts what a test mounted before its temporary folder (declared first) is removed.
    struct Unmount
    {
        FaultTest* test;
        ~Unmount() { test->unmountAll(); }
    };

    bool m_namespace = false;
    QString m_whyNoNamespace;
    QStringList m_mounts;

    bool mountTmpfs(const QString& dir, const char* options)
    {
        if (::mount("tmpfs", QFile::encodeName(dir).constData(), "tmpfs", 0, options) != 0) {
            qWarning("mount tmpfs: %s", std::strerror(errno));
            return false;
        }
        m_mounts.prepend(dir);
        return true;
    }
    bool makeReadOnly(const QString& dir)
    {
        const QByteArray d = QFile::encodeName(dir);
        if (::mount(d.constData(), d.constData(), nullptr, MS_BIND, nullptr) != 0) {
            qWarning("bind mount: %s", std::strerror(errno));
            return false;
        }
        m_mounts.prepend(dir);
        if (::mount(nullptr, d.constData(), nullptr, MS_REMOUNT | MS_BIND | MS_RDONLY, nullptr) != 0) {
            qWarning("read-only remount: %s", std::strerror(errno));
            return false;
        }
        return true;
    }
    void unmountAll()
    {
        for (const QString& dir : std::as_const(m_mounts)) {
            ::umount2(QFile::encodeName(dir).constData(), MNT_DETACH);
        }
        m_mounts.clear();
    }

private slots:
    void initTestCase()
    {
        // A mount namespace of this process alone: the mounts below vanish with it and nobody else sees them.
        if (::unshare(CLONE_NEWNS) != 0) {
            m_whyNoNamespace =
                u"no private mount namespace (%1): needs root"_s.arg(QString::fromLocal8Bit(std::strerror(errno)));
            return;
        }
        if (::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0) {
            m_whyNoNamespace =
                u"cannot make the mounts private: %1"_s.arg(QString::fromLocal8Bit(std::strerror(errno)));
            return;
        }
        m_namespace = true;
    }
    void cleanup() { unmountAll(); }

    void fullFileSystem_data() { testing::addBoolRows("bulk", "single saves", "bulk import"); }
    void fullFileSystem()
    {
        QFETCH(bool, bulk);
        if (!m_namespace) {
            QSKIP(qPrintable(m_whyNoNamespace));
        }
        QTemporaryDir dir;
        const Unmount unmount {this};
        QVERIFY(mountTmpfs(dir.path(), "size=256k"));
        const QString path = dir.filePath(u"DHB.EDB"_s);
        QVERIFY(store::DirectoryStore::create(path));
        store::DirectoryStore store;
        QString error;
        QVERIFY2(store.open(path, &error), qPrintable(error));

        // Fill the file system until a write fails; the failing one must change nothing.
        int n = 0;
        bool failed = false;
        for (int round = 0; round < 100000 && !failed; ++round) {
            const int before = store.recordCount();
            error.clear();
            const bool stored = bulk ? store.appendMany(importBatch(200, n), &error) : store.append(record(n), &error);
            if (stored) {
                n += bulk ? 200 : 1;
                QCOMPARE(store.recordCount(), before + (bulk ? 200 : 1));
                continue;
            }
            failed = true;
            QVERIFY2(!error.isEmpty(), "a failed write without a reason");
            QCOMPARE(store.recordCount(), before);
            QCOMPARE(static_cast<int>(store.columns().size()), before);
            store.close();
            QCOMPARE(countAfterReopen(path), before);
            QVERIFY2(store.open(path, &error), qPrintable(error));
            QCOMPARE(store.recordCount(), before);
            qInfo("full after %d records: %s", before, qPrintable(error));
        }
        QVERIFY2(failed, "the small file system never filled");
        QVERIFY(n > 0);
    }

    void cliImportOnFullFileSystem()
    {
        if (!m_namespace) {
            QSKIP(qPrintable(m_whyNoNamespace));
        }
        QTemporaryDir dir;
        const Unmount unmount {this};
        QVERIFY(mountTmpfs(dir.path(), "size=256k"));
        const QString path = dir.filePath(u"DHB.EDB"_s);
        QVERIFY(!testing::makeStore(path, importBatch(20, 0)).isEmpty());
        // Far more rows than 256 kB hold; the child process shares this mount namespace.
        QByteArray rows;
        for (int i = 0; i < 5000; ++i) {
            rows += "\xE5\xBC\xA0\xE4\xB8\x89\t\xE5\x8C\x97\xE4\xBA\xAC\xE5\xB8\x82\xE7\x94\xB5\xE5\x8A\x9B\t"
                    "remark number "
                    + QByteArray::number(i) + "\t010-62751234\t010-62751235\t13900001111\t13900002222\n";
        }
        const testing::CliRun r = testing::runCli({u"import"_s, path}, rows);
        QCOMPARE(r.exitCode, 2);
        QVERIFY2(r.err.endsWith(u'\n') && r.err.count(u'\n') == 1, qPrintable(r.err));
        QCOMPARE(r.out, QString());
        QCOMPARE(countAfterReopen(path), 20);
    }

    // A disk with room for the WAL but not for the main file to grow: the import is committed and says so, and
    // also that DHB.EDB alone is not complete; a backup is; the next write once space is freed completes the file.
    // The program starts there for looking up, and names the full disk rather than write protection.
    void checkpointOnFullDiskIsTold()
    {
        if (!m_namespace) {
            QSKIP(qPrintable(m_whyNoNamespace));
        }
        QTemporaryDir dir;
        QTemporaryDir elsewhere;
        const Unmount unmount {this};
        QVERIFY(mountTmpfs(dir.path(), "size=4m"));
        const QString path = dir.filePath(u"DHB.EDB"_s);
        QCOMPARE(testing::runCli({u"import"_s, path}).exitCode, 0);
        QFile filler(dir.filePath(u"filler"_s));
        QVERIFY(filler.open(QIODevice::WriteOnly));
        QVERIFY(filler.write(QByteArray(4 * 1024 * 1024 - 700 * 1024, 'x')) > 0);
        filler.close();
        QByteArray rows;
        for (int i = 0; i < 5000; ++i) {
            rows += "张三\t北京市电力公司\tremark " + QByteArray::number(i) + "\t010-62751234\t\t13900001111\t\n";
        }
        const testing::CliRun imported = testing::runCli({u"import"_s, path}, rows);
        QCOMPARE(imported.exitCode, 0);
        QCOMPARE(imported.out, u"5000\n"_s);
        QVERIFY2(imported.err.contains(u"telvane-cli backup"_s), qPrintable(imported.err));
        QVERIFY(QFileInfo(path + u"-wal"_s).size() > 0);

        // The program on a disk without a byte left: a message that names the full disk, then looking up as ever.
        QVERIFY(filler.open(QIODevice::Append));
        while (filler.write(QByteArray(4096, 'x')) > 0 && filler.flush()) { }
        filler.close();
        QStringList said;
        app::MainWindow::setMessageSink([&](const QString& title, const QString& text) { said << title + text; });
        {
            app::MainWindow w(dir.path());
            QVERIFY(w.startUp());
            QCOMPARE(said.size(), 1);
            QVERIFY2(said[0].contains(u"磁盘已满"_s) && !said[0].contains(u"只读"_s), qPrintable(said[0]));
            QCOMPARE(w.store().recordCount(), 5000);
        }
        app::MainWindow::setMessageSink({});

        const QString copy = elsewhere.filePath(u"copy.EDB"_s);
        QCOMPARE(testing::runCli({u"backup"_s, path, copy}).exitCode, 0);
        QCOMPARE(countAfterReopen(copy), 5000);
        QVERIFY(!QFile::exists(copy + u"-wal"_s));

        QVERIFY(filler.remove());
        const testing::CliRun next = testing::runCli({u"import"_s, path}, "李四\n");
        QCOMPARE(next.exitCode, 0);
        QCOMPARE(next.err, QString());
        QCOMPARE(QFileInfo(path + u"-wal"_s).size(), 0);
    }

    // Not a byte left, not even for SQLite's WAL index beside the file: the program still starts for looking up.
    void startUpOnAFullDisk()
    {
        if (!m_namespace) {
            QSKIP(qPrintable(m_whyNoNamespace));
        }
        QTemporaryDir dir;
        const Unmount unmount {this};
        QVERIFY(mountTmpfs(dir.path(), "size=1m"));
        QVERIFY(!testing::makeStore(dir, {{u"张三"_s}}).isEmpty());
        QFile filler(dir.filePath(u"filler"_s));
        QVERIFY(filler.open(QIODevice::WriteOnly));
        while (filler.write(QByteArray(4096, 'x')) > 0 && filler.flush()) { }
        filler.close();
        QStringList said;
        app::MainWindow::setMessageSink([&](const QString& title, const QString& text) { said << title + text; });
        const auto quiet = qScopeGuard([] { app::MainWindow::setMessageSink({}); });
        app::MainWindow w(dir.path());
        QVERIFY(w.startUp());
        QCOMPARE(said.size(), 1);
        QVERIFY2(said[0].contains(u"磁盘已满"_s), qPrintable(said[0]));
        QCOMPARE(w.store().recordCount(), 1);
    }

    void readOnlyFileSystem_data()
    {
        testing::addBoolRows("openFirst", "read-only before opening", "made read-only while open");
    }
    void readOnlyFileSystem()
    {
        QFETCH(bool, openFirst);
        if (!m_namespace) {
            QSKIP(qPrintable(m_whyNoNamespace));
        }
        QTemporaryDir dir;
        const QString path = dir.filePath(u"DHB.EDB"_s);
        QVERIFY(!testing::makeStore(path, importBatch(10, 0)).isEmpty());
        const QByteArray sum = testing::fileBytes(path);
        const Unmount unmount {this};
        store::DirectoryStore store;
        QString error;
        if (openFirst) {
            QVERIFY2(store.open(path, &error), qPrintable(error));
        }
        QVERIFY(makeReadOnly(dir.path()));
        if (!openFirst && !store.open(path, &error)) {
            QVERIFY2(!error.isEmpty(), "opening failed without a reason");
        }
        // Files opened for writing before the mount became read-only keep taking writes; then a write may truly
        // succeed, and its records must be there. Otherwise it fails, says why, and changes nothing.
        int expected = 10;
        for (bool bulk : {false, true}) {
            error.clear();
            const int added = bulk ? 5 : 1;
            const bool stored = bulk ? store.appendMany(importBatch(5, 100), &error) : store.append(record(99), &error);
            if (stored) {
                QVERIFY2(openFirst, "a write on a store opened read-only reported success");
                expected += added;
            } else {
                QVERIFY2(!error.isEmpty(), "a failed write without a reason");
            }
            if (store.isOpen()) {
                QCOMPARE(store.recordCount(), expected);
            }
        }
        store.close();
        unmountAll();
        if (expected == 10) {
            QCOMPARE(testing::fileBytes(path), sum);
        }
        QCOMPARE(countAfterReopen(path), expected);
    }

    void storeOnReadOnlyMediaIsReadable()
    {
        if (!m_namespace) {
            QSKIP(qPrintable(m_whyNoNamespace));
        }
        QTemporaryDir dir;
        const QString path = dir.filePath(u"DHB.EDB"_s);
        QVERIFY(!testing::makeStore(path, importBatch(4, 0)).isEmpty());
        const QByteArray sum = testing::fileBytes(path);
        const Unmount unmount {this};
        QVERIFY(makeReadOnly(dir.path()));
        // A backup on a CD or a write-protected stick: SQLite cannot create the WAL index beside it, so the store is
        // read as immutable. Reading works; a write is refused with a reason.
        QCOMPARE(store::DirectoryStore::inspect(path), store::FileState::Store);
        store::DirectoryStore store;
        QString error;
        QVERIFY2(store.open(path, &error, store::DirectoryStore::Access::ReadOnly), qPrintable(error));
        QCOMPARE(store.recordCount(), 4);
        QVERIFY(!store.append(importBatch(1, 9).front(), &error));
        QVERIFY(!error.isEmpty());
        store.close();
        unmountAll();
        QCOMPARE(testing::fileBytes(path), sum);
    }

    void storeDeletedWhileOpen()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(u"DHB.EDB"_s);
        QVERIFY(store::DirectoryStore::create(path));
        store::DirectoryStore store;
        QVERIFY(store.open(path));
        QVERIFY(store.appendMany(importBatch(3, 0)));
        QVERIFY(QFile::remove(path));
        QFile::remove(path + u"-wal"_s);
        QFile::remove(path + u"-shm"_s);
        for (bool bulk : {false, true}) {
            QString error;
            const bool stored = bulk ? store.appendMany(importBatch(5, 10), &error) : store.append(record(9), &error);
            // Reporting success here would lose the record: nobody can ever read the deleted file again.
            QVERIFY2(!stored, "a write into a deleted store reported success");
            QVERIFY2(!error.isEmpty(), "a failed write without a reason");
        }
        store.close();
        QVERIFY2(!QFile::exists(path) || QFileInfo(path).size() == 0,
                 "something was written in the deleted store's place");
    }

    void listEditorOnDeletedStore()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(u"DHB.EDB"_s);
        QVERIFY(!testing::makeStore(path, importBatch(4, 0)).isEmpty());
        auto* window = new editor::ListEditorWindow(path);
        window->show();
        QVERIFY(QTest::qWaitForWindowExposed(window));
        QVERIFY(window->isStoreOpen());
        auto* grid = window->findChild<QTableView*>(u"表格"_s);
        QVERIFY(grid && grid->model());
        QVERIFY(QFile::remove(path));
        QAbstractItemModel* model = grid->model();
        int column = 0;
        while (column < model->columnCount() && grid->isColumnHidden(column)) {
            ++column;
        }
        const bool stored = model->setData(model->index(0, column), u"王五"_s);
        const QString message = window->statusBar()->currentMessage();
        window->close();
        // The cell edit would go into a file nobody can open again: it is refused with a reason instead.
        QVERIFY2(!stored && !message.isEmpty(), "a cell edit in a deleted store was reported stored");
    }

    void storeReplacedWhileOpen_data()
    {
        QTest::addColumn<bool>("foreign");
        QTest::addColumn<bool>("copiedOver");
        QTest::addColumn<bool>("partial");
        QTest::newRow("renamed over by another store") << false << false << false;
        QTest::newRow("renamed over by a foreign file") << true << false << false;
        QTest::newRow("copied over by another store") << false << true << false;
        QTest::newRow("copied over by a foreign file") << true << true << false;
        // Numbered by a read of some fields only (as a query typed at start-up is answered): no fingerprint.
        QTest::newRow("copied over after a partial read") << false << true << true;
    }
    void storeReplacedWhileOpen()
    {
        QFETCH(bool, foreign);
        QFETCH(bool, copiedOver);
        QFETCH(bool, partial);
        QTemporaryDir dir;
        const QString path = dir.filePath(u"DHB.EDB"_s);
        const QString other = dir.filePath(u"backup.EDB"_s);
        QVERIFY(store::DirectoryStore::create(path));
        store::DirectoryStore store;
        QVERIFY(store.open(path));
        QVERIFY(store.appendMany(importBatch(3, 0)));
        if (partial) {
            store::FieldSet read {};
            read[store::kName] = true;
            store::Scan scan;
            std::size_t first = 0;
            QVERIFY(store::scanStoreInTwo(path, std::array<store::ScanCallback, 2> {}, &scan, &first, nullptr,
                                          store::Encoding::Gbk, read));
            QVERIFY(!scan.whole);
            store.adopt(std::move(scan), store.dataVersion());
        }
        if (foreign) {
            QVERIFY(testing::writeFile(other, QByteArray(4096, 'x')));
        } else {
            QVERIFY(!testing::makeStore(other, importBatch(7, 50)).isEmpty());
        }
        const QByteArray sum = testing::fileBytes(other);
        if (copiedOver) {
            // As cp does: the same file, truncated and written with the other content.
            QVERIFY(testing::writeFile(path, testing::fileBytes(other)));
        } else {
            // As mv does: renamed over the open file.
            QVERIFY(::rename(QFile::encodeName(other).constData(), QFile::encodeName(path).constData()) == 0);
        }
        for (bool bulk : {false, true}) {
            QString error;
            const bool stored = bulk ? store.appendMany(importBatch(5, 10), &error) : store.append(record(9), &error);
            QVERIFY2(!stored, "a write into a replaced store reported success");
            QVERIFY2(!error.isEmpty(), "a failed write without a reason");
        }
        store.close();
        QCOMPARE(testing::fileBytes(path), sum);
        if (!foreign) {
            QCOMPARE(countAfterReopen(path), 7);
        }
    }

    void listEditorOnReadOnlyStore_data()
    {
        testing::addBoolRows("openFirst", "read-only before opening", "made read-only while open");
    }
    void listEditorOnReadOnlyStore()
    {
        QFETCH(bool, openFirst);
        if (!m_namespace) {
            QSKIP(qPrintable(m_whyNoNamespace));
        }
        QTemporaryDir dir;
        const QString path = dir.filePath(u"DHB.EDB"_s);
        QVERIFY(!testing::makeStore(path, importBatch(4, 0)).isEmpty());
        const QByteArray sum = testing::fileBytes(path);
        const Unmount unmount {this};
        if (!openFirst) {
            QVERIFY(makeReadOnly(dir.path()));
        }
        int rowsShown = -1;
        {
            auto* window = new editor::ListEditorWindow(path);
            window->show();
            QVERIFY(QTest::qWaitForWindowExposed(window));
            if (openFirst) {
                QVERIFY(window->isStoreOpen());
                QVERIFY(makeReadOnly(dir.path()));
            }
            // A store it cannot open is refused where the user sees it.
            QVERIFY(window->isStoreOpen() || !window->statusBar()->currentMessage().isEmpty());
            auto* grid = window->findChild<QTableView*>(u"表格"_s);
            QVERIFY(grid);
            if (QAbstractItemModel* model = grid->model()) {
                for (int c = 0; c < model->columnCount(); ++c) {
                    if (!grid->isColumnHidden(c)) {
                        model->setData(model->index(0, c), u"王五"_s);
                        break;
                    }
                }
                grid->setCurrentIndex(model->index(1, 1));
            }
            window->addRecord();
            window->deleteRecords();
            window->cut();
            window->paste();
            QTest::qWait(50);
            window->reload();
            if (QAbstractItemModel* model = grid->model()) {
                rowsShown = model->rowCount();
            }
            window->close();
            QTest::qWait(50);
        }
        unmountAll();
        if (openFirst) {
            // Files opened before the mount turned read-only may still take writes: whatever was stored must be
            // sound, and the grid showed what the file holds.
            QCOMPARE(countAfterReopen(path), rowsShown);
        } else {
            QCOMPARE(testing::fileBytes(path), sum);
            QCOMPARE(countAfterReopen(path), 4);
        }
    }
};

QTEST_MAIN(FaultTest)
#include "fault_test.moc"
