#include "widgets/window_drag.h"

#include <QEvent>
#include <QMouseEvent>
#include <QObject>
#include <QPoint>
#include <QWidget>
#include <QWindow>

namespace telvane::widgets {

namespace {

class BackgroundDrag : public QObject
{
public:
    explicit BackgroundDrag(QWidget* window)
        : QObject(window)
        , m_window(window)
    { }

    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (watched != m_window) {
            return false;
        }
        switch (event->type()) {
            case QEvent::MouseButtonPress: {
                const auto* mouse = static_cast<QMouseEvent*>(event);
                // A press on a control that ignores the mouse (a label) also arrives here: only the bare
                // background starts a drag.
                if (mouse->button() == Qt::LeftButton && !m_window->childAt(mouse->position().toPoint())) {
                    m_dragging = true;
                    m_triedSystemMove = false;
                    m_pressGlobal = mouse->globalPosition().toPoint();
                    m_startPos = m_window->pos();
                }
                break;
            }
            case QEvent::MouseMove: {
                const auto* mouse = static_cast<QMouseEvent*>(event);
                if (!m_dragging || !(mouse->buttons() & Qt::LeftButton)) {
                    m_dragging = false;
                    break;
                }
                if (!m_triedSystemMove) {
                    m_triedSystemMove = true;
                    QWindow* handle = m_window->windowHandle();
                    if (handle && handle->startSystemMove()) {
                        m_dragging = false;
                        break;
                    }
                }
                m_window->move(m_startPos + mouse->globalPosition().toPoint() - m_pressGlobal);
                break;
            }
            case QEvent::MouseButtonRelease:
                m_dragging = false;
                break;
            default:
                break;
        }
        return false;
    }

private:
    QWidget* m_window;
    bool m_dragging = false;
    bool m_triedSystemMove = false;
    QPoint m_pressGlobal;
    QPoint m_startPos;
};

} // namespace

void makeDraggableByBackground(QWidget* window)
{
    if (window) {
        window->installEventFilter(new BackgroundDrag(window));
    }
}

} // namespace telvane::widgets
