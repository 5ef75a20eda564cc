#include "query/search.h"

#include "query/pinyin.h"
#include "store/directory_store.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstring>
#include <immintrin.h>

namespace telvane::query {

namespace {

// Zero bytes kept after the logical end of each index buffer: the vector code reads at most 64 + 33 bytes past the
// last position it tests.
constexpr std::size_t kPad = 256;
// The bit-parallel letter check keeps one bit per letter offset 0..L in 64 bits.
constexpr std::size_t kMaxFastLetters = 63;

constexpr std::array<std::string_view, 7> kTwoLetterFinals {"ai", "ei", "ao", "ou", "an", "en", "er"};
constexpr std::array<bool, 7> kAddsWidth {false, false, true, false, true, true, true};

bool isDigit(char c)
{
    return c >= '0' && c <= '9';
}

// ---- byte sets ----------------------------------------------------------------------------------------------------

// A set of class ids, as a plain table and as the two nibble tables of the vector membership test: bit h of
// low[l] says whether class h*16 + l is in the set (h 0..7), bit h-8 of high[l] the same for h 8..15.
struct ByteSet
{
    alignas(32) std::array<std::uint8_t, 16> low {};
    alignas(32) std::array<std::uint8_t, 16> high {};
    std::array<bool, 256> member {};
    bool hasHigh = false; // a member of 128 or more: the vector test must look at the high table too

    void add(unsigned value)
    {
        member[value] = true;
        hasHigh = hasHigh || value >= 128;
        const unsigned h = value >> 4;
        auto& table = h < 8 ? low : high;
        table[value & 15] = static_cast<std::uint8_t>(table[value & 15] | (1u << (h & 7)));
    }
};

// A Letter search's candidates: positions whose class is in `single` (a one-character match), or whose class is in
// `first` while the next one is in `second` (the first two characters of a longer match). A null set takes no part.
struct LetterFilter
{
    const std::uint8_t* data;
    const ByteSet* single;
    const ByteSet* first;
    const ByteSet* second;
};

// ---- scalar filters -------------------------------------------------------------------------------------------------

void letterFilterScalar(const LetterFilter& f, std::size_t pos, std::size_t words, std::uint64_t* masks)
{
    const std::uint8_t* p = f.data + pos;
    for (std::size_t w = 0; w < words; ++w, p += 64) {
        std::uint64_t m = 0;
        for (unsigned i = 0; i < 64; ++i) {
            const bool hit = (f.single && f.single->member[p[i]])
                             || (f.first && f.first->member[p[i]] && f.second->member[p[i + 1]]);
            m |= static_cast<std::uint64_t>(hit) << i;
        }
        masks[w] = m;
    }
}

// ---- SSE filters ----------------------------------------------------------------------------------------------------

const std::array<std::uint8_t, 16> kBitOfHigh {1, 2, 4, 8, 16, 32, 64, 128, 1, 2, 4, 8, 16, 32, 64, 128};

inline __m128i load16(const std::uint8_t* p)
{
    return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
}

struct Nibbles16
{
    __m128i low;
    __m128i high;
    bool hasHigh;
};

inline Nibbles16 nibbles16(const ByteSet* set)
{
    return set ? Nibbles16 {load16(set->low.data()), load16(set->high.data()), set->hasHigh} : Nibbles16 {};
}

// Per vector of classes v: the bit of each class's high nibble, and v with its top bit flipped for the high table.
struct Probe16
{
    __m128i v;
    __m128i flipped;
    __m128i bit;
};

__attribute__((target("ssse3"))) inline Probe16 probe16(__m128i v, __m128i bits)
{
    const __m128i h = _mm_and_si128(_mm_srli_epi16(v, 4), _mm_set1_epi8(0x0F));
    return {v, _mm_xor_si128(v, _mm_set1_epi8(static_cast<char>(0x80))), _mm_shuffle_epi8(bits, h)};
}

// pshufb gives 0 where the index has its top bit set, so the low table answers for classes 0..127 and the high
// table, indexed by the flipped vector, for 128..255.
__attribute__((target("ssse3"))) inline std::uint64_t member16(const Probe16& p, const Nibbles16& set)
{
    __m128i row = _mm_shuffle_epi8(set.low, p.v);
    if (set.hasHigh) {
        row = _mm_or_si128(row, _mm_shuffle_epi8(set.high, p.flipped));
    }
    const __m128i miss = _mm_cmpeq_epi8(_mm_and_si128(row, p.bit), _mm_setzero_si128());
    return static_cast<std::uint16_t>(~_mm_movemask_epi8(miss));
}

__attribute__((target("ssse3"))) void letterFilterSse(const LetterFilter& f, std::size_t pos, std::size_t words,
                                                      std::uint64_t* masks)
{
    const __m128i bits = load16(kBitOfHigh.data());
    const Nibbles16 single = nibbles16(f.single);
    const Nibbles16 first = nibbles16(f.first);
    const Nibbles16 second = nibbles16(f.second);
    const std::uint8_t* p = f.data + pos;
    for (std::size_t w = 0; w < words; ++w, p += 64) {
        std::uint64_t m = 0;
        for (unsigned i = 0; i < 4; ++i) {
            const Probe16 v = probe16(load16(p + 16 * i), bits);
            std::uint64_t hit = 0;
            if (f.single) {
                hit |= member16(v, single);
            }
            if (f.first) {
                hit |= member16(v, first) & member16(probe16(load16(p + 16 * i + 1), bits), second);
            }
            m |= hit << (16 * i);
        }
        masks[w] = m;
    }
}

// ---- AVX2 filters ---------------------------------------------------------------------------------------------------

struct Nibbles32
{
    __m256i low;
    __m256i high;
    bool hasHigh;
};

struct Probe32
{
    __m256i v;
    __m256i flipped;
    __m256i bit;
};

__attribute__((target("avx2"))) inline __m256i broadcast(const std::uint8_t* p)
{
    return _mm256_broadcastsi128_si256(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p)));
}

