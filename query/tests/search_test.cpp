#include "query/pinyin.h"
#include "query/search.h"
#include "query/search_internal.h"
#include "query/tests/reference_search.h"
#include "store/directory_store.h"
#include "tests/support/test_support.h"
#include "text/gbk.h"

#include <QTemporaryDir>
#include <QTest>

#include <random>

using namespace telvane;
using namespace Qt::StringLiterals;
using Results = std::vector<std::int32_t>;

namespace {

using testing::record;

void fill(store::Columns& columns, const std::vector<store::Record>& records)
{
    for (const auto& r : records) {
        columns.push(static_cast<std::int64_t>(columns.size() + 1), r);
    }
}

using query::reference::referenceSearch;

QByteArray show(std::string_view q)
{
    return QByteArray(q.data(), static_cast<qsizetype>(q.size())).toHex(' ');
}

// ---- generated directories and queries ------------------------------------------------------------------------------

const char* const kCommon = "张王李赵刘陈杨黄周吴徐孙胡朱高林何郭马罗梁宋郑谢韩唐冯于董萧程曹袁邓许傅沈曾彭吕苏卢蒋蔡贾"
                            "丁魏薛叶阎余潘杜戴夏钟汪田任姜范方石姚谭廖邹熊金陆郝孔白崔康毛邱秦江史顾侯邵孟龙万段"
                            "单解区查仇朴盖覃尉乐缪重长行中国北京上海广州市局公司大学医院银行电力科技建设工程有限"
                            "阿爱安昂二欧哦额恩鞥饿人能源三五六七八九十明华建平志伟芳娜秀英敏静丽强磊军洋勇艳杰";
const char* const kVowelChars = "阿爱安昂二欧哦额恩鞥鄂奥傲儿而耳尔偶殴呕鸥按岸暗案凹熬袄恶俄娥峨蛾讹摁";

std::vector<std::string> gbkChars(const char* utf8)
{
    const std::string bytes = text::utf8ToGbk(utf8);
    std::vector<std::string> out;
    for (std::size_t i = 0; i + 1 < bytes.size(); i += 2) {
        out.push_back(bytes.substr(i, 2));
    }
    return out;
}

class Generator
{
public:
    explicit Generator(unsigned seed)
        : m_rng(seed)
        , m_common(gbkChars(kCommon))
        , m_vowels(gbkChars(kVowelChars))
    { }

    int uniform(int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(m_rng); }
    bool chance(int percent) { return uniform(1, 100) <= percent; }
    template<class T>
    const T& pick(const std::vector<T>& v)
    {
        return v[static_cast<std::size_t>(uniform(0, static_cast<int>(v.size()) - 1))];
    }

    std::string chinese(int chars)
    {
        std::string s;
        for (int i = 0; i < chars; ++i) {
            s += chance(15) ? pick(m_vowels) : pick(m_common);
        }
        return s;
    }
    std::string digits(int count)
    {
        std::string s;
        for (int i = 0; i < count; ++i) {
            s += static_cast<char>('0' + uniform(0, 9));
        }
        return s;
    }
    std::string phone() { return chance(25) ? std::string() : digits(uniform(11, 13)); }

    // What a user keeps: Chinese names and units, remarks with some ASCII.
    store::Record realistic()
    {
        store::Record r;
        r[0] = chinese(uniform(2, 4));
        r[1] = chinese(uniform(4, 12));
        const int remarkBytes = uniform(0, 16);
        while (static_cast<int>(r[2].size()) + 1 < remarkBytes) {
            r[2] += chance(25)
                        ? (chance(50) ? digits(uniform(1, 4)) : std::string(1, static_cast<char>('a' + uniform(0, 25))))
                        : chinese(1);
        }
        for (int f = 3; f < 7; ++f) {
            r[static_cast<std::size_t>(f)] = phone();
        }
        return r;
    }

