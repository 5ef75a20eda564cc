// Search over one record at a time, with the compiled query the index search uses.
#include "query/search_internal.h"

#include <algorithm>

namespace telvane::query {

struct RowMatcher::State
{
    NormalQuery query;
    bool usable = true;
    detail::GeneralProgram program;
    std::vector<std::uint8_t> classes;
    std::vector<std::uint8_t> subs;
    std::vector<std::uint32_t> fours;
    // Bit c2 of row c1 (four words a row): a window can start with a character of class c1 followed by one of
    // class c2, or with c1's character alone. Most places fail it, and a record has some thirty of them.
    std::vector<std::uint64_t> goesOn;
};

namespace {

void makeGoesOn(const detail::GeneralProgram& g, std::vector<std::uint64_t>& rows)
{
    rows.assign(256 * 4, 0);
    const std::uint64_t end = std::uint64_t {1} << g.length;
    for (unsigned c1 = 1; c1 < 256; ++c1) {
        if (!g.canStart[c1]) {
            continue;
        }
        std::uint64_t* row = rows.data() + c1 * 4;
        // Characters and syllables depend on the character, not only its class: any class may follow.
        const std::uint64_t reach = g.stepClass[c1] ? g.advance(c1, 1) : 0;
        if (g.charClass[c1] || g.readingClass[c1] || (reach & end)) {
            std::fill(row, row + 4, ~std::uint64_t {0});
            continue;
        }
        for (unsigned c2 = 1; c2 < 256 && reach; ++c2) {
            if (g.charClass[c2] || g.readingClass[c2] || (g.stepClass[c2] && g.advance(c2, reach) != 0)) {
                row[c2 / 64] |= std::uint64_t {1} << (c2 % 64);
            }
        }
    }
}

} // namespace

RowMatcher::RowMatcher(std::string_view queryGbk)
    : m_state(std::make_unique<State>())
{
    m_state->query = normalizeQuery(queryGbk);
    if (m_state->query.kind == QueryKind::Letter) {
        m_state->usable = detail::compileGeneral(m_state->query.text, m_state->program);
        if (m_state->usable) {
            makeGoesOn(m_state->program, m_state->goesOn);
        }
    }
}

RowMatcher::~RowMatcher() = default;

bool RowMatcher::usable() const
{
    return m_state->usable;
}

RowMatcher::Part RowMatcher::match(const std::array<std::string_view, store::kFieldCount>& fields)
{
    State& s = *m_state;
    const std::string_view q = s.query.text;
    if (s.query.kind == QueryKind::Empty || !s.usable) {
        return Part::None;
    }
    if (s.query.kind == QueryKind::Digit) {
        for (std::size_t f = 0; f < store::kFieldCount; ++f) {
            if (store::kFields[f].digits && fields[f].find(q) != std::string_view::npos) {
                return Part::Initials;
            }
        }
        return Part::None;
    }
    const detail::CharTable& chars = detail::charTable();
    // Written through pointers into room for a character per byte: every record of the store passes here while a
    // query typed at start is answered.
    std::size_t room = store::kFieldCount;
    for (std::size_t f = 0; f < store::kFieldCount; ++f) {
        room += store::kFields[f].letters ? fields[f].size() : 0;
    }
    if (s.classes.size() < room) {
        s.classes.resize(room);
        s.subs.resize(room);
        s.fours.resize(room);
    }
    std::size_t count = 0;
    for (std::size_t f = 0; f < store::kFieldCount; ++f) {
        if (!store::kFields[f].letters) {
            continue;
        }
        const std::string_view text = fields[f];
        for (std::size_t i = 0; i < text.size();) {
            const std::size_t length = detail::charLength(text, i);
            const std::uint16_t id = chars.idOf(text.data() + i, length);
            std::uint32_t four = 0;
            for (std::size_t b = 0; length == 4 && b < 4; ++b) {
                four = four << 8 | static_cast<unsigned char>(text[i + b]);
            }
            s.classes[count] = static_cast<std::uint8_t>(id >> 8);
            s.subs[count] = static_cast<std::uint8_t>(id & 0xFF);
            s.fours[count] = four;
            ++count;
            i += length;
        }
        s.classes[count] = 0;
        s.subs[count] = 0;
        s.fours[count] = 0;
        ++count;
    }
    unsigned found = 0;
    const detail::GeneralProgram& g = s.program;
    // Every field ends with class 0, so a place has a next class.
    for (std::size_t p = 0; p < count && !(found & detail::kInitialsMatch); ++p) {
        const unsigned c1 = s.classes[p];
        const unsigned c2 = s.classes[p + (c1 != 0)];
        if (s.goesOn[c1 * 4 + c2 / 64] >> (c2 % 64) & 1u) {
            found |= detail::matchAt(g, s.fours.data() + p, s.classes.data() + p, s.subs.data() + p,
                                     detail::kInitialsMatch | detail::kReadingMatch);
        }
    }
    return found & detail::kInitialsMatch ? Part::Initials : found ? Part::Reading : Part::None;
}

} // namespace telvane::query
