#include "editor/list_editor_window.h"

#include "contacts/duplicates.h"
#include "contacts/writers.h"
#include "editor/grid_rules.h"
#include "editor/record_table_model.h"
#include "help/help_window.h"
#include "query/phonetic.h"
#include "resources/pictures.h"
#include "store/auto_backup.h"
#include "store/scan.h"
#include "text/tsv.h"
#include "widgets/byte_line_edit.h"
#include "widgets/field_edit.h"

#include <QAction>
#include <QActionGroup>
#include <QApplication>
#include <QClipboard>
#include <QCloseEvent>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QHeaderView>
#include <QItemSelection>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QPointer>
#include <QResizeEvent>
#include <QSaveFile>
#include <QScrollBar>
#include <QSet>
#include <QStatusBar>
#include <QStyle>
#include <QStyledItemDelegate>
#include <QTableView>
#include <QVBoxLayout>

#include <algorithm>

using namespace Qt::StringLiterals;

namespace telvane::editor {

namespace {

constexpr std::array<int, 3> kZoomLevels {100, 90, 80};
// At 100 %: the room above and below a line of text in a row, and beside it in a cell beyond the style's margins.
constexpr int kRowPadding = 8;
constexpr int kCellAir = 4;
// A deletion of more records than this is preceded by a backup of the store.
constexpr std::size_t kBackupBeforeDeleting = 100;

// Cells are edited in a line box that takes no more GB18030 bytes than the field holds.
class CellDelegate : public QStyledItemDelegate
{
public:
    using QStyledItemDelegate::QStyledItemDelegate;

    QWidget* createEditor(QWidget* parent, const QStyleOptionViewItem&, const QModelIndex& index) const override
    {
        const auto field = static_cast<std::size_t>(index.column());
        auto* editor = new widgets::ByteLimitedLineEdit(static_cast<int>(store::kFields[field].width), parent);
        widgets::limitToField(editor, field);
        editor->setFrame(false);
        return editor;
    }
};

} // namespace

ListEditorWindow::ListEditorWindow(const QString& storePath, QWidget* parent)
    : QMainWindow(parent)
    , m_storePath(storePath)
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
    表格->setAccessibleName(u"电话簿记录"_s);
    layout->addWidget(表格);
    setCentralWidget(client);

    // The text controls' face at the desktop's size: its half-width digits and letters let a whole record fit the
    // window's width.
    m_baseFont = 表格->font();
    m_baseFont.setFamily(u"宋体"_s);
    // The columns share the grid's width: laid out again whenever it changes (the window, the scroll bar, the row
    // numbers' width).
    表格->viewport()->installEventFilter(this);

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
    // The model reads the provider: it goes first, then the connection.
    表格->setModel(nullptr);
    delete 数据源1;
    数据源1 = nullptr;
    数据库提供者1.close();
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
    addItem(file, u"导出通讯录(vCard)…"_s, QKeySequence(), [this] { exportVCards(); });
    file->addSeparator();
    addItem(file, u"退出(&X)"_s, QKeySequence(Qt::CTRL | Qt::Key_Q), [this] { close(); });

    m_editMenu = menuBar()->addMenu(u"编辑(&E)"_s);
    m_undoAction = addItem(m_editMenu, u"撤销(&U)"_s, QKeySequence(Qt::CTRL | Qt::Key_Z), &ListEditorWindow::undo);
    m_undoAction->setEnabled(false);
    addItem(m_editMenu, u"剪切(&T)"_s, QKeySequence(Qt::CTRL | Qt::Key_X), &ListEditorWindow::cut);
    addItem(m_editMenu, u"复制(&C)"_s, QKeySequence(Qt::CTRL | Qt::Key_C), &ListEditorWindow::copy);
    addItem(m_editMenu, u"粘贴(&V)"_s, QKeySequence(Qt::CTRL | Qt::Key_V), &ListEditorWindow::paste);
    m_editMenu->addSeparator();
    addItem(m_editMenu, u"增加记录(&A)"_s, QKeySequence(Qt::CTRL | Qt::Key_A), &ListEditorWindow::addRecord);
    addItem(m_editMenu, u"删除记录(&D)"_s, QKeySequence(Qt::CTRL | Qt::Key_D), &ListEditorWindow::deleteRecords);
    m_editMenu->addSeparator();
    addItem(m_editMenu, u"查找重复(&R)"_s, QKeySequence(), &ListEditorWindow::findDuplicates);

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
    QString reason;
    if (!数据库提供者1.open(m_storePath, &reason)) {
        showFailure(reason);
        return;
    }
    数据源1 = new RecordTableModel(数据库提供者1, this);
    数据源1->setObjectName(u"数据源1"_s);
    connect(数据源1, &RecordTableModel::writeFailed, this, &ListEditorWindow::showFailure);
    connect(数据源1, &RecordTableModel::notice, this, [this](const QString& text) { statusBar()->showMessage(text); });
    connect(数据源1, &RecordTableModel::undoAvailable, m_undoAction, &QAction::setEnabled);

