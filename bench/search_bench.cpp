// Search speed on a synthetic directory of 100,000 and 1,000,000 entries, one thread.
//
// Each search benchmark reports the median time of one Search over a built index, the number of matches (and of
// those, the initials: the rest only a reading finds), and the ratio to a baseline: one memchr pass over the same field
// bytes that Search reads (name, unit, remark for letters; remark and telephones for digits), i.e. the cost of merely
// touching the data once. IndexBuild streams the records into a new index one at a time, as the program does while
// reading the store, and reports the index's size.
#include "query/search.h"
#include "query/search_internal.h"
#include "store/directory_store.h"
#include "text/gbk.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <map>
#include <memory>
#include <random>
#include <string>
#include <vector>

using namespace telvane;

namespace {

std::vector<std::string> gbkWords(std::initializer_list<const char*> utf8)
{
    std::vector<std::string> out;
    for (const char* w : utf8) {
        out.push_back(text::utf8ToGbk(w));
    }
    return out;
}

std::vector<std::string> gbkChars(const char* utf8)
{
    const std::string bytes = text::utf8ToGbk(utf8);
    std::vector<std::string> out;
    for (std::size_t i = 0; i + 1 < bytes.size(); i += 2) {
        out.push_back(bytes.substr(i, 2));
    }
    return out;
}

// A deterministic directory as people keep one: names of a surname and one or two given characters; units made of
// a city, a trade and a kind of body, some of them branches of the big banks and carriers; remarks empty on half the
// entries, else short notes with some digits and Latin letters; a mobile number on almost every entry, office, home
// and PHS numbers with real area codes on some, a few written with a dash.
class DirectoryMaker
{
public:
    std::unique_ptr<store::Columns> make(int size)
    {
        auto columns = std::make_unique<store::Columns>();
        columns->reserve(static_cast<std::size_t>(size));
        for (int i = 0; i < size; ++i) {
            columns->push(i + 1, record());
        }
        return columns;
    }

private:
    int uniform(int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(m_rng); }
    bool chance(int percent) { return uniform(1, 100) <= percent; }
    const std::string& pick(const std::vector<std::string>& v)
    {
        return v[static_cast<std::size_t>(uniform(0, static_cast<int>(v.size()) - 1))];
    }
    std::string digits(int count)
    {
        std::string s;
        for (int i = 0; i < count; ++i) {
            s += static_cast<char>('0' + uniform(0, 9));
        }
        return s;
    }
    static std::string cut(std::string s, std::size_t width)
    {
        return s.size() <= width ? s : s.substr(0, width & ~std::size_t {1});
    }
    std::string mobile()
    {
        static const char* const prefixes[] = {"130", "131", "132", "133", "135", "136", "137", "138", "139", "150",
                                               "151", "152", "153", "155", "156", "158", "159", "177", "180", "181",
                                               "182", "183", "185", "186", "187", "188", "189", "199"};
        return prefixes[uniform(0, static_cast<int>(std::size(prefixes)) - 1)] + digits(8);
    }
    std::string landline()
    {
        static const char* const areas[] = {"010",  "021",  "020",  "022",  "023",  "024",  "025",  "027",  "028",
                                            "029",  "0371", "0379", "0311", "0431", "0451", "0471", "0531", "0551",
                                            "0571", "0591", "0731", "0755", "0769", "0871", "0898", "0931", "0991"};
        const std::string area = areas[uniform(0, static_cast<int>(std::size(areas)) - 1)];
        const std::string number = digits(area.size() == 3 ? 8 : 7);
        return chance(15) ? area + "-" + number : area + number;
    }
    std::string unit()
    {
        if (chance(20)) {
            return cut(pick(m_banks) + pick(m_cities) + pick(m_branches), 24);
        }
        std::string u = chance(70) ? pick(m_cities) : std::string();
        for (int w = uniform(1, 2); w > 0; --w) {
            u += pick(m_trades);
        }
        return cut(u + pick(m_bodies), 24);
    }
    std::string remark()
    {
        std::string r;
        if (chance(50)) {
            return r;
        }
        for (int pieces = uniform(1, 3); pieces > 0; --pieces) {
            std::string piece;
            switch (uniform(0, 9)) {
                case 0:
                    piece = digits(uniform(1, 4));
                    break;
                case 1:
                    piece = static_cast<char>(chance(50) ? 'A' + uniform(0, 25) : 'a' + uniform(0, 25));
                    break;
                case 2:
                    piece = "QQ" + digits(uniform(6, 9));
                    break;
                default:
                    piece = pick(m_notes);
            }
            if (r.size() + piece.size() > 32) {
                break;
            }
            r += piece;
        }
        return r;
    }
    store::Record record()
    {
        store::Record r;
        r[store::kName] = pick(m_surnames);
        for (int c = chance(70) ? 2 : 1; c > 0; --c) {
            r[store::kName] += pick(m_given);
        }
        r[store::kUnit] = unit();
        r[store::kRemark] = remark();
        r[store::kOffice] = chance(60) ? landline() : std::string();
        r[store::kHome] = chance(35) ? landline() : std::string();
        r[store::kMobile] = chance(95) ? mobile() : std::string();
        r[store::kPhs] = chance(10) ? landline() : std::string();
        return r;
    }

