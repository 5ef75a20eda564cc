#pragma once

#include <QColor>

class QWidget;

namespace telvane::widgets {

// Paints a control's background and text in every state (active, inactive, disabled), its background filled.
void setColours(QWidget* widget, const QColor& background, const QColor& text);

} // namespace telvane::widgets
