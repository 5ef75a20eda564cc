#include "help/help_window.h"

#include "resources/pictures.h"
#include "widgets/picture_button.h"
#include "widgets/window_drag.h"

#include <QIcon>
#include <QPainter>
#include <QPointer>

using namespace Qt::StringLiterals;

namespace telvane::help {

HelpWindow::HelpWindow(QWidget* owner)
    : QDialog(owner, Qt::Dialog | Qt::FramelessWindowHint)
    , 关闭按钮(new widgets::PictureButton(widgets::PictureButton::Kind::ThreeState,
                                          resources::pictureStates(u"close", 3), this))
    , m_background(resources::picture(u"help_background"))
{
    setObjectName(u"HelpWindow"_s);
    // No title bar shows it, but task bars, window lists and screen readers do: it carries its owner's title, so
    // that it is listed with the window it belongs to.
    setWindowTitle(owner ? owner->window()->windowTitle() : u"Quorvel v1.4"_s);
    // What the picture says, for a screen reader.
    setAccessibleDescription(u"快速电话查号程序 Telvane V1.4。智能查询：键入姓名的拼音首字母，zs 即找到张三。"
                             u"数字查询：键入号码中任意几位，电话备注一查便知。"
                             u"批量导入：从电子表格整列复制粘贴，一次全部导入。愿它帮您随时找到要找的人！"_s);
    setWindowIcon(QIcon());
    setModal(true);
    setFixedSize(430, 300);
    // Screen position: a top-level window's move() is in screen coordinates, and it keeps Qt from centring the
    // dialog over its owner when shown.
    move(50, 50);

    关闭按钮->setObjectName(u"关闭按钮"_s);
    关闭按钮->setAccessibleName(u"关闭"_s);
    关闭按钮->setGeometry(400, 2, 28, 28);
    connect(关闭按钮, &QAbstractButton::clicked, this, &QWidget::close);

    widgets::makeDraggableByBackground(this);
}

void HelpWindow::showModal(QWidget* owner)
{
    // The owner may be destroyed while the window is open (the list editor closing): the guard sees that.
    QPointer<HelpWindow> window = new HelpWindow(owner);
    window->exec();
    delete window.data();
}

void HelpWindow::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.drawPixmap(rect(), m_background);
}

} // namespace telvane::help