__attribute__((target("avx2"))) inline __m256i load32(const std::uint8_t* p)
{
    return _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p));
}

__attribute__((target("avx2"))) inline Nibbles32 nibbles32(const ByteSet* set)
{
    return set ? Nibbles32 {broadcast(set->low.data()), broadcast(set->high.data()), set->hasHigh} : Nibbles32 {};
}

__attribute__((target("avx2"))) inline Probe32 probe32(__m256i v, __m256i bits)
{
    const __m256i h = _mm256_and_si256(_mm256_srli_epi16(v, 4), _mm256_set1_epi8(0x0F));
    return {v, _mm256_xor_si256(v, _mm256_set1_epi8(static_cast<char>(0x80))), _mm256_shuffle_epi8(bits, h)};
}

__attribute__((target("avx2"))) inline std::uint64_t member32(const Probe32& p, const Nibbles32& set)
{
    __m256i row = _mm256_shuffle_epi8(set.low, p.v);
    if (set.hasHigh) {
        row = _mm256_or_si256(row, _mm256_shuffle_epi8(set.high, p.flipped));
    }
    const __m256i miss = _mm256_cmpeq_epi8(_mm256_and_si256(row, p.bit), _mm256_setzero_si256());
    return static_cast<std::uint32_t>(~_mm256_movemask_epi8(miss));
}

// The first-set, second-set and single-set masks of the 64 classes at `at`.
__attribute__((target("avx2"))) inline void classifyWord(const std::uint8_t* at, __m256i bits, const Nibbles32& first,
                                                         const Nibbles32& second, const Nibbles32* single,
                                                         std::uint64_t& inFirst, std::uint64_t& inSecond,
                                                         std::uint64_t& inSingle)
{
    const Probe32 v0 = probe32(load32(at), bits);
    const Probe32 v1 = probe32(load32(at + 32), bits);
    inFirst = member32(v0, first) | member32(v1, first) << 32;
    inSecond = member32(v0, second) | member32(v1, second) << 32;
    inSingle = single ? member32(v0, *single) | member32(v1, *single) << 32 : 0;
}

__attribute__((target("avx2"))) void letterFilterAvx2(const LetterFilter& f, std::size_t pos, std::size_t words,
                                                      std::uint64_t* masks)
{
    const __m256i bits = broadcast(kBitOfHigh.data());
    const Nibbles32 single = nibbles32(f.single);
    const Nibbles32 first = nibbles32(f.first);
    const Nibbles32 second = nibbles32(f.second);
    const std::uint8_t* p = f.data + pos;
    // The shapes get their own loops so that none tests a set it does not use.
    if (!f.first) {
        for (std::size_t w = 0; w < words; ++w, p += 64) {
            masks[w] =
                member32(probe32(load32(p), bits), single) | member32(probe32(load32(p + 32), bits), single) << 32;
        }
        return;
    }
    // The second character's test at j+1 is bit j+1 of the same word's second-set mask, so every position is probed
    // once: the loop runs one word ahead to have the bit that crosses into the next word.
    std::uint64_t inFirst = 0;
    std::uint64_t inSecond = 0;
    std::uint64_t inSingle = 0;
    classifyWord(p, bits, first, second, f.single ? &single : nullptr, inFirst, inSecond, inSingle);
    for (std::size_t w = 0; w < words; ++w) {
        std::uint64_t nextFirst = 0;
        std::uint64_t nextSecond = 0;
        std::uint64_t nextSingle = 0;
        classifyWord(p + 64 * (w + 1), bits, first, second, f.single ? &single : nullptr, nextFirst, nextSecond,
                     nextSingle);
        masks[w] = (inFirst & (inSecond >> 1 | nextSecond << 63)) | inSingle;
        inFirst = nextFirst;
        inSecond = nextSecond;
        inSingle = nextSingle;
    }
}

// ---- looking for a query in one record's digit fields
// ----------------------------------------------------------------

// The vector searches below read up to kMaxWideQuery + 32 bytes past a record; the padding of the buffer covers that.
constexpr std::size_t kMaxWideQuery = 64;

