#include "app/main_window.h"
#include "app/window_coordinator.h"
#include "widgets/fonts.h"

#include <QApplication>

int main(int argc, char** argv)
{
    QApplication application(argc, argv);
    // The program ends through the Main window only; other windows closing leave it running.
    QApplication::setQuitOnLastWindowClosed(false);
    telvane::widgets::installFontSubstitutes();

    telvane::app::MainWindow window(QCoreApplication::applicationDirPath());
    telvane::app::WindowCoordinator windows(window);
    window.show();
    if (window.startUp()) {
        QApplication::exec();
    }
    return 0;
}
