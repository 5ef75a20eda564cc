// The Letter search: a one-character match from the records holding a code; a match of two or three characters from
// the lists of records holding three neighbouring codes; a longer one from the records in all the lists its runs of
// three are in, checked against their pinyin classes; or, when the lists would leave too many records to check, by
// scanning the classes of all records.
#include "query/pinyin.h"
#include "query/search_internal.h"

#include <algorithm>

namespace telvane::query::detail {

namespace {

// The lists a window of two characters or more is in: those of the codes of each three neighbouring characters of
// its path, or, for a window of two, of its two codes followed by anything. The allowed paths are written out when
// there are not too many of them.
class WindowPlanner
{
public:
    explicit WindowPlanner(const LetterProgram& program)
        : m_program(program)
        , m_length(static_cast<unsigned>(program.length))
        , m_widths(program.widths & ~std::uint64_t {3})
        , m_codes(codeTable().size())
    {
        if (any()) {
            std::array<std::uint8_t, kMaxFastLetters> path {};
            walk(0, 0, path);
        }
    }

    // Whether some window of two characters or more can match.
    bool any() const { return (m_program.before[m_length] & m_widths) != 0; }
    // Whether all such windows are at most three characters wide: a record then has one exactly when it is in the
    // first set.
    bool exact() const { return (m_program.before[m_length] & m_widths & ~std::uint64_t {15}) == 0 && !m_tooMany; }

    // Sets of lists, each holding every record with a matching window of two characters or more: the lists of the
    // first three characters of each path; of the last three; and, when there is one path, of each three between.
    void sets(std::vector<std::vector<std::size_t>>& out) const
    {
        out.clear();
        if (m_tooMany) {
            firstPairs(out);
            return;
        }
        out.emplace_back();
        for (std::size_t p = 0; p + 1 < m_starts.size(); ++p) {
            addTriple(p, 0, out.back());
        }
        finish(out);
        if (exact()) {
            return;
        }
        out.emplace_back();
        for (std::size_t p = 0; p + 1 < m_starts.size(); ++p) {
            addTriple(p, width(p) < 3 ? 0 : width(p) - 3, out.back());
        }
        finish(out);
        if (m_starts.size() == 2) {
            for (std::size_t i = 1; i + 3 < width(0); ++i) {
                out.emplace_back();
                addTriple(0, i, out.back());
                finish(out);
            }
        }
    }

private:
    static constexpr std::size_t kMaxPaths = 64;

    std::size_t width(std::size_t p) const { return m_starts[p + 1] - m_starts[p]; }
    // The lists of characters i, i+1, i+2 of path p; of a path of two, its codes followed by anything.
    void addTriple(std::size_t p, std::size_t i, std::vector<std::size_t>& set) const
    {
        const std::uint8_t* c = m_paths.data() + m_starts[p] + i;
        if (width(p) == 2) {
            for (std::size_t third = 0; third <= m_codes; ++third) {
                set.push_back(IndexData::tripleList(m_codes, c[0], c[1], third));
            }
        } else {
            set.push_back(IndexData::tripleList(m_codes, c[0], c[1], c[2]));
        }
    }
    // Sorts the last set and drops it when an earlier one is the same.
    static void finish(std::vector<std::vector<std::size_t>>& out)
    {
        auto& set = out.back();
        std::sort(set.begin(), set.end());
        set.erase(std::unique(set.begin(), set.end()), set.end());
        if (std::find(out.begin(), out.end() - 1, set) != out.end() - 1) {
            out.pop_back();
        }
    }
    // With too many paths to write out: the first two codes of every path, followed by anything.
    void firstPairs(std::vector<std::vector<std::size_t>>& out) const
    {
        const auto& edges = m_program.edges;
        out.emplace_back();
        for (std::size_t i = m_program.firstEdge[0]; i < edges.size() && edges[i].from == 0; ++i) {
            for (std::size_t j = m_program.firstEdge[edges[i].to]; j < edges.size() && edges[j].from == edges[i].to;
                 ++j) {
                if (fitsWidth(1, m_program.after[edges[j].to], 2, m_widths)) {
                    for (std::size_t third = 0; third <= m_codes; ++third) {
                        out.back().push_back(IndexData::tripleList(m_codes, edges[i].code, edges[j].code, third));
                    }
                }
            }
        }
        finish(out);
    }
    // Every allowed path from offset o, t characters read: only edges after which the end can still be reached at an
    // allowed width are followed, so every step leads to a path.
    void walk(unsigned o, unsigned t, std::array<std::uint8_t, kMaxFastLetters>& path)
    {
        if (o == m_length) {
            if (m_starts.size() > kMaxPaths) {
                m_tooMany = true;
                return;
            }
            m_paths.insert(m_paths.end(), path.begin(), path.begin() + t);
            m_starts.push_back(m_paths.size());
            return;
        }
        const auto& edges = m_program.edges;
        for (std::size_t i = m_program.firstEdge[o]; i < edges.size() && edges[i].from == o && !m_tooMany; ++i) {
            if (fitsWidth(std::uint64_t {1} << t, m_program.after[edges[i].to], 1, m_widths)) {
                path[t] = static_cast<std::uint8_t>(edges[i].code);
                walk(edges[i].to, t + 1, path);
            }
        }
    }