// Whether the query (2 .. kMaxWideQuery bytes) occurs in text: starts whose first, second and last bytes agree are
// compared whole.
bool containsSse(const std::uint8_t* text, std::size_t length, const std::uint8_t* q, std::size_t ql)
{
    const __m128i c0 = _mm_set1_epi8(static_cast<char>(q[0]));
    const __m128i c1 = _mm_set1_epi8(static_cast<char>(q[1]));
    const __m128i cLast = _mm_set1_epi8(static_cast<char>(q[ql - 1]));
    for (std::size_t i = 0; i + ql <= length; i += 16) {
        const __m128i hit =
            _mm_and_si128(_mm_and_si128(_mm_cmpeq_epi8(load16(text + i), c0), _mm_cmpeq_epi8(load16(text + i + 1), c1)),
                          _mm_cmpeq_epi8(load16(text + i + ql - 1), cLast));
        for (unsigned m = static_cast<unsigned>(_mm_movemask_epi8(hit)); m; m &= m - 1) {
            const std::size_t at = i + static_cast<std::size_t>(std::countr_zero(m));
            if (at + ql > length) {
                return false;
            }
            if (std::memcmp(text + at, q, ql) == 0) {
                return true;
            }
        }
    }
    return false;
}

__attribute__((target("avx2"))) bool containsAvx2(const std::uint8_t* text, std::size_t length, const std::uint8_t* q,
                                                  std::size_t ql)
{
    const __m256i c0 = _mm256_set1_epi8(static_cast<char>(q[0]));
    const __m256i c1 = _mm256_set1_epi8(static_cast<char>(q[1]));
    const __m256i cLast = _mm256_set1_epi8(static_cast<char>(q[ql - 1]));
    for (std::size_t i = 0; i + ql <= length; i += 32) {
        const __m256i hit = _mm256_and_si256(
            _mm256_and_si256(_mm256_cmpeq_epi8(load32(text + i), c0), _mm256_cmpeq_epi8(load32(text + i + 1), c1)),
            _mm256_cmpeq_epi8(load32(text + i + ql - 1), cLast));
        for (auto m = static_cast<std::uint32_t>(_mm256_movemask_epi8(hit)); m; m &= m - 1) {
            const std::size_t at = i + static_cast<std::size_t>(std::countr_zero(m));
            if (at + ql > length) {
                return false;
            }
            if (std::memcmp(text + at, q, ql) == 0) {
                return true;
            }
        }
    }
    return false;
}

// ---- the scan -------------------------------------------------------------------------------------------------------

// The record holding index position j, searched forward from record r (whose start is at or before j): first by
// doubling steps, then by bisection, so that both near and far jumps stay cheap.
inline std::size_t recordOf(const std::uint32_t* starts, std::size_t records, std::size_t r, std::size_t j)
{
    if (j < starts[r + 1]) {
        return r;
    }
    std::size_t lo = r + 1;
    std::size_t step = 1;
    while (lo + step < records && starts[lo + step] <= j) {
        lo += step;
        step *= 2;
    }
    const std::size_t hi = std::min(lo + step, records);
    return static_cast<std::size_t>(std::upper_bound(starts + lo, starts + hi, j) - starts) - 1;
}

// Bits a .. a+len-1 of the bitmap, shifted down to bit 0 (len 1..64). The bitmap has a spare word at its end.
inline std::uint64_t bitsAt(const std::uint64_t* bitmap, std::size_t a, std::size_t len)
{
    const std::size_t word = a >> 6;
    const unsigned off = static_cast<unsigned>(a & 63);
    std::uint64_t v = bitmap[word] >> off;
    if (off != 0) {
        v |= bitmap[word + 1] << (64 - off);
    }
    return len >= 64 ? v : v & ((std::uint64_t {1} << len) - 1);
}

// A stretch of whole records, r0 .. r1-1, whose index positions start at `base`; bit i of the bitmap is position
// base + i.
struct Stretch
{
    const std::uint32_t* starts;
    std::size_t r0;
    std::size_t r1;
    std::size_t base;
};

// Few candidates: walks them in order and finds the record of each confirmed one. A record stops costing work at its
// first confirmed candidate: later candidates in it are dropped unseen.
template<class Verify>
void walkCandidates(std::uint64_t* bitmap, std::size_t words, const Stretch& st, Verify& verify,
                    std::vector<std::int32_t>& out)
{
    const std::uint32_t* s = st.starts;
    std::size_t r = st.r0;
    for (std::size_t w = 0; w < words; ++w) {
        std::uint64_t m = bitmap[w];
        while (m) {
            const std::size_t i = w * 64 + static_cast<std::size_t>(std::countr_zero(m));
            m &= m - 1;
            const std::size_t j = st.base + i;
            if (!verify(j)) {
                continue;
            }
            r = recordOf(s, st.r1, r, j);
            out.push_back(static_cast<std::int32_t>(r + 1));
            const std::size_t skip = s[r + 1] - st.base;
            if (skip >= w * 64 + 64) {
                // Go on in the word that holds the next record's start.
                const std::size_t next = skip / 64;
                bitmap[next] &= ~std::uint64_t {0} << (skip % 64);
                w = next - 1;
                break;
            }
            m &= ~std::uint64_t {0} << (skip - w * 64);
        }
    }
}

