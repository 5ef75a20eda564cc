#include "app/main_window.h"

#include "resources/pictures.h"
#include "widgets/byte_line_edit.h"
#include "widgets/colours.h"
#include "widgets/field_edit.h"
#include "widgets/fonts.h"
#include "widgets/picture_button.h"
#include "widgets/query_box.h"
#include "widgets/text_fit.h"
#include "widgets/window_drag.h"

#include <QApplication>
#include <QCloseEvent>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QKeyEvent>
#include <QLabel>
#include <QMessageBox>
#include <QMouseEvent>
#include <QPainter>
#include <QSystemTrayIcon>
#include <QWindow>

#include <cerrno>
#include <fcntl.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace telvane::app {

namespace {

// The longest query the query box takes, in bytes.
constexpr int kQueryBytes = 14;
const QColor kLabelBlue {0, 96, 192};
const QColor kBoxGrey {236, 236, 236};
const QColor kYellow {255, 255, 0};
const QColor kRowBlue {193, 225, 255};

// The stripe colour of result row 1..5 when it is neither selected nor under the mouse.
QColor stripe(int row)
{
    return row % 2 == 1 ? kRowBlue : kBoxGrey;
}

// Empty: the program's own message box.
MessageSink& messageSink()
{
    static MessageSink sink;
    return sink;
}

} // namespace

MainWindow::MainWindow(const QString& folder, QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::FramelessWindowHint)
    , m_folder(folder)
    , m_directory(m_store)
    , m_queryMode(m_store, m_directory)
    , m_entryMode(m_store)
{
    setObjectName(u"MainWindow"_s);
    setWindowTitle(u"Quorvel v1.4"_s);
    setWindowIcon(resources::appIcon());
    setFixedSize(405, 210);
    move(50, 50);
    setMouseTracking(true);
    m_background = resources::picture(u"main_background");
    buildForm();
    connectEvents();
    widgets::makeDraggableByBackground(this);
}

MainWindow::~MainWindow()
{
    m_store.close();
}

