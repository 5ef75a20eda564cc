#include "store/auto_backup.h"
#include "store/directory_store.h"
#include "tests/support/test_support.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

using namespace Qt::StringLiterals;
using namespace telvane;

namespace {

std::vector<QDate> dates(const QStringList& texts)
{
    std::vector<QDate> out;
    for (const QString& text : texts) {
        out.push_back(QDate::fromString(text, Qt::ISODate));
    }
    return out;
}

} // namespace

class AutoBackupTest : public QObject
{
    Q_OBJECT

private slots:
    void retention_data()
    {
        QTest::addColumn<QString>("today");
        QTest::addColumn<QStringList>("present");
        QTest::addColumn<QStringList>("removed");
        // 2026-12-09 is a Wednesday: its week began on Monday 12-07, the fourth week kept on 11-16.
        QTest::newRow("the last 7 days stay")
            << u"2026-12-09"_s << QStringList {u"2026-12-03"_s, u"2026-12-04"_s, u"2026-12-09"_s} << QStringList {};
        // The week of 11-30 has its newest, 12-03, among the last 7 days; its older days go.
        QTest::newRow("older days of a week go")
            << u"2026-12-09"_s << QStringList {u"2026-11-30"_s, u"2026-12-01"_s, u"2026-12-02"_s, u"2026-12-03"_s}
            << QStringList {u"2026-11-30"_s, u"2026-12-01"_s, u"2026-12-02"_s};
        QTest::newRow("one a week for four weeks, older ones go")
            << u"2026-12-09"_s
            << QStringList {u"2026-11-08"_s, u"2026-11-15"_s, u"2026-11-16"_s, u"2026-11-18"_s, u"2026-11-25"_s}
            << QStringList {u"2026-11-08"_s, u"2026-11-15"_s, u"2026-11-16"_s};
        QTest::newRow("a date after today is kept")
            << u"2026-12-09"_s << QStringList {u"2027-01-01"_s} << QStringList {};
        QTest::newRow("across a year's end")
            << u"2027-01-02"_s << QStringList {u"2026-12-14"_s, u"2026-12-21"_s, u"2026-12-22"_s, u"2026-12-27"_s}
            << QStringList {u"2026-12-21"_s, u"2026-12-22"_s};
    }
    void retention()
    {
        QFETCH(QString, today);
        QFETCH(QStringList, present);
        QFETCH(QStringList, removed);
        const std::vector<QDate> given = dates(present);
        QCOMPARE(store::backupsToRemove(given, QDate::fromString(today, Qt::ISODate)), dates(removed));
    }

    void names()
    {
        const QString store = u"/data/DHB.EDB"_s;
        const QDate date(2026, 12, 9);
        QCOMPARE(store::backupFileName(store, date), u"DHB-2026-12-09.EDB"_s);
        QCOMPARE(store::backupDate(store, u"DHB-2026-12-09.EDB"_s), date);
        QVERIFY(!store::backupDate(store, u"DHB-2026-12-9.EDB"_s).isValid());
        QVERIFY(!store::backupDate(store, u"DHB-2026-12-09.EDB.part"_s).isValid());
        QVERIFY(!store::backupDate(store, u"other-2026-12-09.EDB"_s).isValid());
    }

    // The first save of the day copies the store as it was before the save, once; later backups prune old ones.
    void firstSaveOfTheDay()
    {
        QTemporaryDir dir;
        const QString path = testing::makeStore(dir, {{u"张三"_s}});
        QVERIFY(!path.isEmpty());
        const QDir backups(store::backupFolder(path));
        QVERIFY(QDir().mkpath(backups.path()));
        const QDate today = QDate::currentDate();
        const QString old = backups.filePath(store::backupFileName(path, today.addDays(-60)));
        const QString stranger = backups.filePath(u"notes.txt"_s);
        QVERIFY(testing::writeFile(old, "old") && testing::writeFile(stranger, "mine"));

        QStringList warnings;
        store::setDailyBackups(true, [&warnings](const QString& w) { warnings.append(w); });
        store::DirectoryStore s;
        QVERIFY(s.open(path));
        QVERIFY(s.append(testing::record({u"李四"_s})));
        QVERIFY(s.append(testing::record({u"王五"_s})));
        s.close();
        store::setDailyBackups(false);

        const QString backup = backups.filePath(store::backupFileName(path, today));
        QCOMPARE(testing::readRecords(backup), testing::names({u"张三"_s}));
        QVERIFY(!QFile::exists(old));
        QVERIFY(QFile::exists(stranger));
        QCOMPARE(warnings, QStringList());
        QCOMPARE(testing::readRecords(path).size(), 3);
    }

    // A backup that cannot be written is skipped with a word; the save goes on.
    void failedBackupNeverStopsTheSave()
    {
        QTemporaryDir dir;
        const QString path = testing::makeStore(dir, {{u"张三"_s}});
        QVERIFY(testing::writeFile(store::backupFolder(path), "a file where the folder would be"));
        QStringList warnings;
        store::setDailyBackups(true, [&warnings](const QString& w) { warnings.append(w); });
        store::DirectoryStore s;
        QVERIFY(s.open(path));
        QVERIFY(s.append(testing::record({u"李四"_s})));
        s.close();
        store::setDailyBackups(false);
        QCOMPARE(warnings.size(), 1);
        QCOMPARE(testing::readRecords(path).size(), 2);

        // Before an import a backup is written even when the day has one, replacing it.
        QFile::remove(store::backupFolder(path));
        QVERIFY(store::backupBeforeWrite(path, store::BackupReason::FirstSaveOfDay).made);
        QVERIFY(!store::backupBeforeWrite(path, store::BackupReason::FirstSaveOfDay).made);
        QVERIFY(store::backupBeforeWrite(path, store::BackupReason::BeforeImport).made);
    }
};

QTEST_GUILESS_MAIN(AutoBackupTest)
#include "auto_backup_test.moc"
