#include "store/directory_store.h"
#include "store/scan.h"
#include "tests/support/test_support.h"
#include "text/gbk.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <sqlite3.h>

using namespace Qt::StringLiterals;
using telvane::store::DirectoryStore;
using telvane::store::FileState;
using telvane::store::Record;
using namespace telvane::testing;

class DirectoryStoreTest : public QObject
{
    Q_OBJECT

private slots:
    void countIsZeroWhileClosed()
    {
        DirectoryStore store;
        QCOMPARE(store.recordCount(), 0);
        QVERIFY(store.record(1)[0].empty());
        QString error;
        QVERIFY(!store.append(record({u"张三"_s}), &error));
        QVERIFY(!error.isEmpty());
    }

    void createOpenAppendReadBack()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(u"DHB.EDB"_s);
        QVERIFY(DirectoryStore::create(path));
        QCOMPARE(DirectoryStore::inspect(path), FileState::Store);
        DirectoryStore store;
        QVERIFY(store.open(path));
        QCOMPARE(store.recordCount(), 0);

        Record r;
        for (int f = 0; f < 7; ++f) {
            r[static_cast<std::size_t>(f)] = telvane::text::toGbk(u"字段%1 ＡＢ"_s.arg(f + 1));
        }
        QVERIFY(store.append(record({u"李四"_s})));
        QVERIFY(store.append(r));
        QCOMPARE(store.recordCount(), 2);
        QCOMPARE(store.record(store.recordCount()), r);
        QCOMPARE(store.record(3), Record {});

