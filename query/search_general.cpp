// The Letter search in full: the initials (the codes, digits and characters of the query, windows of the allowed
// widths), then the records only a reading finds (whole syllables, the start of the last one, or other widths).
//
// A query of letters only finds its initials from the lists and the scan of search_letters.cpp, and the windows the
// codes spell at widths the initials do not take the same way. A character that reads as the whole query alone
// finds every record holding it, from the character's list. Windows of two characters or more that take a reading
// come from the lists of records holding their first three characters' codes, whose records are then read
// character by character, when those hold few records; else from the lists of the characters that start such a
// window by a reading (or follow a code at its start) when those occur seldom; else from a scan of all characters
// for those, keeping only the places whose neighbours can go on with them. The windows that start with a code still
// come from the lists when those are few.
//
// A query with a digit or another character: every window that matches takes it. The lists of the windows' codes
// are read when they hold few records; otherwise the windows around each place where the rarest of those characters
// occurs, found from its list when it occurs seldom and by a scan otherwise.
//
// A scan of a large index is shared by two threads.
#include "query/pinyin.h"
#include "query/search_internal.h"

#include <algorithm>
#include <atomic>
#include <functional>
#include <memory>

namespace telvane::query::detail {

namespace {

// Reading the records of the lists beats scanning all characters while they are at most this share of the records
// (SearchWalk::Postings reads the lists whenever they hold every window, Candidates and Records scan).
constexpr std::size_t kListShare = 64;
// Reading the records that hold some characters beats finding those characters among all while they occur at most
// this share of the records' count.
constexpr std::size_t kCharShare = 64;
// A scan of this many chunks of characters (8 MB) is shared with a second thread.
constexpr std::size_t kParallelChunks = 32;

bool hasFourAt(const IndexData& index, std::size_t address, std::uint32_t bytes)
{
    const auto it =
        std::lower_bound(index.fours.begin(), index.fours.end(), std::pair<std::uint64_t, std::uint32_t> {address, 0});
    return it != index.fours.end() && it->first == address && it->second == bytes;
}

void setBit(std::vector<std::uint64_t>& bits, std::size_t i)
{
    bits[i >> 6] |= std::uint64_t {1} << (i & 63);
}

bool testBit(const std::vector<std::uint64_t>& bits, std::size_t i)
{
    return bits[i >> 6] >> (i & 63) & 1u;
}

// The same for the record bitmaps that both threads of a scan write to (their records may share a word).
void setShared(std::vector<std::uint64_t>& bits, std::size_t i)
{
    std::atomic_ref(bits[i >> 6]).fetch_or(std::uint64_t {1} << (i & 63), std::memory_order_relaxed);
}

bool testShared(std::vector<std::uint64_t>& bits, std::size_t i)
{
    return std::atomic_ref(bits[i >> 6]).load(std::memory_order_relaxed) >> (i & 63) & 1u;
}

} // namespace

namespace {

// The windows from cls/sub on; fourIs(t, bytes) says whether the t-th character (from 0) is the four-byte character
// `bytes`.
template<class FourIs>
unsigned readWindows(const GeneralProgram& g, const std::uint8_t* cls, const std::uint8_t* sub, unsigned want,
                     FourIs&& fourIs)
{
    const CharTable& chars = charTable();
    const std::uint64_t end = std::uint64_t {1} << g.length;
    std::uint64_t r0 = 1; // offsets reached by codes, digits and characters alone
    std::uint64_t r1 = 0; // offsets reached with a reading on the way
    unsigned found = 0;
    for (int t = 1;; ++t) {
        const unsigned c = cls[t - 1];
        if (c == 0) {
            break;
        }
        std::uint64_t n0 = 0;
        std::uint64_t n1 = 0;
        if (g.stepClass[c]) {
            n0 = g.advance(c, r0);
            n1 = g.advance(c, r1);
        }
        if (g.charClass[c]) {
            const auto id = static_cast<std::uint16_t>(c << 8 | sub[t - 1]);
            for (const auto& e : g.charEdges) {
                if (e.id == id && (c != chars.fourClass || fourIs(static_cast<std::size_t>(t - 1), e.four))) {
                    n0 |= (r0 & e.from) << e.length;
                    n1 |= (r1 & e.from) << e.length;
                }
            }
        }
        if (g.readingClass[c]) {
            if (const auto* reading = g.readingOf(c, sub[t - 1])) {
                const std::uint64_t any = r0 | r1;
                for (std::size_t k = reading->first; k < reading->first + reading->count; ++k) {
                    n1 |= (any & g.readingEdges[k].at) << g.readingEdges[k].length;
                }
                found |= (any & reading->prefix) ? kReadingMatch : 0;
            }
        }
        if (n0 & end) {
            found |= t >= g.widthLo && t <= g.widthHi ? kInitialsMatch : kReadingMatch;
        }
        if (n1 & end) {
            found |= kReadingMatch;
        }
        r0 = n0 & ~end;
        r1 = n1 & ~end;
        if ((found & kInitialsMatch) || (found & want) == want || !(r0 | r1)) {
            break;
        }
    }
    return found;
}

} // namespace

unsigned matchAt(const GeneralProgram& g, const IndexData& index, std::size_t address, const std::uint8_t* cls,
                 const std::uint8_t* sub, unsigned want)
{
    return readWindows(g, cls, sub, want,
                       [&](std::size_t t, std::uint32_t bytes) { return hasFourAt(index, address + t, bytes); });
}

unsigned matchAt(const GeneralProgram& g, const std::uint32_t* fours, const std::uint8_t* cls, const std::uint8_t* sub,
                 unsigned want)
{
    return readWindows(g, cls, sub, want, [&](std::size_t t, std::uint32_t bytes) { return fours[t] == bytes; });
}

namespace {

// Calls f(address, cls, sub, record, inChunk) for every position that passes the filter, in address order; `record` is
// 0-based, `inChunk` the position's place in its chunk (no window reaches before the chunk). A position's record is the
// chunk's first record plus a third of the zeros before it in the chunk (each record ends each of its three letter
// fields with one).
template<class F>
void forEachHit(const IndexData& index, const HitFilter& filter, SearchContext& context, F&& f)
{
    constexpr std::size_t kBlockWords = 64;
    const ScanPath path = context.path;
    HitTables tables;
    if (path == ScanPath::Avx512) {
        makeHitTables(filter, tables);
    }
    const auto hits = [&](const std::uint8_t* cls, const std::uint8_t* sub, std::size_t words, std::size_t bytes,
                          std::size_t& zeros, std::uint32_t* places, std::uint32_t* below) {
        switch (path) {
            case ScanPath::Avx512:
                return hitFilterAvx512(filter, tables, cls, sub, words, bytes, zeros, places, below);
            case ScanPath::Avx2:
                return hitFilterAvx2(filter, cls, sub, words, bytes, zeros, places, below);
            default:
                return hitFilterScalar(filter, cls, sub, words, bytes, zeros, places, below);
        }
    };
    const std::size_t chunks = index.classes.chunkCount();
    // One chunk, with the buffers for the places found.
    const auto scanChunk = [&](std::size_t chunk, std::vector<std::uint32_t>& places,
                               std::vector<std::uint32_t>& below) {
        const std::size_t base = index.classes.chunkAddress(chunk);
        if (base >= index.classes.size()) {
            return;
        }
        const std::size_t bytes = std::min(index.classes.chunkBytes(chunk), index.classes.size() - base);
        const std::uint8_t* cls = index.classes.chunkData(chunk);
        const std::uint8_t* sub = index.subs.chunkData(chunk);
        const std::size_t first = index.chunkRecords[chunk];
        std::size_t zeros = 0;
        const std::size_t words = (bytes + 63) / 64;
        for (std::size_t w0 = 0; w0 < words; w0 += kBlockWords) {
            const std::size_t n = std::min(kBlockWords, words - w0);
            const std::size_t at = w0 * 64;
            const std::size_t found = hits(cls + at, sub + at, n, bytes - at, zeros, places.data(), below.data());
            for (std::size_t i = 0; i < found; ++i) {
                const std::size_t pos = at + places[i];
                f(base + pos, cls + pos, sub + pos, first + below[i] / 3, pos);
            }
        }
    };
    // Each scanner claims a chunk at a time, this thread from the first chunk on and the second from the last one
    // back, so that neither waits for the other: the second thread starts a while later, and the chunks differ in
    // how much they find. Each still reads runs of neighbouring chunks.
    std::atomic<std::size_t> claimed {0};
    const auto scan = [&](bool fromFront, std::vector<std::uint32_t>& places, std::vector<std::uint32_t>& below) {
        places.resize(kBlockWords * 64);
        below.resize(kBlockWords * 64);
        for (std::size_t mine = 0; claimed.fetch_add(1, std::memory_order_relaxed) < chunks; ++mine) {
            scanChunk(fromFront ? mine : chunks - 1 - mine, places, below);
        }
    };
    // A long scan by two threads at once: both only read the index, and f marks the records it finds in bitmaps
    // shared by both (setShared). A record never spans two chunks.
    if (chunks >= kParallelChunks) {
        if (!context.helper) {
            context.helper = std::make_unique<ScanHelper>();
        }
        const std::function<void()> second = [&] { scan(false, context.hitPlaces2, context.hitZeros2); };
        // Without a thread to be had, this one scans it all. The helper is waited for however this scan ends.
        struct Waited
        {
            ScanHelper* helper;
            ~Waited()
            {
                if (helper != nullptr) {
                    helper->finish();
                }
            }
        } waited {context.helper->start(second) ? context.helper.get() : nullptr};
        scan(true, context.hitPlaces, context.hitZeros);
    } else {
        scan(true, context.hitPlaces, context.hitZeros);
    }
}

// The set of the characters of `ids` (a bit per id): their classes, and their subs unless whole classes are wanted.
void charSetOf(const std::vector<std::uint64_t>& ids, CharSet& set)
{
    const CharTable& chars = charTable();
    set = {};
    std::array<std::uint16_t, 256> inClass {};
    for (std::size_t w = 0; w < ids.size(); ++w) {
        for (std::uint64_t m = ids[w]; m; m &= m - 1) {
            const std::size_t id = w * 64 + static_cast<std::size_t>(std::countr_zero(m));
            ++inClass[id >> 8];
            set.subs.add(static_cast<unsigned>(id & 0xFF));
            set.empty = false;
        }
    }
    for (std::size_t c = 1; c < 256; ++c) {
        if (inClass[c] != 0) {
            set.classes.add(static_cast<unsigned>(c));
            set.allSubs = set.allSubs && inClass[c] == chars.classSize[c];
            if (set.classCount < set.classList.size()) {
                set.classList[set.classCount] = static_cast<std::uint8_t>(c);
            }
            ++set.classCount;
        }
    }
    for (unsigned sub = 0; sub < 256; ++sub) {
        if (set.subs.member[sub]) {
            if (set.subCount < set.subList.size()) {
                set.subList[set.subCount] = static_cast<std::uint8_t>(sub);
            }
            ++set.subCount;
        }
    }
}

// Calls f(record, address, length, cls, sub) for every record of `records` (ascending, numbered from `first`; `record`
// 0-based) with the address, count, classes and subs of its characters, which are fetched ahead; where a record
// starts is itself far in memory, and is fetched twice as far ahead.
template<class F>
void forEachLetterRecord(const IndexData& index, std::span<const std::uint32_t> records, std::uint32_t first, F&& f)
{
    const RecordOffsets& offsets = index.letterOffsets;
    constexpr std::size_t kAhead = 8;
    for (std::size_t i = 0; i < records.size(); ++i) {
        if (i + 2 * kAhead < records.size()) {
            offsets.prefetch(records[i + 2 * kAhead] - first);
        }
        if (i + kAhead < records.size()) {
            const std::size_t ahead = offsets.start(records[i + kAhead] - first);
            __builtin_prefetch(index.classes.at(ahead));
            __builtin_prefetch(index.subs.at(ahead));
        }
        const std::size_t r = records[i] - first;
        const std::size_t start = offsets.start(r);
        f(r, start, offsets.length(r), index.classes.at(start), index.subs.at(start));
    }
}

// Reads every record of `records` (ascending, 1-based) character by character for the flags in `want`, except those
// already found with the initials; sets their bits.
void readRecords(const GeneralProgram& g, const IndexData& index, std::span<const std::uint32_t> records, unsigned want,
                 SearchContext& context)
{
    forEachLetterRecord(
        index, records, 1,
        [&](std::size_t r, std::size_t start, std::size_t length, const std::uint8_t* cls, const std::uint8_t* sub) {
            if (testBit(context.initialsFound, r)) {
                return;
            }
            unsigned found = 0;
            for (std::size_t p = 0; p < length && (found & want) != want && !(found & kInitialsMatch); ++p) {
                if (g.canStart[cls[p]]) {
                    found |= matchAt(g, index, start + p, cls + p, sub + p, want);
                }
            }
            if (found & kInitialsMatch) {
                setBit(context.initialsFound, r);
            } else if (found & kReadingMatch) {
                setBit(context.readingFound, r);
            }
        });
}

// The records of the lists not found yet, ascending, numbered from `first` (0 or 1), into context.candidates.
void unfoundRecords(const IndexData& index, std::span<const std::size_t> lists, std::uint32_t first,
                    SearchContext& context)
{
    const std::size_t words = bitmapWords(index.records);
    auto& scratch = context.scratch;
    scratch.assign(words, 0);
    addLists(index.postings, lists, scratch.data());
    auto& candidates = context.candidates;
    candidates.clear();
    for (std::size_t w = 0; w < words; ++w) {
        for (std::uint64_t m = scratch[w] & ~(context.readingFound[w] | context.initialsFound[w]); m; m &= m - 1) {
            candidates.push_back(static_cast<std::uint32_t>(w * 64 + static_cast<std::size_t>(std::countr_zero(m)))
                                 + first);
        }
    }
}

// Calls f(address, cls, sub, record, place) as forEachHit does for every place of a class in `classes` of every record
// of the lists not found yet (`record` 0-based, `place` within the record), with the records' characters fetched
// ahead.
template<class F>
void forEachListedPlace(const IndexData& index, std::span<const std::size_t> lists,
                        const std::array<bool, 256>& classes, SearchContext& context, F&& f)
{
    unfoundRecords(index, lists, 0, context);
    forEachLetterRecord(index, context.candidates, 0,
                        [&](std::size_t record, std::size_t start, std::size_t length, const std::uint8_t* cls,
                            const std::uint8_t* sub) {
                            for (std::size_t p = 0; p < length; ++p) {
                                if (classes[cls[p]]) {
                                    f(start + p, cls + p, sub + p, record, p);
                                }
                            }
                        });
}

// ---- windows as paths over the query's letters, and the lists that hold them ----------------------------------------

// The windows that take a reading (or any, with `anyPart`), as paths over states (query offset, characters read,
// reading taken): an edge per code, digit, character, whole syllable or start of a syllable at the end.
struct ReadingPaths
{
    const GeneralProgram& g;
    std::size_t length;
    // Edges from each offset: to, reading taken, the codes its character has (a bit per code id).
    struct Edge
    {
        unsigned to;
        bool reading;
        std::uint64_t codes;
    };
    std::vector<std::vector<Edge>> edges;
    // bit t of back[r][o]: from offset o with t characters read (and a reading taken when r), the end can be reached
    // with a reading taken (or, with `anyPart`, reached at all).
    std::array<std::vector<std::uint64_t>, 2> back;
    // Every edge's character has a code, so that the lists of codes hold every window.
    bool projectable = true;

