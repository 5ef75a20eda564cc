#include "widgets/colours.h"

#include <QPalette>
#include <QWidget>

namespace telvane::widgets {

void setColours(QWidget* widget, const QColor& background, const QColor& text)
{
    QPalette p = widget->palette();
    for (const auto group : {QPalette::Active, QPalette::Inactive, QPalette::Disabled}) {
        p.setColor(group, QPalette::Window, background);
        p.setColor(group, QPalette::Base, background);
        p.setColor(group, QPalette::WindowText, text);
        p.setColor(group, QPalette::Text, text);
    }
    widget->setPalette(p);
    widget->setAutoFillBackground(true);
}

} // namespace telvane::widgets
