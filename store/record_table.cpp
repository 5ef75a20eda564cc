#include "store/record_table.h"

#include "store/scan.h"
#include "text/gbk.h"

#include <QFileInfo>

#include <sqlite3.h>

#include <algorithm>
#include <string>

using namespace Qt::StringLiterals;

namespace telvane::store {

namespace {

RecordTexts readRecord(const Statement& st, int firstColumn)
{
    RecordTexts r;
    for (std::size_t f = 0; f < kFieldCount; ++f) {
        r[f] = st.columnText(firstColumn + static_cast<int>(f));
    }
    return r;
}

bool fail(QString* error, const QString& reason)
{
    if (error) {
        *error = reason;
    }
    return false;
}

} // namespace

bool RecordTable::open(const QString& path, QString* error)
{
    close();
    if (!m_conn.open(path, Connection::Mode::ReadWrite, error)) {
        return false;
    }
    if (!loadIds(error)) {
        m_conn.close();
        return false;
    }
    return true;
}

void RecordTable::close()
{
    m_conn.close();
    m_ids.clear();
    dropRows();
    m_dataVersion = -1;
}

bool RecordTable::loadIds(QString* error)
{
    // The version first: a write that lands after it shows on the next look.
    const std::int64_t version = m_conn.dataVersion();
    Statement st(m_conn.handle(), "SELECT id FROM directory ORDER BY id");
    if (!st.ok()) {
        return fail(error, m_conn.lastError());
    }
    std::vector<std::int64_t> ids;
    ids.reserve(m_ids.size());
    int rc;
    while ((rc = st.step()) == SQLITE_ROW) {
        ids.push_back(st.columnInt(0));
    }
    if (rc != SQLITE_DONE) {
        return fail(error, m_conn.lastError());
    }
    m_ids = std::move(ids);
    ++m_numbering;
    m_dataVersion = version;
    m_stamp = m_conn.stamp();
    dropRows();
    return true;
}

int RecordTable::rowOf(std::int64_t id) const
{
    const auto it = std::lower_bound(m_ids.begin(), m_ids.end(), id);
    return it != m_ids.end() && *it == id ? static_cast<int>(it - m_ids.begin()) : -1;
}

void RecordTable::dropRows()
{
    m_blocks.clear();
    m_blockAges.clear();
}

const RecordTable::Block& RecordTable::block(int index)
{
    if (const auto it = m_blocks.find(index); it != m_blocks.end()) {
        m_blockAges.splice(m_blockAges.begin(), m_blockAges, it->second.age);
        return it->second;
    }
    if (m_blocks.size() >= kCachedBlocks) {
        m_blocks.erase(m_blockAges.back());
        m_blockAges.pop_back();
    }
    Block& b = m_blocks[index];
    m_blockAges.push_front(index);
    b.age = m_blockAges.begin();
    const int first = index * kBlockRows;
    const int last = std::min(first + kBlockRows, rowCount()) - 1;
    b.rows.assign(static_cast<std::size_t>(std::max(0, last - first + 1)), RecordTexts {});
    if (last < first) {
        return b;
    }
    // By key range, never by OFFSET: a read near the end of a million rows costs what one near the start does.
    const std::string sql = "SELECT id, " + fieldColumns() + " FROM directory WHERE id BETWEEN ? AND ? ORDER BY id";
    Statement st(m_conn.handle(), sql.c_str());
    st.bindInt(1, idAt(first));
    st.bindInt(2, idAt(last));
    auto next = m_ids.begin() + first;
    const auto end = m_ids.begin() + last + 1;
    while (st.step() == SQLITE_ROW) {
        const std::int64_t id = st.columnInt(0);
        next = std::lower_bound(next, end, id);
        if (next == end) {
            break;
        }
        if (*next == id) {
            b.rows[static_cast<std::size_t>(next - m_ids.begin() - first)] = readRecord(st, 1);
        }
    }
    return b;
}

QString RecordTable::cell(int row, std::size_t field)
{
    if (row < 0 || row >= rowCount() || field >= kFieldCount) {
        return {};
    }
    return block(row / kBlockRows).rows[static_cast<std::size_t>(row % kBlockRows)][field];
}

RecordTexts RecordTable::record(int row)
{
    if (row < 0 || row >= rowCount()) {
        return {};
    }
    return block(row / kBlockRows).rows[static_cast<std::size_t>(row % kBlockRows)];
}

bool RecordTable::refresh()
{
    if (!m_conn.isOpen() || m_conn.dataVersion() == m_dataVersion) {
        return false;
    }
    return loadIds(nullptr);
}

QString RecordTable::fieldText(const QString& text, std::size_t field)
{
    QString line = text;
    for (QChar& c : line) {
        if (c == u'\t' || c == u'\r' || c == u'\n') {
            c = u' ';
        }
    }
    const QString cut = text::leftBytes(line, kFields[field].width);
    // A null text would be bound as SQL NULL; the store keeps empty fields as empty text.
    return cut.isNull() ? u""_s : cut;
}

bool RecordTable::readyToWrite(QString* error)
{
    if (!m_conn.isOpen()) {
        return fail(error, m_conn.lastError());
    }
    if (const QString refusal = m_conn.writeRefusal(); !refusal.isEmpty()) {
        return fail(error, refusal + u"，修改未保存"_s);
    }
    if (m_conn.dataVersion() != m_dataVersion) {
        return loadIds(error);
    }
    if (m_conn.stamp() != m_stamp) {
        // Changed without SQLite telling: another program's checkpoint, or a file copied over this one. The rows on
        // screen may stand for other records now, so nothing is written until the user has seen the file again.
        m_conn.dropCache();
        loadIds(nullptr);
        return fail(error, u"%1刚被其他程序改动过，表格已重新读取，修改未保存。请再做一次"_s.arg(
                               QFileInfo(m_conn.path()).fileName()));
    }
    return true;
}

bool RecordTable::write(const std::vector<CellWrite>& cells, const std::vector<RecordTexts>& newRecords, Change* change,
                        QString* error)
{
    if (cells.empty() && newRecords.empty()) {
        return true;
    }
    // The rows the user chose, as records, before any catching up renumbers them.
    std::vector<std::pair<std::int64_t, const CellWrite*>> targets;
    for (const CellWrite& c : cells) {
        if (c.row >= 0 && c.row < rowCount() && c.field < kFieldCount) {
            targets.emplace_back(idAt(c.row), &c);
        }
    }
    if (!readyToWrite(error)) {
        return false;
    }
    Change done;
    std::vector<std::int64_t> added;
    const bool written = m_conn.write(
        [&](QString* reason) {
            if (m_conn.dataVersion() != m_dataVersion && !loadIds(reason)) {
                return false;
            }
            for (const auto& [id, c] : targets) {
                const std::string field = quotedColumn(c->field);
                Statement read(m_conn.handle(), ("SELECT " + field + " FROM directory WHERE id = ?").c_str());
                read.bindInt(1, id);
                if (read.step() != SQLITE_ROW) {
                    continue; // removed by another program meanwhile
                }
                const QString before = read.columnText(0);
                const QString after = fieldText(c->text, c->field);
                if (before == after) {
                    continue;
                }
                Statement update(m_conn.handle(), ("UPDATE directory SET " + field + " = ? WHERE id = ?").c_str());
                update.bindText(1, after);
                update.bindInt(2, id);
                if (update.step() != SQLITE_DONE) {
                    return fail(reason, m_conn.lastError());
                }
                done.cells.push_back({id, c->field, before});
            }
            const std::string sql = "INSERT INTO directory (" + fieldColumns() + ") VALUES (?, ?, ?, ?, ?, ?, ?)";
            Statement insert(m_conn.handle(), sql.c_str());
            for (const RecordTexts& r : newRecords) {
                for (std::size_t f = 0; f < kFieldCount; ++f) {
                    insert.bindText(static_cast<int>(f + 1), fieldText(r[f], f));
                }
                if (insert.step() != SQLITE_DONE) {
                    return fail(reason, m_conn.lastError());
                }
                added.push_back(sqlite3_last_insert_rowid(m_conn.handle()));
                insert.reset();
            }
            return true;
        },
        error);
    if (!written) {
        return false;
    }
    for (const auto& [id, c] : targets) {
        const int row = rowOf(id);
        if (const auto it = m_blocks.find(row / kBlockRows); row >= 0 && it != m_blocks.end()) {
            it->second.rows[static_cast<std::size_t>(row % kBlockRows)][c->field] = fieldText(c->text, c->field);
        }
    }
    if (!added.empty()) {
        // A new record gets the largest key plus one: the new rows follow the last one.
        m_blocks.erase(rowCount() / kBlockRows);
        m_blockAges.remove(rowCount() / kBlockRows);
        m_ids.insert(m_ids.end(), added.begin(), added.end());
    }
    m_stamp = m_conn.stamp();
    done.added = std::move(added);
    if (change) {
        *change = std::move(done);
    }
    return true;
}

bool RecordTable::removeRows(std::vector<int> rows, Change* change, QString* error)
{
    std::ranges::sort(rows);
    rows.erase(std::unique(rows.begin(), rows.end()), rows.end());
    std::vector<std::int64_t> ids;
    for (int row : rows) {
        if (row >= 0 && row < rowCount()) {
            ids.push_back(idAt(row));
        }
    }
    if (ids.empty()) {
        return true;
    }
    if (!readyToWrite(error)) {
        return false;
    }
    Change done;
    const bool written = m_conn.write(
        [&](QString* reason) {
            const std::string sql = "SELECT " + fieldColumns() + " FROM directory WHERE id = ?";
            Statement read(m_conn.handle(), sql.c_str());
            Statement remove(m_conn.handle(), "DELETE FROM directory WHERE id = ?");
            for (const std::int64_t id : ids) {
                read.bindInt(1, id);
                const bool present = read.step() == SQLITE_ROW;
                const RecordTexts before = present ? readRecord(read, 0) : RecordTexts {};
                read.reset();
                if (!present) {
                    continue;
                }
                remove.bindInt(1, id);
                if (remove.step() != SQLITE_DONE) {
                    return fail(reason, m_conn.lastError());
                }
                remove.reset();
                done.removed.emplace_back(id, before);
            }
            return true;
        },
        error);
    if (!written) {
        return false;
    }
    // One pass over the numbering, however many rows went.
    std::erase_if(m_ids, [&](std::int64_t id) { return std::binary_search(ids.begin(), ids.end(), id); });
    ++m_numbering;
    dropRows();
    m_stamp = m_conn.stamp();
    if (change) {
        *change = std::move(done);
    }
    return true;
}

bool RecordTable::restore(const std::vector<std::pair<std::int64_t, RecordTexts>>& records,
                          std::vector<std::int64_t>& ids, int* movedToEnd, QString* error)
{
    const std::string columns = fieldColumns();
    Statement withId(m_conn.handle(),
                     ("INSERT OR IGNORE INTO directory (id, " + columns + ") VALUES (?, ?, ?, ?, ?, ?, ?, ?)").c_str());
    Statement atEnd(m_conn.handle(), ("INSERT INTO directory (" + columns + ") VALUES (?, ?, ?, ?, ?, ?, ?)").c_str());
    for (const auto& [id, texts] : records) {
        withId.bindInt(1, id);
        for (std::size_t f = 0; f < kFieldCount; ++f) {
            withId.bindText(static_cast<int>(f + 2), texts[f]);
        }
        if (withId.step() != SQLITE_DONE) {
            return fail(error, m_conn.lastError());
        }
        withId.reset();
        if (sqlite3_changes(m_conn.handle()) == 1) {
            ids.push_back(id);
            continue;
        }
        // Another program took the id meanwhile: the record comes back, at the end.
        for (std::size_t f = 0; f < kFieldCount; ++f) {
            atEnd.bindText(static_cast<int>(f + 1), texts[f]);
        }
        if (atEnd.step() != SQLITE_DONE) {
            return fail(error, m_conn.lastError());
        }
        atEnd.reset();
        ids.push_back(sqlite3_last_insert_rowid(m_conn.handle()));
        if (movedToEnd) {
            ++*movedToEnd;
        }
    }
    return true;
}

bool RecordTable::undo(const Change& change, QString* error, int* movedToEnd)
{
    if (change.isEmpty()) {
        return true;
    }
    if (!readyToWrite(error)) {
        return false;
    }
    std::vector<std::int64_t> restored;
    const bool written = m_conn.write(
        [&](QString* reason) {
            Statement remove(m_conn.handle(), "DELETE FROM directory WHERE id = ?");
            for (const std::int64_t id : change.added) {
                remove.bindInt(1, id);
                if (remove.step() != SQLITE_DONE) {
                    return fail(reason, m_conn.lastError());
                }
                remove.reset();
            }
            // Latest first, so a cell changed twice in one command ends with its oldest text.
            for (auto it = change.cells.rbegin(); it != change.cells.rend(); ++it) {
                const std::string sql = "UPDATE directory SET " + quotedColumn(it->field) + " = ? WHERE id = ?";
                Statement update(m_conn.handle(), sql.c_str());
                update.bindText(1, it->before);
                update.bindInt(2, it->id);
                if (update.step() != SQLITE_DONE) {
                    return fail(reason, m_conn.lastError());
                }
            }
            return restore(change.removed, restored, movedToEnd, reason);
        },
        error);
    if (!written) {
        return false;
    }
    if (change.added.empty() && change.removed.empty()) {
        for (const Change::Cell& c : change.cells) {
            const int row = rowOf(c.id);
            if (const auto it = m_blocks.find(row / kBlockRows); row >= 0 && it != m_blocks.end()) {
                it->second.rows[static_cast<std::size_t>(row % kBlockRows)][c.field] = c.before;
            }
        }
        m_stamp = m_conn.stamp();
        return true;
    }
    // Records came and went: number the rows anew from the file (its version is unchanged by this connection's own
    // write, so anything another program added meanwhile is counted as well).
    return loadIds(error);
}

} // namespace telvane::store
