#pragma once

#include <QDialog>

namespace telvane::widgets {
class PictureButton;
}

namespace telvane::help {

// The "about" panel: a borderless 430 x 300 window at (50, 50) showing one picture (title, version and a few lines
// about the program) and `关闭按钮`, which closes it. Modal and owned by the window that opened it; each opening
// creates a new one and closing destroys it. It can be dragged by its background.
class HelpWindow : public QDialog
{
    Q_OBJECT

public:
    explicit HelpWindow(QWidget* owner);

    // Opens a Help window owned by `owner`, waits until the user closes it, and destroys it.
    static void showModal(QWidget* owner);

    widgets::PictureButton* 关闭按钮;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QPixmap m_background;
};

} // namespace telvane::help
