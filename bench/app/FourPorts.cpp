// Floods four pseudo-terminals at once: into four main windows of one program (one window per
// port), with the timeline window closed and open, and, as the reference, into four `cat`s in
// the same run. Reports the aggregate rate and its ratio to the cats', the longest event-loop
// block, resident-memory growth and whether every window counted every byte of its port.
//
// Usage: bench_four_ports [megabytes per port, default 25] [runs of each case, default 1]
// Runs offscreen unless QT_QPA_PLATFORM says otherwise (e.g. xcb under Xvfb).

#include <sys/wait.h>

#include <QApplication>
#include <QTemporaryDir>
#include <array>
#include <memory>
#include <vector>

#include "app/SerialDebugDlg.h"
#include "app/WindowGroup.h"
#include "bench/app/BenchSupport.h"

namespace {

constexpr std::size_t kPorts = 4;
constexpr std::size_t kMegabyte = 1024 * 1024;

using Devices = std::array<std::unique_ptr<PseudoTerminal>, kPorts>;

Devices MakeDevices()
{
    Devices devices;
    for (auto& device : devices) {
        device = std::make_unique<PseudoTerminal>(PseudoTerminal::DeviceSide::Blocking);
    }
    return devices;
}

void WriteAll(int fd, std::size_t total)
{
    static const std::string chunk = TrafficChunk();
    for (std::size_t written = 0; written < total;) {
        const ssize_t n = write(fd, chunk.data(), std::min(chunk.size(), total - written));
        if (n <= 0) {
            return;
        }
        written += static_cast<std::size_t>(n);
    }
}

// Writes `total` bytes into each device at once, a thread each.
void FloodAll(const Devices& devices, std::size_t total)
{
    std::vector<std::thread> writers;
    for (const auto& device : devices) {
        writers.emplace_back([&device, total] { WriteAll(device->Master(), total); });
    }
    for (std::thread& writer : writers) {
        writer.join();
    }
}

// Four cats, each reading its pseudo-terminal: the seconds until all have read everything.
double RunCats(std::size_t total)
{
    Devices devices = MakeDevices();
    std::vector<pid_t> cats;
    for (const auto& device : devices) {
        const pid_t child = fork();
        if (child == 0) {
            dup2(device->Slave(), STDIN_FILENO);
            const int null = open("/dev/null", O_WRONLY);
            dup2(null, STDOUT_FILENO);
            execlp("cat", "cat", static_cast<char*>(nullptr));
            _exit(127);
        }
        cats.push_back(child);
        device->CloseSlave();
    }
    const auto start = std::chrono::steady_clock::now();
    FloodAll(devices, total);
    for (const auto& device : devices) {
        tcdrain(device->Master());
        device->CloseMaster();
    }
    for (const pid_t cat : cats) {
        waitpid(cat, nullptr, 0);
    }
    return Seconds(std::chrono::steady_clock::now() - start);
}

FloodMeasure RunWindows(std::size_t total, bool timelineOpen)
{
    Devices devices = MakeDevices();
    QTemporaryDir directory;
    QFile config(QDir(directory.path()).filePath(QStringLiteral("Config.ini")));
    if (!config.open(QIODevice::WriteOnly)) {
        throw std::runtime_error("cannot write Config.ini");
    }
    config.write("[Setting]\r\nPort=0\r\n[Ports]\r\n");
    for (std::size_t port = 0; port < kPorts; ++port) {
        config.write("COM" + QByteArray::number(static_cast<int>(port + 1)) + "=" +
                     QByteArray::fromStdString(devices[port]->SlavePath()) + "\r\n");
    }
    config.close();

    CWindowGroup group(directory.path().toStdString());
    CSerialDebugDlg first(group);
    first.OnInitDialog();
    first.show();
    std::vector<CSerialDebugDlg*> windows{&first};
    for (int port = 2; port <= static_cast<int>(kPorts); ++port) {
        windows.push_back(group.OpenWindow(port));
    }
    if (timelineOpen) {
        group.ShowTimeline(&first);
    }
    QApplication::processEvents();
    for (const CSerialDebugDlg* window : windows) {
        if (!window->IsPortOpen()) {
            throw std::runtime_error("a pseudo-terminal did not open");
        }
    }
    auto counted = [&] {
        std::size_t sum = 0;
        for (const CSerialDebugDlg* window : windows) {
            sum += static_cast<std::size_t>(window->ReceiveCounter());
        }
        return sum;
    };
    FloodMeasure measure = MeasureFloodOf(counted, total * kPorts, [&] { FloodAll(devices, total); });
    for (const CSerialDebugDlg* window : windows) {
        measure.everyByteCounted = measure.everyByteCounted && static_cast<std::size_t>(window->ReceiveCounter()) == total;
    }
    first.MenuCommand(ID_APP_EXIT)->trigger();
    return measure;
}

}  // namespace

int main(int argc, char* argv[])
{
    DrawOffscreenUnlessTold();
    QApplication application(argc, argv);
    const std::size_t megabytes = argc > 1 ? static_cast<std::size_t>(std::max(1, std::atoi(argv[1]))) : 25;
    const int runs = argc > 2 ? std::max(1, std::atoi(argv[2])) : 1;
    const std::size_t total = megabytes * kMegabyte;
    PrintMessagesInstead();

    double catSeconds = RunCats(total);
    for (int run = 1; run < runs; ++run) {
        catSeconds = std::min(catSeconds, RunCats(total));
    }
    const double aggregate = static_cast<double>(megabytes * kPorts);
    std::printf("platform %s, %zu ports x %zu MB\n", qPrintable(QApplication::platformName()), kPorts, megabytes);
    std::printf("%-24s %7.1f MB/s\n", "4 x cat", aggregate / catSeconds);
    bool allCounted = true;
    for (const bool timelineOpen : {false, true}) {
        FloodMeasure measure = RunWindows(total, timelineOpen);
        for (int run = 1; run < runs; ++run) {
            measure = MergeRuns(measure, RunWindows(total, timelineOpen));
        }
        std::printf("%-24s %7.1f MB/s  %5.2f x cat  RSS %+6ld KB  longest block %5.1f ms  %s\n",
                    timelineOpen ? "4 windows, timeline open" : "4 windows", aggregate / measure.seconds,
                    catSeconds / measure.seconds, measure.rssGrowthKb, measure.longestBlockMs,
                    measure.everyByteCounted ? "every byte counted" : "BYTES MISSING");
        std::fflush(stdout);
        allCounted = allCounted && measure.everyByteCounted;
    }
    return allCounted ? 0 : 1;
}
