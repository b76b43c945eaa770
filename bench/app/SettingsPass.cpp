// Times the settings passes of the real main window with a large Config.ini: start-up until the
// window is shown, and closing (which exports Default.pol and writes Config.ini), against the
// same passes with a Config.ini of a few lines measured in the same run. Also times the core's
// load and save of the settings alone.
//
// Usage: bench_settings_pass [megabytes, default 50]

#include <QApplication>
#include <QDir>
#include <QTemporaryDir>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <stdexcept>

#include "app/SerialDebugDlg.h"
#include "app/Settings.h"
#include "bench/app/BenchSupport.h"
#include "platform/WholeFile.h"
#include "tests/support/LargeConfig.h"

namespace {

using Clock = std::chrono::steady_clock;

struct PassTimes {
    double startSeconds = 0;
    double closeSeconds = 0;
    double coreLoadSeconds = 0;
    double coreSaveSeconds = 0;
    bool fileKept = false;  // the closed window's Config.ini still holds the other keys and the saved values
};

void WriteConfig(const std::string& path, const std::string& text)
{
    if (ReplaceWholeFile(path, text)) {
        throw std::runtime_error("cannot write " + path);
    }
}

PassTimes RunPasses(std::size_t megabytes)
{
    PseudoTerminal pty;
    QTemporaryDir directory;
    const std::string config = QDir(directory.path()).filePath(QStringLiteral("Config.ini")).toStdString();
    const std::string text = LargeConfig(megabytes, pty.SlavePath());
    PassTimes times;

    WriteConfig(config, text);
    auto start = Clock::now();
    const WindowSettings settings = LoadSettings(config);
    times.coreLoadSeconds = Seconds(Clock::now() - start);
    start = Clock::now();
    SaveSettings(config, settings);
    times.coreSaveSeconds = Seconds(Clock::now() - start);

    WriteConfig(config, text);
    start = Clock::now();
    auto window = std::make_unique<CSerialDebugDlg>(directory.path().toStdString());
    window->OnInitDialog();
    window->show();
    QApplication::processEvents();
    times.startSeconds = Seconds(Clock::now() - start);
    if (!window->IsPortOpen()) {
        throw std::runtime_error("the pseudo-terminal did not open");
    }
    start = Clock::now();
    window->close();
    times.closeSeconds = Seconds(Clock::now() - start);
    window.reset();

    std::string saved;
    times.fileKept = !ReadWholeFile(config, saved) && saved.size() + 64 > text.size() &&
                     saved.find("InterVal=0\r\n") != std::string::npos && saved.find("COM3=" + pty.SlavePath()) != std::string::npos;
    return times;
}

void Report(const char* name, const PassTimes& times, const PassTimes& reference)
{
    std::printf("%-22s start-up to shown %7.3f s (%6.1f x)  close %7.3f s (%6.1f x)  core load %6.3f s  core save %6.3f s  %s\n",
                name, times.startSeconds, times.startSeconds / reference.startSeconds, times.closeSeconds,
                times.closeSeconds / reference.closeSeconds, times.coreLoadSeconds, times.coreSaveSeconds,
                times.fileKept ? "file kept" : "FILE DAMAGED");
}

}  // namespace

int main(int argc, char* argv[])
{
    DrawOffscreenUnlessTold();
    QApplication application(argc, argv);
    const std::size_t megabytes = argc > 1 ? static_cast<std::size_t>(std::atol(argv[1])) : 50;
    const PassTimes reference = RunPasses(0);
    Report("Config.ini of 8 lines", reference, reference);
    const std::string name = "Config.ini of " + std::to_string(megabytes) + " MB";
    Report(name.c_str(), RunPasses(megabytes), reference);
    return 0;
}
