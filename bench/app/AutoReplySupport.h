#pragma once

#include <poll.h>
#include <unistd.h>

#include <QApplication>
#include <algorithm>
#include <atomic>
#include <cstdio>
#include <thread>
#include <memory>
#include <string>
#include <vector>

#include "app/SerialDebugDlg.h"
#include "bench/app/BenchSupport.h"

// What the auto-reply measuring tools share: the request and its reply, the 100 rules, the
// round trips timed on the device side, and the report.

inline const std::string kRequest("\x01\x03\x00\x00\x00\x0A", 6);
inline const std::string kReply("\xAA\xBB", 2);

// 100 rules answering kRequest with kReply, the matching one last.
inline void AddHundredRules(CSerialDebugDlg& window)
{
    for (int rule = 0; rule < 100; ++rule) {
        char pattern[32];
        std::snprintf(pattern, sizeof pattern, "FE %02X 00", rule);
        window.GetScheme().AddRule(
            {"rule " + std::to_string(rule), rule == 99 ? "01 03 00 00 00 0A" : pattern, "AA BB", 1, 1});
    }
}

// Sends `count` requests on `master` and returns each round trip in microseconds: from the last
// request byte written to the first reply byte readable.
inline std::vector<double> MeasureRoundTrips(int master, int count)
{
    std::vector<double> micros;
    char buffer[256];
    for (int i = 0; i < count; ++i) {
        if (write(master, kRequest.data(), kRequest.size()) != static_cast<ssize_t>(kRequest.size())) {
            break;
        }
        const auto sent = std::chrono::steady_clock::now();
        pollfd readable{master, POLLIN, 0};
        if (poll(&readable, 1, 2000) <= 0) {
            break;
        }
        const auto answered = std::chrono::steady_clock::now();
        micros.push_back(Seconds(answered - sent) * 1e6);
        // Let the whole reply arrive before the next request.
        std::size_t got = 0;
        while (got < kReply.size() && poll(&readable, 1, 200) > 0) {
            const ssize_t n = read(master, buffer, sizeof buffer);
            if (n <= 0) {
                break;
            }
            got += static_cast<std::size_t>(n);
        }
        usleep(500);
    }
    return micros;
}

// MeasureRoundTrips on `master` while the window's event loop runs; closes the window.
inline std::vector<double> MeasureWindowRoundTrips(CSerialDebugDlg& window, int master, int count)
{
    std::vector<double> micros;
    std::atomic<bool> done{false};
    std::thread client([&] {
        micros = MeasureRoundTrips(master, count);
        done = true;
        // Wakes the loop below from its wait.
        QMetaObject::invokeMethod(QCoreApplication::instance(), [] {}, Qt::QueuedConnection);
    });
    // Waits as the window's own loop would: processEvents with a time limit never waits, so it
    // would spin, take a core from the path measured, and spare the window its wake-ups.
    while (!done) {
        QApplication::processEvents(QEventLoop::WaitForMoreEvents);
    }
    client.join();
    window.close();
    return micros;
}

inline double Percentile(std::vector<double> values, double fraction)
{
    if (values.empty()) {
        return 0;
    }
    std::sort(values.begin(), values.end());
    const auto index = static_cast<std::size_t>(fraction * static_cast<double>(values.size() - 1) + 0.5);
    return values[index];
}

inline void ReportRoundTrips(const char* name, const std::vector<double>& micros, int count)
{
    std::printf("%-34s median %7.1f us  p99 %7.1f us  max %8.1f us  (%zu of %d answered)\n", name,
                Percentile(micros, 0.5), Percentile(micros, 0.99), Percentile(micros, 1.0), micros.size(), count);
    std::fflush(stdout);
}
