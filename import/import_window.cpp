#include "import/import_window.h"

#include "contacts/contact_list.h"
#include "contacts/duplicates.h"
#include "import/bulk_import.h"
#include "import/paste_block.h"
#include "import/paste_box.h"
#include "import/tidy.h"
#include "resources/pictures.h"
#include "store/auto_backup.h"
#include "store/directory_store.h"
#include "store/fields.h"
#include "text/gbk.h"
#include "widgets/explanation_label.h"
#include "widgets/fonts.h"
#include "widgets/two_line_button.h"

#include <QAction>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileDialog>
#include <QFileInfo>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QMessageBox>
#include <QMimeData>
#include <QResizeEvent>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QThread>
#include <QtConcurrent>

using namespace Qt::StringLiterals;

namespace telvane::import {

namespace {

constexpr int kWindowWidth = 799;
constexpr int kMinimumHeight = 300;

struct ColumnPlace
{
    int left;
    int width;
};
// Where each field's column stands, from left to right.
constexpr ColumnPlace kPlaces[] {{3, 80}, {85, 139}, {226, 175}, {403, 98}, {503, 98}, {603, 86}, {691, 98}};
static_assert(std::size(kPlaces) == store::kFieldCount, "every field has its column in the window");
constexpr int kColumns = static_cast<int>(store::kFieldCount);

QString utf8(std::string_view text)
{
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

// The first form of the instruction, shown when the window opens.
const QString kInstruction =
    u"  请将“电子表格”中某一列数据选定并复制，然后粘贴到本窗口对应输入框中。当各列内容都逐个粘贴到对应"
    u"输入框后，请点击“整理数据”按钮。数据整理之后即可将内容导入数据库中。"_s;
// The second form, written whenever the window returns to the Entering state.
const QString kInstructionAgain =
    u"  请将`电子表格'中某一列数据选定并复制，然后粘贴到本窗口对应输入框中。当各列内容都逐个粘贴到对应"
    u"输入框后，请点击`整理数据'按钮。数据整理之后即可将内容导入数据库中。"_s;

// A paste box's text as GBK bytes, from its document's raw text: each paragraph break is a CR LF. A soft line break
// inside a paragraph is no row of its own and reads as a space, as does a no-break space; a plain text box holds no
// frame markers, but none would pass.
std::string boxTextToGbk(QString raw)
{
    raw.replace(QChar(QChar::ParagraphSeparator), u"\r\n"_s);
    raw.replace(QChar(QChar::LineSeparator), u' ');
    raw.replace(QChar(QChar::Nbsp), u' ');
    raw.remove(QChar(0xFDD0));
    raw.remove(QChar(0xFDD1));
    return text::toGbk(raw);
}

QLabel* makeLabel(QWidget* parent, const QString& name, const QString& caption, int pixelHeight)
{
    auto* label = new QLabel(caption, parent);
    label->setObjectName(name);
    label->setFont(widgets::songti(pixelHeight));
    label->setTextFormat(Qt::PlainText);
    return label;
}

} // namespace

ImportWindow::ImportWindow(store::DirectoryStore& store, QWidget* parent)
    : QDialog(parent)
    , m_store(store)
{
    setWindowTitle(u"批量导入Excel内容"_s);
    setWindowIcon(resources::listIcon());

    说明标签 = new widgets::ExplanationLabel(this);
    说明标签->setObjectName(u"说明标签"_s);
    说明标签->setFont(widgets::songti(16));
    说明标签->setTextFormat(Qt::PlainText);
    说明标签->setWordWrap(true);
    说明标签->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    setExplanation(kInstruction);

    整理按钮 = new widgets::TwoLineButton(u"整理\n数据"_s, this);
    整理按钮->setObjectName(u"整理按钮"_s);
    导入按钮 = new widgets::TwoLineButton(u"导入\n数据"_s, this);
    导入按钮->setObjectName(u"导入按钮"_s);
    for (QPushButton* button : {static_cast<QPushButton*>(整理按钮), static_cast<QPushButton*>(导入按钮)}) {
        button->setFont(widgets::songti(15));
        // Return in a box or on a button must not run a command the user did not click.
        button->setAutoDefault(false);
        button->setDefault(false);
    }

    for (int k = 1; k <= kColumns; ++k) {
        const auto i = static_cast<std::size_t>(k - 1);
        // What a screen reader calls each box: the words of its caption, without the width.
        const QString name = utf8(store::kFields[i].importName);
        const QString limit = utf8(store::kFields[i].importLimit);
        m_captions[i] = makeLabel(this, u"标签上%1"_s.arg(k), name + u' ' + limit, 12);
        m_counters[i] = makeLabel(this, u"标签下%1"_s.arg(k), u"共有0行"_s, 12);

        auto* box = new PasteBox(this);
        box->setObjectName(u"编辑框%1"_s.arg(k));
        box->setAccessibleName(name);
        box->setAccessibleDescription(limit);
        m_captions[i]->setBuddy(box);
        box->setFont(widgets::songti(12));
        // One spreadsheet cell per line: wrapping would make one cell look like several rows.
        box->setLineWrapMode(QPlainTextEdit::NoWrap);
        box->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
        box->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
        box->setTabChangesFocus(true);
        QPalette palette = box->palette();
        for (const auto group : {QPalette::Active, QPalette::Inactive, QPalette::Disabled}) {
            palette.setColor(group, QPalette::Base, Qt::white);
        }
        box->setPalette(palette);
        box->setPasteHandler([this, k](const QString& text) { return pasteBlock(k, text); });
        m_boxes[i] = box;
        box->viewport()->installEventFilter(this);
        connect(box, &QPlainTextEdit::textChanged, this, [this, k] { updateCounter(k); });
    }

    connect(整理按钮, &QPushButton::clicked, this, [this] { tidyCommand(); });
    // Contacts from a file: Ctrl+O asks for it, or it is dropped on the window.
    auto* open = new QAction(u"打开通讯录文件"_s, this);
    open->setShortcut(QKeySequence::Open);
    open->setShortcutContext(Qt::WindowShortcut);
    addAction(open);
    connect(open, &QAction::triggered, this, [this] { openContactsFile(); });
    connect(&m_loading, &QFutureWatcher<LoadedFile>::finished, this, [this] { contactsFileRead(); });
    setAcceptDrops(true);
    connect(导入按钮, &QPushButton::clicked, this, [this] { bulkImport(); });
    for (std::size_t i = 0; i < store::kFieldCount; ++i) {
        connect(&m_tidyTasks[i], &QFutureWatcher<void>::finished, this, [this, i] {
            m_readyColumns.push_back(static_cast<int>(i));
            m_tidyStep.start();
        });
    }
    // The tasks have a pool of their own: Qt's painting spreads large fills over the global pool and waits for
    // them, so tasks there would hold up every repaint of the window until they end.
    m_workers.setMaxThreadCount(std::max(QThread::idealThreadCount(), 2));
    m_tidyStep.setInterval(0);
    connect(&m_tidyStep, &QTimer::timeout, this, [this] { tidyStep(); });

    // Designed at 799 x 405 at (50, 50); it opens 400 high. The width is fixed and 300 is the smallest height.
    move(50, 50);
    resize(kWindowWidth, 405);
    setFixedWidth(kWindowWidth);
    setMinimumHeight(kMinimumHeight);
    resize(kWindowWidth, 400);

    导入按钮->setEnabled(false);

    说明标签->setGeometry(3, 3, 675, 35);
    整理按钮->setGeometry(685, 3, 49, 35);
    导入按钮->setGeometry(739, 3, 49, 35);
    for (std::size_t i = 0; i < store::kFieldCount; ++i) {
        m_captions[i]->setGeometry(kPlaces[i].left, 41, kPlaces[i].width, 18);
        m_boxes[i]->setGeometry(kPlaces[i].left, 59, kPlaces[i].width, 294);
        m_counters[i]->setGeometry(kPlaces[i].left, 353, kPlaces[i].width, 18);
    }
    layOutBottom();
}

ImportWindow::~ImportWindow()
{
    // A tidy command still at work is abandoned; its tasks read only their own copies of the boxes' text.
    m_cancel = true;
    for (QFutureWatcher<void>& task : m_tidyTasks) {
        task.waitForFinished();
    }
    m_loading.waitForFinished();
}

std::string ImportWindow::columnText(int column) const
{
    const auto i = static_cast<std::size_t>(column - 1);
    if (m_flow.state() == ImportFlow::State::Tidied) {
        return m_tidied[i].gbk;
    }
    return boxTextToGbk(m_boxes[i]->document()->toRawText());
}

int ImportWindow::lineCount(int column) const
{
    // Counted from the document's blocks, not its text, so the count stays instant for a 10 MB paste.
    return m_boxes[static_cast<std::size_t>(column - 1)]->shownLineCount();
}

bool ImportWindow::pasteBlock(int column, const QString& text)
{
    if (!isSpreadsheetBlock(text)) {
        return false;
    }
    // A block goes in as whole lines, row r of the block on the same line of every box it reaches. The line is the
    // one of the cursor in the box pasted into, after the selection there is removed; when the cursor stands after
    // the start of a line, the block starts on the next line, so no line is split or joined.
    const QList<QStringList> columns = blockColumns(text);
    if (columns.isEmpty()) {
        return false;
    }
    QTextCursor cursor = m_boxes[static_cast<std::size_t>(column - 1)]->textCursor();
    cursor.beginEditBlock();
    cursor.removeSelectedText();
    const int line = cursor.blockNumber() + (cursor.positionInBlock() > 0 ? 1 : 0);
    insertColumns(column, columns, line, &cursor);
    return true;
}

void ImportWindow::insertColumns(int column, const QList<QStringList>& columns, int line, QTextCursor* pasteCursor)
{
    // Boxes to the right that are shorter get empty lines first; the lines at and below that line move down in every
    // box reached.
    const int room = kColumns + 1 - column;
    for (qsizetype c = 0; c < std::min<qsizetype>(columns.size(), room); ++c) {
        QPlainTextEdit* box = m_boxes[static_cast<std::size_t>(column - 1 + c)];
        // The box pasted into goes on with its own cursor, inside the edit that removed the selection, so that one
        // undo there takes the whole paste back.
        QTextCursor at = c == 0 && pasteCursor ? *pasteCursor : QTextCursor(box->document());
        if (c > 0 || !pasteCursor) {
            at.beginEditBlock();
        }
        const int blocks = box->document()->blockCount();
        if (blocks <= line) {
            at.movePosition(QTextCursor::End);
            at.insertText(QString(line - blocks + 1, u'\n'));
        }
        at.setPosition(box->document()->findBlockByNumber(line).position());
        at.insertText(columns[c].join(u'\n') + u'\n');
        at.endEditBlock();
        box->setTextCursor(at);
        box->ensureCursorVisible();
    }

    // Columns beyond the last box have nowhere to go; the user is told when any of them held text.
    qsizetype used = columns.size();
    while (used > room && std::all_of(columns[used - 1].begin(), columns[used - 1].end(), [](const QString& cell) {
               return cell.isEmpty();
           })) {
        --used;
    }
    if (used > room) {
        setExplanation(u"  粘贴的内容有%1列，从这一栏往右只放得下%2列，最右边的%3列已丢弃。"_s.arg(used).arg(room).arg(
            used - room));
    }
}

bool ImportWindow::readyForFile()
{
    if (m_flow.state() == ImportFlow::State::Tidied) {
        // The tidied boxes are not thrown away for a file: they are imported, or emptied by 重新输入, first.
        setExplanation(u"  整理好的数据尚未导入。请先点击“导入数据”，或点击“重新输入”清空各栏，再打开文件。"_s);
        return false;
    }
    return m_flow.state() == ImportFlow::State::Entering && !m_fileLoading;
}

void ImportWindow::openContactsFile()
{
    if (!readyForFile()) {
        return;
    }
    const QString path = QFileDialog::getOpenFileName(this, u"打开通讯录文件"_s, QString(),
                                                      u"通讯录文件 (*.vcf *.csv *.txt *.xlsx *.ods);;所有文件 (*)"_s);
    if (!path.isEmpty()) {
        loadContactsFile(path);
    }
}

void ImportWindow::loadContactsFile(const QString& path)
{
    if (!readyForFile()) {
        return;
    }
    m_fileLoading = true;
    for (PasteBox* box : m_boxes) {
        box->setEnabled(false);
    }
    整理按钮->setEnabled(false);
    setCursor(Qt::BusyCursor);
    setExplanation(u"  正在读取 %1 ……"_s.arg(QFileInfo(path).fileName()));
    // A spreadsheet of many thousand rows takes a while: the window goes on answering meanwhile.
    m_loading.setFuture(QtConcurrent::run(&m_workers, [path] {
        LoadedFile file;
        file.path = path;
        file.ok = contacts::readContactFile(path, &file.list, &file.error, &file.format);
        return file;
    }));
}

void ImportWindow::contactsFileRead()
{
    LoadedFile file = m_loading.result();
    m_fileLoading = false;
    unsetCursor();
    for (PasteBox* box : m_boxes) {
        box->setEnabled(true);
    }
    整理按钮->setEnabled(true);
    const QString name = QFileInfo(file.path).fileName();
    if (!file.ok) {
        setExplanation(kInstructionAgain);
        QMessageBox::warning(this, u"读取通讯录文件"_s, u"未能读取文件 %1：%2"_s.arg(name, file.error));
        return;
    }
    const contacts::ReadReport& r = file.list.report;
    int line = 0;
    for (int k = 1; k <= kColumns; ++k) {
        line = std::max(line, lineCount(k));
    }
    if (!file.list.records.isEmpty()) {
        insertColumns(1, contacts::toColumns(file.list.records), line, nullptr);
    }
    QString said = u"  已读入 %1：%2条记录"_s.arg(name).arg(file.list.records.size());
    if (file.format == contacts::ContactFormat::VCard || file.format == contacts::ContactFormat::Csv) {
        static const char16_t* const kEncodings[] = {u"UTF-8", u"UTF-8", u"UTF-16", u"UTF-16", u"GB18030"};
        said += u"（编码 %1）"_s.arg(QString::fromUtf16(kEncodings[static_cast<int>(r.encoding)]));
    }
    if (r.numbersElsewhere > 0) {
        said += u"，%1个号码放入了其他电话栏"_s.arg(r.numbersElsewhere);
    }
    if (r.numbersInRemark > 0) {
        said += u"，%1个号码并入了备注"_s.arg(r.numbersInRemark);
    }
    if (r.columnsIgnored > 0) {
        said += u"，%1列没有对应的栏目，已忽略"_s.arg(r.columnsIgnored);
    }
    if (r.skippedEmpty > 0) {
        said += u"，%1条空记录已略去"_s.arg(r.skippedEmpty);
    }
    setExplanation(said + u"。请点击“整理数据”。"_s);
}

namespace {

// The local file a drag carries, or empty text when it carries none (or several).
QString droppedFile(const QMimeData* data)
{
    if (!data || !data->hasUrls() || data->urls().size() != 1 || !data->urls().front().isLocalFile()) {
        return {};
    }
    return data->urls().front().toLocalFile();
}

} // namespace

void ImportWindow::dragEnterEvent(QDragEnterEvent* event)
{
    if (!droppedFile(event->mimeData()).isEmpty()) {
        event->acceptProposedAction();
    }
}

void ImportWindow::dropEvent(QDropEvent* event)
{
    if (const QString path = droppedFile(event->mimeData()); !path.isEmpty()) {
        event->acceptProposedAction();
        loadContactsFile(path);
    }
}

bool ImportWindow::eventFilter(QObject* watched, QEvent* event)
{
    // A file dropped on a box is read as a file, not put in as the text of its name.
    switch (event->type()) {
        case QEvent::DragEnter:
        case QEvent::DragMove:
        case QEvent::Drop: {
            auto* drop = static_cast<QDropEvent*>(event);
            if (droppedFile(drop->mimeData()).isEmpty()) {
                break;
            }
            if (event->type() == QEvent::Drop) {
                dropEvent(drop);
            } else {
                drop->acceptProposedAction();
            }
            return true;
        }
        default:
            break;
    }
    return QDialog::eventFilter(watched, event);
}

void ImportWindow::setExplanation(const QString& text)
{
    说明标签->setExplanation(text);
}

void ImportWindow::updateCounter(int column)
{
    m_counters[static_cast<std::size_t>(column - 1)]->setText(u"共有%1行"_s.arg(lineCount(column)));
}

void ImportWindow::keyPressEvent(QKeyEvent* event)
{
    // Escape does not close the window: one stray key would throw away columns pasted with care. The window closes
    // by its close button, and closing still discards the boxes without a question.
    if (event->key() == Qt::Key_Escape && event->modifiers() == Qt::NoModifier) {
        event->accept();
        return;
    }
    QDialog::keyPressEvent(event);
}

void ImportWindow::resizeEvent(QResizeEvent* event)
{
    QDialog::resizeEvent(event);
    if (width() != kWindowWidth || height() < kMinimumHeight) {
        resize(kWindowWidth, std::max(height(), kMinimumHeight));
        return; // the resize above comes back here with the corrected size
    }
    layOutBottom();
}

void ImportWindow::layOutBottom()
{
    // The boxes follow the bottom edge; the counters stand 21 pixels above it.
    const int h = height();
    for (std::size_t i = 0; i < store::kFieldCount; ++i) {
        m_boxes[i]->resize(m_boxes[i]->width(), h - 80);
        m_counters[i]->move(m_counters[i]->x(), h - 21);
    }
}

bool ImportWindow::anyLine() const
{
    for (int k = 1; k <= kColumns; ++k) {
        if (lineCount(k) > 0) {
            return true;
        }
    }
    return false;
}

void ImportWindow::tidyCommand()
{
    switch (m_flow.tidyClicked(anyLine())) {
        case ImportFlow::TidyStep::Nothing:
            break;
        case ImportFlow::TidyStep::EmptyHint:
            setExplanation(u"  提示：输入框中没有任何内容，请粘贴内容后再点击整理数据按钮。"_s);
            break;
        case ImportFlow::TidyStep::Tidy:
            startTidy();
            break;
        case ImportFlow::TidyStep::StartAgain:
            returnToEntering();
            break;
    }
}

void ImportWindow::startTidy()
{
    // The boxes take no input until their tidied text is in, and neither button starts anything meanwhile. Each box
    // is read at a turn of the event loop of its own (reading a big box takes a while) and tidied by a worker task
    // of its own; the box shows its tidied column as soon as that task is done.
    整理按钮->setEnabled(false);
    导入按钮->setEnabled(false);
    for (std::size_t i = 0; i < store::kFieldCount; ++i) {
        m_boxes[i]->setEnabled(false);
        m_tidied[i] = Tidied();
    }
    setCursor(Qt::BusyCursor);
    m_cancel = false;
    m_boxesRead = 0;
    m_boxesShown = 0;
    m_readyColumns.clear();
    m_tidyStep.start();
}

void ImportWindow::tidyStep()
{
    if (m_boxesRead < kColumns) {
        const auto i = static_cast<std::size_t>(m_boxesRead++);
        m_tidyTasks[i].setFuture(QtConcurrent::run(&m_workers, [this, i, raw = m_boxes[i]->document()->toRawText()] {
            if (m_cancel) {
                return;
            }
            Tidied& tidied = m_tidied[i];
            tidied.gbk = tidyColumn(static_cast<int>(i + 1), boxTextToGbk(raw), &tidied.counts);
            QString text = text::fromGbk(tidied.gbk);
            text.replace(u"\r\n"_s, u"\n"_s);
            tidied.column = PasteBox::makeColumn(std::move(text));
        }));
        return;
    }
    while (!m_readyColumns.empty()) {
        const auto i = static_cast<std::size_t>(m_readyColumns.front());
        m_readyColumns.pop_front();
        m_boxes[i]->showColumn(std::move(m_tidied[i].column));
        updateCounter(static_cast<int>(i + 1));
        ++m_boxesShown;
    }
    m_tidyStep.stop();
    if (m_flow.state() == ImportFlow::State::Tidying && m_boxesShown == kColumns) {
        finishTidy();
    }
}

void ImportWindow::finishTidy()
{
    m_flow.tidyFinished();
    unsetCursor();
    整理按钮->setEnabled(true);
    导入按钮->setEnabled(true);
    整理按钮->setCaption(u"重新输入"_s);
    QString explanation =
        u"  为了便于查询，已将超过每列最大列宽的字符丢弃。姓名与单位名中只保留汉字，字母与数字都会被去除。"
        u"办公电话、家庭电话、手机、小灵通都只保留数字。只有备注中保留各种字符。"_s;
    std::size_t cut = 0;
    for (const Tidied& tidied : m_tidied) {
        cut += tidied.counts.cut;
    }
    if (cut > 0) {
        explanation += u"其中%1行超过了列宽，超出的部分已截去。"_s.arg(cut);
    }
    setExplanation(explanation);
}

void ImportWindow::bulkImport()
{
    const ImportFlow::ImportStep step = m_flow.importClicked(anyLine());
    if (step == ImportFlow::ImportStep::EmptyHint) {
        setExplanation(u"请先将要导入的数据粘贴到对应区域内。"_s);
    }
    if (step != ImportFlow::ImportStep::Import) {
        return;
    }
    ColumnTexts columns;
    for (int k = 1; k <= kColumns; ++k) {
        columns[static_cast<std::size_t>(k - 1)] = columnText(k);
    }
    QGuiApplication::setOverrideCursor(Qt::WaitCursor);
    // The store as it was before the import, in the backup folder; a backup that cannot be made is said, and the
    // import goes on.
    const store::BackupResult backup = store::backupBeforeWrite(m_store.path(), store::BackupReason::BeforeImport);
    // Rows that repeat a stored record are counted (they are imported all the same: the list editor's 查找重复 finds
    // them); a store that cannot be read for it only leaves the count out.
    contacts::DuplicateIndex stored;
    QString error;
    const bool indexed = contacts::indexStoredRecords(m_store.path(), stored, &error);
    std::size_t repeats = 0;
    Importer importer(m_store);
    bool added = importer.begin(&error);
    if (added) {
        added = forEachRow(columns, [&](const RowCells& cells) {
            store::Record record = tidyRow(cells);
            contacts::FieldViews fields;
            std::copy(record.begin(), record.end(), fields.begin());
            if (indexed && stored.find(fields) != contacts::DuplicateIndex::npos) {
                ++repeats;
            }
            return importer.add(std::move(record), &error);
        });
    }
    added = added && importer.commit(&error);
    QGuiApplication::restoreOverrideCursor();
    if (!added) {
        importer.rollback();
        // All rows go in one transaction, so none of them was added: the tidied columns stay for another try.
        setExplanation(u"  未能导入，没有添加任何记录：%1"_s.arg(error));
        return;
    }
    m_flow.imported();
    returnToEntering();
    // The window starts a new batch with its instruction, unless there is something to say of the import.
    QString said;
    if (indexed && repeats > 0) {
        said +=
            u"已导入%1条记录，其中%2条与库中已有的记录重复（可在修改窗口用“查找重复”找出）。"_s.arg(importer.added())
                .arg(repeats);
    }
    if (!backup.warning.isEmpty()) {
        said += backup.warning + u"。"_s;
    }
    said += m_store.incompleteWarning();
    if (!said.isEmpty()) {
        setExplanation(u"  "_s + said);
    }
}

void ImportWindow::returnToEntering()
{
    for (PasteBox* box : m_boxes) {
        box->showOwnText();
        box->setEnabled(true);
        box->clear();
    }
    for (Tidied& tidied : m_tidied) {
        tidied = Tidied();
    }
    导入按钮->setEnabled(false);
    整理按钮->setCaption(u"整理数据"_s);
    setExplanation(kInstructionAgain);
}

void ImportWindow::done(int result)
{
    QDialog::done(result);
    if (m_flow.importDone()) {
        emit listEditorRequested();
    }
}

} // namespace telvane::import
