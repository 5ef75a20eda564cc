#pragma once

#include <array>
#include <cstdint>
#include <string_view>
#include <vector>

namespace telvane::store {
class Columns;
class DirectoryStore;
} // namespace telvane::store

// Search: the query box's matching over the whole directory.
//
// A query that starts with an ASCII digit is a Digit search: the record matches when its remark or one of its four
// telephone fields holds the query, byte for byte, as a substring. Any other query is a Letter search: the record
// matches when its name, unit or remark holds a window of consecutive byte pairs, starting at an odd byte position
// of the field (1, 3, 5, ...), whose Pinyin code is the query (see pinyinCompare). The window widths tried follow
// from the query's letters: the Character count n and the Width alternatives k (letterShape). The query is used
// exactly as given: it is never trimmed or lower-cased.
namespace telvane::query {

// Character count n and Width alternatives k of a Letter search: windows of n, n+1, ... n+k-1 characters are tried.
// Every lower-case vowel final in the query (ai ei ao ou an en er, overlapping occurrences all counted, and ang,
// which also holds an) stands for one character fewer; ao an en er and ang each add one wider window.
struct LetterShape
{
    int n = 0;
    int k = 1;
};
LetterShape letterShape(std::string_view query);

enum class QueryKind { Empty, Digit, Letter };
// Empty for an empty query, Digit when the first byte is an ASCII digit, Letter otherwise.
QueryKind queryKind(std::string_view query);

// What a Digit search needs to know of a record before reading its fields: which digits 0-9 (bits 100-109) and which
// two-digit pairs "00".."99" (bits 0-99) occur in its remark and telephone fields, pairs counted inside one field.
// A record can hold a query only if its signature covers the query's; for a query of one or two digits covering is
// the answer, for longer ones the fields of the covering records are read.
struct DigitSignature
{
    std::uint64_t low = 0;
    std::uint64_t high = 0;

    void set(unsigned bit)
    {
        // Without a branch: the bit's word is picked by arithmetic, as digits come in no predictable order.
        const std::uint64_t one = std::uint64_t {1} << (bit % 64);
        const std::uint64_t inHigh = 0 - static_cast<std::uint64_t>(bit / 64);
        low |= one & ~inHigh;
        high |= one & inHigh;
    }
    void addField(std::string_view text);
    bool covers(const DigitSignature& wanted) const
    {
        return ((low & wanted.low) == wanted.low) & ((high & wanted.high) == wanted.high);
    }
    // The signature every record holding `query` has.
    static DigitSignature of(std::string_view query);
    // Whether covering the signature of `query` is the same as holding it: one digit, or two digits.
    static bool isExact(std::string_view query);
};

// Which runs of three digits occur in a record's remark and telephone fields, hashed into 128 bits: consulted for
// queries of three digits or more, whose candidates by pairs alone are still many.
struct DigitTriples
{
    std::uint64_t low = 0;
    std::uint64_t high = 0;

    void addField(std::string_view text);
    bool covers(const DigitTriples& wanted) const
    {
        return ((low & wanted.low) == wanted.low) & ((high & wanted.high) == wanted.high);
    }
    bool empty() const { return (low | high) == 0; }
    static DigitTriples of(std::string_view query);
};

// The instruction set the scan uses. Best picks the widest one the processor has; tests force each in turn.
enum class ScanPath { Best, Scalar, Sse, Avx2 };
// How a Letter search finds its records after the class scan: candidate by candidate when they are few (Candidates),
// record by record when they are many (Records); or without the scan, from each record's set of codes (Codes), which
// pays when few records can hold the query. Auto chooses by counts; tests force each in turn.
enum class SearchWalk { Auto, Candidates, Records, Codes };

// Runs Search and keeps the Result list: the ascending 1-based record numbers of the matching records.
//
// The searcher keeps an index of the store's fields in step with the store: records added at the end are indexed on
// the next search, and a reload of the store (a new generation) rebuilds the index.
class Searcher
{
public:
    Searcher();
    ~Searcher();
    Searcher(const Searcher&) = delete;
    Searcher& operator=(const Searcher&) = delete;

    const std::vector<std::int32_t>& search(std::string_view queryGbk, store::DirectoryStore& store);
    // `generation` identifies the content of `columns`: the same generation with more records means records were
    // appended; any other change must come with a new generation.
    const std::vector<std::int32_t>& search(std::string_view queryGbk, const store::Columns& columns,
                                            std::uint64_t generation);
    const std::vector<std::int32_t>& results() const { return m_results; }
    void clearResults() { m_results.clear(); }

    // Drops the index; the next search builds it anew.
    void resetIndex();
    void setScanPath(ScanPath path);
    // The path in use (never Best): Best resolves to the widest the processor supports.
    ScanPath scanPath() const { return m_path; }
    static bool supported(ScanPath path);
    void setWalk(SearchWalk walk) { m_walk = walk; }
    SearchWalk walk() const { return m_walk; }

private:
    void sync(const store::Columns& columns, std::uint64_t generation);
    void indexRecords(const store::Columns& columns, std::size_t from, std::size_t to);
    void letterSearch(std::string_view query, const store::Columns& columns);
    void digitSearch(std::string_view query, const store::Columns& columns);
    void plainLetterSearch(std::string_view query, LetterShape shape, const store::Columns& columns);

    std::vector<std::int32_t> m_results;
    ScanPath m_path;
    SearchWalk m_walk = SearchWalk::Auto;
    std::vector<std::uint64_t> m_bitmap; // candidate positions of the current search

    // Index: per record, the pinyin classes of the byte pairs of the name, unit and remark, each field followed by
    // class 0 (no code), so no window runs across fields. The buffer carries zero padding past its logical size for
    // wide loads.
    std::vector<std::uint8_t> m_letters;
    std::vector<std::uint32_t> m_letterStarts {0};
    // Per record, which codes its characters in those fields have (one bit per code).
    std::vector<std::uint64_t> m_letterCodes;
    std::array<std::size_t, 64> m_codeCounts {}; // records having each code
    // Per record, which digits and which pairs of adjacent digits its remark and telephone fields hold; and those
    // fields back to back, each closed by a zero byte, read only for records whose signature fits the query.
    std::vector<DigitSignature> m_digitSignatures;
    std::vector<DigitTriples> m_digitTriples;
    std::vector<std::uint8_t> m_digits;
    std::vector<std::uint32_t> m_digitStarts {0};
    std::size_t m_digitSize = 0;
    std::size_t m_letterSize = 0;
    std::size_t m_indexed = 0;
    std::uint64_t m_generation = 0;
    bool m_hasIndex = false;
};

} // namespace telvane::query