// Many candidates: looks at each record's part of the bitmap. When the filter is exact, a candidate is a match and
// the loop has no data-dependent branch.
template<class Verify>
void walkRecords(const std::uint64_t* bitmap, const Stretch& st, bool exact, Verify& verify,
                 std::vector<std::int32_t>& out)
{
    const std::uint32_t* s = st.starts;
    const auto any = [&](std::size_t r) {
        std::size_t a = s[r] - st.base;
        std::size_t len = s[r + 1] - s[r];
        std::uint64_t bits = 0;
        while (len > 64) {
            bits |= bitsAt(bitmap, a, 64);
            a += 64;
            len -= 64;
        }
        return bits | bitsAt(bitmap, a, len);
    };
    if (exact) {
        const std::size_t done = out.size();
        out.resize(done + st.r1 - st.r0);
        std::int32_t* o = out.data() + done;
        std::size_t count = 0;
        for (std::size_t r = st.r0; r < st.r1; ++r) {
            o[count] = static_cast<std::int32_t>(r + 1);
            count += any(r) != 0;
        }
        out.resize(done + count);
        return;
    }
    for (std::size_t r = st.r0; r < st.r1; ++r) {
        if (!any(r)) {
            continue;
        }
        bool matched = false;
        for (std::size_t a = s[r] - st.base; a < s[r + 1] - st.base && !matched; a += 64) {
            std::uint64_t bits = bitsAt(bitmap, a, std::min<std::size_t>(64, s[r + 1] - st.base - a));
            while (bits && !matched) {
                matched = verify(st.base + a + static_cast<std::size_t>(std::countr_zero(bits)));
                bits &= bits - 1;
            }
        }
        if (matched) {
            out.push_back(static_cast<std::int32_t>(r + 1));
        }
    }
}

std::size_t countBits(const std::uint64_t* bits, std::size_t words)
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

bool hasPopcnt()
{
    static const bool has = __builtin_cpu_supports("popcnt");
    return has;
}

// Index positions filtered at a time: the stretch's bitmap stays in the first-level cache.
constexpr std::size_t kStretchBytes = 16 * 1024;

// Filters the index a stretch of whole records at a time and collects the matching records of each stretch by
// whichever walk suits its number of candidates.
template<class Filter, class Verify>
void collect(const std::vector<std::uint32_t>& starts, Filter filter, bool exact, Verify verify,
             std::vector<std::uint64_t>& bitmap, SearchWalk walk, std::vector<std::int32_t>& out)
{
    const std::uint32_t* s = starts.data();
    const std::size_t records = starts.size() - 1;
    std::size_t r0 = 0;
    while (r0 < records) {
        const std::size_t base = s[r0];
        std::size_t r1 =
            static_cast<std::size_t>(std::upper_bound(s + r0 + 1, s + records + 1, base + kStretchBytes) - s) - 1;
        r1 = std::max(r1, r0 + 1);
        const std::size_t length = s[r1] - base;
        const std::size_t words = (length + 63) / 64;
        if (bitmap.size() < words + 1) {
            bitmap.resize(words + 1);
        }
        filter(base, words, bitmap.data());
        // Bits past the stretch belong to the next records.
        if (length % 64) {
            bitmap[words - 1] &= (std::uint64_t {1} << (length % 64)) - 1;
        }
        bitmap[words] = 0;
        const Stretch st {s, r0, r1, base};
        SearchWalk how = walk;
        if (how == SearchWalk::Auto) {
            const std::size_t candidates =
                hasPopcnt() ? countBitsPopcnt(bitmap.data(), words) : countBits(bitmap.data(), words);
            how = candidates * 8 < r1 - r0 ? SearchWalk::Candidates : SearchWalk::Records;
        }
        if (how == SearchWalk::Candidates) {
            walkCandidates(bitmap.data(), words, st, verify, out);
        } else {
            walkRecords(bitmap.data(), st, exact, verify, out);
        }
        r0 = r1;
    }
}

// A compiled Letter search: for every class and letter offset o, the offsets the letters can reach after one
// character of that class read from o (bit o' set when one of its codes equals letters o..o'-1).
struct LetterProgram
{
    std::size_t length = 0;
    int minWidth = 0;
    int maxWidth = 0;
    std::vector<std::uint64_t> step; // [class * (length + 1) + o]
    ByteSet single; // classes that are a whole match by themselves
    ByteSet first; // classes that can start a match of two or more characters
    ByteSet second; // classes that can follow them
    bool useSingle = false;
    bool usePair = false;
    bool exact = false; // every candidate the filter passes is a match

    std::uint64_t advance(unsigned cls, std::uint64_t reach) const
    {
        const std::uint64_t* t = step.data() + cls * (length + 1);
        std::uint64_t next = 0;
        while (reach) {
            next |= t[std::countr_zero(reach)];
            reach &= reach - 1;
        }
        return next;
    }

    // Whether the window of classes starting at `at` matches for an allowed width. Class 0 ends every field.
    bool matchesAt(const std::uint8_t* at) const
    {
        std::uint64_t reach = 1;
        for (int t = 1; t <= maxWidth; ++t) {
            reach = advance(at[t - 1], reach);
            if (!reach) {
                return false;
            }
            if (t >= minWidth && (reach >> length & 1u)) {
                return true;
            }
        }
        return false;
    }
};

