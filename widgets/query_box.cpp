#include "widgets/query_box.h"

#include "widgets/colours.h"

#include <QKeyEvent>

namespace telvane::widgets {

QueryBox::QueryBox(int maxBytes, QWidget* parent)
    : ByteLimitedLineEdit(maxBytes, parent)
{
    setLowerCaseLatin(true);
}

void QueryBox::keyPressEvent(QKeyEvent* event)
{
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
        selectAll();
    }
    emit keyDown(event->key());
    ByteLimitedLineEdit::keyPressEvent(event);
}

void QueryBox::keyReleaseEvent(QKeyEvent* event)
{
    ByteLimitedLineEdit::keyReleaseEvent(event);
    emit keyUp();
}

void QueryBox::focusInEvent(QFocusEvent* event)
{
    // The box takes the focus first, so that selecting its text sticks.
    ByteLimitedLineEdit::focusInEvent(event);
    setColours(this, QColor(255, 255, 0), Qt::black);
    selectAll();
}

void QueryBox::focusOutEvent(QFocusEvent* event)
{
    setColours(this, Qt::white, Qt::black);
    ByteLimitedLineEdit::focusOutEvent(event);
}

} // namespace telvane::widgets
