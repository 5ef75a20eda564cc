// The batch import at full size: tidying seven pasted columns of 200,000 lines, the tidy command of the import
// window on boxes of that size, and adding 100,000 rows to a fresh store in one transaction.
#include "import/bulk_import.h"
#include "import/import_window.h"
#include "import/tidy.h"
#include "store/directory_store.h"
#include "text/gbk.h"

#include <benchmark/benchmark.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>

#include <cstdio>
#include <ctime>
#include <random>

using namespace telvane;
using namespace Qt::StringLiterals;

namespace {

constexpr int kTidyLines = 200'000;
constexpr int kImportRows = 100'000;

// Pasted spreadsheet columns as users have them: names with stray spaces and letters, long unit names, remarks
// that mix Chinese, Latin and full-width text and often run past 32 bytes, telephone numbers with extensions.
std::array<QString, 7> pastedColumns(int lines)
{
    static const QString surnames = u"张王李赵刘陈杨黄周吴徐孙马朱胡郭何高林罗郑梁谢宋唐许韩冯邓曹彭曾肖田董袁潘"_s;
    static const QString given = u"伟芳娜敏静丽强磊军洋勇艳杰娟涛明超秀霞平刚桂英华玉兰红梅志国建文"_s;
    static const QString unitWords = u"北京市上海广州深圳第一人民医院中学分公司科技有限责任工业大学研究所办事处"_s;
    std::mt19937 random(20240601);
    auto pick = [&](const QString& from) { return from[static_cast<qsizetype>(random() % from.size())]; };
    std::array<QString, 7> columns;
    for (QString& c : columns) {
        c.reserve(lines * 20);
    }
    for (int i = 0; i < lines; ++i) {
        QString name = QString(pick(surnames)) + pick(given);
        if (i % 3 == 0) {
            name += pick(given);
        }
        if (i % 17 == 0) {
            name = name.left(1) + u" "_s + name.mid(1) + u"(A)"_s;
        }
        QString unit;
        const int unitLength = 4 + static_cast<int>(random() % 12);
        for (int k = 0; k < unitLength; ++k) {
            unit += pick(unitWords);
        }
        QString remark =
            i % 4 == 0 ? QString() : u"  客户 VIP%1 ３楼办公室，周一至周五 9:00-17:00 联系"_s.arg(i % 1000);
        const QString number = u"%1"_s.arg(10000000 + (i * 7919LL) % 89999999);
        QString office = i % 5 == 0 ? u"０１０－"_s + number : u"010 "_s + number.left(4) + u" "_s + number.mid(4);
        if (i % 7 == 0) {
            office += u" 转"_s + QString::number(i % 900 + 100);
        }
        const QString home = i % 2 == 0 ? QString() : u"0571-"_s + number;
        const QString mobile = u"13%1"_s.arg(100000000 + (i * 104729LL) % 899999999);
        const QString phs = i % 3 == 0 ? u"0571 "_s + number.left(7) : QString();
        const std::array<const QString*, 7> cells {&name, &unit, &remark, &office, &home, &mobile, &phs};
        for (std::size_t k = 0; k < 7; ++k) {
            columns[k] += *cells[k];
            columns[k] += u"\r\n"_s;
        }
    }
    return columns;
}

// Built once: the benchmark library calls each benchmark function several times.
const std::array<QString, 7>& pasted()
{
    static const std::array<QString, 7> columns = pastedColumns(kTidyLines);
    return columns;
}

// The first `lines` lines of the pasted columns, as GBK.
telvane::import::ColumnTexts gbkColumns(int lines)
{
    import::ColumnTexts gbk;
    for (std::size_t k = 0; k < 7; ++k) {
        QString c = pasted()[k];
        qsizetype at = -1;
        int taken = 0;
        while (taken < lines) {
            at = c.indexOf(u"\r\n"_s, at + 1);
            if (at < 0) {
                break;
            }
            ++taken;
        }
        if (at >= 0) {
            c.truncate(at + 2);
        }
        gbk[k] = text::toGbk(c);
    }
    return gbk;
}

void BM_TidySevenColumns(benchmark::State& state)
{
    static const import::ColumnTexts columns = gbkColumns(kTidyLines);
    std::size_t bytes = 0;
    for (const auto& c : columns) {
        bytes += c.size();
    }
    for (auto _ : state) {
        for (int k = 1; k <= 7; ++k) {
            benchmark::DoNotOptimize(import::tidyColumn(k, columns[static_cast<std::size_t>(k - 1)]));
        }
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * bytes));
    state.counters["lines"] = kTidyLines;
}
BENCHMARK(BM_TidySevenColumns)->Unit(benchmark::kMillisecond)->Repetitions(5)->ReportAggregatesOnly(true);

// Lets the shown window lay out its boxes, as it has long done by the time the user clicks.
void settle()
{
    QElapsedTimer timer;
    timer.start();
    while (timer.elapsed() < 300) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
    }
}

qint64 threadCpuMs()
{
    timespec now {};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return static_cast<qint64>(now.tv_sec) * 1000 + now.tv_nsec / 1'000'000;
}