    表格->setModel(数据源1);
    // Whenever the rows are read again (another program wrote, a write was refused), the record that was current
    // stays current where it still is as it was. One that changed meanwhile is not made current: the next command
    // must not act on a record the user has not seen.
    // Taken before the table reads anything again: the rows are still numbered as the grid shows them.
    connect(数据源1, &RecordTableModel::aboutToWrite, this, [this] {
        const QModelIndex current = 表格->currentIndex();
        m_kept = {};
        if (current.isValid()) {
            m_kept = {数据源1->idAt(current.row()), current.column(), 表格->verticalScrollBar()->value(),
                      数据源1->recordAt(current.row())};
        }
    });
    connect(数据源1, &QAbstractItemModel::modelReset, this, [this] {
        const int row = m_kept.id >= 0 ? 数据源1->rowOf(m_kept.id) : -1;
        if (row >= 0 && 数据源1->recordAt(row) == m_kept.texts) {
            表格->setCurrentIndex(数据源1->index(row, m_kept.field));
            表格->verticalScrollBar()->setValue(m_kept.scroll);
        } else {
            // No current cell: the grid would otherwise make its first cell current when it takes the focus back
            // from a closing cell editor, and Ctrl+D would delete a record nobody chose.
            表格->setCurrentIndex(QModelIndex());
        }
        m_kept = {};
    });
    m_delegate = new CellDelegate(this);
    表格->setItemDelegate(m_delegate);
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

void ListEditorWindow::copyBlock(const CellBlock& block)
{
    if (block.isEmpty()) {
        return;
    }
    text::TsvRows rows;
    for (int r = block.top; r <= block.bottom; ++r) {
        QStringList row;
        for (int f = block.left; f <= block.right; ++f) {
            row << 数据源1->data(数据源1->index(r, f)).toString();
        }
        rows << row;
    }
    QGuiApplication::clipboard()->setText(text::writeTsv(rows, u"\r\n"));
}

namespace {

const QString kScattered = u"选定的单元格不连成一个矩形区域，无法剪切或复制。请选定一块连续的单元格"_s;

} // namespace

void ListEditorWindow::undo()
{
    finishEditing();
    if (!数据源1) {
        return;
    }
    const QModelIndex current = 表格->currentIndex();
    std::vector<int> rows;
    if (数据源1->undo(&rows)) {
        setCurrentCell(rows.empty() ? current.row() : rows.front(), current.isValid() ? current.column() : 0);
    }
}

void ListEditorWindow::copy()
{
    finishEditing();
    bool scattered = false;
    const CellBlock block = selectedBlock(表格->selectionModel()->selection(), 表格->currentIndex(), &scattered);
    if (scattered) {
        statusBar()->showMessage(kScattered);
        return;
    }
    copyBlock(block);
}

void ListEditorWindow::cut()
{
    finishEditing();
    bool scattered = false;
    const CellBlock block = selectedBlock(表格->selectionModel()->selection(), 表格->currentIndex(), &scattered);
    if (scattered) {
        statusBar()->showMessage(kScattered);
        return;
    }
    if (block.isEmpty()) {
        return;
    }
    copyBlock(block);
    // The cells are emptied; the records stay.
    数据源1->writeBlock(emptiedCells(block), {});
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
    const int field = current.isValid() ? current.column() : 0;
    const int existing = 数据源1->rowCount();
    const int top = current.isValid() ? current.row() : existing;

    const PastePlan plan = planPaste(block, top, field, existing);
    const int scroll = 表格->verticalScrollBar()->value();
    statusBar()->clearMessage();
    if (!数据源1->writeBlock(plan.cells, plan.newRecords)) {
        return;
    }
    // The rows the paste wrote are left selected, and nothing else: records another program added meanwhile may
    // stand between them.
    const std::vector<int> written = 数据源1->lastWrittenRows();
    const int first = written.empty() ? std::min(top, 数据源1->rowCount() - 1) : written.front();
    if (plan.newRecords.empty()) {
        setCurrentCell(first, field);
    } else {
        showRows(first, written.empty() ? first : written.back(), field);
    }
    QItemSelection selection;
    for (const int row : written) {
        selection.select(数据源1->index(row, field), 数据源1->index(row, plan.right));
    }
    表格->selectionModel()->select(selection, QItemSelectionModel::ClearAndSelect);
    if (plan.newRecords.empty()) {
        表格->verticalScrollBar()->setValue(scroll);
    }
    if (plan.droppedColumns > 0) {
        const QString said = statusBar()->currentMessage();
        const QString drop = u"粘贴的内容超出了最后一列（小灵通），右边的%1列没有粘贴"_s.arg(plan.droppedColumns);
        statusBar()->showMessage(said.isEmpty() ? drop : said + u"；"_s + drop);
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
    const QModelIndex current = 表格->currentIndex();
    const std::vector<int> rows = selectedRows(表格->selectionModel()->selection(), current);
    if (rows.empty()) {
        return;
    }
    const int field = current.isValid() ? current.column() : 0;
    const int scroll = 表格->verticalScrollBar()->value();
    if (rows.size() > kBackupBeforeDeleting) {
        // Undo takes a deletion back while the window is open; the backup keeps the records also after that.
        const store::BackupResult backup = store::backupBeforeWrite(m_storePath, store::BackupReason::BeforeDeletion);
        if (!backup.warning.isEmpty()) {
            statusBar()->showMessage(backup.warning);
        }
    }
    if (数据源1->removeRecords(rows)) {
        setCurrentCell(rows.front(), field);
        表格->verticalScrollBar()->setValue(scroll);
    }
}

int ListEditorWindow::findDuplicates()
{
    finishEditing();
    if (!数据源1) {
        return 0;
    }
    refresh(false);
    // One pass over the file, in the grid's order (both go by key); records that another program added after the
    // grid last read the file count as earlier records only.
    contacts::DuplicateIndex index;
    std::vector<int> rows;
    QString error;
    store::Scan scan;
    const bool read = store::scanStore(
        m_storePath,
        [&](std::int64_t id, const store::FieldViews& fields) {
            if (index.findAndAdd(fields) != contacts::DuplicateIndex::npos) {
                if (const int row = 数据源1->rowOf(id); row >= 0) {
                    rows.push_back(row);
                }
            }
            return true;
        },
        &scan, &error);
    if (!read) {
        showFailure(error);
        return 0;
    }
    QItemSelection selection;
    for (std::size_t i = 0; i < rows.size();) {
        std::size_t j = i;
        while (j + 1 < rows.size() && rows[j + 1] == rows[j] + 1) {
            ++j;
        }
        selection.select(数据源1->index(rows[i], 0), 数据源1->index(rows[j], 数据源1->columnCount() - 1));
        i = j + 1;
    }
    if (rows.empty()) {
        statusBar()->showMessage(u"没有重复的记录"_s);
        return 0;
    }
    表格->setCurrentIndex(数据源1->index(rows.front(), 0));
    表格->selectionModel()->select(selection, QItemSelectionModel::ClearAndSelect);
    表格->scrollTo(数据源1->index(rows.front(), 0));
    statusBar()->showMessage(
        u"找到%1条与前面的记录重复的记录（手机相同，或姓名相同且有一个电话相同），已选定；按Ctrl+D可删除，可撤销"_s.arg(
            rows.size()));
    return static_cast<int>(rows.size());
}

bool ListEditorWindow::exportVCards(QString path)
{
    finishEditing();
    if (!数据源1) {
        return false;
    }
    const QModelIndexList chosen = 表格->selectionModel()->selectedRows();
    if (path.isEmpty()) {
        path = QFileDialog::getSaveFileName(this, u"导出通讯录(vCard)"_s,
                                            QDir(QFileInfo(m_storePath).absolutePath()).filePath(u"通讯录.vcf"_s),
                                            u"vCard 通讯录 (*.vcf)"_s);
        if (path.isEmpty()) {
            return false;
        }
    }
    QByteArray out;
    qsizetype cards = 0;
    bool read = true;
    QString error;
    if (!chosen.isEmpty()) {
        std::vector<int> rows;
        for (const QModelIndex& index : chosen) {
            rows.push_back(index.row());
        }
        std::sort(rows.begin(), rows.end());
        for (const int row : rows) {
            cards += contacts::appendVCard(out, 数据源1->recordAt(row), query::phoneticReading) ? 1 : 0;
        }
    } else {
        store::RecordTexts texts;
        store::Scan scan;
        read = store::scanStore(
            m_storePath,
            [&](std::int64_t, const store::FieldViews& fields) {
                for (std::size_t k = 0; k < store::kFieldCount; ++k) {
                    texts[k] = QString::fromUtf8(fields[k].data(), static_cast<qsizetype>(fields[k].size()));
                }
                cards += contacts::appendVCard(out, texts, query::phoneticReading) ? 1 : 0;
                return true;
            },
            &scan, &error, store::Encoding::Utf8);
    }
    QSaveFile file(path);
    const bool written = read && file.open(QIODevice::WriteOnly) && file.write(out) == out.size() && file.commit();
    if (!written) {
        if (read) {
            error = file.errorString();
        }
        QMessageBox::warning(this, u"导出通讯录"_s, u"未能导出到 %1：%2"_s.arg(QDir::toNativeSeparators(path), error));
        return false;
    }
    statusBar()->showMessage(
        u"已将%1条记录导出到 %2，可在手机的通讯录中导入"_s.arg(cards).arg(QDir::toNativeSeparators(path)));
    return true;
}

void ListEditorWindow::setZoom(int percent)
{
    for (std::size_t i = 0; i < kZoomLevels.size(); ++i) {
        m_zoomActions[i]->setChecked(kZoomLevels[i] == percent);
    }
    m_zoom = percent;
    // Text, row heights, cell padding and column widths together, each measured in the font at this size: hinted
    // glyphs do not shrink in proportion, so widths scaled from 100 % would cut numbers short.
    QFont font = m_baseFont;
    if (m_baseFont.pointSizeF() > 0) {
        font.setPointSizeF(m_baseFont.pointSizeF() * percent / 100.0);
    } else {
        font.setPixelSize(std::max(1, m_baseFont.pixelSize() * percent / 100));
    }
    // The captions and record numbers too: a header's font is its own (the desktop may set one for headers).
    表格->setFont(font);
    表格->horizontalHeader()->setFont(font);
    表格->verticalHeader()->setFont(font);
    QHeaderView* rows = 表格->verticalHeader();
    const int height = QFontMetrics(font).height() + scaled(kRowPadding);
    rows->setMinimumSectionSize(std::min(rows->minimumSectionSize(), height));
    rows->setDefaultSectionSize(height);
    layOutColumns();
    // The current cell stays in sight.
    表格->doItemsLayout();
    if (表格->currentIndex().isValid()) {
        表格->scrollTo(表格->currentIndex());
    }
}

int ListEditorWindow::scaled(int pixels) const
{
    return (pixels * m_zoom + 50) / 100;
}

void ListEditorWindow::layOutColumns()
{
    if (!数据源1) {
        return;
    }
    // A column is as wide as a full field of typical text, with the style's margins and a little air, and never
    // narrower than its caption: the name five characters, the numbers all their digits. The unit gets its twelve
    // characters and the remark what is left; room beyond both is shared in proportion.
    const QFontMetrics metrics(表格->font());
    const int cellMargins = 2 * (表格->style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, 表格) + 1);
    const int captionMargins = 2 * 表格->style()->pixelMetric(QStyle::PM_HeaderMargin, nullptr, 表格);
    std::array<int, store::kFieldCount> need {};
    std::array<int, store::kFieldCount> least {};
    for (std::size_t f = 0; f < store::kFieldCount; ++f) {
        const store::FieldInfo& field = store::kFields[f];
        const auto bytes = static_cast<qsizetype>(field.width);
        const QString typical = field.tidy == store::TidyRule::Phone ? QString(bytes, u'0') : QString(bytes / 2, u'国');
        const QString caption = 数据源1->headerData(static_cast<int>(f), Qt::Horizontal).toString();
        least[f] = std::max(metrics.horizontalAdvance(caption) + captionMargins, cellMargins);
        need[f] = std::max(metrics.horizontalAdvance(typical) + cellMargins + scaled(kCellAir), least[f]);
    }
    std::array<int, store::kFieldCount> width = need;
    const int available = 表格->viewport()->width() * m_zoom / 100;
    int rest = available;
    for (std::size_t f = 0; f < store::kFieldCount; ++f) {
        if (f != store::kUnit && f != store::kRemark) {
            rest -= need[f];
        }
    }
    const int unit = need[store::kUnit];
    const int remark = need[store::kRemark];
    if (rest >= unit + remark) {
        width[store::kUnit] = unit + (rest - unit - remark) * unit / (unit + remark);
    } else if (rest >= unit + least[store::kRemark]) {
        width[store::kUnit] = unit;
    } else {
        width[store::kUnit] = std::max(least[store::kUnit], rest * unit / (unit + remark));
    }
    width[store::kRemark] = std::max(least[store::kRemark], rest - width[store::kUnit]);
    for (std::size_t f = 0; f < store::kFieldCount; ++f) {
        表格->setColumnWidth(static_cast<int>(f), width[f]);
    }
}

bool ListEditorWindow::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == 表格->viewport() && event->type() == QEvent::Resize) {
        const auto* resize = static_cast<QResizeEvent*>(event);
        if (resize->size().width() != resize->oldSize().width()) {
            layOutColumns();
        }
    }
    return QMainWindow::eventFilter(watched, event);
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
    refresh(true);
}

