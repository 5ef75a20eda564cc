// Starts the Main window as the program does (offscreen) on the store in a folder and reports, one "name value" per
// line: when its first paint happened, when a query typed right away was answered (while the index is still being
// built), how long the answer took from the key, when the index was ready, how long the first key took to show its
// rows after a few idle seconds, how long the next query took, the process's memory after it, and (with --editor)
// how long the list editor took to show and how much memory it added. Run by app_bench, one process per
// measurement, so every start is a cold start of the program.
// Usage: startup_probe FOLDER QUERY [--editor]
#include "app/main_window.h"
#include "app/window_coordinator.h"
#include "editor/list_editor_window.h"
#include "editor/record_table_model.h"
#include "widgets/byte_line_edit.h"
#include "widgets/fonts.h"
#include "widgets/picture_button.h"
#include "widgets/query_box.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QKeyEvent>
#include <QLabel>
#include <QTableView>
#include <QTest>
#include <QTimer>

#include <cstdio>

using namespace Qt::StringLiterals;

namespace {

QElapsedTimer g_clock;

double megabytes(const char* field)
{
    QFile status(u"/proc/self/status"_s);
    if (!status.open(QIODevice::ReadOnly)) {
        return -1;
    }
    for (const QByteArray& line : status.readAll().split('\n')) {
        if (line.startsWith(field)) {
            return line.mid(static_cast<qsizetype>(std::strlen(field))).trimmed().split(' ').value(0).toDouble() / 1024;
        }
    }
    return -1;
}

// Notes the time of a widget's first paint.
class FirstPaint : public QObject
{
public:
    double ms = -1;
    bool eventFilter(QObject*, QEvent* event) override
    {
        if (event->type() == QEvent::Paint && ms < 0) {
            ms = static_cast<double>(g_clock.nsecsElapsed()) / 1e6;
        }
        return false;
    }
};

void report(const char* name, double value)
{
    std::printf("%s %.3f\n", name, value);
}

} // namespace

int main(int argc, char** argv)
{
    g_clock.start();
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    if (argc < 3) {
        std::fputs("usage: startup_probe FOLDER QUERY [--editor]\n", stderr);
        return 1;
    }
    telvane::widgets::installFontSubstitutes();
    telvane::app::MainWindow window(QString::fromLocal8Bit(argv[1]));
    telvane::app::WindowCoordinator windows(window);
    FirstPaint painted;
    window.installEventFilter(&painted);
    if (!window.startUp()) {
        return 2;
    }
    window.show();
    while (painted.ms < 0) {
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    }
    report("paint_ms", painted.ms);

    // The waits below sleep until something happens, as the program's own event loop does: a loop that polls would
    // take a core from the threads being measured. A beat makes sure every wait looks at its condition again.
    QTimer beat;
    beat.start(20);

    // A query typed at once, key by key, as a person would.
    const QString query = QString::fromLocal8Bit(argv[2]);
    const double typed = static_cast<double>(g_clock.nsecsElapsed()) / 1e6;
    for (const QChar c : query) {
        QTest::keyClick(window.查询框, c.toLatin1());
    }
    // Answered when the count label shows the results (the query must find some).
    QElapsedTimer waited;
    waited.start();
    while (window.数量标签->text().isEmpty() && waited.elapsed() < 60000) {
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    }
    const double answered = static_cast<double>(g_clock.nsecsElapsed()) / 1e6;
    report("answer_ms", answered);
    report("first_wait_ms", answered - typed);
    report("results", static_cast<double>(window.queryMode().results().size()));

    // A query typed into the box, from its first key to the rows on screen.
    const auto type = [&](const QString& query) {
        QTest::keyClick(window.查询框, Qt::Key_A, Qt::ControlModifier);
        QElapsedTimer key;
        key.start();
        for (const QChar c : query) {
            QTest::keyClick(window.查询框, c.toLatin1());
        }
        while (window.queryMode().isWaiting()) {
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
        }
        QCoreApplication::processEvents();
        return static_cast<double>(key.nsecsElapsed()) / 1e6;
    };
    // The index ready; then the first key after a few idle seconds, as a person comes back to the window.
    while (!window.directory().isReady()) {
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    }
    report("ready_ms", static_cast<double>(g_clock.nsecsElapsed()) / 1e6);
    QElapsedTimer idle;
    idle.start();
    while (idle.elapsed() < 3000) {
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    }
    report("idle_key_ms", type(u"z"_s));

    // The next query, typed once the program is up.
    report("key_to_rows_ms", type(QString::fromLocal8Bit(argc > 4 ? argv[4] : "138")));
    report("rss_mb", megabytes("VmRSS:"));

    if (argc > 3 && QByteArray(argv[3]) == "--editor") {
        const double before = megabytes("VmRSS:");
        QElapsedTimer opening;
        opening.start();
        window.表格按钮->click();
        telvane::editor::ListEditorWindow* editor = windows.listEditor();
        if (!editor) {
            return 3;
        }
        FirstPaint shown;
        editor->findChild<QTableView*>()->viewport()->installEventFilter(&shown);
        while (shown.ms < 0) {
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
        }
        report("editor_ms", static_cast<double>(opening.nsecsElapsed()) / 1e6);
        report("editor_rss_mb", megabytes("VmRSS:") - before);
        report("editor_rows", editor->model() ? editor->model()->rowCount() : -1);
    }
    std::fflush(stdout);
    return 0;
}
