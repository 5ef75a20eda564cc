#include "widgets/query_box.h"

#include "widgets/colours.h"

#include <QKeyEvent>

namespace telvane::widgets {

QueryBox::QueryBox(int maxBytes, QWidget* parent)
    : ByteLimitedLineEdit(maxBytes, parent)
{
    setLowerCaseLatin(true);
    connect(this, &QLineEdit::textEdited, this, [this] {
        if (!m_keyDown) {
            emit changedWithoutKey();
        }
    });
}

void QueryBox::keyPressEvent(QKeyEvent* event)
{
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
        selectAll();
    }
    m_keyDown = true;
    emit keyDown(event->key());
    ByteLimitedLineEdit::keyPressEvent(event);
}

void QueryBox::keyReleaseEvent(QKeyEvent* event)
{
    ByteLimitedLineEdit::keyReleaseEvent(event);
    m_keyDown = false;
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
    // A key that went down here comes up elsewhere.
    m_keyDown = false;
    setColours(this, Qt::white, Qt::black);
    ByteLimitedLineEdit::focusOutEvent(event);
}

} // namespace telvane::widgets
