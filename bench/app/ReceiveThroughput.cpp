// Pushes a fixed volume through a pseudo-terminal into the real main window (text view, then hex
// view) and, as the reference, into `cat` on a pseudo-terminal. Reports throughput, the ratio to
// `cat`, CPU seconds per MB, resident-memory growth, the longest event-loop block and whether
// every byte was counted.
//
// Usage: bench_receive_throughput [megabytes, default 100]

#include <sys/wait.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QTimer>
#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <thread>

#include "app/SerialDebugDlg.h"
#include "bench/app/BenchSupport.h"

namespace {

constexpr std::size_t kMegabyte = 1024 * 1024;

std::string TrafficChunk()
{
    std::string chunk;
    while (chunk.size() < 64 * 1024) {
        for (char c = '!'; c <= '~' && chunk.size() < 64 * 1024; ++c) {
            chunk += c;
            if (chunk.size() % 66 == 64) {
                chunk += "\r\n";
            }
        }
    }
    return chunk.substr(0, 64 * 1024);
}

// Writes `total` bytes to `fd` (blocking) and returns the CPU seconds the writing took.
double WriteAll(int fd, std::size_t total, const std::string& chunk)
{
    const double cpuStart = ThreadCpuSeconds();
    std::size_t written = 0;
    while (written < total) {
        const std::size_t size = std::min(chunk.size(), total - written);
        const ssize_t n = write(fd, chunk.data(), size);
        if (n <= 0) {
            break;
        }
        written += static_cast<std::size_t>(n);
    }
    return ThreadCpuSeconds() - cpuStart;
}

struct Result {
    double seconds = 0;
    double cpuSeconds = 0;
    long rssGrowthKb = 0;
    double longestBlockMs = 0;
    bool everyByteCounted = true;
};

Result RunCat(std::size_t total, const std::string& chunk)
{
    PseudoTerminal pty(PseudoTerminal::DeviceSide::Blocking);
    const pid_t child = fork();
    if (child == 0) {
        pty.CloseMaster();  // cat must see the device side go away at the end
        dup2(pty.Slave(), STDIN_FILENO);
        const int null = open("/dev/null", O_WRONLY);
        dup2(null, STDOUT_FILENO);
        execlp("cat", "cat", static_cast<char*>(nullptr));
        _exit(127);
    }
    pty.CloseSlave();
    const auto start = std::chrono::steady_clock::now();
    WriteAll(pty.Master(), total, chunk);
    tcdrain(pty.Master());
    pty.CloseMaster();
    int status = 0;
    waitpid(child, &status, 0);
    Result result;
    result.seconds = Seconds(std::chrono::steady_clock::now() - start);
    rusage usage{};
    getrusage(RUSAGE_CHILDREN, &usage);
    result.cpuSeconds = static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
                        static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
    return result;
}

Result RunTerminal(std::size_t total, const std::string& chunk, bool hexView)
{
    PseudoTerminal pty(PseudoTerminal::DeviceSide::Blocking);
    QTemporaryDir directory;
    MapCom1(directory.path(), pty.SlavePath(), hexView ? "HexDisplay=1\r\n" : "");
    CSerialDebugDlg window(directory.path().toStdString());
    window.OnInitDialog();
    window.show();
    QApplication::processEvents();
    if (!window.IsPortOpen()) {
        throw std::runtime_error("the pseudo-terminal did not open");
    }

    Result result;
    QElapsedTimer sinceTick;
    QTimer tick;
    QObject::connect(&tick, &QTimer::timeout, [&] {
        result.longestBlockMs = std::max(result.longestBlockMs, static_cast<double>(sinceTick.restart()));
    });
    const long rssBefore = ResidentKilobytes();
    const double cpuBefore = ProcessCpuSeconds();
    const auto start = std::chrono::steady_clock::now();
    sinceTick.start();
    tick.start(1);

    std::atomic<double> writerCpu{0};
    std::thread writer([&] { writerCpu = WriteAll(pty.Master(), total, chunk); });
    auto lastProgress = std::chrono::steady_clock::now();
    int lastCount = 0;
    while (static_cast<std::size_t>(window.ReceiveCounter()) < total) {
        QApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
        if (window.ReceiveCounter() != lastCount) {
            lastCount = window.ReceiveCounter();
            lastProgress = std::chrono::steady_clock::now();
        } else if (Seconds(std::chrono::steady_clock::now() - lastProgress) > 10) {
            result.everyByteCounted = false;
            break;
        }
    }
    result.seconds = Seconds(std::chrono::steady_clock::now() - start);
    writer.join();
    tick.stop();
    result.cpuSeconds = ProcessCpuSeconds() - cpuBefore - writerCpu;
    result.rssGrowthKb = ResidentKilobytes() - rssBefore;
    // The tick's own period is not a block.
    result.longestBlockMs = std::max(0.0, result.longestBlockMs - 1);
    QApplication::processEvents();
    result.everyByteCounted = result.everyByteCounted && static_cast<std::size_t>(window.ReceiveCounter()) == total;
    window.close();
    return result;
}

void Report(const char* name, const Result& result, std::size_t megabytes, double catSeconds)
{
    const double rate = static_cast<double>(megabytes) / result.seconds;
    std::printf("%-14s %8.1f MB/s  %5.2f x cat  %.4f CPU s/MB  RSS %+6ld KB  longest block %5.1f ms  %s\n", name,
                rate, catSeconds / result.seconds, result.cpuSeconds / static_cast<double>(megabytes),
                result.rssGrowthKb, result.longestBlockMs,
                result.everyByteCounted ? "every byte counted" : "BYTES MISSING");
}

}  // namespace

int main(int argc, char* argv[])
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    QApplication application(argc, argv);
    const std::size_t megabytes = argc > 1 ? static_cast<std::size_t>(std::atoi(argv[1])) : 100;
    const std::size_t total = megabytes * kMegabyte;
    const std::string chunk = TrafficChunk();

    const Result cat = RunCat(total, chunk);
    std::printf("%-14s %8.1f MB/s  %.4f CPU s/MB\n", "cat", static_cast<double>(megabytes) / cat.seconds,
                cat.cpuSeconds / static_cast<double>(megabytes));
    const Result text = RunTerminal(total, chunk, false);
    Report("terminal text", text, megabytes, cat.seconds);
    const Result hex = RunTerminal(total, chunk, true);
    Report("terminal hex", hex, megabytes, cat.seconds);
    return text.everyByteCounted && hex.everyByteCounted ? 0 : 1;
}
