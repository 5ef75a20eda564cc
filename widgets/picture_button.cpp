#include "widgets/picture_button.h"

#include <QEvent>
#include <QPainter>

namespace telvane::widgets {

PictureButton::PictureButton(Kind kind, const QList<QPixmap>& pictures, QWidget* parent)
    : QAbstractButton(parent)
    , m_kind(kind)
    , m_pictures(pictures)
{
    setAttribute(Qt::WA_Hover);
    setFocusPolicy(kind == Kind::Save ? Qt::StrongFocus : Qt::NoFocus);
    if (!m_pictures.isEmpty()) {
        resize(m_pictures.first().size());
    }
}

int PictureButton::pictureIndex() const
{
    switch (m_kind) {
        case Kind::ThreeState:
            if (!isEnabled()) {
                return 0;
            }
            return isDown() ? 2 : m_hovered ? 1 : 0;
        case Kind::FourState:
            if (!isEnabled()) {
                return 3;
            }
            return isDown() ? 2 : m_hovered ? 1 : 0;
        case Kind::Save:
            if (!isEnabled()) {
                return 2;
            }
            return (isDown() || m_hovered || hasFocus()) ? 1 : 0;
    }
    return 0;
}

const QPixmap& PictureButton::currentPicture() const
{
    static const QPixmap none;
    const int index = pictureIndex();
    if (index < m_pictures.size()) {
        return m_pictures[index];
    }
    // A missing state picture falls back to the normal one rather than leaving the button blank.
    return m_pictures.isEmpty() ? none : m_pictures.first();
}

QSize PictureButton::sizeHint() const
{
    return m_pictures.isEmpty() ? QSize() : m_pictures.first().size();
}

bool PictureButton::event(QEvent* event)
{
    switch (event->type()) {
        case QEvent::Enter:
        case QEvent::HoverEnter:
            if (!m_hovered) {
                m_hovered = true;
                update();
            }
            break;
        case QEvent::Leave:
        case QEvent::HoverLeave:
            if (m_hovered) {
                m_hovered = false;
                update();
            }
            break;
        default:
            break;
    }
    return QAbstractButton::event(event);
}

void PictureButton::hideEvent(QHideEvent* event)
{
    // A button hidden under the mouse gets no leave event later; it must not come back highlighted.
    m_hovered = false;
    QAbstractButton::hideEvent(event);
}

void PictureButton::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    const QPixmap& picture = currentPicture();
    if (!picture.isNull()) {
        painter.drawPixmap(rect(), picture);
    }
}

} // namespace telvane::widgets
