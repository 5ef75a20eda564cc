#pragma once

#include "store/fields.h"
#include "store/record.h"

#include <QString>

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

// Records that repeat one another: the same mobile number, or the same name with at least one telephone number in
// common (in any of the four phone fields). Numbers are compared by their digits only, so separators and a +86 or
// 0086 country prefix do not matter; a number of fewer than five digits (a placeholder such as 0) takes no part.
// Fields are GBK bytes, as the store's scan hands them out and the import's tidying makes them; full-width digits
// count as digits. Exact (no hashes are trusted to tell two records apart) and made for a million records.
namespace telvane::contacts {

// A record's fields, in field order; the same type as the store scan's store::FieldViews.
using FieldViews = std::array<std::string_view, store::kFieldCount>;

// The digits of a telephone number as compared (empty when it has fewer than five).
std::string comparableDigits(std::string_view gbk);

class DuplicateIndex
{
public:
    static constexpr std::size_t npos = static_cast<std::size_t>(-1);

    void reserve(std::size_t records);
    // Adds a record; records are numbered from 0 in the order they are added.
    void add(const FieldViews& record) { visit(record, true); }
    // The number of the first record added that this one repeats, or npos. (A visit that does not add writes nothing.)
    std::size_t find(const FieldViews& record) const { return const_cast<DuplicateIndex*>(this)->visit(record, false); }
    // Both at once: what find() says before the record is added.
    std::size_t findAndAdd(const FieldViews& record) { return visit(record, true); }
    std::size_t size() const { return m_count; }

private:
    // Open addressing over the keys (a packed number, and a name's number for the name table) with the number of the
    // first record that had them.
    struct Table
    {
        struct Entry
        {
            std::uint64_t key = 0; // 0: free
            std::uint32_t name = 0; // the name's number + 1 in the name table; 0 in the mobile table
            std::uint32_t record = 0;
        };
        std::vector<Entry> entries;
        std::size_t used = 0;
        void reserve(std::size_t count);
        // The record that holds the key, or npos; then, when `record` is not npos, the key is added for it.
        std::size_t findOrAdd(std::uint64_t key, std::uint32_t name, std::size_t record);
    };

    std::size_t visit(const FieldViews& record, bool add);
    // The name's number + 1, added when `add`; 0 for a name not known.
    std::uint32_t nameNumber(std::string_view name, bool add);
    std::size_t longNumber(const std::string& key, std::size_t record);

    Table m_mobiles;
    Table m_namedPhones;
    // Names, each stored once: their bytes in one string, and a table of their numbers + 1 by hash.
    std::string m_nameBytes;
    std::vector<std::pair<std::uint32_t, std::uint32_t>> m_names; // offset, length
    std::vector<std::uint32_t> m_nameSlots; // number + 1; 0: free
    // Numbers too long to be packed into a key (more than 18 digits): kept as text ("m" or the name's number, a
    // tab, the digits).
    std::unordered_map<std::string, std::uint32_t> m_longNumbers;
    std::size_t m_count = 0;
};

// For each record of the list that repeats an earlier one, its position in the list.
std::vector<std::size_t> findRepeats(std::span<const store::Record> records);

// Adds every record of the store at `path` to `index`, in store order (record n of the store is number n - 1), read
// in one pass of a connection of its own. False, with the reason, when the store could not be read.
bool indexStoredRecords(const QString& path, DuplicateIndex& index, QString* error = nullptr);

// Which of the incoming records (GBK, tidied as the import stores them) repeat a stored record in `stored`.
std::vector<std::size_t> findStoredRepeats(const DuplicateIndex& stored, std::span<const store::Record> incoming);

} // namespace telvane::contacts
