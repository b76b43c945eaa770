// A COM port of the communications API, opened by the device layer, against a device side
// that tests/windows/far_side.py plays on a pseudo-terminal (scripts/windows/test.sh maps the
// port to it and names both in the environment): what Windows adds to the device contract,
// which DeviceContractTest.cpp runs on the same port. Each test opens the port afresh.
#include <gtest/gtest.h>

#include <cstdlib>
#include <future>
#include <memory>
#include <sstream>
#include <string>
#include <thread>

#include "platform/Device.h"
#include "platform/LineSettings.h"
#include "platform/PortNames.h"
#include "platform/SerialDevice.h"
#include "serial/PortEngine.h"
#include "tests/platform/DeviceIo.h"
#include "tests/windows/FarSide.h"

using namespace std::chrono_literals;
using namespace device_io;
using namespace far_side;

namespace {

// termios bits the device side reports (Linux values).
constexpr unsigned kCsize = 0000060, kCs8 = 0000060;
constexpr unsigned kCstopb = 0000100, kParenb = 0000400, kParodd = 0001000, kCrtscts = 020000000000;
constexpr unsigned kIxon = 0002000;

class QuietSink : public NotificationSink {
public:
    bool IsAlive() const override { return true; }
    void Post(unsigned, int, long) override {}
    void ReportFailure(const std::string&, const std::string&) override {}
};

class ComPort : public FarSideTest {
protected:
    void SetUp() override
    {
        FarSideTest::SetUp();
        if (IsSkipped() || HasFatalFailure()) {
            return;
        }
        device = CreateDevice(Target());
        ASSERT_TRUE(device->Open(Target())) << Target() << " errno " << errno;
        ASSERT_TRUE(device->SetEventMask(EV_RXCHAR));
        // What an earlier test left in the port; the port engine purges after Open too.
        ASSERT_TRUE(device->Purge(PURGE_TXABORT | PURGE_RXABORT | PURGE_TXCLEAR | PURGE_RXCLEAR));
    }

    std::string Target() const { return DefaultPortDevice(PortNumber()); }

    std::unique_ptr<Device> device;
};

}  // namespace

// A line that a Linux program left at a speed with no standard name, which Wine cannot
// describe, opens at 9600 and takes settings.
TEST_F(ComPort, APortLeftAtASpeedWithNoStandardNameOpens)
{
    device->Close();
    ASSERT_EQ(farSide->Ask("ODDSPEED 250000"), "OK");
    ASSERT_TRUE(device->Open(Target())) << "errno " << errno;
    LineSettings line;
    ASSERT_TRUE(BuildLineSettings("115200,n,8,1", line));
    EXPECT_TRUE(device->SetLineSettings(line));
    EXPECT_EQ(farSide->Settings().speed, 115200u);
}

TEST_F(ComPort, RefusesPortsThatAreMissingOrHeld)
{
    struct Case {
        std::string target;
        OpenFailure failure;
    };
    const Case cases[] = {
        {"\\\\.\\COM199", OpenFailure::NoSuchDevice},
        {Target(), OpenFailure::InUse},  // this test holds it
    };
    for (const Case& each : cases) {
        SerialDevice other;
        EXPECT_FALSE(other.Open(each.target)) << each.target;
        EXPECT_EQ(other.LastOpenError().failure, each.failure) << each.target;
        EXPECT_FALSE(other.IsOpen());
    }
}

// A pseudo-terminal keeps 8 data bits without parity whatever it is told: settings with
// other data bits or a parity are refused, and the device keeps what it had.
TEST_F(ComPort, SettingsReachTheDeviceSideOrAreRefusedWhole)
{
    struct Case {
        const char* text;
        bool taken;
        unsigned speed;  // at the device side afterwards
        unsigned cflag;  // of kCsize, kCstopb, kParenb, kParodd, kCrtscts
        unsigned iflag;  // of kIxon
    };
    const Case cases[] = {
        {"9600,n,8,1", true, 9600, kCs8, 0},
        {"115200,n,8,2", true, 115200, kCs8 | kCstopb, 0},
        {"19200,e,7,1", false, 115200, kCs8 | kCstopb, 0},
        {"57600,n,8,1,x", true, 57600, kCs8, kIxon},
        {"1200,o,8,1", false, 57600, kCs8, kIxon},
        {"38400,n,8,1,p", true, 38400, kCs8 | kCrtscts, 0},
    };
    for (const Case& each : cases) {
        LineSettings before;
        ASSERT_TRUE(device->GetLineSettings(before));
        LineSettings wanted;
        ASSERT_TRUE(BuildLineSettings(each.text, wanted)) << each.text;
        EXPECT_EQ(device->SetLineSettings(wanted), each.taken) << each.text;
        LineSettings got;
        ASSERT_TRUE(device->GetLineSettings(got));
        const LineSettings& expected = each.taken ? wanted : before;
        EXPECT_EQ(got.baudRate, expected.baudRate) << each.text;
        EXPECT_EQ(got.dataBits, expected.dataBits) << each.text;
        EXPECT_EQ(got.xonXoff, expected.xonXoff) << each.text;
        EXPECT_EQ(got.ctsHandshake, expected.ctsHandshake) << each.text;
        const FarSide::Termios termios = farSide->Settings();
        EXPECT_EQ(termios.speed, each.speed) << each.text;
        EXPECT_EQ(termios.cflag & (kCsize | kCstopb | kParenb | kParodd | kCrtscts), each.cflag) << each.text;
        EXPECT_EQ(termios.iflag & kIxon, each.iflag) << each.text;
    }
}