    // One piece of a field as nobody would type it but a store may hold it.
    std::string oddPiece()
    {
        switch (uniform(0, 9)) {
            case 0:
                return std::string(1, static_cast<char>(uniform(0x20, 0x7E))); // ASCII, letters and digits among them
            case 1:
                return std::string(1, static_cast<char>(uniform(0x81, 0xFE))); // a stray lead byte
            case 2: // a GBK character whose second byte is below 0x80
                return {static_cast<char>(uniform(0x81, 0xA0)), static_cast<char>(uniform(0x40, 0x7E))};
            case 3: // a GB18030 four-byte character
                return {static_cast<char>(uniform(0x81, 0x84)), static_cast<char>(uniform(0x30, 0x39)),
                        static_cast<char>(uniform(0x81, 0xFE)), static_cast<char>(uniform(0x30, 0x39))};
            case 4: // a full-width letter
                return {static_cast<char>(0xA3),
                        static_cast<char>(chance(50) ? uniform(0xC1, 0xDA) : uniform(0xE1, 0xFA))};
            case 5:
                return pick(m_vowels);
            case 6:
                return std::string(1, static_cast<char>(uniform(0, 1) ? '\0' : '\n'));
            default:
                return pick(m_common);
        }
    }
    std::string oddField(int maxBytes)
    {
        std::string s;
        const int bytes = uniform(0, maxBytes);
        while (static_cast<int>(s.size()) < bytes) {
            s += oddPiece();
        }
        return s;
    }
    store::Record adversarial()
    {
        store::Record r;
        r[0] = oddField(12);
        r[1] = oddField(26);
        r[2] = oddField(40);
        for (int f = 3; f < 7; ++f) {
            r[static_cast<std::size_t>(f)] = chance(50) ? phone() : oddField(14);
        }
        return r;
    }

    // The code of a random window of some record, so that many queries do match.
    std::string codeFromData(const store::Columns& columns)
    {
        const int n = uniform(1, static_cast<int>(columns.size()));
        const auto field = columns.field(n, uniform(1, 3));
        if (field.size() < 2) {
            return "z";
        }
        const std::size_t chars = static_cast<std::size_t>(uniform(1, 4));
        const std::size_t start = static_cast<std::size_t>(uniform(0, static_cast<int>(field.size() / 2) - 1)) * 2;
        std::string q;
        for (std::size_t i = start; i + 1 < field.size() && i < start + 2 * chars; i += 2) {
            const auto codes = query::pinyinCodes(field.substr(i, 2));
            if (codes.empty()) {
                break;
            }
            q += pick(std::vector<std::string_view>(codes.begin(), codes.end()));
        }
        return q.empty() ? std::string("l") : q;
    }

    // A window of some record read as a person may type it: each character as itself, its code or one of its
    // syllables, the last maybe as the start of one; sometimes with a blank between.
    std::string readingFromData(const store::Columns& columns)
    {
        const auto field = columns.field(uniform(1, static_cast<int>(columns.size())), uniform(1, 3));
        std::vector<std::string> chars = query::reference::characters(field);
        if (chars.empty()) {
            return "zhang";
        }
        const std::size_t start = static_cast<std::size_t>(uniform(0, static_cast<int>(chars.size()) - 1));
        const std::size_t count = std::min<std::size_t>(static_cast<std::size_t>(uniform(1, 4)), chars.size() - start);
        std::string q;
        for (std::size_t i = start; i < start + count; ++i) {
            const auto syllables = query::pinyinSyllables(chars[i]);
            const auto codes = query::pinyinCodes(chars[i]);
            const int how = uniform(0, 3);
            if (how == 0 || (syllables.empty() && codes.empty())) {
                q += chars[i];
            } else if (how == 1 && !codes.empty()) {
                q += pick(std::vector<std::string_view>(codes.begin(), codes.end()));
            } else if (!syllables.empty()) {
                std::string syllable(pick(std::vector<std::string_view>(syllables.begin(), syllables.end())));
                if (i + 1 == start + count && chance(40)) {
                    syllable.resize(static_cast<std::size_t>(uniform(1, static_cast<int>(syllable.size()))));
                }
                q += syllable;
            } else {
                q += chars[i];
            }
            if (chance(10)) {
                q += ' ';
            }
        }
        return q;
    }

