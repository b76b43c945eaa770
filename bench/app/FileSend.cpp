// Sends a file through a pseudo-terminal with "发送文件" of the real main window and, as the
// reference, with `cat FILE > pty` in the same run; a reader on the device side takes the bytes
// as fast as it can. Reports the rates, their ratio, resident-memory growth and whether every
// byte arrived.
//
// Usage: bench_file_send [megabytes, default 100] [runs of each, default 1]
// Runs offscreen unless QT_QPA_PLATFORM says otherwise (e.g. xcb under Xvfb).

#include <sys/wait.h>

#include <QAction>
#include <QApplication>
#include <QTemporaryDir>

#include "app/SerialDebugDlg.h"
#include "bench/app/BenchSupport.h"
#include "ui/FileDialog.h"

namespace {

constexpr std::size_t kMegabyte = 1024 * 1024;

// Reads the device side on a thread of its own until `total` bytes came or nothing did for 10 s.
class Reader {
public:
    Reader(const PseudoTerminal& device, std::size_t total)
        : thread_([this, &device, total] {
              while (received_ < total) {
                  const std::string piece = device.Read(1 << 16, std::chrono::seconds(10));
                  if (piece.empty()) {
                      return;
                  }
                  received_ += piece.size();
              }
          })
    {
    }
    std::size_t Join()
    {
        thread_.join();
        return received_;
    }

private:
    std::atomic<std::size_t> received_{0};
    std::thread thread_;
};

double RunCat(const std::string& file, std::size_t total)
{
    PseudoTerminal device(PseudoTerminal::DeviceSide::Blocking);
    Reader reader(device, total);
    const auto start = std::chrono::steady_clock::now();
    const pid_t child = fork();
    if (child == 0) {
        const int in = open(file.c_str(), O_RDONLY);
        dup2(in, STDIN_FILENO);
        dup2(device.Slave(), STDOUT_FILENO);
        execlp("cat", "cat", static_cast<char*>(nullptr));
        _exit(127);
    }
    waitpid(child, nullptr, 0);
    const bool whole = reader.Join() == total;
    return whole ? Seconds(std::chrono::steady_clock::now() - start) : -1;
}

struct WindowRun {
    double seconds = -1;
    long rssGrowthKb = 0;
};

WindowRun RunWindow(const std::string& file, std::size_t total)
{
    PseudoTerminal device(PseudoTerminal::DeviceSide::Blocking);
    QTemporaryDir directory;
    MapCom1(directory.path(), device.SlavePath());
    CSerialDebugDlg window(directory.path().toStdString());
    ShowWithPortOpen(window);
    SetFileDialogHandler([&file](QWidget*, const FileDialogRequest&) { return QString::fromStdString(file); });
    WindowRun run;
    const long rssBefore = ResidentKilobytes();
    Reader reader(device, total);
    const auto start = std::chrono::steady_clock::now();
    window.MenuCommand(ID_SEND_FILE)->trigger();  // returns when the send has ended
    const bool whole = reader.Join() == total;
    run.seconds = whole ? Seconds(std::chrono::steady_clock::now() - start) : -1;
    run.rssGrowthKb = ResidentKilobytes() - rssBefore;
    SetFileDialogHandler({});
    window.close();
    return run;
}

}  // namespace

int main(int argc, char* argv[])
{
    DrawOffscreenUnlessTold();
    QApplication application(argc, argv);
    const std::size_t megabytes = argc > 1 ? static_cast<std::size_t>(std::max(1, std::atoi(argv[1]))) : 100;
    const int runs = argc > 2 ? std::max(1, std::atoi(argv[2])) : 1;
    const std::size_t total = megabytes * kMegabyte;
    PrintMessagesInstead();
    QTemporaryDir folder;
    const std::string file = QDir(folder.path()).filePath(QStringLiteral("image.bin")).toStdString();
    {
        std::ofstream out(file, std::ios::binary);
        const std::string chunk = TrafficChunk();
        for (std::size_t written = 0; written < total; written += chunk.size()) {
            out.write(chunk.data(), static_cast<std::streamsize>(std::min(chunk.size(), total - written)));
        }
    }
    double catSeconds = -1;
    WindowRun best;
    for (int run = 0; run < runs; ++run) {
        const double cat = RunCat(file, total);
        catSeconds = catSeconds < 0 || (cat > 0 && cat < catSeconds) ? cat : catSeconds;
        const WindowRun window = RunWindow(file, total);
        if (best.seconds < 0 || (window.seconds > 0 && window.seconds < best.seconds)) {
            best.seconds = window.seconds;
        }
        best.rssGrowthKb = std::max(best.rssGrowthKb, window.rssGrowthKb);
    }
    const double mb = static_cast<double>(megabytes);
    std::printf("platform %s, %zu MB file\n", qPrintable(QApplication::platformName()), megabytes);
    std::printf("%-22s %7.1f MB/s\n", "cat FILE > pty", catSeconds > 0 ? mb / catSeconds : 0.0);
    if (best.seconds < 0) {
        std::printf("发送文件: BYTES MISSING\n");
        return 1;
    }
    std::printf("%-22s %7.1f MB/s  %5.2f x cat  RSS %+6ld KB  every byte arrived\n", "send file", mb / best.seconds,
                catSeconds / best.seconds, best.rssGrowthKb);
    return 0;
}
