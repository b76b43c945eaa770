// Virtual ports (a pseudo-terminal another program opens by a link, with this program as its
// device) and monitored ports (a program's traffic with a real device passed on both ways and
// copied to the owner), with the test playing the other program through the link.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <filesystem>
#include <random>
#include <thread>

#include "platform/MonitorDevice.h"
#include "platform/SerialDevice.h"
#include "platform/VirtualDevice.h"
#include "platform/VirtualTarget.h"
#include "tests/platform/DescriptorIo.h"
#include "tests/platform/DeviceIo.h"
#include "tests/platform/TempDir.h"
#include "tests/support/PseudoTerminal.h"
#include "tests/support/ScopedEnvironment.h"

namespace {

using namespace device_io;

#ifdef SERIALDEBUG_SANITIZED
constexpr std::size_t kFloodBytes = 1024 * 1024;
#else
constexpr std::size_t kFloodBytes = 10 * 1024 * 1024;
#endif

TEST(VirtualTargetTest, NamesAndDevicesAreCheckedAndTheTextRoundTrips)
{
    struct Case {
        std::string target;
        bool valid;
        VirtualTarget parsed;
    };
    const Case cases[] = {
        {"virtual:gps", true, {"gps", ""}},
        {"VIRTUAL:Meter-2_b.x", true, {"Meter-2_b.x", ""}},
        {"monitor:/dev/ttyUSB0,meter", true, {"meter", "/dev/ttyUSB0"}},
        {"monitor:tcp://127.0.0.1:2000,net", true, {"net", "tcp://127.0.0.1:2000"}},
        {"virtual:", false, {}},
        {"virtual:a/b", false, {}},
        {"virtual:..", false, {}},
        {"virtual:.", false, {}},
        {"virtual:two words", false, {}},
        {"virtual:" + std::string(300, 'x'), false, {}},
        {"monitor:meter", false, {}},
        {"monitor:,meter", false, {}},
        {"monitor:virtual:a,b", false, {}},
        {"monitor:monitor:/dev/ttyS0,a,b", false, {}},
        {"monitor:tcp://127.0.0.1:0,net", false, {}},
        {"/dev/ttyUSB0", false, {}},
    };
    for (const Case& c : cases) {
        VirtualTarget parsed{"unchanged", ""};
        std::string reason;
        EXPECT_EQ(ParseVirtualTarget(c.target, parsed, reason), c.valid) << c.target;
        if (c.valid) {
            EXPECT_EQ(parsed, c.parsed) << c.target;
            EXPECT_TRUE(ParseVirtualTarget(VirtualTargetText(parsed), parsed, reason));
            EXPECT_EQ(parsed, c.parsed) << c.target;
        } else {
            EXPECT_EQ(parsed.name, "unchanged") << c.target;
            EXPECT_FALSE(reason.empty()) << c.target;
        }
    }
}

// The links go to a folder of the test's own.
class VirtualPortTest : public ::testing::Test {
protected:
    std::string Link(const std::string& name) const { return runtime_.Path() + "/serialdebug/" + name; }

