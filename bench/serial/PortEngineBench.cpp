// Throughput of the port engine over a pseudo-terminal pair: the receive path (a writer
// floods the device side; the reader answers every notification with one 1024-byte read, as
// the window does) and the send path (1 KB writes, kept ahead of a device side that drains as it can).
#include <benchmark/benchmark.h>

#include <atomic>
#include <cerrno>
#include <condition_variable>
#include <fcntl.h>
#include <fstream>
#include <mutex>
#include <poll.h>
#include <stdexcept>
#include <string>
#include <thread>
#include <unistd.h>
#include <vector>

#include "serial/PortEngine.h"
#include "tests/support/PseudoTerminal.h"

namespace {

constexpr std::size_t kVolume = 16 * 1024 * 1024;
// The sender keeps at most this much waiting, as a paced sender would; beyond the queue's
// limit writes are dropped by design.
constexpr std::size_t kSendBacklog = 256 * 1024;

// Counts receive notifications and lets one thread wait for them.
class CountingSink : public NotificationSink {
public:
    bool IsAlive() const override { return true; }
    void Post(unsigned message, int, long) override
    {
        if (message != WM_COMM_RXCHAR) {
            return;
        }
        std::lock_guard lock(mutex_);
        ++pending_;
        ++total_;
        ready_.notify_one();
    }
    void ReportFailure(const std::string&, const std::string&) override {}

    bool TakeOne()
    {
        std::unique_lock lock(mutex_);
        if (!ready_.wait_for(lock, std::chrono::seconds(5), [&] { return pending_ > 0; })) {
            return false;
        }
        --pending_;
        return true;
    }
    std::size_t Total()
    {
        std::lock_guard lock(mutex_);
        return total_;
    }

private:
    std::mutex mutex_;
    std::condition_variable ready_;
    std::size_t pending_ = 0;
    std::size_t total_ = 0;
};

// An engine open on the slave of a fresh pseudo-terminal; the benchmark holds the master.
struct Rig {
    Rig()
    {
        config = std::string("/tmp/bench_serial_") + std::to_string(::getpid()) + ".ini";
        std::ofstream(config) << "[Ports]\nCOM1=" << pty.SlavePath() << "\n";
        engine.SetPortNumber(1);
        engine.SetDeviceName("\\\\.\\COM1");
        engine.SetPortMapFile(config);
        if (!engine.Open() || !engine.Setup() || !engine.SetState("115200,n,8,1")) {
            throw std::runtime_error("engine did not open");
        }
        engine.SetNotificationSink(&sink);
    }
    ~Rig()
    {
        engine.Close();
        ::unlink(config.c_str());
    }

    PseudoTerminal pty{PseudoTerminal::DeviceSide::Blocking};
    std::string config;
    CountingSink sink;
    PortEngine engine;
};

void WriteAll(int fd, const char* bytes, std::size_t size)
{
    while (size > 0) {
        const ssize_t count = ::write(fd, bytes, size);
        if (count > 0) {
            bytes += count;
            size -= static_cast<std::size_t>(count);
        } else if (count < 0 && errno != EINTR && errno != EAGAIN) {
            return;
        }
    }
}

void BM_ReceivePath(benchmark::State& state)
{
    Rig rig;
    const std::vector<char> chunk(4096, 'r');
    std::size_t notifications = 0;
    for (auto _ : state) {
        std::thread writer([&] {
            for (std::size_t sent = 0; sent < kVolume; sent += chunk.size()) {
                WriteAll(rig.pty.Master(), chunk.data(), chunk.size());
            }
        });
        unsigned char buffer[1024];
        std::size_t received = 0;
        while (received < kVolume && rig.sink.TakeOne()) {
            received += rig.engine.ReadReceived(buffer, sizeof buffer);
        }
        writer.join();
        if (received != kVolume) {
            state.SkipWithError("bytes were lost");
        }
    }
    notifications = rig.sink.Total();
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * kVolume));
    state.counters["notifications/MB"] =
        static_cast<double>(notifications) / (static_cast<double>(state.iterations()) * (kVolume / 1048576.0));
}
BENCHMARK(BM_ReceivePath)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_SendPath(benchmark::State& state)
{
    Rig rig;
    const std::vector<unsigned char> chunk(1024, 's');
    for (auto _ : state) {
        std::atomic<std::size_t> drained{0};
        std::thread reader([&] {
            std::vector<char> buffer(65536);
            while (drained < kVolume) {
                pollfd descriptor{rig.pty.Master(), POLLIN, 0};
                if (::poll(&descriptor, 1, 5000) <= 0) {
                    return;
                }
                const ssize_t count = ::read(rig.pty.Master(), buffer.data(), buffer.size());
                if (count > 0) {
                    drained += static_cast<std::size_t>(count);
                }
            }
        });
        for (std::size_t sent = 0; sent < kVolume; sent += chunk.size()) {
            while (rig.engine.PendingWriteBytes() > kSendBacklog) {
                std::this_thread::sleep_for(std::chrono::microseconds(100));
            }
            rig.engine.Write(chunk.data(), chunk.size());
        }
        reader.join();
        if (drained != kVolume || rig.engine.DroppedWriteBytes() != 0) {
            state.SkipWithError("bytes were lost");
        }
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * kVolume));
}
BENCHMARK(BM_SendPath)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
