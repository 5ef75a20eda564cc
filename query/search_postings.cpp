// The posting lists and the offsets of the records in the index's buffers.
#include "query/search_internal.h"

#include <algorithm>
#include <emmintrin.h>

namespace telvane::query::detail {

// ---- posting lists
// ----------------------------------------------------------------------------------------------------

void PostingStore::reset(std::size_t lists)
{
    if (m_lists.size() != lists) {
        m_lists.assign(lists, List {});
    } else {
        for (const std::uint32_t list : m_used) {
            m_lists[list] = List {};
        }
    }
    m_used.clear();
    m_blocks = 0; // the slabs are kept for the next lists
    m_free = kNone;
    m_dense.clear();
}

std::uint32_t PostingStore::newBlock()
{
    std::uint32_t b = m_free;
    if (b != kNone) {
        std::memcpy(&m_free, block(b) + kPayload, sizeof m_free);
    } else {
        if (m_blocks == m_slabs.size() * kSlabBlocks) {
            m_slabs.emplace_back(new std::uint8_t[kSlabBlocks * kBlock]);
        }
        b = m_blocks++;
    }
    std::memcpy(block(b) + kPayload, &kNone, sizeof kNone);
    return b;
}

void PostingStore::makeDense(std::size_t list)
{
    std::vector<std::uint64_t> bits(bitmapWords(m_lists[list].last), 0);
    forEach(list, [&bits](std::uint32_t r) { bits[(r - 1) >> 6] |= std::uint64_t {1} << ((r - 1) & 63); });
    List& l = m_lists[list];
    for (std::uint32_t b = l.head; b != kNone;) {
        std::uint32_t next;
        std::memcpy(&next, block(b) + kPayload, sizeof next);
        std::memcpy(block(b) + kPayload, &m_free, sizeof m_free);
        m_free = b;
        b = next;
    }
    l.head = l.tail = kNone;
    l.used = 0;
    l.dense = static_cast<std::int32_t>(m_dense.size());
    m_dense.push_back(std::move(bits));
}

void PostingStore::append(std::size_t list, std::uint32_t record)
{
    List& l = m_lists[list];
    if (l.last == record) {
        return;
    }
    if (l.dense >= 0) {
        auto& bits = m_dense[static_cast<std::size_t>(l.dense)];
        const std::size_t word = (record - 1) >> 6;
        if (word >= bits.size()) {
            reserveFor(bits, word + 1);
            bits.resize(word + 1, 0);
        }
        bits[word] |= std::uint64_t {1} << ((record - 1) & 63);
        l.last = record;
        ++l.count;
        return;
    }
    std::uint8_t bytes[5];
    std::size_t n = 0;
    for (std::uint32_t delta = record - l.last;; delta >>= 7) {
        if (delta < 0x80) {
            bytes[n++] = static_cast<std::uint8_t>(delta);
            break;
        }
        bytes[n++] = static_cast<std::uint8_t>(0x80 | (delta & 0x7F));
    }
    if (l.tail == kNone) {
        l.head = l.tail = newBlock();
        l.used = 0;
        m_used.push_back(static_cast<std::uint32_t>(list));
    } else if (l.used + n > kPayload) {
        // A difference never spans two blocks: the rest of the block is zero, which no difference is.
        const std::uint32_t b = newBlock();
        std::memset(block(l.tail) + l.used, 0, kPayload - l.used);
        std::memcpy(block(l.tail) + kPayload, &b, sizeof b);
        l.tail = b;
        l.used = 0;
    }
    std::memcpy(block(l.tail) + l.used, bytes, n);
    l.used += static_cast<std::uint32_t>(n);
    l.last = record;
    ++l.count;
    if (l.count >= kDenseFrom && std::uint64_t {l.count} * 8 > record) {
        makeDense(list);
    }
}

std::size_t PostingStore::memoryBytes() const
{
    std::size_t bytes = m_slabs.size() * kSlabBlocks * kBlock + m_slabs.capacity() * sizeof(m_slabs[0])
                        + m_lists.capacity() * sizeof(List) + m_used.capacity() * sizeof(std::uint32_t)
                        + m_dense.capacity() * sizeof(m_dense[0]);
    for (const auto& bits : m_dense) {
        bytes += bits.capacity() * sizeof(std::uint64_t);
    }
    return bytes;
}

// ---- where records begin --------------------------------------------------------------------------------------------

void RecordOffsets::clear()
{
    m_groups.assign(1, 0);
    m_lengths.clear();
    m_long.clear();
    m_count = 0;
    m_total = 0;
}

void RecordOffsets::push(std::size_t length)
{
    if (m_count % kGroup == 0) {
        reserveFor(m_lengths, m_lengths.size() + kGroup);
        m_lengths.resize(m_lengths.size() + kGroup, 0);
    }
    m_lengths[m_count] = static_cast<std::uint8_t>(std::min<std::size_t>(length, 255));
    if (length >= 255) {
        m_long.emplace_back(static_cast<std::uint32_t>(m_count), static_cast<std::uint32_t>(length));
    }
    ++m_count;
    m_total += length;
    if (m_count % kGroup == 0) {
        reserveFor(m_groups, m_groups.size() + 1);
        m_groups.push_back(static_cast<std::uint32_t>(m_total));
    }
}

std::size_t RecordOffsets::longLength(std::size_t r) const
{
    const auto it = std::lower_bound(m_long.begin(), m_long.end(),
                                     std::pair<std::uint32_t, std::uint32_t> {static_cast<std::uint32_t>(r), 0});
    return it->second;
}

std::size_t RecordOffsets::start(std::size_t r) const
{
    const std::size_t group = r / kGroup;
    const std::size_t before = r % kGroup;
    std::size_t at = m_groups[group];
    if (before == 0) {
        return at;
    }
    // The lengths before r in its group, summed sixteen at a time; a long one is looked up.
    alignas(16) static constexpr std::array<std::uint8_t, 32> kFirst {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF,
                                                                      0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF};
    const std::uint8_t* lengths = m_lengths.data() + group * kGroup;
    const __m128i mask = _mm_loadu_si128(reinterpret_cast<const __m128i*>(kFirst.data() + kGroup - before));
    const __m128i v = _mm_and_si128(_mm_loadu_si128(reinterpret_cast<const __m128i*>(lengths)), mask);
    if (_mm_movemask_epi8(_mm_cmpeq_epi8(v, _mm_set1_epi8(static_cast<char>(0xFF)))) != 0) {
        for (std::size_t i = group * kGroup; i < r; ++i) {
            at += length(i);
        }
        return at;
    }
    const __m128i sums = _mm_sad_epu8(v, _mm_setzero_si128());
    return at + static_cast<std::size_t>(_mm_cvtsi128_si32(sums))
           + static_cast<std::size_t>(_mm_extract_epi16(sums, 4));
}

std::size_t RecordOffsets::memoryBytes() const
{
    return m_groups.capacity() * sizeof(std::uint32_t) + m_lengths.capacity() + m_long.capacity() * sizeof(m_long[0]);
}

} // namespace telvane::query::detail
