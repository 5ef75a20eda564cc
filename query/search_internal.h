#pragma once

// The inside of Search, shared by its source files, the tests, the benchmark and the fuzz target: the layout of the
// index, the compiled letter query, the scan over pinyin classes and the knobs that force each way of searching.
#include "query/search.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <emmintrin.h>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace telvane::query {

// Character count n and Width alternatives k of a Letter search: windows of n, n+1, ... n+k-1 characters are tried.
struct LetterShape
{
    int n = 0;
    int k = 1;
};
LetterShape letterShape(std::string_view query);

enum class QueryKind { Empty, Digit, Letter };
// Empty for an empty query, Digit when the first byte is an ASCII digit, Letter otherwise.
QueryKind queryKind(std::string_view query);

// The instruction set the scan over pinyin classes uses. Best picks the widest one the processor has.
enum class ScanPath { Best, Scalar, Sse, Avx2 };
// How a Letter search finds its records. Postings: from the lists of records holding each pair of codes, checking
// each listed record's classes. Candidates, Records: by scanning the classes of every record, then walking the
// positions that pass the scan's filter candidate by candidate or record by record. Auto chooses by counts. A Digit
// search always goes by its lists.
enum class SearchWalk { Auto, Postings, Candidates, Records };

// Forces a searcher's ways of searching, for tests and the benchmark; the results never depend on them.
// Indexes whose buffers come in chunks of 2^shift bytes and whose runs of four digits get their lists from
// `frequentFrom` records on, so that tests reach the chunks' ends and make such lists with few records.
struct IndexKnobs
{
    static SearchIndex small(unsigned shift, std::uint32_t frequentFrom);
};

struct SearcherKnobs
{
    static bool supported(ScanPath path);
    // An unsupported path falls back to the best supported one.
    static void setScanPath(Searcher& searcher, ScanPath path);
    // The path in use: never Best.
    static ScanPath scanPath(const Searcher& searcher);
    static void setWalk(Searcher& searcher, SearchWalk walk);
    static SearchWalk walk(const Searcher& searcher);
};

namespace detail {

// Zero bytes kept after the last pinyin class: the vector scan reads at most 64 + 33 bytes past a position it tests.
constexpr std::size_t kPad = 256;

// Grows a buffer by a quarter rather than doubling it: the index's buffers are its memory, and a record at a time
// is added to them.
template<class T>
void reserveFor(std::vector<T>& v, std::size_t needed)
{
    if (needed > v.capacity()) {
        v.reserve(std::max(needed, v.capacity() + v.capacity() / 4 + 1024 / sizeof(T)));
    }
}

// ---- codes --------------------------------------------------------------------------------------------------------

// Every distinct pinyin code gets an id; a class (a set of codes) lists the ids of its codes.
struct CodeTable
{
    std::vector<std::string_view> codes; // id -> code
    std::array<std::array<std::uint8_t, 4>, 256> idsOfClass {};
    std::array<std::uint8_t, 256> idCount {};
    std::vector<std::vector<std::uint8_t>> classesOfCode; // id -> the classes having it
    // A GBK character of each class, for reading a window of classes back as text.
    std::array<std::array<char, 2>, 256> sample {};
    // The ids of the codes that start with each letter a-z.
    std::array<std::array<std::uint8_t, 8>, 26> byFirstLetter {};
    std::array<std::uint8_t, 26> byFirstLetterCount {};

