// The whole program at 100,000 and 1,000,000 records, each figure from a fresh process as a user meets it:
// - StartUp: the Main window's first paint after the start (the time); a query typed at once, answered while the index
//   is built (answer_ms from the start, first_wait_ms from the key); the index ready (ready_ms from the start); the
//   first key after three idle seconds, from the key to the rows on screen (idle_key_ms); the next query typed
//   (key_to_rows_ms); the process's memory after it (rss_mb).
// - ListEditor: opening the list editor from the Main window until the grid is painted, and the memory it adds.
// - CliCount, CliImport: telvane-cli count, and telvane-cli import of that many rows into a new store (time, and the
//   peak memory of the importing process, peak_mb).
#include "bench/directory_data.h"

#include <benchmark/benchmark.h>

#include <QByteArray>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMap>
#include <QTemporaryDir>

#include <chrono>
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace telvane;
using namespace Qt::StringLiterals;

namespace {

struct Run
{
    QMap<QByteArray, double> values; // "name value" lines the child printed
    double wallMs = 0;
    double peakMb = 0;
    int status = -1;
};

// Runs a program with standard input from a file (or nothing) and collects its output, time and peak memory.
Run run(const std::vector<QByteArray>& argv, const QString& input = {})
{
    Run r;
    int out[2];
    if (::pipe(out) != 0) {
        return r;
    }
    const auto start = std::chrono::steady_clock::now();
    const pid_t child = ::fork();
    if (child == 0) {
        ::dup2(out[1], 1);
        ::close(out[0]);
        const int in = ::open(input.isEmpty() ? "/dev/null" : QFile::encodeName(input).constData(), O_RDONLY);
        ::dup2(in, 0);
        std::vector<char*> args;
        for (const QByteArray& a : argv) {
            args.push_back(const_cast<char*>(a.constData()));
        }
        args.push_back(nullptr);
        ::execv(args[0], args.data());
        ::_exit(127);
    }
    ::close(out[1]);
    QByteArray text;
    char buffer[4096];
    ssize_t n;
    while ((n = ::read(out[0], buffer, sizeof buffer)) > 0) {
        text.append(buffer, n);
    }
    ::close(out[0]);
    struct rusage usage
    {
    };
    ::wait4(child, &r.status, 0, &usage);
    r.wallMs = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
    r.peakMb = static_cast<double>(usage.ru_maxrss) / 1024;
    for (const QByteArray& line : text.split('\n')) {
        const QList<QByteArray> f = line.split(' ');
        if (f.size() == 2) {
            r.values[f[0]] = f[1].toDouble();
        }
    }
    return r;
}

QByteArray folderOf(int count)
{
    return QFile::encodeName(QFileInfo(bench::directoryStore(count)).absolutePath());
}

const QByteArray kProbe = TELVANE_STARTUP_PROBE;
const QByteArray kCli = TELVANE_CLI;

void startUp(benchmark::State& state)
{
    const QByteArray folder = folderOf(static_cast<int>(state.range(0)));
    QMap<QByteArray, double> sum;
    for (auto _ : state) {
        const Run r = run({kProbe, folder, "zw"});
        if (r.status != 0) {
            state.SkipWithError("the probe failed");
            return;
        }
        state.SetIterationTime(r.values.value("paint_ms") / 1000);
        for (const char* name :
             {"answer_ms", "first_wait_ms", "ready_ms", "idle_key_ms", "key_to_rows_ms", "rss_mb", "results"}) {
            sum[name] += r.values.value(name);
        }
    }
    for (auto it = sum.cbegin(); it != sum.cend(); ++it) {
        state.counters[it.key().toStdString()] = it.value() / static_cast<double>(state.iterations());
    }
}

void listEditor(benchmark::State& state)
{
    const QByteArray folder = folderOf(static_cast<int>(state.range(0)));
    double memory = 0;
    for (auto _ : state) {
        const Run r = run({kProbe, folder, "zw", "--editor"});
        if (r.status != 0 || r.values.value("editor_rows") != static_cast<double>(state.range(0))) {
            state.SkipWithError("the probe failed");
            return;
        }
        state.SetIterationTime(r.values.value("editor_ms") / 1000);
        memory += r.values.value("editor_rss_mb");
    }
    state.counters["editor_rss_mb"] = memory / static_cast<double>(state.iterations());
}

void cliCount(benchmark::State& state)
{
    const QByteArray path = QFile::encodeName(bench::directoryStore(static_cast<int>(state.range(0))));
    for (auto _ : state) {
        const Run r = run({kCli, "count", path});
        if (r.status != 0) {
            state.SkipWithError("count failed");
            return;
        }
        state.SetIterationTime(r.wallMs / 1000);
    }
}

void cliImport(benchmark::State& state)
{
    const int count = static_cast<int>(state.range(0));
    QTemporaryDir dir;
    const QString input = dir.filePath(u"rows.tsv"_s);
    {
        QFile f(input);
        if (!f.open(QIODevice::WriteOnly) || f.write(bench::directoryTsv(count)) < 0) {
            state.SkipWithError("cannot write the input");
            return;
        }
    }
    double peak = 0;
    for (auto _ : state) {
        const QString store = dir.filePath(u"DHB.EDB"_s);
        QFile::remove(store);
        const Run r = run({kCli, "import", QFile::encodeName(store)}, input);
        if (r.status != 0) {
            state.SkipWithError("import failed");
            return;
        }
        state.SetIterationTime(r.wallMs / 1000);
        peak = std::max(peak, r.peakMb);
    }
    state.counters["peak_mb"] = peak;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication application(argc, argv);
    using Function = void (*)(benchmark::State&);
    const std::pair<const char*, Function> all[] {
        {"StartUp", startUp}, {"ListEditor", listEditor}, {"CliCount", cliCount}, {"CliImport", cliImport}};
    for (const auto& [name, function] : all) {
        benchmark::RegisterBenchmark(name, function)
            ->Arg(100000)
            ->Arg(1000000)
            ->UseManualTime()
            ->Unit(benchmark::kMillisecond)
            ->Iterations(5)
            ->ComputeStatistics("median",
                                [](const std::vector<double>& v) {
                                    std::vector<double> s = v;
                                    std::nth_element(s.begin(), s.begin() + static_cast<long>(s.size() / 2), s.end());
                                    return s[s.size() / 2];
                                })
            ->Repetitions(1);
    }
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) {
        return 1;
    }
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
