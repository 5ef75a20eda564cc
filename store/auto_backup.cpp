#include "store/auto_backup.h"

#include "store/backup.h"
#include "store/connection.h"

#include <QDir>
#include <QFileInfo>

#include <algorithm>
#include <map>
#include <mutex>

using namespace Qt::StringLiterals;

namespace telvane::store {

namespace {

constexpr int kDaysKept = 7;
constexpr int kWeeksKept = 4;

} // namespace

QString backupFolder(const QString& storePath)
{
    return QFileInfo(storePath).absoluteDir().filePath(u"backup"_s);
}

QString backupFileName(const QString& storePath, QDate date)
{
    const QFileInfo store(storePath);
    const QString suffix = store.suffix();
    return store.completeBaseName() + u'-' + date.toString(u"yyyy-MM-dd"_s)
           + (suffix.isEmpty() ? QString() : u'.' + suffix);
}

QDate backupDate(const QString& storePath, const QString& fileName)
{
    const QFileInfo store(storePath);
    const QString head = store.completeBaseName() + u'-';
    const QString tail = store.suffix().isEmpty() ? QString() : u'.' + store.suffix();
    constexpr qsizetype kDateLength = 10; // yyyy-MM-dd
    if (fileName.size() != head.size() + kDateLength + tail.size() || !fileName.startsWith(head)
        || !fileName.endsWith(tail)) {
        return {};
    }
    const QDate date = QDate::fromString(fileName.mid(head.size(), kDateLength), u"yyyy-MM-dd"_s);
    // Only the form this program writes: a name that reads as a date some other way is somebody else's file.
    return date.isValid() && backupFileName(storePath, date) == fileName ? date : QDate();
}

std::vector<QDate> backupsToRemove(std::span<const QDate> dates, QDate today)
{
    const QDate firstDayKept = today.addDays(1 - kDaysKept);
    const QDate thisMonday = today.addDays(1 - today.dayOfWeek());
    const QDate firstMonday = thisMonday.addDays(-7 * (kWeeksKept - 1));
    // The newest date of each week kept, by the week's Monday.
    std::map<QDate, QDate> newestOfWeek;
    for (const QDate date : dates) {
        if (date >= firstMonday && date <= today) {
            QDate& newest = newestOfWeek[date.addDays(1 - date.dayOfWeek())];
            newest = std::max(newest, date);
        }
    }
    std::vector<QDate> removed;
    for (const QDate date : dates) {
        const bool recent = date >= firstDayKept; // dates after today included
        const auto week = newestOfWeek.find(date.addDays(1 - date.dayOfWeek()));
        const bool weekly = week != newestOfWeek.end() && week->second == date;
        if (!recent && !weekly) {
            removed.push_back(date);
        }
    }
    std::sort(removed.begin(), removed.end());
    removed.erase(std::unique(removed.begin(), removed.end()), removed.end());
    return removed;
}

BackupResult backupBeforeWrite(const QString& storePath, BackupReason reason, QDate today)
{
    BackupResult result;
    const QDir folder(backupFolder(storePath));
    const QString target = folder.filePath(backupFileName(storePath, today));
    if (reason == BackupReason::FirstSaveOfDay && QFileInfo::exists(target)) {
        return result;
    }
    if (inspect(storePath) != FileState::Store) {
        return result; // nothing to copy yet (a store about to be made)
    }
    QString error;
    if (!QDir().mkpath(folder.path())) {
        result.warning = u"未能在 %1 建立备份文件夹，本次没有备份"_s.arg(QDir::toNativeSeparators(folder.path()));
        return result;
    }
    if (!backupStore(storePath, target, &error)) {
        result.warning = u"未能写入备份 %1，本次没有备份（%2）"_s.arg(QDir::toNativeSeparators(target), error);
        return result;
    }
    result.made = true;
    std::vector<QDate> dates;
    const QStringList names = folder.entryList(QDir::Files);
    for (const QString& name : names) {
        if (const QDate date = backupDate(storePath, name); date.isValid()) {
            dates.push_back(date);
        }
    }
    for (const QDate date : backupsToRemove(dates, today)) {
        QFile::remove(folder.filePath(backupFileName(storePath, date)));
    }
    return result;
}

namespace {

struct DailyBackups
{
    std::mutex mutex;
    std::function<void(const QString&)> warn;
    // The stores whose backup of the day this process has seen to, by path, with that day.
    std::map<QString, QDate> done;
};

DailyBackups& daily()
{
    static DailyBackups state;
    return state;
}

thread_local bool t_backingUp = false;

void beforeWrite(const QString& storePath)
{
    if (t_backingUp) {
        return;
    }
    DailyBackups& state = daily();
    const QDate today = QDate::currentDate();
    std::function<void(const QString&)> warn;
    {
        std::lock_guard lock(state.mutex);
        QDate& done = state.done[storePath];
        if (done == today) {
            return;
        }
        done = today; // a failed backup is tried again tomorrow, not at every save
        warn = state.warn;
    }
    t_backingUp = true;
    const BackupResult result = backupBeforeWrite(storePath, BackupReason::FirstSaveOfDay, today);
    t_backingUp = false;
    if (!result.warning.isEmpty() && warn) {
        warn(result.warning);
    }
}

} // namespace

void setDailyBackups(bool on, std::function<void(const QString& warning)> warn)
{
    {
        std::lock_guard lock(daily().mutex);
        daily().warn = std::move(warn);
        daily().done.clear();
    }
    setBeforeWriteHook(on ? std::function<void(const QString&)>(beforeWrite) : nullptr);
}

} // namespace telvane::store