    CodeTable();
    // The id of a code, or -1 when no character has it.
    int idOf(std::string_view code) const;
    std::size_t size() const { return codes.size(); }
};
const CodeTable& codeTable();

// ---- runs of digits -------------------------------------------------------------------------------------------------

// A digit of a digit field is listed with the classes of the two bytes after it, as a key (digit, next, after). A
// byte's class is its digit 0-9, or one of a few classes of other bytes; past the end of the field the class is kEnd. A
// digit that ends its field has no key: a query's digit is always followed by a byte.
constexpr unsigned kByteClasses = 16;
constexpr unsigned kEnd = 10;
constexpr std::array<std::uint8_t, 256> makeByteClasses()
{
    std::array<std::uint8_t, 256> classes {};
    for (unsigned b = 0; b < 256; ++b) {
        std::uint8_t c = 15; // control bytes and the rest
        if (b >= '0' && b <= '9') {
            c = static_cast<std::uint8_t>(b - '0');
        } else if ((b >= 'a' && b <= 'z') || (b >= 'A' && b <= 'Z')) {
            c = 11;
        } else if (b >= 0x80) {
            c = 12;
        } else if (b == ' ') {
            c = 13;
        } else if (b > ' ' && b < 0x7F) {
            c = 14; // punctuation
        }
        classes[b] = c;
    }
    return classes;
}
inline constexpr std::array<std::uint8_t, 256> kByteClassOf = makeByteClasses();
inline unsigned byteClass(unsigned char byte)
{
    return kByteClassOf[byte];
}
// Whether a byte class stands for one byte value, so that a key made of such classes says exactly which bytes follow.
inline bool isDigitClass(unsigned c)
{
    return c < 10;
}

// ---- posting lists
// ----------------------------------------------------------------------------------------------------

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
    std::uint32_t count(std::size_t list) const { return list < m_lists.size() ? m_lists[list].count : 0; }
    std::size_t memoryBytes() const;
    // The bitmap of a dense list (bit r-1 for record r; words past its end are zero), or null.
    const std::vector<std::uint64_t>* bitmap(std::size_t list) const
    {
        const std::int32_t d = list < m_lists.size() ? m_lists[list].dense : -1;
        return d < 0 ? nullptr : &m_dense[static_cast<std::size_t>(d)];
    }

    // Calls f(record) for every record of the list, ascending.
    template<class F>
    void forEach(std::size_t list, F&& f) const
    {
        constexpr std::uint64_t kHigh = 0x8080808080808080u;
        constexpr std::uint64_t kOnes = 0x0101010101010101u;
        if (list >= m_lists.size()) {
            return;
        }
        const List& l = m_lists[list];
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
    std::uint8_t* block(std::uint32_t b) const
    {
        return m_slabs[b / kSlabUnits].get() + (b % kSlabUnits) * kUnit;
    }
    std::uint32_t newBlock(std::size_t sizeClass);
    void makeDense(std::size_t list);

    std::size_t m_listCount = 0;
    std::vector<List> m_lists; // made when the first record is listed
    std::vector<std::uint32_t> m_used; // the lists that have records, for a quick reset
    std::vector<std::unique_ptr<std::uint8_t[]>> m_slabs;
    std::uint32_t m_units = 0; // units taken from the slabs
    std::array<std::uint32_t, kClasses> m_free {kNone, kNone, kNone, kNone}; // blocks given back, chained, by size
    std::vector<std::vector<std::uint64_t>> m_dense;
};

// ---- buffers of records ---------------------------------------------------------------------------------------------

// The bytes of the records, one after another, in chunks of 256 KB that are never moved: adding a record never copies
// the others, and at most one chunk is partly empty. A record never spans two chunks; the end of a chunk too short
// for the next record is left zero and counted into the record before it. Every chunk is followed by kPad zero bytes,
// and an address of a byte is its chunk's number times the chunk size plus its place in the chunk (a record longer
// than a chunk takes several numbers).
class ChunkedBytes
{
public:
    static constexpr unsigned kShift = 18;