    // The other program opens the link as its serial port, raw.
    static int OpenAsProgram(const std::string& link)
    {
        const int fd = ::open(link.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
        termios settings{};
        if (fd >= 0 && ::tcgetattr(fd, &settings) == 0) {
            ::cfmakeraw(&settings);
            ::tcsetattr(fd, TCSANOW, &settings);
        }
        return fd;
    }

    static void SetProgramLine(int fd, speed_t speed, tcflag_t add, tcflag_t remove = 0)
    {
        termios settings{};
        ASSERT_EQ(::tcgetattr(fd, &settings), 0);
        ::cfsetspeed(&settings, speed);
        settings.c_cflag = (settings.c_cflag & ~remove) | add;
        ASSERT_EQ(::tcsetattr(fd, TCSANOW, &settings), 0);
    }

    TempDir runtime_;
    ScopedEnvironment runtimeFolder_{"XDG_RUNTIME_DIR", runtime_.Path()};
};

TEST_F(VirtualPortTest, TheProgramAtTheLinkAndTheDeviceTalkAndItsSettingsShow)
{
    VirtualDevice device;
    ASSERT_TRUE(device.Open("virtual:dut"));
    EXPECT_EQ(device.LinkPath(), Link("dut"));
    EXPECT_EQ(VirtualPortLink("dut"), Link("dut"));
    ASSERT_TRUE(std::filesystem::is_symlink(Link("dut")));

    const int program = OpenAsProgram(Link("dut"));
    ASSERT_GE(program, 0);
    // 9600 baud, 2 stop bits, and 7 data bits with even parity, which a pseudo-terminal does not keep.
    SetProgramLine(program, B9600, CSTOPB | CS7 | PARENB, CSIZE);
    LineSettings line;
    ASSERT_TRUE(device.GetLineSettings(line));
    EXPECT_EQ(line.baudRate, 9600u);
    EXPECT_EQ(line.stopBits, StopBits::Two);
    EXPECT_EQ(line.dataBits, 8);
    EXPECT_EQ(line.parity, Parity::None);
    // The owner's settings leave the program's alone.
    LineSettings owners;
    owners.baudRate = 115200;
    EXPECT_TRUE(device.SetLineSettings(owners));
    ASSERT_TRUE(device.GetLineSettings(line));
    EXPECT_EQ(line.baudRate, 9600u);

    ASSERT_TRUE(device.SetEventMask(EV_RXCHAR));
    ASSERT_TRUE(WriteDescriptor(program, HardBytes()));
    EXPECT_EQ(ReadCount(device, HardBytes().size()), HardBytes());
    ASSERT_TRUE(WriteAll(device, HardBytes()));
    EXPECT_EQ(ReadDescriptor(program, HardBytes().size()), HardBytes());
    ::close(program);

    device.Close();
    EXPECT_FALSE(std::filesystem::exists(std::filesystem::symlink_status(Link("dut"))));
}

TEST_F(VirtualPortTest, TheProgramClosingAndOpeningTheLinkAHundredTimesNeverLosesTheDevice)
{
    VirtualDevice device;
    ASSERT_TRUE(device.Open("virtual:again"));
    ASSERT_TRUE(device.SetEventMask(EV_RXCHAR));
    for (int round = 0; round < 100; ++round) {
        const int program = OpenAsProgram(Link("again"));
        ASSERT_GE(program, 0) << round;
        const std::string request = "ping " + std::to_string(round);
        ASSERT_TRUE(WriteDescriptor(program, request));
        ASSERT_EQ(ReadCount(device, request.size()), request) << round;
        ASSERT_TRUE(WriteAll(device, "pong"));
        ASSERT_EQ(ReadDescriptor(program, 4), "pong") << round;
        ::close(program);
    }
    EXPECT_FALSE(device.IsLost());
    EXPECT_TRUE(device.CheckPresence());
}

TEST_F(VirtualPortTest, ANameIsOneRunsALeftLinkIsReplacedAndAnUnsafeFolderIsRefused)
{
    std::filesystem::create_directories(runtime_.Path() + "/serialdebug");
    std::filesystem::create_symlink("/nonexistent/pts", Link("meter"));
    VirtualDevice first;
    ASSERT_TRUE(first.Open("virtual:meter"));
    EXPECT_NE(std::filesystem::read_symlink(Link("meter")), "/nonexistent/pts");

    VirtualDevice second;
    EXPECT_FALSE(second.Open("virtual:meter"));
    EXPECT_EQ(second.LastOpenError().failure, OpenFailure::NameInUse);
    EXPECT_TRUE(std::filesystem::is_symlink(Link("meter")));
    first.Close();
    EXPECT_TRUE(second.Open("virtual:meter"));
    second.Close();

    EXPECT_FALSE(second.Open("virtual:a/b"));
    EXPECT_EQ(second.LastOpenError().failure, OpenFailure::BadVirtualPort);

    // A folder others may write to, and a file where the folder should be.
    std::filesystem::permissions(runtime_.Path() + "/serialdebug", std::filesystem::perms::all);
    EXPECT_FALSE(second.Open("virtual:meter"));
    EXPECT_EQ(second.LastOpenError().failure, OpenFailure::LinkFolder);
    std::filesystem::remove_all(runtime_.Path() + "/serialdebug");
    WriteFile(runtime_.Path() + "/serialdebug", "not a folder");
    EXPECT_FALSE(second.Open("virtual:meter"));
    EXPECT_EQ(second.LastOpenError().failure, OpenFailure::LinkFolder);
}

std::string Pattern(std::size_t size, unsigned seed)
{
    std::mt19937 random(seed);
    std::string bytes(size, '\0');
    for (char& byte : bytes) {
        byte = static_cast<char>(random());
    }
    return bytes;
}

class MonitorTest : public VirtualPortTest {
protected:
    std::unique_ptr<Device> OpenMonitor(const std::string& name)
    {
        std::unique_ptr<Device> monitor = CreateDevice("monitor:" + meter_.SlavePath() + "," + name);
        EXPECT_TRUE(monitor->Open("monitor:" + meter_.SlavePath() + "," + name));
        EXPECT_TRUE(monitor->SetEventMask(kAllPortEvents));
        return monitor;
    }

