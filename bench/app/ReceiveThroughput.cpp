// Pushes a fixed volume through a pseudo-terminal into the real main window and, as the
// reference, into `cat` on a pseudo-terminal. The window runs the text and the hex view plain,
// with frames and time stamps on, with a raw capture to a file on, and with every option on
// (time stamps, sent frames, UTF-8, a log capture). Reports throughput, the ratio to `cat` and to
// the same view's plain figure, CPU seconds per MB, resident-memory growth, the longest
// event-loop block, whether every byte was counted and whether a raw capture holds exactly the
// bytes sent (by hash).
//
// Usage: bench_receive_throughput [megabytes, default 100] [case name, or a prefix ending in '*']
//                                 [runs of each case, default 1]
// With several runs each figure is the fastest run's (the least disturbed by other work on the
// machine); memory growth and the longest block are the largest of all runs, and a run that
// missed a byte or whose capture differs fails the whole.
// Runs offscreen unless QT_QPA_PLATFORM says otherwise (e.g. xcb under Xvfb).

#include <sys/wait.h>

#include <QApplication>
#include <QTemporaryDir>
#include <algorithm>
#include <optional>
#include <cstdlib>

#include "ui/MessageBox.h"
#include "app/SerialDebugDlg.h"
#include "bench/app/BenchSupport.h"