    // Chunks of 2^shift bytes; tests take small ones.
    explicit ChunkedBytes(unsigned shift = kShift)
        : m_shift(shift)
        , m_chunk(std::size_t {1} << shift)
    { }
    // Room for n bytes in one piece, zero, at address size(); `skipped` tells how many bytes before it were left over.
    std::uint8_t* extend(std::size_t n, std::size_t& skipped);
    std::size_t size() const { return m_size; }
    unsigned shift() const { return m_shift; }
    const std::uint8_t* at(std::size_t address) const
    {
        return m_slots[address >> m_shift] + (address & (m_chunk - 1));
    }
    // Empties the buffer, keeping the first chunk.
    void clear();
    std::size_t memoryBytes() const;

private:
    std::vector<std::unique_ptr<std::uint8_t[]>> m_chunks;
    std::vector<std::size_t> m_chunkBytes; // the size of each chunk, its padding excluded
    std::vector<std::uint8_t*> m_slots; // the chunk start for each chunk number
    std::size_t m_size = 0;
    unsigned m_shift;
    std::size_t m_chunk;
};

// ---- where records begin --------------------------------------------------------------------------------------------

// Where each record's bytes begin in a buffer, in about 1.3 bytes a record: the start of every 16th record and each
// record's length in a byte, a length of 255 or more being kept in full on the side. Small enough to stay in the
// cache, so that finding a record costs one look into the buffer itself.
class RecordOffsets
{
public:
    static constexpr std::size_t kGroup = 16;

    RecordOffsets() { clear(); }
    void clear();
    void push(std::size_t length);
    // Lengthens the last record (there must be one).
    void extendLast(std::size_t bytes);
    std::size_t size() const { return m_count; }
    // The start of record r (0-based, at most size(): the end of the last record).
    std::size_t start(std::size_t r) const
    {
        const std::size_t group = r / kGroup;
        const std::size_t before = r % kGroup;
        std::size_t at = m_groups[group];
        if (before == 0) {
            return at;
        }
        // The lengths before r in its group, summed sixteen at a time; a long one is looked up.
        alignas(16) static constexpr std::array<std::uint8_t, 32> kFirst {
            0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF};
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
    std::size_t length(std::size_t r) const
    {
        const std::uint8_t b = m_lengths[r];
        return b < 255 ? b : longLength(r);
    }
    void prefetch(std::size_t r) const
    {
        __builtin_prefetch(m_lengths.data() + r);
        __builtin_prefetch(m_groups.data() + r / kGroup);
    }
    std::size_t memoryBytes() const;

private:
    std::size_t longLength(std::size_t r) const;

    std::vector<std::uint32_t> m_groups; // the start of records 0, 16, 32, ...
    std::vector<std::uint8_t> m_lengths; // whole groups of 16, zero past the last record
    std::vector<std::pair<std::uint32_t, std::uint32_t>> m_long; // record and length, ascending
    std::size_t m_count = 0;
    std::size_t m_total = 0;
};

// Calls f(record, from, to) for each of the ascending record numbers with its bytes from..to in `data`, fetching the
// bytes of the records ahead: the records are scattered over a buffer far larger than the cache.
template<class F>
void forEachRecord(const RecordOffsets& offsets, const ChunkedBytes& data, std::span<const std::uint32_t> records,
                   F&& f)
{
    constexpr std::size_t kAhead = 8;
    struct Span
    {
        const std::uint8_t* from;
        const std::uint8_t* to;
    };
    const auto span = [&](std::size_t i) {
        const std::size_t r = records[i] - 1;
        const std::uint8_t* start = data.at(offsets.start(r));
        return Span {start, start + offsets.length(r)};
    };
    std::array<Span, kAhead> ahead;
    const std::size_t count = records.size();
    for (std::size_t i = 0; i < count && i < kAhead; ++i) {
        ahead[i] = span(i);
        __builtin_prefetch(ahead[i].from);
    }
    for (std::size_t i = 0; i < count; ++i) {
        if (i + 2 * kAhead < count) {
            offsets.prefetch(records[i + 2 * kAhead] - 1);
        }
        const Span here = ahead[i % kAhead];
        if (i + kAhead < count) {
            ahead[i % kAhead] = span(i + kAhead);
            __builtin_prefetch(ahead[i % kAhead].from);
        }
        f(records[i], here.from, here.to);
    }
}

// ---- the index ----------------------------------------------------------------------------------------------------

struct IndexData
{
    std::uint32_t records = 0;
    std::size_t codeCount = 0;

