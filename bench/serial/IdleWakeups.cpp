// Wake-ups of the port engine while a port is open and nothing happens on it: the monitor
// thread's waits and the context switches of every thread of the process, per second.
//
// Usage: bench_idle_wakeups [device, default a fresh pseudo-terminal] [seconds, default 5]
// A device that answers TIOCMGET (a UART, a USB adapter) shows the cost of watching modem lines.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>

#include "serial/PortEngine.h"
#include "tests/support/PseudoTerminal.h"

namespace {

class QuietSink : public NotificationSink {
public:
    bool IsAlive() const override { return true; }
    void Post(unsigned, int, long) override {}
    void ReportFailure(const std::string&, const std::string&) override {}
};

// Voluntary and involuntary context switches of all threads of this process but the caller.
long OtherThreadsSwitches()
{
    const std::string self = std::to_string(::gettid());
    long total = 0;
    for (const auto& task : std::filesystem::directory_iterator("/proc/self/task")) {
        if (task.path().filename() == self) {
            continue;
        }
        std::ifstream status(task.path() / "status");
        for (std::string line; std::getline(status, line);) {
            if (line.find("ctxt_switches:") != std::string::npos) {
                total += std::stol(line.substr(line.find(':') + 1));
            }
        }
    }
    return total;
}

}  // namespace

int main(int argc, char** argv)
{
    PseudoTerminal pty;
    const std::string device = argc > 1 ? argv[1] : pty.SlavePath();
    const int seconds = argc > 2 ? std::atoi(argv[2]) : 5;
    const std::string config = "/tmp/bench_idle_" + std::to_string(::getpid()) + ".ini";
    std::ofstream(config) << "[Ports]\nCOM1=" << device << "\n";

    QuietSink sink;
    PortEngine engine;
    engine.SetPortNumber(1);
    engine.SetDeviceName("\\\\.\\COM1");
    engine.SetPortMapFile(config);
    const bool opened = engine.Open() && engine.Setup() && engine.SetState("9600,n,8,1");
    engine.SetNotificationSink(&sink);
    std::filesystem::remove(config);
    if (!opened) {
        std::fprintf(stderr, "cannot open %s\n", device.c_str());
        return 1;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    const std::uint64_t wakesBefore = engine.MonitorWakeCount();
    const long switchesBefore = OtherThreadsSwitches();
    std::this_thread::sleep_for(std::chrono::seconds(seconds));
    const double wakes = static_cast<double>(engine.MonitorWakeCount() - wakesBefore) / seconds;
    const double switches = static_cast<double>(OtherThreadsSwitches() - switchesBefore) / seconds;
    engine.Close();
    std::printf("device %s, %d s idle: monitor waits %.1f/s, context switches of the engine's threads %.1f/s\n",
                device.c_str(), seconds, wakes, switches);
    return 0;
}
