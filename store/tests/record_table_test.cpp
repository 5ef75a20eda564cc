// The grid's view of the store with another program writing beside it: keys are never given twice, and a write or
// an undo step lands only on the record the grid showed, as it showed it.
#include "store/record_table.h"
#include "tests/support/test_support.h"

#include <sqlite3.h>

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

using namespace Qt::StringLiterals;
using namespace telvane;
using store::RecordTable;
using store::RecordTexts;
using testing::execOther;
using testing::readIds;
using testing::readRecords;

namespace {

// The store as an earlier version made it: a key SQLite hands out again once the last record is deleted.
const QByteArray kLegacyTable = "CREATE TABLE directory (id INTEGER PRIMARY KEY, 姓名 TEXT NOT NULL DEFAULT '',"
                                " 单位 TEXT NOT NULL DEFAULT '', 备注 TEXT NOT NULL DEFAULT '', 办公 TEXT NOT NULL"
                                " DEFAULT '', 家里 TEXT NOT NULL DEFAULT '', 手机 TEXT NOT NULL DEFAULT '', 小灵通"
                                " TEXT NOT NULL DEFAULT ''); CREATE INDEX by_name ON directory (姓名);"
                                " INSERT INTO directory (姓名) VALUES ('张三'), ('李四'), ('王五');";

} // namespace

class RecordTableTest : public QObject
{
    Q_OBJECT

private slots:
    void keysAreNeverGivenTwice_data()
    {
        testing::addBoolRows("legacy", "store made now", "store made by an earlier version");
    }
    // The last record deleted, then another program adds one: it gets a new key, not the deleted one's.
    void keysAreNeverGivenTwice()
    {
        QFETCH(bool, legacy);
        QTemporaryDir dir;
        const QString path =
            legacy ? dir.filePath(u"DHB.EDB"_s) : testing::makeStore(dir, {{u"张三"_s}, {u"李四"_s}, {u"王五"_s}});
        if (legacy) {
            QVERIFY(execOther(path, kLegacyTable));
        }
        RecordTable table;
        QVERIFY(table.open(path));
        QCOMPARE(readIds(path), (QList<qint64> {1, 2, 3}));
        QVERIFY(table.removeRows({2}, nullptr, nullptr));
        QVERIFY(!testing::runSqlite3(path, "INSERT INTO directory (姓名) VALUES ('孙七');").isNull());
        QCOMPARE(readIds(path), (QList<qint64> {1, 2, 4}));
        // The upgraded table keeps its records, its index and its place in every other program's eyes.
        QCOMPARE(readRecords(path).value(1).value(0), u"李四"_s);
        QCOMPARE(testing::runSqlite3(path, "SELECT count(*) FROM sqlite_schema WHERE type = 'index';").trimmed(),
                 legacy ? u"1"_s : u"0"_s);
        QCOMPARE(testing::runSqlite3(path, "PRAGMA integrity_check;").trimmed(), u"ok"_s);
    }

    void writeLandsOnlyOnTheRecordShown_data()
    {
        QTest::addColumn<QByteArray>("other"); // what another program does to 王五 (key 3) before the grid writes
        QTest::addColumn<bool>("cellEdit"); // false: the grid deletes the record
        const QByteArray replaced = "DELETE FROM directory WHERE id = 3; INSERT INTO directory (id, 姓名) VALUES (3,"
                                    " '孙七');";
        QTest::newRow("key taken by another person, cell edit") << replaced << true;
        QTest::newRow("key taken by another person, delete") << replaced << false;
        QTest::newRow("record removed, cell edit") << "DELETE FROM directory WHERE id = 3;"_ba << true;
        QTest::newRow("other field changed, cell edit")
            << "UPDATE directory SET 手机 = '13900000000' WHERE id = 3;"_ba << true;
        QTest::newRow("other field changed, delete")
            << "UPDATE directory SET 手机 = '13900000000' WHERE id = 3;"_ba << false;
    }
    // The grid still shows 王五 in its last row: nothing is written, the rows are read again and the outcome says
    // another program changed the record.
    void writeLandsOnlyOnTheRecordShown()
    {
        QFETCH(QByteArray, other);
        QFETCH(bool, cellEdit);
        QTemporaryDir dir;
        const QString path = testing::makeStore(dir, {{u"张三"_s}, {u"李四"_s}, {u"王五"_s}});
        RecordTable table;
        QVERIFY(table.open(path));
        QCOMPARE(table.cell(2, 0), u"王五"_s);
        QVERIFY(execOther(path, other));
        const QList<QStringList> before = readRecords(path);

        store::WriteOutcome outcome;
        const bool written = cellEdit ? table.write({{2, 2, u"VIP"_s}, {0, 2, u"also"_s}}, {}, nullptr, &outcome)
                                      : table.removeRows({0, 2}, nullptr, &outcome);
        QVERIFY(!written);
        QVERIFY(outcome.conflict);
        QVERIFY(outcome.error.contains(u"另一个程序"_s));
        QCOMPARE(readRecords(path), before);
        QCOMPARE(table.rowCount(), before.size());
        QCOMPARE(table.cell(2, 0), before.value(2).value(0));
    }