    // Letters: per record, the pinyin class of each byte pair of each letter field, each field followed by class 0
    // (no code), so no window runs across fields. kPad zero bytes follow the last class.
    ChunkedBytes classes;
    RecordOffsets letterOffsets;
    // Digits: per record, the digit fields, each as its length and packed or raw bytes (see search_digits.cpp).
    ChunkedBytes digitText;
    RecordOffsets digitOffsets;
    std::vector<std::uint8_t> scratch; // a record's digit fields while they are encoded
    std::vector<std::uint32_t> keys; // the lists a record goes into
    // One bit per record for each code (a character with it in a letter field) and each digit (in a digit field):
    // per group of 64 records, codeCount + 10 words.
    std::vector<std::uint64_t> bits;
    // Lists: per three codes, the records with three neighbouring characters having them (or two, the second being
    // the last with a code); per digit key, the records holding it (see byteClass).
    PostingStore postings;

    explicit IndexData(unsigned chunkShift = ChunkedBytes::kShift);
    IndexData(const IndexData&) = delete;
    IndexData& operator=(const IndexData&) = delete;
    std::size_t stride() const { return codeCount + 10; }
    std::size_t codeBit(std::size_t code) const { return code; }
    std::size_t digitBit(unsigned digit) const { return codeCount + digit; }
    // The list of three neighbouring characters with these codes; `third` may be codeCount: the second character is
    // the last one with a code.
    std::size_t tripleList(std::size_t first, std::size_t second, std::size_t third) const
    {
        return tripleList(codeCount, first, second, third);
    }
    static std::size_t tripleList(std::size_t codes, std::size_t first, std::size_t second, std::size_t third)
    {
        return (first * codes + second) * (codes + 1) + third;
    }
    std::size_t digitList(unsigned digit, unsigned next, unsigned after) const
    {
        return codeCount * codeCount * (codeCount + 1) + (digit * kByteClasses + next) * kByteClasses + after;
    }
    // The list of the records holding a run of four digits (0000..9999), once it has one.
    std::size_t runList(unsigned run) const
    {
        return codeCount * codeCount * (codeCount + 1) + 10 * kByteClasses * kByteClasses + run;
    }
    std::size_t listCount() const { return runList(kRuns); }

    // Runs of four digits get lists of their own when they are frequent: held by at least `frequentFrom` records
    // and by a 64th of them (area codes are); a query of four digits then needs no look at the fields.
    static constexpr unsigned kRuns = 10000;
    static constexpr std::uint32_t kFrequentShare = 64;
    std::uint32_t frequentFrom = 1024;
    // Made when the first run is met; reset run by run.
    std::vector<std::uint32_t> runCount; // records holding each run
    std::vector<std::uint32_t> runLast; // the last record counted for each run
    std::vector<std::uint8_t> runListed; // whether the run has its list
    std::vector<std::uint16_t> runsMet; // the runs with a count
    // Counts a run held by `record`; lists the record if the run has a list, which it is given if it has become
    // frequent.
    void countRun(unsigned run, std::uint32_t record, std::vector<std::uint32_t>& lists)
    {
        if (runLast[run] == record) {
            return;
        }
        if (runCount[run] == 0) {
            runsMet.push_back(static_cast<std::uint16_t>(run));
        }
        runLast[run] = record;
        ++runCount[run];
        if (!runListed[run] && runCount[run] >= frequentFrom
            && std::uint64_t {runCount[run]} * kFrequentShare >= record) {
            listRun(run, record);
        }
        if (runListed[run]) {
            lists.push_back(static_cast<std::uint32_t>(runList(run)));
        }
    }
    // Makes the run counters (at the first run met).
    void makeRunCounters();
    bool runHasList(unsigned run) const { return !runListed.empty() && runListed[run]; }
    // Gives the run its list, of the records before `record` that hold it.
    void listRun(unsigned run, std::uint32_t record);
    void clear();
    std::size_t memoryBytes() const;
};

// ---- sets of records as bitmaps -------------------------------------------------------------------------------------

// Bit r of a record bitmap is record number r + 1.
inline std::size_t bitmapWords(std::size_t records)
{
    return (records + 63) / 64;
}
// Sets the bits of every record of the lists.
void addLists(const PostingStore& postings, std::span<const std::size_t> lists, std::uint64_t* bitmap);
// Copies bit `bit` of each group of the index's per-record bits.
void copyBits(const IndexData& index, std::size_t bit, std::uint64_t* bitmap);
// The number of set bits.
std::size_t countBits(const std::uint64_t* bits, std::size_t words);
// Appends the record numbers of the set bits, ascending.
void appendRecords(const std::uint64_t* bitmap, std::size_t words, std::vector<std::int32_t>& out);

// ---- the compiled letter query --------------------------------------------------------------------------------------

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

// The bit-parallel letter check keeps one bit per letter offset 0..L in 64 bits.
constexpr std::size_t kMaxFastLetters = 63;

// A compiled Letter search: for every class and letter offset o, the offsets the letters can reach after one
// character of that class read from o (bit o' set when one of its codes equals letters o..o'-1).
struct LetterProgram
{
    std::size_t length = 0;
    int minWidth = 0;
    int maxWidth = 0;
    std::vector<std::uint64_t> step; // [class * (length + 1) + o]
    std::vector<std::uint8_t> spelled; // the classes with a step
    // For each code id, the offsets at which the letters spell it.
    std::vector<std::uint64_t> codeAt;

