// Measures auto-reply latency through a pseudo-terminal: the time from the last request byte
// written on the device side to the first reply byte read there, over many requests, for the real
// main window with 100 rules (the matching one last) and, as the reference, a minimal responder
// process written in plain C style on its own pseudo-terminal.
//
// Usage: bench_autoreply_latency [requests, default 1000]

#include <poll.h>
#include <sys/wait.h>

#include <QApplication>
#include <QCheckBox>
#include <QTemporaryDir>
#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <thread>
#include <vector>

#include "app/SerialDebugDlg.h"
#include "bench/app/BenchSupport.h"

namespace {

const std::string kRequest("\x01\x03\x00\x00\x00\x0A", 6);
const std::string kReply("\xAA\xBB", 2);

// Sends `count` requests on `master` and returns each round trip in microseconds.
std::vector<double> MeasureRoundTrips(int master, int count)
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

void RunResponder(int slave)
{
    char buffer[256];
    std::string pending;
    for (;;) {
        const ssize_t n = read(slave, buffer, sizeof buffer);
        if (n <= 0) {
            _exit(0);
        }
        pending.append(buffer, static_cast<std::size_t>(n));
        if (pending.find(kRequest) != std::string::npos) {
            pending.clear();
            if (write(slave, kReply.data(), kReply.size()) < 0) {
                _exit(1);
            }
        }
    }
}

std::vector<double> RunReference(int count)
{
    PseudoTerminal pty(PseudoTerminal::DeviceSide::Blocking);
    const pid_t child = fork();
    if (child == 0) {
        pty.CloseMaster();
        RunResponder(pty.Slave());
    }
    pty.CloseSlave();
    std::vector<double> micros = MeasureRoundTrips(pty.Master(), count);
    kill(child, SIGTERM);
    waitpid(child, nullptr, 0);
    return micros;
}

std::vector<double> RunTerminal(int count, bool hexView)
{
    PseudoTerminal pty(PseudoTerminal::DeviceSide::Blocking);
    QTemporaryDir directory;
    MapCom1(directory.path(), pty.SlavePath(), hexView ? "AutoRecive=1\r\nHexDisplay=1\r\n" : "AutoRecive=1\r\n");
    CSerialDebugDlg window(directory.path().toStdString());
    for (int rule = 0; rule < 100; ++rule) {
        auto entry = std::make_unique<ProtocolRule>();
        entry->Name = "rule " + std::to_string(rule);
        entry->RecvIsHex = 1;
        entry->SendIsHex = 1;
        entry->SendData = "AA BB";
        char pattern[32];
        std::snprintf(pattern, sizeof pattern, "FE %02X 00", rule);
        entry->RecvData = rule == 99 ? "01 03 00 00 00 0A" : pattern;
        window.Rules().push_back(std::move(entry));
    }
    window.OnInitDialog();
    window.show();
    if (!window.IsPortOpen()) {
        throw std::runtime_error("the pseudo-terminal did not open");
    }
    std::vector<double> micros;
    std::atomic<bool> done{false};
    std::thread client([&] {
        micros = MeasureRoundTrips(pty.Master(), count);
        done = true;
    });
    while (!done) {
        QApplication::processEvents(QEventLoop::WaitForMoreEvents, 20);
    }
    client.join();
    window.close();
    return micros;
}

double Percentile(std::vector<double> values, double fraction)
{
    if (values.empty()) {
        return 0;
    }
    std::sort(values.begin(), values.end());
    const auto index = static_cast<std::size_t>(fraction * static_cast<double>(values.size() - 1) + 0.5);
    return values[index];
}

void Report(const char* name, const std::vector<double>& micros, int count)
{
    std::printf("%-26s median %7.1f us  p99 %7.1f us  max %8.1f us  (%zu of %d answered)\n", name,
                Percentile(micros, 0.5), Percentile(micros, 0.99), Percentile(micros, 1.0), micros.size(), count);
}

}  // namespace

int main(int argc, char* argv[])
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    QApplication application(argc, argv);
    const int count = argc > 1 ? std::atoi(argv[1]) : 1000;
    Report("reference responder", RunReference(count), count);
    Report("terminal, 100 rules", RunTerminal(count, false), count);
    Report("terminal, 100 rules, hex", RunTerminal(count, true), count);
    return 0;
}
