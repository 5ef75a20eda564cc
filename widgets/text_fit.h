#pragma once

class QLabel;
class QLineEdit;

namespace telvane::widgets {

// The form's boxes are sized for text that runs from one side of the frame to the other: 11 digits of 8 px fill the
// 89 px inside 手机框's frame. QLineEdit keeps 2 px of its own between the frame and the text on each side and
// scrolls the text sideways once the text and the cursor behind it no longer fit what is left. Gives the box those
// pixels back, so the text uses the whole inside of the frame.
void letTextFillFrame(QLineEdit* box);

// Keeps the whole text of a one-line label visible: whenever the text is wider than the label, it is drawn narrower
// (the font's stretch, at the same pixel height) until it fits, instead of losing its ends. 数量标签 and 页数标签
// are 46 px wide; "99999/99999页" takes 78 px at 12 px and is shown at 59 % width. Text that fits is left alone.
void narrowTextToFit(QLabel* label);

// The same for a one-line edit box, as its text changes (typed or set): text wider than the box's line is drawn
// narrower, down to `floorPercent` of its width; text that would need less scrolls sideways at that width. The
// height stays. 姓名框 is 71 px wide and five characters of 16 px take 80 px: they are drawn at 82 %.
void narrowTextToFit(QLineEdit* box, int floorPercent = 80);

// Draws the box's present text narrower (down to half its width) when it runs past `pixels` from the box's left
// edge, as the record counter in 查询框 must end where 确定按钮 lies over the box; the face's own width otherwise.
void narrowTextWithin(QLineEdit* box, int pixels);

} // namespace telvane::widgets