void MainWindow::buildForm()
{
    auto label = [this](const QString& name, int x, int y, int w, int h, const QString& text, int px, const QColor& fg,
                        Qt::Alignment align = Qt::AlignLeft | Qt::AlignVCenter) {
        auto* l = new QLabel(text, this);
        l->setObjectName(name);
        l->setGeometry(x, y, w, h);
        l->setFont(widgets::songti(px));
        l->setAlignment(align);
        l->setFocusPolicy(Qt::NoFocus);
        widgets::setColours(l, Qt::white, fg);
        return l;
    };
    // A record box takes no more GB18030 bytes than its field holds.
    auto width = [](store::Field field) { return static_cast<int>(store::kFields[field].width); };
    auto edit = [this](const QString& name, int x, int y, int w, int h, int limit) {
        auto* e = new widgets::ByteLimitedLineEdit(limit, this);
        e->setObjectName(name);
        e->setGeometry(x, y, w, h);
        e->setFont(widgets::songti(16));
        widgets::letTextFillFrame(e);
        widgets::setColours(e, kBoxGrey, Qt::black);
        return e;
    };
    auto button = [this](const QString& name, int x, int y, int w, int h, QStringView base,
                         widgets::PictureButton::Kind kind) {
        const int states = kind == widgets::PictureButton::Kind::FourState ? 4 : 3;
        auto* b = new widgets::PictureButton(kind, resources::pictureStates(base, states), this);
        b->setObjectName(name);
        b->setGeometry(x, y, w, h);
        b->setToolTip(QString());
        return b;
    };
    using Kind = widgets::PictureButton::Kind;

    导入按钮 = button(u"导入按钮"_s, 318, 3, 28, 28, u"import", Kind::ThreeState);
    帮助按钮 = button(u"帮助按钮"_s, 346, 3, 28, 28, u"help", Kind::ThreeState);
    关闭按钮 = button(u"关闭按钮"_s, 374, 3, 28, 28, u"close", Kind::ThreeState);
    说明标签8 = label(u"说明标签8"_s, 4, 34, 25, 18, u"姓名"_s, 12, kLabelBlue);
    姓名框 = edit(u"姓名框"_s, 29, 34, 71, 18, width(store::kName));
    姓名框->setAlignment(Qt::AlignCenter);
    widgets::narrowTextToFit(姓名框);
    说明标签4 = label(u"说明标签4"_s, 104, 34, 25, 18, u"手机"_s, 12, kLabelBlue);
    手机框 = edit(u"手机框"_s, 129, 34, 91, 18, width(store::kMobile));
    说明标签3 = label(u"说明标签3"_s, 224, 34, 25, 18, u"宅电"_s, 12, kLabelBlue);
    家里框 = edit(u"家里框"_s, 249, 34, 107, 18, width(store::kHome));
    查询按钮 = button(u"查询按钮"_s, 358, 33, 44, 28, u"query", Kind::FourState);
    说明标签7 = label(u"说明标签7"_s, 4, 54, 25, 18, u"单位"_s, 12, kLabelBlue);
    单位框 = edit(u"单位框"_s, 29, 54, 168, 18, width(store::kUnit));
    widgets::narrowTextToFit(单位框);
    说明标签1 = label(u"说明标签1"_s, 200, 54, 49, 18, u"工作电话"_s, 12, kLabelBlue);
    办公框 = edit(u"办公框"_s, 249, 54, 107, 18, width(store::kOffice));
    输入按钮 = button(u"输入按钮"_s, 358, 62, 44, 28, u"entry", Kind::FourState);
    说明标签5 = label(u"说明标签5"_s, 4, 74, 25, 18, u"备注"_s, 12, kLabelBlue);
    备注框 = edit(u"备注框"_s, 29, 74, 180, 18, width(store::kRemark));
    说明标签2 = label(u"说明标签2"_s, 212, 74, 37, 18, u"小灵通 "_s, 12, kLabelBlue);
    小灵通框 = edit(u"小灵通框"_s, 249, 74, 107, 18, width(store::kPhs));
    表格按钮 = button(u"表格按钮"_s, 358, 91, 44, 28, u"grid", Kind::FourState);
    上翻页按钮 = button(u"上翻页按钮"_s, 220, 95, 45, 26, u"prev", Kind::FourState);
    下翻页按钮 = button(u"下翻页按钮"_s, 265, 95, 45, 26, u"next", Kind::FourState);
    数量标签 = label(u"数量标签"_s, 310, 95, 46, 13, QString(), 12, QColor(128, 128, 128), Qt::AlignCenter);
    widgets::narrowTextToFit(数量标签);
    说明标签6 = label(u"说明标签6"_s, 4, 100, 84, 18, u"智能查询输入"_s, 14, QColor(255, 0, 0),
                      Qt::AlignRight | Qt::AlignVCenter);
    查询框 = new widgets::QueryBox(kQueryBytes, this);
    查询框->setObjectName(u"查询框"_s);
    查询框->setGeometry(88, 100, 116, 18);
    查询框->setFont(widgets::songti(16));
    widgets::letTextFillFrame(查询框);
    widgets::setColours(查询框, kBoxGrey, Qt::black);
    // The Save button lies over the right part of 查询框, so it is made after it and stays on top.
    确定按钮 = button(u"确定按钮"_s, 138, 95, 77, 26, u"save", Kind::Save);
    确定按钮->setFont(widgets::songti(16));
    页数标签 = label(u"页数标签"_s, 310, 108, 46, 13, QString(), 12, QColor(128, 128, 128), Qt::AlignCenter);
    widgets::narrowTextToFit(页数标签);
    QLabel** rows[] = {&标签表1, &标签表2, &标签表3, &标签表4, &标签表5};
    for (int r = 0; r < 5; ++r) {
        *rows[r] = label(u"标签表%1"_s.arg(r + 1), 3, 122 + 13 * r, 399, 13, QString(), 12, Qt::black);
        widgets::setColours(*rows[r], stripe(r + 1), Qt::black);
        (*rows[r])->setMouseTracking(true);
        (*rows[r])->installEventFilter(this);
        m_rows[static_cast<std::size_t>(r)] = *rows[r];
    }
    说明标签 =
        label(u"说明标签"_s, 3, 189, 399, 18, u"快速电话查号程序,拥有智能搜索引擎. 使用Korvex编写"_s, 16, Qt::black);
    widgets::setColours(说明标签, QColor(218, 239, 254), QColor(0, 64, 128));

    // Focus order: the entry boxes row by row, then the query box, then the Save button.
    QWidget* order[] = {姓名框, 手机框, 家里框, 单位框, 办公框, 备注框, 小灵通框, 查询框, 确定按钮};
    for (std::size_t i = 0; i + 1 < std::size(order); ++i) {
        setTabOrder(order[i], order[i + 1]);
    }

    // The record's boxes in field order; a field without its box in the form fails here.
    widgets::ByteLimitedLineEdit* const boxes[] = {姓名框, 单位框, 备注框, 办公框, 家里框, 手机框, 小灵通框};
    static_assert(std::size(boxes) == store::kFieldCount, "every field has its box in the form");
    std::copy(std::begin(boxes), std::end(boxes), m_boxes.begin());
    for (std::size_t f = 0; f < m_boxes.size(); ++f) {
        widgets::limitToField(m_boxes[f], f);
    }

    // What a screen reader says: the words a picture button shows, the caption beside a box. Each caption is also
    // its box's buddy (read as "labelled by"); 查询框 is named by its caption as it stands, "智能查询输入" or, in
    // Entry mode, "总记录数".
    const std::pair<QWidget*, QString> spoken[] = {
        {导入按钮, u"导入"_s},     {帮助按钮, u"帮助"_s},   {关闭按钮, u"关闭"_s}, {查询按钮, u"查询"_s},
        {输入按钮, u"增加"_s},     {表格按钮, u"修改"_s},   {确定按钮, u"存盘"_s}, {上翻页按钮, u"上一页"_s},
        {下翻页按钮, u"下一页"_s}, {姓名框, u"姓名"_s},     {手机框, u"手机"_s},   {家里框, u"宅电"_s},
        {单位框, u"单位"_s},       {办公框, u"工作电话"_s}, {备注框, u"备注"_s},   {小灵通框, u"小灵通"_s}};
    for (const auto& [control, name] : spoken) {
        control->setAccessibleName(name);
    }
    const std::pair<QLabel*, QWidget*> captions[] = {{说明标签8, 姓名框},   {说明标签4, 手机框}, {说明标签3, 家里框},
                                                     {说明标签7, 单位框},   {说明标签1, 办公框}, {说明标签5, 备注框},
                                                     {说明标签2, 小灵通框}, {说明标签6, 查询框}};
    for (const auto& [caption, box] : captions) {
        caption->setBuddy(box);
    }
}

