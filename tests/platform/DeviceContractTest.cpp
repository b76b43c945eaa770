// What every kind of device behind a port must do, run against each kind; and what only the
// local serial device does.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <filesystem>
#include <functional>
#include <memory>
#include <thread>

#include "platform/SerialDevice.h"
#include "tests/platform/TempDir.h"
#include "tests/support/PseudoTerminal.h"

namespace {

using namespace std::chrono_literals;

// The far end of a device of some kind, held by the test.
class DevicePeer {
public:
    virtual ~DevicePeer() = default;
    virtual std::string Target() const = 0;
    virtual void Send(const std::string& bytes) = 0;
    virtual std::string Receive(std::chrono::milliseconds timeout) = 0;
    virtual void Vanish() = 0;
};

class PseudoTerminalPeer : public DevicePeer {
public:
    std::string Target() const override { return pty_.SlavePath(); }
    void Send(const std::string& bytes) override { pty_.Write(bytes); }
    std::string Receive(std::chrono::milliseconds timeout) override { return pty_.Read(4096, timeout); }
    void Vanish() override { pty_.CloseMaster(); }

private:
    PseudoTerminal pty_;
};

struct DeviceKind {
    const char* name;
    std::function<std::unique_ptr<DevicePeer>()> makePeer;
    std::function<std::unique_ptr<Device>()> makeDevice;
};

class DeviceContract : public ::testing::TestWithParam<DeviceKind> {
protected:
    void SetUp() override
    {
        peer = GetParam().makePeer();
        device = GetParam().makeDevice();
        ASSERT_TRUE(device->Open(peer->Target()));
        ASSERT_TRUE(device->SetEventMask(EV_RXCHAR));
    }

    // Waits for events until one of `events` comes, the device is lost, or a few seconds pass.
    WaitResult WaitFor(unsigned events)
    {
        const auto deadline = std::chrono::steady_clock::now() + 5s;
        WaitResult result;
        while (std::chrono::steady_clock::now() < deadline) {
            WaitRequest request;
            request.timeoutMs = 100;
            result = device->WaitEvent(request);
            if ((result.events & events) != 0 || result.hungUp) {
                break;
            }
        }
        return result;
    }

    std::unique_ptr<DevicePeer> peer;
    std::unique_ptr<Device> device;
};

TEST_P(DeviceContract, CarriesBytesBothWays)
{
    peer->Send("hello");
    ASSERT_NE(WaitFor(EV_RXCHAR).events & EV_RXCHAR, 0u);
    std::string received;
    char buffer[64];
    while (received.size() < 5) {
        const long count = device->Read(buffer, sizeof buffer);
        ASSERT_GE(count, 0);
        received.append(buffer, static_cast<std::size_t>(count));
    }
    EXPECT_EQ(received, "hello");

    ASSERT_EQ(device->Write("abc", 3), 3);
    EXPECT_EQ(peer->Receive(5s), "abc");
    EXPECT_FALSE(device->IsLost());
    EXPECT_TRUE(device->CheckPresence());
}

TEST_P(DeviceContract, AFarEndThatGoesIsReportedLostAndNothingSpins)
{
    peer->Vanish();
    EXPECT_TRUE(WaitFor(0).hungUp);
    EXPECT_TRUE(device->IsLost());
    char buffer[16];
    EXPECT_LE(device->Read(buffer, sizeof buffer), 0);
    EXPECT_EQ(device->Write("x", 1), -1);
    EXPECT_FALSE(device->CheckPresence());
    device->Close();
    EXPECT_FALSE(device->IsOpen());
}

TEST_P(DeviceContract, WakeWaitEndsAWaitFromAnotherThread)
{
    std::thread waker([&] {
        std::this_thread::sleep_for(20ms);
        device->WakeWait();
    });
    const auto start = std::chrono::steady_clock::now();
    device->WaitEvent(WaitRequest{});
    waker.join();
    EXPECT_LT(std::chrono::steady_clock::now() - start, 5s);
}

INSTANTIATE_TEST_SUITE_P(Kinds, DeviceContract,
                         ::testing::Values(DeviceKind{"serial", [] { return std::make_unique<PseudoTerminalPeer>(); },
                                                      [] { return CreateDevice("/dev/pts/0"); }}),
                         [](const auto& info) { return std::string(info.param.name); });

// Opening anything at a path that is not a serial device fails at once with the reason.
TEST(SerialDeviceOpen, SaysWhyAPathCannotBeOpened)
{
    TempDir dir;
    WriteFile(dir.File("file"), "not a tty");
    std::filesystem::create_directory(dir.File("folder"));
    ASSERT_EQ(::mkfifo(dir.File("fifo").c_str(), 0600), 0);
    const struct {
        std::string path;
        OpenFailure failure;
    } cases[] = {{dir.File("missing"), OpenFailure::NoSuchDevice},
                 {dir.File("file"), OpenFailure::NotSerialDevice},
                 {dir.File("folder"), OpenFailure::NotSerialDevice},
                 {dir.File("fifo"), OpenFailure::NotSerialDevice},
                 {"/dev/null", OpenFailure::NotSerialDevice},
                 {"", OpenFailure::NoSuchDevice}};
    for (const auto& entry : cases) {
        SerialDevice device;
        EXPECT_FALSE(device.Open(entry.path)) << entry.path;
        EXPECT_EQ(device.LastOpenError().failure, entry.failure) << entry.path;
        EXPECT_FALSE(device.IsOpen());
    }

    PseudoTerminal pty;
    SerialDevice first;
    SerialDevice second;
    ASSERT_TRUE(first.Open(pty.SlavePath()));
    EXPECT_FALSE(second.Open(pty.SlavePath()));
    EXPECT_EQ(second.LastOpenError().failure, OpenFailure::InUse);
}

TEST(SerialDevicePresence, ANodeRemovedOrReplacedMeansTheDeviceIsLost)
{
    TempDir dir;
    const std::string link = dir.File("adapter");
    PseudoTerminal first;
    PseudoTerminal second;
    std::filesystem::create_symlink(first.SlavePath(), link);
    SerialDevice device;
    ASSERT_TRUE(device.Open(link));
    EXPECT_TRUE(device.CheckPresence());

    std::filesystem::remove(link);
    std::filesystem::create_symlink(second.SlavePath(), link);  // other device numbers
    EXPECT_FALSE(device.CheckPresence());
    EXPECT_TRUE(device.IsLost());

    ASSERT_TRUE(device.Open(link));
    EXPECT_FALSE(device.IsLost());
    std::filesystem::remove(link);
    EXPECT_FALSE(device.CheckPresence());
}

TEST(SerialDeviceLines, APseudoTerminalHasNoModemLinesAndNoDriverCounts)
{
    PseudoTerminal pty;
    SerialDevice device;
    ASSERT_TRUE(device.Open(pty.SlavePath()));
    LineCounters counters;
    EXPECT_FALSE(device.GetLineCounters(counters));
    EXPECT_FALSE(device.SetControlLine(ControlLine::Dtr, true));
    unsigned status = 0;
    EXPECT_FALSE(device.GetModemStatus(status));
    EXPECT_FALSE(device.IsLost()) << "a missing feature is no loss";
}

}  // namespace