    std::string query(const store::Columns& columns)
    {
        static const std::vector<std::string> pieces {"z",   "w",   "l", "c", "y",  "h",  "s",  "j",  "d",  "g",  "x",
                                                      "t",   "a",   "e", "o", "ai", "ei", "ao", "ou", "an", "en", "er",
                                                      "ang", "eng", "q", "b", "m",  "n",  "r",  "f",  "k",  "p"};
        std::string q;
        switch (uniform(0, 12)) {
            case 10:
            case 11:
            case 12:
                q = readingFromData(columns);
                break;
            case 0:
            case 1:
            case 2: {
                const int count = uniform(1, chance(80) ? 4 : 9);
                for (int i = 0; i < count; ++i) {
                    q += pick(pieces);
                }
                break;
            }
            case 3:
            case 4:
                q = codeFromData(columns);
                break;
            case 5: {
                const auto field = columns.field(uniform(1, static_cast<int>(columns.size())), uniform(3, 7));
                if (!field.empty()) {
                    const int start = uniform(0, static_cast<int>(field.size()) - 1);
                    q = std::string(
                        field.substr(static_cast<std::size_t>(start), static_cast<std::size_t>(uniform(1, 7))));
                }
                if (q.empty() || q[0] < '0' || q[0] > '9') {
                    q = digits(uniform(1, 7));
                }
                break;
            }
            case 6:
                q = digits(uniform(1, 4));
                if (chance(30)) {
                    q += static_cast<char>('a' + uniform(0, 25));
                }
                break;
            case 7: // upper case, blanks, digits inside a letter query
                q = codeFromData(columns);
                switch (uniform(0, 3)) {
                    case 0:
                        q[0] = static_cast<char>(q[0] - 'a' + 'A');
                        break;
                    case 1:
                        q.insert(0, 1, ' ');
                        break;
                    case 2:
                        q += ' ';
                        break;
                    default:
                        // One character, not a C string: GCC 12 at -O3 takes inserting a C string for an
                        // overlapping copy (a false -Wrestrict).
                        q.insert(static_cast<std::size_t>(uniform(0, static_cast<int>(q.size()))), 1, '1');
                }
                break;
            default: // any bytes
                for (int i = uniform(1, 14); i > 0; --i) {
                    q += static_cast<char>(chance(50) ? uniform(0x61, 0x7A) : uniform(0, 255));
                }
        }
        if (q.size() > 14 && chance(70)) {
            q.resize(14);
        }
        return q;
    }

private:
    std::mt19937 m_rng;
    std::vector<std::string> m_common;
    std::vector<std::string> m_vowels;
};

// One searcher for every scan path the processor has and every way of finding the records.
std::vector<std::unique_ptr<query::Searcher>> allSearchers()
{
    std::vector<std::unique_ptr<query::Searcher>> out;
    for (auto path : {query::ScanPath::Scalar, query::ScanPath::Sse, query::ScanPath::Avx2, query::ScanPath::Avx512}) {
        if (!query::SearcherKnobs::supported(path)) {
            qWarning("scan path %d is not supported here and is not tested", static_cast<int>(path));
            continue;
        }
        for (auto walk : {query::SearchWalk::Auto, query::SearchWalk::Postings, query::SearchWalk::Candidates,
                          query::SearchWalk::Records}) {
            out.push_back(std::make_unique<query::Searcher>());
            query::SearcherKnobs::setScanPath(*out.back(), path);
            query::SearcherKnobs::setWalk(*out.back(), walk);
        }
    }
    return out;
}

const std::vector<store::Record>& edgeDirectory()
{
    static const std::vector<store::Record> records {
        record({u"张三"_s, {}, {}, u"13800001111"_s}), // 1
        record({u"李张三"_s}), // 2: the run starts at the second character
        record({u"王五"_s, u"中国张三公司"_s}), // 3: the unit holds it
        record({u"张三"_s, u"张三科技"_s}), // 4: name and unit both match
        record({u"二毛"_s, {}, u"编号13a9"_s}), // 5
        record({u"饿人"_s, {}, {}, {}, u"0371"_s}), // 6: e then r
        record({u"爱国"_s}), // 7
        record({u"阿姨"_s}), // 8: a then i is no code
        record({u"昂"_s}), // 9
        record({u"安歌"_s}), // 10
        record({u"阿能高"_s}), // 11
        record({u"赵"_s, {}, {}, {}, {}, {}, u"100"_s}), // 12
        record({{}, {}, u"zs张三"_s}), // 13: ASCII letters before the characters
        record({{}, {}, u"x张三"_s}), // 14: windows start at each character, after one byte too (not at C5C8, 湃 p)
        record({u"Ａｎ"_s}), // 15: full-width letters
        record({{}, {}, {}, {}, {}, u"12345678901"_s}), // 16
        record({{}, {}, u"A座张经理"_s}), // 17
        record({{}, {}, u"3号楼办公室"_s}), // 18: a digit search finds 3号楼; bgs the characters after it
        record({{}, {}, u"VIP客户"_s}), // 19: letters written in the field
        record({u"张伟"_s, u"北京电力"_s}), // 20
        record({u"周山"_s, {}, {}, {}, {}, {}, {}}), // 21: zs as initials, not zhang
        record({u"饿"_s}), // 22: e, which also starts the syllables en, er
    };
    return records;
}

} // namespace

