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

// Zero bytes kept after the logical end of each index buffer, so that a filter may read a whole chunk plus one.
constexpr std::size_t kPad = 1024 + 128;
// Positions filtered per call: kChunkWords masks of 64 positions.
constexpr std::size_t kChunkWords = 16;
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

    void add(unsigned value)
    {
        member[value] = true;
        const unsigned h = value >> 4;
        auto& table = h < 8 ? low : high;
        table[value & 15] = static_cast<std::uint8_t>(table[value & 15] | (1u << (h & 7)));
    }
};

struct LetterFilter
{
    const std::uint8_t* data;
    const ByteSet* first;
    const ByteSet* second; // null: every match may be one character wide
};

struct DigitFilter
{
    const std::uint8_t* data;
    std::uint8_t b0;
    std::uint8_t b1;
    bool two;
};

// ---- scalar filters -------------------------------------------------------------------------------------------------

void letterFilterScalar(const LetterFilter& f, std::size_t pos, std::size_t words, std::uint64_t* masks)
{
    const std::uint8_t* p = f.data + pos;
    for (std::size_t w = 0; w < words; ++w, p += 64) {
        std::uint64_t m = 0;
        for (unsigned i = 0; i < 64; ++i) {
            const bool hit = f.first->member[p[i]] && (!f.second || f.second->member[p[i + 1]]);
            m |= static_cast<std::uint64_t>(hit) << i;
        }
        masks[w] = m;
    }
}

void digitFilterScalar(const DigitFilter& f, std::size_t pos, std::size_t words, std::uint64_t* masks)
{
    const std::uint8_t* p = f.data + pos;
    for (std::size_t w = 0; w < words; ++w, p += 64) {
        std::uint64_t m = 0;
        for (unsigned i = 0; i < 64; ++i) {
            const bool hit = p[i] == f.b0 && (!f.two || p[i + 1] == f.b1);
            m |= static_cast<std::uint64_t>(hit) << i;
        }
        masks[w] = m;
    }
}

// ---- SSE filters ----------------------------------------------------------------------------------------------------

__attribute__((target("ssse3"))) inline std::uint64_t member16(__m128i v, __m128i low, __m128i high, __m128i bits)
{
    const __m128i nib = _mm_set1_epi8(static_cast<char>(0x8F));
    const __m128i top = _mm_set1_epi8(static_cast<char>(0x80));
    const __m128i a = _mm_shuffle_epi8(low, _mm_and_si128(v, nib));
    const __m128i b = _mm_shuffle_epi8(high, _mm_and_si128(_mm_xor_si128(v, top), nib));
    const __m128i h = _mm_and_si128(_mm_srli_epi16(v, 4), _mm_set1_epi8(0x0F));
    const __m128i bit = _mm_shuffle_epi8(bits, h);
    const __m128i hit = _mm_cmpeq_epi8(_mm_and_si128(_mm_or_si128(a, b), bit), bit);
    return static_cast<std::uint16_t>(_mm_movemask_epi8(hit));
}

const std::array<std::uint8_t, 16> kBitOfHigh {1, 2, 4, 8, 16, 32, 64, 128, 1, 2, 4, 8, 16, 32, 64, 128};

inline __m128i load16(const std::uint8_t* p)
{
    return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
}

__attribute__((target("ssse3"))) void letterFilterSse(const LetterFilter& f, std::size_t pos, std::size_t words,
                                                      std::uint64_t* masks)
{
    const __m128i bits = load16(kBitOfHigh.data());
    const __m128i low0 = load16(f.first->low.data());
    const __m128i high0 = load16(f.first->high.data());
    const __m128i low1 = f.second ? load16(f.second->low.data()) : low0;
    const __m128i high1 = f.second ? load16(f.second->high.data()) : high0;
    const std::uint8_t* p = f.data + pos;
    for (std::size_t w = 0; w < words; ++w, p += 64) {
        std::uint64_t m = 0;
        for (unsigned i = 0; i < 4; ++i) {
            m |= member16(load16(p + 16 * i), low0, high0, bits) << (16 * i);
        }
        if (f.second) {
            std::uint64_t m1 = 0;
            for (unsigned i = 0; i < 4; ++i) {
                m1 |= member16(load16(p + 16 * i + 1), low1, high1, bits) << (16 * i);
            }
            m &= m1;
        }
        masks[w] = m;
    }
}

