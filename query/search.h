#pragma once

#include "store/fields.h"
#include "store/record.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string_view>
#include <vector>

namespace telvane::store {
class Columns;
class DirectoryStore;
} // namespace telvane::store

// Search: the query box's matching over the whole directory.
//
// A query that starts with an ASCII digit is a Digit search, taken exactly as given: the record matches when one of
// its fields searched by digits (the remark and the four telephone fields) holds the query, byte for byte, as a
// substring. Any other query first loses its spaces (single-byte and ideographic), its full-width letters and digits
// are read as ASCII and its letters as lower case; what is left is a Digit search when it starts with a digit, else
// a Letter search over the fields searched by letters (name, unit, remark).
//
// A Letter search reads each field as characters (see detail::charLength: a GBK double-byte character, a GB18030
// four-byte one, or a single byte) and tries windows of consecutive characters starting at each character. The
// query's letters are read as pinyin codes (the code of a character: see pinyin.h; a letter written in the field,
// half- or full-width, has its letter as its code), each digit matches that digit written in the field, half- or
// full-width, and every other character matches itself. Its Result list has two parts, each in store order:
// - first the initials: records with a window whose characters the query spells one per character with codes,
//   digits and characters, the window n, n+1, ... n+k-1 characters wide, where n counts the query's characters and
//   every lower-case vowel final in a run of its letters (ai ei ao ou an en er, overlapping occurrences all counted,
//   and ang, which also holds an) stands for one character fewer, and ao an en er ang each add one wider window;
//   for a query of letters and fields of double-byte characters these are the records the pinyin comparison finds;
// - then the records only a reading finds: a window where some character is read by one of its whole syllables or
//   the last character by the start of one (zhangsan, zhangs, zsan, zhangsa find 张三), or a window the codes spell
//   at another width.
// A record is listed once, in the first part that finds it.
namespace telvane::query {

namespace detail {
struct IndexData;
} // namespace detail

// What Search needs to know of the records, built from them one at a time in store order: record number n is the
// n-th record added. It keeps its own compact copy of what it needs (the characters of the letter fields as a class
// and a number within it, the digit fields, and lists of the records holding each three neighbouring codes, each
// character, each digit with the two bytes after it and each common run of four digits), so the records can be
// streamed in and dropped. Adding a record never moves the others, so records saved later are added as they are
// saved. An index may be built on one thread and moved to another; a search only reads it (a long one on two
// threads). At 1,000,000 directory entries it takes about 110 MB.
class SearchIndex
{
public:
    SearchIndex();
    ~SearchIndex();
    SearchIndex(SearchIndex&& other) noexcept;
    SearchIndex& operator=(SearchIndex&& other) noexcept;
    SearchIndex(const SearchIndex&) = delete;
    SearchIndex& operator=(const SearchIndex&) = delete;

    // The next record: its fields in store order as GBK bytes. Nothing is kept of the views.
    void add(const std::array<std::string_view, store::kFieldCount>& fields);
    void add(const store::Record& record);
    // The number of records added.
    std::size_t size() const;
    // Forgets every record (the memory is kept for the next ones).
    void clear();
    // The bytes the index holds on the heap.
    std::size_t memoryBytes() const;

private:
    friend class Searcher;
    friend struct IndexKnobs;
    std::unique_ptr<detail::IndexData> m_data;
};

// Runs Search and keeps the Result list: the ascending 1-based record numbers of the matching records.
class Searcher
{
public:
    Searcher();
    ~Searcher();
    Searcher(const Searcher&) = delete;
    Searcher& operator=(const Searcher&) = delete;

    const std::vector<std::int32_t>& search(std::string_view queryGbk, const SearchIndex& index);
    // The Result list: both parts, the initials first; its size is the count of results.
    const std::vector<std::int32_t>& results() const { return m_results; }
    // How many of the results are initials (the rest only a reading finds); a Digit search has only this part.
    std::size_t initialsCount() const { return m_initials; }
    // Makes room for a Result list of `records` records now, so that the first long one costs no allocation.
    void reserve(std::size_t records);
    void clearResults()
    {
        m_results.clear();
        m_initials = 0;
    }
    // Gives back the room of a Result list far longer than the last one (a million records take 4 MB), so that a
    // long list is not held for good once shorter ones follow.
    void trimResults();

    // Over records held elsewhere: the searcher keeps its own index of them in step. Records appended since the
    // last search are added to it; other changes rebuild it.
    const std::vector<std::int32_t>& search(std::string_view queryGbk, store::DirectoryStore& store);
    // `generation` identifies the content of `columns`: the same generation with more records means records were
    // appended; any other change must come with a new generation.
    const std::vector<std::int32_t>& search(std::string_view queryGbk, const store::Columns& columns,
                                            std::uint64_t generation);

private:
    friend struct SearcherKnobs;
    struct State;

    std::vector<std::int32_t> m_results;
    std::size_t m_initials = 0;
    std::unique_ptr<State> m_state;
};

// Search over records one at a time, without an index: what a query box needs while the index is being built. For
// each record it tells the part of the Result list the record belongs to, exactly as Searcher does over an index.
class RowMatcher
{
public:
    enum class Part { None, Initials, Reading };

    explicit RowMatcher(std::string_view queryGbk);
    ~RowMatcher();
    RowMatcher(const RowMatcher&) = delete;
    RowMatcher& operator=(const RowMatcher&) = delete;

    // False for a query too long to be matched this way (longer than the query box takes): the index answers it.
    bool usable() const;
    // The record's fields in store order as GBK bytes.
    Part match(const std::array<std::string_view, store::kFieldCount>& fields);

private:
    struct State;
    std::unique_ptr<State> m_state;
};

} // namespace telvane::query
