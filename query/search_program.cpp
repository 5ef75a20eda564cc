// What a Letter search looks for: the Character count and Width alternatives of its letters, and the compiled query
// that reads a window of character classes.
#include "query/pinyin.h"
#include "query/search_internal.h"

#include <algorithm>

namespace telvane::query {

namespace {

constexpr std::array<std::string_view, 7> kTwoLetterFinals {"ai", "ei", "ao", "ou", "an", "en", "er"};
constexpr std::array<bool, 7> kAddsWidth {false, false, true, false, true, true, true};

} // namespace

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

namespace detail {

bool fitsWidth(std::uint64_t before, std::uint64_t after, unsigned middle, std::uint64_t widths)
{
    for (; before; before &= before - 1) {
        const unsigned shift = static_cast<unsigned>(std::countr_zero(before)) + middle;
        if (shift < 64 && ((after << shift) & widths)) {
            return true;
        }
    }
    return false;
}

namespace {

void readAsCodes(LetterProgram& program)
{
    const auto& table = codeTable();
    const auto length = static_cast<unsigned>(program.length);
    program.edges.clear();
    for (std::size_t id = 0; id < table.size(); ++id) {
        for (std::uint64_t at = program.codeAt[id]; at; at &= at - 1) {
            const auto o = static_cast<unsigned>(std::countr_zero(at));
            program.edges.push_back({o, o + static_cast<unsigned>(table.codes[id].size()), id});
        }
    }
    std::sort(program.edges.begin(), program.edges.end(),
              [](const LetterProgram::Edge& a, const LetterProgram::Edge& b) { return a.from < b.from; });
    program.firstEdge.fill(static_cast<std::uint16_t>(program.edges.size()));
    for (std::size_t i = program.edges.size(); i-- > 0;) {
        program.firstEdge[program.edges[i].from] = static_cast<std::uint16_t>(i);
    }
    for (unsigned o = length; o-- > 0;) {
        program.firstEdge[o] = std::min(program.firstEdge[o], program.firstEdge[o + 1]);
    }
    program.before.assign(length + 1, 0);
    program.after.assign(length + 1, 0);
    program.before[0] = 1;
    for (const auto& e : program.edges) {
        program.before[e.to] |= program.before[e.from] << 1;
    }
    program.after[length] = 1;
    for (auto e = program.edges.rbegin(); e != program.edges.rend(); ++e) {
        program.after[e->from] |= program.after[e->to] << 1;
    }
    program.widths = 0;
    for (int w = program.minWidth; w <= program.maxWidth; ++w) {
        program.widths |= std::uint64_t {1} << w;
    }
}

// Lays out every allowed path for the Shift-And check, giving up when they need more than 64 bits.
void buildShiftAnd(LetterProgram& program)
{
    const auto& table = codeTable();
    const auto length = static_cast<unsigned>(program.length);
    program.shiftMask.fill(0);
    program.shiftStarts = 0;
    program.shiftEnds = 0;
    program.shiftUsable = false;
    std::array<std::uint64_t, 64> bitsOfCode {};
    const auto& firstEdge = program.firstEdge;
    if (table.size() > bitsOfCode.size()) {
        return;
    }
    std::array<std::size_t, 64> path {};
    unsigned used = 0;
    bool full = false;
    // Only edges from which the end can still be reached at an allowed width are followed, so every step leads to a
    // path and the walk ends soon after 64 bits are spent.
    const auto walk = [&](auto&& self, unsigned o, unsigned t) -> void {
        if (o == length) {
            if (used + t > 64) {
                full = true;
                return;
            }
            for (unsigned i = 0; i < t; ++i) {
                bitsOfCode[path[i]] |= std::uint64_t {1} << (used + i);
            }
            program.shiftStarts |= std::uint64_t {1} << used;
            program.shiftEnds |= std::uint64_t {1} << (used + t - 1);
            used += t;
            return;
        }
        for (std::size_t i = firstEdge[o]; i < program.edges.size() && program.edges[i].from == o && !full; ++i) {
            const auto& e = program.edges[i];
            if (fitsWidth(std::uint64_t {1} << t, program.after[e.to], 1, program.widths)) {
                path[t] = e.code;
                self(self, e.to, t + 1);
            }
        }
    };
    walk(walk, 0, 0);
    if (full || used == 0) {
        return;
    }
    for (std::size_t c = 1; c < program.shiftMask.size(); ++c) {
        for (std::size_t i = 0; i < table.idCount[c]; ++i) {
            program.shiftMask[c] |= bitsOfCode[table.idsOfClass[c][i]];
        }
    }
    program.shiftUsable = true;
}

} // namespace

bool compileLetters(std::string_view query, LetterShape shape, LetterProgram& program)
{
    const std::size_t length = query.size();
    program.single = {};
    program.first = {};
    program.second = {};
    program.starts = {};
    program.useSingle = false;
    program.usePair = false;
    program.exact = false;
    if (length == 0 || length > kMaxFastLetters
        || !std::all_of(query.begin(), query.end(), [](char c) { return c >= 'a' && c <= 'z'; })) {
        return false;
    }
    program.length = length;
    program.minWidth = std::max(shape.n, 1);
    // Every character takes at least one letter, so no window is wider than the query.
    program.maxWidth = std::min(shape.n + shape.k - 1, static_cast<int>(length));
    if (program.minWidth > program.maxWidth) {
        return false;
    }
    const auto& table = codeTable();
    program.codeAt.assign(table.size(), 0);
    for (std::size_t o = 0; o < length; ++o) {
        const auto letter = static_cast<std::size_t>(query[o] - 'a');
        for (std::size_t i = 0; i < table.byFirstLetterCount[letter]; ++i) {
            const std::size_t id = table.byFirstLetter[letter][i];
            if (query.substr(o, table.codes[id].size()) == table.codes[id]) {
                program.codeAt[id] |= std::uint64_t {1} << o;
            }
        }
    }
    readAsCodes(program);
    buildShiftAnd(program);
    // Only the classes with a code the letters spell somewhere get steps; the others stay empty.
    const auto classes = static_cast<std::size_t>(charTable().classCount);
    program.step.assign(classes * (length + 1), 0);
    program.spelled.clear();
    std::array<bool, 256> spelled {};
    for (std::size_t id = 0; id < table.size(); ++id) {
        if (program.codeAt[id] == 0) {
            continue;
        }
        const std::size_t size = table.codes[id].size();
        for (const std::uint8_t c : table.classesOfCode[id]) {
            std::uint64_t* t = program.step.data() + c * (length + 1);
            if (!spelled[c]) {
                spelled[c] = true;
                program.spelled.push_back(c);
            }
            for (std::uint64_t at = program.codeAt[id]; at; at &= at - 1) {
                const auto o = static_cast<std::size_t>(std::countr_zero(at));
                t[o] |= std::uint64_t {1} << (o + size);
            }
        }
    }
    std::uint64_t afterFirst = 0;
    for (const std::uint8_t c : program.spelled) {
        const std::uint64_t* t = program.step.data() + c * (length + 1);
        if (program.minWidth == 1 && (t[0] >> length & 1u)) {
            program.single.add(c);
            program.starts[c] = true;
            program.useSingle = true;
        }
        // A start that already spells the whole query cannot go on: the next character needs a letter.
        if (t[0] & ~(std::uint64_t {1} << length)) {
            program.first.add(c);
            program.starts[c] = true;
            afterFirst |= t[0] & ~(std::uint64_t {1} << length);
        }
    }
    program.usePair = program.maxWidth >= 2 && afterFirst != 0;
    // When two characters are the widest match and every first character ends at the same letter, the pair test is
    // the whole answer: the second character must then spell the rest.
    const bool pairIsMatch = program.maxWidth == 2 && std::has_single_bit(afterFirst);
    const std::uint64_t wanted = pairIsMatch ? std::uint64_t {1} << length : ~std::uint64_t {0};
    if (program.usePair) {
        for (const std::uint8_t c : program.spelled) {
            const std::uint64_t* t = program.step.data() + c * (length + 1);
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

} // namespace detail

} // namespace telvane::query
