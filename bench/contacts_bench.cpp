// Contacts at full size: finding the records of a million-record directory that repeat an earlier one (the list
// editor's 查找重复), the incoming rows of an import that repeat stored records, and a directory written as vCards
// and read back.
#include "bench/directory_data.h"
#include "contacts/duplicates.h"
#include "contacts/vcard_reader.h"
#include "contacts/writers.h"
#include "text/gbk.h"

#include <benchmark/benchmark.h>

using namespace telvane;

namespace {

const std::vector<store::Record>& directory()
{
    static const std::vector<store::Record> records = bench::directoryRecords(1'000'000);
    return records;
}

contacts::FieldViews views(const store::Record& record)
{
    return {record[0], record[1], record[2], record[3], record[4], record[5], record[6]};
}

void findRepeats(benchmark::State& state)
{
    const auto count = static_cast<std::size_t>(state.range(0));
    const std::span<const store::Record> records(directory().data(), count);
    for (auto _ : state) {
        benchmark::DoNotOptimize(contacts::findRepeats(records));
    }
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations() * count));
}
BENCHMARK(findRepeats)->Arg(100'000)->Arg(1'000'000)->Unit(benchmark::kMillisecond);

// An import of 100,000 rows (half of them stored already) against a store of a million records: the index is built
// as the store's scan hands the records over, then every row is looked up.
void storedRepeats(benchmark::State& state)
{
    const std::vector<store::Record>& stored = directory();
    std::vector<store::Record> incoming(stored.end() - 50'000, stored.end());
    const std::vector<store::Record> fresh = bench::directoryRecords(50'000, 7);
    incoming.insert(incoming.end(), fresh.begin(), fresh.end());
    for (auto _ : state) {
        contacts::DuplicateIndex index;
        for (const store::Record& record : stored) {
            index.add(views(record));
        }
        benchmark::DoNotOptimize(contacts::findStoredRepeats(index, incoming));
    }
}
BENCHMARK(storedRepeats)->Unit(benchmark::kMillisecond);

void vcardOutAndIn(benchmark::State& state)
{
    QList<contacts::RecordTexts> records;
    for (int i = 0; i < 100'000; ++i) {
        contacts::RecordTexts texts;
        for (std::size_t k = 0; k < texts.size(); ++k) {
            texts[k] = text::fromGbk(directory()[static_cast<std::size_t>(i)][k]);
        }
        records.append(texts);
    }
    const contacts::PhoneticReading reading = [](QStringView text, bool) {
        return QStringList(text.size(), QStringLiteral("pin"));
    };
    for (auto _ : state) {
        const QByteArray file = contacts::writeVCards(records, reading);
        benchmark::DoNotOptimize(contacts::readVCards(file));
    }
}
BENCHMARK(vcardOutAndIn)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
