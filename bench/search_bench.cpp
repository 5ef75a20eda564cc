// Search speed on a synthetic directory of 100,000 and 1,000,000 entries, one thread.
//
// Each benchmark reports the median time of one Search (the index is built beforehand, as it is after the first
// keystroke), the number of matches, and the ratio to a baseline: one memchr pass over the same field bytes that
// Search reads (name, unit, remark for letters; remark and telephones for digits), i.e. the cost of merely
// touching the data once.
#include "query/search.h"
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

std::vector<std::string> gbkChars(const char* utf8)
{
    const std::string bytes = text::utf8ToGbk(utf8);
    std::vector<std::string> out;
    for (std::size_t i = 0; i + 1 < bytes.size(); i += 2) {
        out.push_back(bytes.substr(i, 2));
    }
    return out;
}

// A deterministic directory: names of 2-4 common characters, units of 4-12, remarks of 0-16 bytes with some ASCII,
// a mobile number on every entry and office, home and PHS numbers on some, 11-13 digits each.
std::unique_ptr<store::Columns> makeDirectory(int size)
{
    const auto surnames =
        gbkChars("王李张刘陈杨黄赵吴周徐孙马朱胡郭何高林罗郑梁谢宋唐许韩冯邓曹彭曾肖田董袁潘于蒋蔡余杜"
                 "叶程苏魏吕丁任沈姚卢姜崔钟谭陆汪范金石廖贾夏韦付方白邹孟熊秦邱江尹薛闫段雷侯龙史"
                 "欧单解区安");
    const auto given = gbkChars("伟芳娜秀英敏静丽强磊军洋勇艳杰娟涛明超秀兰霞平刚桂英华玉萍红娥玲芬建国文辉力鹏志"
                                "宇浩然子轩梓涵一诺欣怡晨阳佳琪思雨嘉豪俊杰天宇二安恩尔");
    const auto unitChars = gbkChars("北京上海广州深圳天津重庆中国人民银行电力公司有限责任科技建设工程大学医院第一二"
                                    "三中学市局区县政府办公室财务部销售服务中心研究所集团股份贸易物流通信移动联通网络"
                                    "信息技术开发实业投资管理咨询教育出版社报社电视台派出所街道社区委员会安全生产");
    std::mt19937 rng(20261208);
    const auto uniform = [&](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); };
    const auto pick = [&](const std::vector<std::string>& v) {
        return v[static_cast<std::size_t>(uniform(0, static_cast<int>(v.size()) - 1))];
    };
    const auto digits = [&](int count) {
        std::string s;
        for (int i = 0; i < count; ++i) {
            s += static_cast<char>('0' + uniform(0, 9));
        }
        return s;
    };
    auto columns = std::make_unique<store::Columns>();
    columns->reserve(static_cast<std::size_t>(size));
    for (int i = 0; i < size; ++i) {
        store::Record r;
        r[0] = pick(surnames);
        for (int c = uniform(1, 3); c > 0; --c) {
            r[0] += pick(given);
        }
        for (int c = uniform(4, 12); c > 0; --c) {
            r[1] += pick(unitChars);
        }
        const int remark = uniform(0, 16);
        while (static_cast<int>(r[2].size()) + 2 <= remark) {
            switch (uniform(0, 5)) {
                case 0:
                    r[2] += digits(uniform(1, 4));
                    break;
                case 1:
                    r[2] += static_cast<char>('A' + uniform(0, 25));
                    break;
                default:
                    r[2] += pick(unitChars);
            }
        }
        if (uniform(0, 99) < 60) {
            r[3] = "0" + digits(uniform(10, 12));
        }
        if (uniform(0, 99) < 40) {
            r[4] = "0" + digits(uniform(10, 12));
        }
        r[5] = "1" + digits(10);
        if (uniform(0, 99) < 20) {
            r[6] = "0" + digits(uniform(10, 12));
        }
        columns->push(i + 1, r);
    }
    return columns;
}

const store::Columns& directory(int size)
{
    static std::map<int, std::unique_ptr<store::Columns>> cache;
    auto& slot = cache[size];
    if (!slot) {
        slot = makeDirectory(size);
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
        for (int f = digit ? 3 : 1; f <= (digit ? 7 : 3); ++f) {
            const auto bytes = columns.fieldBytes(f);
            found += std::memchr(bytes.data(), 0x7F, bytes.size()) != nullptr;
        }
        benchmark::DoNotOptimize(found);
        runs.push_back(std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count());
    }
    std::nth_element(runs.begin(), runs.begin() + 4, runs.end());
    return runs[4];
}

void searchBench(benchmark::State& state, const std::string& query)
{
    const int size = static_cast<int>(state.range(0));
    const auto& columns = directory(size);
    query::Searcher searcher;
    searcher.search(query, columns, 1); // builds the index
    double totalMs = 0;
    for (auto _ : state) {
        const auto start = std::chrono::steady_clock::now();
        benchmark::DoNotOptimize(searcher.search(query, columns, 1).data());
        totalMs += std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
    }
    const bool digit = query::queryKind(query) == query::QueryKind::Digit;
    const double base = baselineMs(columns, digit);
    const double perSearch = totalMs / static_cast<double>(state.iterations());
    state.counters["matches"] = static_cast<double>(searcher.results().size());
    state.counters["baseline_ms"] = base;
    state.counters["ratio"] = perSearch / base;
}

void indexBench(benchmark::State& state)
{
    const auto& columns = directory(static_cast<int>(state.range(0)));
    for (auto _ : state) {
        query::Searcher searcher;
        benchmark::DoNotOptimize(searcher.search("z", columns, 1).data());
    }
}

void registerAll()
{
    const std::vector<std::string> queries {"z",  "zw",  "an",   "ang",   "er",     "bjsds",  "1",
                                            "13", "138", "0371", "13800", "138001", "1380013"};
    for (const auto& q : queries) {
        const std::string name = (query::queryKind(q) == query::QueryKind::Digit ? "Digit/" : "Letter/") + q;
        benchmark::RegisterBenchmark(name.c_str(), searchBench, q)
            ->Arg(100000)
            ->Arg(1000000)
            ->Unit(benchmark::kMillisecond)
            ->Repetitions(5)
            ->ReportAggregatesOnly(true);
    }
    benchmark::RegisterBenchmark("IndexBuild", indexBench)
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
