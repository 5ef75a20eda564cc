// The searcher: reads and classifies the query, runs the search of its kind and keeps the Result list; and keeps an
// index in step with records held elsewhere for the callers that have them in store columns.
#include "query/search_internal.h"
#include "store/directory_store.h"

#include <algorithm>

namespace telvane::query {

struct Searcher::State : detail::SearchContext
{
    SearchIndex adapted; // the index of the records given as columns
    std::uint64_t generation = 0;
    bool adaptedValid = false;
};

Searcher::Searcher()
    : m_state(std::make_unique<State>())
{
    m_state->path = detail::resolveScanPath(ScanPath::Best);
}

Searcher::~Searcher() = default;

const std::vector<std::int32_t>& Searcher::search(std::string_view queryGbk, const SearchIndex& index)
{
    m_results.clear();
    m_initials = 0;
    if (!index.m_data) {
        return m_results;
    }
    const NormalQuery query = normalizeQuery(queryGbk);
    switch (query.kind) {
        case QueryKind::Empty:
            break;
        case QueryKind::Digit:
            detail::digitSearch(query.text, *index.m_data, *m_state, m_results);
            m_initials = m_results.size();
            break;
        case QueryKind::Letter:
            detail::fullLetterSearch(query.text, *index.m_data, *m_state, m_results, m_initials);
            break;
    }
    return m_results;
}

void Searcher::reserve(std::size_t records)
{
    // Written once, so the memory is there and not only promised.
    m_results.resize(std::max(m_results.size(), records));
    m_results.clear();
}

void Searcher::trimResults()
{
    constexpr std::size_t kSmall = std::size_t {1} << 18;
    if (m_results.capacity() > kSmall && m_results.size() < m_results.capacity() / 4) {
        std::vector<std::int32_t>(m_results.begin(), m_results.end()).swap(m_results);
    }
}

const std::vector<std::int32_t>& Searcher::search(std::string_view queryGbk, store::DirectoryStore& store)
{
    const auto& columns = store.columns();
    return search(queryGbk, columns, store.generation());
}

const std::vector<std::int32_t>& Searcher::search(std::string_view queryGbk, const store::Columns& columns,
                                                  std::uint64_t generation)
{
    State& s = *m_state;
    if (!s.adaptedValid || generation != s.generation || columns.size() < s.adapted.size()) {
        s.adapted.clear();
        s.generation = generation;
        s.adaptedValid = true;
    }
    std::array<std::string_view, store::kFieldCount> fields;
    for (std::size_t n = s.adapted.size() + 1; n <= columns.size(); ++n) {
        for (std::size_t f = 0; f < store::kFieldCount; ++f) {
            fields[f] = columns.field(static_cast<int>(n), static_cast<int>(f + 1));
        }
        s.adapted.add(fields);
    }
    return search(queryGbk, s.adapted);
}

// ---- knobs ----------------------------------------------------------------------------------------------------------

bool SearcherKnobs::supported(ScanPath path)
{
    return detail::scanPathSupported(path);
}

void SearcherKnobs::setScanPath(Searcher& searcher, ScanPath path)
{
    searcher.m_state->path = detail::resolveScanPath(path);
}

ScanPath SearcherKnobs::scanPath(const Searcher& searcher)
{
    return searcher.m_state->path;
}

void SearcherKnobs::setWalk(Searcher& searcher, SearchWalk walk)
{
    searcher.m_state->walk = walk;
}

SearchWalk SearcherKnobs::walk(const Searcher& searcher)
{
    return searcher.m_state->walk;
}

} // namespace telvane::query
