// The scan's filters: which positions of the pinyin class buffer can start a match, 64 positions to a word, in plain
// code and with SSE and AVX2 byte shuffles.
#include "query/search_internal.h"

#include <immintrin.h>
#include <x86intrin.h>

namespace telvane::query::detail {

namespace {

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

} // namespace

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

namespace {

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

} // namespace

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

// ---- the character scan's filters ---------------------------------------------------------------------------------

namespace {

bool inCharSet(const CharSet& set, std::uint8_t cls, std::uint8_t sub)
{
    return !set.empty && set.classes.member[cls] && (set.allSubs || set.subs.member[sub]);
}

// Whether the character at c (a class buffer, readable one before and after) has the neighbours the filter wants.
bool hasNeighbours(const HitFilter& f, const std::uint8_t* c)
{
    return !f.neighbours || (f.starts.member[c[0]] && f.next.member[c[1]])
           || (f.follows.member[c[0]] && f.before.member[c[-1]] && (f.thenAny || f.then.member[c[1]]));
}

} // namespace

std::size_t hitFilterScalar(const HitFilter& f, const std::uint8_t* cls, const std::uint8_t* sub, std::size_t words,
                            std::size_t bytes, std::size_t& zeros, std::uint32_t* places, std::uint32_t* below)
{
    std::size_t n = 0;
    for (std::size_t i = 0; i < bytes && i < words * 64; ++i) {
        if (inCharSet(f, cls[i], sub[i]) && hasNeighbours(f, cls + i)) {
            places[n] = static_cast<std::uint32_t>(i);
            below[n++] = static_cast<std::uint32_t>(zeros);
        }
        zeros += cls[i] == 0;
    }
    return n;
}

namespace {

// Bit i set when byte i of the 64 at p is one of the `count` values (at most four) of `list`.
__attribute__((target("avx2"))) inline std::uint64_t anyOf(const std::uint8_t* p,
                                                           const std::array<std::uint8_t, 4>& list, std::size_t count)
{
    const __m256i v0 = load32(p);
    const __m256i v1 = load32(p + 32);
    __m256i m0 = _mm256_cmpeq_epi8(v0, _mm256_set1_epi8(static_cast<char>(list[0])));
    __m256i m1 = _mm256_cmpeq_epi8(v1, _mm256_set1_epi8(static_cast<char>(list[0])));
    for (std::size_t i = 1; i < count; ++i) {
        const __m256i x = _mm256_set1_epi8(static_cast<char>(list[i]));
        m0 = _mm256_or_si256(m0, _mm256_cmpeq_epi8(v0, x));
        m1 = _mm256_or_si256(m1, _mm256_cmpeq_epi8(v1, x));
    }
    return static_cast<std::uint32_t>(_mm256_movemask_epi8(m0))
           | static_cast<std::uint64_t>(static_cast<std::uint32_t>(_mm256_movemask_epi8(m1))) << 32;
}

__attribute__((target("avx2"))) inline std::uint64_t inSet(const std::uint8_t* p, const Nibbles32& set, __m256i bits)
{
    return member32(probe32(load32(p), bits), set) | member32(probe32(load32(p + 32), bits), set) << 32;
}

// Appends the places of word w that pass (the bits of h within the first `bytes`), each with the class-0 positions
// before it (z: those of the word), and counts the word's into `zeros`. Most words have no place or one, unforeseeably:
// the first place is written whether there is one or not (places and below have room for 64 a word), and counted only
// if there is, rather than branching on it.
__attribute__((target("popcnt"))) inline void keepPlaces(std::size_t w, std::uint64_t h, std::uint64_t z,
                                                         std::size_t bytes, std::size_t& zeros, std::uint32_t* places,
                                                         std::uint32_t* below, std::size_t& n)
{
    if (w * 64 + 64 > bytes) {
        h &= bytes <= w * 64 ? 0 : (std::uint64_t {1} << (bytes - w * 64)) - 1;
    }
    const auto keep = [&](std::uint64_t bits) {
        const auto bit = static_cast<unsigned>(__builtin_ctzll(bits | std::uint64_t {1} << 63));
        places[n] = static_cast<std::uint32_t>(w * 64 + bit);
        below[n] = static_cast<std::uint32_t>(
            zeros + static_cast<std::size_t>(__builtin_popcountll(z & ((std::uint64_t {1} << bit) - 1))));
    };
    keep(h);
    n += h != 0 ? 1 : 0;
    for (h &= h - 1; h; h &= h - 1) {
        keep(h);
        ++n;
    }
    zeros += static_cast<std::size_t>(__builtin_popcountll(z));
}

// The masks of the neighbour test for the 64 classes at p: in `starts` and `next`, in `follows` and `before` (a null
// side is not tested), and class 0.
struct Masks
{
    std::uint64_t starts = 0;
    std::uint64_t next = 0;
    std::uint64_t follows = 0;
    std::uint64_t before = 0;
    std::uint64_t zeros = 0;
};

__attribute__((target("avx2"))) inline Masks masksOf(const std::uint8_t* p, __m256i bits, const Nibbles32* starts,
                                                     const Nibbles32* next, const Nibbles32* follows,
                                                     const Nibbles32* before)
{
    const __m256i v0 = load32(p);
    const __m256i v1 = load32(p + 32);
    const Probe32 p0 = probe32(v0, bits);
    const Probe32 p1 = probe32(v1, bits);
    Masks m;
    if (starts) {
        m.starts = member32(p0, *starts) | member32(p1, *starts) << 32;
        m.next = member32(p0, *next) | member32(p1, *next) << 32;
    }
    if (follows) {
        m.follows = member32(p0, *follows) | member32(p1, *follows) << 32;
        m.before = member32(p0, *before) | member32(p1, *before) << 32;
    }
    const __m256i zero = _mm256_setzero_si256();
    m.zeros =
        static_cast<std::uint32_t>(_mm256_movemask_epi8(_mm256_cmpeq_epi8(v0, zero)))
        | static_cast<std::uint64_t>(static_cast<std::uint32_t>(_mm256_movemask_epi8(_mm256_cmpeq_epi8(v1, zero))))
              << 32;
    return m;
}

} // namespace

__attribute__((target("avx2,popcnt"))) std::size_t hitFilterAvx2(const HitFilter& f, const std::uint8_t* cls,
                                                                 const std::uint8_t* sub, std::size_t words,
                                                                 std::size_t bytes, std::size_t& zeros,
                                                                 std::uint32_t* places, std::uint32_t* below)
{
    if (f.empty) {
        return hitFilterScalar(f, cls, sub, words, bytes, zeros, places, below);
    }
    const __m256i bits = broadcast(kBitOfHigh.data());
    const Nibbles32 classes = nibbles32(&f.classes);
    const Nibbles32 subs = nibbles32(&f.subs);
    const Nibbles32 starts = nibbles32(&f.starts);
    const Nibbles32 next = nibbles32(&f.next);
    const Nibbles32 follows = nibbles32(&f.follows);
    const Nibbles32 before = nibbles32(&f.before);
    const bool fewClasses = f.classCount <= f.classList.size();
    const bool fewSubs = f.subCount <= f.subList.size();
    // With neighbours, `starts` and `follows` hold only classes of the set, so they stand for the test of the class;
    // a side without classes is not tested. Every test runs on every word: whether a word has a place is as good as
    // random, and a branch on it mispredicted cost more than the tests it saved.
    const bool neighbours = f.neighbours;
    const bool anyStarts = neighbours && f.starts.any;
    const bool anyFollows = neighbours && f.follows.any;
    const bool testSubs = !f.allSubs;
    const __m256i zero = _mm256_setzero_si256();
    std::size_t n = 0;
    const auto keep = [&](std::size_t w, std::uint64_t h, std::uint64_t z) {
        keepPlaces(w, h, z, bytes, zeros, places, below, n);
    };
    if (neighbours) {
        // Each word's classes are probed once: the test of the next class at place j is bit j+1 of the same word's
        // mask, the loop running a word ahead for the bit that crosses into the next word, and the test of the class
        // before is bit j-1, the last word's mask kept (the 64 bytes before the first are readable).
        const Nibbles32* startsSide = anyStarts ? &starts : nullptr;
        const Nibbles32* followsSide = anyFollows ? &follows : nullptr;
        std::uint64_t lastBefore = anyFollows ? inSet(cls - 64, before, bits) : 0;
        Masks here = masksOf(cls, bits, startsSide, &next, followsSide, &before);
        for (std::size_t w = 0; w < words; ++w, cls += 64, sub += 64) {
            _mm_prefetch(reinterpret_cast<const char*>(cls + 1024), _MM_HINT_NTA);
            _mm_prefetch(reinterpret_cast<const char*>(sub + 1024), _MM_HINT_NTA);
            const Masks ahead = masksOf(cls + 64, bits, startsSide, &next, followsSide, &before);
            std::uint64_t h = (here.starts & (here.next >> 1 | ahead.next << 63))
                              | (here.follows & (here.before << 1 | lastBefore >> 63));
            if (testSubs) {
                h &= fewSubs ? anyOf(sub, f.subList, f.subCount) : inSet(sub, subs, bits);
            }
            keep(w, h, here.zeros);
            lastBefore = here.before;
            here = ahead;
        }
        return n;
    }
    for (std::size_t w = 0; w < words; ++w, cls += 64, sub += 64) {
        // Both buffers are read ahead: a sub read only where the class matched would wait for memory each time.
        // They are fetched so as to pass the outer caches by: each byte is read once, and the tables that the
        // places found are looked up in stay there.
        _mm_prefetch(reinterpret_cast<const char*>(cls + 1024), _MM_HINT_NTA);
        _mm_prefetch(reinterpret_cast<const char*>(sub + 1024), _MM_HINT_NTA);
        const __m256i v0 = load32(cls);
        const __m256i v1 = load32(cls + 32);
        std::uint64_t h = fewClasses ? anyOf(cls, f.classList, f.classCount) : inSet(cls, classes, bits);
        if (testSubs) {
            h &= fewSubs ? anyOf(sub, f.subList, f.subCount) : inSet(sub, subs, bits);
        }
        const std::uint64_t z =
            static_cast<std::uint32_t>(_mm256_movemask_epi8(_mm256_cmpeq_epi8(v0, zero)))
            | static_cast<std::uint64_t>(static_cast<std::uint32_t>(_mm256_movemask_epi8(_mm256_cmpeq_epi8(v1, zero))))
                  << 32;
        keep(w, h, z);
    }
    return n;
}

// ---- the character scan's filter with AVX-512 ----------------------------------------------------------------------

void makeHitTables(const HitFilter& f, HitTables& tables)
{
    for (unsigned c = 0; c < 256; ++c) {
        std::uint8_t flags = 0;
        flags |= f.classes.member[c] ? HitTables::kClass : 0;
        flags |= f.starts.member[c] ? HitTables::kStarts : 0;
        flags |= f.next.member[c] ? HitTables::kNext : 0;
        flags |= f.follows.member[c] ? HitTables::kFollows : 0;
        flags |= f.before.member[c] ? HitTables::kBefore : 0;
        flags |= f.thenAny || f.then.member[c] ? HitTables::kThen : 0;
        tables.classFlags[c] = flags;
        tables.subFlags[c] = f.allSubs || f.subs.member[c] ? 1 : 0;
    }
}

namespace {

// The flags of the 64 bytes at p: two lookups of 128 entries each, the top bit choosing between them.
struct Table512
{
    __m512i t0;
    __m512i t1;
    __m512i t2;
    __m512i t3;
};

__attribute__((target("avx512f,avx512bw,avx512vbmi"))) inline Table512 table512(const std::uint8_t* t)
{
    return {_mm512_load_si512(t), _mm512_load_si512(t + 64), _mm512_load_si512(t + 128), _mm512_load_si512(t + 192)};
}

__attribute__((target("avx512f,avx512bw,avx512vbmi"))) inline __m512i lookup512(const Table512& t, __m512i v)
{
    const __m512i low = _mm512_permutex2var_epi8(t.t0, v, t.t1);
    const __m512i high = _mm512_permutex2var_epi8(t.t2, v, t.t3);
    return _mm512_mask_blend_epi8(_mm512_movepi8_mask(v), low, high);
}

// The flags of the 64 classes at p, a mask per flag, and where class 0 is.
struct Flags512
{
    std::uint64_t cls;
    std::uint64_t starts;
    std::uint64_t next;
    std::uint64_t follows;
    std::uint64_t before;
    std::uint64_t then;
    std::uint64_t zeros;
};

__attribute__((target("avx512f,avx512bw,avx512vbmi"))) inline Flags512 flagsOf(const Table512& table,
                                                                               const std::uint8_t* p)
{
    const __m512i v = _mm512_loadu_si512(p);
    const __m512i flags = lookup512(table, v);
    const auto bit = [&](std::uint8_t b) __attribute__((target("avx512f,avx512bw")))
    {
        return _mm512_test_epi8_mask(flags, _mm512_set1_epi8(static_cast<char>(b)));
    };
    return {bit(HitTables::kClass),
            bit(HitTables::kStarts),
            bit(HitTables::kNext),
            bit(HitTables::kFollows),
            bit(HitTables::kBefore),
            bit(HitTables::kThen),
            _mm512_cmpeq_epi8_mask(v, _mm512_setzero_si512())};
}

} // namespace

__attribute__((target("avx512f,avx512bw,avx512vbmi,popcnt"))) std::size_t
hitFilterAvx512(const HitFilter& f, const HitTables& tables, const std::uint8_t* cls, const std::uint8_t* sub,
                std::size_t words, std::size_t bytes, std::size_t& zeros, std::uint32_t* places, std::uint32_t* below)
{
    if (f.empty) {
        return hitFilterScalar(f, cls, sub, words, bytes, zeros, places, below);
    }
    const Table512 classFlags = table512(tables.classFlags.data());
    const Table512 subFlags = table512(tables.subFlags.data());
    const __m512i one = _mm512_set1_epi8(1);
    const bool neighbours = f.neighbours;
    const bool testSubs = !f.allSubs;
    // Each word's classes are looked up once: the flags of the next class at place j are bit j+1 of the same word's
    // masks, the loop running a word ahead for the bit that crosses into the next word, and those of the class before
    // are bit j-1, the last word's masks kept (the 64 bytes before the first are readable).
    std::uint64_t lastBefore = neighbours ? flagsOf(classFlags, cls - 64).before : 0;
    Flags512 here = flagsOf(classFlags, cls);
    std::size_t n = 0;
    for (std::size_t w = 0; w < words; ++w, cls += 64, sub += 64) {
        // Read ahead as the AVX2 filter reads.
        _mm_prefetch(reinterpret_cast<const char*>(cls + 1024), _MM_HINT_NTA);
        _mm_prefetch(reinterpret_cast<const char*>(sub + 1024), _MM_HINT_NTA);
        const Flags512 ahead = flagsOf(classFlags, cls + 64);
        std::uint64_t h = here.cls;
        if (neighbours) {
            const std::uint64_t next = here.next >> 1 | ahead.next << 63;
            const std::uint64_t then = here.then >> 1 | ahead.then << 63;
            const std::uint64_t last = here.before << 1 | lastBefore >> 63;
            h &= (here.starts & next) | (here.follows & last & then);
        }
        if (testSubs) {
            h &= _mm512_test_epi8_mask(lookup512(subFlags, _mm512_loadu_si512(sub)), one);
        }
        keepPlaces(w, h, here.zeros, bytes, zeros, places, below, n);

        lastBefore = here.before;
        here = ahead;
    }
    return n;
}

} // namespace telvane::query::detail
