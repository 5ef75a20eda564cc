// The Main window and the list editor as a person uses them, with telvane-cli and the sqlite3 shell writing the same
// DHB.EDB between their keys: every change lands on the record the user meant, and nothing is cut without a word.
#include "app/main_window.h"
#include "editor/list_editor_window.h"
#include "editor/record_table_model.h"
#include "tests/support/test_support.h"
#include "widgets/byte_line_edit.h"
#include "widgets/picture_button.h"
#include "widgets/query_box.h"

#include <QApplication>
#include <QClipboard>
#include <QLabel>
#include <QStatusBar>
#include <QTableView>
#include <QTemporaryDir>
#include <QTest>

using namespace Qt::StringLiterals;
using namespace telvane;
using app::MainWindow;
using editor::ListEditorWindow;
using Records = QList<QStringList>;
using testing::names;

namespace {

// The list editor of a store, shown and active, with keys sent to its grid.
struct Grid
{
    explicit Grid(const QString& path)
        : window(new ListEditorWindow(path))
    { }
    ~Grid() { delete window; }
    QTableView* table() const { return window->findChild<QTableView*>(u"表格"_s); }
    void key(int key, Qt::KeyboardModifiers modifiers = Qt::NoModifier) const
    {
        QTest::keyClick(table(), static_cast<Qt::Key>(key), modifiers);
    }
    void go(int row, int field) const { table()->setCurrentIndex(window->model()->index(row, field)); }
    // F2, the text typed over what the cell holds, Enter; false when the cell editor never closed.
    [[nodiscard]] bool type(const QString& text) const
    {
        key(Qt::Key_F2);
        QWidget* box = QApplication::focusWidget();
        QTest::keyClick(box, Qt::Key_A, Qt::ControlModifier);
        testing::typeText(box, text);
        QTest::keyClick(box, Qt::Key_Return);
        // The grid commits an Enter a moment later.
        return QTest::qWaitFor([this] { return !table()->indexWidget(table()->currentIndex()); });
    }
    QString status() const { return window->statusBar()->currentMessage(); }
    ListEditorWindow* window;
};

} // namespace

class IdentityTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        MainWindow::setMessageSink([](const QString&, const QString&) {});
    }

    // Added, typed into and deleted in the grid; meanwhile the entry form saves 孙七, who would have been given
    // the deleted record's key. Three undo steps take the grid's record back and leave 孙七 alone.
    void undoNeverRewritesAnotherPerson()
    {
        QTemporaryDir dir;
        const QString path = testing::makeStore(dir, {{u"张三"_s}, {u"李四"_s}, {u"王五"_s}});
        MainWindow w(dir.path());
        QVERIFY(w.startUp());
        Grid grid(path);
        QVERIFY(testing::showAndActivate(grid.window));
        grid.key(Qt::Key_A, Qt::ControlModifier);
        QVERIFY(grid.type(u"abc"_s));
        grid.key(Qt::Key_D, Qt::ControlModifier);

        w.输入按钮->click();
        testing::typeText(w.姓名框, u"孙七"_s);
        w.确定按钮->click();
        QCOMPARE(testing::readRecords(path).size(), 4);

        QVERIFY(testing::showAndActivate(grid.window));
        for (int i = 0; i < 3; ++i) {
            grid.key(Qt::Key_Z, Qt::ControlModifier);
        }
        QCOMPARE(testing::readRecords(path), names({u"张三"_s, u"李四"_s, u"王五"_s, u"孙七"_s}));
    }

    // The grid shows 王五; another program deletes him and imports 孙七. Typing into 王五's remark and deleting his
    // row write nothing, and the status bar says why.
    void staleRowWritesNothing()
    {
        QTemporaryDir dir;
        const QString path = testing::makeStore(dir, {{u"张三"_s}, {u"李四"_s}, {u"王五"_s}});
        Grid grid(path);
        QVERIFY(testing::showAndActivate(grid.window));
        QVERIFY(!testing::runSqlite3(path, "DELETE FROM directory WHERE id = 3;").isNull());
        QCOMPARE(testing::runCli({u"import"_s, path}, "孙七\n").exitCode, 0);
        const Records after = names({u"张三"_s, u"李四"_s, u"孙七"_s});

        grid.go(2, 2);
        QVERIFY(grid.type(u"VIP"_s));
        QCOMPARE(testing::readRecords(path), after);
        QVERIFY(grid.status().contains(u"另一个程序"_s));
        QCOMPARE(grid.window->model()->index(2, 0).data().toString(), u"孙七"_s);
        // The row the user typed into is gone: no other record takes its place as the current one.
        grid.key(Qt::Key_D, Qt::ControlModifier);
        QCOMPARE(testing::readRecords(path), after);

        // The row now shows 孙七 as he is: a mobile typed there goes in, and its undo too; another program's
        // newer value is never overwritten by an undo.
        grid.go(2, 5);
        QVERIFY(grid.type(u"13900000000"_s));
        QVERIFY(!testing::runSqlite3(path, "UPDATE directory SET 手机 = '13811112222' WHERE 姓名 = '孙七';").isNull());
        grid.key(Qt::Key_Z, Qt::ControlModifier);
        QCOMPARE(testing::readRecords(path).value(2).value(5), u"13811112222"_s);
        QVERIFY(grid.status().contains(u"另一个程序"_s));
    }

    // Query z shows 张一, 张三, 张五. The grid deletes 张一 (another connection): hovering the rows shows the
    // records they showed, or the rows are searched again; never another person.
    void resultRowsNameTheirRecords()
    {
        QTemporaryDir dir;
        const QString path = testing::makeStore(
            dir, {{u"张一"_s}, {u"王四"_s, u"丁公司"_s, {}, {}, {}, u"13800000004"_s}, {u"张三"_s}, {u"张五"_s}});
        MainWindow w(dir.path());
        QVERIFY(w.startUp());
        QVERIFY(testing::showAndActivate(&w));
        QTest::keyClicks(w.查询框, u"z"_s);
        QTRY_COMPARE(w.数量标签->text(), u"3条"_s);

        QVERIFY(!testing::runSqlite3(path, "DELETE FROM directory WHERE 姓名 = '张一';").isNull());
        QTest::mouseMove(w.标签表2);
        QTRY_VERIFY(w.姓名框->text() == u"张三"_s || w.数量标签->text() == u"2条"_s);
        QVERIFY(w.手机框->text().isEmpty());
        QTest::mouseMove(w.标签表1);
        QTRY_COMPARE(w.数量标签->text(), u"2条"_s);
        QTest::mouseMove(w.标签表2);
        QTRY_COMPARE(w.姓名框->text(), u"张五"_s);
        QTest::mouseMove(w.标签表3);
        QCOMPARE(w.姓名框->text(), u"张五"_s);
    }

    // The current cell on the last row; another program imports two records behind the grid; a three-row block
    // pasted there leaves exactly its three rows selected, and Ctrl+D then deletes them, not the others'.
    void pasteSelectsWhatItWrote()
    {
        QTemporaryDir dir;
        const QString path = testing::makeStore(dir, {{u"张三"_s}, {u"李四"_s}, {u"王五"_s}});
        Grid grid(path);
        QVERIFY(testing::showAndActivate(grid.window));
        grid.go(2, 0);
        QCOMPARE(testing::runCli({u"import"_s, path}, "孙七\n周八\n").exitCode, 0);
        QGuiApplication::clipboard()->setText(u"甲\r\n乙\r\n丙\r\n"_s);
        grid.key(Qt::Key_V, Qt::ControlModifier);
        QCOMPARE(testing::readRecords(path),
                 names({u"张三"_s, u"李四"_s, u"甲"_s, u"孙七"_s, u"周八"_s, u"乙"_s, u"丙"_s}));
        grid.key(Qt::Key_D, Qt::ControlModifier);
        QCOMPARE(testing::readRecords(path), names({u"张三"_s, u"李四"_s, u"孙七"_s, u"周八"_s}));
    }

    // A cell only touched is never rewritten: F2 then Enter, and Copy then Paste in place, leave an over-long
    // name and unit as they are. Letters typed into a unit are stored full-width, so the letter search finds it.
    void touchingACellCutsNothing()
    {
        QTemporaryDir dir;
        const QString path = testing::makeStore(dir, {});
        QVERIFY(testing::execOther(path, "INSERT INTO directory (姓名, 单位) VALUES ('ａｂｃｄｅｆｇｈｉｊ',"
                                         " '中华人民共和国国家统计局下属'), ('ｍａｒｙ　ｓｍｉｔｈ', '');"));
        const Records before = testing::readRecords(path);
        Grid grid(path);
        QVERIFY(testing::showAndActivate(grid.window));
        for (int field : {0, 1}) {
            grid.go(0, field);
            grid.key(Qt::Key_F2);
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
            QTRY_VERIFY(!grid.table()->indexWidget(grid.table()->currentIndex()));
        }
        grid.go(1, 0);
        grid.key(Qt::Key_C, Qt::ControlModifier);
        grid.key(Qt::Key_V, Qt::ControlModifier);
        QCOMPARE(testing::readRecords(path), before);

        grid.go(1, 1);
        QVERIFY(grid.type(u"IBM中国"_s));
        QCOMPARE(testing::readRecords(path).value(1).value(1), u"ＩＢＭ中国"_s);
        QCOMPARE(testing::runCli({u"search"_s, path, u"zg"_s}).out, u"1 ｍａｒｙ　ｓｍｉｔｈ ＩＢＭ中国     \n"_s);
    }

    // A line break pasted into an entry box is one space, in the box and in the store.
    void entryBoxesHoldOneLine()
    {
        QTemporaryDir dir;
        const QString path = testing::makeStore(dir, {});
        MainWindow w(dir.path());
        QVERIFY(w.startUp());
        QVERIFY(testing::showAndActivate(&w));
        w.输入按钮->click();
        for (widgets::ByteLimitedLineEdit* box : {w.备注框, w.手机框}) {
            QGuiApplication::clipboard()->setText(box == w.备注框 ? u"3号楼\r\n2单元301"_s : u"139\r\n12345678"_s);
            box->setFocus();
            box->paste();
        }
        QCOMPARE(w.备注框->text(), u"3号楼 2单元301"_s);
        w.确定按钮->click();
        const QStringList stored = testing::readRecords(path).value(0);
        QCOMPARE(stored.value(2), u"3号楼 2单元301"_s);
        QCOMPARE(stored.value(5), u"13912345678"_s);
    }
};

QTEST_MAIN(IdentityTest)
#include "identity_test.moc"
