#include "widgets/picture_button.h"

#include <QApplication>
#include <QEnterEvent>
#include <QLineEdit>
#include <QSignalSpy>
#include <QtTest>

using namespace telvane::widgets;
using Kind = PictureButton::Kind;

namespace {

// One solid colour per state picture, so a picture is recognised by its colour.
const QList<QColor> stateColours {Qt::red, Qt::green, Qt::blue, Qt::yellow};

QList<QPixmap> pictures(int count, QSize size = QSize(28, 28))
{
    QList<QPixmap> list;
    for (int i = 0; i < count; ++i) {
        QPixmap pixmap(size);
        pixmap.fill(stateColours[i]);
        list.append(pixmap);
    }
    return list;
}

QColor colourOf(const QPixmap& pixmap)
{
    return pixmap.toImage().pixelColor(1, 1);
}

void hover(QWidget* widget, bool on)
{
    if (on) {
        QEnterEvent enter(QPointF(2, 2), QPointF(2, 2), widget->mapToGlobal(QPointF(2, 2)));
        QApplication::sendEvent(widget, &enter);
    } else {
        QEvent leave(QEvent::Leave);
        QApplication::sendEvent(widget, &leave);
    }
}

} // namespace

class PictureButtonTest : public QObject
{
    Q_OBJECT

private slots:
    void stateSelection_data();
    void stateSelection();
    void paintsCurrentPicture();
    void saveHighlightedWhileFocused();
    void focusPolicy_data();
    void focusPolicy();
    void saveKeys();
    void clickAndDisabledClick();
    void hiddenUnderMouseComesBackNormal();
};

void PictureButtonTest::stateSelection_data()
{
    QTest::addColumn<Kind>("kind");
    QTest::addColumn<int>("count");
    QTest::addColumn<bool>("enabled");
    QTest::addColumn<bool>("hovered");
    QTest::addColumn<bool>("down");
    QTest::addColumn<int>("expected");

    QTest::newRow("3: normal") << Kind::ThreeState << 3 << true << false << false << 0;
    QTest::newRow("3: hover") << Kind::ThreeState << 3 << true << true << false << 1;
    QTest::newRow("3: pressed") << Kind::ThreeState << 3 << true << true << true << 2;
    QTest::newRow("3: disabled shows normal") << Kind::ThreeState << 3 << false << false << false << 0;
    QTest::newRow("3: disabled under mouse") << Kind::ThreeState << 3 << false << true << false << 0;
    QTest::newRow("4: normal") << Kind::FourState << 4 << true << false << false << 0;
    QTest::newRow("4: hover") << Kind::FourState << 4 << true << true << false << 1;
    QTest::newRow("4: pressed") << Kind::FourState << 4 << true << true << true << 2;
    QTest::newRow("4: disabled") << Kind::FourState << 4 << false << false << false << 3;
    QTest::newRow("4: disabled under mouse") << Kind::FourState << 4 << false << true << false << 3;
    QTest::newRow("save: normal") << Kind::Save << 3 << true << false << false << 0;
    QTest::newRow("save: hover") << Kind::Save << 3 << true << true << false << 1;
    QTest::newRow("save: pressed") << Kind::Save << 3 << true << true << true << 1;
    QTest::newRow("save: disabled") << Kind::Save << 3 << false << false << false << 2;
    QTest::newRow("save: disabled under mouse") << Kind::Save << 3 << false << true << false << 2;
}

void PictureButtonTest::stateSelection()
{
    QFETCH(Kind, kind);
    QFETCH(int, count);
    QFETCH(bool, enabled);
    QFETCH(bool, hovered);
    QFETCH(bool, down);
    QFETCH(int, expected);

    QWidget window;
    auto* button = new PictureButton(kind, pictures(count), &window);
    QCOMPARE(button->kind(), kind);
    hover(button, hovered);
    button->setDown(down);
    button->setEnabled(enabled);
    QCOMPARE(colourOf(button->currentPicture()), stateColours[expected]);

    // Leaving and re-enabling brings the normal picture back.
    button->setDown(false);
    hover(button, false);
    button->setEnabled(true);
    QCOMPARE(colourOf(button->currentPicture()), stateColours[0]);
}

