// The device contract (DeviceContract.h) on Linux: against a local serial device (a
// pseudo-terminal) and against network devices reaching a pseudo-terminal through ser2net,
// both with RFC 2217 and as raw TCP, all made by CreateDevice from their targets. After them,
// what only the local serial device does.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <filesystem>
#include <future>
#include <memory>

#include "platform/NetworkDevice.h"
#include "platform/SerialDevice.h"
#include "tests/platform/DescriptorIo.h"
#include "tests/platform/DeviceContract.h"
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
    std::string ReadFar(std::size_t count) const { return ReadDescriptor(pty.Master(), count); }
    bool WriteFar(const std::string& bytes) const { return WriteDescriptor(pty.Master(), bytes); }
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
    std::string ReadFar(std::size_t count) const { return ReadDescriptor(pty.Master(), count); }
    bool WriteFar(const std::string& bytes) const { return WriteDescriptor(pty.Master(), bytes); }
    void Vanish() { server->Stop(); }

    PseudoTerminal pty;
    std::unique_ptr<Ser2netServer> server;
};

using Rfc2217Kind = Ser2netKind<Ser2netServer::Mode::Rfc2217>;
using RawTcpKind = Ser2netKind<Ser2netServer::Mode::Raw>;

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

}  // namespace

INSTANTIATE_TYPED_TEST_SUITE_P(Linux, DeviceContract, DeviceKinds, KindNames);

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