void digitFilterSse(const DigitFilter& f, std::size_t pos, std::size_t words, std::uint64_t* masks)
{
    const __m128i c0 = _mm_set1_epi8(static_cast<char>(f.b0));
    const __m128i c1 = _mm_set1_epi8(static_cast<char>(f.b1));
    const std::uint8_t* p = f.data + pos;
    for (std::size_t w = 0; w < words; ++w, p += 64) {
        std::uint64_t m = 0;
        for (unsigned i = 0; i < 4; ++i) {
            const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 16 * i));
            __m128i hit = _mm_cmpeq_epi8(v, c0);
            if (f.two) {
                const __m128i v1 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 16 * i + 1));
                hit = _mm_and_si128(hit, _mm_cmpeq_epi8(v1, c1));
            }
            m |= static_cast<std::uint64_t>(static_cast<std::uint16_t>(_mm_movemask_epi8(hit))) << (16 * i);
        }
        masks[w] = m;
    }
}

// ---- AVX2 filters ---------------------------------------------------------------------------------------------------

__attribute__((target("avx2"))) inline std::uint64_t member32(__m256i v, __m256i low, __m256i high, __m256i bits)
{
    const __m256i nib = _mm256_set1_epi8(static_cast<char>(0x8F));
    const __m256i top = _mm256_set1_epi8(static_cast<char>(0x80));
    const __m256i a = _mm256_shuffle_epi8(low, _mm256_and_si256(v, nib));
    const __m256i b = _mm256_shuffle_epi8(high, _mm256_and_si256(_mm256_xor_si256(v, top), nib));
    const __m256i h = _mm256_and_si256(_mm256_srli_epi16(v, 4), _mm256_set1_epi8(0x0F));
    const __m256i bit = _mm256_shuffle_epi8(bits, h);
    const __m256i hit = _mm256_cmpeq_epi8(_mm256_and_si256(_mm256_or_si256(a, b), bit), bit);
    return static_cast<std::uint32_t>(_mm256_movemask_epi8(hit));
}

__attribute__((target("avx2"))) inline __m256i broadcast(const std::uint8_t* p)
{
    return _mm256_broadcastsi128_si256(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p)));
}

__attribute__((target("avx2"))) inline __m256i load(const std::uint8_t* p)
{
    return _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p));
}

__attribute__((target("avx2"))) void letterFilterAvx2(const LetterFilter& f, std::size_t pos, std::size_t words,
                                                      std::uint64_t* masks)
{
    const __m256i bits = broadcast(kBitOfHigh.data());
    const __m256i low0 = broadcast(f.first->low.data());
    const __m256i high0 = broadcast(f.first->high.data());
    const std::uint8_t* p = f.data + pos;
    if (!f.second) {
        for (std::size_t w = 0; w < words; ++w, p += 64) {
            masks[w] = member32(load(p), low0, high0, bits) | member32(load(p + 32), low0, high0, bits) << 32;
        }
        return;
    }
    const __m256i low1 = broadcast(f.second->low.data());
    const __m256i high1 = broadcast(f.second->high.data());
    for (std::size_t w = 0; w < words; ++w, p += 64) {
        const std::uint64_t m0 = member32(load(p), low0, high0, bits) | member32(load(p + 32), low0, high0, bits) << 32;
        const std::uint64_t m1 =
            member32(load(p + 1), low1, high1, bits) | member32(load(p + 33), low1, high1, bits) << 32;
        masks[w] = m0 & m1;
    }
}

