#pragma once

#include <QPlainTextEdit>

#include <functional>
#include <vector>

namespace telvane::import {

// A paste box of the import window. Every paste (Ctrl+V, Shift+Insert, the context menu, the middle mouse button,
// a drop) is first offered to the window, which reads a spreadsheet block itself; any other paste, and typing, is
// the plain text box's own. Text offered only as "text/plain;charset=utf-8", which Qt does not count as text, is
// pasted too.
class PasteBox : public QPlainTextEdit
{
public:
    // Takes the pasted text; true when it has put the text in place, false to let the box insert it as it is.
    using PasteHandler = std::function<bool(const QString& text)>;

    explicit PasteBox(QWidget* parent = nullptr);

    void setPasteHandler(PasteHandler handler) { m_pasteHandler = std::move(handler); }

    // A column of lines to show in place of the box's own text: `text` holds the lines, each ended by an LF except
    // the last (empty after a final line break), and `starts` where each line begins.
    struct Column
    {
        QString text;
        std::vector<qsizetype> starts;
        // The widest line in GBK bytes: in the 宋体 face a byte is half a character's width.
        int widestBytes = 0;
    };
    static Column makeColumn(QString text);

    // Shows the column, read-only, in place of the box's own document, which stays as it is underneath until
    // showOwnText(). Showing a column of hundreds of thousands of lines this way takes no time; making a text
    // document of them takes seconds.
    void showColumn(Column column);
    void showOwnText();
    bool isShowingColumn() const { return m_showing; }
    // What the box shows, lines separated by LF: the column shown, or its own text.
    QString shownText() const;
    // The lines the box shows: a line break after the last line starts no further line.
    int shownLineCount() const;

protected:
    bool canInsertFromMimeData(const QMimeData* source) const override;
    void insertFromMimeData(const QMimeData* source) override;
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void fitScrollBars();

    PasteHandler m_pasteHandler;
    bool m_showing = false;
    bool m_fitting = false;
    Column m_column;
};

} // namespace telvane::import
