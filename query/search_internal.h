#pragma once

// The inside of Search, shared by its source files, the tests, the benchmark and the fuzz target: the compiled letter
// query, the scan over pinyin classes, the searches of each kind and the knobs that force each way of searching. The
// index's layout is in search_index_data.h.
#include "query/scan_helper.h"
#include "query/search.h"
#include "query/search_index_data.h"

#include <array>
#include <bit>
#include <cstddef>
#include <cstdint>
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
// The query as it is searched (see search.h): a query that starts with an ASCII digit as it is; any other without its
// spaces (single-byte and ideographic), with full-width letters and digits read as ASCII and letters as lower case.
// Its kind: Empty when nothing is left, Digit when it starts with an ASCII digit, Letter otherwise.
struct NormalQuery
{
    std::string text;
    QueryKind kind = QueryKind::Empty;
};
NormalQuery normalizeQuery(std::string_view query);
QueryKind queryKind(std::string_view query);

// The instruction set the scan over pinyin classes uses. Best picks the widest one the processor has.
enum class ScanPath { Best, Scalar, Sse, Avx2, Avx512 };
// How a Letter search finds its records. Postings: from the lists of records holding each three neighbouring codes,
// checking each listed record's classes where the lists alone do not tell. Candidates, Records: by scanning the classes
// of every record, then walking the positions that pass the scan's filter candidate by candidate or record by record.
// Auto chooses by counts. A Digit search always goes by its lists. The search of characters and readings reads the
// records of the lists with Postings (the lists of codes where they hold every window, else those of the characters
// wanted) and scans all characters with Candidates and Records.
enum class SearchWalk { Auto, Postings, Candidates, Records };

// Indexes whose buffers come in chunks of 2^shift bytes and whose runs of four digits get their lists from
// `frequentFrom` records on, so that tests reach the chunks' ends and make such lists with few records.
struct IndexKnobs
{
    static SearchIndex small(unsigned shift, std::uint32_t frequentFrom);
};

// Forces a searcher's ways of searching, for tests and the benchmark; the results never depend on them.
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

// ---- the compiled letter query --------------------------------------------------------------------------------------

// A set of class ids, as a plain table and as the two nibble tables of the vector membership test: bit h of
// low[l] says whether class h*16 + l is in the set (h 0..7), bit h-8 of high[l] the same for h 8..15.
struct ByteSet
{
    alignas(32) std::array<std::uint8_t, 16> low {};
    alignas(32) std::array<std::uint8_t, 16> high {};
    std::array<bool, 256> member {};
    bool hasHigh = false; // a member of 128 or more: the vector test must look at the high table too
    bool any = false;