class SearchTest : public QObject
{
    Q_OBJECT

private slots:
    void shape_data();
    void shape();
    void edgeCases_data();
    void edgeCases();
    void crossCheck_data();
    void crossCheck();
    void appendsAndReloads();
    void streamedIndex();
    void overStore();
    void clearResults();
};

void SearchTest::shape_data()
{
    QTest::addColumn<QByteArray>("query");
    QTest::addColumn<int>("n");
    QTest::addColumn<int>("k");
    QTest::newRow("zs") << QByteArray("zs") << 2 << 1;
    QTest::newRow("z") << QByteArray("z") << 1 << 1;
    QTest::newRow("er") << QByteArray("er") << 1 << 2;
    QTest::newRow("ai") << QByteArray("ai") << 1 << 1;
    QTest::newRow("ang: also holds an") << QByteArray("ang") << 1 << 3;
    QTest::newRow("aou: overlapping") << QByteArray("aou") << 1 << 2;
    QTest::newRow("eng") << QByteArray("eng") << 2 << 2;
    QTest::newRow("zhangsan") << QByteArray("zhangsan") << 5 << 4;
    QTest::newRow("AN: upper case is no final") << QByteArray("AN") << 2 << 1;
    QTest::newRow("a n") << QByteArray("a n") << 3 << 1;
}

void SearchTest::shape()
{
    QFETCH(QByteArray, query);
    QFETCH(int, n);
    QFETCH(int, k);
    const auto s = query::letterShape(std::string_view(query.constData(), static_cast<std::size_t>(query.size())));
    QCOMPARE(s.n, n);
    QCOMPARE(s.k, k);
}

void SearchTest::edgeCases_data()
{
    QTest::addColumn<QByteArray>("query");
    QTest::addColumn<Results>("expected");
    const auto gbk = [](const char* utf8) { return QByteArray::fromStdString(text::utf8ToGbk(utf8)); };
    QTest::newRow("empty lists nothing") << QByteArray() << Results {};
    QTest::newRow("0 in remark or phones") << QByteArray("0") << Results {1, 6, 12, 16};
    QTest::newRow("13a literally") << QByteArray("13a") << Results {5};
    QTest::newRow("138 in office") << QByteArray("138") << Results {1};
    QTest::newRow("digits across field ends") << QByteArray("1111") << Results {1};
    QTest::newRow("digits with a blank stay as typed") << QByteArray("13 8") << Results {};
    QTest::newRow("3号楼: a digit search") << gbk("3号楼") << Results {18};
    QTest::newRow("zs anywhere, once, ascending") << QByteArray("zs") << Results {1, 2, 3, 4, 13, 14, 21};
    QTest::newRow("er: one character or e then r") << QByteArray("er") << Results {5, 6};
    QTest::newRow("ai: one character only") << QByteArray("ai") << Results {7};
    QTest::newRow("ang: widths 1 to 3") << QByteArray("ang") << Results {9, 10, 11};
    // 昂 (ang) only reads as the start of a syllable, after the initials
    QTest::newRow("an") << QByteArray("an") << Results {10, 11, 15, 9};
    QTest::newRow("AN: upper case reads as lower") << QByteArray("AN") << Results {10, 11, 15, 9};
    QTest::newRow("one letter") << QByteArray("z") << Results {1, 2, 3, 4, 12, 13, 14, 17, 20, 21};
    // e is the code of 饿 and 阿 (ā, ē), and starts er (二): the initials come first
    QTest::newRow("e: initials, then starts of syllables") << QByteArray("e") << Results {6, 8, 11, 22, 5};
    QTest::newRow("blanks are dropped") << QByteArray(" z s ") << Results {1, 2, 3, 4, 13, 14, 21};
    QTest::newRow("ideographic blank") << gbk("z　s") << Results {1, 2, 3, 4, 13, 14, 21};
    QTest::newRow("full-width letters read as letters") << gbk("ｚｓ") << Results {1, 2, 3, 4, 13, 14, 21};
    QTest::newRow("a blank, then digits: a digit search") << QByteArray(" 138") << Results {1};
    QTest::newRow("z1: a letter and a digit") << QByteArray("z1") << Results {};
    QTest::newRow("characters match themselves") << gbk("张三") << Results {1, 2, 3, 4, 13, 14};
    QTest::newRow("a character and a letter") << gbk("张s") << Results {1, 2, 3, 4, 13, 14};
    QTest::newRow("characters and letters") << gbk("北京dl") << Results {20};
    QTest::newRow("a character alone") << gbk("伟") << Results {20};
    QTest::newRow("after a single-byte character") << QByteArray("zjl") << Results {17};
    QTest::newRow("after a digit") << QByteArray("bgs") << Results {18};
    QTest::newRow("letters in the field") << QByteArray("vip") << Results {19};
    QTest::newRow("no pair across characters") << QByteArray("p") << Results {19};
    // full and mixed pinyin, after the initials
    QTest::newRow("zhangsan") << QByteArray("zhangsan") << Results {1, 2, 3, 4, 13, 14};
    QTest::newRow("zhangs") << QByteArray("zhangs") << Results {1, 2, 3, 4, 13, 14};
    QTest::newRow("zsan") << QByteArray("zsan") << Results {1, 2, 3, 4, 13, 14};
    QTest::newRow("zhangsa") << QByteArray("zhangsa") << Results {1, 2, 3, 4, 13, 14};
    QTest::newRow("zhang: any 张") << QByteArray("zhang") << Results {1, 2, 3, 4, 13, 14, 17, 20};
    QTest::newRow("zh: initials, then any zh syllable")
        << QByteArray("zh") << Results {1, 2, 3, 4, 12, 13, 14, 17, 20, 21};
    QTest::newRow("zhouss: no") << QByteArray("zhouss") << Results {};
    QTest::newRow("zhoushan") << QByteArray("zhoushan") << Results {21};
}

