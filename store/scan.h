#pragma once

#include "store/connection.h"
#include "store/record.h"

#include <QString>

#include <array>
#include <cstdint>
#include <functional>
#include <string_view>
#include <vector>

namespace telvane::store {

// A record's fields as GBK bytes, valid during one call of a scan's callback.
using FieldViews = std::array<std::string_view, kFieldCount>;

// FNV-1a over the records as SQLite keeps them: each id, then each field's UTF-8 bytes and a separator. Two stores
// with the same records in the same order have the same digest.
class Digest
{
public:
    // Goes on from the digest of the records so far.
    static Digest resume(std::uint64_t value)
    {
        Digest d;
        d.m_h = value;
        return d;
    }
    std::uint64_t value() const { return m_h; }
    void addId(std::int64_t id);
    void addField(std::string_view utf8);

private:
    std::uint64_t m_h = 14695981039346656037ull;
};

// What one pass over a store found: the ids in order, the digest of the records, and the file as it looked when the
// pass began.
struct Scan
{
    std::vector<std::int64_t> ids;
    std::uint64_t digest = 0;
    FileStamp stamp;
};

// In which encoding a scan hands the fields over: GBK as the program works with them, or UTF-8 as the file keeps
// them.
enum class Encoding { Gbk, Utf8 };

// Gets each record's id and fields during a scan, and says whether to go on.
using ScanCallback = std::function<bool(std::int64_t id, const FieldViews& fields)>;

// Reads every record of the store at `path` in id order, in one read transaction of a connection of its own, so it
// may run on any thread beside the program's other connections. `each` (may be empty) gets each record's fields and
// says whether to go on. False, with the reason, when the file could not be read (or `each` stopped the pass).
bool scanStore(const QString& path, const ScanCallback& each, Scan* scan, QString* error = nullptr,
               Encoding encoding = Encoding::Gbk);
// The same over a connection already open (on the calling thread).
bool scanStore(Connection& connection, const ScanCallback& each, Scan* scan, QString* error = nullptr,
               Encoding encoding = Encoding::Gbk);
// Carries a scan on to the records after its last one, in id order, as if the pass had read them too.
bool scanAfter(Connection& connection, Scan& scan, const ScanCallback& each, Encoding encoding = Encoding::Gbk);

} // namespace telvane::store
