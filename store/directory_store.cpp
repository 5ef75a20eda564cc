#include "store/directory_store.h"

#include "text/gbk.h"

#include <QFile>
#include <QFileInfo>
#include <QUrl>

#include <sqlite3.h>

#include <cstring>
#include <sys/stat.h>

using namespace Qt::StringLiterals;

namespace telvane::store {

namespace {

// Stamped into every store this program creates ("TELV"), so other tools can tell the file apart.
constexpr int kApplicationId = 0x54454C56;
constexpr int kDefaultBusyTimeoutMs = 3000;

QByteArray nativePath(const QString& path)
{
    return QFile::encodeName(path);
}

std::string quoted(std::string_view name)
{
    return "\"" + std::string(name) + "\"";
}

std::string columnList()
{
    std::string s;
    for (std::size_t i = 0; i < kFieldCount; ++i) {
        if (i) {
            s += ", ";
        }
        s += quoted(kFields[static_cast<std::size_t>(i)].name);
    }
    return s;
}

// A statement that is finalized whatever path leaves the scope.
class Statement
{
public:
    Statement(sqlite3* db, const std::string& sql) { m_rc = sqlite3_prepare_v2(db, sql.c_str(), -1, &m_stmt, nullptr); }
    ~Statement() { sqlite3_finalize(m_stmt); }
    Statement(const Statement&) = delete;
    Statement& operator=(const Statement&) = delete;
    bool ok() const { return m_rc == SQLITE_OK && m_stmt; }
    sqlite3_stmt* get() const { return m_stmt; }

private:
    sqlite3_stmt* m_stmt = nullptr;
    int m_rc = SQLITE_ERROR;
};

// The WAL and its index beside a store file. SQLite makes them when it opens a WAL file, even read-only, and a
// read-only or failed connection leaves them behind: a look at a file, or a refusal to open it, takes away again
// the ones it made, so that a file that is not a store stays alone as it was found.
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

// Whether the database holds table `directory` with the key and the seven text columns.
bool hasDirectorySchema(sqlite3* db, bool* readable)
{
    *readable = true;
    Statement st(db, "SELECT name FROM pragma_table_info('directory')");
    if (!st.ok()) {
        *readable = false;
        return false;
    }
    std::vector<std::string> names;
    int rc;
    while ((rc = sqlite3_step(st.get())) == SQLITE_ROW) {
        names.emplace_back(reinterpret_cast<const char*>(sqlite3_column_text(st.get(), 0)));
    }
    if (rc != SQLITE_DONE) {
        *readable = false;
        return false;
    }
    auto has = [&](std::string_view n) {
        for (const auto& x : names) {
            if (x == n) {
                return true;
            }
        }
        return false;
    };
    if (!has("id")) {
        return false;
    }
    for (const FieldInfo& field : kFields) {
        const auto n = field.name;
        if (!has(n)) {
            return false;
        }
    }
    return true;
}

// A read-only connection; `immutable` also reads a file on read-only media, without locks or WAL index.
sqlite3* openReadOnly(const QString& path, bool immutable)
{
    sqlite3* db = nullptr;
    int rc;
    if (immutable) {
        const QByteArray uri = QUrl::fromLocalFile(QFileInfo(path).absoluteFilePath()).toEncoded() + "?immutable=1";
        rc = sqlite3_open_v2(uri.constData(), &db, SQLITE_OPEN_READONLY | SQLITE_OPEN_URI, nullptr);
    } else {
        rc = sqlite3_open_v2(nativePath(path).constData(), &db, SQLITE_OPEN_READONLY, nullptr);
    }
    if (rc != SQLITE_OK) {
        sqlite3_close(db);
        return nullptr;
    }
    return db;
}

} // namespace

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

// ---- Columns ----------------------------------------------------------------------------------------------------

void Columns::clear()
{
    m_ids.clear();
    for (std::size_t f = 0; f < kFieldCount; ++f) {
        m_bytes[static_cast<std::size_t>(f)].clear();
        m_offsets[static_cast<std::size_t>(f)].assign(1, 0);
    }
}

void Columns::reserve(std::size_t records)
{
    m_ids.reserve(records);
    for (auto& o : m_offsets) {
        o.reserve(records + 1);
    }
}

void Columns::push(std::int64_t id, const Record& record)
{
    m_ids.push_back(id);
    for (std::size_t f = 0; f < kFieldCount; ++f) {
        m_bytes[f] += record[f];
        m_offsets[f].push_back(static_cast<std::uint32_t>(m_bytes[f].size()));
    }
}

// ---- DirectoryStore ---------------------------------------------------------------------------------------------

DirectoryStore::DirectoryStore() = default;

DirectoryStore::~DirectoryStore()
{
    close();
}

FileState DirectoryStore::inspect(const QString& path)
{
    const QFileInfo info(path);
    if (!info.exists() && !info.isSymLink()) {
        return FileState::Missing;
    }
    if (info.isDir()) {
        return FileState::Unreadable;
    }
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        return info.size() == 0 ? FileState::Missing : FileState::Unreadable;
    }
    const QByteArray head = file.read(16);
    file.close();
    if (head.isEmpty() && info.size() == 0) {
        return FileState::Missing;
    }
    if (head.size() < 16 || std::memcmp(head.constData(), "SQLite format 3\0", 16) != 0) {
        return FileState::NotSqlite;
    }
    const Companions companions(path);
    // A store on read-only media (a backup on a CD) cannot get the WAL index SQLite wants beside it; read such a
    // file as immutable instead. It is complete on its own, since every write is checkpointed.
    for (const bool immutable : {false, true}) {
        sqlite3* db = openReadOnly(path, immutable);
        if (!db) {
            continue;
        }
        bool readable = true;
        const bool ok = hasDirectorySchema(db, &readable);
        sqlite3_close(db);
        companions.removeOwn();
        if (readable) {
            return ok ? FileState::Store : FileState::NotDirectory;
        }
    }
    companions.removeOwn();
    return FileState::Unreadable;
}

