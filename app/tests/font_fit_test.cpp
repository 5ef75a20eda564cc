// The Main window's texts fit its controls with the face that is installed for 宋体: the widest text each box and
// label must show, measured in the real controls of a real window.
#include "app/main_window.h"
#include "widgets/byte_line_edit.h"
#include "widgets/fonts.h"
#include "widgets/picture_button.h"
#include "widgets/query_box.h"

#include <QFontInfo>
#include <QFontMetricsF>

#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QStyle>
#include <QStyleOptionFrame>
#include <QTemporaryDir>
#include <QTest>
#include <cmath>

using namespace Qt::StringLiterals;
using telvane::app::MainWindow;
using HelpLines = telvane::query::QueryMode::HelpLines;

namespace {

// QLineEdit's option for its frame and content rectangle, exactly as it paints itself.
struct LineEditOption : QLineEdit
{
    using QLineEdit::initStyleOption;
};

// Where a box draws its one line of text: the style's content rectangle less the box's text margins.
QRect textArea(QLineEdit* box)
{
    QStyleOptionFrame option;
    const auto init = &LineEditOption::initStyleOption;
    (box->*init)(&option);
    return box->style()->subElementRect(QStyle::SE_LineEditContents, &option, box).marginsRemoved(box->textMargins());
}

// The rectangle around the dark pixels (text, not the light box behind it) of a part of a picture.
QRect inkIn(const QImage& image, const QRect& part)
{
    QRect ink;
    for (int y = part.top(); y <= part.bottom(); ++y) {
        for (int x = part.left(); x <= part.right(); ++x) {
            if (qGray(image.pixel(x, y)) < 160) {
                ink |= QRect(x, y, 1, 1);
            }
        }
    }
    return ink;
}

// QLineEdit keeps this gap between its text area and the text on either side (QLineEditPrivate::horizontalMargin).
constexpr int kLineEditTextGap = 2;

// A label's text without trailing blanks, which show nothing ("小灵通 ").
QString visibleText(const QString& text)
{
    qsizetype end = text.size();
    while (end > 0 && text[end - 1].isSpace()) {
        --end;
    }
    return text.left(end);
}

} // namespace

class FontFitTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void boxShowsWholeText_data();
    void boxShowsWholeText();
    void labelShowsWholeText_data();
    void labelShowsWholeText();
    void resultRowsShowHelpLines_data();
    void resultRowsShowHelpLines();
    void recordCountShowsBesideTheSaveButton_data();
    void recordCountShowsBesideTheSaveButton();

private:
    void checkLabel(QLabel* label, const QString& text, int pixels);

    QTemporaryDir m_dir;
    std::unique_ptr<MainWindow> m_window;
};

void FontFitTest::initTestCase()
{
    telvane::widgets::installFontSubstitutes();
    m_window = std::make_unique<MainWindow>(m_dir.path());
    qInfo("宋体 is drawn with %s", qPrintable(QFontInfo(m_window->查询框->font()).family()));
}

void FontFitTest::boxShowsWholeText_data()
{
    QTest::addColumn<QString>("box");
    QTest::addColumn<QString>("text");
    QTest::newRow("手机框: 11 digits") << u"手机框"_s << u"13900000004"_s;
    QTest::newRow("家里框: 13 digits") << u"家里框"_s << u"0105555123456"_s;
    QTest::newRow("办公框: 13 digits") << u"办公框"_s << u"0108888765432"_s;
    QTest::newRow("小灵通框: 13 digits") << u"小灵通框"_s << u"0109999123456"_s;
    QTest::newRow("查询框: 14 wide letters") << u"查询框"_s << u"mwmwmwmwmwmwmw"_s;
    QTest::newRow("查询框: 14 letters with descenders") << u"查询框"_s << u"gjpyqgjpyqgjpy"_s;
    QTest::newRow("查询框: 14 digits") << u"查询框"_s << u"13900000004888"_s;
    // Four characters fit as they are; five (80 px at 16 px) and ten letters are wider than the whole box (71 px)
    // and twelve characters than 单位框 (168 px): they are drawn narrower.
    QTest::newRow("姓名框: 4 characters") << u"姓名框"_s << u"欧阳明王"_s;
    QTest::newRow("姓名框: 5 characters") << u"姓名框"_s << u"欧阳明王华"_s;
    QTest::newRow("姓名框: 10 letters") << u"姓名框"_s << u"mwmwmwmwmw"_s;
    QTest::newRow("单位框: 12 characters") << u"单位框"_s << u"中国科学院计算技术研究所"_s;
    QTest::newRow("姓名框: descenders") << u"姓名框"_s << u"gjpyq"_s;
    QTest::newRow("单位框: characters and descenders") << u"单位框"_s << u"北京gjpyq国贸"_s;
    QTest::newRow("备注框: characters and descenders") << u"备注框"_s << u"明王gjpyq备注"_s;
}