void ListEditorWindow::refresh(bool showAppended)
{
    finishEditing();
    if (!数据源1) {
        return;
    }
    const int count = 数据源1->rowCount();
    const std::int64_t lastId = count > 0 ? 数据源1->idAt(count - 1) : 0;
    const QModelIndex current = 表格->currentIndex();
    const int field = current.isValid() ? current.column() : 0;
    if (!reselect(current.isValid() ? current.row() : 0, field) || !showAppended) {
        return;
    }
    // Records are numbered in the order of their ids: those appended since the last look come after lastId.
    int first = 0;
    int end = 数据源1->rowCount();
    while (first < end) {
        const int middle = first + (end - first) / 2;
        if (数据源1->idAt(middle) > lastId) {
            end = middle;
        } else {
            first = middle + 1;
        }
    }
    if (first < 数据源1->rowCount()) {
        showRows(first, 数据源1->rowCount() - 1, field);
    }
}

void ListEditorWindow::showRecordsFrom(int row)
{
    if (数据源1 && row >= 0 && row < 数据源1->rowCount()) {
        showRows(row, 数据源1->rowCount() - 1, 0);
    }
}

bool ListEditorWindow::reselect(int row, int field)
{
    // The current record stays current when it is still there.
    const std::int64_t id = row < 数据源1->rowCount() ? 数据源1->idAt(row) : -1;
    const int scroll = 表格->verticalScrollBar()->value();
    if (!数据源1->followOtherWriters()) {
        return false;
    }
    const int again = id >= 0 ? 数据源1->rowOf(id) : -1;
    setCurrentCell(again >= 0 ? again : row, field);
    表格->verticalScrollBar()->setValue(scroll);
    return true;
}

void ListEditorWindow::showRows(int first, int last, int field)
{
    // The grid learns of the new rows before it scrolls to them.
    表格->doItemsLayout();
    setCurrentCell(first, field);
    表格->scrollTo(数据源1->index(std::min(last, 数据源1->rowCount() - 1), field));
    表格->scrollTo(表格->currentIndex());
}

void ListEditorWindow::setCurrentCell(int row, int field)
{
    const int count = 数据源1->rowCount();
    if (count == 0) {
        return;
    }
    const QModelIndex cell = 数据源1->index(std::clamp(row, 0, count - 1), field);
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
    refresh(false);
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
