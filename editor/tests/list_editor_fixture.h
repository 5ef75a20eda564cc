// What the list editor's tests share: the window under test, and reading and finding what it shows.
#pragma once

#include "editor/list_editor_window.h"
#include "editor/record_table_model.h"
#include "query/search.h"
#include "store/directory_store.h"
#include "tests/support/test_support.h"
#include "text/gbk.h"
#include "widgets/fonts.h"

#include <QAction>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QFile>
#include <QFileInfo>
#include <QHeaderView>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPointer>
#include <QScrollBar>
#include <QSignalSpy>
#include <QStatusBar>
#include <QStyle>
#include <QTableView>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <sqlite3.h>

using namespace Qt::StringLiterals;
using telvane::editor::ListEditorWindow;
using telvane::editor::RecordTableModel;
using telvane::store::DirectoryStore;

using Records = QList<QStringList>;
using telvane::testing::execOther;
using telvane::testing::findAction;
using telvane::testing::makeStore;
using telvane::testing::names;
using telvane::testing::padded;
using telvane::testing::record;

inline const QStringList kHeaders {u"姓名"_s, u"单位"_s, u"备注"_s, u"办公"_s, u"家里"_s, u"手机"_s, u"小灵通"_s};

// The records as the main window's store sees them.
inline Records readStore(DirectoryStore& store)
{
    Records out;
    const int count = store.recordCount();
    const auto& columns = store.columns();
    for (int n = 1; n <= count; ++n) {
        QStringList r;
        for (std::size_t f = 1; f <= telvane::store::kFieldCount; ++f) {
            r << telvane::text::fromGbk(columns.field(n, f));
        }
        out << r;
    }
    return out;
}

inline Records readFile(const QString& path)
{
    DirectoryStore store;
    if (!store.open(path)) {
        return {};
    }
    return readStore(store);
}

inline QMenu* findMenu(QMainWindow* window, const QString& title)
{
    for (QAction* a : window->menuBar()->actions()) {
        if (a->text() == title) {
            return a->menu();
        }
    }
    return nullptr;
}

inline QString gbkHex(const QString& text)
{
    return QString::fromLatin1(QByteArray::fromStdString(telvane::text::toGbk(text)).toHex(' '));
}

// Owns the window unless it deleted itself on closing.
struct Editor
{
    explicit Editor(const QString& path)
        : window(new ListEditorWindow(path))
    { }
    ~Editor() { delete window.data(); }
    ListEditorWindow* operator->() const { return window.data(); }

    QTableView* table() const { return window->findChild<QTableView*>(u"表格"_s); }
    RecordTableModel* model() const { return window->findChild<RecordTableModel*>(u"数据源1"_s); }
    QModelIndex cell(int row, int field) const { return model()->index(row, field); }

    bool showActive() const
    {
        window->show();
        window->activateWindow();
        return QTest::qWaitForWindowActive(window.data());
    }

    void selectBlock(int top, int left, int bottom, int right) const
    {
        QItemSelection block;
        for (int f = left; f <= right; ++f) {
            block.select(cell(top, f), cell(bottom, f));
        }
        table()->setCurrentIndex(cell(top, left));
        table()->selectionModel()->select(block, QItemSelectionModel::ClearAndSelect);
    }

    QPointer<ListEditorWindow> window;
};

// Records with typical values: names of two to five characters, units up to twelve, full telephone numbers.
inline Records manyRecords(int count)
{
    Records records;
    for (int i = 0; i < count; ++i) {
        records << QStringList {u"欧阳明王华"_s.left(2 + i % 4),
                                u"中国科学院计算技术研究所"_s.left(4 + i % 9),
                                u"每周三下午在家"_s,
                                u"010%1"_s.arg(88000000 + i),
                                u"0755%1"_s.arg(100000000 + i),
                                u"135%1"_s.arg(10000000 + i),
                                u"0109999%1"_s.arg(100000 + i)};
    }
    return records;
}

// Whether some of the cell shows in the grid's viewport.
inline bool inSight(QTableView* table, const QModelIndex& cell)
{
    return table->viewport()->rect().intersects(table->visualRect(cell));
}
