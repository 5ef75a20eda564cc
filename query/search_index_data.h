#pragma once

// The layout of the search index: the codes and byte classes it lists, the buffers of the records' pinyin classes
// and digit fields, where each record begins in them, and the index itself.
#include "query/pinyin.h"
#include "query/search_postings.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <emmintrin.h>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace telvane::query::detail {

// Zero bytes kept after the last character class: the vector scan reads at most 64 + 33 bytes past a position it
// tests; and before the first, where the scan reads the class before a position.
constexpr std::size_t kPad = 256;
constexpr std::size_t kFrontPad = 64;

// ---- characters ---------------------------------------------------------------------------------------------------

// How many bytes the character at text[i] takes: a GB18030 four-byte character (a lead byte 81..FE, a digit, a lead
// byte, a digit) takes four, a GBK double-byte character (a lead byte 81..FE and a trail byte 40..7E or 80..FE) two,
// any other byte one (ASCII, and stray bytes that start no character). Windows start at each character.
inline std::size_t charLength(std::string_view text, std::size_t i)
{
    const auto at = [&](std::size_t k) { return static_cast<unsigned char>(text[k]); };
    const unsigned lead = at(i);
    if (lead < 0x81 || lead == 0xFF || i + 1 >= text.size()) {
        return 1;
    }
    const unsigned second = at(i + 1);
    if (second >= 0x30 && second <= 0x39) {
        return i + 3 < text.size() && at(i + 2) >= 0x81 && at(i + 2) <= 0xFE && at(i + 3) >= 0x30 && at(i + 3) <= 0x39
                   ? 4
                   : 1;
    }
    return second >= 0x40 && second <= 0xFE && second != 0x7F ? 2 : 1;
}

// Every character of a letter field has a class and a number within its class (its sub), each a byte, and the two
// together name the character: its id, class * 256 + sub. A class is a set of characters that have the same pinyin
// codes, so that the classes alone answer a search by codes; the characters of a code set that does not fit one
// class are split among several by their usual syllable, so that characters of one syllable mostly share a class.
// Class 0 is no character (the end of a field). Single-byte letters have the code of their letter, like full-width
// ones; the half- and full-width forms of each digit make a class of their own; other single bytes share a class,
// their sub being the byte; four-byte characters share a class whose sub says nothing (the index keeps their bytes
// on the side).
struct CharTable
{
    static constexpr std::uint16_t kNoText = 0xFFFF;

    std::array<std::uint16_t, 65536> ofPair {}; // the id of each GBK double-byte code (lead * 256 + trail)
    std::array<std::uint16_t, 256> ofByte {}; // the id of each single byte
    std::uint8_t fourClass = 0;
    int classCount = 0; // class 0 included
    std::array<std::uint8_t, 256> digitOfClass {}; // 0-9 for a digit's class, 0xFF otherwise
    // The text of each id: the double-byte code (0x8140 and above), the single byte (below 0x100), or kNoText.
    std::array<std::uint16_t, 65536> text {};
    // The ids of the characters that have each syllable (among their readings).
    std::vector<std::vector<std::uint16_t>> charsOfSyllable;
    // The classes holding a character with each syllable.
    std::vector<std::vector<std::uint8_t>> classesOfSyllable;
    std::array<std::uint16_t, 256> classSize {}; // characters in each class

    CharTable();
    // The syllable numbers of a character (none but for double-byte characters with readings).
    std::span<const std::uint16_t> syllables(std::uint16_t id) const
    {
        const std::uint16_t t = text[id];
        return t >= 0x8140 && t != kNoText
                   ? pinyinSyllableIds(static_cast<unsigned char>(t >> 8), static_cast<unsigned char>(t & 0xFF))
                   : std::span<const std::uint16_t>();
    }
    // The id of the character of `length` bytes at `c`.
    std::uint16_t idOf(const char* c, std::size_t length) const
    {
        if (length == 1) {
            return ofByte[static_cast<unsigned char>(*c)];
        }
        if (length == 2) {
            return ofPair[static_cast<unsigned char>(c[0]) * 256u + static_cast<unsigned char>(c[1])];
        }
        return static_cast<std::uint16_t>(fourClass << 8);
    }
};
const CharTable& charTable();