    PseudoTerminal meter_;
};

// Both ends flood at once while the owner takes its copies of both ways.
TEST_F(MonitorTest, FloodsBothWaysAtOnceArriveCompleteAndInOrderAndTheOwnerSeesBoth)
{
    std::unique_ptr<Device> monitor = OpenMonitor("flood");
    const int program = OpenAsProgram(Link("flood"));
    ASSERT_GE(program, 0);
    const std::string fromProgram = Pattern(kFloodBytes, 1);
    const std::string fromMeter = Pattern(kFloodBytes, 2);
    std::string atMeter, atProgram, ownerReceived, ownerPassedOn;
    constexpr auto kTime = std::chrono::seconds(120);

    std::thread programSide([&] { atProgram = ReadDescriptor(program, kFloodBytes, kTime); });
    std::thread programWriter([&] { EXPECT_TRUE(WriteDescriptor(program, fromProgram, kTime)); });
    std::thread meterSide([&] { atMeter = ReadDescriptor(meter_.Master(), kFloodBytes, kTime); });
    std::thread meterWriter([&] { meter_.Write(fromMeter); });
    const auto deadline = Clock::now() + kTime;
    WaitRequest request;
    request.timeoutMs = 50;
    while ((ownerReceived.size() < kFloodBytes || ownerPassedOn.size() < kFloodBytes) && Clock::now() < deadline) {
        monitor->WaitEvent(request);
        char buffer[4096];
        for (long count; (count = monitor->Read(buffer, sizeof buffer)) > 0;) {
            ownerReceived.append(buffer, static_cast<std::size_t>(count));
        }
        for (std::size_t count; (count = monitor->ReadPassedOn(buffer, sizeof buffer)) > 0;) {
            ownerPassedOn.append(buffer, count);
        }
    }
    for (std::thread* side : {&programSide, &programWriter, &meterSide, &meterWriter}) {
        side->join();
    }
    ::close(program);
    EXPECT_TRUE(atMeter == fromProgram) << atMeter.size();
    EXPECT_TRUE(atProgram == fromMeter) << atProgram.size();
    EXPECT_TRUE(ownerPassedOn == fromProgram) << ownerPassedOn.size();
    EXPECT_TRUE(ownerReceived == fromMeter) << ownerReceived.size();
}

TEST_F(MonitorTest, TheProgramsSettingsReachTheDeviceAndTheOwnersBytesGoThereToo)
{
    std::unique_ptr<Device> monitor = OpenMonitor("line");
    const int program = OpenAsProgram(Link("line"));
    ASSERT_GE(program, 0);
    SetProgramLine(program, B19200, CSTOPB);
    ASSERT_TRUE(WriteDescriptor(program, "after the settings"));
    EXPECT_EQ(ReadDescriptor(meter_.Master(), 18), "after the settings");
    LineSettings atMeter;
    ASSERT_TRUE(monitor->GetLineSettings(atMeter));
    EXPECT_EQ(atMeter.baudRate, 19200u);
    EXPECT_EQ(atMeter.stopBits, StopBits::Two);

    ASSERT_TRUE(WriteAll(*monitor, HardBytes()));
    EXPECT_EQ(ReadDescriptor(meter_.Master(), HardBytes().size()), HardBytes());
    ::close(program);
}

TEST_F(MonitorTest, AnAbsentHeldOrVirtualDeviceIsRefusedAndALostOneIsTold)
{
    SerialDevice holder;
    ASSERT_TRUE(holder.Open(meter_.SlavePath()));
    const std::pair<std::string, OpenFailure> cases[] = {
        {"monitor:/dev/serialdebug-absent,m", OpenFailure::NoSuchDevice},
        {"monitor:" + meter_.SlavePath() + ",m", OpenFailure::InUse},
        {"monitor:virtual:x,m", OpenFailure::BadVirtualPort},
    };
    for (const auto& [target, failure] : cases) {
        std::unique_ptr<Device> monitor = CreateDevice(target);
        EXPECT_FALSE(monitor->Open(target)) << target;
        EXPECT_EQ(monitor->LastOpenError().failure, failure) << target;
        EXPECT_FALSE(std::filesystem::exists(std::filesystem::symlink_status(Link("m")))) << target;
    }
    holder.Close();

    std::unique_ptr<Device> monitor = OpenMonitor("m");
    // Bytes the monitor holds when the device goes are still read after the loss is told.
    meter_.Write("last words");
    ASSERT_TRUE(WaitUntil(*monitor, [&](const WaitResult&) {
        std::size_t held = 0;
        return monitor->InputQueueBytes(held) && held == 10;
    }).events & EV_RXCHAR);
    meter_.CloseMaster();
    const WaitResult lost = WaitUntil(*monitor, [](const WaitResult& result) { return result.hungUp; });
    EXPECT_TRUE(lost.hungUp);
    EXPECT_EQ(ReadCount(*monitor, 10), "last words");
    monitor->Close();
    EXPECT_FALSE(std::filesystem::exists(std::filesystem::symlink_status(Link("m"))));
}

}  // namespace
