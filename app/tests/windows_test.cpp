#include "app/main_window.h"
#include "app/window_coordinator.h"
#include "editor/list_editor_window.h"
#include "import/import_window.h"
#include "tests/support/test_support.h"
#include "widgets/byte_line_edit.h"
#include "widgets/fonts.h"
#include "widgets/picture_button.h"
#include "widgets/query_box.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QLabel>
#include <QMenuBar>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

using namespace Qt::StringLiterals;
using telvane::app::MainWindow;
using telvane::app::WindowCoordinator;
using telvane::store::Record;
using namespace telvane::testing;

namespace {

struct Fixture
{
    QTemporaryDir dir;
    std::unique_ptr<MainWindow> w;
    std::unique_ptr<WindowCoordinator> windows;

    Fixture()
    {
        makeStore(dir, {{u"张三"_s}, {u"李四"_s}});
        w = std::make_unique<MainWindow>(dir.path());
        windows = std::make_unique<WindowCoordinator>(*w);
        w->show();
        w->startUp();
        if (!QTest::qWaitFor([this] { return w->directory().isReady(); })) {
            qWarning("the search index was not built");
        }
    }
    ~Fixture()
    {
        windows.reset();
        w.reset();
    }
    void openEditorFromEntryMode()
    {
        w->输入按钮->click();
        QCOMPARE(w->说明标签6->text(), u"总记录数"_s);
        w->表格按钮->click();
        QVERIFY(windows->listEditor());
        QVERIFY(!w->表格按钮->isEnabled());
        QVERIFY(w->查询按钮->isEnabled() && w->输入按钮->isEnabled());
    }
    void checkQueryMode()
    {
        QCOMPARE(w->说明标签6->text(), u"智能查询输入"_s);
        QVERIFY(w->表格按钮->isEnabled());
        QVERIFY(!w->查询按钮->isEnabled());
        QCOMPARE(w->标签表1->text(), u" 请在智能查询输入框中输入要查询的电话号码，或汉字的首拼字母。"_s);
    }
};

} // namespace

class WindowsTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { telvane::widgets::installFontSubstitutes(); }

    void closingTheListEditorByEveryRouteEntersQueryMode_data()
    {
        QTest::addColumn<QString>("route");
        QTest::newRow("exit menu") << u"退出(&X)"_s;
        QTest::newRow("window close") << QString();
        QTest::newRow("import link") << u"从Excel批量导入数据(&I)"_s;
    }
    void closingTheListEditorByEveryRouteEntersQueryMode()
    {
        QFETCH(QString, route);
        Fixture f;
        f.openEditorFromEntryMode();
        QPointer<telvane::editor::ListEditorWindow> editor = f.windows->listEditor();
        if (route.isEmpty()) {
            editor->close();
        } else {
            QAction* action = findAction(editor, route);
            QVERIFY(action);
            action->trigger();
        }
        QTRY_VERIFY(!editor);
        f.checkQueryMode();
        if (route.startsWith(u"从Excel"_s)) {
            // The user is left facing the import window, which has no owner.
            telvane::import::ImportWindow* open = nullptr;
            for (QWidget* top : QApplication::topLevelWidgets()) {
                if (auto* iw = qobject_cast<telvane::import::ImportWindow*>(top); iw && iw->isVisible()) {
                    open = iw;
                }
            }
            QVERIFY(open);
            QVERIFY(!open->parentWidget());
            QVERIFY(!open->isModal());
            open->close();
        }
    }

    void importRequestBringsBackAReloadedEditor()
    {
        Fixture f;
        f.w->表格按钮->click();
        auto* editor = f.windows->listEditor();
        QVERIFY(editor);
        // Rows appended behind the grid's back, as an import does, then the import window asks for the editor.
        QVERIFY(f.w->store().appendMany(std::vector<Record>(3, record({u"王五"_s}))));
        f.windows->showListEditorAfterImport();
        QCOMPARE(f.windows->listEditor(), editor);
        auto* view = editor->findChild<QAbstractItemView*>(u"表格"_s);
        QVERIFY(view);
        QCOMPARE(view->model()->rowCount(), 5);
        editor->close();
        QTRY_VERIFY(!f.windows->listEditor());
        // Without an open editor the request opens one, with the imported records current and in view.
        std::unique_ptr<QWidget> importWindow(f.windows->openImportWindow());
        QVERIFY(f.w->store().appendMany(std::vector<Record>(40, record({u"赵六"_s}))));
        f.windows->showListEditorAfterImport();
        QVERIFY(f.windows->listEditor());
        QVERIFY(!f.w->表格按钮->isEnabled());
        auto* fresh = f.windows->listEditor()->findChild<QAbstractItemView*>(u"表格"_s);
        QCOMPARE(fresh->currentIndex().row(), 5);
        QVERIFY(fresh->viewport()->rect().intersects(fresh->visualRect(fresh->currentIndex())));
    }

    void helpWindowLeavesTheMainWindowAsItWas()
    {
        Fixture f;
        f.w->show();
        QVERIFY(QTest::qWaitForWindowExposed(f.w.get()));
        f.w->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(f.w.get()));
        QTest::keyClicks(f.w->查询框, u"zs"_s);
        const QString rows = f.w->标签表1->text();
        QVERIFY(!rows.isEmpty());
        bool sawModal = false;
        QTimer::singleShot(100, [&] {
            QWidget* modal = QApplication::activeModalWidget();
            sawModal = modal && modal->parentWidget() == f.w.get();
            auto* close = modal ? modal->findChild<QAbstractButton*>(u"关闭按钮"_s) : nullptr;
            if (close) {
                close->click();
            } else if (modal) {
                modal->close();
            }
        });
        f.w->帮助按钮->click();
        QVERIFY(sawModal);
        QCOMPARE(f.w->查询框->text(), u"zs"_s);
        QCOMPARE(f.w->标签表1->text(), rows);
        QCOMPARE(f.w->focusWidget(), static_cast<QWidget*>(f.w->查询框));
    }
};

QTEST_MAIN(WindowsTest)
#include "windows_test.moc"