bool compileLetters(std::string_view query, LetterShape shape, LetterProgram& program)
{
    const std::size_t length = query.size();
    program.length = length;
    program.minWidth = std::max(shape.n, 1);
    // Every character takes at least one letter, so no window is wider than the query.
    program.maxWidth = std::min(shape.n + shape.k - 1, static_cast<int>(length));
    if (program.minWidth > program.maxWidth) {
        return false;
    }
    program.step.assign(256 * (length + 1), 0);
    const int classes = pinyinClassCount();
    std::uint64_t afterFirst = 0;
    for (int c = 1; c < classes; ++c) {
        std::uint64_t* t = program.step.data() + static_cast<std::size_t>(c) * (length + 1);
        for (const auto code : pinyinClassCodes(c)) {
            for (std::size_t o = 0; o + code.size() <= length; ++o) {
                if (query.substr(o, code.size()) == code) {
                    t[o] |= std::uint64_t {1} << (o + code.size());
                }
            }
        }
        if (program.minWidth == 1 && (t[0] >> length & 1u)) {
            program.single.add(static_cast<unsigned>(c));
            program.useSingle = true;
        }
        // A start that already spells the whole query cannot go on: the next character needs a letter.
        if (t[0] & ~(std::uint64_t {1} << length)) {
            program.first.add(static_cast<unsigned>(c));
            afterFirst |= t[0] & ~(std::uint64_t {1} << length);
        }
    }
    program.usePair = program.maxWidth >= 2 && afterFirst != 0;
    // When two characters are the widest match and every first character ends at the same letter, the pair test is
    // the whole answer: the second character must then spell the rest.
    const bool pairIsMatch = program.maxWidth == 2 && std::has_single_bit(afterFirst);
    const std::uint64_t wanted = pairIsMatch ? std::uint64_t {1} << length : ~std::uint64_t {0};
    if (program.usePair) {
        for (int c = 1; c < classes; ++c) {
            const std::uint64_t* t = program.step.data() + static_cast<std::size_t>(c) * (length + 1);
            for (std::uint64_t reach = afterFirst; reach; reach &= reach - 1) {
                if (t[std::countr_zero(reach)] & wanted) {
                    program.second.add(static_cast<unsigned>(c));
                    break;
                }
            }
        }
    }
    program.exact = !program.usePair || pairIsMatch;
    return program.useSingle || program.usePair;
}

// Every distinct code gets a bit; a record's code set says which codes its names, units and remarks hold at the
// positions a window can start at. A query that is one character wide is answered by it alone.
struct CodeBits
{
    std::array<std::uint64_t, 256> ofClass {};
    std::vector<std::string_view> codes; // bit i is codes[i]
    bool usable = true; // false if there were more than 64 codes

    CodeBits()
    {
        for (int c = 1; c < pinyinClassCount(); ++c) {
            for (const auto code : pinyinClassCodes(c)) {
                auto it = std::find(codes.begin(), codes.end(), code);
                if (it == codes.end()) {
                    codes.push_back(code);
                    it = codes.end() - 1;
                }
                const auto bit = static_cast<std::size_t>(it - codes.begin());
                if (bit >= 64) {
                    usable = false;
                    continue;
                }
                ofClass[static_cast<std::size_t>(c)] |= std::uint64_t {1} << bit;
            }
        }
    }

    // The bit of a code, or 0 when no character has it.
    std::uint64_t bitOf(std::string_view code) const
    {
        const auto it = std::find(codes.begin(), codes.end(), code);
        const auto bit = static_cast<std::size_t>(it - codes.begin());
        return it == codes.end() || bit >= 64 ? 0 : std::uint64_t {1} << bit;
    }
};

const CodeBits& codeBits()
{
    static const CodeBits bits;
    return bits;
}

// Answers the Letter search from the records' code sets when that is cheaper than the class scan: a record can match
// only if it has the whole query as one code (a one-character match, which it then is), or a code the query starts
// with and one it ends with (the first and last characters of a longer match). When few records have the latter
// (reading one record's classes costs about what scanning thirty records does), reading just theirs beats scanning
// all. Returns false, having done nothing, when the scan is the better way.
bool codesSearch(std::string_view query, const LetterProgram& program, const std::vector<std::uint64_t>& letterCodes,
                 const std::array<std::size_t, 64>& codeCounts, const std::vector<std::uint8_t>& letters,
                 const std::vector<std::uint32_t>& letterStarts, SearchWalk walk, std::vector<std::int32_t>& results)
{
    const auto& bits = codeBits();
    if (!bits.usable || walk == SearchWalk::Candidates || walk == SearchWalk::Records) {
        return false;
    }
    const std::size_t length = query.size();
    std::uint64_t whole = 0;
    std::uint64_t starts = 0;
    std::uint64_t ends = 0;
    double startShare = 0;
    double endShare = 0;
    const double count = static_cast<double>(letterCodes.size());
    for (std::size_t b = 0; b < bits.codes.size() && b < 64; ++b) {
        const auto code = bits.codes[b];
        const std::uint64_t bit = std::uint64_t {1} << b;
        const double share = count > 0 ? static_cast<double>(codeCounts[b]) / count : 0;
        if (code == query && program.minWidth <= 1) {
            whole |= bit;
        }
        if (program.maxWidth >= 2 && code.size() < length) {
            if (query.starts_with(code)) {
                starts |= bit;
                startShare += share;
            }
            if (query.ends_with(code)) {
                ends |= bit;
                endShare += share;
            }
        }
    }
    if (walk == SearchWalk::Auto && std::min(startShare, 1.0) * std::min(endShare, 1.0) > 1.0 / 64) {
        return false;
    }
    // First the candidates, without a branch per record; then each is kept if it is a whole match or its classes
    // hold a match.
    const std::uint64_t* codes = letterCodes.data();
    const std::size_t records = letterCodes.size();
    results.resize(records);
    std::int32_t* out = results.data();
    std::size_t candidates = 0;
    for (std::size_t r = 0; r < records; ++r) {
        const std::uint64_t c = codes[r];
        out[candidates] = static_cast<std::int32_t>(r + 1);
        candidates += ((c & whole) != 0) | (((c & starts) != 0) & ((c & ends) != 0));
    }
    const std::uint8_t* data = letters.data();
    const std::uint32_t* recordStarts = letterStarts.data();
    std::size_t kept = 0;
    for (std::size_t i = 0; i < candidates; ++i) {
        const std::size_t r = static_cast<std::size_t>(out[i]) - 1;
        bool matched = (codes[r] & whole) != 0;
        for (std::size_t j = recordStarts[r]; j < recordStarts[r + 1] && !matched; ++j) {
            matched = program.matchesAt(data + j);
        }
        out[kept] = out[i];
        kept += matched;
    }
    results.resize(kept);
    return true;
}

