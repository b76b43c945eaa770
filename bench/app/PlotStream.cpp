// Streams text lines of three numbers at 10,000 lines a second (paced) through a pseudo-terminal
// into the real main window with "波形显示" open, its time window the longest so that every
// sample held is drawn. Reports the longest the event loop was held up, the lines sent against
// the samples the plot holds (at most its store's bound) and its bad lines, and the growth of
// resident memory.
//
// Usage: bench_plot_stream [seconds, default 60]
// Runs offscreen unless QT_QPA_PLATFORM says otherwise (e.g. xcb under Xvfb).

#include <QApplication>
#include <QComboBox>
#include <QTemporaryDir>
#include <cmath>
#include <cstdlib>
#include <numbers>

#include "app/PlotDlg.h"
#include "app/SerialDebugDlg.h"
#include "bench/app/BenchSupport.h"

namespace {

constexpr int kLinesPerSecond = 10'000;
constexpr std::size_t kStoredAtMost = 1'000'000 / 3;  // a million points in the store, three a line

// A sawtooth, a slow sine and a slower cosine.
std::string Line(int index)
{
    const double turn = 2 * std::numbers::pi * index / kLinesPerSecond;
    char line[64];
    const int size = std::snprintf(line, sizeof line, "%d,%f,%f\n", index % 1000, 500 + 400 * std::sin(turn / 2),
                                   300 * std::cos(turn / 7));
    return std::string(line, static_cast<std::size_t>(size));
}

// Writes lines [0, count) at kLinesPerSecond, catching up each millisecond with what is due.
void SendPaced(const PseudoTerminal& device, int count)
{
    const auto start = std::chrono::steady_clock::now();
    std::string batch;
    for (int sent = 0; sent < count;) {
        const int due = std::min(count, static_cast<int>(Seconds(std::chrono::steady_clock::now() - start) *
                                                         kLinesPerSecond) + 1);
        batch.clear();
        for (; sent < due; ++sent) {
            batch += Line(sent);
        }
        device.Write(batch);
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
}

}  // namespace

int main(int argc, char* argv[])
{
    DrawOffscreenUnlessTold();
    QApplication application(argc, argv);
    PrintMessagesInstead();
    const int seconds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 60;
    const int lines = seconds * kLinesPerSecond;
    std::size_t bytes = 0;
    for (int index = 0; index < lines; ++index) {
        bytes += Line(index).size();
    }

    PseudoTerminal device;
    QTemporaryDir directory;
    MapCom1(directory.path(), device.SlavePath());
    CSerialDebugDlg window(directory.path().toStdString());
    ShowWithPortOpen(window);
    CPlotDlg plot(window.Session(), &window);
    plot.SpanBox()->setCurrentIndex(plot.SpanBox()->count() - 1);
    plot.show();
    QApplication::processEvents();

    const FloodMeasure measure = MeasureFlood(window, bytes, [&] { SendPaced(device, lines); });
    plot.Refresh();
    std::printf("platform %s, %d s at %d lines/s\n", qPrintable(QApplication::platformName()), seconds,
                kLinesPerSecond);
    std::printf("lines sent %d, samples stored %zu (at most %zu), bad lines %llu\n", lines, plot.Store().Size(),
                kStoredAtMost, static_cast<unsigned long long>(plot.BadLines()));
    std::printf("longest event-loop stall %.1f ms, RSS %+ld KB, %s\n", measure.longestBlockMs, measure.rssGrowthKb,
                measure.everyByteCounted ? "every byte counted" : "BYTES MISSING");
    const bool complete = measure.everyByteCounted && plot.BadLines() == 0 &&
                          plot.Store().Size() == std::min(static_cast<std::size_t>(lines), kStoredAtMost);
    return complete ? 0 : 1;
}