    // Added, typed into, deleted; meanwhile another program adds a record. Undone three times: the record the
    // grid made comes and goes again, the other program's record is left alone.
    void undoNeverReachesAnotherRecord()
    {
        QTemporaryDir dir;
        const QString path = testing::makeStore(dir, {{u"张三"_s}, {u"李四"_s}, {u"王五"_s}});
        RecordTable table;
        QVERIFY(table.open(path));
        std::vector<store::Change> steps(3);
        QVERIFY(table.write({}, {RecordTexts {}}, &steps[0], nullptr));
        QVERIFY(table.write({{3, 0, u"abc"_s}}, {}, &steps[1], nullptr));
        QCOMPARE(table.cell(3, 0), u"ａｂｃ"_s);
        QVERIFY(table.removeRows({3}, &steps[2], nullptr));
        QCOMPARE(testing::runCli({u"import"_s, path}, "孙七\n").exitCode, 0);

        for (auto step = steps.rbegin(); step != steps.rend(); ++step) {
            store::WriteOutcome outcome;
            QVERIFY2(table.undo(*step, &outcome), qPrintable(outcome.error));
        }
        QCOMPARE(readRecords(path), testing::names({u"张三"_s, u"李四"_s, u"王五"_s, u"孙七"_s}));
    }

    // A deleted record whose key another program took comes back under a new key; the older step that changed it
    // follows it there, and the other program's record is untouched.
    void undoFollowsARecordThatCameBackUnderANewKey()
    {
        QTemporaryDir dir;
        const QString path = testing::makeStore(dir, {{u"张三"_s}, {u"李四"_s}});
        RecordTable table;
        QVERIFY(table.open(path));
        store::Change edit;
        store::Change removal;
        QVERIFY(table.write({{1, 5, u"13900000000"_s}}, {}, &edit, nullptr));
        QVERIFY(table.removeRows({1}, &removal, nullptr));
        QVERIFY(execOther(path, "INSERT INTO directory (id, 姓名) VALUES (2, '别人');"));

        store::WriteOutcome outcome;
        QVERIFY(table.undo(removal, &outcome));
        QCOMPARE(outcome.rekeyed.size(), std::size_t(1));
        QCOMPARE(outcome.rekeyed[0].first, 2);
        edit.rekey(outcome.rekeyed[0].first, outcome.rekeyed[0].second);
        QVERIFY2(table.undo(edit, &outcome), qPrintable(outcome.error));
        QCOMPARE(readRecords(path), testing::names({u"张三"_s, u"别人"_s, u"李四"_s}));
    }

    // Undoing a change another program has written over since would undo that program's write: refused.
    void undoDoesNotOverwriteANewerValue()
    {
        QTemporaryDir dir;
        const QString path = testing::makeStore(dir, {{u"张三"_s}});
        RecordTable table;
        QVERIFY(table.open(path));
        store::Change edit;
        QVERIFY(table.write({{0, 5, u"13900000000"_s}}, {}, &edit, nullptr));
        QVERIFY(execOther(path, "UPDATE directory SET 手机 = '13811112222';"));
        store::WriteOutcome outcome;
        QVERIFY(!table.undo(edit, &outcome));
        QVERIFY(outcome.conflict);
        QCOMPARE(readRecords(path).value(0).value(5), u"13811112222"_s);
    }

