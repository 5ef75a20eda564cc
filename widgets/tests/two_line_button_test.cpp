#include "widgets/fonts.h"
#include "widgets/two_line_button.h"

#include <QAccessible>
#include <QImage>
#include <QStyleOptionButton>
#include <QtTest>

using namespace Qt::StringLiterals;
using telvane::widgets::TwoLineButton;

namespace {

// The pixels that a caption adds to the bare button: the button drawn with and without it.
QRect inkOf(const QString& caption, QRect* inside = nullptr)
{
    TwoLineButton button;
    button.setFont(telvane::widgets::songti(15));
    button.resize(49, 35);
    const QImage bare = button.grab().toImage();
    button.setCaption(caption);
    const QImage drawn = button.grab().toImage();
    if (inside) {
        QStyleOptionButton option;
        option.initFrom(&button);
        *inside = button.style()->subElementRect(QStyle::SE_PushButtonContents, &option, &button);
    }
    QRect ink;
    for (int y = 0; y < drawn.height(); ++y) {
        for (int x = 0; x < drawn.width(); ++x) {
            if (drawn.pixel(x, y) != bare.pixel(x, y)) {
                ink |= QRect(x, y, 1, 1);
            }
        }
    }
    return ink;
}

} // namespace

class TwoLineButtonTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { telvane::widgets::installFontSubstitutes(); }

    void captionFitsInside_data()
    {
        QTest::addColumn<QString>("caption");
        QTest::addColumn<QString>("first");
        QTest::addColumn<QString>("second");
        QTest::newRow("整理/数据") << u"整理\n数据"_s << u"整理"_s << u"数据"_s;
        QTest::newRow("导入/数据") << u"导入\n数据"_s << u"导入"_s << u"数据"_s;
        QTest::newRow("重新输入, broken in the middle") << u"重新输入"_s << u"重新"_s << u"输入"_s;
    }

    // Both lines lie inside the button's frame, centred, and do not overlap: together they stand at least as
    // tall as each drawn alone.
    void captionFitsInside()
    {
        QFETCH(QString, caption);
        QFETCH(QString, first);
        QFETCH(QString, second);
        QRect inside;
        const QRect ink = inkOf(caption, &inside);
        QVERIFY(!ink.isEmpty());
        QVERIFY2(inside.contains(ink), qPrintable(u"ink %1,%2 %3x%4 outside %5,%6 %7x%8"_s.arg(ink.x())
                                                      .arg(ink.y())
                                                      .arg(ink.width())
                                                      .arg(ink.height())
                                                      .arg(inside.x())
                                                      .arg(inside.y())
                                                      .arg(inside.width())
                                                      .arg(inside.height())));
        QVERIFY(std::abs((ink.top() - inside.top()) - (inside.bottom() - ink.bottom())) <= 2);
        QVERIFY(std::abs((ink.left() - inside.left()) - (inside.right() - ink.right())) <= 2);
        QVERIFY(ink.height() >= inkOf(first).height() + inkOf(second).height());
    }

    void accessibleNameIsTheCaptionOnOneLine()
    {
        TwoLineButton button(u"整理\n数据"_s);
        QAccessibleInterface* accessible = QAccessible::queryAccessibleInterface(&button);
        QVERIFY(accessible);
        QCOMPARE(accessible->text(QAccessible::Name), u"整理数据"_s);
        button.setCaption(u"重新输入"_s);
        QCOMPARE(accessible->text(QAccessible::Name), u"重新输入"_s);
    }
};

QTEST_MAIN(TwoLineButtonTest)
#include "two_line_button_test.moc"
