#include "widgets/fonts.h"

#include <QStringList>

using namespace Qt::StringLiterals;

namespace telvane::widgets {

void installFontSubstitutes()
{
    // AR PL UMing CN has 宋体's metrics at the form's sizes (12, 14 and 16 px): Latin letters and digits half the
    // height wide, a line exactly as high as the pixel size (ascent 14 + descent 2 at 16 px), so 11 digits fill
    // 手机框 and descenders stay inside the 18 px boxes. The Noto faces are taller (23 px lines at 16 px) and their
    // digits wider (8.9 px); they come after it, and fontconfig draws the characters UMing lacks from them.
    const QStringList substitutes {
        u"SimSun"_s,           u"NSimSun"_s,           u"AR PL UMing CN"_s,     u"Noto Serif CJK SC"_s,
        u"Noto Sans CJK SC"_s, u"WenQuanYi Zen Hei"_s, u"WenQuanYi Micro Hei"_s};
    for (const QString& family : {u"宋体"_s, u"SimSun"_s}) {
        QStringList list = substitutes;
        list.removeAll(family);
        QFont::removeSubstitutions(family);
        QFont::insertSubstitutions(family, list);
    }
}

QFont songti(int pixelHeight)
{
    QFont font(u"宋体"_s);
    font.setPixelSize(pixelHeight);
    font.setWeight(QFont::Normal);
    font.setItalic(false);
    font.setUnderline(false);
    return font;
}

} // namespace telvane::widgets
