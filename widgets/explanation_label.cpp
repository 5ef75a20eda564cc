#include "widgets/explanation_label.h"

#include <QPainter>
#include <QTextLayout>

namespace telvane::widgets {

void ExplanationLabel::setExplanation(const QString& text)
{
    setText(text);
    setToolTip(text.trimmed());
}

void ExplanationLabel::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setPen(palette().color(QPalette::WindowText));
    const int size = font().pixelSize();
    QTextLayout layout(text(), font());
    QTextOption option;
    option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    layout.setTextOption(option);
    layout.beginLayout();
    // Ideographs fill the 0.88 em above the baseline and 0.12 em below it.
    qreal baseline = 0.88 * size;
    for (QTextLine line = layout.createLine(); line.isValid(); line = layout.createLine()) {
        line.setLineWidth(width());
        line.setPosition(QPointF(0, baseline - line.ascent()));
        baseline += size + 1;
    }
    layout.endLayout();
    layout.draw(&painter, QPointF(0, 0));
}

} // namespace telvane::widgets
