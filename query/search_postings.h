#pragma once

// Posting lists: the lists of record numbers the search index keeps for each three neighbouring codes and each run
// of digits.
#include <algorithm>
#include <array>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <span>
#include <vector>

namespace telvane::query::detail {

// Grows a buffer by a quarter rather than doubling it: the index's buffers are its memory, and a record at a time
// is added to them.
template<class T>
void reserveFor(std::vector<T>& v, std::size_t needed)
{
    if (needed > v.capacity()) {
        v.reserve(std::max(needed, v.capacity() + v.capacity() / 4 + 1024 / sizeof(T)));
    }
}

// Bit r of a record bitmap is record number r + 1.
inline std::size_t bitmapWords(std::size_t records)
{
    return (records + 63) / 64;
}

// ---- posting lists --------------------------------------------------------------------------------------------------

// Lists of ascending record numbers, each stored as the differences between neighbours in 7-bit groups, in chained
// blocks taken from shared slabs: a list's first block has 32 bytes, its second 64, its third 128, the others 256,
// each ending in the address of the next, so that the many short lists waste little. A list that comes to hold more
// than an eighth of the records is turned into a bitmap, which then takes less room. A record added to a list it is
// already the last of is not added again.
class PostingStore
{
public:
    static constexpr std::uint32_t kNone = 0xFFFFFFFFu;
    static constexpr std::size_t kUnit = 32; // blocks are addressed in units of 32 bytes
    static constexpr std::size_t kSlabUnits = 2048;
    static constexpr std::size_t kClasses = 4; // block sizes
    // A list becomes a bitmap only once it is this long, so that a few early records decide nothing.
    static constexpr std::uint32_t kDenseFrom = 4096;

    void reset(std::size_t lists);
    void append(std::size_t list, std::uint32_t record);
    // Adds the record to each of the lists. The lists and their last blocks lie anywhere in memory: they are fetched
    // ahead, all of them before the first is written to.
    void appendAll(std::span<const std::uint32_t> lists, std::uint32_t record);
    std::uint32_t count(std::size_t list) const { return find(list).count; }
    std::size_t memoryBytes() const;
    // The bitmap of a dense list (bit r-1 for record r; words past its end are zero), or null.
    const std::vector<std::uint64_t>* bitmap(std::size_t list) const
    {
        const std::int32_t d = find(list).dense;
        return d < 0 ? nullptr : &m_dense[static_cast<std::size_t>(d)];
    }

    // Calls f(record) for every record of the list, ascending.
    template<class F>
    void forEach(std::size_t list, F&& f) const
    {
        constexpr std::uint64_t kHigh = 0x8080808080808080u;
        constexpr std::uint64_t kOnes = 0x0101010101010101u;
        const List& l = find(list);
        if (const auto* bits = bitmap(list)) {
            for (std::size_t w = 0; w < bits->size(); ++w) {
                for (std::uint64_t m = (*bits)[w]; m; m &= m - 1) {
                    f(static_cast<std::uint32_t>(w * 64 + static_cast<std::size_t>(std::countr_zero(m)) + 1));
                }
            }
            return;
        }
        std::uint32_t record = 0;
        std::size_t k = 0;
        for (std::uint32_t b = l.head; b != kNone; ++k) {
            const std::size_t payload = payloadOf(k);
            const std::uint8_t* p = block(b);
            const std::uint8_t* end = p + (b == l.tail ? l.used : payload);
            while (p < end) {
                // Most differences take one byte: eight at a time while none is long or padding (zero).
                if (p + 8 <= end) {
                    std::uint64_t eight;
                    std::memcpy(&eight, p, sizeof eight);
                    if (((eight | ((eight - kOnes) & ~eight)) & kHigh) == 0) {
#pragma GCC unroll 8
                        for (int i = 0; i < 8; ++i) {
                            record += static_cast<std::uint32_t>(eight >> (8 * i) & 0xFF);
                            f(record);
                        }
                        p += 8;
                        continue;
                    }
                }
                std::uint32_t v = *p++;
                if (v >= 0x80) {
                    v &= 0x7F;
                    for (unsigned shift = 7;; shift += 7) {
                        const std::uint32_t c = *p++;
                        v |= (c & 0x7F) << shift;
                        if (c < 0x80) {
                            break;
                        }
                    }
                } else if (v == 0) {
                    break; // the rest of the block is padding
                }
                record += v;
                f(record);
            }
            std::uint32_t next;
            std::memcpy(&next, block(b) + payload, sizeof next);
            b = next;
        }
    }

private:
    struct List
    {
        std::uint32_t head = kNone;
        std::uint32_t tail = kNone;
        std::uint32_t last = 0; // the last record listed
        std::uint32_t count = 0;
        std::int32_t dense = -1; // its bitmap in m_dense, once it has one
        std::uint16_t used = 0; // bytes used in the tail block
        std::uint8_t blocks = 0; // blocks so far, up to kClasses
    };
    // The size class of a list's k-th block, and the bytes it holds before the next block's address.
    static std::size_t classOf(std::size_t k)
    {
        return k < kClasses ? k : kClasses - 1;
    }
    static std::size_t payloadOf(std::size_t k)
    {
        return (kUnit << classOf(k)) - 4;
    }
    // A list's state; most lists (of three codes, of a character) never get a record, and have none.
    const List& find(std::size_t list) const
    {
        static constexpr List kEmpty {};
        const std::uint32_t e = m_slot[list];
        return e == kNone ? kEmpty : m_entries[e];
    }
    List& at(std::size_t list)
    {
        std::uint32_t& e = m_slot[list];
        if (e == kNone) {
            e = static_cast<std::uint32_t>(m_entries.size());
            reserveFor(m_entries, m_entries.size() + 1);
            m_entries.emplace_back();
            m_used.push_back(static_cast<std::uint32_t>(list));
        }
        return m_entries[e];
    }
    std::uint8_t* block(std::uint32_t b) const
    {
        return m_slabs[b / kSlabUnits].get() + (b % kSlabUnits) * kUnit;
    }
    std::uint32_t newBlock(std::size_t sizeClass);
    void makeDense(std::size_t list);

    std::vector<std::uint32_t> m_slot; // each list's place in m_entries, or kNone
    std::vector<List> m_entries;
    std::vector<std::uint32_t> m_used; // the list of each entry
    std::vector<std::unique_ptr<std::uint8_t[]>> m_slabs;
    std::uint32_t m_units = 0; // units taken from the slabs
    std::array<std::uint32_t, kClasses> m_free {kNone, kNone, kNone, kNone}; // blocks given back, chained, by size
    std::vector<std::vector<std::uint64_t>> m_dense;
};

} // namespace telvane::query::detail
