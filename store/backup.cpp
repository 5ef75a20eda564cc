#include "store/backup.h"

#include "store/connection.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <sqlite3.h>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace telvane::store {

namespace {

bool fail(QString* error, const QString& reason)
{
    if (error) {
        *error = reason;
    }
    return false;
}

// The folder's entry for the new file reaches the disk too, so a crash right after leaves the backup in place.
void syncFolder(const QString& folder)
{
    const int fd = ::open(QFile::encodeName(folder).constData(), O_RDONLY | O_DIRECTORY);
    if (fd >= 0) {
        ::fsync(fd);
        ::close(fd);
    }
}

} // namespace

bool backupStore(const QString& source, const QString& destination, QString* error, QString* written)
{
    QString target = destination;
    if (QFileInfo(destination).isDir()) {
        target = QDir(destination).filePath(QFileInfo(source).fileName());
    }
    if (QFileInfo(target).exists() && QFileInfo(source).exists()
        && QFileInfo(target).canonicalFilePath() == QFileInfo(source).canonicalFilePath()) {
        return fail(error, u"备份不能写到电话簿数据库本身上"_s);
    }
    const FileState existing = inspect(target);
    if (existing != FileState::Missing && existing != FileState::Store) {
        return fail(error, u"%1：%2，未作改动"_s.arg(QDir::toNativeSeparators(target), describe(existing, target)));
    }
    Connection from;
    if (!from.open(source, Connection::Mode::ReadOnly, error)) {
        return false;
    }
    const QString part = target + u".part"_s;
    QFile::remove(part);
    sqlite3* to = nullptr;
    if (sqlite3_open_v2(QFile::encodeName(part).constData(), &to, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr)
        != SQLITE_OK) {
        const QString reason =
            to ? errorText(sqlite3_extended_errcode(to), sqlite3_system_errno(to), sqlite3_errmsg(to))
               : errorText(SQLITE_CANTOPEN, 0, nullptr);
        sqlite3_close(to);
        QFile::remove(part);
        return fail(error, reason);
    }
    auto failHere = [&] {
        const QString reason = errorText(sqlite3_extended_errcode(to), sqlite3_system_errno(to), sqlite3_errmsg(to));
        sqlite3_close(to);
        QFile::remove(part);
        return fail(error, reason);
    };
    // The whole store in one step: one read transaction on the source, so the copy is of one moment.
    sqlite3_backup* backup = sqlite3_backup_init(to, "main", from.handle(), "main");
    if (!backup) {
        return failHere();
    }
    const int stepped = sqlite3_backup_step(backup, -1);
    if (sqlite3_backup_finish(backup) != SQLITE_OK || stepped != SQLITE_DONE) {
        return failHere();
    }
    // A backup is one file on its own: the copy leaves WAL mode, and goes back to it when the program opens it.
    if (sqlite3_exec(to, "PRAGMA journal_mode = DELETE", nullptr, nullptr, nullptr) != SQLITE_OK) {
        return failHere();
    }
    if (sqlite3_close(to) != SQLITE_OK) {
        QFile::remove(part);
        return fail(error, errorText(SQLITE_IOERR, 0, nullptr));
    }
    from.close();
    if (::rename(QFile::encodeName(part).constData(), QFile::encodeName(target).constData()) != 0) {
        const int err = errno;
        QFile::remove(part);
        return fail(error, errorText(SQLITE_CANTOPEN, err, std::strerror(err)));
    }
    syncFolder(QFileInfo(target).absolutePath());
    if (written) {
        *written = target;
    }
    return true;
}

} // namespace telvane::store
