#pragma once

class QWidget;

namespace telvane::widgets {

// Lets the user move a borderless window by pressing the left mouse button on its own background (not on one of
// its controls) and dragging. The window manager moves it where it can; elsewhere the window follows the mouse.
// The window still receives all its mouse events.
void makeDraggableByBackground(QWidget* window);

} // namespace telvane::widgets