void MainWindow::connectEvents()
{
    for (QLineEdit* box : m_boxes) {
        box->installEventFilter(this);
    }
    // In Entry mode the record count ends where 确定按钮 lies over the box: a million records and more are drawn
    // narrower.
    connect(查询框, &QLineEdit::textChanged, this, [this] { fitQueryBoxText(); });
    connect(查询框, &widgets::QueryBox::keyDown, this, [this](int key) {
        m_queryMode.keyDown(key);
        render();
    });
    connect(查询框, &widgets::QueryBox::keyUp, this, [this] {
        m_queryMode.keyUp(查询框->text());
        render();
    });
    // Text an input method commits arrives without a key of its own: it is searched as it comes.
    connect(查询框, &widgets::QueryBox::changedWithoutKey, this, [this] {
        m_queryMode.keyUp(查询框->text());
        render();
    });
    确定按钮->installEventFilter(this);

    connect(关闭按钮, &QAbstractButton::clicked, this, &MainWindow::shutDown);
    // A query typed while the index was being built is answered as soon as it is there.
    connect(&m_directory, &query::Directory::ready, this, [this] {
        if (m_mode == Mode::Query) {
            m_queryMode.directoryReady();
            render();
        }
    });
    connect(查询按钮, &QAbstractButton::clicked, this, &MainWindow::enterQueryMode);
    connect(输入按钮, &QAbstractButton::clicked, this, &MainWindow::enterEntryMode);
    connect(确定按钮, &QAbstractButton::clicked, this, &MainWindow::saveEntry);
    connect(上翻页按钮, &QAbstractButton::clicked, this, [this] {
        m_queryMode.previousPage();
        render();
    });
    connect(下翻页按钮, &QAbstractButton::clicked, this, [this] {
        m_queryMode.nextPage();
        render();
    });
    connect(导入按钮, &QAbstractButton::clicked, this, [this] {
        if (openImport) {
            openImport();
        }
    });
    connect(帮助按钮, &QAbstractButton::clicked, this, [this] {
        if (openHelp) {
            openHelp();
        }
    });
    connect(表格按钮, &QAbstractButton::clicked, this, [this] {
        if (openListEditor) {
            openListEditor();
        }
    });
}

void MainWindow::applyMode(Mode mode)
{
    const ModeControls c = controlsIn(mode);
    查询按钮->setEnabled(c.queryButton);
    输入按钮->setEnabled(c.entryButton);
    表格按钮->setEnabled(c.gridButton);
    确定按钮->setEnabled(c.saveButton);
    确定按钮->setVisible(c.saveButton);
    // In Entry mode the query box is the record counter: no border, black on white.
    查询框->setFrame(c.queryBox);
    widgets::setColours(查询框, Qt::white, Qt::black);
    查询框->setEnabled(c.queryBox);
    for (QLineEdit* box : m_boxes) {
        box->setEnabled(c.recordBoxes);
    }
    说明标签6->setText(c.caption);
    m_mode = mode;
    fitQueryBoxText();
}

