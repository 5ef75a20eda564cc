#include "store/scan.h"

#include "store/sql.h"
#include "text/gbk.h"

#include <sqlite3.h>

#include <bit>
#include <cstring>
#include <limits>
#include <string>
#include <thread>

namespace telvane::store {

namespace {

constexpr std::uint64_t kMultiplier = 0x9E3779B97F4A7C15ull;

std::uint64_t mix(std::uint64_t h)
{
    h ^= h >> 32;
    h *= 0xD6E8FEB86659FD93ull;
    h ^= h >> 32;
    h *= 0xD6E8FEB86659FD93ull;
    return h ^ (h >> 32);
}

} // namespace

void Digest::addId(std::int64_t id)
{
    m_sum += finish();
    m_record = mix(static_cast<std::uint64_t>(id) + kMultiplier);
    m_open = true;
}

void Digest::addField(std::string_view utf8)
{
    // Eight bytes at a time: a pass over a million records hashes some hundred megabytes.
    std::uint64_t h = m_record;
    std::size_t i = 0;
    for (; i + 8 <= utf8.size(); i += 8) {
        std::uint64_t word;
        std::memcpy(&word, utf8.data() + i, 8);
        h = std::rotl(h ^ word, 29) * kMultiplier;
    }
    std::uint64_t tail = 0;
    if (i < utf8.size()) {
        std::memcpy(&tail, utf8.data() + i, utf8.size() - i);
    }
    // The tail's length and the separator: "ab" + "" differs from "a" + "b".
    h = std::rotl(h ^ tail ^ ((utf8.size() - i + 1) << 59), 29) * kMultiplier;
    m_record = h;
}

std::uint64_t Digest::finish() const
{
    return m_open ? mix(m_record) : 0;
}

namespace {

// Steps a statement of id and the fields to its end, or until `each` says stop, adding every record to the scan:
// its id, and its fields to the digest (when the scan reads them all). SQLITE_DONE when it reached the end.
int readRows(Statement& st, Scan* scan, const ScanCallback& each, Encoding encoding)
{
    Digest digest = Digest::resume(scan->digest);
    std::array<std::string, kFieldCount> gbk;
    FieldViews views;
    int rc;
    while ((rc = st.step()) == SQLITE_ROW) {
        const std::int64_t id = st.columnInt(0);
        scan->ids.push_back(id);
        if (scan->whole) {
            digest.addId(id);
        }
        for (std::size_t f = 0; f < kFieldCount; ++f) {
            const std::string_view utf8 = st.columnUtf8(static_cast<int>(f + 1));
            if (scan->whole) {
                digest.addField(utf8);
            }
            if (each && encoding == Encoding::Gbk) {
                text::utf8ToGbk(utf8, gbk[f]);
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

bool scanStoreInTwo(const QString& path, const std::array<ScanCallback, 2>& each, Scan* scan, std::size_t* firstPart,
                    QString* error, Encoding encoding, const FieldSet& read)
{
    *scan = {};
    scan->whole = read == kAllFields;
    *firstPart = 0;
    Connection first;
    if (!first.open(path, Connection::Mode::ReadOnly, error)) {
        return false;
    }
    scan->stamp = first.stamp();
    if (!first.exec("BEGIN", error)) {
        return false;
    }
    // The middle of the keys: the records are about evenly spread over them, as keys are given one after another.
    // (Each bound in a query of its own, which SQLite answers from the end of the table without a scan.)
    std::int64_t middle = 0;
    {
        Statement range(first.handle(), "SELECT (SELECT min(id) FROM directory), (SELECT max(id) FROM directory)");
        if (!range.ok() || range.step() != SQLITE_ROW) {
            if (error) {
                *error = first.lastError();
            }
            return false;
        }
        middle = range.columnInt(0) + (range.columnInt(1) - range.columnInt(0)) / 2;
    }
    Scan second;
    second.whole = scan->whole;
    bool secondOk = false;
    QString secondError;
    std::thread after([&] {
        Connection connection;
        if (!connection.open(path, Connection::Mode::ReadOnly, &secondError)
            || !connection.exec("BEGIN", &secondError)) {
            return;
        }
        Statement st(connection.handle(), sql::selectAfter(read).c_str());
        st.bindInt(1, middle);
        secondOk = st.ok() && readRows(st, &second, each[1], encoding) == SQLITE_DONE;
        if (!secondOk) {
            secondError = connection.lastError();
        }
        connection.exec("COMMIT");
    });
    bool ok = false;
    {
        Statement st(first.handle(), sql::selectRange(read).c_str());
        st.bindInt(1, std::numeric_limits<std::int64_t>::min());
        st.bindInt(2, middle);
        ok = st.ok() && readRows(st, scan, each[0], encoding) == SQLITE_DONE;
        if (!ok && error) {
            *error = first.lastError();
        }
    }
    first.exec("COMMIT");
    after.join();
    if (ok && !secondOk && error) {
        *error = secondError;
    }
    *firstPart = scan->ids.size();
    scan->ids.append(second.ids);
    scan->digest += second.digest;
    return ok && secondOk;
}

} // namespace telvane::store