// ---- codes ----------------------------------------------------------------------------------------------------------

// Every distinct pinyin code gets an id; a class (a set of codes) lists the ids of its codes.
struct CodeTable
{
    std::vector<std::string_view> codes; // id -> code
    std::array<std::array<std::uint8_t, 4>, 256> idsOfClass {};
    std::array<std::uint8_t, 256> idCount {};
    std::vector<std::vector<std::uint8_t>> classesOfCode; // id -> the classes having it
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

// ---- buffers of records ---------------------------------------------------------------------------------------------

// The bytes of the records, one after another, in chunks of 256 KB that are never moved: adding a record never copies
// the others, and at most one chunk is partly empty. A record never spans two chunks; the end of a chunk too short
// for the next record is left zero and counted into the record before it. Every chunk is followed by kPad zero bytes
// (and preceded by kFrontPad),
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
    // The chunks as they were allocated (a record longer than a chunk gets one of its own), for reading them through:
    // chunk i starts at address chunkAddress(i) and holds chunkBytes(i) bytes, the last one up to size().
    std::size_t chunkCount() const { return m_chunks.size(); }
    std::size_t chunkAddress(std::size_t i) const { return m_chunkSlot[i] << m_shift; }
    std::size_t chunkBytes(std::size_t i) const { return m_chunkBytes[i]; }
    const std::uint8_t* chunkData(std::size_t i) const { return m_chunks[i].get() + kFrontPad; }

private:
    std::vector<std::unique_ptr<std::uint8_t[]>> m_chunks;
    std::vector<std::size_t> m_chunkBytes; // the size of each chunk, its padding excluded
    std::vector<std::size_t> m_chunkSlot; // the first chunk number of each chunk
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

    // Letters: per record, the class of each character of each letter field, each field followed by class 0, so no
    // window runs across fields and every record holds exactly three zeros; and at the same addresses in `subs`, each
    // character's number within its class (see CharTable).
    ChunkedBytes classes;
    ChunkedBytes subs;
    RecordOffsets letterOffsets;
    // The first record (0-based) of each chunk of `classes`: with the zeros before a position in its chunk, the
    // record of any position.
    std::vector<std::uint32_t> chunkRecords;
    // The address and the four bytes of each four-byte character, ascending.
    std::vector<std::pair<std::uint64_t, std::uint32_t>> fours;
    // How often each character id occurs in the letter fields.
    std::vector<std::uint32_t> charCount;
    // Digits: per record, the digit fields that are not empty, packed two digits to a byte when all are digits (see
    // search_digits.cpp).
    ChunkedBytes digitText;
    RecordOffsets digitOffsets;
    std::vector<std::uint8_t> scratch; // a record's digit fields while they are encoded
    std::vector<std::uint16_t> ids; // a record's characters while they are added
    std::vector<std::uint32_t> keys; // the lists a record goes into
    // One bit per record for each code (a character with it in a letter field) and each digit (in a digit field):
    // per group of 64 records, codeCount + 10 words.
    std::vector<std::uint64_t> bits;
    // Lists: per three codes, the records with three neighbouring characters having them (or two, the second being
    // the last with a code); per digit key, the records holding it (see byteClass); per common run of four digits,
    // the records holding it; per character, the records holding it.
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
    // The list of the records holding the character with this id in a letter field.
    std::size_t charList(std::uint16_t id) const { return runList(kRuns) + id; }
    std::size_t listCount() const { return charList(0) + 65536; }

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

// Sets the bits of every record of the lists.
void addLists(const PostingStore& postings, std::span<const std::size_t> lists, std::uint64_t* bitmap);
// Copies bit `bit` of each group of the index's per-record bits.
void copyBits(const IndexData& index, std::size_t bit, std::uint64_t* bitmap);
// The number of set bits.
std::size_t countBits(const std::uint64_t* bits, std::size_t words);
// Appends the record numbers of the set bits, ascending.
void appendRecords(const std::uint64_t* bitmap, std::size_t words, std::vector<std::int32_t>& out);

} // namespace telvane::query::detail