    // Another program holds the write lock: nothing is written, and the user reads why in Chinese.
    void lockedStoreIsSaidInChinese()
    {
        QTemporaryDir dir;
        const QString path = testing::makeStore(dir, {{u"张三"_s}});
        RecordTable table;
        QVERIFY(table.open(path));
        sqlite3* other = nullptr;
        QCOMPARE(sqlite3_open(QFile::encodeName(path).constData(), &other), SQLITE_OK);
        QCOMPARE(sqlite3_exec(other, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr), SQLITE_OK);
        store::WriteOutcome outcome;
        QVERIFY(!table.write({{0, 2, u"备注"_s}}, {}, nullptr, &outcome));
        QVERIFY2(outcome.error.startsWith(u"另一个程序正在写入"_s), qPrintable(outcome.error));
        QVERIFY(!outcome.conflict);
        sqlite3_exec(other, "ROLLBACK", nullptr, nullptr, nullptr);
        sqlite3_close(other);
        QVERIFY(table.write({{0, 2, u"备注"_s}}, {}, nullptr, &outcome));
    }

    void onlyChangedCellsAreStored_data()
    {
        QTest::addColumn<int>("field");
        QTest::addColumn<QString>("stored"); // what the record holds
        QTest::addColumn<QString>("written"); // what the grid writes into the cell
        QTest::addColumn<QString>("result");
        QTest::addColumn<int>("cut");
        const QString longName = u"ａｂｃｄｅｆｇｈｉｊ"_s;
        QTest::newRow("over-long name left as shown") << 0 << longName << longName << longName << 0;
        QTest::newRow("over-long unit left as shown")
            << 1 << u"中华人民共和国国家统计局下属"_s << u"中华人民共和国国家统计局下属"_s
            << u"中华人民共和国国家统计局下属"_s << 0;
        QTest::newRow("name typed half-width is the same name") << 0 << u"ａｂｃ"_s << u"abc"_s << u"ａｂｃ"_s << 0;
        QTest::newRow("name typed is made full-width") << 0 << QString() << u"IBM中国"_s << u"ＩＢＭ中国"_s << 0;
        QTest::newRow("changed name is cut to the width, and counted")
            << 0 << longName << u"abcdefgh"_s << u"ａｂｃｄｅ"_s << 1;
        QTest::newRow("a line break is one space") << 2 << QString() << u"3号楼\r\n2单元"_s << u"3号楼 2单元"_s << 0;
        QTest::newRow("mobile keeps its digits") << 5 << QString() << u"139-1234-5678"_s << u"13912345678"_s << 0;
    }
    void onlyChangedCellsAreStored()
    {
        QFETCH(int, field);
        QFETCH(QString, stored);
        QFETCH(QString, written);
        QFETCH(QString, result);
        QFETCH(int, cut);
        QTemporaryDir dir;
        QStringList fields = testing::padded({});
        fields[field] = stored;
        const QString path = testing::makeStore(dir, {});
        QVERIFY(execOther(path, "INSERT INTO directory (姓名, 单位, 备注, 办公, 家里, 手机, 小灵通) VALUES ('"
                                    + fields.join(u"', '"_s).toUtf8() + "');"));
        RecordTable table;
        QVERIFY(table.open(path));
        store::Change change;
        store::WriteOutcome outcome;
        QVERIFY(table.write({{0, static_cast<std::size_t>(field), written}}, {}, &change, &outcome));
        QCOMPARE(readRecords(path).value(0).value(field), result);
        QCOMPARE(outcome.cut, cut);
        QCOMPARE(change.isEmpty(), stored == result);
    }
};

QTEST_GUILESS_MAIN(RecordTableTest)
#include "record_table_test.moc"
