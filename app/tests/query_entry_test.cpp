#include "app/main_window.h"
#include "tests/support/test_support.h"
#include "text/gbk.h"
#include "widgets/byte_line_edit.h"
#include "widgets/query_box.h"
#include "widgets/fonts.h"
#include "widgets/picture_button.h"

#include <QApplication>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QWindow>

#include <sqlite3.h>

using namespace Qt::StringLiterals;
using telvane::app::MainWindow;
using telvane::store::Record;
using namespace telvane::testing;

namespace {

QStringList g_messages;

// A started Main window over a store holding `rows` (or a first run when `rows` is null).
struct Fixture
{
    QTemporaryDir dir;
    std::unique_ptr<MainWindow> w;

    explicit Fixture(const std::vector<Record>* rows)
    {
        if (rows && makeStore(dir.filePath(u"DHB.EDB"_s), *rows).isEmpty()) {
            qWarning("the store was not made");
        }
        w = std::make_unique<MainWindow>(dir.path());
        if (!showAndActivate(w.get())) {
            qWarning("window not active");
        }
        w->startUp();
        // A person starts typing once the program is up: the search index is built by then.
        if (!QTest::qWaitFor([this] { return w->directory().isReady(); })) {
            qWarning("the search index was not built");
        }
    }

    QStringList rows() const
    {
        return {w->标签表1->text(), w->标签表2->text(), w->标签表3->text(), w->标签表4->text(), w->标签表5->text()};
    }
    int yellowRow() const
    {
        const QLabel* labels[] = {w->标签表1, w->标签表2, w->标签表3, w->标签表4, w->标签表5};
        for (int r = 0; r < 5; ++r) {
            if (labels[r]->palette().color(QPalette::Window) == QColor(255, 255, 0)) {
                return r + 1;
            }
        }
        return 0;
    }
    Record stored(int n) { return w->store().record(n); }
};

std::vector<Record> zhangs()
{
    // Twelve records with a z name: eight 张三 (zs) and four 张飞 (zf), then one that matches nothing.
    std::vector<Record> rows;
    for (int i = 0; i < 12; ++i) {
        rows.push_back(record({i % 3 == 2 ? u"张飞"_s : u"张三"_s, u"单位%1"_s.arg(i), {}, u"0101234%1"_s.arg(i)}));
    }
    rows.push_back(record({u"李四"_s, u"某公司"_s}));
    return rows;
}

} // namespace

class QueryEntryTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        telvane::widgets::installFontSubstitutes();
        MainWindow::setMessageSink([](const QString&, const QString& text) { g_messages.append(text); });
    }
    void init() { g_messages.clear(); }

    void typingSearchesOnEveryKey()
    {
        const auto data = zhangs();
        Fixture f(&data);
        QTest::keyClick(f.w->查询框, Qt::Key_Z);
        QCOMPARE(f.w->数量标签->text(), u"12条"_s);
        QCOMPARE(f.w->页数标签->text(), u"1/3页"_s);
        QVERIFY(!f.w->上翻页按钮->isEnabled());
        QVERIFY(f.w->下翻页按钮->isEnabled());
        QCOMPARE(f.rows()[0], u"1 张三 单位0  01012340   "_s);
        QCOMPARE(f.yellowRow(), 1);
        QCOMPARE(f.w->姓名框->text(), u"张三"_s);
        QCOMPARE(f.w->办公框->text(), u"01012340"_s);

        // Third page, then one more letter: the new results have two pages and the page is pulled back.
        QTest::keyClick(f.w->查询框, Qt::Key_PageDown);
        QTest::keyClick(f.w->查询框, Qt::Key_PageDown);
        QCOMPARE(f.w->页数标签->text(), u"3/3页"_s);
        QCOMPARE(f.rows()[0].section(u' ', 0, 0), u"11"_s);
        QVERIFY(f.rows()[2].isEmpty());
        QTest::keyClick(f.w->查询框, Qt::Key_S);
        QCOMPARE(f.w->查询框->text(), u"zs"_s);
        QCOMPARE(f.w->数量标签->text(), u"8条"_s);
        QCOMPARE(f.w->页数标签->text(), u"2/2页"_s);
        QCOMPARE(f.rows()[0].section(u' ', 0, 0), u"6"_s);

        // Left turns back a page although it also moves the caret.
        QTest::keyClick(f.w->查询框, Qt::Key_Left);
        QCOMPARE(f.w->页数标签->text(), u"1/2页"_s);
        QCOMPARE(f.w->查询框->cursorPosition(), 1);

        // Deleting the whole query leaves empty rows, not the help lines.
        f.w->查询框->end(false);
        QTest::keyClick(f.w->查询框, Qt::Key_Backspace);
        QTest::keyClick(f.w->查询框, Qt::Key_Backspace);
        QCOMPARE(f.w->查询框->text(), QString());
        QCOMPARE(f.rows(), QStringList(5, QString()));
        QCOMPARE(f.w->数量标签->text(), QString());
        QCOMPARE(f.yellowRow(), 0);
        QVERIFY(!f.w->上翻页按钮->isEnabled() && !f.w->下翻页按钮->isEnabled());
    }

    void navigationKeysAndEnter()
    {
        const auto data = zhangs();
        Fixture f(&data);
        // Shift alone clears the help lines and runs no search.
        QTest::keyClick(f.w->查询框, Qt::Key_Shift);
        QCOMPARE(f.rows(), QStringList(5, QString()));
        QCOMPARE(f.w->数量标签->text(), QString());

        QTest::keyClicks(f.w->查询框, u"z"_s);
        QTest::keyClick(f.w->查询框, Qt::Key_Down);
        QTest::keyClick(f.w->查询框, Qt::Key_Down);
        QCOMPARE(f.yellowRow(), 3);
        QCOMPARE(f.w->单位框->text(), u"单位2"_s);
        for (int i = 0; i < 3; ++i) {
            QTest::keyClick(f.w->查询框, Qt::Key_Down);
        }
        QCOMPARE(f.w->页数标签->text(), u"2/3页"_s);
        QCOMPARE(f.yellowRow(), 1);
        QCOMPARE(f.w->单位框->text(), u"单位5"_s);
        QTest::keyClick(f.w->查询框, Qt::Key_Up);
        QCOMPARE(f.w->页数标签->text(), u"1/3页"_s);
        QCOMPARE(f.yellowRow(), 5);

        // Enter selects the query text; the search is not run again and the rows come back.
        QTest::keyClick(f.w->查询框, Qt::Key_Return);
        QCOMPARE(f.w->查询框->selectedText(), u"z"_s);
        QCOMPARE(f.w->数量标签->text(), u"12条"_s);
        QCOMPARE(f.rows()[4].section(u' ', 0, 0), u"5"_s);
    }

    void hoverSelectsAndShowsTheRecord()
    {
        const auto data = zhangs();
        Fixture f(&data);
        QTest::keyClick(f.w->查询框, Qt::Key_Z);
        QTest::mouseMove(f.w->标签表4, QPoint(20, 5));
        QTRY_COMPARE(f.yellowRow(), 4);
        QCOMPARE(f.w->单位框->text(), u"单位3"_s);
        // The window's own surface leaves the rows: stripes again, the record stays.
        QTest::mouseMove(f.w.get(), QPoint(200, 15));
        QTRY_COMPARE(f.yellowRow(), 0);
        QCOMPARE(f.w->单位框->text(), u"单位3"_s);

        // On the short last page an empty row turns yellow but the boxes keep their record.
        QTest::keyClick(f.w->查询框, Qt::Key_End);
        QTest::keyClick(f.w->查询框, Qt::Key_PageDown);
        QTest::keyClick(f.w->查询框, Qt::Key_PageDown);
        QCOMPARE(f.w->页数标签->text(), u"3/3页"_s);
        const QString shown = f.w->单位框->text();
        QTest::mouseMove(f.w->标签表5, QPoint(30, 5));
        QTRY_COMPARE(f.yellowRow(), 5);
        QCOMPARE(f.w->单位框->text(), shown);
    }

    void firstRunSaveWalksAndStoresOnce()
    {
        Fixture f(nullptr);
        QTRY_COMPARE(focusName(), u"姓名框"_s);
        QTest::keyClicks(f.w->姓名框, u"ab1"_s);
        QTest::keyClick(f.w->姓名框, Qt::Key_Return);
        QTRY_COMPARE(focusName(), u"手机框"_s);
        QTest::keyClicks(f.w->手机框, u"139"_s);
        QTest::keyClick(f.w->手机框, Qt::Key_Return); // 家里框
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return); // 单位框
        QCOMPARE(focusName(), u"单位框"_s);
        QTest::keyClicks(f.w->单位框, u"IBM"_s);
        QTest::keyClick(f.w->单位框, Qt::Key_Return); // 办公框
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return); // 备注框
        QCOMPARE(focusName(), u"备注框"_s);
        QTest::keyClicks(f.w->备注框, u"ab 1"_s);
        QTest::keyClick(f.w->备注框, Qt::Key_Return); // 小灵通框
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return); // past the disabled 查询框
        QTRY_COMPARE(focusName(), u"确定按钮"_s);
        QTest::keyClick(f.w->确定按钮, Qt::Key_Return);

        QCOMPARE(f.w->store().recordCount(), 1);
        QCOMPARE(f.w->查询框->text(), u"1"_s);
        const Record r = f.stored(1);
        QCOMPARE(QByteArray::fromStdString(r[0]).toHex(), QByteArray("a3e1a3e2a3b1"));
        QCOMPARE(QByteArray::fromStdString(r[1]).toHex(), QByteArray("a3c9a3c2a3cd"));
        QCOMPARE(r[2], std::string("ab 1"));
        QCOMPARE(r[5], std::string("139"));
        QTRY_COMPARE(focusName(), u"姓名框"_s);
        QCOMPARE(f.w->姓名框->palette().color(QPalette::Base), QColor(Qt::white));
        QCOMPARE(f.w->手机框->palette().color(QPalette::Base), QColor(236, 236, 236));
        QVERIFY(f.w->姓名框->text().isEmpty() && f.w->单位框->text().isEmpty() && f.w->手机框->text().isEmpty());

        // An empty save is a record of seven empty fields.
        f.w->确定按钮->click();
        QCOMPARE(f.w->store().recordCount(), 2);
        QCOMPARE(f.stored(2), Record {});
        QCOMPARE(f.w->查询框->text(), u"2"_s);

        // The new entry is found in query mode by its full-width letters.
        f.w->查询按钮->click();
        QTRY_COMPARE(focusName(), u"查询框"_s);
        QTest::keyClicks(f.w->查询框, u"ibm"_s);
        QCOMPARE(f.w->数量标签->text(), u"1条"_s);
        QVERIFY(g_messages.isEmpty());
    }

    // The boxes count the stored form, so what is typed fits the field once made full-width.
    void fullWidthNameFitsItsField()
    {
        Fixture f(nullptr);
        QTest::keyClicks(f.w->姓名框, u"abcdefghij"_s);
        QTest::keyClicks(f.w->单位框, u"0123456789ABCDEFGHIJKLMN"_s);
        f.w->确定按钮->click();
        const Record r = f.stored(1);
        QCOMPARE(telvane::text::fromGbk(r[0]), u"ａｂｃｄｅ"_s);
        QCOMPARE(telvane::text::fromGbk(r[1]), u"０１２３４５６７８９ＡＢ"_s);
    }

    void trayActionBringsTheWindowBack_data() { addBoolRows("hidden", "already shown", "hidden and disabled"); }
    void trayActionBringsTheWindowBack()
    {
        QFETCH(bool, hidden);
        std::vector<Record> none;
        Fixture f(&none);
        const WId native = f.w->winId();
        if (hidden) {
            f.w->hide();
            f.w->setEnabled(false);
        }
        f.w->bringBack();
        QVERIFY(f.w->isVisible());
        QVERIFY(f.w->isEnabled());
        QVERIFY(!(f.w->windowFlags() & Qt::WindowStaysOnTopHint));
        QVERIFY(f.w->windowFlags() & Qt::FramelessWindowHint);
        // The same native window, not left on top by the desktop either.
        QCOMPARE(f.w->winId(), native);
        QVERIFY(!(f.w->windowHandle()->flags() & Qt::WindowStaysOnTopHint));
        QVERIFY(f.w->windowHandle()->flags() & Qt::FramelessWindowHint);
    }

    void entryModeDuringAQuery()
    {
        const auto data = zhangs();
        Fixture f(&data);
        QTest::keyClick(f.w->查询框, Qt::Key_Z);
        QVERIFY(f.w->下翻页按钮->isEnabled());
        f.w->输入按钮->click();
        QCOMPARE(f.rows(), QStringList(5, QString()));
        QVERIFY(f.w->queryMode().results().empty());
        QVERIFY(f.w->下翻页按钮->isEnabled());
        QCOMPARE(f.w->查询框->text(), u"13"_s);
        QCOMPARE(f.w->说明标签6->text(), u"总记录数"_s);
        QVERIFY(f.w->姓名框->text().isEmpty());
        // A page button now finds no page and leaves the boxes alone.
        f.w->下翻页按钮->click();
        QVERIFY(f.w->姓名框->text().isEmpty());
        QVERIFY(!f.w->下翻页按钮->isEnabled());
    }

    void failedSaveKeepsTheEntry()
    {
        std::vector<Record> none;
        Fixture f(&none);
        f.w->输入按钮->click();
        f.w->store().setBusyTimeout(20);
        typeText(f.w->姓名框, u"王五"_s);
        QTest::keyClicks(f.w->手机框, u"13800000000"_s);

        sqlite3* other = nullptr;
        sqlite3_open(QFile::encodeName(f.w->storePath()).constData(), &other);
        QCOMPARE(sqlite3_exec(other, "BEGIN EXCLUSIVE", nullptr, nullptr, nullptr), SQLITE_OK);
        f.w->确定按钮->click();
        sqlite3_exec(other, "ROLLBACK", nullptr, nullptr, nullptr);
        sqlite3_close(other);

        QCOMPARE(g_messages.size(), 1);
        QVERIFY(g_messages[0].contains(u"没有存入"_s));
        QCOMPARE(f.w->姓名框->text(), u"王五"_s);
        QCOMPARE(f.w->手机框->text(), u"13800000000"_s);
        QCOMPARE(f.w->查询框->text(), u"0"_s);
        QCOMPARE(f.w->store().recordCount(), 0);
        // Once the store takes writes again the same entry is saved.
        f.w->确定按钮->click();
        QCOMPARE(f.w->store().recordCount(), 1);
        QCOMPARE(telvane::text::fromGbk(f.stored(1)[0]), u"王五"_s);
    }

    void refusedSaveMessageIsOwnedAndCentred()
    {
        std::vector<Record> none;
        Fixture f(&none);
        f.w->move(300, 200);
        f.w->输入按钮->click();
        f.w->store().setBusyTimeout(20);
        typeText(f.w->姓名框, u"王五"_s);
        sqlite3* other = nullptr;
        sqlite3_open(QFile::encodeName(f.w->storePath()).constData(), &other);
        QCOMPARE(sqlite3_exec(other, "BEGIN EXCLUSIVE", nullptr, nullptr, nullptr), SQLITE_OK);

        // The program's own message box this time, read while it is up and then dismissed.
        MainWindow::setMessageSink({});
        QString title;
        QWidget* owner = nullptr;
        QPoint centre;
        QTimer::singleShot(0, [&] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            if (box) {
                title = box->windowTitle();
                owner = box->parentWidget();
                centre = box->frameGeometry().center();
                box->button(QMessageBox::Ok)->click();
            }
        });
        f.w->确定按钮->click();
        MainWindow::setMessageSink([](const QString&, const QString& text) { g_messages.append(text); });
        sqlite3_exec(other, "ROLLBACK", nullptr, nullptr, nullptr);
        sqlite3_close(other);

        QCOMPARE(title, u"记录未保存"_s);
        QCOMPARE(owner, f.w.get());
        const QPoint offset = centre - f.w->frameGeometry().center();
        QVERIFY2(offset.manhattanLength() <= 2, qPrintable(u"centred %1, %2 px off"_s.arg(offset.x()).arg(offset.y())));
    }
};

QTEST_MAIN(QueryEntryTest)
#include "query_entry_test.moc"
