// Entry mode without the window: a typed record stored as its fields keep text, the counter, and a refusal said.
#include "entry/entry_mode.h"
#include "store/directory_store.h"
#include "tests/support/test_support.h"

#include <QTemporaryDir>
#include <QTest>

using namespace Qt::StringLiterals;
using namespace telvane;

class EntryModeTest : public QObject
{
    Q_OBJECT

private slots:
    void savesAsTheFieldsKeepText()
    {
        QTemporaryDir dir;
        const QString path = testing::makeStore(dir, {{u"张三"_s}});
        store::DirectoryStore store;
        QVERIFY(store.open(path));
        entry::EntryMode entry(store);
        QCOMPARE(entry.recordCount(), u"1"_s);
        const entry::EntryMode::Saved saved =
            entry.save({u"Li 雷"_s, u"IBM"_s, u"3号楼\r\n2单元"_s, u"010-1"_s, {}, u"139"_s, {}});
        QVERIFY(saved.saved);
        QVERIFY(saved.warning.isEmpty());
        QCOMPARE(entry.recordCount(), u"2"_s);
        QCOMPARE(testing::readRecords(path).value(1),
                 (QStringList {u"Ｌｉ　雷"_s, u"ＩＢＭ"_s, u"3号楼 2单元"_s, u"010-1"_s, {}, u"139"_s, {}}));
        // Seven empty boxes are a record too.
        QVERIFY(entry.save({}).saved);
        QCOMPARE(entry.recordCount(), u"3"_s);
    }

    void refusalIsSaid()
    {
        QTemporaryDir dir;
        const QString path = testing::makeStore(dir, {});
        store::DirectoryStore store;
        QVERIFY(store.open(path, nullptr, store::DirectoryStore::Access::ReadOnly));
        entry::EntryMode entry(store);
        const entry::EntryMode::Saved saved = entry.save({u"张三"_s});
        QVERIFY(!saved.saved);
        QVERIFY(!saved.reason.isEmpty());
        QCOMPARE(entry.recordCount(), u"0"_s);
    }
};

QTEST_GUILESS_MAIN(EntryModeTest)
#include "entry_mode_test.moc"
