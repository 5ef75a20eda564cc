#include "store/record_table.h"

#include "store/field_text.h"
#include "store/sql.h"

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

void bindRecord(Statement& st, int first, const RecordTexts& texts)
{
    for (std::size_t f = 0; f < kFieldCount; ++f) {
        st.bindText(first + static_cast<int>(f), texts[f]);
    }
}

} // namespace

std::vector<std::int64_t> Change::ids() const
{
    std::vector<std::int64_t> ids;
    for (const Edit& e : edited) {
        ids.push_back(e.id);
    }
    for (const auto& [id, texts] : added) {
        ids.push_back(id);
    }
    for (const auto& [id, texts] : removed) {
        ids.push_back(id);
    }
    return ids;
}

void Change::rekey(std::int64_t from, std::int64_t to)
{
    for (Edit& e : edited) {
        e.id = e.id == from ? to : e.id;
    }
    for (auto& [id, texts] : added) {
        id = id == from ? to : id;
    }
    for (auto& [id, texts] : removed) {
        id = id == from ? to : id;
    }
}

bool RecordTable::open(const QString& path, QString* error)
{
    close();
    QString reason;
    if (!m_conn.open(path, Connection::Mode::ReadWrite, &reason)) {
        // A store that cannot be written is still shown: every write then says why not.
        if (inspect(path) != FileState::Store || !m_conn.open(path, Connection::Mode::ReadOnly, nullptr)) {
            return fail(error, reason);
        }
        m_readOnlyReason = reason;
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
    m_readOnlyReason.clear();
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
    Statement st(m_conn.handle(), sql::selectRange().c_str());
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

void RecordTable::setCached(std::int64_t id, const RecordTexts& texts)
{
    const int row = rowOf(id);
    if (const auto it = m_blocks.find(row / kBlockRows); row >= 0 && it != m_blocks.end()) {
        it->second.rows[static_cast<std::size_t>(row % kBlockRows)] = texts;
    }
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

bool RecordTable::readyToWrite(QString* error)
{
    if (!m_conn.isOpen()) {
        return fail(error, m_conn.lastError());
    }
    if (!m_readOnlyReason.isEmpty()) {
        return fail(error, m_readOnlyReason);
    }
    if (const QString refusal = m_conn.writeRefusal(); !refusal.isEmpty()) {
        return fail(error, refusal + u"，修改未保存"_s);
    }
    // A file changed without SQLite telling (copied over in place) needs no check of its own here: every write
    // reads the file afresh (Connection::begin drops the cached pages) and compares the whole record it expects.
    if (m_conn.dataVersion() != m_dataVersion) {
        return loadIds(error);
    }
    return true;
}

bool RecordTable::writeAll(const std::function<bool(QString*, bool*)>& work, WriteOutcome* outcome)
{
    bool conflict = false;
    if (!m_conn.write([&](QString* reason) { return work(reason, &conflict); }, &outcome->error)) {
        if (conflict) {
            outcome->conflict = true;
            outcome->error =
                u"另一个程序刚改动或删除了这条记录，这次什么也没有写入，表格已按文件重新显示。请看一下再做"_s;
            loadIds(nullptr);
        }
        return false;
    }
    outcome->warning = m_conn.incompleteWarning();
    return true;
}

bool RecordTable::write(const std::vector<CellWrite>& cells, const std::vector<RecordTexts>& newRecords, Change* change,
                        WriteOutcome* outcome)
{
    WriteOutcome ignored;
    WriteOutcome& out = outcome ? *outcome : ignored;
    out = {};
    // The records the user chose, as the grid shows them, before any catching up renumbers the rows. A cell left
    // as it is shown is no change: it is never rewritten, so a width is never applied to a value the user did not
    // touch.
    std::vector<Change::Edit> edits;
    for (const CellWrite& c : cells) {
        if (c.row < 0 || c.row >= rowCount() || c.field >= kFieldCount) {
            continue;
        }
        const std::int64_t id = idAt(c.row);
        auto edit = std::find_if(edits.begin(), edits.end(), [id](const Change::Edit& e) { return e.id == id; });
        if (edit == edits.end()) {
            const RecordTexts shown = record(c.row);
            edit = edits.insert(edits.end(), {id, shown, shown});
        }
        const QString& shown = edit->before[c.field];
        if (c.text == shown) {
            continue;
        }
        bool cut = false;
        const QString stored = storedText(c.field, c.text, &cut);
        if (stored != shown) {
            edit->after[c.field] = stored;
            out.cut += cut ? 1 : 0;
        }
    }
    for (const Change::Edit& e : edits) {
        out.records.push_back(e.id);
    }
    std::erase_if(edits, [](const Change::Edit& e) { return e.before == e.after; });
    std::vector<RecordTexts> adding;
    for (const RecordTexts& r : newRecords) {
        RecordTexts& stored = adding.emplace_back();
        for (std::size_t f = 0; f < kFieldCount; ++f) {
            bool cut = false;
            stored[f] = storedText(f, r[f], &cut);
            out.cut += cut ? 1 : 0;
        }
    }
    if (edits.empty() && adding.empty()) {
        if (change) {
            *change = {};
        }
        return true;
    }
    if (!readyToWrite(&out.error)) {
        return false;
    }
    Change done;
    const bool written = writeAll(
        [&](QString* reason, bool* conflict) {
            if (m_conn.dataVersion() != m_dataVersion && !loadIds(reason)) {
                return false;
            }
            Statement update(m_conn.handle(), sql::updateExpected().c_str());
            for (const Change::Edit& e : edits) {
                bindRecord(update, 1, e.after);
                update.bindInt(sql::kUpdateKey, e.id);
                bindRecord(update, sql::kUpdateKey + 1, e.before);
                if (update.step() != SQLITE_DONE) {
                    return fail(reason, m_conn.lastError());
                }
                update.reset();
                if (sqlite3_changes(m_conn.handle()) != 1) {
                    *conflict = true;
                    return false;
                }
                done.edited.push_back(e);
            }
            Statement insert(m_conn.handle(), sql::insert().c_str());
            for (const RecordTexts& r : adding) {
                bindRecord(insert, 1, r);
                if (insert.step() != SQLITE_DONE) {
                    return fail(reason, m_conn.lastError());
                }
                insert.reset();
                done.added.emplace_back(sqlite3_last_insert_rowid(m_conn.handle()), r);
                out.records.push_back(done.added.back().first);
            }
            return true;
        },
        &out);
    if (!written) {
        return false;
    }
    for (const Change::Edit& e : done.edited) {
        setCached(e.id, e.after);
    }
    if (!done.added.empty()) {
        // A new record gets a key above every key ever given: the new rows follow the last one.
        m_blocks.erase(rowCount() / kBlockRows);
        m_blockAges.remove(rowCount() / kBlockRows);
        if (m_appendHook) {
            m_appendHook(rowCount(), rowCount() + static_cast<int>(done.added.size()) - 1);
        }
        for (const auto& [id, texts] : done.added) {
            m_ids.push_back(id);
        }
    }
    if (change) {
        *change = std::move(done);
    }
    return true;
}

bool RecordTable::removeRows(std::vector<int> rows, Change* change, WriteOutcome* outcome)
{
    WriteOutcome ignored;
    WriteOutcome& out = outcome ? *outcome : ignored;
    out = {};
    std::ranges::sort(rows);
    rows.erase(std::unique(rows.begin(), rows.end()), rows.end());
    std::vector<std::pair<std::int64_t, RecordTexts>> targets;
    for (int row : rows) {
        if (row >= 0 && row < rowCount()) {
            targets.emplace_back(idAt(row), record(row));
        }
    }
    if (targets.empty()) {
        return true;
    }
    if (!readyToWrite(&out.error)) {
        return false;
    }
    const bool written = writeAll(
        [&](QString* reason, bool* conflict) {
            Statement remove(m_conn.handle(), sql::deleteExpected().c_str());
            for (const auto& [id, shown] : targets) {
                remove.bindInt(1, id);
                bindRecord(remove, 2, shown);
                if (remove.step() != SQLITE_DONE) {
                    return fail(reason, m_conn.lastError());
                }
                remove.reset();
                if (sqlite3_changes(m_conn.handle()) != 1) {
                    *conflict = true;
                    return false;
                }
            }
            return true;
        },
        &out);
    if (!written) {
        return false;
    }
    // One pass over the numbering, however many rows went.
    std::vector<std::int64_t> gone;
    for (const auto& [id, texts] : targets) {
        gone.push_back(id);
    }
    std::ranges::sort(gone);
    std::erase_if(m_ids, [&](std::int64_t id) { return std::binary_search(gone.begin(), gone.end(), id); });
    ++m_numbering;
    dropRows();
    if (change) {
        *change = {};
        change->removed = std::move(targets);
    }
    return true;
}

bool RecordTable::undo(const Change& change, WriteOutcome* outcome)
{
    WriteOutcome ignored;
    WriteOutcome& out = outcome ? *outcome : ignored;
    out = {};
    if (change.isEmpty()) {
        return true;
    }
    if (!readyToWrite(&out.error)) {
        return false;
    }
    const bool written = writeAll(
        [&](QString* reason, bool* conflict) {
            // Each record must still be as the change left it: one that another program changed since is not
            // taken back over that program's write.
            auto check = [&](Statement& st) {
                if (st.step() != SQLITE_DONE) {
                    return fail(reason, m_conn.lastError());
                }
                st.reset();
                if (sqlite3_changes(m_conn.handle()) != 1) {
                    *conflict = true;
                    return false;
                }
                return true;
            };
            Statement remove(m_conn.handle(), sql::deleteExpected().c_str());
            for (auto it = change.added.rbegin(); it != change.added.rend(); ++it) {
                remove.bindInt(1, it->first);
                bindRecord(remove, 2, it->second);
                if (!check(remove)) {
                    return false;
                }
            }
            Statement update(m_conn.handle(), sql::updateExpected().c_str());
            for (auto it = change.edited.rbegin(); it != change.edited.rend(); ++it) {
                bindRecord(update, 1, it->before);
                update.bindInt(sql::kUpdateKey, it->id);
                bindRecord(update, sql::kUpdateKey + 1, it->after);
                if (!check(update)) {
                    return false;
                }
            }
            Statement withKey(m_conn.handle(), sql::insertWithKey().c_str());
            Statement atEnd(m_conn.handle(), sql::insert().c_str());
            for (const auto& [id, texts] : change.removed) {
                withKey.bindInt(1, id);
                bindRecord(withKey, 2, texts);
                if (withKey.step() != SQLITE_DONE) {
                    return fail(reason, m_conn.lastError());
                }
                withKey.reset();
                if (sqlite3_changes(m_conn.handle()) == 1) {
                    continue;
                }
                // Another program put a record under this key meanwhile: this one comes back at the end.
                bindRecord(atEnd, 1, texts);
                if (atEnd.step() != SQLITE_DONE) {
                    return fail(reason, m_conn.lastError());
                }
                atEnd.reset();
                out.rekeyed.emplace_back(id, sqlite3_last_insert_rowid(m_conn.handle()));
            }
            return true;
        },
        &out);
    if (!written) {
        return false;
    }
    if (change.added.empty() && change.removed.empty()) {
        for (const Change::Edit& e : change.edited) {
            setCached(e.id, e.before);
        }
        return true;
    }
    // Records came and went: number the rows anew from the file (its version is unchanged by this connection's own
    // write, so anything another program added meanwhile is counted as well).
    return loadIds(&out.error);
}

} // namespace telvane::store