// The text is shown whole: no sideways scrolling (Qt scrolls once the text and the one-pixel cursor behind it are
// wider than the text area less its gaps), and the line with its ascent and descent inside the box's text area.
// Text wider than the box is drawn narrower; a narrowed face reports a taller line than the one it draws, so there
// what the box shows is compared with the same text drawn on its own.
void FontFitTest::boxShowsWholeText()
{
    QFETCH(QString, box);
    QFETCH(QString, text);
    auto* edit = m_window->findChild<QLineEdit*>(box);
    QVERIFY(edit);
    edit->setText(text);
    QCOMPARE(QFontInfo(edit->font()).pixelSize(), 16);

    const QRect area = textArea(edit);
    const QFontMetrics metrics(edit->font());
    const int lineWidth = area.width() - 2 * kLineEditTextGap;
    const int textWidth = metrics.horizontalAdvance(text);
    QVERIFY2(textWidth + 1 <= lineWidth, qPrintable(u"%1 px of text in a %2 px line"_s.arg(textWidth).arg(lineWidth)));

    QFont natural = edit->font();
    natural.setStretch(QFont::AnyStretch);
    if (QFontMetrics(natural).horizontalAdvance(text) + 1 > lineWidth) {
        // Narrowed, but no further than stays readable; every pixel of the text inside the box.
        QVERIFY2(edit->font().stretch() >= 80, qPrintable(u"drawn at %1 %"_s.arg(edit->font().stretch())));
        // The inside of the frame: the text area less the box's (negative) text margins.
        const QRect shown = inkIn(edit->grab().toImage(), area.marginsAdded(edit->textMargins()));
        QImage alone(area.width() * 2, area.height() * 4, QImage::Format_RGB32);
        alone.fill(edit->palette().color(QPalette::Base));
        QPainter painter(&alone);
        painter.setFont(edit->font());
        painter.setPen(edit->palette().color(QPalette::Text));
        painter.drawText(QPointF(area.width() / 2.0, area.height() * 2), text);
        painter.end();
        const QRect whole = inkIn(alone, alone.rect());
        QVERIFY2(std::abs(shown.width() - whole.width()) <= 1 && shown.height() == whole.height(),
                 qPrintable(u"the box shows %1 x %2 px of a text %3 x %4 px"_s.arg(shown.width())
                                .arg(shown.height())
                                .arg(whole.width())
                                .arg(whole.height())));
        edit->clear();
        return;
    }
    // Text that fits as it is keeps the face's own width.
    QCOMPARE(edit->font().stretch(), int(QFont::AnyStretch));
    const QRect ink = metrics.boundingRect(text);
    const int lineHeight = std::max(metrics.height(), ink.height());
    QVERIFY2(lineHeight <= area.height(),
             qPrintable(u"a %1 px line in a %2 px text area"_s.arg(lineHeight).arg(area.height())));
    QVERIFY2(ink.bottom() < metrics.descent() && ink.top() >= -metrics.ascent(),
             qPrintable(u"ink %1..%2 around the baseline, line -%3..%4"_s.arg(ink.top())
                            .arg(ink.bottom())
                            .arg(metrics.ascent())
                            .arg(metrics.descent())));
    edit->clear();
}

