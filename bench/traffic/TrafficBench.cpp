#include "traffic/AutoReply.h"
#include "traffic/ReceiveArea.h"

#include <benchmark/benchmark.h>

#include <random>
#include <string>
#include <vector>

namespace {

constexpr std::size_t kBatch = 1024;

std::vector<unsigned char> RandomBytes(std::size_t count)
{
    std::mt19937 generator(42);
    std::uniform_int_distribution<int> byte(0, 255);
    std::vector<unsigned char> bytes(count);
    for (unsigned char& b : bytes) {
        b = static_cast<unsigned char>(byte(generator));
    }
    return bytes;
}

// One receive notification's work on the model: a full 1024-byte read appended, then the
// clearing rules (with auto-clear off, so the area cycles up to 30000 bytes like a flood does).
void ReceiveBatch(benchmark::State& state, bool hex)
{
    const std::vector<unsigned char> batch = RandomBytes(kBatch);
    ReceiveArea area;
    for (auto _ : state) {
        area.AppendBytes(batch.data(), batch.size(), hex);
        benchmark::DoNotOptimize(area.ApplyClearingRules(false));
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * kBatch));
}

void BM_ReceiveBatchText(benchmark::State& state) { ReceiveBatch(state, false); }
void BM_ReceiveBatchHex(benchmark::State& state) { ReceiveBatch(state, true); }

// 100 rules, only the last one matching, over a full buffer of 1024 bytes.
void BM_FindFiringRuleLastOfHundred(benchmark::State& state)
{
    const bool hex = state.range(0) != 0;
    std::vector<unsigned char> received(kBatch, 0x55);
    received[kBatch - 3] = 0x01;
    received[kBatch - 2] = 0x03;
    received[kBatch - 1] = 0x00;
    RuleList rules;
    for (int i = 0; i < 99; ++i) {
        const std::string pattern = hex ? "7E 7E " + std::to_string(10 + i) : "~~" + std::to_string(i);
        rules.push_back(std::make_unique<ProtocolRule>(ProtocolRule{"r" + std::to_string(i), pattern, "", hex, 0}));
    }
    rules.push_back(std::make_unique<ProtocolRule>(ProtocolRule{"Q", hex ? "01 03 00" : "\x01\x03", "AA", hex, 1}));
    for (auto _ : state) {
        benchmark::DoNotOptimize(FindFiringRule(rules, received.data(), received.size()));
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * kBatch));
}

} // namespace

BENCHMARK(BM_ReceiveBatchText);
BENCHMARK(BM_ReceiveBatchHex);
BENCHMARK(BM_FindFiringRuleLastOfHundred)->Arg(0)->Arg(1)->ArgName("hex");
