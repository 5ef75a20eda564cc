#pragma once

#include <QLabel>

namespace telvane::widgets {

// A label of wrapped plain text whose lines stand one character height plus one pixel apart: 35 pixels hold two
// lines of 16-pixel characters only so, closer than the stand-in faces' own line spacing. Text that does not fit
// is in the tooltip as well.
class ExplanationLabel : public QLabel
{
public:
    using QLabel::QLabel;

    // Shows the text and puts it, without the spaces at its ends, in the tooltip.
    void setExplanation(const QString& text);

protected:
    void paintEvent(QPaintEvent* event) override;
};

} // namespace telvane::widgets
