#include "widgets/window_drag.h"

#include <QApplication>
#include <QLabel>
#include <QMouseEvent>
#include <QPushButton>
#include <QtTest>

using namespace Qt::StringLiterals;

namespace {

void send(QWidget* target, QEvent::Type type, QPoint local, QPoint global, Qt::MouseButton button,
          Qt::MouseButtons buttons)
{
    QMouseEvent event(type, QPointF(local), QPointF(global), button, buttons, Qt::NoModifier);
    QApplication::sendEvent(target, &event);
}

// Press at `local` of `target`, move the mouse by `delta`, release.
void drag(QWidget* target, QPoint local, QPoint delta, Qt::MouseButton button = Qt::LeftButton)
{
    const QPoint global = target->mapToGlobal(local);
    send(target, QEvent::MouseButtonPress, local, global, button, button);
    send(target, QEvent::MouseMove, local + delta, global + delta, Qt::NoButton, button);
    send(target, QEvent::MouseButtonRelease, local + delta, global + delta, button, Qt::NoButton);
}

} // namespace

class WindowDragTest : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void backgroundDragMovesWindow();
    void pressOnControlsDoesNotMove_data();
    void pressOnControlsDoesNotMove();
    void rightButtonDoesNotMove();
    void windowStillGetsItsMouseEvents();

private:
    QWidget* m_window = nullptr;
    QLabel* m_label = nullptr;
    QPushButton* m_button = nullptr;
};

class MouseCounter : public QWidget
{
public:
    int moves = 0;

protected:
    void mouseMoveEvent(QMouseEvent*) override { ++moves; }
};

void WindowDragTest::init()
{
    m_window = new MouseCounter;
    m_window->setWindowFlags(Qt::FramelessWindowHint);
    m_window->resize(300, 150);
    m_window->move(50, 50);
    m_label = new QLabel(u"标签"_s, m_window);
    m_label->setGeometry(10, 10, 80, 20);
    m_button = new QPushButton(u"按钮"_s, m_window);
    m_button->setGeometry(10, 40, 80, 20);
    telvane::widgets::makeDraggableByBackground(m_window);
    m_window->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_window));
    QTRY_COMPARE(m_window->pos(), QPoint(50, 50));
}

void WindowDragTest::cleanup()
{
    delete m_window;
    m_window = nullptr;
}

void WindowDragTest::backgroundDragMovesWindow()
{
    drag(m_window, QPoint(200, 100), QPoint(30, 20));
    QTRY_COMPARE(m_window->pos(), QPoint(80, 70));
    drag(m_window, QPoint(200, 100), QPoint(-10, -5));
    QTRY_COMPARE(m_window->pos(), QPoint(70, 65));
}

void WindowDragTest::pressOnControlsDoesNotMove_data()
{
    QTest::addColumn<bool>("onLabel"); // false: on the button
    // The label ignores the mouse, so its press reaches the window: the window must still not move.
    QTest::newRow("label") << true;
    QTest::newRow("button") << false;
}

void WindowDragTest::pressOnControlsDoesNotMove()
{
    QFETCH(bool, onLabel);
    QWidget* target = onLabel ? static_cast<QWidget*>(m_label) : m_button;
    drag(target, QPoint(5, 5), QPoint(30, 20));
    QTest::qWait(20);
    QCOMPARE(m_window->pos(), QPoint(50, 50));
}

void WindowDragTest::rightButtonDoesNotMove()
{
    drag(m_window, QPoint(200, 100), QPoint(30, 20), Qt::RightButton);
    QTest::qWait(20);
    QCOMPARE(m_window->pos(), QPoint(50, 50));
}

void WindowDragTest::windowStillGetsItsMouseEvents()
{
    auto* counter = static_cast<MouseCounter*>(m_window);
    drag(m_window, QPoint(200, 100), QPoint(1, 1));
    QCOMPARE(counter->moves, 1);
}

QTEST_MAIN(WindowDragTest)
#include "window_drag_test.moc"
