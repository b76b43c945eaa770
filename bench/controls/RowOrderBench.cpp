#include <benchmark/benchmark.h>

#include <random>
#include <string>
#include <vector>

#include "controls/RowOrder.h"

namespace {

enum class Kind { Numbers, Decimals, Words };

std::vector<std::string> MakeTexts(Kind kind, int count)
{
    std::mt19937 random(42);
    std::vector<std::string> texts;
    texts.reserve(static_cast<std::size_t>(count));
    for (int k = 0; k < count; ++k) {
        switch (kind) {
        case Kind::Numbers:
            texts.push_back(std::to_string(random() % 1000000));
            break;
        case Kind::Decimals:
            texts.push_back(std::to_string(random() % 10000) + "." + std::to_string(random() % 100) + "%");
            break;
        case Kind::Words: {
            std::string word;
            for (int letter = 0; letter < 8; ++letter)
                word += static_cast<char>('g' + random() % 20);
            texts.push_back(word);
            break;
        }
        }
    }
    return texts;
}

// Reads the column and sorts it, as one sort of the list does.
void SortColumn(benchmark::State& state, Kind kind)
{
    const int count = static_cast<int>(state.range(0));
    const std::vector<std::string> texts = MakeTexts(kind, count);
    for (auto _ : state) {
        ColumnOrder order(texts, {});
        std::vector<int> entries(texts.size());
        for (int k = 0; k < count; ++k)
            entries[static_cast<std::size_t>(k)] = k;
        QuickSortEntries(entries, true, [&order](int a, int b) {
            return order.Compare(static_cast<std::size_t>(a), static_cast<std::size_t>(b));
        });
        benchmark::DoNotOptimize(entries.data());
    }
    state.SetItemsProcessed(state.iterations() * count);
}

void BM_SortNumberColumn(benchmark::State& state) { SortColumn(state, Kind::Numbers); }
void BM_SortDecimalColumn(benchmark::State& state) { SortColumn(state, Kind::Decimals); }
void BM_SortWordColumn(benchmark::State& state) { SortColumn(state, Kind::Words); }

} // namespace

BENCHMARK(BM_SortNumberColumn)->Arg(10000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SortDecimalColumn)->Arg(10000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SortWordColumn)->Arg(10000)->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
