#include "widgets/text_fit.h"

#include <QEvent>
#include <QFontMetrics>
#include <QLabel>
#include <QLineEdit>
#include <QStyle>
#include <QStyleOptionFrame>

#include <cmath>

namespace telvane::widgets {

namespace {

// QLineEditPrivate::horizontalMargin: the gap QLineEdit leaves on each side of its text inside the frame.
constexpr int kLineEditTextGap = 2;

int textWidth(QFont font, int stretch, const QString& text)
{
    font.setStretch(stretch);
    return QFontMetrics(font).horizontalAdvance(text);
}

// The widest stretch (percent) at which the text fits the width; AnyStretch when it fits as it is.
int stretchToFit(const QFont& font, const QString& text, int width)
{
    const int natural = textWidth(font, QFont::AnyStretch, text);
    if (natural <= width || width <= 0) {
        return QFont::AnyStretch;
    }
    int stretch = std::max(1, 100 * width / natural);
    while (stretch > 1 && textWidth(font, stretch, text) > width) {
        --stretch;
    }
    return stretch;
}

// Sets the label's stretch for its current text just before it paints: a label has no signal for a new text, and
// every new text is painted.
class NarrowingFilter : public QObject
{
public:
    using QObject::QObject;

    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::Paint) {
            auto* label = static_cast<QLabel*>(watched);
            const int margin = label->margin();
            const int width = label->contentsRect().width() - 2 * margin - std::max(label->indent(), 0);
            QFont font = label->font();
            const int stretch = stretchToFit(font, label->text(), width);
            if (font.stretch() != stretch) {
                font.setStretch(stretch);
                label->setFont(font);
            }
        }
        return false;
    }
};

// QLineEdit's option for its frame, exactly as it paints itself (initStyleOption is protected).
struct LineEditOption : QLineEdit
{
    using QLineEdit::initStyleOption;
};

// The width of the line a box draws its text in: the style's content rectangle less the box's text margins, less
// QLineEdit's own gap on both sides.
int lineWidth(QLineEdit* box)
{
    QStyleOptionFrame option;
    const auto init = &LineEditOption::initStyleOption;
    (box->*init)(&option);
    const QRect contents = box->style()->subElementRect(QStyle::SE_LineEditContents, &option, box);
    return contents.marginsRemoved(box->textMargins()).width() - 2 * kLineEditTextGap;
}

// Where a box's text begins, from the box's left edge.
int textStart(QLineEdit* box)
{
    QStyleOptionFrame option;
    const auto init = &LineEditOption::initStyleOption;
    (box->*init)(&option);
    const QRect contents = box->style()->subElementRect(QStyle::SE_LineEditContents, &option, box);
    return contents.marginsRemoved(box->textMargins()).left() + kLineEditTextGap;
}

// Whether the text is shown whole: QLineEdit scrolls once the text and the one-pixel cursor behind it are wider
// than its line.
bool fitsLine(QFont font, int stretch, const QString& text, int width)
{
    font.setStretch(stretch);
    return static_cast<int>(std::ceil(QFontMetricsF(font).horizontalAdvance(text))) + 1 <= width;
}

void fitBox(QLineEdit* box, int floorPercent)
{
    QFont font = box->font();
    const QString text = box->displayText();
    const int width = lineWidth(box);
    int stretch = QFont::AnyStretch;
    if (!fitsLine(font, QFont::AnyStretch, text, width)) {
        stretch = 99;
        while (stretch > floorPercent && !fitsLine(font, stretch, text, width)) {
            --stretch;
        }
    }
    if (font.stretch() != stretch) {
        font.setStretch(stretch);
        box->setFont(font);
    }
}

} // namespace

void letTextFillFrame(QLineEdit* box)
{
    box->setTextMargins(-kLineEditTextGap, 0, -kLineEditTextGap, 0);
}

void narrowTextToFit(QLabel* label)
{
    label->installEventFilter(new NarrowingFilter(label));
}

void narrowTextWithin(QLineEdit* box, int pixels)
{
    QFont font = box->font();
    const QString text = box->displayText();
    const int width = pixels - textStart(box);
    int stretch = QFont::AnyStretch;
    if (!fitsLine(font, QFont::AnyStretch, text, width)) {
        stretch = 99;
        while (stretch > 50 && !fitsLine(font, stretch, text, width)) {
            --stretch;
        }
    }
    font.setStretch(stretch);
    box->setFont(font);
}

void narrowTextToFit(QLineEdit* box, int floorPercent)
{
    QObject::connect(box, &QLineEdit::textChanged, box, [box, floorPercent] { fitBox(box, floorPercent); });
    fitBox(box, floorPercent);
}

} // namespace telvane::widgets