    const LetterProgram& m_program;
    unsigned m_length;
    std::uint64_t m_widths;
    std::size_t m_codes;
    std::vector<std::uint8_t> m_paths; // the codes of every path, one after another
    std::vector<std::size_t> m_starts {0}; // where each path begins in m_paths, and the end
    bool m_tooMany = false;
};

// Compiles the query and plans its lists, unless the context holds them for this query already.
void prepare(std::string_view query, LetterShape shape, SearchContext& context)
{
    if (context.compiled && context.compiledQuery == query && context.compiledShape.n == shape.n
        && context.compiledShape.k == shape.k) {
        return;
    }
    context.compiledQuery.assign(query);
    context.compiledShape = shape;
    context.compiled = true;
    LetterProgram& program = context.program;
    context.matchable = compileLetters(query, shape, program);
    context.widerAny = false;
    context.widerExact = false;
    context.singleCode = -1;
    if (!context.matchable) {
        return;
    }
    context.singleCode = program.minWidth == 1 ? codeTable().idOf(query) : -1;
    const WindowPlanner planner(program);
    context.widerAny = planner.any();
    context.widerExact = planner.exact();
    if (context.widerAny) {
        planner.sets(context.widerSets);
    }
}

// Above this share of the records left to check, scanning the classes of all records is cheaper.
constexpr std::size_t kScanShare = 8;

} // namespace

void letterSearch(std::string_view query, const IndexData& index, SearchContext& context,
                  std::vector<std::int32_t>& out)
{
    letterSearch(query, letterShape(query), index, context, out);
}

void letterSearch(std::string_view query, LetterShape shape, const IndexData& index, SearchContext& context,
                  std::vector<std::int32_t>& out)
{
    // The comparison takes the letters exactly as given: any byte outside a-z fits no character.
    if (index.records == 0 || !std::all_of(query.begin(), query.end(), [](char c) { return c >= 'a' && c <= 'z'; })) {
        return;
    }
    if (query.size() > kMaxFastLetters) {
        return; // the caller reads such queries out step by step
    }
    prepare(query, shape, context);
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
    if (context.widerAny && context.widerExact) {
        // A record is in the lists exactly when it has a match of two or three characters.
        addLists(index.postings, context.widerSets[0], found.data());
    } else if (context.widerAny) {
        auto& candidates = context.candidates;
        recordsInAll(index, context.widerSets, false, context, candidates);
        if (context.walk == SearchWalk::Auto && candidates.size() * kScanShare > index.records) {
            scanLetters(index, program, context, out);
            return;
        }
        forEachRecord(index.letterOffsets, index.classes, candidates,
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