    explicit ReadingPaths(const GeneralProgram& program, bool anyPart = false)
        : g(program)
        , length(program.length)
        , edges(program.length + 1)
    {
        const CodeTable& codes = codeTable();
        const std::string_view q = g.query;
        for (const auto& e : g.charEdges) {
            std::uint64_t codeBits = 0;
            const auto cls = static_cast<std::size_t>(e.id >> 8);
            for (std::size_t i = 0; i < codes.idCount[cls]; ++i) {
                codeBits |= std::uint64_t {1} << codes.idsOfClass[cls][i];
            }
            projectable = projectable && codeBits != 0;
            for (std::uint64_t m = e.from; m; m &= m - 1) {
                const auto o = static_cast<std::size_t>(std::countr_zero(m));
                edges[o].push_back({static_cast<unsigned>(o + e.length), false, codeBits});
            }
        }
        for (std::size_t o = 0; o < length; ++o) {
            const std::size_t end = g.runEnd[o];
            if (end <= o) {
                // No letter: a digit or another character (its first byte), or a byte within a character.
                if (end == o && q[o] >= '0' && q[o] <= '9') {
                    // A digit: in no list.
                    projectable = false;
                    edges[o].push_back({static_cast<unsigned>(o + 1), false, 0});
                }
                continue;
            }
            const auto letter = static_cast<std::size_t>(q[o] - 'a');
            for (std::size_t i = 0; i < codes.byFirstLetterCount[letter]; ++i) {
                const std::size_t id = codes.byFirstLetter[letter][i];
                const std::string_view code = codes.codes[id];
                if (o + code.size() <= end && q.substr(o, code.size()) == code) {
                    edges[o].push_back({static_cast<unsigned>(o + code.size()), false, std::uint64_t {1} << id});
                }
            }
        }
        for (std::size_t s = 0; s < g.syllableAt.size(); ++s) {
            if (!(g.syllableAt[s] | g.prefixAt[s])) {
                continue;
            }
            const std::string_view syllable = pinyinSyllable(static_cast<int>(s));
            const bool vowel = syllable[0] == 'a' || syllable[0] == 'e' || syllable[0] == 'o';
            const int code = codes.idOf(vowel ? syllable : syllable.substr(0, 1));
            const std::uint64_t codeBit = code < 0 ? 0 : std::uint64_t {1} << code;
            for (std::uint64_t m = g.syllableAt[s]; m; m &= m - 1) {
                const auto o = static_cast<std::size_t>(std::countr_zero(m));
                addReading(o, static_cast<unsigned>(o + syllable.size()), codeBit);
            }
            for (std::uint64_t m = g.prefixAt[s]; m; m &= m - 1) {
                addReading(static_cast<std::size_t>(std::countr_zero(m)), static_cast<unsigned>(length), codeBit);
            }
        }
        back[0].assign(length + 1, 0);
        back[1].assign(length + 1, 0);
        back[1][length] = ~std::uint64_t {1};
        back[0][length] = anyPart ? ~std::uint64_t {1} : 0;

        for (std::size_t o = length; o-- > 0;) {
            for (const Edge& e : edges[o]) {
                for (std::size_t r = 0; r < 2; ++r) {
                    back[r][o] |= back[r != 0 || e.reading][e.to] >> 1;
                }
            }
        }
    }

