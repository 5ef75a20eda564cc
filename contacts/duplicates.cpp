#include "contacts/duplicates.h"

#include "store/scan.h"

#include "text/gbk.h"

#include <algorithm>
#include <optional>

namespace telvane::contacts {

namespace {

constexpr std::size_t kMinDigits = 5;
constexpr std::size_t kPackedDigits = 18;

std::uint64_t mix(std::uint64_t x)
{
    x += 0x9E3779B97F4A7C15ull;
    x = (x ^ (x >> 30)) * 0xBF58476D1CE4E5B9ull;
    x = (x ^ (x >> 27)) * 0x94D049BB133111EBull;
    return x ^ (x >> 31);
}

std::uint64_t hashBytes(std::string_view bytes)
{
    std::uint64_t h = 14695981039346656037ull;
    for (const char c : bytes) {
        h = (h ^ static_cast<unsigned char>(c)) * 1099511628211ull;
    }
    return mix(h);
}

std::string_view trimmed(std::string_view text)
{
    while (!text.empty() && text.front() == ' ') {
        text.remove_prefix(1);
    }
    while (!text.empty() && text.back() == ' ') {
        text.remove_suffix(1);
    }
    return text;
}

// The comparable digits of a number, without building a string: at most kMaxDigits are kept (a longer text of
// digits is no telephone number anyone dials, and its first kMaxDigits are compared).
struct Digits
{
    static constexpr std::size_t kMaxDigits = 40;
    char digits[kMaxDigits];
    std::size_t count = 0;
    std::size_t skip = 0; // the country prefix

    explicit Digits(std::string_view gbk)
    {
        const std::string_view number = trimmed(gbk);
        // Walk character by character: the second and fourth bytes of a four-byte GB18030 character are digit
        // bytes. Text without multi-byte characters (nearly every number) needs no walk.
        const bool ascii =
            std::all_of(number.begin(), number.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; });
        for (std::size_t i = 0; i < number.size() && count < kMaxDigits;) {
            const std::size_t length = ascii ? 1 : text::charLength(number, i);
            const auto c = static_cast<unsigned char>(number[i]);
            if (length == 1 && c >= '0' && c <= '9') {
                digits[count++] = static_cast<char>(c);
            } else if (length == 2 && c == 0xA3) {
                const auto d = static_cast<unsigned char>(number[i + 1]);
                if (d >= 0xB0 && d <= 0xB9) {
                    digits[count++] = static_cast<char>('0' + (d - 0xB0)); // full-width digit
                }
            }
            i += length;
        }
        const std::string_view all(digits, count);
        const bool plus = number.starts_with('+') || number.starts_with("\xA3\xAB");
        if (plus && all.starts_with("86")) {
            skip = 2;
        } else if (all.starts_with("0086")) {
            skip = 4;
        }
        if (count - skip < kMinDigits) {
            count = skip = 0;
        }
    }
    std::string_view view() const { return std::string_view(digits + skip, count - skip); }
    bool empty() const { return count == 0; }
    // Packed into a key: a leading 1, then the digits in decimal, so 0139 and 139 differ. 0 when too long to pack.
    std::uint64_t key() const
    {
        if (count - skip > kPackedDigits) {
            return 0;
        }
        std::uint64_t key = 1;
        for (const char c : view()) {
            key = key * 10 + static_cast<std::uint64_t>(c - '0');
        }
        return key;
    }
};

} // namespace

std::string comparableDigits(std::string_view gbk)
{
    return std::string(Digits(gbk).view());
}

void DuplicateIndex::Table::reserve(std::size_t count)
{
    std::size_t capacity = 16;
    while (capacity < count * 2) {
        capacity *= 2;
    }
    if (capacity <= entries.size()) {
        return;
    }
    std::vector<Entry> old(capacity);
    old.swap(entries);
    used = 0;
    for (const Entry& entry : old) {
        if (entry.key != 0) {
            findOrAdd(entry.key, entry.name, entry.record);
        }
    }
}

std::size_t DuplicateIndex::Table::findOrAdd(std::uint64_t key, std::uint32_t name, std::size_t record)
{
    if (record != npos && (used + 1) * 2 > entries.size()) {
        reserve(used + 1);
    }
    if (entries.empty()) {
        return npos;
    }
    const std::size_t mask = entries.size() - 1;
    for (std::size_t i = mix(key ^ (std::uint64_t(name) << 32)) & mask;; i = (i + 1) & mask) {
        Entry& entry = entries[i];
        if (entry.key == key && entry.name == name) {
            return entry.record;
        }
        if (entry.key == 0) {
            if (record != npos) {
                entry = {key, name, static_cast<std::uint32_t>(record)};
                ++used;
            }
            return npos;
        }
    }
}

