#include "help/help_window.h"

#include "resources/pictures.h"
#include "widgets/picture_button.h"

#include <QAccessible>
#include <QApplication>
#include <QLineEdit>
#include <QMainWindow>
#include <QPointer>
#include <QTimer>
#include <QtTest>

using namespace Qt::StringLiterals;
using telvane::help::HelpWindow;
using telvane::widgets::PictureButton;

namespace {

// What a test saw of the Help window while it was open.
struct Seen
{
    QPointer<HelpWindow> window;
    QWidget* parent = nullptr;
    bool modal = false;
    Qt::WindowModality modality = Qt::NonModal;
    QRect geometry;
};

// While the Help window runs its own loop, records it and clicks its close button. A second timer ends a stuck
// loop so a failing test cannot hang.
void clickCloseWhenOpen(Seen* seen)
{
    QTimer::singleShot(0, [seen] {
        auto* window = qobject_cast<HelpWindow*>(QApplication::activeModalWidget());
        if (!window) {
            return;
        }
        seen->window = window;
        seen->parent = window->parentWidget();
        seen->modal = window->isModal();
        seen->modality = window->windowModality();
        seen->geometry = window->geometry();
        auto* close = window->findChild<PictureButton*>(u"关闭按钮"_s);
        QVERIFY(close);
        QTest::mouseClick(close, Qt::LeftButton, {}, QPoint(14, 14));
    });
    QTimer::singleShot(5000, [] {
        if (QWidget* modal = QApplication::activeModalWidget()) {
            modal->close();
        }
    });
}

} // namespace

class HelpWindowTest : public QObject
{
    Q_OBJECT

private slots:
    void layout();
    void paintsItsPicture();
    void closeButtonClosesAndDestroys_data();
    void closeButtonClosesAndDestroys();
    void ownerUnchangedAfterClose();
};

void HelpWindowTest::layout()
{
    QWidget owner;
    owner.setWindowTitle(u"Telvane-列表修改器"_s);
    HelpWindow window(&owner);
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    QCOMPARE(window.geometry(), QRect(50, 50, 430, 300));
    QCOMPARE(window.frameGeometry(), QRect(50, 50, 430, 300));
    QVERIFY(window.windowFlags().testFlag(Qt::FramelessWindowHint));
    QVERIFY(window.isWindow());
    QVERIFY(window.isModal());
    QCOMPARE(window.parentWidget(), &owner);
    QCOMPARE(window.windowTitle(), owner.windowTitle());
    QVERIFY(window.windowIcon().isNull());

    // One control: the close button.
    const QList<QWidget*> controls = window.findChildren<QWidget*>(Qt::FindDirectChildrenOnly);
    QCOMPARE(controls.size(), 1);
    auto* close = window.findChild<PictureButton*>(u"关闭按钮"_s);
    QVERIFY(close);
    QCOMPARE(close, window.关闭按钮);
    QCOMPARE(close->geometry(), QRect(400, 2, 28, 28));
    QCOMPARE(close->kind(), PictureButton::Kind::ThreeState);
    QCOMPARE(close->focusPolicy(), Qt::NoFocus);
    QCOMPARE(close->currentPicture().toImage(), telvane::resources::picture(u"close_normal").toImage());

    // A screen reader names the window by its title, reads what its picture says, and names the button.
    QAccessibleInterface* spokenWindow = QAccessible::queryAccessibleInterface(&window);
    QCOMPARE(spokenWindow->text(QAccessible::Name), owner.windowTitle());
    QVERIFY(spokenWindow->text(QAccessible::Description).contains(u"拼音首字母"_s));
    QCOMPARE(QAccessible::queryAccessibleInterface(close)->text(QAccessible::Name), u"关闭"_s);
}

void HelpWindowTest::paintsItsPicture()
{
    HelpWindow window(nullptr);
    const QImage shown = window.grab().toImage().convertToFormat(QImage::Format_RGB32);
    const QImage picture =
        telvane::resources::picture(u"help_background").toImage().convertToFormat(QImage::Format_RGB32);
    QCOMPARE(shown.size(), QSize(430, 300));
    // Everything left of the close button is the background picture.
    QCOMPARE(shown.copy(0, 0, 400, 300), picture.copy(0, 0, 400, 300));
}

void HelpWindowTest::closeButtonClosesAndDestroys_data()
{
    QTest::addColumn<bool>("mainWindowOwner");
    QTest::newRow("owned by the Main window") << false;
    QTest::newRow("owned by the list editor") << true;
}

void HelpWindowTest::closeButtonClosesAndDestroys()
{
    QFETCH(bool, mainWindowOwner);
    std::unique_ptr<QWidget> owner(mainWindowOwner ? new QMainWindow : new QWidget);
    owner->resize(300, 200);
    owner->show();
    QVERIFY(QTest::qWaitForWindowExposed(owner.get()));

    Seen seen;
    clickCloseWhenOpen(&seen);
    HelpWindow::showModal(owner.get());

    QVERIFY2(seen.parent, "no Help window was open");
    QCOMPARE(seen.parent, owner.get());
    QVERIFY(seen.modal);
    // Modal: its owner takes no input meanwhile.
    QVERIFY(seen.modality != Qt::NonModal);
    QCOMPARE(seen.geometry, QRect(50, 50, 430, 300));
    // Closed and destroyed: nothing is left behind under the owner.
    QVERIFY(seen.window.isNull());
    QVERIFY(owner->findChildren<HelpWindow*>().isEmpty());
    QCOMPARE(QApplication::activeModalWidget(), nullptr);
}

void HelpWindowTest::ownerUnchangedAfterClose()
{
    QWidget owner;
    owner.resize(300, 200);
    auto* query = new QLineEdit(&owner);
    query->setObjectName(u"查询框"_s);
    auto* other = new QLineEdit(&owner);
    other->move(0, 40);
    owner.show();
    owner.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&owner));
    query->setFocus();
    QTest::keyClicks(query, u"zs"_s);
    QTRY_COMPARE(QApplication::focusWidget(), query);
    query->setCursorPosition(1);

    Seen seen;
    clickCloseWhenOpen(&seen);
    HelpWindow::showModal(&owner);
    QVERIFY(seen.parent);

    QCOMPARE(query->text(), u"zs"_s);
    QCOMPARE(query->cursorPosition(), 1);
    QCOMPARE(owner.focusWidget(), query);
    // A window manager hands activation back to the owner; the offscreen platform has none.
    if (!owner.isActiveWindow()) {
        owner.activateWindow();
    }
    QTRY_COMPARE(QApplication::focusWidget(), query);
    // The owner takes input again.
    QTest::keyClick(query, Qt::Key_End);
    QTest::keyClicks(query, u"w"_s);
    QCOMPARE(query->text(), u"zsw"_s);
}

QTEST_MAIN(HelpWindowTest)
#include "help_window_test.moc"
