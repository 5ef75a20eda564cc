#pragma once

#include "widgets/byte_line_edit.h"

namespace telvane::widgets {

// The Main window's query box: a byte-limited line that lowers Latin letters as they arrive, is yellow while it has
// the focus and white after, selects its whole text when it gets the focus and on Enter (so the next typing
// replaces the query), and tells every key going down, before the box edits its text, and coming up.
class QueryBox : public ByteLimitedLineEdit
{
    Q_OBJECT

public:
    explicit QueryBox(int maxBytes, QWidget* parent = nullptr);

signals:
    void keyDown(int key);
    void keyUp();

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void keyReleaseEvent(QKeyEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
};

} // namespace telvane::widgets