namespace {

constexpr std::size_t kMegabyte = 1024 * 1024;

// Writes `total` bytes to `fd` (blocking) and returns the CPU seconds the writing took.
void WriteAll(int fd, std::size_t total, const std::string& chunk)
{
    std::size_t written = 0;
    while (written < total) {
        const std::size_t size = std::min(chunk.size(), total - written);
        const ssize_t n = write(fd, chunk.data(), size);
        if (n <= 0) {
            break;
        }
        written += static_cast<std::size_t>(n);
    }
}

// FNV-1a, 64 bits.
class Hash {
public:
    void Add(const char* bytes, std::size_t count)
    {
        for (std::size_t i = 0; i < count; ++i) {
            value_ = (value_ ^ static_cast<unsigned char>(bytes[i])) * 0x100000001B3ULL;
        }
    }
    std::uint64_t Value() const { return value_; }

private:
    std::uint64_t value_ = 0xCBF29CE484222325ULL;
};

std::uint64_t HashOfStream(std::size_t total, const std::string& chunk)
{
    Hash hash;
    for (std::size_t done = 0; done < total; done += chunk.size()) {
        hash.Add(chunk.data(), std::min(chunk.size(), total - done));
    }
    return hash.Value();
}

std::uint64_t HashOfFile(const QString& path)
{
    QFile file(path);
    Hash hash;
    if (file.open(QIODevice::ReadOnly)) {
        while (!file.atEnd()) {
            const QByteArray block = file.read(1 << 20);
            hash.Add(block.constData(), static_cast<std::size_t>(block.size()));
        }
    }
    return hash.Value();
}

struct Case {
    const char* name;
    bool hexView;
    const char* settings;  // further lines of [Setting]
    bool capture;
};

// cat's counts only its time and CPU.
struct Result : FloodMeasure {
    std::optional<bool> captureExact;  // raw captures only
    QString message;                   // a message box the window showed (a capture that failed)
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

Result RunTerminal(std::size_t total, const std::string& chunk, const Case& run)
{
    PseudoTerminal pty(PseudoTerminal::DeviceSide::Blocking);
    QTemporaryDir directory;
    const std::string settings = std::string(run.hexView ? "HexDisplay=1\r\n" : "") + run.settings;
    MapCom1(directory.path(), pty.SlavePath(), settings.c_str());
    CSerialDebugDlg window(directory.path().toStdString());
    ShowWithPortOpen(window);
    Result result;
    // A box would wait for a user who is not there: its text is reported instead.
    SetMessageBoxHandler([&result](QWidget*, const QString& text, MessageButtons, const QString&) {
        result.message = text;
        return QMessageBox::Ok;
    });
    const QString capturePath = directory.filePath(QStringLiteral("capture.log"));
    if (run.capture) {
        window.CaptureWhenPortOpens(capturePath.toStdString());
    }

    static_cast<FloodMeasure&>(result) = MeasureFlood(window, total, [&] { WriteAll(pty.Master(), total, chunk); });
    if (run.capture) {
        window.StopCapture();
        if (std::string(run.settings).find("CaptureFormat=log") == std::string::npos) {
            result.captureExact = HashOfFile(capturePath) == HashOfStream(total, chunk);
        }
    }
    window.close();
    SetMessageBoxHandler({});
    return result;
}

// Two runs of one case: the faster run's speed and CPU, the worse of memory growth, block and
// checks.
Result Merge(const Result& a, const Result& b)
{
    Result merged = b.seconds < a.seconds ? b : a;
    static_cast<FloodMeasure&>(merged) = MergeRuns(a, b);
    merged.message = !a.message.isEmpty() ? a.message : b.message;
    if (a.captureExact || b.captureExact) {
        merged.captureExact = a.captureExact.value_or(true) && b.captureExact.value_or(true);
    }
    return merged;
}

bool Selected(const std::string& name, const std::string& pattern)
{
    if (pattern.empty()) {
        return true;
    }
    if (pattern.back() == '*') {
        return name.rfind(pattern.substr(0, pattern.size() - 1), 0) == 0;
    }
    return name == pattern;
}

void Report(const Case& run, const Result& result, std::size_t megabytes, double catSeconds, double plainSeconds)
{
    const double rate = static_cast<double>(megabytes) / result.seconds;
    const char* capture = !result.captureExact ? "" : *result.captureExact ? "  capture exact" : "  CAPTURE DIFFERS";
    const QByteArray message = result.message.isEmpty() ? QByteArray() : "  MESSAGE: " + result.message.toUtf8();
    std::printf("%-30s %7.1f MB/s  %5.2f x cat  %5.2f x plain  %.4f CPU s/MB  RSS %+6ld KB  longest block %5.1f ms  "
                "%s%s%s\n",
                run.name, rate, catSeconds / result.seconds, plainSeconds / result.seconds,
                result.cpuSeconds / static_cast<double>(megabytes), result.rssGrowthKb, result.longestBlockMs,
                result.everyByteCounted ? "every byte counted" : "BYTES MISSING", capture, message.constData());
    std::fflush(stdout);
}

}  // namespace

int main(int argc, char* argv[])
{
    DrawOffscreenUnlessTold();
    QApplication application(argc, argv);
    const int runs = argc > 3 ? std::max(1, std::atoi(argv[3])) : 1;
    const std::size_t megabytes = argc > 1 ? static_cast<std::size_t>(std::atoi(argv[1])) : 100;
    const std::size_t total = megabytes * kMegabyte;
    const std::string chunk = TrafficChunk();

    const Case cases[] = {
        {"text", false, "", false},
        {"text, frames and time stamps", false, "TimeStamp=1\r\n", false},
        {"text, raw capture to a file", false, "", true},
        {"text, every option on", false, "TimeStamp=1\r\nShowSent=1\r\nTextCodec=UTF-8\r\nCaptureFormat=log\r\n", true},
        {"hex", true, "", false},
        {"hex, frames and time stamps", true, "TimeStamp=1\r\n", false},
        {"hex, raw capture to a file", true, "", true},
        {"hex, every option on", true, "TimeStamp=1\r\nShowSent=1\r\nTextCodec=UTF-8\r\nCaptureFormat=log\r\n", true},
    };

    std::printf("platform %s, %zu MB\n", qPrintable(QApplication::platformName()), megabytes);
    Result cat = RunCat(total, chunk);
    for (int i = 1; i < runs; ++i) {
        cat = Merge(cat, RunCat(total, chunk));
    }
    std::printf("%-30s %7.1f MB/s  %.4f CPU s/MB\n", "cat", static_cast<double>(megabytes) / cat.seconds,
                cat.cpuSeconds / static_cast<double>(megabytes));
    std::fflush(stdout);
    bool allGood = true;
    double plainSeconds = 0;
    const std::string only = argc > 2 ? argv[2] : "";
    for (const Case& run : cases) {
        if (!Selected(run.name, only)) {
            continue;
        }
        Result result = RunTerminal(total, chunk, run);
        for (int i = 1; i < runs; ++i) {
            result = Merge(result, RunTerminal(total, chunk, run));
        }
        if (run.settings[0] == '\0' && !run.capture) {
            plainSeconds = result.seconds;
        }
        Report(run, result, megabytes, cat.seconds, plainSeconds);
        allGood = allGood && result.everyByteCounted && result.captureExact.value_or(true) && result.message.isEmpty();
    }
    return allGood ? 0 : 1;
}