        // The file keeps UTF-8 text, and reopening gives the same records in the same order.
        store.close();
        QCOMPARE(store.recordCount(), 0);
        DirectoryStore again;
        QVERIFY(again.open(path));
        QCOMPARE(again.recordCount(), 2);
        QCOMPARE(telvane::text::fromGbk(again.record(1)[0]), u"李四"_s);
        QVERIFY(!QFile::exists(path + u"-wal"_s) || QFileInfo(path + u"-wal"_s).size() == 0);
    }

    void appendManyKeepsOrderAndCheckpoints()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(u"DHB.EDB"_s);
        QVERIFY(DirectoryStore::create(path));
        DirectoryStore store;
        QVERIFY(store.open(path));
        std::vector<Record> rows;
        for (int i = 0; i < 1000; ++i) {
            rows.push_back(record({u"名%1"_s.arg(i)}));
        }
        QVERIFY(store.appendMany(rows));
        QCOMPARE(store.recordCount(), 1000);
        QCOMPARE(telvane::text::fromGbk(store.record(1000)[0]), u"名999"_s);
        // Everything is in the main file: a copy of DHB.EDB alone holds all records.
        const QString copy = dir.filePath(u"copy.EDB"_s);
        QVERIFY(QFile::copy(path, copy));
        DirectoryStore fromCopy;
        QVERIFY(fromCopy.open(copy));
        QCOMPARE(fromCopy.recordCount(), 1000);
    }

    void numberingFollowsAnotherConnection()
    {
        QTemporaryDir dir;
        const QString path = makeStore(dir, names({u"人1"_s, u"人2"_s, u"人3"_s, u"人4"_s, u"人5"_s, u"人6"_s}));
        DirectoryStore store;
        QVERIFY(store.open(path));
        const auto generation = store.generation();
        QVERIFY(execOther(path, "DELETE FROM directory WHERE id IN (2, 5)"));
        QVERIFY(!store.isCurrent());
        QCOMPARE(store.recordCount(), 4);
        const QStringList expected {u"人1"_s, u"人3"_s, u"人4"_s, u"人6"_s};
        for (int n = 1; n <= 4; ++n) {
            QCOMPARE(telvane::text::fromGbk(store.record(n)[0]), expected[n - 1]);
        }
        // The records are numbered anew: whoever keeps record numbers sees a new generation.
        QVERIFY(store.generation() != generation);
        QVERIFY(store.isCurrent());
        // An edit in place is seen too, and a new record goes after the others.
        QVERIFY(execOther(path, "UPDATE directory SET \"姓名\" = '改' WHERE id = 3"));
        QCOMPARE(store.recordCount(), 4);
        QCOMPARE(telvane::text::fromGbk(store.record(2)[0]), u"改"_s);
        QVERIFY(store.append(record({u"新"_s})));
        QCOMPARE(telvane::text::fromGbk(store.record(store.recordCount())[0]), u"新"_s);
    }

    // A store read in two halves at once gives what one pass gives: the same ids in order, the same digest, and
    // each record once, the second half's numbered on after the first's.
    void scanInTwoEqualsOnePass_data()
    {
        QTest::addColumn<int>("records");
        QTest::addColumn<QByteArray>("change");
        QTest::newRow("empty") << 0 << QByteArray();
        QTest::newRow("one") << 1 << QByteArray();
        QTest::newRow("two") << 2 << QByteArray();
        QTest::newRow("keys with gaps") << 300
                                        << QByteArray(
                                               "DELETE FROM directory WHERE id BETWEEN 100 AND 250 OR id % 7 = 0");
        QTest::newRow("only the last key") << 50 << QByteArray("DELETE FROM directory WHERE id < 50");
        // Keys another program may give: negative, and beyond four bytes.
        QTest::newRow("keys of eight bytes")
            << 20
            << QByteArray(
                   "INSERT INTO directory (id, \"姓名\") VALUES (-5, 'a'), (4294967295, 'b'), (4294967296, 'c'), "
                   "(9000000000000000000, 'd')");
    }
    void scanInTwoEqualsOnePass()
    {
        QFETCH(int, records);
        QFETCH(QByteArray, change);
        QTemporaryDir dir;
        QStringList rows;
        for (int i = 0; i < records; ++i) {
            rows << u"人%1"_s.arg(i);
        }
        const QString path = makeStore(dir, names(rows));
        if (!change.isEmpty()) {
            QVERIFY(execOther(path, change));
        }
        using telvane::store::FieldViews;
        using telvane::store::Scan;
        Scan one;
        std::vector<std::string> seen;
        std::vector<std::int64_t> keys;
        QVERIFY(telvane::store::scanStore(
            path,
            [&](std::int64_t id, const FieldViews& f) {
                seen.emplace_back(f[0]);
                keys.push_back(id);
                return true;
            },
            &one));
        QCOMPARE(one.ids.size(), keys.size());
        for (std::size_t i = 0; i < keys.size(); ++i) {
            QCOMPARE(one.ids[i], keys[i]);
        }
        Scan two;
        std::array<std::vector<std::string>, 2> halves;
        const auto half = [&](std::size_t h) {
            return [&, h](std::int64_t, const FieldViews& f) {
                halves[h].emplace_back(f[0]);
                return true;
            };
        };
        std::size_t first = 99;
        QVERIFY(telvane::store::scanStoreInTwo(path, {half(0), half(1)}, &two, &first));
        QCOMPARE(two.ids, one.ids);
        QCOMPARE(two.digest, one.digest);
        QCOMPARE(first, halves[0].size());
        halves[0].insert(halves[0].end(), halves[1].begin(), halves[1].end());
        QCOMPARE(halves[0], seen);
        // A store with any field changed has another digest.
        if (!one.ids.empty()) {
            QVERIFY(execOther(path,
                              "UPDATE directory SET \"备注\" = 'x' WHERE id = " + QByteArray::number(one.ids.back())));
            Scan changed;
            QVERIFY(telvane::store::scanStoreInTwo(path, {half(0), half(1)}, &changed, &first));
            QVERIFY(changed.digest != one.digest);
        }
        // Some fields only: the same records, the others empty; a store numbered by it reads in full before writing.
        telvane::store::FieldSet read {};
        read[telvane::store::kUnit] = true;
        Scan part;
        std::size_t unread = 0;
        QVERIFY(telvane::store::scanStoreInTwo(path,
                                               {[&](std::int64_t, const FieldViews& f) {
                                                    unread += f[0].size();
                                                    return true;
                                                },
                                                {}},
                                               &part, &first, nullptr, telvane::store::Encoding::Gbk, read));
        QVERIFY(!part.whole);
        QCOMPARE(part.ids, one.ids);
        QCOMPARE(unread, std::size_t {0});
        telvane::store::DirectoryStore store;
        QVERIFY(store.open(path));
        store.adopt(std::move(part), store.dataVersion());
        QVERIFY(store.append({"ab"}));
        QCOMPARE(store.recordCount(), static_cast<int>(one.ids.size()) + 1);
        QCOMPARE(store.record(store.recordCount())[0], std::string("ab"));
    }

    void refusesWhatIsNotAStore_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<int>("state");
        QTest::newRow("random bytes") << u"random"_s << int(FileState::NotSqlite);
        QTest::newRow("short text") << u"text"_s << int(FileState::NotSqlite);
        QTest::newRow("truncated store") << u"truncated"_s << int(FileState::Unreadable);
        QTest::newRow("other program's database") << u"foreign"_s << int(FileState::NotDirectory);
        QTest::newRow("directory named DHB.EDB") << u"dir"_s << int(FileState::Unreadable);
        // A store is data, not code: nothing in it may act on the records when they are read or written.
        QTest::newRow("store with a trigger")
            << u"CREATE TRIGGER t AFTER INSERT ON directory BEGIN DELETE FROM directory"
               " WHERE id < NEW.id; END"_s
            << int(FileState::Unsafe);
        QTest::newRow("store with a view") << u"CREATE VIEW v AS SELECT * FROM directory"_s << int(FileState::Unsafe);
        QTest::newRow("store with another table") << u"CREATE TABLE extra (x)"_s << int(FileState::Unsafe);
        QTest::newRow("key that is no integer key")
            << u"DROP TABLE directory; CREATE TABLE directory (id TEXT, 姓名, 单位, 备注, 办公, 家里, 手机, 小灵通)"_s
            << int(FileState::NotDirectory);
    }

    void refusesWhatIsNotAStore()
    {
        QFETCH(QString, kind);
        QFETCH(int, state);
        QTemporaryDir dir;
        const QString path = dir.filePath(u"DHB.EDB"_s);
        QByteArray bytes;
        if (kind.contains(u' ')) {
            QVERIFY(DirectoryStore::create(path));
            QVERIFY(execOther(path, kind.toUtf8()));
        } else if (kind == u"dir"_s) {
            QVERIFY(QDir(dir.path()).mkdir(u"DHB.EDB"_s));
        } else if (kind == u"foreign"_s) {
            QVERIFY(execOther(path, "CREATE TABLE notes (body TEXT); INSERT INTO notes VALUES ('x');"));
        } else if (kind == u"random"_s) {
            for (int i = 0; i < 5000; ++i) {
                bytes.append(char((i * 7919) & 0xFF));
            }
        } else if (kind == u"text"_s) {
            bytes = "hello";
        } else if (kind == u"truncated"_s) {
            const QString full = dir.filePath(u"full.EDB"_s);
            QVERIFY(
                !makeStore(full, std::vector<Record>(3000, record({u"张三丰"_s, u"某某单位有限公司"_s}))).isEmpty());
            bytes = fileBytes(full);
            QVERIFY(bytes.size() > 20000);
            // Keep the first page (header and schema) and a stray part of the rest.
            bytes = bytes.left(4096) + bytes.mid(12288, 3000);
        } else {
            QFAIL("no such kind of file");
        }
        if (!bytes.isEmpty()) {
            QVERIFY(writeFile(path, bytes));
        }
        const QByteArray before = fileBytes(path);
        QCOMPARE(int(DirectoryStore::inspect(path)), state);
        DirectoryStore store;
        QString error;
        QVERIFY(!store.open(path, &error));
        QVERIFY(!error.isEmpty());
        QVERIFY(!store.isOpen());
        QCOMPARE(store.recordCount(), 0);
        QVERIFY(!DirectoryStore::create(path));
        QCOMPARE(fileBytes(path), before);
        QVERIFY(!QFile::exists(path + u"-journal"_s));
    }

    void indexesAndStatisticsAreAccepted()
    {
        // What a user may add with the sqlite3 shell without making the file any less a store.
        QTemporaryDir dir;
        const QString path = dir.filePath(u"DHB.EDB"_s);
        QVERIFY(DirectoryStore::create(path));
        QVERIFY(execOther(path, "CREATE INDEX by_name ON directory (姓名); ANALYZE;"));
        QCOMPARE(DirectoryStore::inspect(path), FileState::Store);
        DirectoryStore store;
        QVERIFY(store.open(path));
        QVERIFY(store.append(record({u"张三"_s})));
        QCOMPARE(store.recordCount(), 1);
    }

    void emptyFileCountsAsMissing()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(u"DHB.EDB"_s);
        QVERIFY(writeFile(path, {}));
        QCOMPARE(DirectoryStore::inspect(path), FileState::Missing);
        DirectoryStore store;
        QVERIFY(!store.open(path));
        QCOMPARE(QFileInfo(path).size(), 0);
        QVERIFY(DirectoryStore::create(path));
        QVERIFY(store.open(path));
        QCOMPARE(store.recordCount(), 0);
        QCOMPARE(DirectoryStore::inspect(dir.filePath(u"nothing.EDB"_s)), FileState::Missing);
        QVERIFY(!QFile::exists(dir.filePath(u"nothing.EDB"_s)));
    }

    void failedAppendStoresNothing()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(u"DHB.EDB"_s);
        QVERIFY(DirectoryStore::create(path));
        DirectoryStore store;
        QVERIFY(store.open(path));
        store.setBusyTimeout(50);
        QVERIFY(store.append(record({u"甲"_s})));

        sqlite3* other = nullptr;
        sqlite3_open(QFile::encodeName(path).constData(), &other);
        QCOMPARE(sqlite3_exec(other, "BEGIN EXCLUSIVE", nullptr, nullptr, nullptr), SQLITE_OK);
        std::vector<Record> rows(10, record({u"乙"_s}));
        QString error;
        QVERIFY(!store.appendMany(rows, &error));
        QVERIFY(!error.isEmpty());
        QVERIFY(!store.append(record({u"丙"_s})));
        sqlite3_exec(other, "ROLLBACK", nullptr, nullptr, nullptr);
        sqlite3_close(other);

        QCOMPARE(store.recordCount(), 1);
        QVERIFY(store.appendMany(rows));
        QCOMPARE(store.recordCount(), 11);
    }
};

QTEST_GUILESS_MAIN(DirectoryStoreTest)
#include "directory_store_test.moc"
