#include "widgets/fonts.h"

#include <QStringList>

using namespace Qt::StringLiterals;

namespace telvane::widgets {

void installFontSubstitutes()
{
    const QStringList substitutes {u"SimSun"_s,           u"NSimSun"_s,           u"Noto Serif CJK SC"_s,
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
