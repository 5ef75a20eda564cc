#pragma once

#include "store/record.h"

#include <QString>

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

struct sqlite3;

namespace telvane::store {

// The field texts of every record, held in memory as GBK bytes so that a search can read any field of any record
// without asking SQLite. Field f of record r (0-based) is bytes[f].substr(offsets[f][r], offsets[f][r+1] - ...).
class Columns
{
public:
    std::size_t size() const { return m_ids.size(); }
    // Field f (1..7) of record number n (1..size()).
    std::string_view field(int n, int f) const
    {
        const auto& off = m_offsets[static_cast<std::size_t>(f - 1)];
        const auto r = static_cast<std::size_t>(n - 1);
        return std::string_view(m_bytes[static_cast<std::size_t>(f - 1)]).substr(off[r], off[r + 1] - off[r]);
    }
    // The bytes of field f (1..7) of all records back to back, and the start offset of each record's value
    // (size() + 1 entries, the last one the total length).
    std::string_view fieldBytes(int f) const { return m_bytes[static_cast<std::size_t>(f - 1)]; }
    std::span<const std::uint32_t> fieldOffsets(int f) const { return m_offsets[static_cast<std::size_t>(f - 1)]; }
    std::int64_t id(int n) const { return m_ids[static_cast<std::size_t>(n - 1)]; }

    void clear();
    void reserve(std::size_t records);
    void push(std::int64_t id, const Record& record);

private:
    friend class DirectoryStore;
    std::vector<std::int64_t> m_ids;
    std::array<std::string, kFieldCount> m_bytes;
    std::array<std::vector<std::uint32_t>, kFieldCount> m_offsets {
        std::vector<std::uint32_t> {0}, std::vector<std::uint32_t> {0}, std::vector<std::uint32_t> {0},
        std::vector<std::uint32_t> {0}, std::vector<std::uint32_t> {0}, std::vector<std::uint32_t> {0},
        std::vector<std::uint32_t> {0}};
};

// Which file a path names and how it last looked: device, inode, size and modification time.
struct FileStamp
{
    std::uint64_t device = 0;
    std::uint64_t inode = 0;
    std::int64_t size = -1;
    std::int64_t modified = 0;
    static FileStamp of(const QString& path);
    bool operator==(const FileStamp&) const = default;
};

// How a store file looked when it was checked before opening.
enum class FileState {
    Missing, // no file, or a 0-byte file
    Store, // a SQLite file with the directory table and its seven columns
    NotSqlite, // some other file: its first 16 bytes are not the SQLite header
    NotDirectory, // a SQLite database without the directory table and its columns
    Unreadable, // a folder, a file without read permission, or a SQLite file that is damaged
};

// The directory store DHB.EDB: the records live in SQLite table `directory`, numbered 1..recordCount() in id order.
// A second connection (the list editor's grid) may write to the same file; the numbering and the in-memory
// columns follow it on the next recordCount() or columns().
class DirectoryStore
{
public:
    DirectoryStore();
    ~DirectoryStore();
    DirectoryStore(const DirectoryStore&) = delete;
    DirectoryStore& operator=(const DirectoryStore&) = delete;

    // Looks at a file without opening it through SQLite (which would create or accept any file).
    static FileState inspect(const QString& path);
    // A sentence for the user that says why a file is not a store (for states other than Store).
    static QString describe(FileState state);

    // Creates a new, empty store file. Refuses to touch an existing non-empty file.
    static bool create(const QString& path, QString* error = nullptr);
    enum class Access { ReadWrite, ReadOnly };
    // Opens an existing store; refuses anything inspect() does not call a Store, leaving it untouched. ReadOnly
    // reads a store without ever writing to it (also one on read-only media); appends then fail.
    bool open(const QString& path, QString* error = nullptr, Access access = Access::ReadWrite);
    // Leaves the file complete: everything written is in the main file, the WAL is checkpointed away.
    void close();
    bool isOpen() const { return m_db != nullptr; }
    QString path() const { return m_path; }

    // Number of records; 0 while no store is open. Follows writes made by other connections.
    int recordCount();
    // The record cursor of the store operations: record 1, record n (1..recordCount()), field f (1..7) of it.
    void moveToFirst();
    void moveTo(int n);
    std::string_view readField(int f) const;
    // The record at the cursor as one value (empty record when the cursor is outside).
    Record currentRecord() const;

    // Adds one record at the end. False, with the reason in *error, when it was not stored.
    bool append(const Record& record, QString* error = nullptr);
    // Adds all records at the end in one transaction: after a failure or a crash either all are stored or none.
    bool appendMany(std::span<const Record> records, QString* error = nullptr);

    // The in-memory read path: all records' fields, brought up to date first. The reference stays valid until
    // the next call that changes the store or refreshes it.
    const Columns& columns();
    // Changes whenever the columns were reloaded from the file (not on this store's own appends, which only add
    // records at the end). A reader that indexed records 1..k under the same generation needs only the new tail.
    std::uint64_t generation() const { return m_generation; }

    // Brings the numbering and columns up to date if another connection wrote since the last look.
    void refresh();
    // How long a write waits for another connection's lock before it fails.
    void setBusyTimeout(int milliseconds);

private:
    bool reload(QString* error);
    std::int64_t dataVersion() const;
    bool exec(const char* sql, QString* error);
    QString lastError() const;
    bool insertRows(std::span<const Record> records, std::vector<std::int64_t>& ids, QString* error);
    void checkpoint();

    sqlite3* m_db = nullptr;
    QString m_path;
    Columns m_columns;
    std::int64_t m_dataVersion = -1;
    // The file as this store last left or read it; see appendMany.
    FileStamp m_stamp;
    std::uint64_t m_generation = 0;
    int m_cursor = 0;
};

} // namespace telvane::store
