#pragma once

#include "store/connection.h"
#include "store/record.h"

#include <QString>

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

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

    // See store/connection.h.
    static FileState inspect(const QString& path) { return store::inspect(path); }
    static QString describe(FileState state) { return store::describe(state); }
    static bool create(const QString& path, QString* error = nullptr) { return createStore(path, error); }
    enum class Access { ReadWrite, ReadOnly };
    // Opens an existing store; refuses anything inspect() does not call a Store, leaving it untouched. ReadOnly
    // reads a store without ever writing to it (also one on read-only media); appends then fail.
    bool open(const QString& path, QString* error = nullptr, Access access = Access::ReadWrite);
    // Leaves the file complete: everything written is in the main file, the WAL is checkpointed away.
    void close();
    bool isOpen() const { return m_conn.isOpen(); }
    QString path() const { return m_path; }

    // Number of records; 0 while no store is open. Follows writes made by other connections.
    int recordCount();
    // Record number n (1..recordCount()); an empty record outside.
    Record record(int n);

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
    void setBusyTimeout(int milliseconds) { m_conn.setBusyTimeout(milliseconds); }

private:
    bool reload(QString* error);
    // A fingerprint of every record as the file holds it now, read past SQLite's cached pages.
    bool digestOfFile(std::uint64_t* digest);
    // Whether the file still holds what this store last read or wrote, when it changed without SQLite saying so.
    bool unchangedOutsideSqlite(QString* error);
    bool insertRows(std::span<const Record> records, std::vector<std::int64_t>& ids, QString* error);

    Connection m_conn;
    QString m_path;
    Columns m_columns;
    std::int64_t m_dataVersion = -1;
    // The file as this store last left or read it, and a fingerprint of its records; see unchangedOutsideSqlite.
    FileStamp m_stamp;
    std::uint64_t m_digest = 0;
    std::uint64_t m_pendingDigest = 0;
    bool m_changedOutside = false;
    std::uint64_t m_generation = 0;
};

} // namespace telvane::store
