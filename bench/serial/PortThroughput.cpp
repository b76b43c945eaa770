// How fast the port engine takes a flood from a serial port, read the way the terminal reads
// it (one notification, one 1024-byte read), built for either system: the same pseudo-terminal
// is read by the Linux build directly and by the Windows build through Wine's COM port, with
// the same writer at the far side (scripts/windows/bench-throughput.sh runs both and `cat`).
//
// Usage: bench_port_throughput COMn BYTES [CONFIG]
// CONFIG is a Config.ini whose [Ports] maps COMn to a device; without it COMn is the system's
// own. Prints "READY" once the port is open, then, after BYTES have arrived,
// "BYTES <n> SECONDS <s> MBPS <m>", timed from the first byte read to the last.
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <string>

#include "serial/PortEngine.h"

namespace {

using SteadyClock = std::chrono::steady_clock;

// Counts receive notifications and lets the reading thread wait for them.
class CountingSink : public NotificationSink {
public:
    bool IsAlive() const override { return true; }
    void Post(unsigned message, int, long) override
    {
        if (message == WM_COMM_RXCHAR) {
            std::lock_guard lock(mutex_);
            ++pending_;
            ready_.notify_one();
        }
    }
    void ReportFailure(const std::string& caption, const std::string& text) override
    {
        std::fprintf(stderr, "%s: %s\n", caption.c_str(), text.c_str());
    }

    // False when no notification came for 10 s.
    bool TakeOne()
    {
        std::unique_lock lock(mutex_);
        if (!ready_.wait_for(lock, std::chrono::seconds(10), [&] { return pending_ > 0; })) {
            return false;
        }
        --pending_;
        return true;
    }

private:
    std::mutex mutex_;
    std::condition_variable ready_;
    std::size_t pending_ = 0;
};

}  // namespace

int main(int argc, char** argv)
{
    if (argc < 3 || std::string(argv[1]).rfind("COM", 0) != 0) {
        std::fprintf(stderr, "usage: bench_port_throughput COMn BYTES [CONFIG]\n");
        return 2;
    }
    const std::string port = argv[1];
    const std::size_t total = std::strtoull(argv[2], nullptr, 10);
    CountingSink sink;
    PortEngine engine;
    engine.SetPortNumber(std::atoi(port.c_str() + 3));
    engine.SetDeviceName("\\\\.\\" + port);
    if (argc > 3) {
        engine.SetPortMapFile(argv[3]);
    }
    if (!engine.Open() || !engine.Setup() || !engine.SetState("115200,n,8,1")) {
        std::fprintf(stderr, "%s did not open\n", port.c_str());
        return 1;
    }
    engine.SetNotificationSink(&sink);
    std::printf("READY\n");
    std::fflush(stdout);

    unsigned char buffer[1024];
    std::size_t received = 0;
    SteadyClock::time_point first{};
    while (received < total && sink.TakeOne()) {
        const std::size_t count = engine.ReadReceived(buffer, sizeof buffer);
        if (received == 0 && count > 0) {
            first = SteadyClock::now();
        }
        received += count;
    }
    const double seconds = std::chrono::duration<double>(SteadyClock::now() - first).count();
    engine.Close();
    std::printf("BYTES %zu SECONDS %.3f MBPS %.1f\n", received, seconds, received / seconds / 1e6);
    return received == total ? 0 : 1;
}
