#include "store/directory_store.h"

#include "text/gbk.h"

#include <QFileInfo>

#include <sqlite3.h>

using namespace Qt::StringLiterals;

namespace telvane::store {

namespace {

std::string columnList()
{
    std::string s;
    for (const FieldInfo& field : kFields) {
        if (!s.empty()) {
            s += ", ";
        }
        s += "\"" + std::string(field.name) + "\"";
    }
    return s;
}

// FNV-1a over the records as SQLite stores them: id, then each field's UTF-8 bytes and a separator.
class Digest
{
public:
    explicit Digest(std::uint64_t start = 14695981039346656037ull)
        : m_h(start)
    { }
    void add(std::string_view bytes)
    {
        for (const char c : bytes) {
            m_h = (m_h ^ static_cast<unsigned char>(c)) * 1099511628211ull;
        }
        m_h = (m_h ^ 0x1f) * 1099511628211ull;
    }
    void addId(std::int64_t id)
    {
        const auto u = static_cast<std::uint64_t>(id);
        for (int i = 0; i < 8; ++i) {
            m_h = (m_h ^ ((u >> (8 * i)) & 0xff)) * 1099511628211ull;
        }
    }
    std::uint64_t value() const { return m_h; }

private:
    std::uint64_t m_h;
};

} // namespace

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

bool DirectoryStore::open(const QString& path, QString* error, Access access)
{
    close();
    const auto mode = access == Access::ReadOnly ? Connection::Mode::ReadOnly : Connection::Mode::ReadWrite;
    if (!m_conn.open(path, mode, error)) {
        return false;
    }
    if (!reload(error)) {
        if (error && error->isEmpty()) {
            *error = describe(FileState::Unreadable);
        }
        m_conn.close();
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
    m_conn.close();
    m_path.clear();
    m_columns.clear();
    m_dataVersion = -1;
    m_changedOutside = false;
    ++m_generation;
}

bool DirectoryStore::reload(QString* error)
{
    // Read the version first: a write that lands after it makes the next look reload again.
    const std::int64_t version = m_conn.dataVersion();
    const std::string sql = "SELECT id, " + columnList() + " FROM directory ORDER BY id";
    Statement st(m_conn.handle(), sql.c_str());
    if (!st.ok()) {
        if (error) {
            *error = m_conn.lastError();
        }
        return false;
    }
    Columns fresh;
    Record record;
    Digest digest;
    int rc;
    while ((rc = st.step()) == SQLITE_ROW) {
        const std::int64_t id = st.columnInt(0);
        digest.addId(id);
        for (std::size_t f = 0; f < kFieldCount; ++f) {
            const std::string_view utf8 = st.columnUtf8(static_cast<int>(f + 1));
            digest.add(utf8);
            record[f] = text::utf8ToGbk(utf8);
        }
        fresh.push(id, record);
    }
    if (rc != SQLITE_DONE) {
        if (error) {
            *error = m_conn.lastError();
        }
        return false;
    }
    m_columns = std::move(fresh);
    m_digest = digest.value();
    m_dataVersion = version;
    ++m_generation;
    return true;
}

bool DirectoryStore::digestOfFile(std::uint64_t* digest)
{
    m_conn.dropCache();
    Statement st(m_conn.handle(), ("SELECT id, " + columnList() + " FROM directory ORDER BY id").c_str());
    if (!st.ok()) {
        return false;
    }
    Digest d;
    int rc;
    while ((rc = st.step()) == SQLITE_ROW) {
        d.addId(st.columnInt(0));
        for (int f = 1; f <= static_cast<int>(kFieldCount); ++f) {
            d.add(st.columnUtf8(f));
        }
    }
    *digest = d.value();
    return rc == SQLITE_DONE;
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

void DirectoryStore::refresh()
{
    if (!m_conn.isOpen()) {
        return;
    }
    const std::int64_t version = m_conn.dataVersion();
    if (version != m_dataVersion && reload(nullptr)) {
        m_stamp = m_conn.stamp();
    }
}

int DirectoryStore::recordCount()
{
    if (!m_conn.isOpen()) {
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

Record DirectoryStore::record(int n)
{
    const Columns& all = columns();
    Record r;
    if (n < 1 || static_cast<std::size_t>(n) > all.size()) {
        return r;
    }
    for (std::size_t f = 0; f < kFieldCount; ++f) {
        r[f] = std::string(all.field(n, static_cast<int>(f + 1)));
    }
    return r;
}

bool DirectoryStore::insertRows(std::span<const Record> records, std::vector<std::int64_t>& ids, QString* error)
{
    const std::string sql = "INSERT INTO directory (" + columnList() + ") VALUES (?, ?, ?, ?, ?, ?, ?)";
    Statement st(m_conn.handle(), sql.c_str());
    if (!st.ok()) {
        if (error) {
            *error = m_conn.lastError();
        }
        return false;
    }
    ids.reserve(records.size());
    Digest digest(m_digest);
    for (const Record& r : records) {
        for (std::size_t f = 0; f < kFieldCount; ++f) {
            st.bindText(static_cast<int>(f + 1), text::gbkToUtf8(r[f]));
        }
        if (st.step() != SQLITE_DONE) {
            if (error) {
                *error = m_conn.lastError();
            }
            return false;
        }
        const std::int64_t id = sqlite3_last_insert_rowid(m_conn.handle());
        ids.push_back(id);
        digest.addId(id);
        for (std::size_t f = 0; f < kFieldCount; ++f) {
            digest.add(text::gbkToUtf8(r[f]));
        }
        st.reset();
    }
    m_pendingDigest = digest.value();
    return true;
}

bool DirectoryStore::append(const Record& record, QString* error)
{
    return appendMany(std::span<const Record>(&record, 1), error);
}

bool DirectoryStore::appendMany(std::span<const Record> records, QString* error)
{
    if (!m_conn.isOpen()) {
        if (error) {
            *error = m_conn.lastError();
        }
        return false;
    }
    if (const QString refusal = m_conn.writeRefusal(); !refusal.isEmpty()) {
        if (error) {
            *error = refusal + u"，记录未保存"_s;
        }
        return false;
    }
    // Number the existing records as the file has them before adding behind them.
    refresh();
    std::vector<std::int64_t> ids;
    const bool written = m_conn.write(
        [&](QString* reason) {
            // Inside the write lock nobody else can commit: catch up with a writer that did just before it.
            if (m_conn.dataVersion() != m_dataVersion && !reload(reason)) {
                return false;
            }
            return unchangedOutsideSqlite(reason) && insertRows(records, ids, reason);
        },
        error);
    if (!written) {
        return false;
    }
    // SQLite gives a new row the largest key plus one, so the new records follow the old ones in id order.
    m_columns.reserve(m_columns.size() + records.size());
    for (std::size_t i = 0; i < records.size(); ++i) {
        m_columns.push(ids[i], records[i]);
    }
    m_digest = m_pendingDigest;
    m_stamp = m_conn.stamp();
    return true;
}

} // namespace telvane::store
