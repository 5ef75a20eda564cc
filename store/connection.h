#pragma once

#include <QByteArray>
#include <QString>

#include <cstdint>
#include <functional>
#include <string_view>

struct sqlite3;
struct sqlite3_stmt;

// The one way this program talks to a store file through SQLite. Every connection to DHB.EDB, the main window's,
// the grid's and the command-line companion's, is opened here and gets the same policy: WAL with synchronous FULL,
// a busy timeout, SQLite's defensive settings (no triggers, no views, no untrusted schema functions), and a
// checkpoint after each write so that the main file alone is complete whenever the program is idle.
//
// POSIX locks belong to the process, and closing any descriptor of a file drops all of them: while a connection to a
// file is open, nothing in the process may open that file outside SQLite. The file's identity is taken by stat()
// on its path, its header through SQLite's own descriptor. inspect() knows which files have connections open.
namespace telvane::store {

// How a store file looked when it was checked before opening.
enum class FileState {
    Missing, // no file, or a 0-byte file
    Store, // a SQLite file with the directory table and its seven columns, and nothing else
    NotSqlite, // some other file: its first 16 bytes are not the SQLite header
    NotDirectory, // a SQLite database without the directory table and its columns
    Unsafe, // a SQLite database with the directory table but also triggers, views or other tables
    Unreadable, // a folder, a file without read permission, or a SQLite file that is damaged
};

// Which file a path names and how it last looked: device, inode, size and modification time.
struct FileStamp
{
    std::uint64_t device = 0;
    std::uint64_t inode = 0;
    std::int64_t size = -1;
    std::int64_t modified = 0;
    static FileStamp of(const QString& path);
    bool exists() const { return size >= 0; }
    bool sameFile(const FileStamp& other) const { return device == other.device && inode == other.inode; }
    bool operator==(const FileStamp&) const = default;
};

// Looks at a file before any connection opens it: SQLite would create a missing file and "open" any foreign one.
// A file this process already has a connection to is looked at through SQLite only.
FileState inspect(const QString& path);
// A sentence for the user that says why a file is not a store (for states other than Store); with the file's path
// it tells a folder and an empty file from a damaged and a missing one.
QString describe(FileState state, const QString& path = {});
// A Chinese sentence for an error SQLite reported (its code, the errno behind it, its own words, which follow in
// brackets): what happened and what to do.
QString errorText(int code, int systemErrno, const char* detail);
// Why a store at `path` cannot be written: it lies on a network file system (NFS, SMB/CIFS, FUSE such as sshfs),
// where the WAL cannot work and file locks cannot be trusted. Empty text elsewhere.
QString networkRefusal(const QString& path);
// Creates a new, empty store file. Refuses to touch an existing non-empty file.
bool createStore(const QString& path, QString* error = nullptr);

// Called with the store's path before every write transaction of this process begins on a connection that may write
// (the daily backup goes here); null for none. It must not write through the connection that calls it.
void setBeforeWriteHook(std::function<void(const QString& path)> hook);

class Connection
{
public:
    enum class Mode {
        ReadWrite,
        // Never writes a record. Opened read-write underneath (with writes refused) so that SQLite itself removes the
        // WAL and its index when it is the last connection; a store on read-only media is read as immutable.
        ReadOnly,
    };

    Connection() = default;
    ~Connection();
    Connection(Connection&& other) noexcept;
    Connection& operator=(Connection&& other) noexcept;
    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;

    // Opens a file inspect() calls a Store (checked here again), applying the policy. A refused file is left as it
    // was found. False with the reason in *error.
    bool open(const QString& path, Mode mode, QString* error = nullptr);
    // Checkpoints (when this connection wrote) and closes.
    void close();
    // Makes the keys of a store made by an earlier version unique for ever (AUTOINCREMENT). Done by open() for a
    // read-write connection; true when there was nothing to do or it is done.
    bool upgradeKeys(QString* error = nullptr);
    bool isOpen() const { return m_db != nullptr; }
    sqlite3* handle() const { return m_db; }
    const QString& path() const { return m_path; }
    bool isReadOnly() const { return m_readOnly; }

    bool exec(const char* sql, QString* error = nullptr);
    QString lastError() const;
    // How long a statement waits for another connection's lock before it fails.
    void setBusyTimeout(int milliseconds);
    // Changes whenever another connection (of this process or another) committed a write since the last look.
    std::int64_t dataVersion() const;

    // Why a write must not go ahead, or empty text: the file was deleted, renamed over or replaced by something that
    // is no SQLite file. SQLite would otherwise go on writing into the unlinked file, or over the stranger's.
    QString writeRefusal() const;
    // The file as it is on disk now, to tell changes made outside SQLite from those made through it.
    FileStamp stamp() const { return FileStamp::of(m_path); }
    // Drops the pages SQLite keeps in memory, so the next read comes from the file as it is now.
    void dropCache();

    // Runs `work` in one write transaction (BEGIN IMMEDIATE .. COMMIT), then checkpoints. Any failure rolls
    // everything back; the reason is in *error. Refused outright when writeRefusal() says so.
    bool write(const std::function<bool(QString* error)>& work, QString* error = nullptr);
    // The same in steps, for a transaction that spans several calls: begin() refuses as write() does, commit()
    // checkpoints after it, rollback() leaves the store as it was.
    bool begin(QString* error = nullptr);
    bool commit(QString* error = nullptr);
    void rollback();
    // Copies the WAL into the main file, truncating it where no reader is in the way.
    void checkpoint();
    // Empty while the main file holds every committed write (or another reader only delays it); otherwise a
    // sentence for the user: the last checkpoint failed (the disk is full), so the file alone is not complete.
    const QString& incompleteWarning() const { return m_incomplete; }

private:
    bool applyPolicy(QString* error);
    QByteArray header() const;

    sqlite3* m_db = nullptr;
    QString m_path;
    FileStamp m_opened;
    bool m_readOnly = false;
    bool m_wrote = false;
    QString m_incomplete;
};

// A statement that is reset and finalized whatever path leaves the scope, so no read stays open.
class Statement
{
public:
    Statement(sqlite3* db, const char* sql);
    ~Statement();
    Statement(const Statement&) = delete;
    Statement& operator=(const Statement&) = delete;
    bool ok() const { return m_stmt != nullptr; }
    sqlite3_stmt* get() const { return m_stmt; }
    // sqlite3_step; SQLITE_ROW, SQLITE_DONE or an error code.
    int step();
    void reset();
    void bindText(int index, const QString& text);
    void bindText(int index, std::string_view utf8);
    // Binds without a copy: the bytes must stay as they are until the statement has stepped.
    void bindTextInPlace(int index, std::string_view utf8);
    void bindInt(int index, std::int64_t value);
    std::int64_t columnInt(int column) const;
    QString columnText(int column) const;
    std::string_view columnUtf8(int column) const;

private:
    sqlite3_stmt* m_stmt = nullptr;
};

} // namespace telvane::store