void MainWindow::fitQueryBoxText()
{
    widgets::narrowTextWithin(查询框, m_mode == Mode::Entry ? 确定按钮->x() - 查询框->x() : 查询框->width());
}

void MainWindow::enterQueryMode()
{
    applyMode(Mode::Query);
    查询框->setText(QString());
    查询框->setFocus(Qt::OtherFocusReason);
    m_queryMode.enter();
    render();
}

void MainWindow::enterEntryMode()
{
    applyMode(Mode::Entry);
    姓名框->setFocus(Qt::OtherFocusReason);
    showRecordCount();
    m_queryMode.clearResults();
    m_queryMode.clearRows();
    m_queryMode.clearBoxes();
    render();
}

void MainWindow::listEditorOpened()
{
    查询按钮->setEnabled(true);
    输入按钮->setEnabled(true);
    表格按钮->setEnabled(false);
}

void MainWindow::showWelcomeLines()
{
    m_queryMode.showHelpLines(query::QueryMode::HelpLines::Welcome);
    render();
}

void MainWindow::showRecordCount()
{
    查询框->setText(m_entryMode.recordCount());
}

void MainWindow::render()
{
    const query::QueryView& view = m_queryMode.view();
    for (std::size_t r = 0; r < m_rows.size(); ++r) {
        const int row = static_cast<int>(r + 1);
        m_rows[r]->setText(view.rows[r]);
        const QColor colour = row == view.yellowRow ? kYellow : stripe(row);
        if (m_rows[r]->palette().color(QPalette::Window) != colour) {
            widgets::setColours(m_rows[r], colour, Qt::black);
        }
    }
    数量标签->setText(view.count);
    页数标签->setText(view.page);
    上翻页按钮->setEnabled(view.previousEnabled);
    下翻页按钮->setEnabled(view.nextEnabled);
    for (std::size_t f = 0; f < m_boxes.size(); ++f) {
        if (m_boxes[f]->text() != view.boxes[f]) {
            m_boxes[f]->setText(view.boxes[f]);
            // Show the beginning of a value wider than its box.
            m_boxes[f]->setCursorPosition(0);
        }
    }
}

void MainWindow::saveEntry()
{
    store::RecordTexts typed;
    for (std::size_t f = 0; f < m_boxes.size(); ++f) {
        typed[f] = m_boxes[f]->text();
    }
    if (!m_saveRefusal.isEmpty()) {
        showMessage(u"记录未保存"_s, u"这条记录没有存入 DHB.EDB：%1\n输入的内容仍保留在输入框中。"_s.arg(m_saveRefusal),
                    this);
        return;
    }
    const entry::EntryMode::Saved result = m_entryMode.save(typed);
    if (!result.warning.isEmpty() && result.warning != m_warned) {
        showMessage(u"磁盘空间不足"_s, result.warning, this);
    }
    m_warned = result.warning;
    if (!result.saved) {
        // The boxes keep what was typed and the counter stays, so the record can be saved later.
        showMessage(u"记录未保存"_s,
                    u"这条记录没有存入 DHB.EDB：%1\n输入的内容仍保留在输入框中，可以稍后再存盘。"_s.arg(result.reason),
                    this);
        return;
    }
    showRecordCount();
    m_queryMode.clearBoxes();
    render();
    姓名框->setFocus(Qt::OtherFocusReason);
}

bool MainWindow::eventFilter(QObject* watched, QEvent* event)
{
    const QEvent::Type type = event->type();
    if (watched == 确定按钮) {
        if (type == QEvent::KeyPress) {
            const int key = static_cast<QKeyEvent*>(event)->key();
            if (key == Qt::Key_Return || key == Qt::Key_Enter) {
                saveEntry();
                return true;
            }
        } else if (type == QEvent::FocusIn) {
            m_enterAdvancesFocus = false;
        }
        return false;
    }
    for (QLineEdit* box : m_boxes) {
        if (watched != box) {
            continue;
        }
        if (type == QEvent::FocusIn) {
            box->event(event);
            m_enterAdvancesFocus = true;
            widgets::setColours(box, Qt::white, Qt::black);
            box->selectAll();
            return true;
        }
        if (type == QEvent::FocusOut) {
            widgets::setColours(box, kBoxGrey, Qt::black);
        } else if (type == QEvent::KeyPress && m_enterAdvancesFocus) {
            const int key = static_cast<QKeyEvent*>(event)->key();
            if (key == Qt::Key_Return || key == Qt::Key_Enter) {
                focusNextChild();
                return true;
            }
        }
        return false;
    }
    if (type == QEvent::MouseMove) {
        for (std::size_t r = 0; r < m_rows.size(); ++r) {
            if (watched == m_rows[r]) {
                m_queryMode.hover(static_cast<int>(r + 1));
                render();
                return true;
            }
        }
    }
    return QWidget::eventFilter(watched, event);
}

