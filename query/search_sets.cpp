// Sets of records: read from the posting lists and the per-record bits into bitmaps, intersected, and written out as
// record numbers.
#include "query/search_internal.h"

#include <algorithm>
#include <emmintrin.h>

namespace telvane::query::detail {

// ---- sets of records ------------------------------------------------------------------------------------------------

void addLists(const PostingStore& postings, std::span<const std::size_t> lists, std::uint64_t* bitmap)
{
    for (const std::size_t list : lists) {
        if (postings.count(list) == 0) {
            continue;
        }
        if (const auto* bits = postings.bitmap(list)) {
            for (std::size_t w = 0; w < bits->size(); ++w) {
                bitmap[w] |= (*bits)[w];
            }
            continue;
        }
        postings.forEach(list,
                         [bitmap](std::uint32_t r) { bitmap[(r - 1) >> 6] |= std::uint64_t {1} << ((r - 1) & 63); });
    }
}

void copyBits(const IndexData& index, std::size_t bit, std::uint64_t* bitmap)
{
    const std::size_t words = bitmapWords(index.records);
    const std::size_t stride = index.stride();
    const std::uint64_t* from = index.bits.data() + bit;
    for (std::size_t w = 0; w < words; ++w) {
        bitmap[w] = from[w * stride];
    }
}

namespace {

std::size_t countBitsPlain(const std::uint64_t* bits, std::size_t words)
{
    std::size_t count = 0;
    for (std::size_t w = 0; w < words; ++w) {
        count += static_cast<std::size_t>(std::popcount(bits[w]));
    }
    return count;
}

__attribute__((target("popcnt"))) std::size_t countBitsPopcnt(const std::uint64_t* bits, std::size_t words)
{
    std::size_t count = 0;
    for (std::size_t w = 0; w < words; ++w) {
        count += static_cast<std::size_t>(__builtin_popcountll(bits[w]));
    }
    return count;
}

} // namespace

std::size_t countBits(const std::uint64_t* bits, std::size_t words)
{
    static const bool hasPopcnt = __builtin_cpu_supports("popcnt");
    return hasPopcnt ? countBitsPopcnt(bits, words) : countBitsPlain(bits, words);
}

namespace {

// The positions of the set bits of each byte value, padded with zeros to eight, and their number.
struct BitPositions
{
    std::array<std::array<std::int32_t, 8>, 256> of {};
    std::array<std::uint8_t, 256> count {};
    constexpr BitPositions()
    {
        for (unsigned b = 0; b < 256; ++b) {
            std::uint8_t n = 0;
            for (int i = 0; i < 8; ++i) {
                if (b >> i & 1u) {
                    of[b][n++] = i;
                }
            }
            count[b] = n;
        }
    }
};
constexpr BitPositions kBitPositions;

} // namespace

void appendRecords(const std::uint64_t* bitmap, std::size_t words, std::vector<std::int32_t>& out)
{
    const std::size_t count = countBits(bitmap, words);
    const std::size_t at = out.size();
    // Eight numbers are written for every byte, so the list has room for eight more while it is filled.
    out.resize(at + count + 8);
    std::int32_t* o = out.data() + at;
    for (std::size_t w = 0; w < words; ++w) {
        std::uint64_t m = bitmap[w];
        for (__m128i base = _mm_set1_epi32(static_cast<int>(w * 64 + 1)); m; m >>= 8) {
            const auto byte = static_cast<unsigned>(m & 0xFF);
            const auto* positions = reinterpret_cast<const __m128i*>(kBitPositions.of[byte].data());
            _mm_storeu_si128(reinterpret_cast<__m128i*>(o), _mm_add_epi32(base, _mm_loadu_si128(positions)));
            _mm_storeu_si128(reinterpret_cast<__m128i*>(o + 4), _mm_add_epi32(base, _mm_loadu_si128(positions + 1)));
            o += kBitPositions.count[byte];
            base = _mm_add_epi32(base, _mm_set1_epi32(8));
        }
    }
    out.resize(at + count);
}

void recordsInAll(const IndexData& index, const std::vector<std::vector<std::size_t>>& sets, bool complete,
                  SearchContext& context, std::vector<std::uint32_t>& out)
{
    out.clear();
    if (sets.empty()) {
        return;
    }
    const PostingStore& postings = index.postings;
    const std::size_t words = bitmapWords(index.records);
    // The set with the fewest records gives the candidates; the others are read in the order of their cost: a dense
    // list is tested bit by bit, a set of several is first gathered into a bitmap, word by word for dense lists.
    const auto length = [&](const std::vector<std::size_t>& set) {
        std::size_t sum = 0;
        for (const std::size_t list : set) {
            sum += postings.count(list);
        }
        return sum;
    };
    const auto cost = [&](const std::vector<std::size_t>& set) {
        if (set.size() == 1 && postings.bitmap(set[0])) {
            return std::size_t {0};
        }
        std::size_t sum = 0;
        for (const std::size_t list : set) {
            const std::size_t count = postings.count(list);
            sum += count != 0 && postings.bitmap(list) ? words / 4 : count;
        }
        return sum;
    };
    // Each set's length and cost once, then the sets in that order.
    auto& order = context.order;
    order.clear();
    for (std::size_t s = 0; s < sets.size(); ++s) {
        order.push_back({length(sets[s]), cost(sets[s]), s});
    }
    std::iter_swap(order.begin(), std::min_element(order.begin(), order.end(),
                                                   [](const auto& a, const auto& b) { return a.length < b.length; }));
    std::sort(order.begin() + 1, order.end(), [](const auto& a, const auto& b) { return a.cost < b.cost; });
    auto& bitmap = context.scratch;
    const auto& first = sets[order[0].set];
    if (first.size() == 1) {
        out.reserve(postings.count(first[0]));
        postings.forEach(first[0], [&out](std::uint32_t r) { out.push_back(r); });
    } else {
        bitmap.assign(words, 0);
        addLists(postings, first, bitmap.data());
        for (std::size_t w = 0; w < words; ++w) {
            for (std::uint64_t m = bitmap[w]; m; m &= m - 1) {
                out.push_back(static_cast<std::uint32_t>(w * 64 + static_cast<std::size_t>(std::countr_zero(m)) + 1));
            }
        }
    }
    for (std::size_t i = 1; i < order.size() && !out.empty(); ++i) {
        // Reading a record of a list costs about a sixteenth of checking a record.
        if (!complete && order[i].cost > 16 * out.size()) {
            break;
        }
        const auto& set = sets[order[i].set];
        const std::uint64_t* bits = nullptr;
        std::size_t size = words;
        if (const auto* dense = set.size() == 1 ? postings.bitmap(set[0]) : nullptr) {
            bits = dense->data();
            size = dense->size();
        } else {
            bitmap.assign(words, 0);
            addLists(postings, set, bitmap.data());
            bits = bitmap.data();
        }
        std::size_t kept = 0;
        for (const std::uint32_t r : out) {
            out[kept] = r;
            kept += (r - 1) >> 6 < size && (bits[(r - 1) >> 6] >> ((r - 1) & 63) & 1u);
        }
        out.resize(kept);
    }
}

} // namespace telvane::query::detail
