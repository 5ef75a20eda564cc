#include "query/scan_helper.h"

#include <QTest>

#include <atomic>
#include <chrono>
#include <functional>
#include <thread>

using telvane::query::detail::ScanHelper;

// The helper must run every job it is given exactly once, and finish() must not return before the job is done; and
// it must stop when it goes.
class ScanHelperTest : public QObject
{
    Q_OBJECT

private slots:
    void runsEachJob_data()
    {
        QTest::addColumn<int>("pauseMs"); // between jobs
        QTest::newRow("one after another") << 0;
        QTest::newRow("asleep between jobs") << 5;
    }
    void runsEachJob()
    {
        QFETCH(int, pauseMs);
        ScanHelper helper;
        std::atomic<int> runs {0};
        int done = 0;
        const std::function<void()> job = [&] {
            // Long enough that finish() is reached before the job ends.
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
            done = runs.fetch_add(1) + 1;
        };
        for (int round = 1; round <= 20; ++round) {
            std::this_thread::sleep_for(std::chrono::milliseconds(pauseMs));
            QVERIFY(helper.start(job));
            helper.finish();
            QCOMPARE(done, round);
        }
        QCOMPARE(runs.load(), 20);
    }
    void stopsAfterAJob()
    {
        // Destroyed with its thread asleep: the thread stops and is joined, touching nothing freed (the sanitizer
        // build watches that).
        for (int i = 0; i < 20; ++i) {
            ScanHelper helper;
            int runs = 0;
            const std::function<void()> job = [&] { ++runs; };
            QVERIFY(helper.start(job));
            helper.finish();
            QCOMPARE(runs, 1);
        }
    }
};

QTEST_GUILESS_MAIN(ScanHelperTest)
#include "scan_helper_test.moc"