    // The letters read as codes: a path of edges from letter offset 0 to `length` is a way to spell them, an edge
    // one character, and a window matches along a path whose width (number of edges) is allowed.
    struct Edge
    {
        unsigned from;
        unsigned to;
        std::size_t code;
    };
    std::vector<Edge> edges; // ordered by `from`
    std::array<std::uint16_t, kMaxFastLetters + 2> firstEdge {}; // the first edge from each offset (or later)
    std::vector<std::uint64_t> before; // bit t of before[o]: t edges lead from offset 0 to o
    std::vector<std::uint64_t> after; // bit t of after[o]: t edges lead from o to the end
    std::uint64_t widths = 0; // bit w: windows of w characters are allowed

    // Every allowed path as a pattern read a class at a time (Shift-And), when they fit in 64 bits: each path has a bit
    // per character, set in shiftMask[c] when class c has that character's code; a window matches where the bit of
    // a path's last character survives.
    std::array<std::uint64_t, 256> shiftMask {};
    std::uint64_t shiftStarts = 0;
    std::uint64_t shiftEnds = 0;
    bool shiftUsable = false;
    ByteSet single; // classes that are a whole match by themselves
    ByteSet first; // classes that can start a match of two or more characters
    ByteSet second; // classes that can follow them
    std::array<bool, 256> starts {}; // classes a match can start with: single and first
    bool useSingle = false;
    bool usePair = false;
    bool exact = false; // every candidate the scan's filter passes is a match

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

