#include "store/scan.h"

#include "store/sql.h"
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

namespace {

// Steps a statement of id and the fields to its end, or until `each` says stop, adding every record to the scan:
// its id, and its fields to the digest. SQLITE_DONE when it reached the end.
int readRows(Statement& st, Scan* scan, const ScanCallback& each, Encoding encoding)
{
    Digest digest = Digest::resume(scan->digest);
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
    scan->digest = digest.value();
    return rc;
}

} // namespace

bool scanStore(Connection& connection, const ScanCallback& each, Scan* scan, QString* error, Encoding encoding)
{
    *scan = {};
    scan->digest = Digest().value();
    scan->stamp = connection.stamp();
    // One read transaction: the pass sees the store as it was at one moment, whatever others write meanwhile (or
    // the transaction the caller is in).
    const bool own = sqlite3_get_autocommit(connection.handle()) != 0;
    if (own && !connection.exec("BEGIN", error)) {
        return false;
    }
    bool ok = false;
    {
        Statement st(connection.handle(), sql::selectAll().c_str());
        ok = st.ok() && readRows(st, scan, each, encoding) == SQLITE_DONE;
        if (!ok && error) {
            *error = connection.lastError();
        }
    }
    if (own) {
        connection.exec("COMMIT");
    }
    return ok;
}

bool scanAfter(Connection& connection, Scan& scan, const ScanCallback& each, Encoding encoding)
{
    Statement st(connection.handle(), sql::selectAfter().c_str());
    st.bindInt(1, scan.ids.empty() ? 0 : scan.ids.back());
    return st.ok() && readRows(st, &scan, each, encoding) == SQLITE_DONE;
}

bool scanStore(const QString& path, const ScanCallback& each, Scan* scan, QString* error, Encoding encoding)
{
    Connection connection;
    if (!connection.open(path, Connection::Mode::ReadOnly, error)) {
        return false;
    }
    return scanStore(connection, each, scan, error, encoding);
}

} // namespace telvane::store
