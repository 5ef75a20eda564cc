#pragma once

#include "store/connection.h"
#include "store/id_list.h"
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

// A fingerprint of records as SQLite keeps them: each record's id and fields (UTF-8 bytes, each ended by a
// separator) hashed together, and the records' hashes summed. Two stores with the same records under the same ids
// have the same digest; the digests of two sets of records add up to the digest of both, so a store read in parts
// has the digest of the whole.
class Digest
{
public:
    // Goes on from the digest of the records so far.
    static Digest resume(std::uint64_t value)
    {
        Digest d;
        d.m_sum = value;
        return d;
    }
    std::uint64_t value() const { return m_sum + finish(); }
    // Starts the next record.
    void addId(std::int64_t id);
    void addField(std::string_view utf8);

private:
    std::uint64_t finish() const;

    std::uint64_t m_sum = 0;
    std::uint64_t m_record = 0;
    bool m_open = false; // a record was started
};

// What one pass over a store found: the ids in order, the digest of the records, and the file as it looked when the
// pass began.
struct Scan
{
    IdList ids;
    std::uint64_t digest = 0;
    FileStamp stamp;
    // Whether the pass read every field, so that the digest fingerprints the records.
    bool whole = true;
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
// The same in two parts at once, the records up to the middle key on this thread and those after it on another,
// each in a read transaction of a connection of its own: the records of part p go to each[p], numbered from 1 within
// their part, and `firstPart` tells how many part 0 held. The scan holds the ids of both in order. The two
// transactions start one after the other: a caller that must see one moment checks that no other connection wrote
// before the pass ended (a write between their starts makes the parts see different moments). Only the fields of
// `read` are read (the others come empty): a pass over some fields reads a million records in about half the time,
// and its scan is not whole.
bool scanStoreInTwo(const QString& path, const std::array<ScanCallback, 2>& each, Scan* scan, std::size_t* firstPart,
                    QString* error = nullptr, Encoding encoding = Encoding::Gbk, const FieldSet& read = kAllFields);
// Carries a scan on to the records after its last one, in id order, as if the pass had read them too.
bool scanAfter(Connection& connection, Scan& scan, const ScanCallback& each, Encoding encoding = Encoding::Gbk);

} // namespace telvane::store