    // Whether some window of the classes from..to-1 matches.
    bool matchesIn(const std::uint8_t* from, const std::uint8_t* to) const
    {
        if (shiftUsable) {
            std::uint64_t state = 0;
            std::uint64_t seen = 0;
            for (; from < to; ++from) {
                state = ((state << 1) | shiftStarts) & shiftMask[*from];
                seen |= state;
            }
            return (seen & shiftEnds) != 0;
        }
        for (; from < to; ++from) {
            if (starts[*from] && matchesAt(from)) {
                return true;
            }
        }
        return false;
    }
};

// Whether t edges before and u after, with `middle` edges between, make a width in `widths` for some t in `before`
// and u in `after` (bit t of a mask: t edges).
bool fitsWidth(std::uint64_t before, std::uint64_t after, unsigned middle, std::uint64_t widths);

// False when no window can match: the query has letters outside a-z, is longer than kMaxFastLetters, or spells
// nothing at the allowed widths.
bool compileLetters(std::string_view query, LetterShape shape, LetterProgram& program);

// ---- the scan
// ---------------------------------------------------------------------------------------------------------

// A Letter search's filter over classes: positions whose class is in `single` (a one-character match), or whose class
// is in `first` while the next one is in `second` (the first two characters of a longer match). A null set takes no
// part. The filters write one bit per position, 64 positions per word, from data + pos on.
struct LetterFilter
{
    const std::uint8_t* data;
    const ByteSet* single;
    const ByteSet* first;
    const ByteSet* second;
};
void letterFilterScalar(const LetterFilter& f, std::size_t pos, std::size_t words, std::uint64_t* masks);
void letterFilterSse(const LetterFilter& f, std::size_t pos, std::size_t words, std::uint64_t* masks);
void letterFilterAvx2(const LetterFilter& f, std::size_t pos, std::size_t words, std::uint64_t* masks);

bool scanPathSupported(ScanPath path);
ScanPath resolveScanPath(ScanPath path);

// What a searcher keeps between searches so that a search allocates nothing once warm, and a Letter search compiled
// for the query of the last one, which a search for the same query uses again.
struct SearchContext
{
    ScanPath path = ScanPath::Scalar;
    SearchWalk walk = SearchWalk::Auto;
    std::string compiledQuery;
    bool compiled = false; // compiledQuery is compiled: the members below belong to it
    bool matchable = false; // some window can match
    LetterProgram program;
    int singleCode = -1; // the code a one-character match has, or -1
    bool widerAny = false; // some window of two characters or more can match
    bool widerExact = false; // a record is in the first of the sets below exactly when it has such a window
    std::vector<std::vector<std::size_t>> widerSets; // lists such windows must be in (see search_letters.cpp)
    std::vector<std::uint64_t> stretch; // the scan's positions
    std::vector<std::uint32_t> stretchStarts; // the starts of the scan's records
    std::vector<std::uint64_t> found; // records
    std::vector<std::uint64_t> scratch; // records
    std::vector<std::uint32_t> candidates;
    std::vector<std::vector<std::size_t>> sets; // of lists
    struct SetOrder
    {
        std::size_t length;
        std::size_t cost;
        std::size_t set;
    };
    std::vector<SetOrder> order;
};

// The records in every one of `sets` (a set: the union of its lists), ascending. With `complete` false it may stop
// before the last sets once the records are few next to the length of the next set, when the caller checks each
// record anyway.
void recordsInAll(const IndexData& index, std::vector<std::vector<std::size_t>>& sets, bool complete,
                  SearchContext& context, std::vector<std::uint32_t>& out);

// Every record with a matching window, by scanning all classes; appends to out.
void scanLetters(const IndexData& index, const LetterProgram& program, SearchContext& context,
                 std::vector<std::int32_t>& out);

// The two kinds of search; out is empty on entry.
void letterSearch(std::string_view query, const IndexData& index, SearchContext& context,
                  std::vector<std::int32_t>& out);
void digitSearch(std::string_view query, const IndexData& index, SearchContext& context,
                 std::vector<std::int32_t>& out);

// The digit fields of a record, encoded.
void encodeDigitFields(std::span<const std::string_view> fields, std::vector<std::uint8_t>& out);
// A Digit search's query, also as digits packed the way all-digit fields are, for the short ones.
struct DigitQuery
{
    std::string_view text;
    bool digits = false; // all bytes are digits
    bool packed = false; // digits, at most 16 of them: pattern, mask and each digit in every half-byte hold them
    std::uint64_t pattern = 0;
    std::uint64_t mask = 0;
    std::array<std::uint64_t, 16> repeated {};
    explicit DigitQuery(std::string_view query);
};
// Whether one of a record's encoded digit fields, at `from`, holds the query.
bool digitFieldsHold(const std::uint8_t* from, const DigitQuery& query);

} // namespace detail

} // namespace telvane::query