    std::mt19937 m_rng {20261208};
    std::vector<std::string> m_surnames =
        gbkChars("王李张刘陈杨黄赵吴周徐孙马朱胡郭何高林罗郑梁谢宋唐许韩冯邓曹彭曾肖田董袁潘于蒋蔡余杜"
                 "叶程苏魏吕丁任沈姚卢姜崔钟谭陆汪范金石廖贾夏韦付方白邹孟熊秦邱江尹薛闫段雷侯龙史"
                 "欧单解区安");
    std::vector<std::string> m_given = gbkChars("伟芳娜秀英敏静丽强磊军洋勇艳杰娟涛明超兰霞平刚桂华玉萍红娥玲芬建"
                                                "国文辉力鹏志宇浩然子轩梓涵一诺欣怡晨阳佳琪思雨嘉豪俊天二安恩尔");
    std::vector<std::string> m_cities =
        gbkWords({"北京", "上海",   "广州", "深圳", "天津",   "重庆", "郑州", "武汉", "成都", "西安", "南京", "杭州",
                  "洛阳", "石家庄", "长沙", "昆明", "哈尔滨", "沈阳", "济南", "合肥", "福州", "东莞", "海口"});
    std::vector<std::string> m_trades =
        gbkWords({"科技",   "贸易", "建设", "电力", "物流", "信息", "医药", "机械", "电子", "网络", "教育", "文化",
                  "房地产", "汽车", "食品", "化工", "环保", "投资", "咨询", "服务", "实业", "通信", "能源", "安装"});
    std::vector<std::string> m_bodies =
        gbkWords({"有限公司", "有限责任公司", "股份有限公司", "集团", "研究所", "医院", "第一中学", "大学", "分公司",
                  "办事处", "派出所", "设计院", "出版社", "电视台", "街道办", "委员会", "中心", "商行", "工作室"});
    std::vector<std::string> m_banks = gbkWords({"中国工商银行", "中国建设银行", "中国农业银行", "中国银行", "招商银行",
                                                 "中国移动", "中国联通", "中国电信", "中国人寿"});
    std::vector<std::string> m_branches = gbkWords({"分行", "支行", "营业部", "分公司", "营业厅"});
    std::vector<std::string> m_notes = gbkWords(
        {"老同学", "同事", "客户", "供应商", "微信同号", "司机", "房东", "装修", "维修师傅", "表哥", "大姐", "三楼",
         "财务",   "经理", "老乡", "邻居",   "快递",     "医生", "律师", "会计", "生日",     "月",   "日",   "号"});
};

const store::Columns& directory(int size)
{
    static std::map<int, std::unique_ptr<store::Columns>> cache;
    auto& slot = cache[size];
    if (!slot) {
        slot = DirectoryMaker().make(size);
    }
    return *slot;
}

// The records streamed into a new index, as the program does while reading the store.
void buildIndex(const store::Columns& columns, query::SearchIndex& index)
{
    std::array<std::string_view, store::kFieldCount> fields;
    for (std::size_t n = 1; n <= columns.size(); ++n) {
        for (std::size_t f = 0; f < store::kFieldCount; ++f) {
            fields[f] = columns.field(static_cast<int>(n), static_cast<int>(f + 1));
        }
        index.add(fields);
    }
}

const query::SearchIndex& index(int size)
{
    static std::map<int, std::unique_ptr<query::SearchIndex>> cache;
    auto& slot = cache[size];
    if (!slot) {
        slot = std::make_unique<query::SearchIndex>();
        buildIndex(directory(size), *slot);
    }
    return *slot;
}

// One memchr pass over the fields a search of this kind reads, looking for a byte no field holds.
double baselineMs(const store::Columns& columns, bool digit)
{
    std::vector<double> runs;
    for (int run = 0; run < 9; ++run) {
        const auto start = std::chrono::steady_clock::now();
        std::size_t found = 0;
        for (std::size_t f = 0; f < store::kFieldCount; ++f) {
            if (digit ? store::kFields[f].digits : store::kFields[f].letters) {
                const auto bytes = columns.fieldBytes(static_cast<int>(f + 1));
                found += std::memchr(bytes.data(), 0x7F, bytes.size()) != nullptr;
            }
        }
        benchmark::DoNotOptimize(found);
        runs.push_back(std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count());
    }
    std::nth_element(runs.begin(), runs.begin() + 4, runs.end());
    return runs[4];
}

void searchBench(benchmark::State& state, const std::string& utf8)
{
    const std::string query = text::utf8ToGbk(utf8);
    const int size = static_cast<int>(state.range(0));
    const auto& idx = index(size);
    query::Searcher searcher;
    searcher.search(query, idx); // warms the searcher's buffers
    double totalMs = 0;
    for (auto _ : state) {
        const auto start = std::chrono::steady_clock::now();
        benchmark::DoNotOptimize(searcher.search(query, idx).data());
        totalMs += std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
    }
    const bool digit = query::queryKind(query) == query::QueryKind::Digit;
    const double base = baselineMs(directory(size), digit);
    const double perSearch = totalMs / static_cast<double>(state.iterations());
    state.counters["matches"] = static_cast<double>(searcher.results().size());
    state.counters["initials"] = static_cast<double>(searcher.initialsCount());
    state.counters["baseline_ms"] = base;
    state.counters["ratio"] = perSearch / base;
}

void indexBuildBench(benchmark::State& state)
{
    const auto& columns = directory(static_cast<int>(state.range(0)));
    std::size_t bytes = 0;
    for (auto _ : state) {
        query::SearchIndex built;
        buildIndex(columns, built);
        bytes = built.memoryBytes();
        benchmark::DoNotOptimize(bytes);
    }
    state.counters["index_MB"] = static_cast<double>(bytes) / 1e6;
    state.counters["bytes_per_record"] = static_cast<double>(bytes) / static_cast<double>(columns.size());
}

void registerAll()
{
    // Initials: one letter (most records), two letters (a pair of codes; er an also one character), vowel finals that
    // widen the windows, long runs that match a few records or none, and digits from one to eleven, with a dash or
    // a letter, matching most records or none. Char: characters as typed through an input method. Mixed:
    // characters and letters, initials and syllables. Pinyin: whole syllables as they are typed, key by key.
    const std::vector<std::pair<const char*, std::vector<std::string>>> queries {
        {"Initials",
         {"z", "s", "zw", "zg", "er", "an", "ang", "bjs", "zggsyh", "bjsds", "zzzzzzzzzzzzzz", "anganganganang",
          "qwrtypsdfghjkl"}},
        {"Digit", {"1", "0", "13", "138", "0371", "13800", "138001", "13800138000", "99999999", "010-", "3a"}},
        {"Char", {"张", "王", "张伟", "北京", "北京电力"}},
        {"Mixed", {"张w", "北京dl", "zsan", "wangw", "zwei"}},
        {"Pinyin", {"zh", "zhang", "zhangs", "zhangsan", "wang", "wangwei", "li", "liu", "liuyang", "beijing"}},
    };
    for (const auto& [kind, list] : queries) {
        for (const auto& q : list) {
            const std::string name = std::string(kind) + "/" + q;
            benchmark::RegisterBenchmark(name.c_str(), searchBench, q)
                ->Arg(100000)
                ->Arg(1000000)
                ->Unit(benchmark::kMillisecond)
                ->Repetitions(5)
                ->ReportAggregatesOnly(true);
        }
    }
    benchmark::RegisterBenchmark("IndexBuild", indexBuildBench)
        ->Arg(100000)
        ->Arg(1000000)
        ->Unit(benchmark::kMillisecond)
        ->Iterations(3);
}

} // namespace

int main(int argc, char** argv)
{
    registerAll();
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) {
        return 1;
    }
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