QString DirectoryStore::describe(FileState state)
{
    switch (state) {
        case FileState::Missing:
            return u"文件不存在"_s;
        case FileState::Store:
            return u"文件是有效的电话簿数据库"_s;
        case FileState::NotSqlite:
            return u"文件不是电话簿数据库"_s;
        case FileState::NotDirectory:
            return u"文件是其他程序的数据库，不含电话簿数据表"_s;
        case FileState::Unreadable:
            return u"文件已损坏或无法读取"_s;
    }
    return {};
}

bool DirectoryStore::create(const QString& path, QString* error)
{
    const FileState state = inspect(path);
    if (state != FileState::Missing) {
        if (error) {
            *error = u"%1已存在，未作改动"_s.arg(QFileInfo(path).fileName());
        }
        return false;
    }
    sqlite3* db = nullptr;
    int rc = sqlite3_open_v2(nativePath(path).constData(), &db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr);
    auto fail = [&](const char* what) {
        if (error) {
            *error = QString::fromUtf8(db ? sqlite3_errmsg(db) : what);
        }
        sqlite3_close(db);
        QFile::remove(path);
        return false;
    };
    if (rc != SQLITE_OK) {
        return fail("cannot create the file");
    }
    std::string sql = "PRAGMA application_id = " + std::to_string(kApplicationId)
                      + "; PRAGMA journal_mode = WAL; PRAGMA synchronous = FULL; BEGIN;"
                        " CREATE TABLE directory (id INTEGER PRIMARY KEY";
    for (const FieldInfo& field : kFields) {
        const auto n = field.name;
        sql += ", " + quoted(n) + " TEXT NOT NULL DEFAULT ''";
    }
    sql += "); COMMIT;";
    if (sqlite3_exec(db, sql.c_str(), nullptr, nullptr, nullptr) != SQLITE_OK) {
        return fail("cannot write the file");
    }
    sqlite3_wal_checkpoint_v2(db, nullptr, SQLITE_CHECKPOINT_TRUNCATE, nullptr, nullptr);
    rc = sqlite3_close(db);
    return rc == SQLITE_OK;
}

