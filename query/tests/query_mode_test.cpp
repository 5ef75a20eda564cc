// Query mode without the window: the view the Main window paints after each key, page and hover, and rows that
// name their records when another program numbers the store anew.
#include "query/directory.h"
#include "query/query_mode.h"
#include "store/directory_store.h"
#include "tests/support/test_support.h"

#include <QTemporaryDir>
#include <QTest>

using namespace Qt::StringLiterals;
using namespace telvane;

namespace {

struct Fixture
{
    explicit Fixture(const QList<QStringList>& records)
        : path(testing::makeStore(dir, records))
    {
        store.open(path);
        directory.loadNow();
        mode.enter();
    }
    // A key goes down and comes up with the box holding `text`.
    const query::QueryView& type(const QString& text, int key = Qt::Key_unknown)
    {
        mode.keyDown(key);
        mode.keyUp(text);
        return mode.view();
    }
    QTemporaryDir dir;
    QString path;
    store::DirectoryStore store;
    query::Directory directory {store};
    query::QueryMode mode {store, directory};
};

} // namespace

class QueryModeTest : public QObject
{
    Q_OBJECT

private slots:
    void keysSearchAndPage()
    {
        QList<QStringList> records;
        for (int i = 1; i <= 7; ++i) {
            records << QStringList {u"张三"_s, {}, u"第%1"_s.arg(i)};
        }
        Fixture f(records);
        QVERIFY(f.mode.view().rows[0].startsWith(u" 请在智能查询输入框"_s));
        // The first key clears the help lines, whatever the key.
        f.mode.keyDown(Qt::Key_Shift);
        QVERIFY(f.mode.view().rows[0].isEmpty());

        const query::QueryView& view = f.type(u"zs"_s);
        QCOMPARE(view.count, u"7条"_s);
        QCOMPARE(view.page, u"1/2页"_s);
        QVERIFY(view.nextEnabled && !view.previousEnabled);
        QVERIFY(view.rows[0].startsWith(u"1 张三  第1"_s));
        QCOMPARE(view.boxes[2], u"第1"_s);
        QCOMPARE(view.yellowRow, 1);

        f.type(u"zs"_s, Qt::Key_PageDown);
        QCOMPARE(f.mode.view().page, u"2/2页"_s);
        QVERIFY(f.mode.view().rows[0].startsWith(u"6 "_s));
        QVERIFY(f.mode.view().rows[2].isEmpty());
        f.mode.hover(2);
        QCOMPARE(f.mode.view().boxes[2], u"第7"_s);
        // An empty row under the mouse is yellow, and the boxes keep what they show.
        f.mode.hover(4);
        QCOMPARE(f.mode.view().yellowRow, 4);
        QCOMPARE(f.mode.view().boxes[2], u"第7"_s);

        f.type(QString());
        QVERIFY(f.mode.results().empty());
        QVERIFY(f.mode.view().count.isEmpty());
    }

    // Another program deletes the first result: the others keep showing themselves, and the gone one makes the
    // rows search again (the index is built anew meanwhile, so the results wait).
    void rowsFollowTheirRecords()
    {
        Fixture f({{u"张一"_s}, {u"王四"_s}, {u"张三"_s}, {u"张五"_s}});
        QCOMPARE(f.type(u"z"_s).count, u"3条"_s);
        QVERIFY(testing::execOther(f.path, "DELETE FROM directory WHERE 姓名 = '张一';"));
        f.mode.hover(2);
        QCOMPARE(f.mode.view().boxes[0], u"张三"_s);
        f.mode.hover(1);
        QVERIFY(f.mode.isWaiting());
        QVERIFY(f.mode.view().boxes[0] != u"王四"_s);
        QTRY_VERIFY(f.directory.isReady() || !f.mode.isWaiting());
        f.directory.loadNow();
        f.mode.directoryReady();
        QCOMPARE(f.mode.view().count, u"2条"_s);
        f.mode.hover(1);
        QCOMPARE(f.mode.view().boxes[0], u"张三"_s);
    }
};

QTEST_GUILESS_MAIN(QueryModeTest)
#include "query_mode_test.moc"
