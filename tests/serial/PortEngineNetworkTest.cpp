// The port engine on network ports: opening in the background, its outcome, and ending it.
#include <gtest/gtest.h>

#include "platform/CodePage.h"
#include "platform/TelnetComPort.h"
#include "serial/PortOpening.h"
#include "tests/platform/TempDir.h"
#include "tests/serial/RecordingSink.h"
#include "tests/support/PseudoTerminal.h"
#include "tests/support/ScriptedServer.h"
#include "tests/support/Ser2netServer.h"

namespace {

using namespace std::chrono_literals;
using SteadyClock = std::chrono::steady_clock;

class PortEngineNetwork : public ::testing::Test {
protected:
    // Maps COM1, COM2, ... to `targets` and points the engine at port `number`.
    void MapPorts(const std::vector<std::string>& targets, int number = 1)
    {
        std::string config = "[Ports]\r\n";
        for (std::size_t index = 0; index < targets.size(); ++index) {
            config += "COM" + std::to_string(index + 1) + "=" + targets[index] + "\r\n";
        }
        WriteFile(dir.File("Config.ini"), config);
        engine.SetPortMapFile(dir.File("Config.ini"));
        engine.SetNotificationSink(&sink);
        SelectPort(number);
    }

    void SelectPort(int number)
    {
        engine.SetPortNumber(number);
        engine.SetDeviceName(PortDeviceName(number));
    }

    // Waits for an opening to end and takes its outcome, which WM_COMM_OPENED announced.
    std::optional<OpenSteps> AwaitOpening()
    {
        const auto deadline = SteadyClock::now() + 10s;
        for (; SteadyClock::now() < deadline; std::this_thread::sleep_for(2ms)) {
            if (std::optional<OpenSteps> steps = engine.FinishOpening()) {
                const std::vector<Notification> posted = sink.Notifications();
                EXPECT_TRUE(!posted.empty() && posted.back().message == WM_COMM_OPENED);
                return steps;
            }
        }
        return std::nullopt;
    }

    TempDir dir;
    RecordingSink sink;
    PortEngine engine;
};

}  // namespace

TEST_F(PortEngineNetwork, ANetworkPortOpensInTheBackgroundWithItsSettings)
{
    if (!Ser2netServer::Installed()) {
        GTEST_SKIP() << "ser2net is not installed (scripts/setup-debian.sh installs it)";
    }
    PseudoTerminal pty;
    Ser2netServer server(pty.SlavePath(), Ser2netServer::Mode::Rfc2217);
    ASSERT_TRUE(server.Running()) << server.Log();
    MapPorts({pty.SlavePath(), server.Url()}, 2);

    // An opening that waited would take the server's answer (up to 3 s); a second tells the two
    // apart also on a loaded machine under a sanitizer, where starting a thread can take 250 ms.
    const auto start = SteadyClock::now();
    ASSERT_TRUE(engine.BeginOpening("19200,n,8,1"));
    EXPECT_LT(SteadyClock::now() - start, 1s);
    EXPECT_TRUE(engine.Opening());
    EXPECT_FALSE(engine.IsOpen());
    const std::optional<OpenSteps> steps = AwaitOpening();
    ASSERT_TRUE(steps);
    EXPECT_TRUE(steps->opened && steps->setUp && steps->settingsTaken);
    EXPECT_TRUE(engine.IsOpen());
    EXPECT_FALSE(engine.Opening());
    EXPECT_EQ(engine.Target(), server.Url());
    EXPECT_FALSE(engine.FinishOpening()) << "the outcome is taken once";

    pty.Write("in");
    ASSERT_TRUE(sink.WaitForCount(2));
    unsigned char buffer[8];
    EXPECT_EQ(engine.ReadReceived(buffer, sizeof buffer), 2u);
    engine.Close();

    // A local device is not opened in the background.
    SelectPort(1);
    EXPECT_FALSE(engine.BeginOpening("9600,n,8,1"));
    EXPECT_FALSE(engine.Opening());
}

TEST_F(PortEngineNetwork, SettingsTheServerRefusesLeaveThePortOpenAndSaySo)
{
    ScriptedServer server([](ScriptedServer::Client& client) {
        fake_server::ServeComPort(client, [](const fake_server::Request& request, std::string&) {
            return !(request.command == telnet::SET_BAUDRATE && request.value == std::string("\x00\x00\x4B\x00", 4));
        });
    });
    MapPorts({server.Url("rfc2217")});
    PortOpening opening = OpenNumberedPort(engine, 1, "19200,n,8,1");
    EXPECT_TRUE(opening.pending);
    ASSERT_TRUE(sink.WaitForCount(1));
    std::optional<PortOpening> finished = FinishPortOpening(engine);
    ASSERT_TRUE(finished);
    EXPECT_FALSE(finished->succeeded);
    EXPECT_EQ(GbkToUtf8(finished->reason), "设备 " + server.Url("rfc2217") + " 不接受设置“19200,n,8,1”。");
    EXPECT_TRUE(engine.IsOpen());
    EXPECT_FALSE(FinishPortOpening(engine));
}

TEST_F(PortEngineNetwork, ClosingOrOpeningAgainEndsAnOpeningAtOnce)
{
    ScriptedServer silent([](ScriptedServer::Client& client) { client.WaitUntilGone(20s); });
    MapPorts({silent.Url("rfc2217"), silent.Url("tcp")});
    for (int round = 0; round < 20; ++round) {
        ASSERT_TRUE(engine.BeginOpening("9600,n,8,1"));
        std::this_thread::sleep_for(std::chrono::milliseconds(round % 4));
        const auto start = SteadyClock::now();
        if (round % 2 == 0) {
            engine.Close();
        } else {
            engine.CancelOpening();
        }
        // A silent server would hold an opening that is not ended for 3 s.
        EXPECT_LT(SteadyClock::now() - start, 1s) << "round " << round;
        EXPECT_FALSE(engine.Opening());
        EXPECT_FALSE(engine.IsOpen());
        EXPECT_FALSE(engine.FinishOpening());
    }
    // A new opening ends the one before; the raw port opens.
    ASSERT_TRUE(engine.BeginOpening("9600,n,8,1"));
    SelectPort(2);
    ASSERT_TRUE(engine.BeginOpening("9600,n,8,1"));
    const std::optional<OpenSteps> steps = AwaitOpening();
    ASSERT_TRUE(steps);
    EXPECT_TRUE(steps->settingsTaken);
    EXPECT_EQ(engine.Target(), silent.Url("tcp"));
    // An open port is closed by the next opening too.
    ASSERT_TRUE(engine.BeginOpening("9600,n,8,1"));
    EXPECT_FALSE(engine.IsOpen());
}

TEST_F(PortEngineNetwork, AFailedOpeningKeepsItsReason)
{
    std::uint16_t closedPort = 0;
    {
        ScriptedServer gone([](ScriptedServer::Client&) {});
        closedPort = gone.Port();
    }
    const std::string refused = "tcp://127.0.0.1:" + std::to_string(closedPort);
    MapPorts({refused});
    ASSERT_TRUE(OpenNumberedPort(engine, 1, "9600,n,8,1").pending);
    ASSERT_TRUE(sink.WaitForCount(1));
    const std::optional<PortOpening> finished = FinishPortOpening(engine);
    ASSERT_TRUE(finished);
    EXPECT_FALSE(engine.IsOpen());
    EXPECT_EQ(engine.LastOpenError().failure, OpenFailure::Refused);
    EXPECT_EQ(GbkToUtf8(finished->reason), "网络串口 " + refused + " 拒绝连接（那台主机的这个端口上没有服务在监听）。");
}
