// The posting lists, the buffers of the records' bytes and where each record begins in them.
#include "query/search_internal.h"

#include <algorithm>
#include <emmintrin.h>

namespace telvane::query::detail {

// ---- posting lists --------------------------------------------------------------------------------------------------

void PostingStore::reset(std::size_t lists)
{
    if (m_slot.size() != lists) {
        m_slot.assign(lists, kNone);
    } else {
        for (const std::uint32_t list : m_used) {
            m_slot[list] = kNone;
        }
    }
    m_used.clear();
    m_entries.clear();
    m_units = 0; // the slabs are kept for the next lists
    m_free.fill(kNone);
    m_dense.clear();
}

std::uint32_t PostingStore::newBlock(std::size_t sizeClass)
{
    const std::size_t units = std::size_t {1} << sizeClass;
    std::uint32_t b = m_free[sizeClass];
    if (b != kNone) {
        std::memcpy(&m_free[sizeClass], block(b) + (kUnit << sizeClass) - 4, sizeof b);
    } else {
        // A block never crosses into the next slab: the end of one too short for it is left unused.
        if (m_units % kSlabUnits + units > kSlabUnits) {
            m_units += static_cast<std::uint32_t>(kSlabUnits - m_units % kSlabUnits);
        }
        if (m_units + units > m_slabs.size() * kSlabUnits) {
            m_slabs.emplace_back(new std::uint8_t[kSlabUnits * kUnit]);
        }
        b = m_units;
        m_units += static_cast<std::uint32_t>(units);
    }
    std::memcpy(block(b) + (kUnit << sizeClass) - 4, &kNone, sizeof kNone);
    return b;
}

void PostingStore::makeDense(std::size_t list)
{
    std::vector<std::uint64_t> bits(bitmapWords(at(list).last), 0);
    forEach(list, [&bits](std::uint32_t r) { bits[(r - 1) >> 6] |= std::uint64_t {1} << ((r - 1) & 63); });
    List& l = at(list);
    std::size_t k = 0;
    for (std::uint32_t b = l.head; b != kNone; ++k) {
        const std::size_t sizeClass = classOf(k);
        std::uint32_t next;
        std::memcpy(&next, block(b) + payloadOf(k), sizeof next);
        std::memcpy(block(b) + payloadOf(k), &m_free[sizeClass], sizeof b);
        m_free[sizeClass] = b;
        b = next;
    }
    l.head = l.tail = kNone;
    l.used = 0;
    l.blocks = 0;
    l.dense = static_cast<std::int32_t>(m_dense.size());
    m_dense.push_back(std::move(bits));
}

void PostingStore::append(std::size_t list, std::uint32_t record)
{
    List& l = at(list);
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
        l.head = l.tail = newBlock(0);
        l.blocks = 1;
        l.used = 0;
    } else if (l.used + n > payloadOf(l.blocks - 1u)) {
        // A difference never spans two blocks: the rest of the block is zero, which no difference is.
        const std::size_t payload = payloadOf(l.blocks - 1u);
        const std::uint32_t b = newBlock(classOf(l.blocks));
        std::memset(block(l.tail) + l.used, 0, payload - l.used);
        std::memcpy(block(l.tail) + payload, &b, sizeof b);
        l.tail = b;
        l.blocks = static_cast<std::uint8_t>(std::min<std::size_t>(l.blocks + 1u, kClasses));
        l.used = 0;
    }
    std::memcpy(block(l.tail) + l.used, bytes, n);
    l.used = static_cast<std::uint16_t>(l.used + n);
    l.last = record;
    ++l.count;
    if (l.count >= kDenseFrom && std::uint64_t {l.count} * 8 > record) {
        makeDense(list);
    }
}

void PostingStore::appendAll(std::span<const std::uint32_t> lists, std::uint32_t record)
{
    for (const std::uint32_t list : lists) {
        __builtin_prefetch(&m_slot[list]);
    }
    for (const std::uint32_t list : lists) {
        const List& l = find(list);
        if (l.tail != kNone) {
            __builtin_prefetch(block(l.tail) + l.used, 1);
        }
    }
    for (const std::uint32_t list : lists) {
        // Most often the difference takes a byte and the last block has room for it.
        List& l = at(list);
        const std::uint32_t delta = record - l.last;
        if (delta != 0 && delta < 0x80 && l.tail != kNone && l.used < payloadOf(l.blocks - 1u)) {
            block(l.tail)[l.used++] = static_cast<std::uint8_t>(delta);
            l.last = record;
            if (++l.count >= kDenseFrom && std::uint64_t {l.count} * 8 > record) {
                makeDense(list);
            }
        } else {
            append(list, record);
        }
    }
}

