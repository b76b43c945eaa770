// The latency a monitored port adds: a program asks a device one byte and waits for its one-byte
// answer, first on the device directly, then through a monitored port (the port engine on
// "monitor:DEVICE,NAME", the program on the link), with the device's answer coming from a thread
// that echoes at once. Prints the median and the 99th percentile of each path's round trips and
// what the monitor adds.
//
// Usage: bench_monitor_latency [round trips, default 2000]
#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "platform/VirtualDevice.h"
#include "serial/PortEngine.h"
#include "tests/support/PseudoTerminal.h"

namespace {

using Micros = std::chrono::duration<double, std::micro>;

class QuietSink : public NotificationSink {
public:
    bool IsAlive() const override { return true; }
    void Post(unsigned, int, long) override {}
    void ReportFailure(const std::string&, const std::string&) override {}
};

// Answers every byte the program sends with the next byte value, until stopped.
class EchoDevice {
public:
    explicit EchoDevice(const PseudoTerminal& pty) : thread_([this, &pty] { Run(pty.Master()); }) {}
    ~EchoDevice()
    {
        stop_ = true;
        thread_.join();
    }

private:
    void Run(int fd)
    {
        pollfd descriptor{fd, POLLIN, 0};
        while (!stop_) {
            unsigned char byte = 0;
            if (::poll(&descriptor, 1, 20) > 0 && ::read(fd, &byte, 1) == 1) {
                ++byte;
                (void)::write(fd, &byte, 1);
            }
        }
    }

    std::atomic<bool> stop_{false};
    std::thread thread_;
};

int OpenRaw(const std::string& path)
{
    const int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    termios settings{};
    if (fd >= 0 && ::tcgetattr(fd, &settings) == 0) {
        ::cfmakeraw(&settings);
        ::tcsetattr(fd, TCSANOW, &settings);
    }
    return fd;
}

std::vector<double> RoundTrips(int program, int count)
{
    std::vector<double> times;
    for (int i = 0; i < count; ++i) {
        unsigned char request = static_cast<unsigned char>(i);
        unsigned char answer = 0;
        const auto start = std::chrono::steady_clock::now();
        if (::write(program, &request, 1) != 1 || ::read(program, &answer, 1) != 1 || answer != static_cast<unsigned char>(request + 1)) {
            std::fprintf(stderr, "round trip %d failed\n", i);
            std::exit(1);
        }
        times.push_back(Micros(std::chrono::steady_clock::now() - start).count());
    }
    std::sort(times.begin(), times.end());
    return times;
}

double Percentile(const std::vector<double>& sorted, double share)
{
    return sorted[std::min(sorted.size() - 1, static_cast<std::size_t>(share * static_cast<double>(sorted.size())))];
}

}  // namespace

int main(int argc, char** argv)
{
    const int count = argc > 1 ? std::atoi(argv[1]) : 2000;
    PseudoTerminal device;
    EchoDevice echo(device);

    const int direct = OpenRaw(device.SlavePath());
    const std::vector<double> directTimes = RoundTrips(direct, count);
    ::close(direct);

    const std::string name = "bench-" + std::to_string(::getpid());
    const std::string config = "/tmp/bench_monitor_" + std::to_string(::getpid()) + ".ini";
    std::ofstream(config) << "[Ports]\nCOM1=monitor:" << device.SlavePath() << "," << name << "\n";
    QuietSink sink;
    PortEngine engine;
    engine.SetPortNumber(1);
    engine.SetDeviceName("\\\\.\\COM1");
    engine.SetPortMapFile(config);
    engine.SetNotificationSink(&sink);
    if (!(engine.Open() && engine.Setup() && engine.SetState("115200,n,8,1"))) {
        std::fprintf(stderr, "the monitored port did not open\n");
        return 1;
    }
    const int program = OpenRaw(VirtualPortLink(name));
    const std::vector<double> monitorTimes = RoundTrips(program, count);
    ::close(program);
    engine.Close();
    std::remove(config.c_str());

    const double directMedian = Percentile(directTimes, 0.5);
    const double monitorMedian = Percentile(monitorTimes, 0.5);
    std::printf("%d round trips of one byte each way\n", count);
    std::printf("direct:    median %8.1f us  p99 %8.1f us\n", directMedian, Percentile(directTimes, 0.99));
    std::printf("monitored: median %8.1f us  p99 %8.1f us\n", monitorMedian, Percentile(monitorTimes, 0.99));
    std::printf("added:     median %8.1f us  p99 %8.1f us\n", monitorMedian - directMedian,
                Percentile(monitorTimes, 0.99) - Percentile(directTimes, 0.99));
    return 0;
}