void SearchTest::edgeCases()
{
    QFETCH(QByteArray, query);
    QFETCH(Results, expected);
    store::Columns columns;
    fill(columns, edgeDirectory());
    const std::string_view q(query.constData(), static_cast<std::size_t>(query.size()));
    QCOMPARE(referenceSearch(q, columns), expected);
    for (auto& searcher : allSearchers()) {
        QCOMPARE(searcher->search(q, columns, 1), expected);
        QCOMPARE(searcher->results(), expected);
    }
}

void SearchTest::crossCheck_data()
{
    QTest::addColumn<bool>("adversarial");
    QTest::addColumn<int>("records");
    QTest::addColumn<int>("queries");
    // Under the sanitizers the reference runs tens of times slower; the fuzz target goes on where these stop.
#ifdef __SANITIZE_ADDRESS__
    const int queries = 300;
#else
    const int queries = 1500;
#endif
    QTest::newRow("realistic") << false << 1000 << queries;
    QTest::newRow("adversarial") << true << 800 << queries;
}

void SearchTest::crossCheck()
{
    QFETCH(bool, adversarial);
    QFETCH(int, records);
    QFETCH(int, queries);
    Generator gen(adversarial ? 7 : 3);
    store::Columns columns;
    // An index in small chunks, many of whose ends the records reach, whose runs of four digits get their lists from
    // two or three records on.
    query::SearchIndex index = adversarial ? query::IndexKnobs::small(9, 2) : query::IndexKnobs::small(12, 3);
    for (int i = 0; i < records; ++i) {
        const store::Record r = adversarial ? gen.adversarial() : gen.realistic();
        columns.push(i + 1, r);
        index.add(r);
    }
    const auto searchers = allSearchers();
    int nonEmpty = 0;
    std::size_t readingsFound = 0;
    for (int i = 0; i < queries; ++i) {
        const std::string q = gen.query(columns);
        const Results expected = referenceSearch(q, columns);
        nonEmpty += expected.empty() ? 0 : 1;
        for (auto& s : searchers) {
            const auto& got = s->search(q, index);
            if (got != expected) {
                QFAIL(qPrintable(QStringLiteral("query %1, path %2, walk %3: %4 results, expected %5")
                                     .arg(QString::fromLatin1(show(q)))
                                     .arg(static_cast<int>(query::SearcherKnobs::scanPath(*s)))
                                     .arg(static_cast<int>(query::SearcherKnobs::walk(*s)))
                                     .arg(got.size())
                                     .arg(expected.size())));
            }
        }
        // Record by record, as the query box is answered while the index is built.
        query::RowMatcher rows(q);
        Results initials;
        Results readings;
        for (int n = 1; rows.usable() && n <= static_cast<int>(columns.size()); ++n) {
            std::array<std::string_view, store::kFieldCount> fields;
            for (int f = 1; f <= static_cast<int>(store::kFieldCount); ++f) {
                fields[static_cast<std::size_t>(f - 1)] = columns.field(n, f);
            }
            const auto part = rows.match(fields);
            if (part == query::RowMatcher::Part::Initials) {
                initials.push_back(n);
            } else if (part == query::RowMatcher::Part::Reading) {
                readings.push_back(n);
            }
        }
        initials.insert(initials.end(), readings.begin(), readings.end());
        QVERIFY2(!rows.usable() || initials == expected, qPrintable(QString::fromLatin1(show(q))));
        readingsFound += searchers.front()->results().size() - searchers.front()->initialsCount();
    }
    // The generated queries must exercise matches, not only misses, and records only a reading finds.
    QVERIFY2(nonEmpty > queries / 3, qPrintable(QString::number(nonEmpty)));
    QVERIFY2(readingsFound > 0, "no query found records by reading");
}

