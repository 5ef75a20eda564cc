#pragma once

#include "contacts/contact_file.h"
#include "import/import_flow.h"
#include "import/paste_box.h"
#include "import/tidy.h"
#include "store/fields.h"

#include <QDialog>
#include <QFutureWatcher>
#include <QThreadPool>
#include <QTimer>

#include <array>
#include <atomic>
#include <deque>
#include <string>

class QDragEnterEvent;
class QDropEvent;
class QKeyEvent;
class QTextCursor;
class QLabel;
class QPlainTextEdit;
class QResizeEvent;

namespace telvane::store {
class DirectoryStore;
}

namespace telvane::widgets {
class ExplanationLabel;
class TwoLineButton;
} // namespace telvane::widgets

namespace telvane::import {

// The window in which a spreadsheet enters the directory in bulk: the user pastes one spreadsheet column into each
// of seven boxes (or a block of columns into one box, which spreads it over the boxes to its right), tidies them to
// the field rules and adds the rows to the store. It is in the Entering state (boxes editable, import disabled) or
// the Tidied state (boxes show the tidied text, import enabled).
class ImportWindow : public QDialog
{
    Q_OBJECT

public:
    explicit ImportWindow(store::DirectoryStore& store, QWidget* parent = nullptr);
    ~ImportWindow() override;

    // Set once rows have been added to the store; stays set until the window closes.
    bool importDone() const { return m_flow.importDone(); }
    // Set until the boxes hold their tidied columns, clear in the Tidied state.
    bool tidyPending() const { return m_flow.state() != ImportFlow::State::Tidied; }
    // While the tidy command is still rewriting the boxes: the boxes and both buttons are disabled meanwhile.
    bool busy() const { return m_flow.state() == ImportFlow::State::Tidying; }

    // The content of paste box 1..n (one per field) as GBK bytes, each line break of the box a CR LF.
    std::string columnText(int column) const;
    // The number of lines box 1..n holds: a line break after the last line starts no further line.
    int lineCount(int column) const;

    // Reads a contacts file (vCard, CSV/TXT, .xlsx, .ods) off the window's thread and puts its records into the
    // boxes below the lines they hold, as a multi-column paste does; what was read, or why not, is said when done.
    // Ctrl+O asks for the file; a file dropped on the window comes here too.
    void loadContactsFile(const QString& path);
    // From the start of reading a file until its records are in the boxes (or its failure said).
    bool loading() const { return m_fileLoading; }

    // Every way of closing the window ends here: the list editor is asked for when rows were imported.
    void done(int result) override;

signals:
    // The window is closing after at least one import: the list editor should open and show the new records.
    void listEditorRequested();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    void tidyCommand();
    void startTidy();
    void tidyStep();
    void finishTidy();
    void bulkImport();
    bool pasteBlock(int column, const QString& text);
    // Puts the columns into box `column` and those to its right from line `line` on; columns beyond the last box
    // are said in 说明标签.
    void insertColumns(int column, const QList<QStringList>& columns, int line, QTextCursor* pasteCursor);
    // Whether a file may be read into the boxes now (they take input, no file is being read); says why not.
    bool readyForFile();
    void openContactsFile();
    void contactsFileRead();
    void updateCounter(int column);
    void returnToEntering();
    void setExplanation(const QString& text);
    void layOutBottom();

    bool anyLine() const;

    store::DirectoryStore& m_store;
    ImportFlow m_flow;

    widgets::ExplanationLabel* 说明标签;
    widgets::TwoLineButton* 整理按钮;
    widgets::TwoLineButton* 导入按钮;
    // Column k's caption, paste box and line counter at index k - 1 (标签上k, 编辑框k, 标签下k).
    std::array<QLabel*, store::kFieldCount> m_captions {};
    std::array<PasteBox*, store::kFieldCount> m_boxes {};
    std::array<QLabel*, store::kFieldCount> m_counters {};

    // The tidy command at work: the boxes read one at a time, a worker task per box, then each box shows its tidied
    // column as its task ends. In the Tidied state the columns are kept here: what the boxes show, and what the
    // import reads.
    struct Tidied
    {
        std::string gbk;
        PasteBox::Column column;
        TidyCounts counts;
    };
    std::atomic<bool> m_cancel = false;
    QThreadPool m_workers;
    std::array<QFutureWatcher<void>, store::kFieldCount> m_tidyTasks;
    std::array<Tidied, store::kFieldCount> m_tidied;
    int m_boxesRead = 0;
    std::deque<int> m_readyColumns;
    int m_boxesShown = 0;
    QTimer m_tidyStep;

    // A contacts file being read on a worker.
    struct LoadedFile
    {
        QString path;
        contacts::ContactList list;
        contacts::ContactFormat format = contacts::ContactFormat::Csv;
        QString error;
        bool ok = false;
    };
    QFutureWatcher<LoadedFile> m_loading;
    bool m_fileLoading = false;
};

} // namespace telvane::import
