// The Letter search: a one-character match from the records holding a code, a longer one from the lists of records
// holding each pair of neighbouring codes, checked against the records' pinyin classes; or, when the lists would
// leave too many records to check, by scanning the classes of all records.
#include "query/pinyin.h"
#include "query/search_internal.h"

#include <algorithm>
#include <string>

namespace telvane::query::detail {

namespace {

// The pairs of codes a window of two characters or more holds: those of its path's neighbouring edges.
class PairPlanner
{
public:
    explicit PairPlanner(const LetterProgram& program)
        : m_program(program)
        , m_length(static_cast<unsigned>(program.length))
        , m_widths(program.widths & ~std::uint64_t {3})
        , m_codes(codeTable().size())
    {
        const auto& edges = program.edges;
        for (std::size_t i = 0; i < edges.size(); ++i) {
            const Edge& in = edges[i];
            if (fits(program.before[in.from], program.after[in.to], 1)) {
                // Every allowed path through this edge leaves out the offsets it leaps over.
                for (unsigned o = in.from + 1; o < in.to; ++o) {
                    m_leapt |= std::uint64_t {1} << o;
                }
            }
            for (std::size_t j = program.firstEdge[in.to]; j < edges.size() && edges[j].from == in.to; ++j) {
                if (fits(program.before[in.from], program.after[edges[j].to], 2)) {
                    m_pairs.push_back({i, j});
                }
            }
        }
    }

    // Whether some window of two characters or more can match.
    bool any() const { return (m_program.before[m_length] & m_widths) != 0; }
    // Whether every such window is two characters wide: a record then has one exactly when it is in the first set.
    bool onlyPairs() const { return (m_program.before[m_length] & m_widths) == std::uint64_t {1} << 2; }

    // Sets of lists, each holding every record with a matching window of two characters or more: the pairs that
    // start a path, those that end one, and those around an offset every path passes through.
    void sets(std::vector<std::vector<std::size_t>>& out) const
    {
        out.clear();
        collect([](const Edge& in, const Edge&) { return in.from == 0; }, out);
        if (onlyPairs()) {
            return;
        }
        collect([this](const Edge&, const Edge& next) { return next.to == m_length; }, out);
        for (unsigned o = 1; o < m_length; ++o) {
            if (!(m_leapt >> o & 1u)) {
                collect([o](const Edge& in, const Edge&) { return in.to == o; }, out);
            }
        }
    }

private:
    using Edge = LetterProgram::Edge;
    struct Pair
    {
        std::size_t in;
        std::size_t next;
    };

    bool fits(std::uint64_t before, std::uint64_t after, unsigned middle) const
    {
        return fitsWidth(before, after, middle, m_widths);
    }
    // Adds the set of the lists of the pairs `keep` takes, unless the same set is there already.
    template<class Keep>
    void collect(Keep keep, std::vector<std::vector<std::size_t>>& out) const
    {
        out.emplace_back();
        std::vector<std::size_t>& set = out.back();
        for (const Pair& p : m_pairs) {
            const Edge& in = m_program.edges[p.in];
            const Edge& next = m_program.edges[p.next];
            if (keep(in, next)) {
                set.push_back(in.code * m_codes + next.code); // as IndexData::pairList
            }
        }
        std::sort(set.begin(), set.end());
        set.erase(std::unique(set.begin(), set.end()), set.end());
        if (std::find(out.begin(), out.end() - 1, set) != out.end() - 1) {
            out.pop_back();
        }
    }

