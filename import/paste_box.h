#pragma once

#include <QPlainTextEdit>

#include <functional>

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

protected:
    bool canInsertFromMimeData(const QMimeData* source) const override;
    void insertFromMimeData(const QMimeData* source) override;

private:
    PasteHandler m_pasteHandler;
};

} // namespace telvane::import
