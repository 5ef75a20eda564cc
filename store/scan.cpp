#include "store/scan.h"

#include "text/gbk.h"

#include <sqlite3.h>

#include <string>

namespace telvane::store {

namespace {

constexpr std::uint64_t kPrime = 1099511628211ull;

} // namespace

void Digest::addId(std::int64_t id)
{
    const auto u = static_cast<std::uint64_t>(id);
    for (int i = 0; i < 8; ++i) {
        m_h = (m_h ^ ((u >> (8 * i)) & 0xff)) * kPrime;
    }
}

void Digest::addField(std::string_view utf8)
{
    for (const char c : utf8) {
        m_h = (m_h ^ static_cast<unsigned char>(c)) * kPrime;
    }
    m_h = (m_h ^ 0x1f) * kPrime;
}

std::string quotedColumn(std::size_t field)
{
    // Appended piece by piece: `"\"" + std::string(name)` inserts at the front, which GCC 12 at -O3 takes for an
    // overlapping copy (a false -Wrestrict).
    const std::string_view name = kFields[field].name;
    std::string s;
    s.reserve(name.size() + 2);
    s += '"';
    s += name;
    s += '"';
    return s;
}

std::string fieldColumns()
{
    std::string s;
    for (std::size_t f = 0; f < kFieldCount; ++f) {
        if (f) {
            s += ", ";
        }
        s += quotedColumn(f);
    }
    return s;
}

bool scanStore(Connection& connection, const std::function<bool(std::int64_t, const FieldViews&)>& each, Scan* scan,
               QString* error, Encoding encoding)
{
    scan->ids.clear();
    scan->stamp = connection.stamp();
    // One read transaction: the pass sees the store as it was at one moment, whatever others write meanwhile (or
    // the transaction the caller is in).
    const bool own = sqlite3_get_autocommit(connection.handle()) != 0;
    if (own && !connection.exec("BEGIN", error)) {
        return false;
    }
    bool ok = false;
    {
        const std::string sql = "SELECT id, " + fieldColumns() + " FROM directory ORDER BY id";
        Statement st(connection.handle(), sql.c_str());
        if (st.ok()) {
            Digest digest;
            std::array<std::string, kFieldCount> gbk;
            FieldViews views;
            int rc;
            while ((rc = st.step()) == SQLITE_ROW) {
                const std::int64_t id = st.columnInt(0);
                scan->ids.push_back(id);
                digest.addId(id);
                for (std::size_t f = 0; f < kFieldCount; ++f) {
                    const std::string_view utf8 = st.columnUtf8(static_cast<int>(f + 1));
                    digest.addField(utf8);
                    if (each && encoding == Encoding::Gbk) {
                        gbk[f] = text::utf8ToGbk(utf8);
                        views[f] = gbk[f];
                    } else {
                        views[f] = utf8;
                    }
                }
                if (each && !each(id, views)) {
                    break;
                }
            }
            ok = rc == SQLITE_DONE;
            scan->digest = digest.value();
        }
        if (!ok && error) {
            *error = connection.lastError();
        }
    }
    if (own) {
        connection.exec("COMMIT");
    }
    return ok;
}

bool scanStore(const QString& path, const std::function<bool(std::int64_t, const FieldViews&)>& each, Scan* scan,
               QString* error, Encoding encoding)
{
    Connection connection;
    if (!connection.open(path, Connection::Mode::ReadOnly, error)) {
        return false;
    }
    return scanStore(connection, each, scan, error, encoding);
}

} // namespace telvane::store
