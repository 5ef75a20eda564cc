#pragma once

#include "app/main_rules.h"
#include "entry/entry_mode.h"
#include "query/directory.h"
#include "query/query_mode.h"
#include "store/directory_store.h"

#include <QPixmap>
#include <QPointer>
#include <QWidget>

#include <array>
#include <functional>

class QLabel;
class QLineEdit;
class QSystemTrayIcon;

namespace telvane::widgets {
class PictureButton;
class ByteLimitedLineEdit;
class QueryBox;
} // namespace telvane::widgets

namespace telvane::app {

// Takes the messages (title, text) instead of the message box. Tests set one to read and dismiss them; an empty
// one gives the message box back.
using MessageSink = std::function<void(const QString& title, const QString& text)>;

// The program's only permanent window: a borderless panel with the query box, five result rows with paging,
// the seven boxes of one record and the picture buttons.
class MainWindow : public QWidget
{
    Q_OBJECT

public:
    // `folder` is the program's folder, which holds DHB.EDB.
    explicit MainWindow(const QString& folder, QWidget* parent = nullptr);
    ~MainWindow() override;

    // The start-up sequence. False when the program must end at once (the user has been told why).
    bool startUp();
    // Ends the program: removes the tray icon, closes the store, leaves the event loop with code 0.
    void shutDown();

    static void setMessageSink(MessageSink sink);
    // A modal message with one OK button; owned by and centred over `owner`, or on its own without one (the start-up
    // refusals, shown before any window).
    static void showMessage(const QString& title, const QString& text, QWidget* owner = nullptr);

    QString storePath() const;
    store::DirectoryStore& store() { return m_store; }
    const query::QueryMode& queryMode() const { return m_queryMode; }
    query::Directory& directory() { return m_directory; }
    QSystemTrayIcon* trayIcon() const { return m_tray; }

    // The Main window's two modes; each sets the buttons and boxes as its table says (controlsIn).
    Mode mode() const { return m_mode; }
    void enterQueryMode();
    void enterEntryMode();
    // The list editor opened: both mode buttons enabled, 表格按钮 disabled, whatever the mode.
    void listEditorOpened();
    // Shows the Welcome lines in the result rows (start-up after creating the store).
    void showWelcomeLines();
    // The tray icon's action: raise, show and enable the window without leaving it on top.
    void bringBack();

    // Whether the program folder accepts writes (the read-only refusal's test).
    static bool folderIsWritable(const QString& folder);
    // Why saving is refused for this run (a full disk, a network share); empty when it is not.
    const QString& saveRefusal() const { return m_saveRefusal; }

    // The 33 controls of the form, named as the program calls them.
    widgets::PictureButton* 导入按钮;
    widgets::PictureButton* 帮助按钮;
    widgets::PictureButton* 关闭按钮;
    QLabel* 说明标签8;
    widgets::ByteLimitedLineEdit* 姓名框;
    QLabel* 说明标签4;
    widgets::ByteLimitedLineEdit* 手机框;
    QLabel* 说明标签3;
    widgets::ByteLimitedLineEdit* 家里框;
    widgets::PictureButton* 查询按钮;
    QLabel* 说明标签7;
    widgets::ByteLimitedLineEdit* 单位框;
    QLabel* 说明标签1;
    widgets::ByteLimitedLineEdit* 办公框;
    widgets::PictureButton* 输入按钮;
    QLabel* 说明标签5;
    widgets::ByteLimitedLineEdit* 备注框;
    QLabel* 说明标签2;
    widgets::ByteLimitedLineEdit* 小灵通框;
    widgets::PictureButton* 表格按钮;
    widgets::PictureButton* 确定按钮;
    widgets::PictureButton* 上翻页按钮;
    widgets::PictureButton* 下翻页按钮;
    QLabel* 数量标签;
    QLabel* 说明标签6;
    widgets::QueryBox* 查询框;
    QLabel* 页数标签;
    QLabel* 标签表1;
    QLabel* 标签表2;
    QLabel* 标签表3;
    QLabel* 标签表4;
    QLabel* 标签表5;
    QLabel* 说明标签;

    // Opens the other windows; the app wires these to the windows of the other subsystems.
    std::function<void()> openImport;
    std::function<void()> openHelp;
    std::function<void()> openListEditor;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    void buildForm();
    void applyMode(Mode mode);
    void fitQueryBoxText();
    void connectEvents();
    void saveEntry();
    // Paints what Query mode shows: the result rows and their colours, the two labels, the page buttons, the boxes.
    void render();
    void showRecordCount();

    QString m_folder;
    store::DirectoryStore m_store;
    // The search index over m_store, built in the background while the window is up.
    query::Directory m_directory;
    query::QueryMode m_queryMode;
    entry::EntryMode m_entryMode;
    Mode m_mode = Mode::Query;
    // Enter in an entry box walks to the next control; off once 确定按钮 has the focus, so Enter there saves.
    bool m_enterAdvancesFocus = false;
    // The seven record boxes and the five result rows, in field and row order.
    std::array<widgets::ByteLimitedLineEdit*, store::kFieldCount> m_boxes {};
    std::array<QLabel*, 5> m_rows {};
    QPixmap m_background;
    QSystemTrayIcon* m_tray = nullptr;
    bool m_shutDown = false;
    QString m_saveRefusal;
    // The last warning shown after a save (the store file incomplete), so it is said once, not at every save.
    QString m_warned;
};

} // namespace telvane::app
