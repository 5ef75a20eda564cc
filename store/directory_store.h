#pragma once

#include "store/connection.h"
#include "store/record.h"
#include "store/scan.h"

#include <QString>

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace telvane::store {

// The field texts of every record, held in memory as GBK bytes. Field f of record r (0-based) is
// bytes[f].substr(offsets[f][r], offsets[f][r+1] - ...). Tools that want everything at once read it; the program
// itself keeps only the ids and the search index.
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
    void push(std::int64_t id, const FieldViews& record);

private:
    std::vector<std::int64_t> m_ids;
    std::array<std::string, kFieldCount> m_bytes;
    // Each field's list starts with the offset 0 (see clear()).
    std::array<std::vector<std::uint32_t>, kFieldCount> m_offsets = startOffsets();
    static std::array<std::vector<std::uint32_t>, kFieldCount> startOffsets()
    {
        std::array<std::vector<std::uint32_t>, kFieldCount> offsets;
        for (auto& o : offsets) {
            o.assign(1, 0);
        }
        return offsets;
    }
};

// The directory store DHB.EDB: the records live in SQLite table `directory`, numbered 1..recordCount() in id order.
//
// Opening only connects: the numbering (the ids in order) comes from a snapshot, read in one pass over the file by
// scanStore() on another thread and handed over with adopt(), or read here the first time it is needed. Other
// connections (the list editor's grid, other programs) may write at any time; isCurrent() tells whether the snapshot
// still holds, and the count and the records read follow the file either way.
class DirectoryStore
{
public:
    DirectoryStore();
    ~DirectoryStore();
    DirectoryStore(const DirectoryStore&) = delete;
    DirectoryStore& operator=(const DirectoryStore&) = delete;

    // See store/connection.h.
    static FileState inspect(const QString& path) { return store::inspect(path); }
    static QString describe(FileState state, const QString& path = {}) { return store::describe(state, path); }
    static bool create(const QString& path, QString* error = nullptr) { return createStore(path, error); }
    enum class Access { ReadWrite, ReadOnly };
    // Opens an existing store; refuses anything inspect() does not call a Store, leaving it untouched. ReadOnly
    // reads a store without ever writing to it (also one on read-only media); appends then fail. Reads no record.
    bool open(const QString& path, QString* error = nullptr, Access access = Access::ReadWrite);
    // Leaves the file complete: everything written is in the main file, the WAL is checkpointed away.
    void close();
    bool isOpen() const { return m_conn.isOpen(); }
    QString path() const { return m_path; }

    // ---- numbering ------------------------------------------------------------------------------------------------

    // Changes whenever another connection committed a write since the last look.
    std::int64_t dataVersion() const { return m_conn.dataVersion(); }
    // Takes a snapshot read elsewhere while dataVersion() still read `version`: it becomes the numbering. One that is
    // not whole (read without every field) is read again in full before the first write.
    void adopt(Scan&& scan, std::int64_t version);
    // Whether the numbering is a snapshot that no other connection has written past.
    bool isCurrent() const { return m_numbered && m_conn.dataVersion() == m_version; }
    // The ids in store order: record number n has ids()[n - 1]. Reads a snapshot when there is none or another
    // connection wrote since.
    const IdList& ids();
    // Changes whenever the numbering is replaced (not when this store appends behind the last record).
    std::uint64_t generation() const { return m_generation; }
    // The key of record number n in the numbering as it stands, without looking for another connection's writes.
    std::int64_t numberedId(int n) const { return m_ids[static_cast<std::size_t>(n - 1)]; }

    // Number of records; 0 while no store is open. From the snapshot while it holds, else asked from SQLite.
    int recordCount();
    // Record number n (1..recordCount()) as the file holds it now; an empty record outside.
    Record record(int n);
    // The record with key `id` as the file holds it now; false when there is none (another program removed it).
    // Keys are never given twice, so a key names one person for good.
    bool recordById(std::int64_t id, Record* record);
    // Carries a snapshot read elsewhere on to the records appended after its last one (by this store while the
    // snapshot was being read), handing each of them to `each`.
    bool extendScan(Scan& scan, const std::function<void(const FieldViews& gbk)>& each);

    // ---- writing ------------------------------------------------------------------------------------------------

    // Adds one record at the end. False, with the reason in *error, when it was not stored.
    bool append(const Record& record, QString* error = nullptr);
    // Adds all records at the end in one transaction: after a failure or a crash either all are stored or none.
    bool appendMany(std::span<const Record> records, QString* error = nullptr);

    // Adds records in several pieces inside one transaction, so a large import never holds all of them in memory:
    // all or none are stored. Rolled back when destroyed before commit().
    class Appender
    {
    public:
        explicit Appender(DirectoryStore& store);
        ~Appender();
        Appender(const Appender&) = delete;
        Appender& operator=(const Appender&) = delete;
        bool begin(QString* error = nullptr);
        bool add(std::span<const Record> records, QString* error = nullptr);
        // The same with records whose fields are UTF-8 already (as the file keeps them), converted by the caller.
        bool addUtf8(std::span<const Record> records, QString* error = nullptr);
        bool commit(QString* error = nullptr);
        // Nothing of what was added stays.
        void rollback();
        std::size_t added() const { return m_ids.size(); }
        // The keys the records got, in order (valid after commit()).
        const std::vector<std::int64_t>& ids() const { return m_ids; }

    private:
        bool insert(std::span<const Record> records, bool gbk, QString* error);

        DirectoryStore& m_store;
        std::unique_ptr<Statement> m_insert;
        std::vector<std::int64_t> m_ids;
        Digest m_digest;
        bool m_open = false;
    };

    // ---- everything at once ---------------------------------------------------------------------------------------

    // All records' fields in memory (for tools and tests; the program never asks). Read again when another
    // connection wrote since.
    const Columns& columns();

    // How long a write waits for another connection's lock before it fails.
    void setBusyTimeout(int milliseconds) { m_conn.setBusyTimeout(milliseconds); }
    // Empty while the file alone holds every write; else why not (the last checkpoint failed: the disk is full).
    const QString& incompleteWarning() const { return m_conn.incompleteWarning(); }

private:
    bool number(QString* error);
    // A fingerprint of every record as the file holds it now, read past SQLite's cached pages.
    bool digestOfFile(std::uint64_t* digest);
    // Whether the file still holds what this store last read or wrote, when it changed without SQLite saying so.
    bool unchangedOutsideSqlite(QString* error);
    // Ready to write at the end: the numbering follows the file, which is still the store this one opened.
    bool readyToAppend(QString* error);

    Connection m_conn;
    QString m_path;
    // The numbering: a snapshot of the ids, the version it was read at, and a fingerprint of its records.
    IdList m_ids;
    bool m_numbered = false;
    std::int64_t m_version = -1;
    std::uint64_t m_digest = 0;
    bool m_whole = false; // the digest fingerprints the records
    // The file as this store last left or read it; see unchangedOutsideSqlite.
    FileStamp m_stamp;
    bool m_changedOutside = false;
    std::uint64_t m_generation = 0;
    std::unique_ptr<Columns> m_columns;
    std::int64_t m_columnsVersion = -1;
    std::unique_ptr<Statement> m_byId;
};

} // namespace telvane::store