__attribute__((target("avx2"))) void digitFilterAvx2(const DigitFilter& f, std::size_t pos, std::size_t words,
                                                     std::uint64_t* masks)
{
    const __m256i c0 = _mm256_set1_epi8(static_cast<char>(f.b0));
    const __m256i c1 = _mm256_set1_epi8(static_cast<char>(f.b1));
    const std::uint8_t* p = f.data + pos;
    for (std::size_t w = 0; w < words; ++w, p += 64) {
        std::uint64_t m = 0;
        for (unsigned i = 0; i < 2; ++i) {
            const __m256i v = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p + 32 * i));
            __m256i hit = _mm256_cmpeq_epi8(v, c0);
            if (f.two) {
                const __m256i v1 = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p + 32 * i + 1));
                hit = _mm256_and_si256(hit, _mm256_cmpeq_epi8(v1, c1));
            }
            m |= static_cast<std::uint64_t>(static_cast<std::uint32_t>(_mm256_movemask_epi8(hit))) << (32 * i);
        }
        masks[w] = m;
    }
}

// ---- the scan -------------------------------------------------------------------------------------------------------

// Walks the candidate positions the filter passes, in order, and appends the number of every record in which
// `verify` confirms one. A record stops costing work at its first confirmed candidate. Records are never empty
// in the index (each has its separators), so the record starts are strictly ascending.
template<class Filter, class Verify>
void collect(std::size_t size, const std::vector<std::uint32_t>& starts, Filter filter, Verify verify,
             std::vector<std::int32_t>& out)
{
    std::array<std::uint64_t, kChunkWords> masks {};
    const std::uint32_t* s = starts.data();
    const std::uint32_t* sEnd = s + starts.size();
    std::size_t r = 0;
    std::size_t skipUntil = 0;
    std::size_t pos = 0;
    while (pos < size) {
        const std::size_t words = std::min(kChunkWords, (size - pos + 63) / 64);
        filter(pos, words, masks.data());
        for (std::size_t w = 0; w < words; ++w) {
            std::uint64_t m = masks[w];
            while (m) {
                const std::size_t j = pos + w * 64 + static_cast<std::size_t>(std::countr_zero(m));
                m &= m - 1;
                if (j < skipUntil) {
                    continue;
                }
                if (j >= size) {
                    break;
                }
                if (j >= s[r + 1]) {
                    if (j < s[r + 2]) {
                        ++r;
                    } else {
                        r = static_cast<std::size_t>(std::upper_bound(s + r + 1, sEnd, j) - s) - 1;
                    }
                }
                if (verify(j, s[r + 1])) {
                    out.push_back(static_cast<std::int32_t>(r + 1));
                    skipUntil = s[r + 1];
                }
            }
        }
        pos = std::max(pos + words * 64, skipUntil);
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
    ByteSet first;
    ByteSet second;
    bool useSecond = false;

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
    std::uint64_t afterFirst = 0;
    const int classes = pinyinClassCount();
    for (int c = 1; c < classes; ++c) {
        std::uint64_t* t = program.step.data() + static_cast<std::size_t>(c) * (length + 1);
        for (const auto code : pinyinClassCodes(c)) {
            for (std::size_t o = 0; o + code.size() <= length; ++o) {
                if (query.substr(o, code.size()) == code) {
                    t[o] |= std::uint64_t {1} << (o + code.size());
                }
            }
        }
        if (t[0]) {
            program.first.add(static_cast<unsigned>(c));
            afterFirst |= t[0];
        }
    }
    program.useSecond = program.minWidth >= 2;
    if (program.useSecond) {
        for (int c = 1; c < classes; ++c) {
            const std::uint64_t* t = program.step.data() + static_cast<std::size_t>(c) * (length + 1);
            for (std::uint64_t reach = afterFirst; reach; reach &= reach - 1) {
                if (t[std::countr_zero(reach)]) {
                    program.second.add(static_cast<unsigned>(c));
                    break;
                }
            }
        }
    }
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
    m_digits.clear();
    m_digitStarts.assign(1, 0);
    m_letterSize = 0;
    m_digitSize = 0;
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
    m_digitStarts.reserve(to + 1);
    appendPadded(m_letters, m_letterSize, [&](std::vector<std::uint8_t>& out) {
        for (std::size_t r = from; r < to; ++r) {
            for (int f = 1; f <= 3; ++f) {
                const auto text = columns.field(static_cast<int>(r + 1), f);
                for (std::size_t i = 0; i + 1 < text.size(); i += 2) {
                    out.push_back(
                        classOf[static_cast<unsigned char>(text[i]) * 256u + static_cast<unsigned char>(text[i + 1])]);
                }
                out.push_back(0);
            }
            m_letterStarts.push_back(static_cast<std::uint32_t>(out.size()));
        }
    });
    appendPadded(m_digits, m_digitSize, [&](std::vector<std::uint8_t>& out) {
        for (std::size_t r = from; r < to; ++r) {
            for (int f = 3; f <= 7; ++f) {
                const auto text = columns.field(static_cast<int>(r + 1), f);
                out.insert(out.end(), text.begin(), text.end());
                out.push_back(0);
            }
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
    LetterProgram program;
    if (!compileLetters(query, shape, program)) {
        return;
    }
    const LetterFilter spec {m_letters.data(), &program.first, program.useSecond ? &program.second : nullptr};
    const std::uint8_t* data = m_letters.data();
    const auto verify = [&](std::size_t j, std::size_t) { return program.matchesAt(data + j); };
    switch (m_path) {
        case ScanPath::Avx2:
            collect(
                m_letterSize, m_letterStarts,
                [&](std::size_t pos, std::size_t words, std::uint64_t* masks) {
                    letterFilterAvx2(spec, pos, words, masks);
                },
                verify, m_results);
            break;
        case ScanPath::Sse:
            collect(
                m_letterSize, m_letterStarts,
                [&](std::size_t pos, std::size_t words, std::uint64_t* masks) {
                    letterFilterSse(spec, pos, words, masks);
                },
                verify, m_results);
            break;
        default:
            collect(
                m_letterSize, m_letterStarts,
                [&](std::size_t pos, std::size_t words, std::uint64_t* masks) {
                    letterFilterScalar(spec, pos, words, masks);
                },
                verify, m_results);
            break;
    }
}

void Searcher::digitSearch(std::string_view query, const store::Columns& columns)
{
    // The index separates fields by a zero byte; a query holding one could match across it.
    if (query.find('\0') != std::string_view::npos) {
        plainDigitSearch(query, columns);
        return;
    }
    const auto* q = reinterpret_cast<const std::uint8_t*>(query.data());
    const std::size_t length = query.size();
    const DigitFilter spec {m_digits.data(), q[0], length > 1 ? q[1] : std::uint8_t {0}, length > 1};
    const std::uint8_t* data = m_digits.data();
    const auto verify = [&](std::size_t j, std::size_t recordEnd) {
        return j + length <= recordEnd && std::memcmp(data + j, q, length) == 0;
    };
    switch (m_path) {
        case ScanPath::Avx2:
            collect(
                m_digitSize, m_digitStarts,
                [&](std::size_t pos, std::size_t words, std::uint64_t* masks) {
                    digitFilterAvx2(spec, pos, words, masks);
                },
                verify, m_results);
            break;
        case ScanPath::Sse:
            collect(
                m_digitSize, m_digitStarts,
                [&](std::size_t pos, std::size_t words, std::uint64_t* masks) {
                    digitFilterSse(spec, pos, words, masks);
                },
                verify, m_results);
            break;
        default:
            collect(
                m_digitSize, m_digitStarts,
                [&](std::size_t pos, std::size_t words, std::uint64_t* masks) {
                    digitFilterScalar(spec, pos, words, masks);
                },
                verify, m_results);
            break;
    }
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

void Searcher::plainDigitSearch(std::string_view query, const store::Columns& columns)
{
    const int count = static_cast<int>(columns.size());
    for (int i = 1; i <= count; ++i) {
        for (int f = 3; f <= 7; ++f) {
            if (columns.field(i, f).find(query) != std::string_view::npos) {
                m_results.push_back(i);
                break;
            }
        }
    }
}

} // namespace telvane::query