bool DirectoryStore::open(const QString& path, QString* error, Access access)
{
    close();
    const FileState state = inspect(path);
    if (state != FileState::Store) {
        if (error) {
            *error = describe(state);
        }
        return false;
    }
    // A refused file is left as it was found.
    const Companions companions(path);
    if (access == Access::ReadOnly) {
        // Reading only: a plain read-only connection, or an immutable one for a file on read-only media.
        for (const bool immutable : {false, true}) {
            m_db = openReadOnly(path, immutable);
            if (m_db && reload(error)) {
                m_path = path;
                m_stamp = FileStamp::of(path);
                return true;
            }
            sqlite3_close(m_db);
            m_db = nullptr;
        }
        companions.removeOwn();
        if (error && error->isEmpty()) {
            *error = describe(FileState::Unreadable);
        }
        return false;
    }
    if (sqlite3_open_v2(nativePath(path).constData(), &m_db, SQLITE_OPEN_READWRITE, nullptr) != SQLITE_OK) {
        if (error) {
            *error = lastError();
        }
        sqlite3_close(m_db);
        m_db = nullptr;
        companions.removeOwn();
        return false;
    }
    sqlite3_busy_timeout(m_db, kDefaultBusyTimeoutMs);
    bool readable = true;
    if (!exec("PRAGMA journal_mode = WAL; PRAGMA synchronous = FULL;", error) || !hasDirectorySchema(m_db, &readable)
        || !reload(error)) {
        if (error && error->isEmpty()) {
            *error = describe(FileState::Unreadable);
        }
        sqlite3_close(m_db);
        m_db = nullptr;
        companions.removeOwn();
        return false;
    }
    m_path = path;
    m_stamp = FileStamp::of(path);
    return true;
}

void DirectoryStore::close()
{
    if (!m_db) {
        return;
    }
    sqlite3_wal_checkpoint_v2(m_db, nullptr, SQLITE_CHECKPOINT_TRUNCATE, nullptr, nullptr);
    sqlite3_close_v2(m_db);
    m_db = nullptr;
    m_path.clear();
    m_columns.clear();
    m_dataVersion = -1;
    m_cursor = 0;
    ++m_generation;
}

void DirectoryStore::setBusyTimeout(int milliseconds)
{
    if (m_db) {
        sqlite3_busy_timeout(m_db, milliseconds);
    }
}

bool DirectoryStore::exec(const char* sql, QString* error)
{
    char* msg = nullptr;
    if (sqlite3_exec(m_db, sql, nullptr, nullptr, &msg) != SQLITE_OK) {
        if (error) {
            *error = QString::fromUtf8(msg ? msg : sqlite3_errmsg(m_db));
        }
        sqlite3_free(msg);
        return false;
    }
    return true;
}

QString DirectoryStore::lastError() const
{
    return m_db ? QString::fromUtf8(sqlite3_errmsg(m_db)) : u"no store is open"_s;
}

std::int64_t DirectoryStore::dataVersion() const
{
    Statement st(m_db, "PRAGMA data_version");
    if (!st.ok() || sqlite3_step(st.get()) != SQLITE_ROW) {
        return -1;
    }
    return sqlite3_column_int64(st.get(), 0);
}

bool DirectoryStore::reload(QString* error)
{
    // Read the version first: a write that lands after it makes the next look reload again.
    const std::int64_t version = dataVersion();
    Statement st(m_db, "SELECT id, " + columnList() + " FROM directory ORDER BY id");
    if (!st.ok()) {
        if (error) {
            *error = lastError();
        }
        return false;
    }
    Columns fresh;
    Record record;
    int rc;
    while ((rc = sqlite3_step(st.get())) == SQLITE_ROW) {
        for (std::size_t f = 0; f < kFieldCount; ++f) {
            const auto* p = reinterpret_cast<const char*>(sqlite3_column_text(st.get(), f + 1));
            const int n = sqlite3_column_bytes(st.get(), f + 1);
            record[static_cast<std::size_t>(f)] =
                p ? text::utf8ToGbk(std::string_view(p, static_cast<std::size_t>(n))) : std::string();
        }
        fresh.push(sqlite3_column_int64(st.get(), 0), record);
    }
    if (rc != SQLITE_DONE) {
        if (error) {
            *error = lastError();
        }
        return false;
    }
    m_columns = std::move(fresh);
    m_dataVersion = version;
    ++m_generation;
    return true;
}

void DirectoryStore::refresh()
{
    if (!m_db) {
        return;
    }
    const std::int64_t version = dataVersion();
    if (version != m_dataVersion && reload(nullptr)) {
        m_stamp = FileStamp::of(m_path);
    }
}

int DirectoryStore::recordCount()
{
    if (!m_db) {
        return 0;
    }
    refresh();
    return static_cast<int>(m_columns.size());
}

const Columns& DirectoryStore::columns()
{
    refresh();
    return m_columns;
}

void DirectoryStore::moveToFirst()
{
    m_cursor = 1;
}

void DirectoryStore::moveTo(int n)
{
    m_cursor = n;
}

