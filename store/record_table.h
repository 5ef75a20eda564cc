#pragma once

#include "store/connection.h"
#include "store/record.h"

#include <QString>

#include <array>
#include <cstdint>
#include <list>
#include <unordered_map>
#include <vector>

// The whole store as the list editor's grid sees it: one row per record in id order, read from the file in blocks
// around the rows on screen, never all at once. Every change is written at once, in one transaction, and comes back
// as a Change that takes it back again.
namespace telvane::store {

// What one grid command did, enough to undo it: the old texts of the cells it changed, the records it added and the
// records it removed (with their ids, so that they come back in their old place).
struct Change
{
    struct Cell
    {
        std::int64_t id = 0;
        std::size_t field = 0;
        QString before;
    };
    std::vector<Cell> cells;
    std::vector<std::int64_t> added;
    std::vector<std::pair<std::int64_t, RecordTexts>> removed;
    bool isEmpty() const { return cells.empty() && added.empty() && removed.empty(); }
};

class RecordTable
{
public:
    // Opens the store with the program's connection policy. False, with the reason, when the file is not a store.
    bool open(const QString& path, QString* error = nullptr);
    void close();
    bool isOpen() const { return m_conn.isOpen(); }

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

    // A text as a field keeps it: line breaks and tabs become spaces (a field is one line), cut to the field's width
    // in GB18030 bytes at a character boundary.
    static QString fieldText(const QString& text, std::size_t field);

    struct CellWrite
    {
        int row = 0;
        std::size_t field = 0;
        QString text;
    };
    // Writes the cells and appends the records after the last row, all in one transaction. On success *change (if
    // given) holds what takes it back; on failure nothing is written and *error says why.
    bool write(const std::vector<CellWrite>& cells, const std::vector<RecordTexts>& newRecords, Change* change,
               QString* error);
    // Removes the records in the given rows, in one transaction.
    bool removeRows(std::vector<int> rows, Change* change, QString* error);
    // Takes a change back in one transaction: its added records go, its cells get their old texts and its removed
    // records return with their ids. A removed record whose id another program has taken since returns at the end;
    // *movedToEnd (if given) counts those.
    bool undo(const Change& change, QString* error, int* movedToEnd = nullptr);

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
    // Catches up with other writers before a write: false (with the reason) when the file changed outside SQLite,
    // since the rows on screen may then stand for other records.
    bool readyToWrite(QString* error);
    bool restore(const std::vector<std::pair<std::int64_t, RecordTexts>>& records, std::vector<std::int64_t>& ids,
                 int* movedToEnd, QString* error);

    Connection m_conn;
    std::vector<std::int64_t> m_ids;
    std::int64_t m_dataVersion = -1;
    std::uint64_t m_numbering = 0;
    FileStamp m_stamp;
    std::unordered_map<int, Block> m_blocks;
    std::list<int> m_blockAges; // most recently used first
};

} // namespace telvane::store