// The port engine watches every event; input must still be reported, and the modem lines,
// which a pseudo-terminal lacks, must not count as the device's loss.
TEST_F(ComPort, ReportsInputWithEveryEventWatched)
{
    ASSERT_TRUE(device->SetEventMask(kAllPortEvents));
    unsigned lines = 0;
    device->GetModemStatus(lines);
    EXPECT_FALSE(device->IsLost());
    ASSERT_TRUE(farSide->Write("xyz"));
    const WaitResult result = WaitUntil(*device, [](const WaitResult& got) { return (got.events & EV_RXCHAR) != 0; });
    EXPECT_EQ(result.events & EV_RXCHAR, EV_RXCHAR);
    EXPECT_FALSE(result.hungUp);
    EXPECT_EQ(ReadCount(*device, 3), "xyz");
    EXPECT_FALSE(device->IsLost());
}

// The port engine's monitor thread waits without a time-out; stopping it is a wake, and
// Close follows once it has ended.
TEST_F(ComPort, ClosingEndsTheMonitorThreadWithin100Ms)
{
    for (const unsigned mask : {unsigned{EV_RXCHAR}, kAllPortEvents}) {
        ASSERT_TRUE(device->IsOpen() || device->Open(Target()));
        ASSERT_TRUE(device->SetEventMask(mask));
        std::atomic<bool> stop{false};
        std::promise<void> started;
        auto monitor = std::async(std::launch::async, [&] {
            started.set_value();
            while (!stop) {
                device->WaitEvent(WaitRequest{});
            }
        });
        started.get_future().wait();
        std::this_thread::sleep_for(50ms);
        stop = true;
        device->SetEventMask(0);
        device->WakeWait();
        EXPECT_EQ(monitor.wait_for(100ms), std::future_status::ready) << "mask " << mask;
        monitor.wait();
        auto closing = std::async(std::launch::async, [this] { device->Close(); });
        EXPECT_EQ(closing.wait_for(100ms), std::future_status::ready) << "mask " << mask;
        closing.wait();
        EXPECT_FALSE(device->IsOpen());
    }
}

// The port engine on the COM port, as a window uses it: a flood from the device arrives whole
// and in order through the engine's read-ahead, and what the owner writes reaches the device.
TEST_F(ComPort, ThePortEngineTakesAFloodWholeAndWritesBack)
{
    device->Close();
    QuietSink sink;
    PortEngine engine;
    engine.SetPortNumber(PortNumber());
    engine.SetDeviceName("\\\\.\\" + port);
    engine.SetNotificationSink(&sink);
    ASSERT_TRUE(engine.Open() && engine.Setup() && engine.SetState("115200,n,8,1")) << engine.Target();
    std::string flood;
    for (int i = 0; i < 100000; ++i) {
        flood += static_cast<char>(i * 7 + i / 256);
    }
    std::thread deviceSide([&] {
        for (std::size_t done = 0; done < flood.size(); done += 4096) {
            ASSERT_TRUE(farSide->Write(flood.substr(done, 4096)));
        }
    });
    std::string got;
    for (const auto deadline = std::chrono::steady_clock::now() + 30s;
         got.size() < flood.size() && std::chrono::steady_clock::now() < deadline;) {
        unsigned char buffer[PortEngine::kReceiveReadSize];
        const std::size_t count = engine.ReadReceived(buffer, sizeof buffer);
        got.append(reinterpret_cast<const char*>(buffer), count);
        if (count == 0) {
            std::this_thread::sleep_for(1ms);
        }
    }
    deviceSide.join();
    EXPECT_EQ(got.size(), flood.size());
    EXPECT_TRUE(got == flood);
    engine.Write(reinterpret_cast<const unsigned char*>("ok"), 2);
    EXPECT_EQ(farSide->Read(2), "ok");
    engine.Close();
}
