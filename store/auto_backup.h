#pragma once

#include <QDate>
#include <QString>

#include <functional>
#include <span>
#include <vector>

// Backups that keep themselves: copies of the store in the folder `backup` beside it, one file a day named by its
// date (DHB-2026-12-09.EDB), written with backupStore() at the first save of each day and again before an import or a
// large deletion. A copy made before an import or a deletion replaces that day's file, so the day's backup is the
// store as it was just before the last such step (or at the day's first save when there was none). The last 7 days
// and, for each of the last 4 weeks, the newest backup of the week are kept; older backups are removed. A backup
// that fails (a full disk) is skipped with a word and never stops the save that asked for it.
namespace telvane::store {

// The folder of the backups of the store at `storePath`.
QString backupFolder(const QString& storePath);
// The file name of the backup of `date` for the store at `storePath` (its base name, the date, its suffix).
QString backupFileName(const QString& storePath, QDate date);
// The date a backup's file name carries, or a null date for a file that is no backup of the store.
QDate backupDate(const QString& storePath, const QString& fileName);

// Which of the backup dates to remove on `today`: every date except the last 7 days (today and the 6 before) and
// the newest date of each of the last 4 weeks (Monday to Sunday, this week and the 3 before). Dates after today (a
// clock set back) are kept. The result is sorted.
std::vector<QDate> backupsToRemove(std::span<const QDate> dates, QDate today);

enum class BackupReason {
    FirstSaveOfDay, // nothing is written when today's backup exists
    BeforeImport,
    BeforeDeletion,
};

struct BackupResult
{
    bool made = false;
    QString warning; // why a backup was skipped (a full disk), for the status bar or standard error
};

// Writes the day's backup for `reason`, then removes the backups the rule no longer keeps.
BackupResult backupBeforeWrite(const QString& storePath, BackupReason reason, QDate today = QDate::currentDate());

// Daily backups for every write this process makes: once set, the first write transaction of each day on any
// connection to a store first writes that day's backup (FirstSaveOfDay). `warn` hears of a backup that was skipped.
// An empty `warn` with `on` false turns them off.
void setDailyBackups(bool on, std::function<void(const QString& warning)> warn = {});

} // namespace telvane::store
