// What the port engine relies on from a device, whatever its kind: each test runs against a
// local serial device (a pseudo-terminal) and against network devices reaching a
// pseudo-terminal through ser2net, both with RFC 2217 and as raw TCP, all made by CreateDevice
// from their targets. A kind names the target to open, the far side (the descriptor that plays
// the device's hardware), a target that cannot be opened, and how the device vanishes. After
// them, what only the local serial device does.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <filesystem>
#include <future>
#include <memory>

#include "platform/NetworkDevice.h"
#include "platform/SerialDevice.h"
#include "tests/platform/DescriptorIo.h"
#include "tests/platform/TempDir.h"
#include "tests/support/PseudoTerminal.h"
#include "tests/support/ScriptedServer.h"
#include "tests/support/Ser2netServer.h"

using namespace std::chrono_literals;
using namespace device_io;

namespace {

struct SerialKind {
    bool Prepare(std::string&) { return true; }
    std::string Target() const { return pty.SlavePath(); }
    std::string MissingTarget() const { return "/dev/no-such-serial-device"; }
    int FarSide() const { return pty.Master(); }
    void Vanish() { pty.CloseMaster(); }

    PseudoTerminal pty;
};

template <Ser2netServer::Mode mode>
struct Ser2netKind {
    bool Prepare(std::string& why)
    {
        if (!Ser2netServer::Installed()) {
            why = "ser2net is not installed (scripts/setup-debian.sh installs it)";
            return false;
        }
        server = std::make_unique<Ser2netServer>(pty.SlavePath(), mode);
        why = server->Log();
        return server->Running();
    }
    std::string Target() const { return server->Url(); }
    std::string MissingTarget() const
    {
        std::uint16_t port = 0;
        {
            ScriptedServer gone([](ScriptedServer::Client&) {});
            port = gone.Port();
        }
        return server->Url().substr(0, server->Url().rfind(':') + 1) + std::to_string(port);
    }
    int FarSide() const { return pty.Master(); }
    void Vanish() { server->Stop(); }

    PseudoTerminal pty;
    std::unique_ptr<Ser2netServer> server;
};

using Rfc2217Kind = Ser2netKind<Ser2netServer::Mode::Rfc2217>;
using RawTcpKind = Ser2netKind<Ser2netServer::Mode::Raw>;

template <class Kind>
class DeviceContract : public ::testing::Test {
protected:
    void SetUp() override
    {
        std::string why;
        if (!kind.Prepare(why)) {
            GTEST_SKIP() << why;
        }
        device = CreateDevice(kind.Target());
        ASSERT_TRUE(device->Open(kind.Target())) << kind.Target();
        ASSERT_TRUE(device->SetEventMask(EV_RXCHAR));
        // A byte through shows the whole way is up (ser2net opens its device late).
        ASSERT_TRUE(WriteAll(*device, "!"));
        ASSERT_EQ(ReadDescriptor(kind.FarSide(), 1), "!");
    }

    std::size_t WaitForQueued(std::size_t count)
    {
        std::size_t waiting = 0;
        WaitUntil(*device, [&](const WaitResult&) { return device->InputQueueBytes(waiting) && waiting >= count; });
        return waiting;
    }

    Kind kind;
    std::unique_ptr<Device> device;
};

class KindNames {
public:
    template <class Kind>
    static std::string GetName(int)
    {
        if constexpr (std::is_same_v<Kind, SerialKind>) {
            return "Serial";
        } else if constexpr (std::is_same_v<Kind, Rfc2217Kind>) {
            return "Rfc2217";
        } else {
            return "RawTcp";
        }
    }
};

using DeviceKinds = ::testing::Types<SerialKind, Rfc2217Kind, RawTcpKind>;
TYPED_TEST_SUITE(DeviceContract, DeviceKinds, KindNames);

}  // namespace

TYPED_TEST(DeviceContract, OpensClosesAndOpensAgain)
{
    EXPECT_TRUE(this->device->IsOpen());
    this->device->Close();
    EXPECT_FALSE(this->device->IsOpen());
    this->device->Close();  // closing twice is harmless
    char byte = 0;
    errno = 0;
    EXPECT_EQ(this->device->Write("x", 1), -1);
    EXPECT_FALSE(this->device->SetEventMask(EV_RXCHAR));
    unsigned errors = 0;
    std::size_t waiting = 0;
    EXPECT_FALSE(this->device->ClearErrors(errors, waiting));
    EXPECT_EQ(this->device->Read(&byte, 1), -1);
    WaitRequest request;
    EXPECT_TRUE(this->device->WaitEvent(request).hungUp);

    ASSERT_TRUE(this->device->Open(this->kind.Target()));
    EXPECT_TRUE(this->device->IsOpen());
    const std::unique_ptr<Device> other = CreateDevice(this->kind.MissingTarget());
    EXPECT_FALSE(other->Open(this->kind.MissingTarget()));
    EXPECT_FALSE(other->IsOpen());
}

TYPED_TEST(DeviceContract, CarriesEveryByteValueBothWays)
{
    ASSERT_TRUE(WriteAll(*this->device, HardBytes()));
    EXPECT_EQ(ReadDescriptor(this->kind.FarSide(), HardBytes().size()), HardBytes());
    ASSERT_TRUE(WriteDescriptor(this->kind.FarSide(), HardBytes()));
    EXPECT_EQ(ReadCount(*this->device, HardBytes().size()), HardBytes());
}