void FontFitTest::labelShowsWholeText_data()
{
    QTest::addColumn<QString>("label");
    QTest::addColumn<QString>("text"); // empty: the label's own text
    QTest::addColumn<int>("pixels");
    QTest::newRow("数量标签: six digits") << u"数量标签"_s << u"999999条"_s << 12;
    QTest::newRow("数量标签: five digits") << u"数量标签"_s << u"81500条"_s << 12;
    QTest::newRow("页数标签: five digits each") << u"页数标签"_s << u"99999/99999页"_s << 12;
    QTest::newRow("页数标签: first of many") << u"页数标签"_s << u"1/16300页"_s << 12;
    for (const char* name :
         {"说明标签8", "说明标签4", "说明标签3", "说明标签7", "说明标签1", "说明标签5", "说明标签2"}) {
        QTest::newRow(name) << QString::fromUtf8(name) << QString() << 12;
    }
    QTest::newRow("说明标签6: query mode") << u"说明标签6"_s << u"智能查询输入"_s << 14;
    QTest::newRow("说明标签6: entry mode") << u"说明标签6"_s << u"总记录数"_s << 14;
    QTest::newRow("说明标签") << u"说明标签"_s << QString() << 16;
}

void FontFitTest::labelShowsWholeText()
{
    QFETCH(QString, label);
    QFETCH(QString, text);
    QFETCH(int, pixels);
    auto* l = m_window->findChild<QLabel*>(label);
    QVERIFY(l);
    const QString before = l->text();
    if (!text.isNull()) {
        l->setText(text);
    }
    checkLabel(l, l->text(), pixels);
    l->setText(before);
}

void FontFitTest::resultRowsShowHelpLines_data()
{
    QTest::addColumn<HelpLines>("lines");
    QTest::newRow("query help") << HelpLines::Query;
    QTest::newRow("welcome") << HelpLines::Welcome;
}

void FontFitTest::resultRowsShowHelpLines()
{
    QFETCH(HelpLines, lines);
    if (lines == HelpLines::Welcome) {
        m_window->showWelcomeLines();
    } else {
        m_window->enterQueryMode();
    }
    for (QLabel* row :
         {m_window->标签表1, m_window->标签表2, m_window->标签表3, m_window->标签表4, m_window->标签表5}) {
        checkLabel(row, row->text(), 12);
        if (QTest::currentTestFailed()) {
            return;
        }
    }
}

void FontFitTest::recordCountShowsBesideTheSaveButton_data()
{
    QTest::addColumn<QString>("count");
    QTest::newRow("six digits") << u"999999"_s;
    QTest::newRow("a million") << u"1000000"_s;
    QTest::newRow("ten million") << u"10000000"_s;
}

// In Entry mode 查询框 holds the record count, and 确定按钮 lies over the right part of it: the digits end before the
// button begins.
void FontFitTest::recordCountShowsBesideTheSaveButton()
{
    QFETCH(QString, count);
    m_window->enterEntryMode();
    QLineEdit* box = m_window->查询框;
    box->setText(count);
    const int end = box->x() + textArea(box).left() + kLineEditTextGap
                    + static_cast<int>(std::ceil(QFontMetricsF(box->font()).horizontalAdvance(count)));
    QVERIFY2(
        end <= m_window->确定按钮->x(),
        qPrintable(u"the count ends at %1 px, the button begins at %2 px"_s.arg(end).arg(m_window->确定按钮->x())));
    m_window->enterQueryMode();
}

// The label is painted first: a label may adapt its font to its text when it paints.
void FontFitTest::checkLabel(QLabel* label, const QString& text, int pixels)
{
    QVERIFY(!visibleText(text).isEmpty());
    label->grab();
    QCOMPARE(QFontInfo(label->font()).pixelSize(), pixels);
    const QFontMetrics metrics(label->font());
    const QRect area = label->contentsRect();
    const int width = metrics.horizontalAdvance(visibleText(text));
    QVERIFY2(width <= area.width(),
             qPrintable(u"\"%1\": %2 px in a %3 px label"_s.arg(text).arg(width).arg(area.width())));
    QVERIFY2(metrics.height() <= area.height(),
             qPrintable(u"\"%1\": a %2 px line in a %3 px label"_s.arg(text).arg(metrics.height()).arg(area.height())));
    // Text that fits as it is keeps the face's own width.
    QFont natural = label->font();
    natural.setStretch(QFont::AnyStretch);
    if (QFontMetrics(natural).horizontalAdvance(visibleText(text)) <= area.width()) {
        QCOMPARE(label->font().stretch(), int(QFont::AnyStretch));
    }
}

QTEST_MAIN(FontFitTest)
#include "font_fit_test.moc"