ScanPath resolve(ScanPath path)
{
    if (path != ScanPath::Best) {
        return path;
    }
    if (Searcher::supported(ScanPath::Avx2)) {
        return ScanPath::Avx2;
    }
    if (Searcher::supported(ScanPath::Sse)) {
        return ScanPath::Sse;
    }
    return ScanPath::Scalar;
}

void appendPadded(std::vector<std::uint8_t>& buffer, std::size_t& size, auto&& fill)
{
    buffer.resize(size);
    fill(buffer);
    size = buffer.size();
    buffer.resize(size + kPad, 0);
}

} // namespace

// ---- shape and kind -------------------------------------------------------------------------------------------------

LetterShape letterShape(std::string_view query)
{
    LetterShape shape {static_cast<int>(query.size()), 1};
    if (query.size() > 1) {
        for (std::size_t i = 0; i + 1 < query.size(); ++i) {
            const auto two = query.substr(i, 2);
            for (std::size_t f = 0; f < kTwoLetterFinals.size(); ++f) {
                if (two == kTwoLetterFinals[f]) {
                    --shape.n;
                    shape.k += kAddsWidth[f] ? 1 : 0;
                }
            }
        }
    }
    if (query.size() > 2) {
        for (std::size_t i = 0; i + 2 < query.size(); ++i) {
            if (query.substr(i, 3) == "ang") {
                --shape.n;
                ++shape.k;
            }
        }
    }
    return shape;
}

QueryKind queryKind(std::string_view query)
{
    if (query.empty()) {
        return QueryKind::Empty;
    }
    return isDigit(query.front()) ? QueryKind::Digit : QueryKind::Letter;
}

// ---- digit signatures ----------------------------------------------------------------------------------------------

void DigitSignature::addField(std::string_view text)
{
    bool previousIsDigit = false;
    unsigned previous = 0;
    for (const char c : text) {
        if (!isDigit(c)) {
            previousIsDigit = false;
            continue;
        }
        const unsigned d = static_cast<unsigned>(c - '0');
        set(100 + d);
        if (previousIsDigit) {
            set(previous * 10 + d);
        }
        previous = d;
        previousIsDigit = true;
    }
}

void DigitTriples::addField(std::string_view text)
{
    unsigned run = 0;
    unsigned last2 = 0; // the two digits before this one, as a number 0..99
    for (const char c : text) {
        if (!isDigit(c)) {
            run = 0;
            continue;
        }
        const unsigned d = static_cast<unsigned>(c - '0');
        if (++run >= 3) {
            const unsigned bit = ((last2 * 10 + d) * 2654435761u) >> 25;
            const std::uint64_t one = std::uint64_t {1} << (bit % 64);
            const std::uint64_t inHigh = 0 - static_cast<std::uint64_t>(bit / 64);
            low |= one & ~inHigh;
            high |= one & inHigh;
        }
        last2 = (last2 % 10) * 10 + d;
    }
}

DigitTriples DigitTriples::of(std::string_view query)
{
    DigitTriples triples;
    triples.addField(query);
    return triples;
}

DigitSignature DigitSignature::of(std::string_view query)
{
    DigitSignature sig;
    sig.addField(query);
    return sig;
}

bool DigitSignature::isExact(std::string_view query)
{
    return (query.size() == 1 && isDigit(query[0])) || (query.size() == 2 && isDigit(query[0]) && isDigit(query[1]));
}

// ---- Searcher -------------------------------------------------------------------------------------------------------

Searcher::Searcher()
    : m_path(resolve(ScanPath::Best))
{ }

Searcher::~Searcher() = default;

bool Searcher::supported(ScanPath path)
{
    switch (path) {
        case ScanPath::Best:
        case ScanPath::Scalar:
            return true;
        case ScanPath::Sse:
            return __builtin_cpu_supports("ssse3");
        case ScanPath::Avx2:
            return __builtin_cpu_supports("avx2");
    }
    return false;
}

