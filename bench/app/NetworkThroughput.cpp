// Pushes a fixed volume from a pseudo-terminal through ser2net (on 127.0.0.1, in front of that
// pseudo-terminal) into the real main window, and, as the reference, the same volume through
// the same ser2net into a minimal TCP reader (a process of its own that only reads and counts),
// for raw TCP and for RFC 2217. Each is run several times; reports each run, the best and the
// spread, the ratio of the best window run to the best reader run, the window's CPU seconds per
// MB, memory growth and longest event-loop block, and whether every byte was counted.
//
// Usage: bench_network_throughput [megabytes, default 20] [runs, default 3]

#include <QApplication>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdio>
#include <thread>

#include "bench/app/NetworkBenchSupport.h"

namespace {

constexpr std::size_t kMegabyte = 1024 * 1024;

// Printable text in lines ended by LF alone, so that a Telnet reader that has not agreed to
// 8-bit data would get it unchanged too.
std::string Chunk()
{
    std::string chunk;
    while (chunk.size() < 64 * 1024) {
        for (char c = '!'; c <= '~'; ++c) {
            chunk += c;
        }
        chunk += '\n';
    }
    return chunk.substr(0, 64 * 1024);
}

void WriteVolume(int master, std::size_t total)
{
    const std::string chunk = Chunk();
    for (std::size_t written = 0; written < total;) {
        const ssize_t count = write(master, chunk.data(), std::min(chunk.size(), total - written));
        if (count <= 0) {
            return;
        }
        written += static_cast<std::size_t>(count);
    }
}

// The reference: connects, says so with "!", and reads until `total` data bytes came.
int RunReader(std::uint16_t port, bool telnet, std::size_t total)
{
    MinimalClient client(port, telnet);
    client.Send("!");
    std::string data;
    std::size_t count = 0;
    while (count < total && client.Receive(data)) {
        count += data.size();
        data.clear();
    }
    return count == total ? 0 : 1;
}

// The reader's run counts its time and whether every byte came; the window's, all of it.
using Run = FloodMeasure;

Run MeasureReader(PseudoTerminal& pty, const Ser2netServer& server, Ser2netServer::Mode mode, std::size_t total)
{
    const pid_t reader = StartHelper({"--reader", std::to_string(server.Port()),
                                      IsTelnet(mode) ? "telnet" : "raw", std::to_string(total)});
    Run run;
    if (!AwaitOnDevice(pty.Master(), '!')) {
        kill(reader, SIGKILL);
        waitpid(reader, nullptr, 0);
        return run;
    }
    const auto start = std::chrono::steady_clock::now();
    std::thread writer([&] { WriteVolume(pty.Master(), total); });
    int status = 0;
    waitpid(reader, &status, 0);
    run.seconds = Seconds(std::chrono::steady_clock::now() - start);
    writer.join();
    run.everyByteCounted = WIFEXITED(status) && WEXITSTATUS(status) == 0;
    return run;
}

Run MeasureWindow(PseudoTerminal& pty, const Ser2netServer& server, std::size_t total)
{
    QTemporaryDir directory;
    MapCom1(directory.path(), server.Url());
    CSerialDebugDlg window(directory.path().toStdString());
    window.OnInitDialog();
    window.show();
    if (!WaitUntilOpen(window, pty.Master())) {
        return {};
    }
    const Run run = MeasureFlood(window, total, [&] { WriteVolume(pty.Master(), total); });
    window.close();
    return run;
}

double Rate(const Run& run, std::size_t megabytes) { return static_cast<double>(megabytes) / run.seconds; }

void ReportRuns(const char* name, const std::vector<Run>& runs, std::size_t megabytes)
{
    std::printf("  %-8s", name);
    for (const Run& run : runs) {
        std::printf(" %7.1f", Rate(run, megabytes));
    }
    const auto [slowest, fastest] = std::minmax_element(
        runs.begin(), runs.end(), [](const Run& a, const Run& b) { return a.seconds > b.seconds; });
    std::printf("  MB/s; best %.1f, spread %.1f to %.1f\n", Rate(*fastest, megabytes), Rate(*slowest, megabytes),
                Rate(*fastest, megabytes));
}

const Run& Fastest(const std::vector<Run>& runs)
{
    return *std::min_element(runs.begin(), runs.end(),
                             [](const Run& a, const Run& b) { return a.seconds < b.seconds; });
}

}  // namespace

int main(int argc, char* argv[])
{
    if (argc == 5 && std::string(argv[1]) == "--reader") {
        return RunReader(static_cast<std::uint16_t>(std::atoi(argv[2])), std::string(argv[3]) == "telnet",
                         static_cast<std::size_t>(std::atoll(argv[4])));
    }
    DrawOffscreenUnlessTold();
    QApplication application(argc, argv);
    const std::size_t megabytes = argc > 1 ? static_cast<std::size_t>(std::max(1, std::atoi(argv[1]))) : 20;
    const int runs = argc > 2 ? std::max(1, std::atoi(argv[2])) : 3;
    const std::size_t total = megabytes * kMegabyte;
    std::printf("%zu MB from a pseudo-terminal through ser2net (%s), %d runs each, platform %s\n", megabytes,
                kSer2netOptions, runs, qPrintable(QApplication::platformName()));
    bool allGood = true;
    for (const Ser2netServer::Mode mode : {Ser2netServer::Mode::Raw, Ser2netServer::Mode::Rfc2217}) {
        PseudoTerminal pty(PseudoTerminal::DeviceSide::Blocking);
        const std::unique_ptr<Ser2netServer> started = StartSer2net(pty, mode);
        const Ser2netServer& server = *started;
        std::vector<Run> reader;
        std::vector<Run> window;
        for (int run = 0; run < runs; ++run) {
            reader.push_back(MeasureReader(pty, server, mode, total));
            window.push_back(MeasureWindow(pty, server, total));
        }
        const bool complete = std::all_of(reader.begin(), reader.end(), [](const Run& r) { return r.everyByteCounted; }) &&
                              std::all_of(window.begin(), window.end(), [](const Run& r) { return r.everyByteCounted; });
        const Run& best = Fastest(window);
        const auto worstBlock = std::max_element(window.begin(), window.end(), [](const Run& a, const Run& b) {
            return a.longestBlockMs < b.longestBlockMs;
        });
        const auto mostGrowth = std::max_element(window.begin(), window.end(), [](const Run& a, const Run& b) {
            return a.rssGrowthKb < b.rssGrowthKb;
        });
        std::printf("%s:\n", ModeName(mode));
        ReportRuns("reader", reader, megabytes);
        ReportRuns("window", window, megabytes);
        std::printf("  window/reader %.2f x (best runs)  %.4f CPU s/MB  RSS %+ld KB  longest block %.1f ms  %s\n",
                    Fastest(reader).seconds / best.seconds, best.cpuSeconds / static_cast<double>(megabytes),
                    mostGrowth->rssGrowthKb, worstBlock->longestBlockMs,
                    complete ? "every byte counted" : "BYTES MISSING");
        std::fflush(stdout);
        allGood = allGood && complete;
    }
    return allGood ? 0 : 1;
}
