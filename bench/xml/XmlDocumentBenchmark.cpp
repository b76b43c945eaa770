// Parsing, reading and building documents shaped like scheme files with n rules and n send
// items. Each should grow linearly with n.

#include "xml/XmlDocument.h"

#include <benchmark/benchmark.h>

#include <string>

namespace {

// Builds the document the way a scheme export does: always appending at the end.
CXmlDocument BuildScheme(int count)
{
    CXmlDocument document;
    document.SetDocument("<?xml version=\"1.0\" encoding=\"gb2312\"?>\r\n");
    document.AppendElement("XML");
    document.AppendChildElement("ProtocolData");
    document.EnterElement();
    for (int i = 0; i < count; ++i) {
        document.AppendChildElement("Protocol");
        document.SetAttribute(document.ChildPosition(), "Name", "rule " + std::to_string(i) + " \xB9\xE6\xD4\xF2");
        document.EnterElement();
        document.AppendChildElement("Rx");
        document.SetAttribute(document.ChildPosition(), "IsHex", 1);
        document.SetElementText(document.ChildPosition(), "AA 55 " + std::to_string(i % 256));
        document.AppendChildElement("Sx");
        document.SetAttribute(document.ChildPosition(), "IsHex", 0);
        document.SetElementText(document.ChildPosition(), "reply <" + std::to_string(i) + "> & more");
        document.LeaveElement();
    }
    document.LeaveElement();
    document.AppendChildElement("SendData");
    document.SetAttribute(document.ChildPosition(), "Caption", "\xB7\xA2\xCB\xCD\xC4\xDA\xC8\xDD");
    document.EnterElement();
    for (int i = 0; i < count; ++i) {
        document.AppendChildElement("Item");
        document.SetAttribute(document.ChildPosition(), "Caption", "item \"" + std::to_string(i) + "\"");
        document.SetAttribute(document.ChildPosition(), "Data", "01 03 00 00 00 0A");
        document.SetAttribute(document.ChildPosition(), "IsHex", 1);
    }
    document.LeaveElement();
    return document;
}

// Reads every rule and send item back the way a scheme import does.
std::size_t ReadScheme(CXmlDocument& document)
{
    std::size_t bytes = 0;
    document.FindElement("XML");
    if (document.FindChildElement("ProtocolData")) {
        document.EnterElement();
        while (document.FindChildElement("Protocol")) {
            bytes += document.GetChildAttribute("Name").size();
            document.EnterElement();
            if (document.FindChildElement("Rx")) {
                bytes += document.GetChildAttribute("IsHex").size() + document.GetChildText().size();
            }
            if (document.FindChildElement("Sx")) {
                bytes += document.GetChildAttribute("IsHex").size() + document.GetChildText().size();
            }
            document.LeaveElement();
        }
        document.LeaveElement();
    }
    if (document.FindChildElement("SendData")) {
        document.EnterElement();
        while (document.FindChildElement("Item")) {
            bytes += document.GetChildAttribute("Caption").size() + document.GetChildAttribute("Data").size() +
                     document.GetChildAttribute("IsHex").size();
        }
        document.LeaveElement();
    }
    return bytes;
}

void BM_BuildScheme(benchmark::State& state)
{
    std::size_t size = 0;
    for (auto _ : state) {
        const CXmlDocument document = BuildScheme(static_cast<int>(state.range(0)));
        size = document.DocumentText().size();
        benchmark::DoNotOptimize(size);
    }
    state.counters["bytes"] = static_cast<double>(size);
}

void BM_ParseScheme(benchmark::State& state)
{
    const std::string text = BuildScheme(static_cast<int>(state.range(0))).DocumentText();
    CXmlDocument document;
    for (auto _ : state) {
        benchmark::DoNotOptimize(document.SetDocument(text));
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * text.size()));
}

void BM_ParseAndReadScheme(benchmark::State& state)
{
    const std::string text = BuildScheme(static_cast<int>(state.range(0))).DocumentText();
    CXmlDocument document;
    for (auto _ : state) {
        document.SetDocument(text);
        benchmark::DoNotOptimize(ReadScheme(document));
    }
}

}  // namespace

BENCHMARK(BM_BuildScheme)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ParseScheme)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ParseAndReadScheme)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
