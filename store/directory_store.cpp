#include "store/directory_store.h"

#include "store/sql.h"
#include "text/gbk.h"

#include <QFileInfo>

#include <algorithm>

#include <sqlite3.h>

using namespace Qt::StringLiterals;

namespace telvane::store {

// ---- Columns ----------------------------------------------------------------------------------------------------

void Columns::clear()
{
    m_ids.clear();
    for (std::string& bytes : m_bytes) {
        bytes.clear();
    }
    m_offsets = startOffsets();
}

void Columns::reserve(std::size_t records)
{
    m_ids.reserve(records);
    for (auto& o : m_offsets) {
        o.reserve(records + 1);
    }
}

void Columns::push(std::int64_t id, const FieldViews& record)
{
    m_ids.push_back(id);
    for (std::size_t f = 0; f < kFieldCount; ++f) {
        m_bytes[f] += record[f];
        m_offsets[f].push_back(static_cast<std::uint32_t>(m_bytes[f].size()));
    }
}

void Columns::push(std::int64_t id, const Record& record)
{
    FieldViews views;
    std::copy(record.begin(), record.end(), views.begin());
    push(id, views);
}

// ---- DirectoryStore ---------------------------------------------------------------------------------------------

DirectoryStore::DirectoryStore() = default;

DirectoryStore::~DirectoryStore()
{
    close();
}

bool DirectoryStore::open(const QString& path, QString* error, Access access)
{
    close();
    const auto mode = access == Access::ReadOnly ? Connection::Mode::ReadOnly : Connection::Mode::ReadWrite;
    if (!m_conn.open(path, mode, error)) {
        return false;
    }
    m_path = path;
    m_stamp = m_conn.stamp();
    return true;
}

void DirectoryStore::close()
{
    if (!m_conn.isOpen()) {
        return;
    }
    m_byId.reset();
    m_conn.close();
    m_path.clear();
    m_ids.clear();
    m_ids.shrink_to_fit();
    m_numbered = false;
    m_version = -1;
    m_changedOutside = false;
    m_columns.reset();
    ++m_generation;
}

void DirectoryStore::adopt(Scan&& scan, std::int64_t version)
{
    m_ids = std::move(scan.ids);
    m_digest = scan.digest;
    m_whole = scan.whole;
    m_stamp = scan.stamp;
    m_version = version;
    m_numbered = true;
    ++m_generation;
}

bool DirectoryStore::number(QString* error)
{
    // The version first: a write that lands after it makes the next look read again.
    const std::int64_t version = m_conn.dataVersion();
    Scan scan;
    if (!scanStore(m_conn, {}, &scan, error)) {
        return false;
    }
    adopt(std::move(scan), version);
    return true;
}

const IdList& DirectoryStore::ids()
{
    if (m_conn.isOpen() && !isCurrent()) {
        number(nullptr);
    }
    return m_ids;
}

int DirectoryStore::recordCount()
{
    if (!m_conn.isOpen()) {
        return 0;
    }
    if (isCurrent()) {
        return static_cast<int>(m_ids.size());
    }
    Statement count(m_conn.handle(), "SELECT count(*) FROM directory");
    return count.ok() && count.step() == SQLITE_ROW ? static_cast<int>(count.columnInt(0)) : 0;
}

Record DirectoryStore::record(int n)
{
    Record r;
    const IdList& all = ids();
    if (n >= 1 && static_cast<std::size_t>(n) <= all.size()) {
        recordById(all[static_cast<std::size_t>(n - 1)], &r);
    }
    return r;
}

bool DirectoryStore::recordById(std::int64_t id, Record* record)
{
    *record = {};
    if (!m_conn.isOpen()) {
        return false;
    }
    if (!m_byId) {
        m_byId = std::make_unique<Statement>(m_conn.handle(), sql::selectByKey().c_str());
    }
    m_byId->bindInt(1, id);
    const bool found = m_byId->step() == SQLITE_ROW;
    if (found) {
        for (std::size_t f = 0; f < kFieldCount; ++f) {
            (*record)[f] = text::utf8ToGbk(m_byId->columnUtf8(static_cast<int>(f)));
        }
    }
    m_byId->reset();
    return found;
}

bool DirectoryStore::extendScan(Scan& scan, const std::function<void(const FieldViews&)>& each)
{
    return scanAfter(m_conn, scan, [&](std::int64_t, const FieldViews& fields) {
        each(fields);
        return true;
    });
}

const Columns& DirectoryStore::columns()
{
    const std::int64_t version = m_conn.dataVersion();
    if (!m_columns || version != m_columnsVersion) {
        auto fresh = std::make_unique<Columns>();
        Scan scan;
        if (m_conn.isOpen()
            && scanStore(
                m_conn,
                [&](std::int64_t id, const FieldViews& fields) {
                    fresh->push(id, fields);
                    return true;
                },
                &scan)) {
            adopt(std::move(scan), version);
        }
        m_columns = std::move(fresh);
        m_columnsVersion = version;
    }
    return *m_columns;
}

bool DirectoryStore::digestOfFile(std::uint64_t* digest)
{
    m_conn.dropCache();
    Scan scan;
    if (!scanStore(m_conn, {}, &scan)) {
        return false;
    }
    *digest = scan.digest;
    return true;
}

bool DirectoryStore::unchangedOutsideSqlite(QString* error)
{
    // Another program's checkpoint moves pages this store has already seen into the main file: the file changes,
    // its records do not. A backup copied over the file in place changes the records without SQLite knowing, and
    // writing on top of it would mix two stores; that is refused until the program starts again.
    if (!m_changedOutside && m_conn.stamp() != m_stamp) {
        std::uint64_t digest = 0;
        if (digestOfFile(&digest) && digest == m_digest) {
            m_stamp = m_conn.stamp();
        } else {
            m_changedOutside = true;
        }
    }
    if (m_changedOutside && error) {
        *error = u"%1已被其他程序改写，记录未保存。请重新启动本程序"_s.arg(QFileInfo(m_path).fileName());
    }
    return !m_changedOutside;
}

bool DirectoryStore::readyToAppend(QString* error)
{
    // A numbering read without every field has no fingerprint: a file that changed since without SQLite seeing a
    // write may have been replaced, and is taken for that; else it is read in full now.
    if (!m_whole && isCurrent() && m_conn.stamp() != m_stamp) {
        m_changedOutside = true;
    }
    // Inside the write lock nobody else can commit: the numbering catches up with a writer that did just before.
    if (!m_changedOutside && (!isCurrent() || !m_whole) && !number(error)) {
        return false;
    }
    return unchangedOutsideSqlite(error);
}

bool DirectoryStore::append(const Record& record, QString* error)
{
    return appendMany(std::span<const Record>(&record, 1), error);
}

bool DirectoryStore::appendMany(std::span<const Record> records, QString* error)
{
    Appender appender(*this);
    return appender.begin(error) && appender.add(records, error) && appender.commit(error);
}

// ---- Appender ---------------------------------------------------------------------------------------------------

DirectoryStore::Appender::Appender(DirectoryStore& store)
    : m_store(store)
{ }

DirectoryStore::Appender::~Appender()
{
    rollback();
}

void DirectoryStore::Appender::rollback()
{
    if (m_open) {
        m_insert.reset();
        m_store.m_conn.rollback();
        m_open = false;
    }
    m_ids.clear();
}

bool DirectoryStore::Appender::begin(QString* error)
{
    Connection& conn = m_store.m_conn;
    if (!conn.isOpen()) {
        if (error) {
            *error = conn.lastError();
        }
        return false;
    }
    if (const QString refusal = conn.writeRefusal(); !refusal.isEmpty()) {
        if (error) {
            *error = refusal + u"，记录未保存"_s;
        }
        return false;
    }
    if (!conn.begin(error)) {
        return false;
    }
    m_open = true;
    if (!m_store.readyToAppend(error)) {
        return false;
    }
    m_digest = Digest::resume(m_store.m_digest);
    m_insert = std::make_unique<Statement>(conn.handle(), sql::insert().c_str());
    if (!m_insert->ok()) {
        if (error) {
            *error = conn.lastError();
        }
        return false;
    }
    return true;
}

bool DirectoryStore::Appender::add(std::span<const Record> records, QString* error)
{
    return insert(records, true, error);
}

bool DirectoryStore::Appender::addUtf8(std::span<const Record> records, QString* error)
{
    return insert(records, false, error);
}

bool DirectoryStore::Appender::insert(std::span<const Record> records, bool gbk, QString* error)
{
    if (!m_open || !m_insert) {
        if (error && error->isEmpty()) {
            *error = m_store.m_conn.lastError();
        }
        return false;
    }
    sqlite3* db = m_store.m_conn.handle();
    std::array<std::string, kFieldCount> utf8;
    for (const Record& r : records) {
        for (std::size_t f = 0; f < kFieldCount; ++f) {
            if (gbk) {
                text::gbkToUtf8Into(r[f], utf8[f]);
            }
            m_insert->bindTextInPlace(static_cast<int>(f + 1), gbk ? utf8[f] : r[f]);
        }
        if (m_insert->step() != SQLITE_DONE) {
            if (error) {
                *error = m_store.m_conn.lastError();
            }
            return false;
        }
        m_insert->reset();
        // SQLite gives a new row the largest key plus one, so the new records follow the old ones in id order.
        const std::int64_t id = sqlite3_last_insert_rowid(db);
        m_ids.push_back(id);
        m_digest.addId(id);
        for (std::size_t f = 0; f < kFieldCount; ++f) {
            m_digest.addField(gbk ? utf8[f] : r[f]);
        }
    }
    return true;
}

bool DirectoryStore::Appender::commit(QString* error)
{
    if (!m_open) {
        return false;
    }
    m_insert.reset();
    m_open = false;
    if (!m_store.m_conn.commit(error)) {
        return false;
    }
    DirectoryStore& s = m_store;
    for (const std::int64_t id : m_ids) {
        s.m_ids.push_back(id);
    }
    s.m_digest = m_digest.value();
    s.m_stamp = s.m_conn.stamp();
    s.m_columns.reset();
    return true;
}

} // namespace telvane::store
