#pragma once

#include "editor/grid_rules.h"
#include "store/record_table.h"

#include <QFont>
#include <QMainWindow>
#include <QString>

#include <array>
#include <functional>

class QAction;
class QMenu;
class QStyledItemDelegate;
class QTableView;

namespace telvane::editor {

class RecordTableModel;

// The list editor: the whole directory store in an editable grid, with menus for cut, copy, paste, adding and
// deleting records, zoom, the spreadsheet import and the about panel. Cell edits are written to the store at once.
// The window deletes itself when closed and emits closed() on every way of closing.
class ListEditorWindow : public QMainWindow
{
    Q_OBJECT
public:
    explicit ListEditorWindow(const QString& storePath, QWidget* parent = nullptr);
    ~ListEditorWindow() override;

    // What "从Excel批量导入数据(&I)" opens: the opener shows the import window (non-modal, without owner) and
    // returns it; the list editor then closes and leaves the user facing that window.
    void setImportOpener(std::function<QWidget*()> opener);

    // Reads the whole store again. Records appended since the grid last read it (an import) are scrolled into view
    // and the first of them becomes current; without such records the current cell stays.
    void reload();
    // Makes the record in `row` (0-based) current and scrolls it and the records after it into view: a list editor
    // opened after an import shows the imported records, which come after all others.
    void showRecordsFrom(int row);

    // The menu commands.
    void undo();
    void copy();
    void cut();
    void paste();
    void addRecord();
    void deleteRecords();
    void setZoom(int percent);
    void importFromSpreadsheet();
    void about();
    // Selects every record that repeats an earlier one (the same mobile number, or the same name and a same phone
    // number), so that Ctrl+D can take them away; the status bar says how many. Returns that number.
    int findDuplicates();
    // Writes the selected rows' records (rows selected whole), else the whole directory, as a vCard file for phones
    // to `path`; an empty path asks for one. Success is said in the status bar, a failure in a message box. False
    // when nothing was written.
    bool exportVCards(QString path = {});

    int zoom() const { return m_zoom; }
    // Whether the store file is bound to the grid (false when it could not be opened).
    bool isStoreOpen() const { return 数据源1 != nullptr; }
    RecordTableModel* model() const { return 数据源1; }

signals:
    void closed();

protected:
    void closeEvent(QCloseEvent* event) override;
    bool event(QEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void buildMenus();
    void openStore();
    void showFailure(const QString& reason);
    void finishEditing();
    void copyBlock(const CellBlock& block);
    // Reads the store again when another connection wrote; with showAppended the appended records are shown.
    void refresh(bool showAppended);
    // Reloads the grid and puts the current cell back at (row, field), clamped to what is there; false when the
    // store had not changed.
    bool reselect(int row, int field);
    void setCurrentCell(int row, int field);
    // Makes (first, field) current and shows as many of the rows first..last as there is room for, the first always.
    void showRows(int first, int last, int field);
    // Sets the column widths for the font and the grid's width at the current zoom.
    void layOutColumns();
    // Pixels at 100 % at the current zoom.
    int scaled(int pixels) const;
    void followOtherWriters();

    QString m_storePath;
    std::function<QWidget*()> m_importOpener;
    int m_zoom = 100;
    // The current record across a reading of the rows anew.
    struct Kept
    {
        std::int64_t id = -1;
        int field = 0;
        int scroll = 0;
        store::RecordTexts texts;
    };
    Kept m_kept;
    bool m_closedEmitted = false;

    QTableView* 表格 = nullptr;
    // The store file the grid shows (the database provider), the model over it (the data source), the grid.
    store::RecordTable 数据库提供者1;
    RecordTableModel* 数据源1 = nullptr;
    QStyledItemDelegate* m_delegate = nullptr;

    QMenu* m_editMenu = nullptr;
    QAction* m_undoAction = nullptr;
    QAction* m_importAction = nullptr;
    std::array<QAction*, 3> m_zoomActions {};

    // The grid's font at 100 percent.
    QFont m_baseFont;
};

} // namespace telvane::editor
