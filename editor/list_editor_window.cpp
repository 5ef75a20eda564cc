#include "editor/list_editor_window.h"

#include "editor/store_table_model.h"
#include "help/help_window.h"
#include "text/tsv.h"
#include "resources/pictures.h"
#include "store/directory_store.h"
#include "widgets/byte_line_edit.h"

#include <QAction>
#include <QActionGroup>
#include <QApplication>
#include <QClipboard>
#include <QCloseEvent>
#include <QFileInfo>
#include <QHeaderView>
#include <QItemSelection>
#include <QMenu>
#include <QMenuBar>
#include <QPointer>
#include <QScrollBar>
#include <QSet>
#include <QSqlError>
#include <QSqlQuery>
#include <QStatusBar>
#include <QStyledItemDelegate>
#include <QTableView>
#include <QVBoxLayout>

#include <algorithm>
#include <atomic>

using namespace Qt::StringLiterals;

namespace telvane::editor {

namespace {

constexpr std::array<int, 3> kZoomLevels {100, 90, 80};

// Cells are edited in a line box that takes no more GB18030 bytes than the field holds.
class CellDelegate : public QStyledItemDelegate
{
public:
    CellDelegate(StoreTableModel* model, QObject* parent)
        : QStyledItemDelegate(parent)
        , m_model(model)
    { }

