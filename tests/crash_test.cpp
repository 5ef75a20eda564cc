// A writer killed with SIGKILL at random moments, many times over, in the middle of single saves and of bulk
// imports. After every kill: the file passes SQLite's integrity check, the store opens, every import batch is
// complete or absent, and no save or batch the writer reported done is missing.
#include "store/directory_store.h"

#include <QProcess>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>

#include <sqlite3.h>

using namespace Qt::StringLiterals;
using namespace telvane;

namespace {

constexpr int kKills = 30;
constexpr int kBatchSize = 400;

// A read-only connection of its own, as another tool would open the file after the crash.
class Reader
{
public:
    explicit Reader(const QString& path)
    {
        m_rc = sqlite3_open_v2(path.toUtf8().constData(), &m_db, SQLITE_OPEN_READONLY, nullptr);
    }
    ~Reader() { sqlite3_close(m_db); }
    bool ok() const { return m_rc == SQLITE_OK; }
    QStringList column(const char* sql)
    {
        QStringList out;
        sqlite3_stmt* st = nullptr;
        if (sqlite3_prepare_v2(m_db, sql, -1, &st, nullptr) != SQLITE_OK) {
            out << u"prepare failed: "_s + QString::fromUtf8(sqlite3_errmsg(m_db));
            return out;
        }
        while (sqlite3_step(st) == SQLITE_ROW) {
            out << QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(st, 0)));
        }
        sqlite3_finalize(st);
        return out;
    }

private:
    sqlite3* m_db = nullptr;
    int m_rc = SQLITE_ERROR;
};

// Runs the writer, kills it after a random pause once it has the store open, and returns the last number it
// reported done (0 for none).
long runAndKill(const QStringList& args, const QString& word, int maxPauseMs)
{
    QProcess child;
    child.setProcessChannelMode(QProcess::SeparateChannels);
    child.start(QStringLiteral(TELVANE_CRASH_CHILD), args);
    if (!child.waitForStarted(5000)) {
        return -1;
    }
    while (!child.canReadLine() && child.state() == QProcess::Running) {
        child.waitForReadyRead(100);
    }
    QThread::msleep(static_cast<unsigned long>(QRandomGenerator::global()->bounded(maxPauseMs)));
    child.kill(); // SIGKILL
    child.waitForFinished(5000);
    const QString out = QString::fromUtf8(child.readAllStandardOutput());
    const QString err = QString::fromUtf8(child.readAllStandardError());
    if (!err.isEmpty()) {
        qWarning("writer said: %s", qPrintable(err));
        return -1;
    }
    long last = 0;
    const QRegularExpression line(u"^"_s + word + u" (\\d+)$"_s, QRegularExpression::MultilineOption);
    for (auto it = line.globalMatch(out); it.hasNext();) {
        last = it.next().captured(1).toLong();
    }
    return last;
}

} // namespace

class CrashTest : public QObject
{
    Q_OBJECT

private slots:
    void killedWriter_data()
    {
        QTest::addColumn<QString>("command"); // the writer's
        QTest::addColumn<int>("batch"); // records a step writes
        QTest::addColumn<QString>("done"); // the word the writer prints after each step
        QTest::addColumn<QChar>("tag"); // the remarks of a run's steps are <tag>1, <tag>2, ...
        QTest::addColumn<int>("maxPauseMs");
        QTest::newRow("single saves") << u"save"_s << 1 << u"saved"_s << QChar(u's') << 120;
        QTest::newRow("bulk imports") << u"import"_s << kBatchSize << u"imported"_s << QChar(u'b') << 250;
    }
    void killedWriter()
    {
        QFETCH(QString, command);
        QFETCH(int, batch);
        QFETCH(QString, done);
        QFETCH(QChar, tag);
        QFETCH(int, maxPauseMs);
        QTemporaryDir dir;
        const QString path = dir.filePath(u"DHB.EDB"_s);
        QVERIFY(store::DirectoryStore::create(path));
        QStringList args {command, path};
        if (batch > 1) {
            args << QString::number(batch);
        }
        long acknowledged = 0; // steps reported done, over all runs
        long stored = 0;
        for (int kill = 1; kill <= kKills; ++kill) {
            const long last = runAndKill(args, done, maxPauseMs);
            QVERIFY2(last >= 0, "the writer did not run");
            Reader reader(path);
            QVERIFY(reader.ok());
            QCOMPARE(reader.column("PRAGMA integrity_check"), QStringList {u"ok"_s});
            // This run's records follow the earlier runs' ones.
            const QStringList tags = reader.column("SELECT \"备注\" FROM directory ORDER BY id");
            const long before = stored;
            stored = tags.size();
            const long added = stored - before;
            QVERIFY2(added % batch == 0,
                     qPrintable(u"kill %1: a batch was stored in part (%2 records)"_s.arg(kill).arg(added)));
            const long steps = added / batch;
            QVERIFY2(steps >= last,
                     qPrintable(u"kill %1: %2 steps reported done, %3 stored"_s.arg(kill).arg(last).arg(steps)));
            QVERIFY2(steps <= last + 1, "more steps stored than the writer attempted");
            for (long r = 0; r < added; ++r) {
                QCOMPARE(tags[static_cast<qsizetype>(before + r)], tag + QString::number(r / batch + 1));
            }
            acknowledged += last;
            store::DirectoryStore store;
            QString error;
            QVERIFY2(store.open(path, &error), qPrintable(error));
            QCOMPARE(store.recordCount(), static_cast<int>(stored));
        }
        qInfo("%d kills, %ld steps reported done, %ld records stored", kKills, acknowledged, stored);
        QVERIFY2(acknowledged > 0, "no step completed before the kills: the pauses are too short to test anything");
    }
};

QTEST_GUILESS_MAIN(CrashTest)
#include "crash_test.moc"
