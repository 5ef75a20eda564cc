#pragma once

#include <QPushButton>

namespace telvane::widgets {

// A push button whose caption takes two lines, as 整理 / 数据 does in a button 49 pixels wide and 35 high. A caption
// written on one line (重新输入) that is too wide is broken in the middle. Both lines are drawn inside the button's
// frame, centred, one above the other as close as the characters' ink allows: the faces that stand in for 宋体 have
// lines far taller than their characters, and two such lines would not fit. When even that does not fit, the
// caption is drawn a pixel smaller until it does.
class TwoLineButton : public QPushButton
{
public:
    explicit TwoLineButton(const QString& caption = {}, QWidget* parent = nullptr);

    // Shows a caption; a line break in it separates the lines. A screen reader hears the caption without the break.
    void setCaption(const QString& caption);

protected:
    void paintEvent(QPaintEvent* event) override;
};

} // namespace telvane::widgets