void MainWindow::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.drawPixmap(rect(), m_background);
}

void MainWindow::mouseMoveEvent(QMouseEvent* event)
{
    // Only the window's own surface leaves the rows; moves over other controls arrive here as well.
    if (!childAt(event->position().toPoint())) {
        m_queryMode.leaveRows();
        render();
    }
    QWidget::mouseMoveEvent(event);
}

void MainWindow::closeEvent(QCloseEvent* event)
{
    // The desktop closed the window (or the session ends): end the program as 关闭按钮 does.
    shutDown();
    event->accept();
}

void MainWindow::setMessageSink(MessageSink sink)
{
    messageSink() = std::move(sink);
}

void MainWindow::showMessage(const QString& title, const QString& text, QWidget* owner)
{
    if (messageSink()) {
        messageSink()(title, text);
        return;
    }
    // Owned by the window it concerns, the box stays above that window and appears centred over it.
    QMessageBox box(QMessageBox::NoIcon, title, text, QMessageBox::Ok, owner);
    box.exec();
}

void MainWindow::setStoreFile(const QString& file)
{
    m_storeFile = file;
    m_folder = QFileInfo(file).path();
}

QString MainWindow::storePath() const
{
    return m_storeFile.isEmpty() ? QDir(m_folder).filePath(u"DHB.EDB"_s) : m_storeFile;
}

bool MainWindow::folderIsWritable(const QString& folder)
{
    return probeFolder(folder) == FolderAccess::Writable;
}

bool MainWindow::startUp()
{
    m_queryMode.setSelectedRow(1);
    enterQueryMode();

    const QString path = storePath();
    const StartPlan plan = planStart(probeFolder(m_folder), store::DirectoryStore::inspect(path), path);
    auto tell = [](const Message& m, QWidget* owner = nullptr) { showMessage(m.title, m.text, owner); };
    if (plan.step == StartPlan::Step::Refuse) {
        tell(plan.refusal);
        return false;
    }
    QString error;
    if (plan.step == StartPlan::Step::Create) {
        if (!store::DirectoryStore::create(path, &error)) {
            tell(cannotCreate(path, error));
            return false;
        }
        enterEntryMode();
        showWelcomeLines();
    }
    // Clear a read-only mark on the file, as the directory must be able to store entries.
    QFile::setPermissions(path, QFile::permissions(path) | QFile::WriteOwner);
    if (!m_store.open(path, &error)) {
        // A store that cannot be written now (a full disk, a network share) is still there to look people up in.
        if (!m_store.open(path, nullptr, store::DirectoryStore::Access::ReadOnly)) {
            tell(cannotOpen(path, error));
            return false;
        }
        m_saveRefusal = error;
        tell(lookUpOnly(path, error), this);
    } else if (plan.fullDisk) {
        // Saving is tried all the same: it works again as soon as space is freed.
        tell(fullDisk(path), this);
    }
    if (plan.step == StartPlan::Step::Create) {
        showRecordCount();
    }
    // The window paints at once; the search index is built meanwhile, off the window's thread.
    m_directory.load();
    setWindowIcon(resources::programIcon());
    // Shown also when the desktop has no notification area yet: the icon appears once one starts.
    m_tray = new QSystemTrayIcon(resources::programIcon(), this);
    m_tray->setToolTip(u"Telvane"_s);
    connect(m_tray, &QSystemTrayIcon::activated, this, [this](QSystemTrayIcon::ActivationReason) { bringBack(); });
    m_tray->show();
    return true;
}

void MainWindow::bringBack()
{
    // Raised above the other windows and made active as it is. Its stays-on-top flag is left alone: changing that,
    // even for a moment, makes the desktop a new native window (a flicker, and a new task bar entry under a window
    // manager).
    setWindowState(windowState() & ~Qt::WindowMinimized);
    if (windowHandle() && !windowHandle()->isExposed()) {
        // Unmapped behind Qt's back (iconified, or by another program): Qt still counts it as shown, so show() alone
        // would not map it again.
        hide();
    }
    show();
    setEnabled(true);
    raise();
    activateWindow();
}

void MainWindow::shutDown()
{
    if (m_shutDown) {
        return;
    }
    m_shutDown = true;
    if (m_tray) {
        m_tray->hide();
        delete m_tray;
        m_tray = nullptr;
    }
    m_store.close();
    QCoreApplication::exit(0);
}

} // namespace telvane::app
