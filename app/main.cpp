#include "app/main_window.h"
#include "app/store_location.h"
#include "app/window_coordinator.h"
#include "store/auto_backup.h"
#include "widgets/fonts.h"
#include "widgets/qt_translations.h"

#include <QApplication>
#include <QSocketNotifier>

#include <csignal>
#include <cstdio>
#include <sys/socket.h>
#include <unistd.h>

namespace {

int g_signalPipe[2] = {-1, -1};

void onTerminate(int)
{
    const char byte = 1;
    [[maybe_unused]] const auto n = ::write(g_signalPipe[0], &byte, 1);
}

// When the session ends or the program is told to stop, leave as 关闭按钮 does: the store closed, exit code 0.
void endCleanlyOnSignals(telvane::app::MainWindow& window)
{
    if (::socketpair(AF_UNIX, SOCK_STREAM, 0, g_signalPipe) != 0) {
        return;
    }
    auto* notifier = new QSocketNotifier(g_signalPipe[1], QSocketNotifier::Read, &window);
    QObject::connect(notifier, &QSocketNotifier::activated, &window, [&window] { window.shutDown(); });
    struct sigaction action
    {
    };
    action.sa_handler = onTerminate;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (int s : {SIGTERM, SIGHUP, SIGINT}) {
        ::sigaction(s, &action, nullptr);
    }
}

} // namespace

int main(int argc, char** argv)
{
    QApplication application(argc, argv);
    // The program ends through the Main window only; other windows closing leave it running.
    QApplication::setQuitOnLastWindowClosed(false);
    telvane::widgets::installFontSubstitutes();
    telvane::widgets::installQtTranslations();

    const auto store = telvane::app::storeForThisRun();
    if (!store) {
        return 2;
    }
    // Every save of the day's first, from any window, is preceded by the day's backup beside the store. A backup
    // that cannot be made never stops the save; the windows that back up before an import or a deletion say so
    // themselves, the daily one on standard error.
    telvane::store::setDailyBackups(
        true, [](const QString& warning) { std::fprintf(stderr, "telvane: %s\n", warning.toLocal8Bit().constData()); });
    telvane::app::MainWindow window(store->folder);
    window.setStoreFile(store->file);
    telvane::app::WindowCoordinator windows(window);
    endCleanlyOnSignals(window);
    // The start-up runs before the window is shown: a refusal (read-only folder, a file that is no store) is a
    // message on its own, with no window behind it that could not be used.
    if (window.startUp()) {
        window.show();
        QApplication::exec();
    }
    return 0;
}