void SearchTest::appendsAndReloads()
{
    Generator gen(11);
    store::Columns columns;
    for (int i = 0; i < 300; ++i) {
        columns.push(i + 1, gen.realistic());
    }
    query::Searcher searcher;
    const std::vector<std::string> queries {"z", "zs", "an", "ang", "er", "1", "13", "0371", "wl"};
    for (const auto& q : queries) {
        QCOMPARE(searcher.search(q, columns, 5), referenceSearch(q, columns));
    }
    // Records appended under the same generation are indexed as a tail.
    columns.push(301, record({u"张三"_s, {}, {}, u"0371"_s}));
    for (int i = 0; i < 200; ++i) {
        columns.push(i + 302, gen.realistic());
    }
    QVERIFY(searcher.search("zs", columns, 5).back() >= 301);
    for (const auto& q : queries) {
        QCOMPARE(searcher.search(q, columns, 5), referenceSearch(q, columns));
    }
    // A reload brings other records under a new generation, here as many as before.
    store::Columns reloaded;
    for (int i = 0; i < 501; ++i) {
        reloaded.push(i + 1, gen.adversarial());
    }
    for (const auto& q : queries) {
        QCOMPARE(searcher.search(q, reloaded, 6), referenceSearch(q, reloaded));
    }
    // A smaller store, also under a new generation.
    store::Columns small;
    fill(small, edgeDirectory());
    QCOMPARE(searcher.search("zs", small, 7), (Results {1, 2, 3, 4, 13, 14, 21}));
    store::Columns empty;
    QCOMPARE(searcher.search("z", empty, 8), Results {});
    QCOMPARE(searcher.search("1", empty, 8), Results {});
}