    void add(unsigned value)
    {
        member[value] = true;
        any = true;
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

// ---- the compiled query of characters and readings ------------------------------------------------------------------

// A Letter search read in full: the query's letters as codes (an edge from letter offset o to o' for each code that
// letters o..o'-1 spell), its digits as digits, its other characters as themselves, and, for the records only a
// reading finds, its letters as whole syllables and its last letters as the start of a syllable. A window matches
// the initials when a path of code, digit and character edges from 0 to the query's length takes one edge per
// character and has an allowed width; it matches by reading when a path also takes a syllable or a start of a
// syllable (the last edge only), or has a width outside the allowed ones.
struct GeneralProgram
{
    std::string query;
    std::size_t length = 0; // bytes; at most kMaxFastLetters
    int widthLo = 1; // windows of widthLo..widthHi characters match the initials
    int widthHi = 0;
    // Code and digit edges: for each class, the offsets reachable from each offset by one of its characters.
    std::vector<std::uint64_t> step; // [class * (length + 1) + o]
    std::array<bool, 256> stepClass {};
    // Character edges: a query character at the offsets `from`, `length` bytes long.
    struct CharEdge
    {
        std::uint16_t id;
        std::uint32_t four; // the bytes of a four-byte character
        std::uint64_t from;
        unsigned length;
    };
    std::vector<CharEdge> charEdges;
    std::array<bool, 256> charClass {}; // the class has a character of an edge
    // Readings: per syllable, the offsets where the letters spell it whole, and those from which the letters to the
    // end start it. Syllables the codes read the same way (an, e) and starts of one letter that is a consonant (the
    // code) are left out: they find nothing the codes do not.
    std::vector<std::uint64_t> syllableAt;
    std::vector<std::uint64_t> prefixAt;
    std::vector<std::uint8_t> syllableLength;
    std::array<bool, 256> readingClass {}; // the class has a character with one of those syllables
    bool readings = false;
    // What those syllables do for each character that has one, in tables small enough to stay in the cache while a
    // scan streams the records past them: from each offset in `at`, the letters it spells whole lead on by `length`
    // (edges[first .. first+count-1]); from the offsets in `prefix` it starts the letters to the end. `starts` is
    // every offset of either kind, `toEnd` those from which it reads the letters to the end; `whole` tells that it
    // reads as the whole query alone.
    struct ReadingEdge
    {
        std::uint64_t at;
        unsigned length;
    };
    struct CharReading
    {
        std::uint64_t starts = 0;
        std::uint64_t prefix = 0;
        std::uint64_t toEnd = 0;
        std::uint16_t first = 0;
        std::uint16_t count = 0;
        bool whole = false;
    };
    std::vector<ReadingEdge> readingEdges;
    std::vector<CharReading> charReadings;
    // readingSlot[class]: 1 + the class's table of 256 in readingIndex (0: no such character in the class);
    // readingIndex: 1 + the character's place in charReadings (0: none).
    std::array<std::uint8_t, 256> readingSlot {};
    std::vector<std::uint16_t> readingIndex;
    const CharReading* readingOf(unsigned cls, unsigned sub) const
    {
        const unsigned slot = readingSlot[cls];
        if (slot == 0) {
            return nullptr;
        }
        const unsigned i = readingIndex[(slot - 1) * 256 + sub];
        return i == 0 ? nullptr : &charReadings[i - 1];
    }
    std::array<bool, 256> canStart {}; // a window can start with a character of the class
    std::vector<std::uint64_t> before; // bit t of before[o]: t characters can lead from offset 0 to o
    bool pureLetters = true; // no digit or character edges
    // Letter offsets at which a run of letters ends (for each offset, the end of the run it is in; the offset itself
    // when it is no letter).
    std::vector<std::uint8_t> runEnd;

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
    // Whether syllable s, alone, reads as the whole query (or starts it all).
    bool wholeAlone(std::size_t s) const
    {
        return ((syllableAt[s] & 1u) && syllableLength[s] == length) || (prefixAt[s] & 1u);
    }
};

// Match flags: a window matches the initials, or only by reading.
inline constexpr unsigned kInitialsMatch = 1;
inline constexpr unsigned kReadingMatch = 2;

// False when the query is too long for the bit-parallel check.
bool compileGeneral(std::string_view query, GeneralProgram& program);

// The flags of the windows that start at `at` (the class and sub of its first character; `address` its address in
// the index). Stops once it has a match of the initials or all of `want`.
unsigned matchAt(const GeneralProgram& program, const IndexData& index, std::size_t address, const std::uint8_t* cls,
                 const std::uint8_t* sub, unsigned want);
// The same over characters held elsewhere: fours[t] is the four-byte character at cls + t, when it is one.
unsigned matchAt(const GeneralProgram& program, const std::uint32_t* fours, const std::uint8_t* cls,
                 const std::uint8_t* sub, unsigned want);

// ---- the scan -------------------------------------------------------------------------------------------------------

// A set of characters as the scan tests it: the class in `classes` and the sub in `subs` (any sub when allSubs).
struct CharSet
{
    ByteSet classes;
    ByteSet subs;
    bool allSubs = true;
    bool empty = true;
    // The members when there are few, which are then compared one by one.
    std::array<std::uint8_t, 4> classList {};
    std::size_t classCount = 0;
    std::array<std::uint8_t, 4> subList {};
    std::size_t subCount = 0;
};
// Positions of the character buffers with a character of the set; with `neighbours`, only those whose class is in
// `starts` while the next one is in `next`, or in `follows` while the one before is in `before` and, unless
// `thenAny`, the next one in `then` (a test the AVX2 filter leaves to the caller).
struct HitFilter : CharSet
{
    bool neighbours = false;
    ByteSet starts;
    ByteSet next;
    ByteSet follows;
    ByteSet before;
    ByteSet then;
    bool thenAny = true;
};
// For `words` words of 64 positions from cls/sub, the first `bytes` of them counted: the places of the positions
// that pass, each with the number of class-0 positions before it from cls on (`zeros` before the first word), in
// `places` and `below`; returns how many, and adds the words' class-0 positions to `zeros`.
std::size_t hitFilterScalar(const HitFilter& f, const std::uint8_t* cls, const std::uint8_t* sub, std::size_t words,
                            std::size_t bytes, std::size_t& zeros, std::uint32_t* places, std::uint32_t* below);
std::size_t hitFilterAvx2(const HitFilter& f, const std::uint8_t* cls, const std::uint8_t* sub, std::size_t words,
                          std::size_t bytes, std::size_t& zeros, std::uint32_t* places, std::uint32_t* below);
// The filter as a table of flags per class and per sub, which AVX-512 looks 64 bytes up in at once: every set of the
// filter is one bit of a class's flags.
struct HitTables
{
    static constexpr std::uint8_t kClass = 1;
    static constexpr std::uint8_t kStarts = 2;
    static constexpr std::uint8_t kNext = 4;
    static constexpr std::uint8_t kFollows = 8;
    static constexpr std::uint8_t kBefore = 16;
    static constexpr std::uint8_t kThen = 32;
    alignas(64) std::array<std::uint8_t, 256> classFlags {};
    alignas(64) std::array<std::uint8_t, 256> subFlags {}; // 1 for a sub of the set
};
void makeHitTables(const HitFilter& f, HitTables& tables);
std::size_t hitFilterAvx512(const HitFilter& f, const HitTables& tables, const std::uint8_t* cls,
                            const std::uint8_t* sub, std::size_t words, std::size_t bytes, std::size_t& zeros,
                            std::uint32_t* places, std::uint32_t* below);

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
    LetterShape compiledShape;
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
    // The general search's compiled query and its scratch.
    std::string generalQuery;
    bool generalCompiled = false;
    bool generalOk = false;
    GeneralProgram general;
    std::vector<std::uint64_t> initialsFound; // records
    std::vector<std::uint64_t> readingFound; // records
    std::vector<std::uint64_t> lists; // a bit per posting list
    std::vector<std::uint64_t> allLists; // a bit per posting list
    std::vector<std::uint64_t> wanted; // a bit per character id
    std::vector<std::uint8_t> roles; // per character id, zero but during a search
    std::vector<std::uint16_t> marked; // the ids with a role
    std::vector<std::size_t> charLists; // lists of characters
    std::vector<std::uint32_t> hitPlaces;
    std::vector<std::uint32_t> hitZeros;
    std::vector<std::uint32_t> hitPlaces2; // the same for the second scanner of a scan
    std::vector<std::uint32_t> hitZeros2;
    std::unique_ptr<ScanHelper> helper; // made at the first long scan
};

// The records in every one of `sets` (a set: the union of its lists), ascending. With `complete` false it may stop
// before the last sets once the records are few next to the length of the next set, when the caller checks each
// record anyway.
void recordsInAll(const IndexData& index, const std::vector<std::vector<std::size_t>>& sets, bool complete,
                  SearchContext& context, std::vector<std::uint32_t>& out);

// Every record with a matching window, by scanning all classes; appends to out.
void scanLetters(const IndexData& index, const LetterProgram& program, SearchContext& context,
                 std::vector<std::int32_t>& out);

// The whole Letter search of a normalized query, both parts, the initials first (`initials` of them); out is empty on
// entry.
void fullLetterSearch(std::string_view query, const IndexData& index, SearchContext& context,
                      std::vector<std::int32_t>& out, std::size_t& initials);

// The two kinds of search; out is empty on entry. letterSearch finds the initials only, of a query of letters.
void letterSearch(std::string_view query, const IndexData& index, SearchContext& context,
                  std::vector<std::int32_t>& out);
// The same at the widths of `shape` rather than those of the query's letters.
void letterSearch(std::string_view query, LetterShape shape, const IndexData& index, SearchContext& context,
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