void PictureButtonTest::paintsCurrentPicture()
{
    PictureButton button(Kind::FourState, pictures(4, QSize(44, 28)));
    QCOMPARE(button.sizeHint(), QSize(44, 28));
    QCOMPARE(button.size(), QSize(44, 28));
    QCOMPARE(button.grab().toImage().pixelColor(22, 14), stateColours[0]);
    hover(&button, true);
    QCOMPARE(button.grab().toImage().pixelColor(22, 14), stateColours[1]);
    button.setEnabled(false);
    QCOMPARE(button.grab().toImage().pixelColor(43, 27), stateColours[3]);
}

void PictureButtonTest::saveHighlightedWhileFocused()
{
    QWidget window;
    auto* edit = new QLineEdit(&window);
    auto* save = new PictureButton(Kind::Save, pictures(3, QSize(77, 26)), &window);
    save->move(0, 40);
    window.show();
    window.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&window));
    edit->setFocus();
    QTRY_VERIFY(edit->hasFocus());
    QCOMPARE(colourOf(save->currentPicture()), stateColours[0]);
    QTest::keyClick(edit, Qt::Key_Tab);
    QTRY_VERIFY(save->hasFocus());
    QCOMPARE(colourOf(save->currentPicture()), stateColours[1]);
    QTest::keyClick(save, Qt::Key_Tab);
    QTRY_VERIFY(edit->hasFocus());
    QCOMPARE(colourOf(save->currentPicture()), stateColours[0]);
}

void PictureButtonTest::focusPolicy_data()
{
    QTest::addColumn<Kind>("kind");
    QTest::addColumn<Qt::FocusPolicy>("policy");
    QTest::newRow("three states") << Kind::ThreeState << Qt::NoFocus;
    QTest::newRow("four states") << Kind::FourState << Qt::NoFocus;
    QTest::newRow("save") << Kind::Save << Qt::StrongFocus;
}

void PictureButtonTest::focusPolicy()
{
    QFETCH(Kind, kind);
    QFETCH(Qt::FocusPolicy, policy);
    PictureButton button(kind, pictures(4));
    QCOMPARE(button.focusPolicy(), policy);
}

// Enter on the Save button is the window's business (it saves once): the button itself must not click on it.
void PictureButtonTest::saveKeys()
{
    QWidget window;
    auto* save = new PictureButton(Kind::Save, pictures(3, QSize(77, 26)), &window);
    window.show();
    window.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&window));
    save->setFocus();
    QTRY_VERIFY(save->hasFocus());
    QSignalSpy clicks(save, &QAbstractButton::clicked);

    QKeyEvent enter(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier, QStringLiteral("\r"));
    QApplication::sendEvent(save, &enter);
    QVERIFY2(!enter.isAccepted(), "Return must go on to the window");
    QKeyEvent enterUp(QEvent::KeyRelease, Qt::Key_Return, Qt::NoModifier, QStringLiteral("\r"));
    QApplication::sendEvent(save, &enterUp);
    QTest::keyClick(save, Qt::Key_Enter);
    QCOMPARE(clicks.count(), 0);

    QTest::keyClick(save, Qt::Key_Space);
    QCOMPARE(clicks.count(), 1);
}

void PictureButtonTest::clickAndDisabledClick()
{
    QWidget window;
    auto* button = new PictureButton(Kind::ThreeState, pictures(3), &window);
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    QSignalSpy clicks(button, &QAbstractButton::clicked);
    QTest::mouseClick(button, Qt::LeftButton, {}, QPoint(14, 14));
    QCOMPARE(clicks.count(), 1);
    button->setEnabled(false);
    QTest::mouseClick(button, Qt::LeftButton, {}, QPoint(14, 14));
    QCOMPARE(clicks.count(), 1);
}

void PictureButtonTest::hiddenUnderMouseComesBackNormal()
{
    QWidget window;
    auto* button = new PictureButton(Kind::FourState, pictures(4), &window);
    window.move(300, 300);
    QCursor::setPos(5, 5);
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    hover(button, true);
    QCOMPARE(colourOf(button->currentPicture()), stateColours[1]);
    button->hide();
    button->show();
    QCOMPARE(colourOf(button->currentPicture()), stateColours[0]);
}

QTEST_MAIN(PictureButtonTest)
#include "picture_button_test.moc"
