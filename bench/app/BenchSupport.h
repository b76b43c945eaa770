#pragma once

#include <sys/resource.h>

#include <QApplication>
#include <QByteArray>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTimer>
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <fstream>
#include <stdexcept>
#include <string>
#include <thread>

#include "tests/support/ProcessCounts.h"
#include "tests/support/PseudoTerminal.h"
#include "ui/MessageBox.h"

// Helpers shared by the measuring tools: clocks, memory, the port map.

inline double Seconds(std::chrono::steady_clock::duration duration)
{
    return std::chrono::duration<double>(duration).count();
}

inline double ProcessCpuSeconds()
{
    timespec now{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) / 1e9;
}

inline double ThreadCpuSeconds()
{
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) / 1e9;
}

// The windows draw offscreen unless QT_QPA_PLATFORM names a platform (xcb on Xvfb).
inline void DrawOffscreenUnlessTold()
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
}

// A box would wait for a user who is not there: its text goes to stderr instead.
inline void PrintMessagesInstead()
{
    SetMessageBoxHandler([](QWidget*, const QString& text, MessageButtons, const QString&) {
        std::fprintf(stderr, "message: %s\n", text.toUtf8().constData());
        return QMessageBox::Ok;
    });
}

// Starts the window as the program does and shows it; its port must open.
template <class Window>
void ShowWithPortOpen(Window& window)
{
    window.OnInitDialog();
    window.show();
    QApplication::processEvents();
    if (!window.IsPortOpen()) {
        throw std::runtime_error("the pseudo-terminal did not open");
    }
}

// Writes Config.ini into `directory` so that COM1 is the pseudo-terminal's slave side.
inline void MapCom1(const QString& directory, const std::string& device, const char* extraSettings = "")
{
    QFile config(QDir(directory).filePath(QStringLiteral("Config.ini")));
    if (!config.open(QIODevice::WriteOnly)) {
        throw std::runtime_error("cannot write Config.ini");
    }
    config.write(QByteArray("[Setting]\r\nPort=0\r\n") + extraSettings + "[Ports]\r\nCOM1=" +
                 QByteArray::fromStdString(device) + "\r\n");
}

// 64 KiB of traffic: lines of 64 printable characters.
inline std::string TrafficChunk()
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

// What one flood into the window cost it.
struct FloodMeasure {
    double seconds = 0;
    double cpuSeconds = 0;  // the program's, without the thread that wrote the flood
    long rssGrowthKb = 0;
    double longestBlockMs = 0;  // the longest the event loop was held up
    bool everyByteCounted = false;
};

// Runs `writeFlood` on a thread of its own while the event loop runs as the window's own
// would, until `counted()` reaches `total` or nothing came for 10 s.
template <typename Counted, typename WriteFlood>
FloodMeasure MeasureFloodOf(Counted counted, std::size_t total, WriteFlood writeFlood)
{
    FloodMeasure measure;
    QElapsedTimer sinceTick;
    QTimer tick;
    QObject::connect(&tick, &QTimer::timeout, [&] {
        measure.longestBlockMs = std::max(measure.longestBlockMs, static_cast<double>(sinceTick.restart()));
    });
    const long rssBefore = ResidentKilobytes();
    const double cpuBefore = ProcessCpuSeconds();
    const auto start = std::chrono::steady_clock::now();
    sinceTick.start();
    tick.start(1);
    std::atomic<double> writerCpu{0};
    std::thread writer([&] {
        const double cpuStart = ThreadCpuSeconds();
        writeFlood();
        writerCpu = ThreadCpuSeconds() - cpuStart;
    });
    auto lastProgress = std::chrono::steady_clock::now();
    std::size_t lastCount = 0;
    while (counted() < total) {
        // Waits as the window's own loop would (processEvents with a time limit never waits:
        // it would spin and take a core from what it measures); the tick wakes it at least
        // every millisecond.
        QApplication::processEvents(QEventLoop::WaitForMoreEvents);
        if (counted() != lastCount) {
            lastCount = counted();
            lastProgress = std::chrono::steady_clock::now();
        } else if (Seconds(std::chrono::steady_clock::now() - lastProgress) > 10) {
            break;
        }
    }
    measure.seconds = Seconds(std::chrono::steady_clock::now() - start);
    writer.join();
    tick.stop();
    measure.cpuSeconds = ProcessCpuSeconds() - cpuBefore - writerCpu;
    measure.rssGrowthKb = ResidentKilobytes() - rssBefore;
    measure.longestBlockMs = std::max(0.0, measure.longestBlockMs - 1);  // the tick's own period is no block
    QApplication::processEvents();
    measure.everyByteCounted = counted() == total;
    return measure;
}

// Two runs of one measure: the faster run's speed and CPU, the worse of memory growth and
// block, and whether both counted every byte.
inline FloodMeasure MergeRuns(const FloodMeasure& a, const FloodMeasure& b)
{
    FloodMeasure merged = b.seconds < a.seconds ? b : a;
    merged.rssGrowthKb = std::max(a.rssGrowthKb, b.rssGrowthKb);
    merged.longestBlockMs = std::max(a.longestBlockMs, b.longestBlockMs);
    merged.everyByteCounted = a.everyByteCounted && b.everyByteCounted;
    return merged;
}

// The same for the bytes one window counts.
template <typename Window, typename WriteFlood>
FloodMeasure MeasureFlood(const Window& window, std::size_t total, WriteFlood writeFlood)
{
    const int before = window.ReceiveCounter();
    return MeasureFloodOf([&] { return static_cast<std::size_t>(window.ReceiveCounter() - before); }, total,
                          writeFlood);
}
