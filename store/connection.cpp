#include "store/connection.h"

#include "store/fields.h"
#include "store/sql.h"

#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QUrl>

#include <sqlite3.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <map>
#include <mutex>
#include <string>
#include <sys/stat.h>
#include <sys/vfs.h>
#include <utility>
#include <vector>

using namespace Qt::StringLiterals;

namespace telvane::store {

namespace {

// Stamped into every store this program creates ("TELV"), so other tools can tell the file apart.
constexpr int kApplicationId = 0x54454C56;
constexpr int kBusyTimeoutMs = 3000;
constexpr char kSqliteMagic[] = "SQLite format 3";

QByteArray nativePath(const QString& path)
{
    return QFile::encodeName(path);
}

// ---- the files this process has connections to --------------------------------------------------------------------

// Opening such a file outside SQLite, and closing that descriptor, would drop every lock the connections hold on it.
// The mutex also keeps a header read in inspect() from overlapping a connection being opened on another thread.
struct OpenFiles
{
    std::mutex mutex;
    std::map<std::pair<std::uint64_t, std::uint64_t>, int> count;
};

OpenFiles& openFiles()
{
    // Never destroyed: a store closed by a static object's destructor at exit still finds it.
    static auto* files = new OpenFiles;
    return *files;
}

void registerFile(const FileStamp& file, int delta)
{
    if (!file.exists()) {
        return;
    }
    const auto key = std::make_pair(file.device, file.inode);
    auto& files = openFiles();
    int& n = files.count[key];
    n += delta;
    if (n <= 0) {
        files.count.erase(key);
    }
}

bool hasConnection(const FileStamp& file)
{
    return openFiles().count.contains({file.device, file.inode});
}

// The WAL and its index beside a store file. A read-only connection that falls back to reading makes them and leaves
// them behind: a look at a file, or a refusal to open it, takes away again the ones it made, so that a file that is
// not a store stays alone as it was found.
class Companions
{
public:
    explicit Companions(const QString& path)
        : m_wal(path + u"-wal"_s)
        , m_shm(path + u"-shm"_s)
        , m_hadWal(QFileInfo::exists(m_wal))
        , m_hadShm(QFileInfo::exists(m_shm))
    { }
    // Only an empty WAL goes: one with content holds writes that belong to the file.
    void removeOwn() const
    {
        if (!m_hadWal && QFileInfo::exists(m_wal) && QFileInfo(m_wal).size() == 0) {
            QFile::remove(m_wal);
        }
        if (!m_hadShm && !QFileInfo::exists(m_wal)) {
            QFile::remove(m_shm);
        }
    }

private:
    QString m_wal;
    QString m_shm;
    bool m_hadWal;
    bool m_hadShm;
};

// The policy every connection gets before its first statement.
void configure(sqlite3* db)
{
    sqlite3_busy_timeout(db, kBusyTimeoutMs);
    // A store file is data, not code: nothing stored in it runs when the program reads or writes it.
    sqlite3_db_config(db, SQLITE_DBCONFIG_DEFENSIVE, 1, nullptr);
    sqlite3_db_config(db, SQLITE_DBCONFIG_TRUSTED_SCHEMA, 0, nullptr);
    sqlite3_db_config(db, SQLITE_DBCONFIG_ENABLE_TRIGGER, 0, nullptr);
    sqlite3_db_config(db, SQLITE_DBCONFIG_ENABLE_VIEW, 0, nullptr);
    sqlite3_db_config(db, SQLITE_DBCONFIG_ENABLE_LOAD_EXTENSION, 0, nullptr);
}

enum class Open { Plain, ReadOnly, Immutable };

sqlite3* openRaw(const QString& path, Open how)
{
    sqlite3* db = nullptr;
    int rc;
    if (how == Open::Immutable) {
        // A store on read-only media (a backup on a CD) cannot get the WAL index SQLite wants beside it; it is read
        // as immutable instead. It is complete on its own, since every write is checkpointed.
        const QByteArray uri = QUrl::fromLocalFile(QFileInfo(path).absoluteFilePath()).toEncoded() + "?immutable=1";
        rc = sqlite3_open_v2(uri.constData(), &db, SQLITE_OPEN_READONLY | SQLITE_OPEN_URI | SQLITE_OPEN_NOMUTEX,
                             nullptr);
    } else {
        // A connection is used by one thread at a time (the window's, or a worker's own): no mutex per call.
        const int flags = (how == Open::ReadOnly ? SQLITE_OPEN_READONLY : SQLITE_OPEN_READWRITE) | SQLITE_OPEN_NOMUTEX;
        rc = sqlite3_open_v2(nativePath(path).constData(), &db, flags, nullptr);
    }
    if (rc != SQLITE_OK) {
        sqlite3_close(db);
        return nullptr;
    }
    configure(db);
    return db;
}

// Whether the database holds table `directory` with its key and the seven columns, and nothing that could act on
// it: only the table, its indexes and SQLite's own statistics may be there.
FileState checkSchema(sqlite3* db)
{
    Statement objects(db, "SELECT type, name, tbl_name FROM sqlite_schema");
    if (!objects.ok()) {
        return FileState::Unreadable;
    }
    bool hasTable = false;
    bool foreign = false;
    int rc;
    while ((rc = objects.step()) == SQLITE_ROW) {
        const std::string_view type = objects.columnUtf8(0);
        const std::string_view name = objects.columnUtf8(1);
        const std::string_view table = objects.columnUtf8(2);
        if (type == "table" && name == "directory") {
            hasTable = true;
        } else if (type == "index" && table == "directory") {
            // an index of the table: harmless
        } else if (type == "table" && (name == "sqlite_sequence" || name.starts_with("sqlite_stat"))) {
            // SQLite's own bookkeeping
        } else {
            foreign = true;
        }
    }
    if (rc != SQLITE_DONE) {
        return FileState::Unreadable;
    }
    if (!hasTable) {
        return FileState::NotDirectory;
    }
    Statement columns(db, "SELECT name, type, pk FROM pragma_table_info('directory')");
    if (!columns.ok()) {
        return FileState::Unreadable;
    }
    bool key = false;
    std::vector<std::string> names;
    while ((rc = columns.step()) == SQLITE_ROW) {
        const std::string_view name = columns.columnUtf8(0);
        if (name == "id" && columns.columnInt(2) == 1
            && QByteArray::fromStdString(std::string(columns.columnUtf8(1))).toUpper() == "INTEGER") {
            key = true;
        }
        names.emplace_back(name);
    }
    if (rc != SQLITE_DONE) {
        return FileState::Unreadable;
    }
    for (const FieldInfo& field : kFields) {
        if (std::find(names.begin(), names.end(), field.name) == names.end()) {
            return FileState::NotDirectory;
        }
    }
    if (!key) {
        return FileState::NotDirectory;
    }
    return foreign ? FileState::Unsafe : FileState::Store;
}

const char* networkFileSystem(const QString& path);

// The schema of a file that has passed the header check, through a short-lived read-only connection.
FileState inspectThroughSqlite(const QString& path)
{
    const Companions companions(path);
    // On a network file system nothing is written beside the file, not even SQLite's WAL index for a look.
    const bool network = networkFileSystem(path) != nullptr;
    for (const Open how : {Open::ReadOnly, Open::Immutable}) {
        if (network && how != Open::Immutable) {
            continue;
        }
        sqlite3* db = openRaw(path, how);
        if (!db) {
            continue;
        }
        const FileState state = checkSchema(db);
        sqlite3_close(db);
        companions.removeOwn();
        if (state != FileState::Unreadable) {
            return state;
        }
    }
    companions.removeOwn();
    return FileState::Unreadable;
}

bool keysNeverReused(sqlite3* db)
{
    Statement st(db, "SELECT sql FROM sqlite_schema WHERE type = 'table' AND name = 'directory'");
    return st.ok() && st.step() == SQLITE_ROW
           && QByteArray::fromStdString(std::string(st.columnUtf8(0))).toUpper().contains("AUTOINCREMENT");
}

// File systems on which WAL cannot work: its index lives in memory shared by the processes of one host.
const char* networkFileSystem(const QString& path)
{
    struct statfs fs
    {
    };
    const QByteArray folder = QFile::encodeName(QFileInfo(path).absolutePath());
    if (::statfs(folder.constData(), &fs) != 0) {
        return nullptr;
    }
    switch (static_cast<unsigned long>(fs.f_type)) {
        case 0x6969UL:
            return "NFS";
        case 0x517BUL:
        case 0xFE534D42UL:
            return "SMB";
        case 0xFF534D42UL:
            return "CIFS";
        case 0x65735546UL:
            return "FUSE";
        case 0x01021997UL:
            return "9P";
        case 0x00C36400UL:
            return "Ceph";
        case 0x5346414FUL:
            return "AFS";
        default:
            return nullptr;
    }
}

} // namespace

QString networkRefusal(const QString& path)
{
    const char* type = networkFileSystem(path);
    if (!type) {
        return {};
    }
    return u"%1位于网络文件系统（%2）上。多台电脑经网络同时写入会损坏电话簿，所以本程序在这里只能查询，不能保存。"
           u"请把程序和%1复制到本机磁盘上使用"_s.arg(QFileInfo(path).fileName(), QString::fromLatin1(type));
}

QString errorText(int code, int systemErrno, const char* detail)
{
    QString sentence;
    const int primary = code & 0xff;
    if (primary == SQLITE_FULL || systemErrno == ENOSPC || systemErrno == EDQUOT) {
        sentence = u"磁盘已满。请先释放磁盘空间，再重试"_s;
    } else if (primary == SQLITE_BUSY || primary == SQLITE_LOCKED) {
        sentence = u"另一个程序正在写入电话簿数据库。请稍候再试一次"_s;
    } else if (primary == SQLITE_READONLY || primary == SQLITE_PERM || primary == SQLITE_AUTH || systemErrno == EROFS
               || systemErrno == EACCES || systemErrno == EPERM) {
        sentence = u"电话簿数据库所在的文件夹或文件是只读的，不能写入。请取消写保护，或把程序复制到可写的磁盘上"_s;
    } else if (primary == SQLITE_CORRUPT || primary == SQLITE_NOTADB) {
        sentence = u"电话簿数据库已损坏，无法读取。请用备份恢复"_s;
    } else if (primary == SQLITE_CANTOPEN) {
        sentence = u"无法打开电话簿数据库文件。请检查文件和文件夹是否还在、能否读写"_s;
    } else if (primary == SQLITE_NOMEM) {
        sentence = u"内存不足。请关闭其他程序后再试"_s;
    } else if (primary == SQLITE_IOERR) {
        sentence = u"读写磁盘时出错。请检查磁盘后再试"_s;
    } else {
        sentence = u"电话簿数据库出错"_s;
    }
    if (detail && *detail) {
        sentence += u"（"_s + QString::fromUtf8(detail) + u"）"_s;
    }
    return sentence;
}

FileStamp FileStamp::of(const QString& path)
{
    struct stat st
    {
    };
    if (::stat(QFile::encodeName(path).constData(), &st) != 0) {
        return {};
    }
    return {static_cast<std::uint64_t>(st.st_dev), static_cast<std::uint64_t>(st.st_ino),
            static_cast<std::int64_t>(st.st_size),
            static_cast<std::int64_t>(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec};
}

FileState inspect(const QString& path)
{
    const QFileInfo info(path);
    if (!info.exists() && !info.isSymLink()) {
        return FileState::Missing;
    }
    if (info.isDir()) {
        return FileState::Unreadable;
    }
    {
        std::lock_guard lock(openFiles().mutex);
        const FileStamp stamp = FileStamp::of(path);
        if (!hasConnection(stamp)) {
            QFile file(path);
            if (!file.open(QIODevice::ReadOnly)) {
                return info.size() == 0 ? FileState::Missing : FileState::Unreadable;
            }
            const QByteArray head = file.read(16);
            file.close();
            if (head.isEmpty() && info.size() == 0) {
                return FileState::Missing;
            }
            if (head.size() < 16 || std::memcmp(head.constData(), kSqliteMagic, 16) != 0) {
                return FileState::NotSqlite;
            }
        }
    }
    return inspectThroughSqlite(path);
}

QString describe(FileState state, const QString& path)
{
    const QFileInfo info(path);
    if (state == FileState::Missing && !path.isEmpty() && info.exists()) {
        return u"文件是空的（0 字节），不是电话簿数据库"_s;
    }
    if (state == FileState::Unreadable && !path.isEmpty() && info.isDir()) {
        return u"这是一个文件夹，不是电话簿数据库文件"_s;
    }
    switch (state) {
        case FileState::Missing:
            return u"文件不存在"_s;
        case FileState::Store:
            return u"文件是有效的电话簿数据库"_s;
        case FileState::NotSqlite:
            return u"文件不是电话簿数据库"_s;
        case FileState::NotDirectory:
            return u"文件是其他程序的数据库，不含电话簿数据表"_s;
        case FileState::Unsafe:
            return u"文件中除电话簿数据表外还有触发器、视图或其他数据表，不是本程序的电话簿数据库"_s;
        case FileState::Unreadable:
            return u"文件已损坏或无法读取"_s;
    }
    return {};
}

bool createStore(const QString& path, QString* error)
{
    const FileState state = inspect(path);
    if (state != FileState::Missing) {
        if (error) {
            *error = u"%1已存在，未作改动"_s.arg(QFileInfo(path).fileName());
        }
        return false;
    }
    if (const QString refusal = networkRefusal(path); !refusal.isEmpty()) {
        if (error) {
            *error = refusal;
        }
        return false;
    }
    sqlite3* db = nullptr;
    int rc = sqlite3_open_v2(nativePath(path).constData(), &db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr);
    if (rc != SQLITE_OK) {
        if (error) {
            *error = db ? errorText(sqlite3_extended_errcode(db), sqlite3_system_errno(db), sqlite3_errmsg(db))
                        : errorText(SQLITE_CANTOPEN, 0, nullptr);
        }
        sqlite3_close(db);
        QFile::remove(path);
        return false;
    }
    configure(db);
    const std::string sql = "PRAGMA application_id = " + std::to_string(kApplicationId)
                            + "; PRAGMA journal_mode = WAL; PRAGMA synchronous = FULL; BEGIN; "
                            + sql::createTable("directory") + "; COMMIT;";
    if (sqlite3_exec(db, sql.c_str(), nullptr, nullptr, nullptr) != SQLITE_OK) {
        if (error) {
            *error = errorText(sqlite3_extended_errcode(db), sqlite3_system_errno(db), sqlite3_errmsg(db));
        }
        sqlite3_close(db);
        QFile::remove(path);
        return false;
    }
    sqlite3_wal_checkpoint_v2(db, nullptr, SQLITE_CHECKPOINT_TRUNCATE, nullptr, nullptr);
    rc = sqlite3_close(db);
    return rc == SQLITE_OK;
}

// ---- Connection ---------------------------------------------------------------------------------------------------

Connection::~Connection()
{
    close();
}

Connection::Connection(Connection&& other) noexcept
    : m_db(std::exchange(other.m_db, nullptr))
    , m_path(std::move(other.m_path))
    , m_opened(other.m_opened)
    , m_readOnly(other.m_readOnly)
    , m_wrote(other.m_wrote)
    , m_incomplete(std::move(other.m_incomplete))
{ }

Connection& Connection::operator=(Connection&& other) noexcept
{
    if (this != &other) {
        close();
        m_db = std::exchange(other.m_db, nullptr);
        m_path = std::move(other.m_path);
        m_opened = other.m_opened;
        m_readOnly = other.m_readOnly;
        m_wrote = other.m_wrote;
        m_incomplete = std::move(other.m_incomplete);
    }
    return *this;
}

bool Connection::open(const QString& path, Mode mode, QString* error)
{
    close();
    const FileState state = inspect(path);
    if (state != FileState::Store) {
        if (error) {
            *error = describe(state, path);
        }
        return false;
    }
    const bool network = networkFileSystem(path) != nullptr;
    if (network && mode == Mode::ReadWrite) {
        if (error) {
            *error = networkRefusal(path);
        }
        return false;
    }
    const Companions companions(path);
    auto refuse = [&](const QString& reason) {
        if (error) {
            *error = reason;
        }
        close();
        companions.removeOwn();
        return false;
    };
    m_readOnly = mode == Mode::ReadOnly;
    // A reader that cannot keep SQLite's WAL index beside the file (write-protected media, a full disk, a network
    // file system, where nothing is written beside the file at all) reads it as immutable: every write is
    // checkpointed, so the file is complete on its own.
    std::vector<Open> ways;
    if (!network) {
        ways.push_back(Open::Plain);
    }
    if (m_readOnly) {
        ways.push_back(Open::Immutable);
    }
    QString reason = describe(FileState::Unreadable);
    for (const Open how : ways) {
        {
            std::lock_guard lock(openFiles().mutex);
            m_db = openRaw(path, how);
            if (m_db && how == Open::Plain && m_readOnly && sqlite3_db_readonly(m_db, "main") == 1) {
                sqlite3_close(m_db);
                m_db = nullptr;
            }
            if (!m_db) {
                continue;
            }
            m_path = path;
            m_opened = FileStamp::of(path);
            registerFile(m_opened, +1);
        }
        const char* policy =
            m_readOnly ? "PRAGMA query_only = 1;" : "PRAGMA journal_mode = WAL; PRAGMA synchronous = FULL;";
        FileState schema = FileState::Unreadable;
        if (exec(policy, &reason)) {
            if (!m_readOnly && sqlite3_db_readonly(m_db, "main") == 1) {
                return refuse(u"文件是只读的"_s);
            }
            // Checked again through this connection: the file may have changed since it was looked at.
            schema = checkSchema(m_db);
            if (schema == FileState::Store) {
                break;
            }
            reason = schema == FileState::Unreadable ? lastError() : describe(schema);
        }
        const bool tryNext = schema == FileState::Unreadable;
        const bool readOnly = m_readOnly;
        close();
        companions.removeOwn();
        m_readOnly = readOnly;
        if (!tryNext) {
            break;
        }
    }
    if (!m_db) {
        return refuse(reason);
    }
    if (!m_readOnly && !keysNeverReused(m_db)) {
        // A store made by an earlier version: its keys are made unique for ever now. Should that fail (the disk
        // full, another program writing), the store still opens and the next opening tries again; every write
        // compares the whole record it expects, so a key given twice meanwhile still reaches no other record.
        upgradeKeys(nullptr);
    }
    return true;
}

bool Connection::upgradeKeys(QString* error)
{
    // The table is made again from its own CREATE statement with AUTOINCREMENT added to its key, in one
    // transaction: the same keys, values, columns, constraints and indexes, and a crash leaves the old table as it
    // was. An earlier version of the program opens the result as before (sqlite_sequence is SQLite's own), and gets
    // unique keys from SQLite as well.
    return write(
        [&](QString* reason) {
            std::string created;
            {
                Statement st(m_db, "SELECT sql FROM sqlite_schema WHERE type = 'table' AND name = 'directory'");
                if (st.step() != SQLITE_ROW) {
                    if (reason) {
                        *reason = lastError();
                    }
                    return false;
                }
                created = std::string(st.columnUtf8(0));
            }
            if (QByteArray::fromStdString(created).toUpper().contains("AUTOINCREMENT")) {
                return true;
            }
            static const QRegularExpression key(
                uR"(((?:"id"|`id`|\[id\]|\bid\b)\s+INTEGER\s+PRIMARY\s+KEY(?:\s+(?:ASC|DESC))?)"
                uR"((?:\s+ON\s+CONFLICT\s+\w+)?))"_s,
                QRegularExpression::CaseInsensitiveOption);
            QString sql = QString::fromStdString(created);
            const QRegularExpressionMatch match = key.match(sql);
            if (!match.hasMatch()) {
                // A key declared apart from its column: left as it is (every write compares the whole record).
                return true;
            }
            sql.insert(match.capturedEnd(1), u" AUTOINCREMENT"_s);
            std::vector<std::string> indexes;
            {
                Statement st(m_db, "SELECT sql FROM sqlite_schema WHERE type = 'index' AND tbl_name = 'directory'"
                                   " AND sql IS NOT NULL");
                while (st.step() == SQLITE_ROW) {
                    indexes.emplace_back(st.columnUtf8(0));
                }
            }
            std::string steps = "ALTER TABLE directory RENAME TO directory_before_upgrade; " + sql.toStdString()
                                + "; INSERT INTO directory SELECT * FROM directory_before_upgrade;"
                                  " DROP TABLE directory_before_upgrade;";
            for (const std::string& index : indexes) {
                steps += index + ";";
            }
            return exec(steps.c_str(), reason);
        },
        error);
}

void Connection::close()
{
    if (!m_db) {
        return;
    }
    // Only a connection that wrote checkpoints on its way out: a checkpoint starts the WAL afresh, which every
    // other connection takes for a change of the store and reads it again.
    if (m_wrote) {
        checkpoint();
    }
    {
        std::lock_guard lock(openFiles().mutex);
        sqlite3_close_v2(m_db);
        m_db = nullptr;
        registerFile(m_opened, -1);
    }
    m_path.clear();
    m_opened = {};
    m_wrote = false;
    m_incomplete.clear();
}

bool Connection::exec(const char* sql, QString* error)
{
    if (!m_db || sqlite3_exec(m_db, sql, nullptr, nullptr, nullptr) != SQLITE_OK) {
        if (error) {
            *error = lastError();
        }
        return false;
    }
    return true;
}

void Connection::setBusyTimeout(int milliseconds)
{
    if (m_db) {
        sqlite3_busy_timeout(m_db, milliseconds);
    }
}

QString Connection::lastError() const
{
    if (!m_db) {
        return u"没有打开电话簿数据库"_s;
    }
    return errorText(sqlite3_extended_errcode(m_db), sqlite3_system_errno(m_db), sqlite3_errmsg(m_db));
}

std::int64_t Connection::dataVersion() const
{
    Statement st(m_db, "PRAGMA data_version");
    if (!st.ok() || st.step() != SQLITE_ROW) {
        return -1;
    }
    return st.columnInt(0);
}

QByteArray Connection::header() const
{
    sqlite3_file* file = nullptr;
    if (sqlite3_file_control(m_db, "main", SQLITE_FCNTL_FILE_POINTER, &file) != SQLITE_OK || !file || !file->pMethods) {
        return {};
    }
    QByteArray bytes(16, '\0');
    const int rc = file->pMethods->xRead(file, bytes.data(), 16, 0);
    return rc == SQLITE_OK ? bytes : QByteArray();
}

QString Connection::writeRefusal() const
{
    if (!m_db) {
        return lastError();
    }
    const QString name = QFileInfo(m_path).fileName();
    int moved = 0;
    const FileStamp now = FileStamp::of(m_path);
    if ((sqlite3_file_control(m_db, "main", SQLITE_FCNTL_HAS_MOVED, &moved) == SQLITE_OK && moved) || !now.exists()
        || !now.sameFile(m_opened)) {
        return u"%1已被删除或替换"_s.arg(name);
    }
    const QByteArray head = header();
    if (head.size() < 16 || std::memcmp(head.constData(), kSqliteMagic, 16) != 0) {
        return u"%1已被其他文件覆盖"_s.arg(name);
    }
    return {};
}

void Connection::dropCache()
{
    if (m_db) {
        sqlite3_db_release_memory(m_db);
    }
}

namespace {

std::mutex g_hookMutex;
std::function<void(const QString&)> g_beforeWrite;

std::function<void(const QString&)> beforeWriteHook()
{
    std::lock_guard lock(g_hookMutex);
    return g_beforeWrite;
}

} // namespace

void setBeforeWriteHook(std::function<void(const QString& path)> hook)
{
    std::lock_guard lock(g_hookMutex);
    g_beforeWrite = std::move(hook);
}

bool Connection::begin(QString* error)
{
    if (m_readOnly) {
        if (error) {
            *error = u"只读打开的电话簿数据库不能修改"_s;
        }
        return false;
    }
    if (const QString refusal = writeRefusal(); !refusal.isEmpty()) {
        if (error) {
            *error = refusal;
        }
        return false;
    }
    if (const auto hook = beforeWriteHook()) {
        hook(m_path);
    }
    // Pages read before another program replaced the content in place must never be written back into it.
    dropCache();
    return exec("BEGIN IMMEDIATE", error);
}

bool Connection::commit(QString* error)
{
    if (!exec("COMMIT", error)) {
        rollback();
        return false;
    }
    m_wrote = true;
    checkpoint();
    return true;
}

void Connection::rollback()
{
    if (m_db && sqlite3_get_autocommit(m_db) == 0) {
        sqlite3_exec(m_db, "ROLLBACK", nullptr, nullptr, nullptr);
    }
}

bool Connection::write(const std::function<bool(QString*)>& work, QString* error)
{
    if (!begin(error)) {
        return false;
    }
    if (!work(error)) {
        rollback();
        return false;
    }
    return commit(error);
}

void Connection::checkpoint()
{
    // Leave the main file complete after every write: users copy DHB.EDB alone as their backup.
    if (sqlite3_wal_checkpoint_v2(m_db, nullptr, SQLITE_CHECKPOINT_TRUNCATE, nullptr, nullptr) == SQLITE_OK) {
        m_incomplete.clear();
        return;
    }
    // Another reader in the way only delays the copy; a failure (the disk full, the file no longer writable)
    // leaves the last writes in the WAL alone until a later checkpoint succeeds. They are committed and safe, but a
    // copy of the main file alone would lack them.
    const int rc = sqlite3_wal_checkpoint_v2(m_db, nullptr, SQLITE_CHECKPOINT_PASSIVE, nullptr, nullptr);
    const int primary = rc & 0xff;
    if (rc == SQLITE_OK || primary == SQLITE_BUSY || primary == SQLITE_LOCKED) {
        m_incomplete.clear();
        return;
    }
    const QString name = QFileInfo(m_path).fileName();
    m_incomplete = u"已保存。但最新的改动暂时只在%1-wal中，没能写进%1本身（%2）：释放磁盘空间之前，单独复制%1"
                   u"得不到完整的备份，请用 telvane-cli backup 备份。下次保存时会再写入%1。"_s.arg(
                       name, QString::fromUtf8(sqlite3_errmsg(m_db)));
}

// ---- Statement ----------------------------------------------------------------------------------------------------

Statement::Statement(sqlite3* db, const char* sql)
{
    if (db && sqlite3_prepare_v2(db, sql, -1, &m_stmt, nullptr) != SQLITE_OK) {
        sqlite3_finalize(m_stmt);
        m_stmt = nullptr;
    }
}

Statement::~Statement()
{
    sqlite3_finalize(m_stmt);
}

int Statement::step()
{
    return sqlite3_step(m_stmt);
}

void Statement::reset()
{
    sqlite3_reset(m_stmt);
    sqlite3_clear_bindings(m_stmt);
}

void Statement::bindText(int index, const QString& text)
{
    const QByteArray utf8 = text.toUtf8();
    sqlite3_bind_text(m_stmt, index, utf8.constData(), static_cast<int>(utf8.size()), SQLITE_TRANSIENT);
}

void Statement::bindText(int index, std::string_view utf8)
{
    sqlite3_bind_text(m_stmt, index, utf8.data(), static_cast<int>(utf8.size()), SQLITE_TRANSIENT);
}

void Statement::bindTextInPlace(int index, std::string_view utf8)
{
    sqlite3_bind_text(m_stmt, index, utf8.data(), static_cast<int>(utf8.size()), SQLITE_STATIC);
}

void Statement::bindInt(int index, std::int64_t value)
{
    sqlite3_bind_int64(m_stmt, index, value);
}

std::int64_t Statement::columnInt(int column) const
{
    return sqlite3_column_int64(m_stmt, column);
}

std::string_view Statement::columnUtf8(int column) const
{
    const auto* p = reinterpret_cast<const char*>(sqlite3_column_text(m_stmt, column));
    return p ? std::string_view(p, static_cast<std::size_t>(sqlite3_column_bytes(m_stmt, column))) : std::string_view();
}

QString Statement::columnText(int column) const
{
    const std::string_view utf8 = columnUtf8(column);
    const QString text = QString::fromUtf8(utf8.data(), static_cast<qsizetype>(utf8.size()));
    return text.isNull() ? u""_s : text;
}

} // namespace telvane::store