void Searcher::setScanPath(ScanPath path)
{
    path = resolve(path);
    m_path = supported(path) ? path : resolve(ScanPath::Best);
}

void Searcher::resetIndex()
{
    m_letters.clear();
    m_letterStarts.assign(1, 0);
    m_digitSignatures.clear();
    m_digitTriples.clear();
    m_digits.clear();
    m_digitStarts.assign(1, 0);
    m_digitSize = 0;
    m_letterSize = 0;
    m_letterCodes.clear();
    m_codeCounts.fill(0);
    m_indexed = 0;
    m_hasIndex = false;
}

void Searcher::sync(const store::Columns& columns, std::uint64_t generation)
{
    if (!m_hasIndex || generation != m_generation || columns.size() < m_indexed) {
        resetIndex();
        m_generation = generation;
        m_hasIndex = true;
    }
    if (columns.size() > m_indexed) {
        indexRecords(columns, m_indexed, columns.size());
        m_indexed = columns.size();
    }
}

void Searcher::indexRecords(const store::Columns& columns, std::size_t from, std::size_t to)
{
    const auto& classOf = pinyinClassTable();
    m_letterStarts.reserve(to + 1);
    m_digitSignatures.reserve(to);
    m_digitTriples.reserve(to);
    m_digitStarts.reserve(to + 1);
    const auto& bits = codeBits();
    m_letterCodes.reserve(to);
    appendPadded(m_letters, m_letterSize, [&](std::vector<std::uint8_t>& out) {
        for (std::size_t r = from; r < to; ++r) {
            std::uint64_t codes = 0;
            for (int f = 1; f <= 3; ++f) {
                const auto text = columns.field(static_cast<int>(r + 1), f);
                for (std::size_t i = 0; i + 1 < text.size(); i += 2) {
                    const std::uint8_t cls =
                        classOf[static_cast<unsigned char>(text[i]) * 256u + static_cast<unsigned char>(text[i + 1])];
                    out.push_back(cls);
                    codes |= bits.ofClass[cls];
                }
                out.push_back(0);
            }
            m_letterStarts.push_back(static_cast<std::uint32_t>(out.size()));
            m_letterCodes.push_back(codes);
            for (std::uint64_t c = codes; c; c &= c - 1) {
                ++m_codeCounts[static_cast<std::size_t>(std::countr_zero(c))];
            }
        }
    });
    appendPadded(m_digits, m_digitSize, [&](std::vector<std::uint8_t>& out) {
        for (std::size_t r = from; r < to; ++r) {
            DigitSignature sig;
            DigitTriples triples;
            for (int f = 3; f <= 7; ++f) {
                const auto text = columns.field(static_cast<int>(r + 1), f);
                sig.addField(text);
                triples.addField(text);
                out.insert(out.end(), text.begin(), text.end());
                out.push_back(0);
            }
            m_digitSignatures.push_back(sig);
            m_digitTriples.push_back(triples);
            m_digitStarts.push_back(static_cast<std::uint32_t>(out.size()));
        }
    });
}

const std::vector<std::int32_t>& Searcher::search(std::string_view queryGbk, store::DirectoryStore& store)
{
    const auto& columns = store.columns();
    return search(queryGbk, columns, store.generation());
}

const std::vector<std::int32_t>& Searcher::search(std::string_view queryGbk, const store::Columns& columns,
                                                  std::uint64_t generation)
{
    m_results.clear();
    switch (queryKind(queryGbk)) {
        case QueryKind::Empty:
            break;
        case QueryKind::Digit:
            sync(columns, generation);
            digitSearch(queryGbk, columns);
            break;
        case QueryKind::Letter:
            sync(columns, generation);
            letterSearch(queryGbk, columns);
            break;
    }
    return m_results;
}

void Searcher::letterSearch(std::string_view query, const store::Columns& columns)
{
    // The comparison takes the letters exactly as given: any byte outside a-z fits no character.
    if (!std::all_of(query.begin(), query.end(), [](char c) { return c >= 'a' && c <= 'z'; })) {
        return;
    }
    const LetterShape shape = letterShape(query);
    if (query.size() > kMaxFastLetters) {
        plainLetterSearch(query, shape, columns);
        return;
    }
    // One character wide at most: the records holding a character with the query as a code.
    if (std::max(shape.n, 1) == 1 && std::min(shape.n + shape.k - 1, static_cast<int>(query.size())) == 1
        && codeBits().usable) {
        const std::uint64_t bit = codeBits().bitOf(query);
        if (bit == 0) {
            return;
        }
        const std::size_t count = m_letterCodes.size();
        m_results.resize(count);
        std::int32_t* out = m_results.data();
        std::size_t found = 0;
        for (std::size_t r = 0; r < count; ++r) {
            out[found] = static_cast<std::int32_t>(r + 1);
            found += (m_letterCodes[r] & bit) != 0;
        }
        m_results.resize(found);
        return;
    }
    LetterProgram program;
    if (!compileLetters(query, shape, program)) {
        return;
    }
    if (codesSearch(query, program, m_letterCodes, m_codeCounts, m_letters, m_letterStarts, m_walk, m_results)) {
        return;
    }
    const LetterFilter spec {m_letters.data(), program.useSingle ? &program.single : nullptr,
                             program.usePair ? &program.first : nullptr, program.usePair ? &program.second : nullptr};
    const std::uint8_t* data = m_letters.data();
    const auto verify = [&](std::size_t j) { return program.matchesAt(data + j); };
    const bool exact = program.exact;
    switch (m_path) {
        case ScanPath::Avx2:
            collect(
                m_letterStarts,
                [&](std::size_t pos, std::size_t words, std::uint64_t* masks) {
                    letterFilterAvx2(spec, pos, words, masks);
                },
                exact, verify, m_bitmap, m_walk, m_results);
            break;
        case ScanPath::Sse:
            collect(
                m_letterStarts,
                [&](std::size_t pos, std::size_t words, std::uint64_t* masks) {
                    letterFilterSse(spec, pos, words, masks);
                },
                exact, verify, m_bitmap, m_walk, m_results);
            break;
        default:
            collect(
                m_letterStarts,
                [&](std::size_t pos, std::size_t words, std::uint64_t* masks) {
                    letterFilterScalar(spec, pos, words, masks);
                },
                exact, verify, m_bitmap, m_walk, m_results);
            break;
    }
}

