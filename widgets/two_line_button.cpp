#include "widgets/two_line_button.h"

#include <QFontInfo>
#include <QFontMetricsF>
#include <QStyleOptionButton>
#include <QStylePainter>

#include <algorithm>
#include <cmath>

using namespace Qt::StringLiterals;

namespace telvane::widgets {

TwoLineButton::TwoLineButton(const QString& caption, QWidget* parent)
    : QPushButton(parent)
{
    setCaption(caption);
}

void TwoLineButton::setCaption(const QString& caption)
{
    setText(caption);
    QString spoken = caption;
    spoken.remove(u'\n');
    setAccessibleName(spoken);
}

void TwoLineButton::paintEvent(QPaintEvent*)
{
    QStylePainter painter(this);
    QStyleOptionButton option;
    initStyleOption(&option);
    option.text.clear();
    painter.drawControl(QStyle::CE_PushButton, option);

    const QRectF area = style()->subElementRect(QStyle::SE_PushButtonContents, &option, this);
    QStringList lines = text().split(u'\n');
    QFont face = font();
    if (lines.size() == 1 && QFontMetricsF(face).horizontalAdvance(lines[0]) > area.width()) {
        const QString caption = lines[0];
        lines = {caption.left(caption.size() / 2), caption.mid(caption.size() / 2)};
    }

    // Lines are stacked by the ink of their characters, taken from the face actually drawn, not by the face's line
    // spacing; the gap between them is what room is left, from one pixel up to a fifth of the character height.
    QList<QRectF> ink;
    qreal height = 0;
    qreal gap = 0;
    for (;;) {
        const QFontMetricsF metrics(face);
        const int size = QFontInfo(face).pixelSize();
        ink.clear();
        qreal width = 0;
        height = 0;
        for (const QString& line : lines) {
            const QRectF r = metrics.tightBoundingRect(line);
            ink.append(r);
            width = std::max(width, r.width());
            height += std::ceil(r.height());
        }
        const qreal gaps = lines.size() - 1;
        const qreal spare = area.height() - height;
        gap = gaps > 0 ? std::clamp(std::floor(spare / gaps), 1.0, std::max(1.0, std::round(size / 5.0))) : 0;
        height += gap * gaps;
        if ((height <= area.height() && width <= area.width()) || size <= 6) {
            break;
        }
        face.setPixelSize(size - 1);
    }

    painter.setFont(face);
    painter.setPen(option.palette.color(QPalette::ButtonText));
    qreal top = area.top() + std::floor((area.height() - height) / 2);
    for (qsizetype i = 0; i < lines.size(); ++i) {
        const QRectF& r = ink[i];
        const qreal left = area.left() + std::floor((area.width() - r.width()) / 2);
        painter.drawText(QPointF(std::round(left - r.left()), std::round(top - r.top())), lines[i]);
        top += std::ceil(r.height()) + gap;
    }
}

} // namespace telvane::widgets