std::uint32_t DuplicateIndex::nameNumber(std::string_view name, bool add)
{
    if (add && (m_names.size() + 1) * 2 > m_nameSlots.size()) {
        std::size_t capacity = std::max<std::size_t>(16, m_nameSlots.size() * 2);
        while (capacity < (m_names.size() + 1) * 2) {
            capacity *= 2;
        }
        m_nameSlots.assign(capacity, 0);
        const std::size_t mask = capacity - 1;
        for (std::uint32_t n = 1; n <= m_names.size(); ++n) {
            const auto [offset, length] = m_names[n - 1];
            std::size_t i = hashBytes(std::string_view(m_nameBytes).substr(offset, length)) & mask;
            while (m_nameSlots[i] != 0) {
                i = (i + 1) & mask;
            }
            m_nameSlots[i] = n;
        }
    }
    if (m_nameSlots.empty()) {
        return 0;
    }
    const std::size_t mask = m_nameSlots.size() - 1;
    for (std::size_t i = hashBytes(name) & mask;; i = (i + 1) & mask) {
        const std::uint32_t number = m_nameSlots[i];
        if (number == 0) {
            if (!add) {
                return 0;
            }
            m_names.emplace_back(static_cast<std::uint32_t>(m_nameBytes.size()),
                                 static_cast<std::uint32_t>(name.size()));
            m_nameBytes.append(name);
            m_nameSlots[i] = static_cast<std::uint32_t>(m_names.size());
            return m_nameSlots[i];
        }
        const auto [offset, length] = m_names[number - 1];
        if (std::string_view(m_nameBytes).substr(offset, length) == name) {
            return number;
        }
    }
}

std::size_t DuplicateIndex::longNumber(const std::string& key, std::size_t record)
{
    if (const auto found = m_longNumbers.find(key); found != m_longNumbers.end()) {
        return found->second;
    }
    if (record != npos) {
        m_longNumbers.emplace(key, static_cast<std::uint32_t>(record));
    }
    return npos;
}

void DuplicateIndex::reserve(std::size_t records)
{
    m_mobiles.reserve(records);
    m_namedPhones.reserve(records);
    m_names.reserve(records);
    m_nameBytes.reserve(records * 6);
}

std::size_t DuplicateIndex::visit(const FieldViews& record, bool add)
{
    const std::size_t number = add ? m_count++ : npos;
    std::size_t first = npos;
    auto earlier = [&first](std::size_t found) { first = std::min(first, found); };

    const Digits mobile(record[store::kMobile]);
    if (!mobile.empty()) {
        if (const std::uint64_t key = mobile.key(); key != 0) {
            earlier(m_mobiles.findOrAdd(key, 0, number));
        } else {
            earlier(longNumber("m\t" + std::string(mobile.view()), number));
        }
    }
    const std::string_view name = trimmed(record[store::kName]);
    if (name.empty()) {
        return first;
    }
    std::uint32_t nameId = 0;
    for (const std::size_t field : {store::kOffice, store::kHome, store::kMobile, store::kPhs}) {
        std::optional<Digits> own;
        const Digits& digits = field == store::kMobile ? mobile : own.emplace(record[field]);
        if (digits.empty()) {
            continue;
        }
        if (nameId == 0) {
            nameId = nameNumber(name, add);
            if (nameId == 0) {
                return first; // a name never added: no record repeats it by name
            }
        }
        if (const std::uint64_t key = digits.key(); key != 0) {
            earlier(m_namedPhones.findOrAdd(key, nameId, number));
        } else {
            earlier(longNumber(std::to_string(nameId) + '\t' + std::string(digits.view()), number));
        }
    }
    return first;
}

namespace {

FieldViews views(const store::Record& record)
{
    FieldViews fields;
    for (std::size_t k = 0; k < store::kFieldCount; ++k) {
        fields[k] = record[k];
    }
    return fields;
}

} // namespace

std::vector<std::size_t> findRepeats(std::span<const store::Record> records)
{
    DuplicateIndex index;
    index.reserve(records.size());
    std::vector<std::size_t> repeats;
    for (std::size_t i = 0; i < records.size(); ++i) {
        const FieldViews fields = views(records[i]);
        if (index.findAndAdd(fields) != DuplicateIndex::npos) {
            repeats.push_back(i);
        }
    }
    return repeats;
}

std::vector<std::size_t> findStoredRepeats(const DuplicateIndex& stored, std::span<const store::Record> incoming)
{
    std::vector<std::size_t> repeats;
    for (std::size_t i = 0; i < incoming.size(); ++i) {
        if (stored.find(views(incoming[i])) != DuplicateIndex::npos) {
            repeats.push_back(i);
        }
    }
    return repeats;
}

bool indexStoredRecords(const QString& path, DuplicateIndex& index, QString* error)
{
    store::Scan scan;
    return store::scanStore(
        path,
        [&index](std::int64_t, const store::FieldViews& fields) {
            index.add(fields);
            return true;
        },
        &scan, error);
}

} // namespace telvane::contacts
