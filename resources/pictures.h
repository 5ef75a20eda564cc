#pragma once

#include <QIcon>
#include <QList>
#include <QPixmap>
#include <QStringView>

// The program's pictures: window backgrounds, the state pictures of the picture buttons, and the icons.
namespace telvane::resources {

// The picture of that name, e.g. picture(u"close_hover") is ":/pictures/close_hover.jpg" (or .png).
// A null pixmap for an unknown name.
QPixmap picture(QStringView name);

// The state pictures of one button: base_normal, base_hover, base_pressed and, for count 4, base_disabled.
// For the Save button ("save", 3): save_normal, save_highlighted, save_disabled.
QList<QPixmap> pictureStates(QStringView base, int count);

// The 32 x 32 Program icon (a person in front of a computer screen): the Main window's and the tray's icon.
QIcon programIcon();
// The program file's own icon, shown until start-up sets the Program icon: a person beside a magnifying glass,
// 48, 32 and 16 pixels.
QIcon appIcon();
// A list page with a person in front of it: the list editor's and the import window's icon.
QIcon listIcon();

} // namespace telvane::resources