std::size_t PostingStore::memoryBytes() const
{
    std::size_t bytes = m_slabs.size() * kSlabUnits * kUnit + m_slabs.capacity() * sizeof(m_slabs[0])
                        + m_slot.capacity() * sizeof(std::uint32_t) + m_entries.capacity() * sizeof(List)
                        + m_used.capacity() * sizeof(std::uint32_t) + m_dense.capacity() * sizeof(m_dense[0]);
    for (const auto& bits : m_dense) {
        bytes += bits.capacity() * sizeof(std::uint64_t);
    }
    return bytes;
}

// ---- buffers of records ---------------------------------------------------------------------------------------------

std::uint8_t* ChunkedBytes::extend(std::size_t n, std::size_t& skipped)
{
    skipped = 0;
    const std::size_t offset = m_size & (m_chunk - 1);
    if (offset != 0 && offset + n > m_chunk) {
        skipped = m_chunk - offset;
        m_size += skipped;
    }
    if ((m_size >> m_shift) >= m_slots.size()) {
        const std::size_t slotCount = std::max<std::size_t>(1, (n + m_chunk - 1) / m_chunk);
        m_chunks.emplace_back(new std::uint8_t[kFrontPad + slotCount * m_chunk + kPad]());
        m_chunkBytes.push_back(slotCount * m_chunk);
        m_chunkSlot.push_back(m_slots.size());
        for (std::size_t i = 0; i < slotCount; ++i) {
            m_slots.push_back(m_chunks.back().get() + kFrontPad + i * m_chunk);
        }
    }
    std::uint8_t* room = m_slots[m_size >> m_shift] + (m_size & (m_chunk - 1));
    m_size += n;
    return room;
}

void ChunkedBytes::clear()
{
    if (!m_chunks.empty()) {
        std::memset(m_chunks[0].get() + kFrontPad, 0, std::min(m_size, m_chunkBytes[0]));
        m_chunks.resize(1);
        m_chunkBytes.resize(1);
        m_chunkSlot.resize(1);
        m_slots.resize(m_chunkBytes[0] / m_chunk);
    }
    m_size = 0;
}

std::size_t ChunkedBytes::memoryBytes() const
{
    std::size_t bytes = m_chunks.capacity() * sizeof(m_chunks[0])
                        + (m_chunkBytes.capacity() + m_chunkSlot.capacity()) * sizeof(std::size_t)
                        + m_slots.capacity() * sizeof(std::uint8_t*);
    for (const std::size_t size : m_chunkBytes) {
        bytes += kFrontPad + size + kPad;
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

void RecordOffsets::extendLast(std::size_t bytes)
{
    const std::size_t r = m_count - 1;
    const std::size_t length = this->length(r) + bytes;
    if (m_lengths[r] == 255) {
        m_long.back().second = static_cast<std::uint32_t>(length);
    } else if (length >= 255) {
        m_lengths[r] = 255;
        m_long.emplace_back(static_cast<std::uint32_t>(r), static_cast<std::uint32_t>(length));
    } else {
        m_lengths[r] = static_cast<std::uint8_t>(length);
    }
    m_total += bytes;
    // The start of the group after it is there already when it ends a group.
    if (m_count % kGroup == 0) {
        m_groups.back() = static_cast<std::uint32_t>(m_total);
    }
}

std::size_t RecordOffsets::longLength(std::size_t r) const
{
    const auto it = std::lower_bound(m_long.begin(), m_long.end(),
                                     std::pair<std::uint32_t, std::uint32_t> {static_cast<std::uint32_t>(r), 0});
    return it->second;
}

std::size_t RecordOffsets::memoryBytes() const
{
    return m_groups.capacity() * sizeof(std::uint32_t) + m_lengths.capacity() + m_long.capacity() * sizeof(m_long[0]);
}

} // namespace telvane::query::detail
