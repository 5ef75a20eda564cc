// The grid's model over the store, checked by Qt's model tester through every kind of change: cells written,
// records added and removed, steps taken back, another program's writes followed, a refused write.
#include "editor/record_table_model.h"
#include "tests/support/test_support.h"

#include <QAbstractItemModelTester>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

using namespace Qt::StringLiterals;
using namespace telvane;

class RecordTableModelTest : public QObject
{
    Q_OBJECT

private slots:
    void everyChangeKeepsTheModelSound()
    {
        QTemporaryDir dir;
        const QString path = testing::makeStore(dir, {{u"张三"_s}, {u"李四"_s}, {u"王五"_s}});
        store::RecordTable table;
        QVERIFY(table.open(path));
        editor::RecordTableModel model(table);
        QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
        QSignalSpy failed(&model, &editor::RecordTableModel::writeFailed);

        QVERIFY(model.writeBlock({{1, 2, u"备注"_s}}, {store::RecordTexts {u"赵六"_s}}));
        QCOMPARE(model.rowCount(), 4);
        QCOMPARE(model.index(1, 2).data().toString(), u"备注"_s);
        QVERIFY(model.removeRecords({0, 2}));
        QCOMPARE(model.rowCount(), 2);
        QVERIFY(model.undo());
        QVERIFY(model.undo());
        QCOMPARE(model.rowCount(), 3);
        QCOMPARE(model.index(1, 2).data().toString(), QString());

        QVERIFY(testing::execOther(path, "INSERT INTO directory (姓名) VALUES ('孙七');"));
        QVERIFY(model.followOtherWriters());
        QCOMPARE(model.rowCount(), 4);
        QVERIFY(testing::execOther(path, "UPDATE directory SET 手机 = '1' WHERE 姓名 = '李四';"));
        QVERIFY(!model.setData(model.index(1, 0), u"改名"_s));
        QCOMPARE(failed.size(), 1);
        QCOMPARE(model.index(1, 5).data().toString(), u"1"_s);
        QCOMPARE(model.headerData(6, Qt::Horizontal).toString(), u"小灵通"_s);
    }
};

QTEST_GUILESS_MAIN(RecordTableModelTest)
#include "record_table_model_test.moc"