void Searcher::digitSearch(std::string_view query, const store::Columns& columns)
{
    // First the records whose signature covers the query's, without a branch per record; for one or two digits they
    // are the answer.
    const DigitSignature wanted = DigitSignature::of(query);
    const DigitSignature* sig = m_digitSignatures.data();
    const std::size_t count = m_digitSignatures.size();
    m_results.resize(count);
    std::int32_t* out = m_results.data();
    std::size_t candidates = 0;
    for (std::size_t r = 0; r < count; ++r) {
        out[candidates] = static_cast<std::int32_t>(r + 1);
        candidates += sig[r].covers(wanted);
    }
    if (DigitSignature::isExact(query)) {
        m_results.resize(candidates);
        return;
    }
    // Runs of three digits thin out what the pairs let through.
    const DigitTriples wantedTriples = DigitTriples::of(query);
    if (!wantedTriples.empty()) {
        const DigitTriples* triples = m_digitTriples.data();
        std::size_t kept = 0;
        for (std::size_t i = 0; i < candidates; ++i) {
            const int n = out[i];
            out[kept] = n;
            kept += triples[n - 1].covers(wantedTriples);
        }
        candidates = kept;
    }
    m_results.resize(candidates);
    // Then the fields of each candidate. They lie back to back in m_digits, each closed by a zero byte, so one look
    // finds the query in any of them; a query holding a zero byte could span two fields and is looked for field by
    // field. The candidates are scattered over a buffer far larger than the cache: their text is fetched ahead.
    const bool spansFields = query.find('\0') != std::string_view::npos;
    const auto* q = reinterpret_cast<const std::uint8_t*>(query.data());
    const std::size_t length = query.size();
    const bool wide = length <= kMaxWideQuery;
    const std::uint32_t* starts = m_digitStarts.data();
    constexpr std::size_t kAhead = 16;
    std::size_t kept = 0;
    for (std::size_t i = 0; i < candidates; ++i) {
        if (i + 2 * kAhead < candidates) {
            __builtin_prefetch(starts + out[i + 2 * kAhead] - 1);
        }
        if (i + kAhead < candidates) {
            __builtin_prefetch(m_digits.data() + starts[out[i + kAhead] - 1]);
        }
        const int n = out[i];
        const std::uint8_t* text = m_digits.data() + starts[n - 1];
        const std::size_t textLength = starts[n] - starts[n - 1];
        bool found = false;
        if (spansFields) {
            for (int f = 3; f <= 7 && !found; ++f) {
                found = columns.field(n, f).find(query) != std::string_view::npos;
            }
        } else if (wide && m_path == ScanPath::Avx2) {
            found = containsAvx2(text, textLength, q, length);
        } else if (wide && m_path == ScanPath::Sse) {
            found = containsSse(text, textLength, q, length);
        } else {
            found =
                std::string_view(reinterpret_cast<const char*>(text), textLength).find(query) != std::string_view::npos;
        }
        out[kept] = n;
        kept += found;
    }
    m_results.resize(kept);
}

// The search as written out, one window at a time, for queries too long for the bit-parallel check.
void Searcher::plainLetterSearch(std::string_view query, LetterShape shape, const store::Columns& columns)
{
    const int count = static_cast<int>(columns.size());
    for (int i = 1; i <= count; ++i) {
        bool matched = false;
        for (int f = 1; f <= 3 && !matched; ++f) {
            const auto text = columns.field(i, f);
            for (int m = 1; m <= shape.k && !matched; ++m) {
                const long long width = 2LL * (shape.n + m - 1);
                if (width <= 0 || static_cast<long long>(text.size()) < width) {
                    continue;
                }
                for (std::size_t start = 0; start + static_cast<std::size_t>(width) <= text.size(); start += 2) {
                    if (pinyinCompare(query, text.substr(start, static_cast<std::size_t>(width))) == 1) {
                        matched = true;
                        break;
                    }
                }
            }
        }
        if (matched) {
            m_results.push_back(i);
        }
    }
}

} // namespace telvane::query
