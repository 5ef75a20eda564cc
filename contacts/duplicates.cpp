#include "contacts/duplicates.h"

#include "text/gbk.h"

#include <algorithm>
#include <bit>

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

// A number's digits packed into a key: a leading 1, then the digits in decimal, so 0139 and 139 differ. 0 for a
// number too long to pack.
std::uint64_t pack(std::string_view digits)
{
    if (digits.size() > kPackedDigits) {
        return 0;
    }
    std::uint64_t key = 1;
    for (const char c : digits) {
        key = key * 10 + static_cast<std::uint64_t>(c - '0');
    }
    return key;
}

} // namespace

std::string comparableDigits(std::string_view gbk)
{
    std::string digits;
    const std::string_view number = trimmed(gbk);
    // Walk character by character: the second and fourth bytes of a four-byte GB18030 character are digit bytes.
    for (std::size_t i = 0; i < number.size();) {
        const std::size_t length = text::charLength(number, i);
        const auto c = static_cast<unsigned char>(number[i]);
        if (length == 1 && c >= '0' && c <= '9') {
            digits += static_cast<char>(c);
        } else if (length == 2 && c == 0xA3) {
            const auto d = static_cast<unsigned char>(number[i + 1]);
            if (d >= 0xB0 && d <= 0xB9) {
                digits += static_cast<char>('0' + (d - 0xB0)); // full-width digit
            }
        }
        i += length;
    }
    const bool plus = number.starts_with('+') || number.starts_with("\xA3\xAB");
    if (plus && digits.starts_with("86")) {
        digits.erase(0, 2);
    } else if (digits.starts_with("0086")) {
        digits.erase(0, 4);
    }
    if (digits.size() < kMinDigits) {
        digits.clear();
    }
    return digits;
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
    std::vector<Slot> old(capacity);
    old.swap(entries);
    used = 0;
    for (const Slot& slot : old) {
        if (slot.key != 0) {
            insert(slot.key, slot.name, slot.record);
        }
    }
}

const DuplicateIndex::Table::Slot* DuplicateIndex::Table::find(std::uint64_t key, std::uint32_t name) const
{
    if (entries.empty()) {
        return nullptr;
    }
    const std::size_t mask = entries.size() - 1;
    for (std::size_t i = mix(key ^ (std::uint64_t(name) << 32 | name)) & mask;; i = (i + 1) & mask) {
        const Slot& slot = entries[i];
        if (slot.key == 0) {
            return nullptr;
        }
        if (slot.key == key && slot.name == name) {
            return &slot;
        }
    }
}

void DuplicateIndex::Table::insert(std::uint64_t key, std::uint32_t name, std::uint32_t record)
{
    if ((used + 1) * 2 > entries.size()) {
        reserve(used + 1);
    }
    const std::size_t mask = entries.size() - 1;
    for (std::size_t i = mix(key ^ (std::uint64_t(name) << 32 | name)) & mask;; i = (i + 1) & mask) {
        Slot& slot = entries[i];
        if (slot.key == 0) {
            slot = {key, name, record};
            ++used;
            return;
        }
        if (slot.key == key && slot.name == name) {
            return; // the first holder stays
        }
    }
}

std::uint32_t DuplicateIndex::nameNumber(std::string_view name) const
{
    if (m_nameSlots.empty()) {
        return 0;
    }
    const std::size_t mask = m_nameSlots.size() - 1;
    for (std::size_t i = hashBytes(name) & mask;; i = (i + 1) & mask) {
        const std::uint32_t number = m_nameSlots[i];
        if (number == 0) {
            return 0;
        }
        const auto [offset, length] = m_names[number - 1];
        if (std::string_view(m_nameBytes).substr(offset, length) == name) {
            return number;
        }
    }
}

std::uint32_t DuplicateIndex::addName(std::string_view name)
{
    if (const std::uint32_t known = nameNumber(name); known != 0) {
        return known;
    }
    if ((m_names.size() + 1) * 2 > m_nameSlots.size()) {
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
    m_names.emplace_back(static_cast<std::uint32_t>(m_nameBytes.size()), static_cast<std::uint32_t>(name.size()));
    m_nameBytes.append(name);
    const auto number = static_cast<std::uint32_t>(m_names.size());
    const std::size_t mask = m_nameSlots.size() - 1;
    std::size_t i = hashBytes(name) & mask;
    while (m_nameSlots[i] != 0) {
        i = (i + 1) & mask;
    }
    m_nameSlots[i] = number;
    return number;
}

void DuplicateIndex::reserve(std::size_t records)
{
    m_mobiles.reserve(records);
    m_namedPhones.reserve(records * 2);
    m_names.reserve(records);
    m_nameBytes.reserve(records * 6);
}

void DuplicateIndex::add(const FieldViews& record)
{
    const auto number = static_cast<std::uint32_t>(m_count++);
    if (const std::string mobile = comparableDigits(record[store::kMobile]); !mobile.empty()) {
        if (const std::uint64_t key = pack(mobile); key != 0) {
            m_mobiles.insert(key, 0, number);
        } else {
            m_longMobiles.try_emplace(mobile, number);
        }
    }
    const std::string_view name = trimmed(record[store::kName]);
    if (name.empty()) {
        return;
    }
    std::uint32_t nameId = 0;
    for (const std::size_t field : {store::kOffice, store::kHome, store::kMobile, store::kPhs}) {
        const std::string digits = comparableDigits(record[field]);
        if (digits.empty()) {
            continue;
        }
        if (nameId == 0) {
            nameId = addName(name);
        }
        if (const std::uint64_t key = pack(digits); key != 0) {
            m_namedPhones.insert(key, nameId, number);
        } else {
            m_longNamedPhones.try_emplace(std::to_string(nameId) + '\t' + digits, number);
        }
    }
}

std::size_t DuplicateIndex::find(const FieldViews& record) const
{
    std::size_t first = npos;
    auto earlier = [&first](std::size_t found) { first = std::min(first, found); };
    if (const std::string mobile = comparableDigits(record[store::kMobile]); !mobile.empty()) {
        if (const std::uint64_t key = pack(mobile); key != 0) {
            if (const Table::Slot* slot = m_mobiles.find(key, 0)) {
                earlier(slot->record);
            }
        } else if (const auto it = m_longMobiles.find(mobile); it != m_longMobiles.end()) {
            earlier(it->second);
        }
    }
    const std::string_view name = trimmed(record[store::kName]);
    const std::uint32_t nameId = name.empty() ? 0 : nameNumber(name);
    if (nameId == 0) {
        return first;
    }
    for (const std::size_t field : {store::kOffice, store::kHome, store::kMobile, store::kPhs}) {
        const std::string digits = comparableDigits(record[field]);
        if (digits.empty()) {
            continue;
        }
        if (const std::uint64_t key = pack(digits); key != 0) {
            if (const Table::Slot* slot = m_namedPhones.find(key, nameId)) {
                earlier(slot->record);
            }
        } else if (const auto it = m_longNamedPhones.find(std::to_string(nameId) + '\t' + digits);
                   it != m_longNamedPhones.end()) {
            earlier(it->second);
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
        if (index.find(fields) != DuplicateIndex::npos) {
            repeats.push_back(i);
        }
        index.add(fields);
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

} // namespace telvane::contacts