// Times the window's tidy command on seven boxes filled with `columns`, in a shown window, from the click until the
// boxes hold the tidied text. The work runs partly on worker threads, so the CPU time is the process's; gui_cpu_ms
// is the part the window's own thread did. A timer that should tick every 5 ms measures the longest time the
// window did not answer (longest_stall_ms).
void runWindowTidy(benchmark::State& state, const std::array<QString, 7>& columns)
{
    store::DirectoryStore store;
    qint64 longestStall = 0;
    qint64 guiCpu = 0;
    for (auto _ : state) {
        state.PauseTiming();
        import::ImportWindow window(store);
        window.show();
        settle();
        for (int k = 1; k <= 7; ++k) {
            window.findChild<QPlainTextEdit*>(u"编辑框%1"_s.arg(k))
                ->setPlainText(columns[static_cast<std::size_t>(k - 1)]);
        }
        settle();
        auto* tidy = window.findChild<QPushButton*>(u"整理按钮"_s);
        QElapsedTimer sinceTick;
        qint64 stall = 0;
        QTimer ticker;
        ticker.setInterval(5);
        QObject::connect(&ticker, &QTimer::timeout, [&] { stall = std::max(stall, sinceTick.restart()); });
        state.ResumeTiming();
        const qint64 cpuBefore = threadCpuMs();
        sinceTick.start();
        ticker.start();
        tidy->click();
        QElapsedTimer running;
        running.start();
        while (window.tidyPending() && running.elapsed() < 60'000) {
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents); // the ticker wakes it every 5 ms
        }
        stall = std::max(stall, sinceTick.elapsed());
        state.PauseTiming();
        guiCpu += threadCpuMs() - cpuBefore;
        ticker.stop();
        longestStall = std::max(longestStall, stall);
        if (window.tidyPending()) {
            state.SkipWithError("the window did not tidy");
        }
        state.ResumeTiming();
    }
    state.counters["longest_stall_ms"] = static_cast<double>(longestStall);
    state.counters["gui_cpu_ms"] = benchmark::Counter(static_cast<double>(guiCpu), benchmark::Counter::kAvgIterations);
}

// The window's tidy command as the user meets it: read seven boxes of 200,000 lines, tidy, write them back.
void BM_WindowTidyCommand(benchmark::State& state)
{
    runWindowTidy(state, pasted());
}
BENCHMARK(BM_WindowTidyCommand)
    ->Unit(benchmark::kMillisecond)
    ->MeasureProcessCPUTime()
    ->Repetitions(3)
    ->Iterations(1)
    ->ReportAggregatesOnly(true);

// The same command on columns that tidying leaves as they are (clean spreadsheet columns pasted without the line
// break after the last cell): only the final line break is added to each box.
void BM_WindowTidyCleanColumns(benchmark::State& state)
{
    static const std::array<QString, 7> clean = [] {
        // Tidied twice: the first pass can leave a space at the end of a cut line, which the next one trims.
        const import::ColumnTexts tidied = import::tidyColumns(import::tidyColumns(gbkColumns(kTidyLines)));
        std::array<QString, 7> columns;
        for (std::size_t k = 0; k < 7; ++k) {
            columns[k] = text::fromGbk(tidied[k]).chopped(2);
        }
        return columns;
    }();
    runWindowTidy(state, clean);
}
BENCHMARK(BM_WindowTidyCleanColumns)
    ->Unit(benchmark::kMillisecond)
    ->MeasureProcessCPUTime()
    ->Repetitions(3)
    ->Iterations(1)
    ->ReportAggregatesOnly(true);

// The Row table alone: the second tidying and the split into 100,000 records.
void BM_BuildRecords(benchmark::State& state)
{
    static const import::ColumnTexts columns = import::tidyColumns(gbkColumns(kImportRows));
    for (auto _ : state) {
        benchmark::DoNotOptimize(import::importedRecords(columns));
    }
}
BENCHMARK(BM_BuildRecords)->Unit(benchmark::kMillisecond)->Repetitions(5)->ReportAggregatesOnly(true);

// Row table and one appendMany of 100,000 rows into a fresh store.
void BM_BulkImport(benchmark::State& state)
{
    static const import::ColumnTexts columns = import::tidyColumns(gbkColumns(kImportRows));
    for (auto _ : state) {
        state.PauseTiming();
        QTemporaryDir dir;
        const QString path = dir.filePath(u"DHB.EDB"_s);
        QString error;
        store::DirectoryStore store;
        if (!store::DirectoryStore::create(path, &error) || !store.open(path, &error)) {
            state.SkipWithError(qPrintable(error));
            break;
        }
        state.ResumeTiming();
        const std::vector<store::Record> records = import::importedRecords(columns);
        if (!store.appendMany(records, &error)) {
            state.SkipWithError(qPrintable(error));
            break;
        }
        state.PauseTiming();
        if (store.recordCount() != kImportRows) {
            state.SkipWithError("wrong record count");
        }
        store.close();
        state.ResumeTiming();
    }
    state.counters["rows"] = kImportRows;
}
BENCHMARK(BM_BulkImport)->Unit(benchmark::kMillisecond)->Repetitions(5)->Iterations(1)->ReportAggregatesOnly(true);

} // namespace

int main(int argc, char** argv)
{
    QElapsedTimer timer;
    timer.start();
    pasted();
    std::fprintf(stderr, "input built in %lld ms\n", static_cast<long long>(timer.elapsed()));
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) {
        return 1;
    }
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