    void addReading(std::size_t from, unsigned to, std::uint64_t codeBit)
    {
        for (Edge& e : edges[from]) {
            if (e.to == to && e.reading) {
                e.codes |= codeBit;
                return;
            }
        }
        edges[from].push_back({to, true, codeBit});
    }

    bool any() const { return back[0][0] & 1u; }
    // Whether, at offset o with t characters read, the end can be reached with a reading taken.
    bool goesOn(unsigned o, int t, bool r) const { return back[r][o] >> t & 1u; }
};

// The lists a window of two characters or more that takes a reading is in: the codes of its first three
// characters, or of its two and anything after them: of all such windows, of those whose first character is read by
// a code, or of those whose first two are.
enum class Windows { All, CodeFirst, CodesFirst };
void windowLists(const ReadingPaths& paths, const IndexData& index, Windows which, std::vector<std::uint64_t>& lists)
{
    lists.assign((index.listCount() + 63) / 64, 0);
    const auto mark = [&](std::uint64_t a, std::uint64_t b, std::uint64_t c, bool any) {
        for (; a; a &= a - 1) {
            const auto first = static_cast<std::size_t>(std::countr_zero(a));
            for (std::uint64_t bb = b; bb; bb &= bb - 1) {
                const auto second = static_cast<std::size_t>(std::countr_zero(bb));
                for (std::size_t third = 0; third <= index.codeCount; ++third) {
                    if (any || (third < 64 && (c >> third & 1u))) {
                        setBit(lists, index.tripleList(first, second, third));
                    }
                }
            }
        }
    };
    for (const auto& e1 : paths.edges[0]) {
        if ((which != Windows::All && e1.reading) || !paths.goesOn(e1.to, 1, e1.reading)) {
            continue;
        }
        for (const auto& e2 : paths.edges[e1.to]) {
            const bool r2 = e1.reading || e2.reading;
            if ((which == Windows::CodesFirst && e2.reading) || !paths.goesOn(e2.to, 2, r2)) {
                continue;
            }
            if (e2.to == paths.length) {
                mark(e1.codes, e2.codes, 0, true);
                continue;
            }
            std::uint64_t third = 0;
            for (const auto& e3 : paths.edges[e2.to]) {
                if (paths.goesOn(e3.to, 3, r2 || e3.reading)) {
                    third |= e3.codes;
                }
            }
            mark(e1.codes, e2.codes, third, false);
        }
    }
}

// Reads the records of the marked lists that are not found yet.
void readListed(const GeneralProgram& g, const IndexData& index, const std::vector<std::uint64_t>& lists, unsigned want,
                SearchContext& context)
{
    std::vector<std::size_t> chosen;
    for (std::size_t w = 0; w < lists.size(); ++w) {
        for (std::uint64_t m = lists[w]; m; m &= m - 1) {
            const std::size_t list = w * 64 + static_cast<std::size_t>(std::countr_zero(m));
            if (index.postings.count(list) != 0) {
                chosen.push_back(list);
            }
        }
    }
    if (chosen.empty()) {
        return;
    }
    unfoundRecords(index, chosen, 1, context);
    readRecords(g, index, context.candidates, want, context);
}

// The number of records in the marked lists, counted with repeats.
std::size_t listedRecords(const IndexData& index, const std::vector<std::uint64_t>& lists)
{
    std::size_t sum = 0;
    for (std::size_t w = 0; w < lists.size(); ++w) {
        for (std::uint64_t m = lists[w]; m; m &= m - 1) {
            sum += index.postings.count(w * 64 + static_cast<std::size_t>(std::countr_zero(m)));
        }
    }
    return sum;
}

// ---- a query with digits or other characters ------------------------------------------------------------------------

void anchoredSearch(const GeneralProgram& g, const IndexData& index, SearchContext& context)
{
    const CharTable& chars = charTable();
    // The anchor: the digit or character whose characters occur least. Every window that matches takes it, at one
    // of the character counts that can lead to its offset.
    std::size_t anchorOffset = 0;
    std::uint64_t best = ~std::uint64_t {0};
    auto& wanted = context.wanted;
    std::vector<std::uint16_t> anchorIds;
    const auto consider = [&](std::size_t offset, std::vector<std::uint16_t> ids) {
        std::uint64_t count = 0;
        for (const std::uint16_t id : ids) {
            count += index.charCount[id];
        }
        if (count < best) {
            best = count;
            anchorOffset = offset;
            anchorIds = std::move(ids);
        }
    };
    for (std::size_t o = 0; o < g.length; ++o) {
        const auto c = static_cast<unsigned char>(g.query[o]);
        if (g.runEnd[o] == o && c >= '0' && c <= '9') {
            const std::uint16_t id = chars.ofByte[c];
            consider(o, {id, static_cast<std::uint16_t>(id + 1)});
        }
    }
    for (const auto& e : g.charEdges) {
        consider(static_cast<std::size_t>(std::countr_zero(e.from)), {e.id});
    }
    if (best == 0) {
        return;
    }
    // Windows of two characters or more with codes: from the lists of their first characters' codes, when those
    // hold few records.
    const ReadingPaths paths(g, true);
    const bool alone =
        std::any_of(paths.edges[0].begin(), paths.edges[0].end(), [&](const auto& e) { return e.to == g.length; });
    if (paths.projectable && !alone && context.walk != SearchWalk::Candidates && context.walk != SearchWalk::Records) {
        auto& lists = context.lists;
        windowLists(paths, index, Windows::All, lists);
        if (context.walk == SearchWalk::Postings || listedRecords(index, lists) * kListShare <= index.records) {
            readListed(g, index, lists, kInitialsMatch | kReadingMatch, context);
            return;
        }
    }
    const std::uint64_t counts = g.before[anchorOffset];
    // A place of the anchor: the windows that take it there.
    const auto visit = [&](std::size_t address, const std::uint8_t* cls, const std::uint8_t* sub, std::size_t record,
                           std::size_t inChunk) {
        if (testShared(context.initialsFound, record)) {
            return;
        }
        unsigned found = 0;
        for (std::uint64_t m = counts; m && !(found & kInitialsMatch); m &= m - 1) {
            const auto t = static_cast<std::size_t>(std::countr_zero(m));
            // The window starts t characters back, within the field.
            bool inField = t <= inChunk;
            for (std::size_t back = 1; back <= t && inField; ++back) {
                inField = *(cls - back) != 0;
            }
            if (inField) {
                found |= matchAt(g, index, address - t, cls - t, sub - t, kInitialsMatch | kReadingMatch);
            }
        }
        if (found & kInitialsMatch) {
            setShared(context.initialsFound, record);
        } else if (found & kReadingMatch) {
            setShared(context.readingFound, record);
        }
    };
    if (context.walk == SearchWalk::Postings
        || (context.walk == SearchWalk::Auto && best * kCharShare <= index.records)) {
        // Few places: the records holding the anchor, read character by character.
        auto& anchorLists = context.charLists;
        anchorLists.clear();
        std::array<bool, 256> anchorClasses {};
        for (const std::uint16_t id : anchorIds) {
            anchorLists.push_back(index.charList(id));
            anchorClasses[id >> 8] = true;
        }
        forEachListedPlace(index, anchorLists, anchorClasses, context,
                           [&](std::size_t address, const std::uint8_t* cls, const std::uint8_t* sub,
                               std::size_t record, std::size_t place) {
                               const auto id = static_cast<std::uint16_t>(*cls << 8 | *sub);
                               if (std::find(anchorIds.begin(), anchorIds.end(), id) != anchorIds.end()) {
                                   visit(address, cls, sub, record, place);
                               }
                           });
        return;
    }
    wanted.assign(65536 / 64, 0);
    for (const std::uint16_t id : anchorIds) {
        setBit(wanted, id);
    }
    HitFilter filter;
    charSetOf(wanted, filter);
    forEachHit(index, filter, context, visit);
}

// ---- the records only a reading finds, for a query of letters -------------------------------------------------------

// The characters that can go on with a window from the offsets `ends` (or, with `any`, every character): those of
// the classes in byCode by a code, some of those in byReading by a reading, which take a look at the character.
struct NextChars
{
    std::uint64_t ends = 0;
    bool any = false;
    std::array<bool, 256> byCode {};
    std::array<bool, 256> byReading {};