    const LetterProgram& m_program;
    unsigned m_length;
    std::uint64_t m_widths;
    std::size_t m_codes;
    std::vector<Pair> m_pairs; // neighbouring edges on an allowed path
    std::uint64_t m_leapt = 0; // offsets some allowed path does not visit
};

// Compiles the query and plans its lists, unless the context holds them for this query already.
void prepare(std::string_view query, SearchContext& context)
{
    if (context.compiled && context.compiledQuery == query) {
        return;
    }
    context.compiledQuery.assign(query);
    context.compiled = true;
    LetterProgram& program = context.program;
    context.matchable = compileLetters(query, letterShape(query), program);
    context.pairsAny = false;
    context.onlyPairs = false;
    context.singleCode = -1;
    if (!context.matchable) {
        return;
    }
    context.singleCode = program.minWidth == 1 ? codeTable().idOf(query) : -1;
    const PairPlanner planner(program);
    context.pairsAny = planner.any();
    context.onlyPairs = planner.onlyPairs();
    if (context.pairsAny) {
        planner.sets(context.pairSets);
    }
}

// Queries longer than the bit-parallel check allows: every window of every width, as text of a character of each
// class, through the Pinyin comparison. A window holding class 0 (no code, or the end of a field) never matches.
void longLetterSearch(std::string_view query, LetterShape shape, const IndexData& index, std::vector<std::int32_t>& out)
{
    const auto& table = codeTable();
    std::string window;
    std::size_t start = 0;
    for (std::size_t r = 0; r < index.records; ++r) {
        const std::uint8_t* begin = index.classes.data() + start;
        start += index.letterOffsets.length(r);
        const std::uint8_t* end = index.classes.data() + start;
        bool matched = false;
        for (const std::uint8_t* at = begin; at < end && !matched; ++at) {
            for (int m = 1; m <= shape.k && !matched; ++m) {
                const long long width = shape.n + m - 1;
                if (width <= 0 || width > end - at || std::find(at, at + width, 0) != at + width) {
                    continue;
                }
                window.clear();
                for (const std::uint8_t* c = at; c < at + width; ++c) {
                    window.append(table.sample[*c].data(), 2);
                }
                matched = pinyinCompare(query, window) == 1;
            }
        }
        if (matched) {
            out.push_back(static_cast<std::int32_t>(r + 1));
        }
    }
}

// Above this share of the records left to check, scanning the classes of all records is cheaper.
constexpr std::size_t kScanShare = 8;

} // namespace

void letterSearch(std::string_view query, const IndexData& index, SearchContext& context,
                  std::vector<std::int32_t>& out)
{
    // The comparison takes the letters exactly as given: any byte outside a-z fits no character.
    if (index.records == 0 || !std::all_of(query.begin(), query.end(), [](char c) { return c >= 'a' && c <= 'z'; })) {
        return;
    }
    if (query.size() > kMaxFastLetters) {
        longLetterSearch(query, letterShape(query), index, out);
        return;
    }
    prepare(query, context);
    if (!context.matchable) {
        return;
    }
    const LetterProgram& program = context.program;
    if (context.walk == SearchWalk::Candidates || context.walk == SearchWalk::Records) {
        scanLetters(index, program, context, out);
        return;
    }
    const std::size_t words = bitmapWords(index.records);
    auto& found = context.found;
    found.assign(words, 0);
    // One character: a record has a match exactly when it has a character with the query as a code.
    if (context.singleCode >= 0) {
        copyBits(index, index.codeBit(static_cast<std::size_t>(context.singleCode)), found.data());
    }
    if (context.onlyPairs) {
        // A record is in the lists exactly when it has a match of two characters.
        addLists(index.postings, context.pairSets[0], found.data());
    } else if (context.pairsAny) {
        auto& candidates = context.candidates;
        recordsInAll(index, context.pairSets, false, context, candidates);
        if (context.walk == SearchWalk::Auto && candidates.size() * kScanShare > index.records) {
            scanLetters(index, program, context, out);
            return;
        }
        forEachRecord(index.letterOffsets, index.classes.data(), candidates,
                      [&](std::uint32_t r, const std::uint8_t* from, const std::uint8_t* to) {
                          std::uint64_t& word = found[(r - 1) >> 6];
                          const std::uint64_t bit = std::uint64_t {1} << ((r - 1) & 63);
                          if (!(word & bit) && program.matchesIn(from, to)) {
                              word |= bit;
                          }
                      });
    }
    appendRecords(found.data(), words, out);
}

} // namespace telvane::query::detail