    QWidget* createEditor(QWidget* parent, const QStyleOptionViewItem&, const QModelIndex& index) const override
    {
        const int field = m_model->fieldOfColumn(index.column());
        if (field < 0) {
            return nullptr;
        }
        auto* editor = new widgets::ByteLimitedLineEdit(store::kFields[static_cast<std::size_t>(field)].width, parent);
        editor->setFrame(false);
        return editor;
    }

private:
    StoreTableModel* m_model;
};

QString nextConnectionName()
{
    static std::atomic<int> counter {0};
    return u"telvane-list-editor-%1"_s.arg(++counter);
}

} // namespace

ListEditorWindow::ListEditorWindow(const QString& storePath, QWidget* parent)
    : QMainWindow(parent)
    , m_storePath(storePath)
    , m_connectionName(nextConnectionName())
{
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(u"Telvane-列表修改器"_s);
    setWindowIcon(resources::listIcon());

    // The grid fills the client area less one pixel on every side, whatever the window's size.
    auto* client = new QWidget(this);
    auto* layout = new QVBoxLayout(client);
    layout->setContentsMargins(1, 1, 1, 1);
    layout->setSpacing(0);
    表格 = new QTableView(client);
    表格->setObjectName(u"表格"_s);
    layout->addWidget(表格);
    setCentralWidget(client);

    m_baseFont = 表格->font();
    // Rows as high as a line of text with a little air, like a spreadsheet's, rather than the style's taller default.
    m_baseRowHeight = QFontMetrics(m_baseFont).height() + 8;

    buildMenus();
    表格->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(表格, &QWidget::customContextMenuRequested, this,
            [this](const QPoint& pos) { m_editMenu->popup(表格->viewport()->mapToGlobal(pos)); });

    // Created at its designed place and size, then opened at 750 x 550.
    setGeometry(50, 50, 400, 331);
    resize(750, 550);

    openStore();
    setZoom(100);
}

ListEditorWindow::~ListEditorWindow()
{
    // The model holds a handle on the connection: it goes first, then the connection.
    表格->setModel(nullptr);
    delete 数据源1;
    数据源1 = nullptr;
    if (数据库提供者1.isValid()) {
        数据库提供者1.close();
    }
    数据库提供者1 = QSqlDatabase();
    QSqlDatabase::removeDatabase(m_connectionName);
}

void ListEditorWindow::buildMenus()
{
    auto addItem = [this](QMenu* menu, const QString& caption, const QKeySequence& key, auto handler) {
        QAction* action = menu->addAction(caption);
        action->setShortcut(key);
        connect(action, &QAction::triggered, this, handler);
        return action;
    };

    QMenu* file = menuBar()->addMenu(u"文件(&F)"_s);
    addItem(file, u"退出(&X)"_s, QKeySequence(Qt::CTRL | Qt::Key_Q), [this] { close(); });

    m_editMenu = menuBar()->addMenu(u"编辑(&E)"_s);
    addItem(m_editMenu, u"剪切(&T)"_s, QKeySequence(Qt::CTRL | Qt::Key_X), &ListEditorWindow::cut);
    addItem(m_editMenu, u"复制(&C)"_s, QKeySequence(Qt::CTRL | Qt::Key_C), &ListEditorWindow::copy);
    addItem(m_editMenu, u"粘贴(&V)"_s, QKeySequence(Qt::CTRL | Qt::Key_V), &ListEditorWindow::paste);
    m_editMenu->addSeparator();
    addItem(m_editMenu, u"增加记录(&A)"_s, QKeySequence(Qt::CTRL | Qt::Key_A), &ListEditorWindow::addRecord);
    addItem(m_editMenu, u"删除记录(&D)"_s, QKeySequence(Qt::CTRL | Qt::Key_D), &ListEditorWindow::deleteRecords);

    QMenu* zoomMenu = menuBar()->addMenu(u"显示比例(&L)"_s);
    auto* zoomGroup = new QActionGroup(this);
    zoomGroup->setExclusive(true);
    for (std::size_t i = 0; i < kZoomLevels.size(); ++i) {
        const int level = kZoomLevels[i];
        m_zoomActions[i] =
            addItem(zoomMenu, u"显示%1%比例"_s.arg(level), QKeySequence(), [this, level] { setZoom(level); });
        m_zoomActions[i]->setCheckable(true);
        zoomGroup->addAction(m_zoomActions[i]);
    }

    QMenu* import = menuBar()->addMenu(u"Excel批量导入(&G)"_s);
    m_importAction =
        addItem(import, u"从Excel批量导入数据(&I)"_s, QKeySequence(), &ListEditorWindow::importFromSpreadsheet);
    m_importAction->setEnabled(false);

    QMenu* helpMenu = menuBar()->addMenu(u"帮助(&H)"_s);
    addItem(helpMenu, u"关于(&A)"_s, QKeySequence(Qt::Key_F1), &ListEditorWindow::about);
}

void ListEditorWindow::openStore()
{
    // Look at the file before any connection touches it: the driver would create a missing file and "open" any
    // foreign one without complaint.
    const store::FileState state = store::DirectoryStore::inspect(m_storePath);
    if (state != store::FileState::Store) {
        showFailure(store::DirectoryStore::describe(state));
        return;
    }
    数据库提供者1 = QSqlDatabase::addDatabase(u"QSQLITE"_s, m_connectionName);
    数据库提供者1.setDatabaseName(m_storePath);
    数据库提供者1.setConnectOptions(u"QSQLITE_BUSY_TIMEOUT=3000"_s);
    if (!数据库提供者1.open()) {
        showFailure(数据库提供者1.lastError().text());
        return;
    }
    {
        QSqlQuery pragma(数据库提供者1);
        for (const QString& sql : {u"PRAGMA journal_mode=WAL"_s, u"PRAGMA synchronous=FULL"_s}) {
            if (pragma.exec(sql)) {
                pragma.next();
            }
            pragma.finish();
        }
    }
    auto* model = new StoreTableModel(this, 数据库提供者1);
    model->setObjectName(u"数据源1"_s);
    QString reason;
    if (!model->bind(&reason)) {
        delete model;
        showFailure(reason);
        return;
    }
    数据源1 = model;
    m_seenDataVersion = 数据源1->dataVersion();
    connect(数据源1, &StoreTableModel::writeFailed, this, &ListEditorWindow::showFailure);

    表格->setModel(数据源1);
    m_delegate = new CellDelegate(数据源1, this);
    表格->setItemDelegate(m_delegate);
    表格->setColumnHidden(数据源1->idColumn(), true);
    QHeaderView* header = 表格->horizontalHeader();
    const QFontMetrics metrics(m_baseFont);
    for (std::size_t f = 0; f < store::kFieldCount; ++f) {
        const int column = 数据源1->columnOfField(f);
        // The fields in their own order, whatever order the table has them in.
        header->moveSection(header->visualIndex(column), f + 1);
        // Wide enough for a full field of half-width characters (a Chinese character is as wide as two).
        const int bytes = store::kFields[static_cast<std::size_t>(f)].width;
        const int width = metrics.horizontalAdvance(u'0') * (bytes + 1);
        m_baseColumnWidths[static_cast<std::size_t>(f)] = std::max(width, header->sectionSizeHint(column));
    }
    m_importAction->setEnabled(static_cast<bool>(m_importOpener));
}

void ListEditorWindow::showFailure(const QString& reason)
{
    statusBar()->showMessage(u"%1：%2"_s.arg(QFileInfo(m_storePath).fileName(), reason));
}

void ListEditorWindow::setImportOpener(std::function<QWidget*()> opener)
{
    m_importOpener = std::move(opener);
    m_importAction->setEnabled(static_cast<bool>(m_importOpener));
}

void ListEditorWindow::finishEditing()
{
    // A command or closing the window first stores the cell being typed into.
    if (!m_delegate) {
        return;
    }
    // The grid sets no index widgets of its own: a widget on the current cell is the open cell editor.
    if (QWidget* editor = 表格->indexWidget(表格->currentIndex())) {
        emit m_delegate->commitData(editor);
        emit m_delegate->closeEditor(editor, QAbstractItemDelegate::NoHint);
    }
}

ListEditorWindow::Block ListEditorWindow::selectedBlock() const
{
    Block block;
    if (!数据源1) {
        return block;
    }
    QModelIndexList cells = 表格->selectionModel()->selectedIndexes();
    if (cells.isEmpty() && 表格->currentIndex().isValid()) {
        cells << 表格->currentIndex();
    }
    for (const QModelIndex& cell : cells) {
        const int field = 数据源1->fieldOfColumn(cell.column());
        if (field < 0) {
            continue;
        }
        if (block.isEmpty()) {
            block = {cell.row(), field, cell.row(), field};
            continue;
        }
        block.top = std::min(block.top, cell.row());
        block.bottom = std::max(block.bottom, cell.row());
        block.left = std::min(block.left, field);
        block.right = std::max(block.right, field);
    }
    return block;
}

void ListEditorWindow::copyBlock(const Block& block)
{
    if (block.isEmpty()) {
        return;
    }
    text::TsvRows rows;
    for (int r = block.top; r <= block.bottom; ++r) {
        QStringList row;
        for (int f = block.left; f <= block.right; ++f) {
            row << 数据源1->data(数据源1->index(r, 数据源1->columnOfField(f))).toString();
        }
        rows << row;
    }
    QGuiApplication::clipboard()->setText(text::writeTsv(rows, u"\r\n"));
}

void ListEditorWindow::copy()
{
    finishEditing();
    copyBlock(selectedBlock());
}

void ListEditorWindow::cut()
{
    finishEditing();
    const Block block = selectedBlock();
    if (block.isEmpty()) {
        return;
    }
    copyBlock(block);
    // The cells are emptied; the records stay.
    QList<CellWrite> cells;
    for (int r = block.top; r <= block.bottom; ++r) {
        for (int f = block.left; f <= block.right; ++f) {
            cells.append({r, f, QString()});
        }
    }
    数据源1->writeBlock(cells, {});
}

void ListEditorWindow::paste()
{
    finishEditing();
    if (!数据源1) {
        return;
    }
    const text::TsvRows block = text::parseTsv(QGuiApplication::clipboard()->text());
    if (block.isEmpty()) {
        return;
    }
    // At the current cell; with no current cell (an empty grid) the block becomes new records at the end.
    const QModelIndex current = 表格->currentIndex();
    const int field = current.isValid() ? std::max(0, 数据源1->fieldOfColumn(current.column())) : 0;
    const int top = current.isValid() ? current.row() : 数据源1->rowCount();
    const int existing = 数据源1->rowCount();

    QList<CellWrite> cells;
    QList<QStringList> newRecords;
    int right = field;
    for (qsizetype i = 0; i < block.size(); ++i) {
        const int row = top + static_cast<int>(i);
        QStringList record(static_cast<qsizetype>(store::kFieldCount), QString());
        for (qsizetype j = 0; j < block[i].size() && field + j < static_cast<qsizetype>(store::kFieldCount); ++j) {
            const int f = field + static_cast<int>(j);
            right = std::max(right, f);
            if (row < existing) {
                cells.append({row, f, block[i][j]});
            } else {
                record[f] = block[i][j];
            }
        }
        if (row >= existing) {
            newRecords << record;
        }
    }
    const int scroll = 表格->verticalScrollBar()->value();
    if (!数据源1->writeBlock(cells, newRecords)) {
        return;
    }
    // The pasted block is left selected, its first cell current.
    setCurrentCell(top, field);
    const int bottom = std::min(top + static_cast<int>(block.size()) - 1, 数据源1->rowCount() - 1);
    QItemSelection pasted;
    for (int f = field; f <= right; ++f) {
        const int column = 数据源1->columnOfField(f);
        pasted.select(数据源1->index(top, column), 数据源1->index(bottom, column));
    }
    表格->selectionModel()->select(pasted, QItemSelectionModel::ClearAndSelect);
    if (newRecords.isEmpty()) {
        表格->verticalScrollBar()->setValue(scroll);
    }
}

void ListEditorWindow::addRecord()
{
    finishEditing();
    if (!数据源1) {
        return;
    }
    const int row = 数据源1->appendEmpty();
    if (row >= 0) {
        setCurrentCell(row, 0);
    }
}

void ListEditorWindow::deleteRecords()
{
    finishEditing();
    if (!数据源1) {
        return;
    }
    // Exactly the rows that hold a selected cell (or the current row); each record is removed by its key.
    QSet<int> rowSet;
    for (const QModelIndex& cell : 表格->selectionModel()->selectedIndexes()) {
        rowSet.insert(cell.row());
    }
    const QModelIndex current = 表格->currentIndex();
    if (rowSet.isEmpty() && current.isValid()) {
        rowSet.insert(current.row());
    }
    if (rowSet.isEmpty()) {
        return;
    }
    QList<int> rows(rowSet.begin(), rowSet.end());
    std::ranges::sort(rows);
    const int field = current.isValid() ? std::max(0, 数据源1->fieldOfColumn(current.column())) : 0;
    const int scroll = 表格->verticalScrollBar()->value();
    if (数据源1->removeRecords(rows)) {
        setCurrentCell(rows.front(), field);
        表格->verticalScrollBar()->setValue(scroll);
    }
}

void ListEditorWindow::setZoom(int percent)
{
    for (std::size_t i = 0; i < kZoomLevels.size(); ++i) {
        m_zoomActions[i]->setChecked(kZoomLevels[i] == percent);
    }
    m_zoom = percent;
    QFont font = m_baseFont;
    if (m_baseFont.pointSizeF() > 0) {
        font.setPointSizeF(m_baseFont.pointSizeF() * percent / 100.0);
    } else {
        font.setPixelSize(std::max(1, m_baseFont.pixelSize() * percent / 100));
    }
    表格->setFont(font);
    QHeaderView* rows = 表格->verticalHeader();
    const int height = std::max(1, m_baseRowHeight * percent / 100);
    rows->setMinimumSectionSize(std::min(rows->minimumSectionSize(), height));
    rows->setDefaultSectionSize(height);
    if (数据源1) {
        for (std::size_t f = 0; f < store::kFieldCount; ++f) {
            表格->setColumnWidth(数据源1->columnOfField(f),
                                 m_baseColumnWidths[static_cast<std::size_t>(f)] * percent / 100);
        }
    }
}

void ListEditorWindow::importFromSpreadsheet()
{
    if (!m_importOpener) {
        return;
    }
    finishEditing();
    const QPointer<QWidget> importWindow = m_importOpener();
    close();
    // The user is left facing the import window, in front of the main window.
    if (importWindow) {
        importWindow->show();
        importWindow->raise();
        importWindow->activateWindow();
    }
}

void ListEditorWindow::about()
{
    finishEditing();
    help::HelpWindow::showModal(this);
}

void ListEditorWindow::reload()
{
    finishEditing();
    if (!数据源1) {
        return;
    }
    const QModelIndex current = 表格->currentIndex();
    const int field = current.isValid() ? std::max(0, 数据源1->fieldOfColumn(current.column())) : 0;
    reselect(current.isValid() ? current.row() : 0, field);
}

void ListEditorWindow::reselect(int row, int field)
{
    const int scroll = 表格->verticalScrollBar()->value();
    if (!数据源1->selectAll()) {
        showFailure(数据源1->lastError().text());
    }
    m_seenDataVersion = 数据源1->dataVersion();
    setCurrentCell(row, field);
    表格->verticalScrollBar()->setValue(scroll);
}

void ListEditorWindow::setCurrentCell(int row, int field)
{
    const int count = 数据源1->rowCount();
    if (count == 0) {
        return;
    }
    const QModelIndex cell = 数据源1->index(std::clamp(row, 0, count - 1), 数据源1->columnOfField(field));
    表格->setCurrentIndex(cell);
    表格->scrollTo(cell);
}

void ListEditorWindow::followOtherWriters()
{
    // Records added or changed behind the grid's back (the main window's entry form, an import) show up when the
    // user comes back to the list editor.
    if (!数据源1 || 表格->indexWidget(表格->currentIndex())) {
        return;
    }
    const qint64 version = 数据源1->dataVersion();
    if (version != m_seenDataVersion) {
        reload();
    }
}

bool ListEditorWindow::event(QEvent* event)
{
    if (event->type() == QEvent::WindowActivate) {
        followOtherWriters();
    }
    return QMainWindow::event(event);
}

void ListEditorWindow::closeEvent(QCloseEvent* event)
{
    finishEditing();
    QMainWindow::closeEvent(event);
    if (event->isAccepted() && !m_closedEmitted) {
        m_closedEmitted = true;
        emit closed();
    }
}

} // namespace telvane::editor