TYPED_TEST(DeviceContract, ReportsAndCountsWaitingInputUntilPurged)
{
    ASSERT_TRUE(WriteDescriptor(this->kind.FarSide(), "abc"));
    EXPECT_EQ(this->WaitForQueued(3), 3u);
    WaitRequest request;
    request.timeoutMs = 0;
    EXPECT_EQ(this->device->WaitEvent(request).events, EV_RXCHAR);  // level-triggered: still there
    unsigned errors = 1;
    std::size_t waiting = 0;
    ASSERT_TRUE(this->device->ClearErrors(errors, waiting));
    EXPECT_EQ(errors, 0u);
    EXPECT_EQ(waiting, 3u);
    char bytes[2] = {};
    EXPECT_EQ(this->device->Read(bytes, sizeof bytes), 2);
    EXPECT_EQ(std::string(bytes, 2), "ab");

    ASSERT_TRUE(this->device->Purge(PURGE_RXABORT | PURGE_RXCLEAR));
    ASSERT_TRUE(this->device->InputQueueBytes(waiting));
    EXPECT_EQ(waiting, 0u);
    EXPECT_EQ(this->device->Read(bytes, sizeof bytes), 0);
    EXPECT_FALSE(this->device->Purge(0x100));
    EXPECT_EQ(errno, EINVAL);
}

TYPED_TEST(DeviceContract, AWaitEndsOnWakeAndOnAMaskChange)
{
    for (const bool byMask : {false, true}) {
        auto waiting = std::async(std::launch::async, [this] {
            WaitRequest request;  // no time-out
            return this->device->WaitEvent(request);
        });
        std::this_thread::sleep_for(20ms);
        if (byMask) {
            ASSERT_TRUE(this->device->SetEventMask(EV_RXCHAR | EV_CTS));
        } else {
            this->device->WakeWait();
        }
        ASSERT_EQ(waiting.wait_for(5s), std::future_status::ready) << (byMask ? "mask change" : "wake");
        EXPECT_EQ(waiting.get().events, 0u);
    }
    EXPECT_FALSE(this->device->SetEventMask(0x10000));
    EXPECT_EQ(errno, EINVAL);
    EXPECT_EQ(this->device->EventMask(), EV_RXCHAR | EV_CTS);
}

TYPED_TEST(DeviceContract, ReportsTheOutputQueueRunningEmpty)
{
    ASSERT_TRUE(this->device->SetEventMask(EV_RXCHAR | EV_TXEMPTY));
    ASSERT_EQ(this->device->Write("out", 3), 3);
    EXPECT_EQ(ReadDescriptor(this->kind.FarSide(), 3), "out");
    const WaitResult result =
        WaitUntil(*this->device, [](const WaitResult& wait) { return (wait.events & EV_TXEMPTY) != 0; });
    EXPECT_EQ(result.events, EV_TXEMPTY);
}

TYPED_TEST(DeviceContract, KeepsSettingsItCannotHave)
{
    LineSettings line;
    ASSERT_TRUE(this->device->GetLineSettings(line));
    ASSERT_TRUE(BuildLineSettings("19200,n,8,2", line));
    ASSERT_TRUE(this->device->SetLineSettings(line));
    LineSettings impossible = line;
    ASSERT_TRUE(BuildLineSettings("9600,n,8,1.5", impossible));
    errno = 0;
    EXPECT_FALSE(this->device->SetLineSettings(impossible));
    EXPECT_EQ(errno, EINVAL);
    LineSettings kept;
    ASSERT_TRUE(this->device->GetLineSettings(kept));
    EXPECT_EQ(kept.baudRate, 19200u);
    EXPECT_EQ(kept.stopBits, StopBits::Two);
}

TYPED_TEST(DeviceContract, ADeviceThatVanishesIsLostAndNothingSpins)
{
    EXPECT_FALSE(this->device->IsLost());
    EXPECT_TRUE(this->device->CheckPresence());
    // What waited when it went is not promised: a pseudo-terminal's hang-up discards it.
    this->kind.Vanish();
    const WaitResult result = WaitUntil(*this->device, [](const WaitResult& wait) { return wait.hungUp; });
    EXPECT_TRUE(result.hungUp);
    EXPECT_TRUE(this->device->IsLost());
    EXPECT_FALSE(this->device->CheckPresence());
    char byte = 0;
    EXPECT_LE(this->device->Read(&byte, 1), 0);
    EXPECT_EQ(this->device->Write("x", 1), -1);
    WaitRequest request;
    request.watchOutputRoom = true;
    request.timeoutMs = 1000;
    const auto start = Clock::now();
    const WaitResult after = this->device->WaitEvent(request);
    EXPECT_TRUE(after.hungUp);
    EXPECT_TRUE(after.outputRoom);
    EXPECT_LT(Clock::now() - start, 500ms);
    this->device->Close();
    EXPECT_FALSE(this->device->IsOpen());
}

TEST(DeviceKinds, TheTargetsFormChoosesTheKindAndWhetherOpeningMayWait)
{
    for (const char* target : {"rfc2217://127.0.0.1:2000", "TCP://[::1]:7", "tcp://no port"}) {
        EXPECT_NE(dynamic_cast<NetworkDevice*>(CreateDevice(target).get()), nullptr) << target;
        EXPECT_TRUE(OpeningMayWait(target)) << target;
    }
    for (const char* target : {"/dev/ttyUSB0", "relative/tcp://x", ""}) {
        EXPECT_NE(dynamic_cast<SerialDevice*>(CreateDevice(target).get()), nullptr) << target;
        EXPECT_FALSE(OpeningMayWait(target)) << target;
    }
}

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