void SearchTest::streamedIndex()
{
    // Built from views that die at once, moved to another owner, emptied and filled again.
    query::SearchIndex built;
    for (const auto& r : edgeDirectory()) {
        const store::Record copy = r;
        built.add(std::array<std::string_view, store::kFieldCount> {copy[0], copy[1], copy[2], copy[3], copy[4],
                                                                    copy[5], copy[6]});
    }
    query::SearchIndex index(std::move(built));
    QCOMPARE(index.size(), edgeDirectory().size());
    query::Searcher searcher;
    QCOMPARE(searcher.search("zs", index), (Results {1, 2, 3, 4, 13, 14, 21}));
    QCOMPARE(searcher.search("1111", index), (Results {1}));
    query::SearchIndex other;
    other.add(record({u"周山"_s, {}, {}, u"0371"_s}));
    index = std::move(other);
    QCOMPARE(searcher.search("zs", index), (Results {1}));
    index.clear();
    QCOMPARE(index.size(), std::size_t {0});
    QCOMPARE(searcher.search("z", index), Results {});
    QCOMPARE(searcher.search("0", index), Results {});
    for (const auto& r : edgeDirectory()) {
        index.add(r);
    }
    // A unit of 64 characters read z, for queries longer than the bit-parallel check takes; a remark of 600 bytes,
    // a record longer than the index keeps in a byte, and one of 200; then more records after them.
    std::string zhang;
    for (int i = 0; i < 64; ++i) {
        zhang += text::utf8ToGbk("张");
    }
    std::string remark;
    for (int i = 0; i < 200; ++i) {
        remark += text::utf8ToGbk("赵") + "7";
    }
    store::Columns columns;
    fill(columns, edgeDirectory());
    fill(columns, {store::Record {"", zhang, "", "", "", "", ""}, store::Record {"", "", remark, "0371", "", "", ""},
                   store::Record {"", "", std::string(200, 'a'), "", "", "", ""}});
    fill(columns, edgeDirectory());
    const auto edges = static_cast<std::int32_t>(edgeDirectory().size());
    for (std::size_t n = static_cast<std::size_t>(edges) + 1; n <= columns.size(); ++n) {
        index.add(std::array<std::string_view, store::kFieldCount> {
            columns.field(static_cast<int>(n), 1), columns.field(static_cast<int>(n), 2),
            columns.field(static_cast<int>(n), 3), columns.field(static_cast<int>(n), 4),
            columns.field(static_cast<int>(n), 5), columns.field(static_cast<int>(n), 6),
            columns.field(static_cast<int>(n), 7)});
    }
    for (const std::string& q :
         std::vector<std::string> {"z",
                                   "zs",
                                   "er",
                                   "ang",
                                   "an",
                                   "0",
                                   "13a",
                                   "1111",
                                   "p",
                                   "zz",
                                   "77",
                                   "037",
                                   "0371",
                                   "z7z",
                                   "zhao7",
                                   std::string(63, 'z'),
                                   std::string(64, 'z'),
                                   std::string(65, 'z'),
                                   std::string(62, 'z') + "zhan",
                                   std::string(60, 'z') + text::utf8ToGbk("张"),
                                   "zhao7zhao7zhao7zhao7zhao7zhao7zhao7zhao7zhao7zhao7zhao7zhao7zhao"}) {
        QCOMPARE(searcher.search(q, index), referenceSearch(q, columns));
    }
    QCOMPARE(searcher.search(std::string(64, 'z'), index), Results {edges + 1});
    QCOMPARE(searcher.search("zs", index), (Results {1, 2, 3, 4, 13, 14, 21, edges + 4, edges + 5, edges + 6, edges + 7,
                                                     edges + 16, edges + 17, edges + 24}));
    // The same in chunks of 256 bytes, which the long records span, with lists for runs of four digits.
    query::SearchIndex small = query::IndexKnobs::small(8, 2);
    for (std::size_t n = 1; n <= columns.size(); ++n) {
        small.add(std::array<std::string_view, store::kFieldCount> {
            columns.field(static_cast<int>(n), 1), columns.field(static_cast<int>(n), 2),
            columns.field(static_cast<int>(n), 3), columns.field(static_cast<int>(n), 4),
            columns.field(static_cast<int>(n), 5), columns.field(static_cast<int>(n), 6),
            columns.field(static_cast<int>(n), 7)});
    }
    for (const std::string q : {"z", "zs", "zz", "77", "037", "0371", "1111"}) {
        QCOMPARE(searcher.search(q, small), referenceSearch(q, columns));
    }
}

void SearchTest::overStore()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString path = dir.filePath(QStringLiteral("DHB.EDB"));
    QVERIFY(store::DirectoryStore::create(path));
    store::DirectoryStore store;
    QVERIFY(store.open(path));
    query::Searcher searcher;
    QCOMPARE(searcher.search("zs", store), Results {});
    const auto& edge = edgeDirectory();
    QVERIFY(store.appendMany(std::span(edge.data(), 4)));
    QCOMPARE(searcher.search("zs", store), (Results {1, 2, 3, 4}));
    QVERIFY(store.append(record({u"周山"_s, {}, {}, {}, {}, {}, u"0371"_s})));
    QCOMPARE(searcher.search("zs", store), (Results {1, 2, 3, 4, 5}));
    QCOMPARE(searcher.search("037", store), (Results {5}));
}

void SearchTest::clearResults()
{
    store::Columns columns;
    fill(columns, edgeDirectory());
    query::Searcher searcher;
    QCOMPARE(searcher.search("zs", columns, 1).size(), std::size_t {7});
    searcher.clearResults();
    QVERIFY(searcher.results().empty());
    // The empty query replaces the list with nothing rather than leaving the last one.
    searcher.search("zs", columns, 1);
    QVERIFY(searcher.search("", columns, 1).empty());
    QVERIFY(searcher.results().empty());
}

QTEST_GUILESS_MAIN(SearchTest)
#include "search_test.moc"
