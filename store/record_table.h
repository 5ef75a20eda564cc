#pragma once

#include "store/connection.h"
#include "store/record.h"

#include <QString>

#include <array>
#include <cstdint>
#include <functional>
#include <list>
#include <unordered_map>
#include <utility>
#include <vector>

// The whole store as the list editor's grid sees it: one row per record in id order, read from the file in blocks
// around the rows on screen, never all at once. Every change is written at once, in one transaction, and comes back
// as a Change that takes it back again.
//
// Every write names its records by key and states the whole record it expects to find there: the record as the
// grid showed it, or as the change being taken back left it. When another program changed or removed that record
// meanwhile, nothing of the command is written. So a stale row, an undo step or another program's write never lands
// on another person.
namespace telvane::store {

// What one grid command did, enough to undo it: each record it changed, before and after; the records it added and
// the records it removed (with their keys, so that they come back in their old place).
struct Change
{
    struct Edit
    {
        std::int64_t id = 0;
        RecordTexts before;
        RecordTexts after;
    };
    std::vector<Edit> edited;
    std::vector<std::pair<std::int64_t, RecordTexts>> added;
    std::vector<std::pair<std::int64_t, RecordTexts>> removed;
    bool isEmpty() const { return edited.empty() && added.empty() && removed.empty(); }
    // The keys of every record the change wrote, in order.
    std::vector<std::int64_t> ids() const;
    // A record this change names came back under another key (its own was taken): the change follows it.
    void rekey(std::int64_t from, std::int64_t to);
};

// How a write went.
struct WriteOutcome
{
    // Another program changed or removed a record the command was to change: nothing was written, and the rows
    // have been read again from the file.
    bool conflict = false;
    // Cells whose new text was longer than the field holds, stored cut.
    int cut = 0;
    // The keys of the records the command addressed (changed or left as they were) and added, in order.
    std::vector<std::int64_t> records;
    // Records an undo brought back under a new key, because another program had taken their own: (old, new).
    std::vector<std::pair<std::int64_t, std::int64_t>> rekeyed;
    // Why nothing was written.
    QString error;
    // Set when the write went in but the main file alone lacks it until a later checkpoint (the disk is full).
    QString warning;
};

class RecordTable
{
public:
    // Opens the store with the program's connection policy. A store that cannot be written (on a network file
    // system, a full disk, a read-only file) is opened for reading: every write is then refused with the reason.
    // False, with the reason, when the file is not a store.
    bool open(const QString& path, QString* error = nullptr);
    void close();
    bool isOpen() const { return m_conn.isOpen(); }
    // Why writes are refused (the store was opened for reading only); empty text when they are not.
    const QString& writeRefusal() const { return m_readOnlyReason; }

    int rowCount() const { return static_cast<int>(m_ids.size()); }
    std::int64_t idAt(int row) const { return m_ids[static_cast<std::size_t>(row)]; }
    // The row of a record, or -1.
    int rowOf(std::int64_t id) const;
    // The text of one cell and of a whole row; empty for a record another program removed meanwhile.
    QString cell(int row, std::size_t field);
    RecordTexts record(int row);

    // Follows other writers: when another connection wrote since the last look, the rows are numbered anew and the
    // cached rows dropped. True when that happened.
    bool refresh();
    // Changes whenever the rows are numbered anew (read again, or records removed or restored); not when records are
    // only added after the last row.
    std::uint64_t numbering() const { return m_numbering; }
    // Whether another connection wrote since the last look (refresh() would renumber the rows).
    bool isStale() const { return m_conn.isOpen() && m_conn.dataVersion() != m_dataVersion; }
    // Called by write() with the rows its new records are about to take, just before they are among the rows (a
    // model over the table announces them then).
    void setAppendHook(std::function<void(int first, int last)> hook) { m_appendHook = std::move(hook); }

    struct CellWrite
    {
        int row = 0;
        std::size_t field = 0;
        QString text;
    };
    // Writes the cells and appends the records after the last row, all in one transaction. A cell whose text is
    // what the grid shows is left as it is; a changed one is stored as its field keeps text (one line, names and
    // units full-width, cut to the width: counted in the outcome). On success *change (if given) holds what takes
    // it back.
    bool write(const std::vector<CellWrite>& cells, const std::vector<RecordTexts>& newRecords, Change* change,
               WriteOutcome* outcome);
    // Removes the records in the given rows, in one transaction.
    bool removeRows(std::vector<int> rows, Change* change, WriteOutcome* outcome);
    // Takes a change back in one transaction: its added records go, its records get their old texts and its removed
    // records return with their keys (under a new key, told in the outcome, should another program hold theirs).
    bool undo(const Change& change, WriteOutcome* outcome);

private:
    static constexpr int kBlockRows = 64;
    static constexpr std::size_t kCachedBlocks = 64;
    struct Block
    {
        std::vector<RecordTexts> rows;
        std::list<int>::iterator age;
    };

    bool loadIds(QString* error);
    const Block& block(int index);
    void dropRows();
    void setCached(std::int64_t id, const RecordTexts& texts);
    // Catches up with other writers before a write; false (with the reason) when the store cannot be written.
    bool readyToWrite(QString* error);
    // Runs `work` in one transaction; a conflict or a failure rolls it back and fills the outcome.
    bool writeAll(const std::function<bool(QString* error, bool* conflict)>& work, WriteOutcome* outcome);

    Connection m_conn;
    QString m_readOnlyReason;
    std::vector<std::int64_t> m_ids;
    std::int64_t m_dataVersion = -1;
    std::uint64_t m_numbering = 0;
    std::function<void(int, int)> m_appendHook;
    std::unordered_map<int, Block> m_blocks;
    std::list<int> m_blockAges; // most recently used first
};

} // namespace telvane::store