    void make(const GeneralProgram& g)
    {
        const std::size_t stride = g.length + 1;
        for (std::size_t c = 0; c < static_cast<std::size_t>(charTable().classCount); ++c) {
            bool code = any || g.charClass[c];
            for (std::uint64_t m = ends; m && !code; m &= m - 1) {
                code = g.step[c * stride + static_cast<std::size_t>(std::countr_zero(m))] != 0;
            }
            byCode[c] = code;
            for (unsigned sub = 0; sub < 256 && !code && !byReading[c]; ++sub) {
                const auto* reading = g.readingOf(static_cast<unsigned>(c), sub);
                byReading[c] = reading != nullptr && (reading->starts & ends) != 0;
            }
        }
    }
    bool take(const GeneralProgram& g, const std::uint8_t* cls, const std::uint8_t* sub) const
    {
        if (byCode[*cls]) {
            return true;
        }
        const auto* reading = byReading[*cls] ? g.readingOf(*cls, *sub) : nullptr;
        return reading != nullptr && (reading->starts & ends) != 0;
    }
};

void readingSearch(const GeneralProgram& g, const IndexData& index, SearchContext& context)
{
    const CharTable& chars = charTable();
    // Windows the codes spell at a width the initials do not take, found as the initials are.
    const auto widths = [&](int lo, int hi) {
        if (lo > hi) {
            return;
        }
        std::vector<std::int32_t> records;
        letterSearch(g.query, LetterShape {lo, hi - lo + 1}, index, context, records);
        for (const std::int32_t r : records) {
            setBit(context.readingFound, static_cast<std::size_t>(r - 1));
        }
    };
    widths(1, g.widthLo - 1);
    widths(g.widthHi + 1, static_cast<int>(g.length));

    const ReadingPaths paths(g);
    if (!paths.any()) {
        return;
    }
    // Windows whose first character is read by a code: from the lists of their first characters' codes when those
    // hold few records.
    const bool lists = context.walk != SearchWalk::Candidates && context.walk != SearchWalk::Records;
    auto& codeFirst = context.lists;
    bool codeFirstListed = false;
    if (lists) {
        // When the characters that start a window by a reading occur so often that all characters are scanned for
        // them, the same scan finds the windows whose second character follows a code at the start (by that
        // character and the one before it) for less than reading the records of their lists.
        std::size_t startCount = 0;
        for (std::size_t s = 0; s < g.syllableAt.size(); ++s) {
            const bool whole = g.wholeAlone(s);
            if ((g.syllableAt[s] & 1u) && !whole) {
                for (const std::uint16_t id : chars.charsOfSyllable[s]) {
                    startCount += index.charCount[id];
                }
            }
        }
        const bool startsScanned = context.walk == SearchWalk::Auto && startCount * kCharShare > index.records;
        windowLists(paths, index, Windows::CodeFirst, codeFirst);
        codeFirstListed = context.walk == SearchWalk::Postings
                          || (!startsScanned && listedRecords(index, codeFirst) * kListShare <= index.records);
    }
    // Windows whose first character is read by a reading, and (unless listed) those whose second is after a code:
    // found from the places of those characters (and the one before them).
    std::uint64_t afterCode = 0; // offsets a code for the first character leads to, on the way to a reading
    for (const auto& e : paths.edges[0]) {
        if (!e.reading && paths.goesOn(e.to, 1, false) && !codeFirstListed) {
            afterCode |= std::uint64_t {1} << e.to;
        }
    }
    // What each character found means: 1, it starts a window; 2, it follows a code at the start; 4, it is a whole
    // match alone.
    auto& wanted = context.wanted;
    wanted.assign(65536 / 64, 0);
    auto& role = context.roles;
    role.resize(65536);
    auto& marked = context.marked;
    marked.clear();
    for (std::size_t s = 0; s < g.syllableAt.size(); ++s) {
        const std::uint64_t at = g.syllableAt[s] | g.prefixAt[s];
        if (!(at & (afterCode | 1u))) {
            continue;
        }
        const bool whole = g.wholeAlone(s);
        const auto bits = static_cast<std::uint8_t>((at & 1u ? 1 : 0) | (at & afterCode ? 2 : 0) | (whole ? 4 : 0));
        for (const std::uint16_t id : chars.charsOfSyllable[s]) {
            if (!role[id]) {
                marked.push_back(id);
            }
            role[id] |= bits;
            setBit(wanted, id);
        }
    }
    // A character that reads as the whole query alone: every record holding it is found, from its list. The others
    // start a window or follow a code at its start.
    auto& wholeLists = context.charLists;
    wholeLists.clear();
    std::size_t partCount = 0; // how often the others occur
    for (const std::uint16_t id : marked) {
        if (role[id] & 4) {
            wholeLists.push_back(index.charList(id));
            wanted[id >> 6] &= ~(std::uint64_t {1} << (id & 63));
        } else {
            partCount += index.charCount[id];
        }
    }
    addLists(index.postings, wholeLists, context.readingFound.data());
    const auto clearRoles = [&] {
        for (const std::uint16_t id : marked) {
            role[id] = 0;
        }
    };
    // Few records in the lists of the windows of two characters or more: reading those records costs less than
    // finding the characters.
    auto& all = context.allLists;
    if (lists && partCount != 0) {
        windowLists(paths, index, Windows::All, all);
        if (context.walk == SearchWalk::Postings || listedRecords(index, all) * kListShare <= index.records) {
            clearRoles();
            readListed(g, index, all, kReadingMatch, context);
            return;
        }
    }
    if (partCount != 0) {
        // The classes a character can follow when it is read after a code at the start; and what can come after a
        // reading of the first character, and after one that follows a code at the start.
        std::array<bool, 256> afterOk {};
        const std::size_t stride = g.length + 1;
        NextChars afterFirst;
        NextChars afterSecond;
        for (std::size_t s = 0; s < g.syllableAt.size(); ++s) {
            if (g.syllableAt[s] & 1u) {
                afterFirst.ends |= std::uint64_t {1} << g.syllableLength[s];
            }
            for (std::uint64_t m = g.syllableAt[s] & afterCode; m; m &= m - 1) {
                const std::size_t end = static_cast<std::size_t>(std::countr_zero(m)) + g.syllableLength[s];
                afterSecond.any = afterSecond.any || end == g.length;
                afterSecond.ends |= std::uint64_t {1} << end;
            }
            afterSecond.any = afterSecond.any || (g.prefixAt[s] & afterCode) != 0;
        }
        afterFirst.make(g);
        afterSecond.make(g);
        for (std::size_t c = 1; c < static_cast<std::size_t>(chars.classCount); ++c) {
            afterOk[c] = (g.step[c * stride] & afterCode) != 0;
        }
        auto& readingFound = context.readingFound;
        auto& initialsFound = context.initialsFound;
        // A place of a wanted character: the windows it starts, or starts after a code.
        const auto visit = [&](std::size_t address, const std::uint8_t* cls, const std::uint8_t* sub,
                               std::size_t record, std::size_t inChunk) {
            const auto* reading = g.readingOf(*cls, *sub);
            if (reading == nullptr || reading->whole) {
                return;
            }
            // Most characters found are followed or preceded by one that takes no part.
            const bool first = (reading->starts & 1u) && afterFirst.take(g, cls + 1, sub + 1);
            const bool after = (reading->starts & afterCode) && inChunk >= 1 && afterOk[cls[-1]]
                               && afterSecond.take(g, cls + 1, sub + 1);
            if ((!first && !after) || testShared(readingFound, record) || testShared(initialsFound, record)) {
                return;
            }
            unsigned found = 0;
            if (first) {
                found = matchAt(g, index, address, cls, sub, kReadingMatch);
            }
            if (!found && after) {
                const std::uint64_t from = g.step[cls[-1] * stride] & afterCode;
                if (from & reading->toEnd) {
                    // The code before and the reading make the window: the whole query.
                    found = kReadingMatch;
                } else if (from & reading->starts) {
                    found = matchAt(g, index, address - 1, cls - 1, sub - 1, kReadingMatch);
                }
            }
            if (found & kReadingMatch) {
                setShared(readingFound, record);
            }
        };
        if (context.walk == SearchWalk::Postings
            || (context.walk == SearchWalk::Auto && partCount * kCharShare <= index.records)) {
            // Few places: the records holding those characters, read character by character.
            auto& partLists = context.charLists;
            partLists.clear();
            std::array<bool, 256> partClasses {};
            for (const std::uint16_t id : marked) {
                if (!(role[id] & 4)) {
                    partLists.push_back(index.charList(id));
                    partClasses[id >> 8] = true;
                }
            }
            forEachListedPlace(index, partLists, partClasses, context, visit);
        } else {
            // Only the places whose neighbours can go on with them.
            HitFilter filter;
            charSetOf(wanted, filter);
            filter.neighbours = true;
            filter.thenAny = afterSecond.any;
            for (const std::uint16_t id : marked) {
                if (!(role[id] & 4)) {
                    if (role[id] & 1) {
                        filter.starts.add(id >> 8);
                    }
                    if (role[id] & 2) {
                        filter.follows.add(id >> 8);
                    }
                }
            }
            for (std::size_t c = 1; c < 256; ++c) {
                if (afterSecond.byCode[c] || afterSecond.byReading[c]) {
                    filter.then.add(static_cast<unsigned>(c));
                }
                if (afterFirst.byCode[c] || afterFirst.byReading[c]) {
                    filter.next.add(static_cast<unsigned>(c));
                }
                if (afterOk[c]) {
                    filter.before.add(static_cast<unsigned>(c));
                }
            }
            forEachHit(index, filter, context, visit);
        }
    }
    clearRoles();
    // Windows whose first character is read by a code, from the lists; or at least those whose first two are.
    if (!codeFirstListed) {
        windowLists(paths, index, Windows::CodesFirst, codeFirst);
    }
    readListed(g, index, codeFirst, kReadingMatch, context);
}

// ---- queries longer than the bit-parallel check ---------------------------------------------------------------------

// Whether `letters` (a-z) start a syllable of the character, or are one whole.
bool syllableFits(std::uint16_t id, std::string_view letters, bool prefix)
{
    for (const std::uint16_t s : charTable().syllables(id)) {
        const std::string_view syllable = pinyinSyllable(s);
        if (prefix ? syllable.starts_with(letters) : syllable == letters) {
            return true;
        }
    }
    return false;
}

// The same search as the compiled one, read out step by step over offsets kept in a vector: slow, and only for
// queries no query box sends.
void longSearch(std::string_view q, const IndexData& index, SearchContext& context)
{
    const CharTable& chars = charTable();
    const CodeTable& codes = codeTable();
    const std::size_t length = q.size();
    // The elements of the query and the allowed widths, as compileGeneral counts them.
    std::vector<std::size_t> runEnd(length + 1, 0);
    std::vector<std::size_t> charEnd(length + 1, 0); // a boundary's next boundary; 0 inside a character
    int elements = 0;
    int n = 0;
    int k = 1;
    for (std::size_t i = 0; i < length;) {
        const std::size_t bytes = charLength(q, i);
        charEnd[i] = i + bytes;
        ++elements;
        if (bytes == 1 && q[i] >= 'a' && q[i] <= 'z') {
            std::size_t end = i;
            while (end < length && q[end] >= 'a' && q[end] <= 'z') {
                ++end;
            }
            for (std::size_t o = i; o < end; ++o) {
                runEnd[o] = end;
                charEnd[o] = o + 1;
            }
            elements += static_cast<int>(end - i) - 1;
            const LetterShape shape = letterShape(q.substr(i, end - i));
            n += shape.n - static_cast<int>(end - i);
            k += shape.k - 1;
            i = end;
            continue;
        }
        i += bytes;
    }
    n += elements;
    const int lo = std::max(n, 1);
    const int hi = std::min(n + k - 1, elements);
    for (std::size_t r = 0; r < index.records; ++r) {
        const std::size_t start = index.letterOffsets.start(r);
        const std::size_t size = index.letterOffsets.length(r);
        const std::uint8_t* cls = index.classes.at(start);
        const std::uint8_t* sub = index.subs.at(start);
        unsigned found = 0;
        for (std::size_t p = 0; p < size && !(found & kInitialsMatch); ++p) {
            // Offsets reached with codes, digits and characters alone (0) and with a reading (1).
            std::vector<std::array<bool, 2>> reach(length + 1, {false, false});
            reach[0][0] = true;
            for (int t = 1; cls[p + static_cast<std::size_t>(t) - 1] != 0; ++t) {
                const std::size_t at = p + static_cast<std::size_t>(t) - 1;
                const auto id = static_cast<std::uint16_t>(cls[at] << 8 | sub[at]);
                std::vector<std::array<bool, 2>> next(length + 1, {false, false});
                bool alive = false;
                for (std::size_t o = 0; o < length; ++o) {
                    for (int r = 0; r < 2; ++r) {
                        if (!reach[o][static_cast<std::size_t>(r)] || charEnd[o] == 0) {
                            continue;
                        }
                        const auto go = [&](std::size_t to, bool reading) {
                            next[to][r || reading] = true;
                            alive = true;
                        };
                        if (runEnd[o] > o) {
                            for (std::size_t c = 0; c < codes.idCount[cls[at]]; ++c) {
                                const std::string_view code = codes.codes[codes.idsOfClass[cls[at]][c]];
                                if (o + code.size() <= runEnd[o] && q.substr(o, code.size()) == code) {
                                    go(o + code.size(), false);
                                }
                            }
                            for (std::size_t to = o + 1; to <= runEnd[o]; ++to) {
                                if (syllableFits(id, q.substr(o, to - o), false)) {
                                    go(to, true);
                                }
                            }
                            if (runEnd[o] == length && syllableFits(id, q.substr(o), true)) {
                                found |= kReadingMatch;
                            }
                        } else if (q[o] >= '0' && q[o] <= '9' && charEnd[o] == o + 1) {
                            if (chars.digitOfClass[cls[at]] == q[o] - '0') {
                                go(o + 1, false);
                            }
                        } else {
                            const std::size_t bytes = charEnd[o] - o;
                            bool same = chars.idOf(q.data() + o, bytes) == id;
                            if (same && bytes == 4) {
                                std::uint32_t four = 0;
                                for (std::size_t b = 0; b < 4; ++b) {
                                    four = four << 8 | static_cast<unsigned char>(q[o + b]);
                                }
                                same = hasFourAt(index, start + at, four);
                            }
                            if (same) {
                                go(charEnd[o], false);
                            }
                        }
                    }
                }
                if (next[length][0]) {
                    found |= t >= lo && t <= hi ? kInitialsMatch : kReadingMatch;
                }
                if (next[length][1]) {
                    found |= kReadingMatch;
                }
                next[length] = {false, false};
                if (!alive || (found & kInitialsMatch)) {
                    break;
                }
                reach = std::move(next);
            }
        }
        if (found & kInitialsMatch) {
            setBit(context.initialsFound, r);
        } else if (found & kReadingMatch) {
            setBit(context.readingFound, r);
        }
    }
}

} // namespace

void fullLetterSearch(std::string_view query, const IndexData& index, SearchContext& context,
                      std::vector<std::int32_t>& out, std::size_t& initials)
{
    initials = 0;
    if (index.records == 0) {
        return;
    }
    const std::size_t words = bitmapWords(index.records);
    context.initialsFound.assign(words, 0);
    context.readingFound.assign(words, 0);
    if (query.size() > kMaxFastLetters) {
        longSearch(query, index, context);
    } else {
        if (!context.generalCompiled || context.generalQuery != query) {
            context.generalQuery.assign(query);
            context.generalCompiled = true;
            context.generalOk = compileGeneral(query, context.general);
        }
        const GeneralProgram& g = context.general;
        if (g.pureLetters) {
            // The initials as the lists and the scan find them.
            letterSearch(query, index, context, out);
            for (const std::int32_t r : out) {
                setBit(context.initialsFound, static_cast<std::size_t>(r - 1));
            }
            initials = out.size();
            readingSearch(g, index, context);
            for (std::size_t w = 0; w < words; ++w) {
                context.readingFound[w] &= ~context.initialsFound[w];
            }
            appendRecords(context.readingFound.data(), words, out);
            return;
        }
        anchoredSearch(g, index, context);
    }
    appendRecords(context.initialsFound.data(), words, out);
    initials = out.size();
    for (std::size_t w = 0; w < words; ++w) {
        context.readingFound[w] &= ~context.initialsFound[w];
    }
    appendRecords(context.readingFound.data(), words, out);
}

} // namespace telvane::query::detail