std::string_view DirectoryStore::readField(int f) const
{
    if (m_cursor < 1 || static_cast<std::size_t>(m_cursor) > m_columns.size() || f < 1 || f > static_cast<int>(kFieldCount)) {
        return {};
    }
    return m_columns.field(m_cursor, f);
}

Record DirectoryStore::currentRecord() const
{
    Record r;
    for (std::size_t f = 1; f <= kFieldCount; ++f) {
        r[static_cast<std::size_t>(f - 1)] = std::string(readField(f));
    }
    return r;
}

bool DirectoryStore::insertRows(std::span<const Record> records, std::vector<std::int64_t>& ids, QString* error)
{
    std::string sql = "INSERT INTO directory (" + columnList() + ") VALUES (?, ?, ?, ?, ?, ?, ?)";
    Statement st(m_db, sql);
    if (!st.ok()) {
        if (error) {
            *error = lastError();
        }
        return false;
    }
    ids.reserve(records.size());
    std::array<std::string, kFieldCount> utf8;
    for (const Record& r : records) {
        for (std::size_t f = 0; f < kFieldCount; ++f) {
            utf8[static_cast<std::size_t>(f)] = text::gbkToUtf8(r[static_cast<std::size_t>(f)]);
            sqlite3_bind_text(st.get(), f + 1, utf8[static_cast<std::size_t>(f)].data(),
                              static_cast<int>(utf8[static_cast<std::size_t>(f)].size()), SQLITE_STATIC);
        }
        if (sqlite3_step(st.get()) != SQLITE_DONE) {
            if (error) {
                *error = lastError();
            }
            return false;
        }
        ids.push_back(sqlite3_last_insert_rowid(m_db));
        sqlite3_reset(st.get());
    }
    return true;
}

bool DirectoryStore::append(const Record& record, QString* error)
{
    return appendMany(std::span<const Record>(&record, 1), error);
}

bool DirectoryStore::appendMany(std::span<const Record> records, QString* error)
{
    if (!m_db) {
        if (error) {
            *error = lastError();
        }
        return false;
    }
    // A store file deleted or replaced (renamed over) while open still takes writes through the open handle, into a
    // file nobody can read again: the records would be lost while reported stored.
    // A file copied over it in place (same file, other content) is caught when the content is no SQLite file: it is
    // never overwritten.
    int moved = 0;
    QFile file(m_path);
    if ((sqlite3_file_control(m_db, "main", SQLITE_FCNTL_HAS_MOVED, &moved) == SQLITE_OK && moved)
        || !file.open(QIODevice::ReadOnly) || file.read(16) != QByteArray("SQLite format 3\0", 16)) {
        if (error) {
            *error = u"%1已被删除或替换，记录未保存"_s.arg(QFileInfo(m_path).fileName());
        }
        return false;
    }
    file.close();
    // Number the existing records as the file has them before adding behind them.
    refresh();
    // Writers that go through SQLite show in data_version and were just taken in. A file that changed otherwise
    // (a backup copied over it in place) no longer matches SQLite's cached pages, which would be written into it.
    if (FileStamp::of(m_path) != m_stamp) {
        if (error) {
            *error = u"%1已被其他程序改写，记录未保存。请重新启动本程序"_s.arg(QFileInfo(m_path).fileName());
        }
        return false;
    }
    if (!exec("BEGIN IMMEDIATE", error)) {
        return false;
    }
    std::vector<std::int64_t> ids;
    if (!insertRows(records, ids, error) || !exec("COMMIT", error)) {
        sqlite3_exec(m_db, "ROLLBACK", nullptr, nullptr, nullptr);
        return false;
    }
    // SQLite gives a new row the largest key plus one, so the new records follow the old ones in id order.
    m_columns.reserve(m_columns.size() + records.size());
    for (std::size_t i = 0; i < records.size(); ++i) {
        m_columns.push(ids[i], records[i]);
    }
    checkpoint();
    m_stamp = FileStamp::of(m_path);
    return true;
}

void DirectoryStore::checkpoint()
{
    // Leave the main file complete after every write: users copy DHB.EDB alone as their backup.
    if (sqlite3_wal_checkpoint_v2(m_db, nullptr, SQLITE_CHECKPOINT_TRUNCATE, nullptr, nullptr) != SQLITE_OK) {
        sqlite3_wal_checkpoint_v2(m_db, nullptr, SQLITE_CHECKPOINT_PASSIVE, nullptr, nullptr);
    }
}

} // namespace telvane::store
