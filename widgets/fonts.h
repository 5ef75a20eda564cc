#pragma once

#include <QFont>

namespace telvane::widgets {

// Text controls ask for the face 宋体, which Linux does not have under that name: registers the faces that stand in
// for it (SimSun and NSimSun where installed, then AR PL UMing CN, whose metrics fit the forms, then the Noto CJK
// and WenQuanYi faces). Call once at start-up.
void installFontSubstitutes();

// The 宋体 face at a character height in pixels, normal weight, no italic, no underline.
QFont songti(int pixelHeight);

} // namespace telvane::widgets
