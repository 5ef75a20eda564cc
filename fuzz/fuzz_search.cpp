// The Pinyin comparison and Search on small directories and queries built from the input.
//
// The input is read as a little program: a query made of pieces (letters, vowel finals, whole syllables, Chinese
// characters, full-width letters, digits, blanks, any byte), then records whose fields are made of pieces (common and
// vowel-initial Chinese characters, characters with several readings, ASCII, stray lead bytes, GBK characters with a
// low second byte, four-byte characters, full-width letters, NUL and LF). Every scan path and walk of the fast search
// must give the lists of the step-by-step reference over an index streamed from the records, also after records are
// appended to it and after it is emptied and filled again; so must a searcher over the records' columns, which keeps
// its own index in step; pinyinCompare must agree with a recursive reading of the codes.
//
// The index and the searchers live across inputs, as in the program: the index is emptied and refilled, which is
// what makes an input cheap, and each stage runs the reference once for all searchers.
#include "query/pinyin.h"
#include "query/search.h"
#include "query/search_internal.h"
#include "query/tests/reference_search.h"
#include "store/directory_store.h"
#include "text/gbk.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

using namespace telvane;

namespace {

class Reader
{
public:
    Reader(const std::uint8_t* data, std::size_t size)
        : m_data(data)
        , m_size(size)
    { }
    bool empty() const { return m_at >= m_size; }
    unsigned byte() { return m_at < m_size ? m_data[m_at++] : 0; }
    unsigned below(unsigned n) { return n == 0 ? 0 : byte() % n; }

private:
    const std::uint8_t* m_data;
    std::size_t m_size;
    std::size_t m_at = 0;
};

std::vector<std::string> gbkCharacters(const char* utf8)
{
    const std::string bytes = text::utf8ToGbk(utf8);
    std::vector<std::string> out;
    for (std::size_t i = 0; i + 1 < bytes.size(); i += 2) {
        out.push_back(bytes.substr(i, 2));
    }
    return out;
}

const std::vector<std::string>& chineseCharacters()
{
    static const std::vector<std::string> chars = gbkCharacters(
        "张王李赵刘陈杨黄周吴徐孙胡朱高林何郭马罗梁宋郑谢韩唐冯于董萧程曹单解区查仇朴盖覃尉乐缪重长行中国北京"
        "上海广州市局公司大学医院银行阿爱安昂二欧哦额恩鞥饿鄂奥傲儿而耳尔偶殴呕鸥按岸暗案凹熬袄恶俄娥峨蛾讹摁"
        "人能源三五六七八九十明华建平志伟芳娜秀英敏静丽强磊军洋勇艳杰");
    return chars;
}

std::string piece(Reader& in)
{
    const unsigned kind = in.below(16);
    switch (kind) {
        case 0:
            return std::string(1, static_cast<char>(0x20 + in.below(0x5F))); // ASCII: letters, digits, blanks
        case 1:
            return std::string(1, static_cast<char>('0' + in.below(10)));
        case 2:
            return std::string(1, static_cast<char>(0x81 + in.below(0x7E))); // a stray lead byte
        case 3: // a GBK character whose second byte is below 0x80
            return {static_cast<char>(0x81 + in.below(0x20)), static_cast<char>(0x40 + in.below(0x3F))};
        case 4: // a GB18030 four-byte character
            return {static_cast<char>(0x81 + in.below(4)), static_cast<char>(0x30 + in.below(10)),
                    static_cast<char>(0x81 + in.below(0x7E)), static_cast<char>(0x30 + in.below(10))};
        case 5: // a full-width letter
            return {static_cast<char>(0xA3),
                    static_cast<char>(in.below(2) ? 0xC1 + in.below(26) : 0xE1 + in.below(26))};
        case 6:
            return std::string(1, in.below(2) ? '\0' : '\n');
        case 7: // any double byte
            return {static_cast<char>(in.byte()), static_cast<char>(in.byte())};
        default: {
            const auto& chars = chineseCharacters();
            return chars[in.below(static_cast<unsigned>(chars.size()))];
        }
    }
}

void field(Reader& in, std::size_t maxBytes, std::string& s)
{
    s.clear();
    const std::size_t bytes = in.below(static_cast<unsigned>(maxBytes + 1));
    while (s.size() < bytes && !in.empty()) {
        s += piece(in);
    }
}

std::string makeQuery(Reader& in)
{
    static const char* const pieces[] = {"z",   "w",   "l",     "c",   "y",  "h",    "s",   "j",    "d",    "g",  "x",
                                         "t",   "a",   "e",     "o",   "ai", "ei",   "ao",  "ou",   "an",   "en", "er",
                                         "ang", "eng", "q",     "b",   "m",  "n",    "r",   "f",    "k",    "p",  " ",
                                         "Z",   "A",   "zhang", "san", "li", "wang", "zh",  "chen", "shan", "ou", "qu",
                                         "xie", "lv",  "nv",    "ng",  "hm", "yue",  "zeng"};
    std::string q;
    const unsigned count = 1 + in.below(8);
    for (unsigned i = 0; i < count; ++i) {
        const unsigned k = in.below(64);
        if (k < std::size(pieces)) {
            q += pieces[k];
        } else if (k < 56) {
            q += static_cast<char>('0' + in.below(10));
        } else if (k < 60) {
            const auto& chars = chineseCharacters();
            q += chars[in.below(static_cast<unsigned>(chars.size()))];
        } else if (k < 62) {
            q += piece(in);
        } else {
            q += static_cast<char>(in.byte());
        }
    }
    return q;
}

// Whether `letters` are one code per byte pair of `candidate`, read recursively from the code lists.
bool spells(std::string_view letters, std::string_view candidate)
{
    if (candidate.empty()) {
        return letters.empty();
    }
    for (std::string_view code : query::pinyinCodes(candidate.substr(0, 2))) {
        if (letters.substr(0, code.size()) == code && spells(letters.substr(code.size()), candidate.substr(2))) {
            return true;
        }
    }
    return false;
}

int slowCompare(std::string_view letters, std::string_view candidate, bool foldCase)
{
    if (letters.empty() || candidate.empty() || candidate.size() % 2 != 0) {
        return 0;
    }
    std::string folded(letters);
    if (foldCase) {
        for (char& c : folded) {
            if (c >= 'A' && c <= 'Z') {
                c = static_cast<char>(c - 'A' + 'a');
            }
        }
    }
    return spells(folded, candidate) ? 1 : 0;
}

void fail(const char* what, std::string_view q)
{
    std::fprintf(stderr, "fuzz_search: %s; query:", what);
    for (unsigned char c : q) {
        std::fprintf(stderr, " %02x", c);
    }
    std::fprintf(stderr, "\n");
    std::abort();
}

struct Knobs
{
    query::ScanPath path;
    query::SearchWalk walk;
};

// Every scan path the processor has with every way of finding the records.
std::vector<Knobs> allKnobs()
{
    std::vector<Knobs> out;
    for (auto path : {query::ScanPath::Scalar, query::ScanPath::Sse, query::ScanPath::Avx2, query::ScanPath::Avx512}) {
        if (!query::SearcherKnobs::supported(path)) {
            continue;
        }
        for (auto walk : {query::SearchWalk::Auto, query::SearchWalk::Candidates, query::SearchWalk::Records}) {
            out.push_back({path, walk});
        }
    }
    // The lists are read the same way on every path.
    out.push_back({query::ScanPath::Best, query::SearchWalk::Postings});
    return out;
}

void addAll(query::SearchIndex& index, const std::vector<store::Record>& records, std::size_t from, std::size_t to)
{
    for (std::size_t i = from; i < to; ++i) {
        index.add(records[i]);
    }
}

// The searcher over the index in every way, and over the columns, against the expected list.
void compareAll(query::Searcher& searcher, const query::SearchIndex& index, const store::Columns& columns,
                std::uint64_t generation, std::string_view q, const std::vector<std::int32_t>& expected,
                const char* stage)
{
    static const auto knobs = allKnobs();
    for (const Knobs& k : knobs) {
        query::SearcherKnobs::setScanPath(searcher, k.path);
        query::SearcherKnobs::setWalk(searcher, k.walk);
        if (searcher.search(q, index) != expected) {
            fail(stage, q);
        }
    }
    if (searcher.search(q, columns, generation) != expected) {
        fail(stage, q);
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    Reader in(data, size);
    const unsigned queryFrom = in.below(5);
    std::string q = makeQuery(in);

    // Kept across inputs, so that an input costs few allocations.
    static std::vector<store::Record> records;
    static store::Columns columns;
    static store::Columns reloaded;
    const unsigned count = 1 + in.below(12);
    records.resize(count);
    for (store::Record& r : records) {
        field(in, 12, r[0]);
        field(in, 26, r[1]);
        field(in, 34, r[2]);
        for (std::size_t f = 3; f < r.size(); ++f) {
            field(in, 14, r[f]);
        }
    }
    // Queries taken from the records, so that many of them match: a piece of a remark or telephone field (a Digit
    // search when it starts with a digit), or one code of each character of a window of a name, unit or remark.
    if (queryFrom == 1) {
        const auto& f = records[in.below(count)][2 + in.below(5)];
        if (!f.empty()) {
            const std::size_t start = in.below(static_cast<unsigned>(f.size()));
            q = f.substr(start, 1 + in.below(8));
        }
    } else if (queryFrom >= 2) {
        // Characters of a window of a name, unit or remark, each as its code, itself, or (from 3 on) one of its
        // syllables, the last maybe cut short.
        const auto chars = query::reference::characters(records[in.below(count)][in.below(3)]);
        std::string read;
        for (std::size_t at = in.below(static_cast<unsigned>(chars.size() + 1)); at < chars.size(); ++at) {
            const auto codes = query::pinyinCodes(chars[at]);
            const auto syllables = query::pinyinSyllables(chars[at]);
            const unsigned how = in.below(queryFrom == 2 ? 2 : 4);
            if (in.below(5) == 0) {
                break;
            }
            if (how == 0 && !codes.empty()) {
                read += codes[in.below(static_cast<unsigned>(codes.size()))];
            } else if (how >= 2 && !syllables.empty()) {
                const auto syllable = syllables[in.below(static_cast<unsigned>(syllables.size()))];
                read += syllable.substr(0, how == 3 ? 1 + in.below(static_cast<unsigned>(syllable.size()))
                                                    : syllable.size());
            } else {
                read += chars[at];
            }
        }
        if (!read.empty()) {
            q = read;
        }
    }

    // The reference runs once, over all records in reverse order: which part of the list a record is in depends on
    // the record alone, so its parts give the lists of the first records and of all in order.
    const std::size_t total = records.size();
    reloaded.clear();
    for (std::size_t i = total; i-- > 0;) {
        reloaded.push(static_cast<std::int64_t>(total - i), records[i]);
    }
    const auto parts = query::reference::referenceParts(q, reloaded);
    const auto inOrder = [&](const std::vector<std::int32_t>& part, std::size_t upTo) {
        std::vector<std::int32_t> out;
        for (auto it = part.rbegin(); it != part.rend(); ++it) {
            const auto n = static_cast<std::int32_t>(total) + 1 - *it;
            if (static_cast<std::size_t>(n) <= upTo) {
                out.push_back(n);
            }
        }
        return out;
    };
    const auto join = [](std::vector<std::int32_t> a, const std::vector<std::int32_t>& b) {
        a.insert(a.end(), b.begin(), b.end());
        return a;
    };
    const std::vector<std::int32_t> expectedReversed = join(parts.initials, parts.readings);
    const std::vector<std::int32_t> expectedAll = join(inOrder(parts.initials, total), inOrder(parts.readings, total));
    const std::size_t half = total / 2 + 1;
    const std::vector<std::int32_t> expectedHalf = join(inOrder(parts.initials, half), inOrder(parts.readings, half));

    columns.clear();
    for (std::size_t i = 0; i < half; ++i) {
        columns.push(static_cast<std::int64_t>(i + 1), records[i]);
    }
    static query::Searcher searcher;
    // Chunks of 256 bytes, so that records reach the ends of chunks, and lists for runs of four digits held by two
    // records.
    static query::SearchIndex index = query::IndexKnobs::small(8, 2);
    static std::uint64_t generation = 0;
    const std::uint64_t first = ++generation;
    index.clear();
    addAll(index, records, 0, half);
    compareAll(searcher, index, columns, first, q, expectedHalf, "search differs from the reference");
    // Records appended: to the index, and to the columns under the same generation.
    addAll(index, records, half, total);
    for (std::size_t i = half; i < total; ++i) {
        columns.push(static_cast<std::int64_t>(i + 1), records[i]);
    }
    compareAll(searcher, index, columns, first, q, expectedAll, "search after appending differs from the reference");
    // Other content: the index emptied and filled again, the columns reloaded under a new generation.
    index.clear();
    for (std::size_t i = total; i-- > 0;) {
        index.add(records[i]);
    }
    compareAll(searcher, index, reloaded, ++generation, q, expectedReversed,
               "search after a reload differs from the reference");

    // The comparison itself, on every window the first records offer.
    for (std::size_t i = 0; i < records.size() && i < 3; ++i) {
        const std::string& f = records[i][0];
        for (std::size_t start = 0; start < f.size(); start += 2) {
            for (std::size_t len = 2; start + len <= f.size() && len <= 12; len += 2) {
                const std::string_view window = std::string_view(f).substr(start, len);
                for (bool fold : {false, true}) {
                    if (query::pinyinCompare(q, window, fold) != slowCompare(q, window, fold)) {
                        fail(fold ? "pinyinCompare (folding case) differs" : "pinyinCompare differs", q);
                    }
                }
            }
        }
    }
    if (query::pinyinCompare(q, "\xD5\xC5", false, 7) != -1) {
        fail("an unknown mode is not answered with -1", q);
    }
    return 0;
}
