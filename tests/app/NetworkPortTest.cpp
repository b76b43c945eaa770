// Network ports through the real window: ser2net on 127.0.0.1 in front of a pseudo-terminal,
// and scripted servers for the ones that misbehave.
#include <netinet/in.h>
#include <sys/socket.h>
#include <termios.h>
#include <unistd.h>

#include <QAction>
#include <QElapsedTimer>
#include <QTimer>
#include <atomic>
#include <thread>

#include "platform/CodePage.h"
#include "platform/TelnetComPort.h"
#include "tests/app/MainWindowFixture.h"
#include "tests/platform/DescriptorIo.h"
#include "tests/support/ProcessCounts.h"
#include "tests/support/ScriptedServer.h"
#include "tests/support/Ser2netServer.h"

namespace {

using namespace std::chrono_literals;

const std::string kLostLine = Utf8ToGbk("\r\n--串口已断开--\r\n");
const std::string kBackLine = Utf8ToGbk("\r\n--串口已重新连接--\r\n");

// The longest the event loop may stay away while the window stays responsive: far below the
// 3 s a connect may take, with room for a loaded machine's scheduling.
constexpr qint64 kResponsiveMs = 250;

// Runs the event loop for `duration` and returns the longest time it did not come round.
qint64 LongestBlockWithin(std::chrono::milliseconds duration)
{
    qint64 longest = 0;
    QElapsedTimer sinceTick;
    QTimer tick;
    QObject::connect(&tick, &QTimer::timeout, [&] { longest = std::max(longest, sinceTick.restart()); });
    sinceTick.start();
    tick.start(1);
    QTest::qWait(static_cast<int>(duration.count()));
    return longest;
}

// A port where connecting never completes: its one place in the accept queue is taken, so the
// system drops every further connection request unanswered.
class FullListener {
public:
    FullListener()
    {
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t size = sizeof address;
        listen_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        ::bind(listen_, reinterpret_cast<sockaddr*>(&address), sizeof address);
        ::listen(listen_, 0);
        ::getsockname(listen_, reinterpret_cast<sockaddr*>(&address), &size);
        port_ = ntohs(address.sin_port);
        queued_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        ::connect(queued_, reinterpret_cast<sockaddr*>(&address), sizeof address);
    }
    ~FullListener()
    {
        ::close(queued_);
        ::close(listen_);
    }
    std::string Url(const std::string& scheme) const { return scheme + "://127.0.0.1:" + std::to_string(port_); }

private:
    int listen_ = -1;
    int queued_ = -1;
    std::uint16_t port_ = 0;
};

std::string Bytes(std::initializer_list<int> values)
{
    std::string bytes;
    for (const int value : values) {
        bytes += static_cast<char>(value);
    }
    return bytes;
}

QString OpenFailureText(const std::string& reasonUtf8)
{
    return QStringLiteral("不能打开串口！\n") + QString::fromStdString(reasonUtf8);
}

class NetworkPortTest : public MainWindowTest {
protected:
    // A Config.ini whose [Ports] maps COM1, COM2, ... to `targets`; nothing is selected at
    // start (which says so in a box).
    void MapPorts(const std::vector<std::string>& targets, const QByteArray& moreSettings = {})
    {
        QByteArray config = "[Setting]\r\nPort=60\r\n" + moreSettings + "[Ports]\r\n";
        for (std::size_t index = 0; index < targets.size(); ++index) {
            config += "COM" + QByteArray::number(static_cast<int>(index) + 1) + "=" +
                      QByteArray::fromStdString(targets[index]) + "\r\n";
        }
        WriteConfig(config);
    }

    // COM3 is `url` and opens at start.
    CSerialDebugDlg& StartOn(const std::string& url, const QByteArray& moreSettings = {})
    {
        WriteConfig("[Setting]\r\nPort=2\r\n" + moreSettings + PortsSection(3, url));
        return Start();
    }

    bool WaitForPortState(bool open, int milliseconds = 5000) const
    {
        return QTest::qWaitFor([&] { return m_window->IsPortOpen() == open; }, milliseconds);
    }

    bool WaitForMessages(int count, int milliseconds = 6000) const
    {
        return QTest::qWaitFor([&] { return m_messages.texts.size() >= count; }, milliseconds);
    }

    QString Caption() const { return Control<QPushButton>(IDC_OPEN)->text(); }
};

class NetworkPortThroughSer2net : public NetworkPortTest,
                                  public ::testing::WithParamInterface<Ser2netServer::Mode> {
protected:
    void SetUp() override
    {
        if (!Ser2netServer::Installed()) {
            GTEST_SKIP() << "ser2net is not installed (scripts/setup-debian.sh installs it)";
        }
        server = std::make_unique<Ser2netServer>(pty.SlavePath(), GetParam());
        ASSERT_TRUE(server->Running()) << server->Log();
    }

    PseudoTerminal pty;
    std::unique_ptr<Ser2netServer> server;
};

}  // namespace

TEST_P(NetworkPortThroughSer2net, OpensWithoutBlockingAndCarriesBytesBothWays)
{
    CSerialDebugDlg& window = StartOn(server->Url(), "HexDisplay=1\r\n");
    EXPECT_FALSE(window.IsPortOpen()) << "the port opens in the background";
    EXPECT_EQ(Caption(), QStringLiteral("关闭"));
    ASSERT_TRUE(WaitForPortState(true));
    EXPECT_EQ(Caption(), QStringLiteral("关闭"));
    EXPECT_TRUE(window.PortStateIconIsOpen());
    EXPECT_TRUE(m_messages.texts.isEmpty()) << m_messages.texts.join(QLatin1Char('|')).toStdString();

    window.SendString("FF FF 00 00 41 FF", 1);
    EXPECT_EQ(DeviceReceives(pty, 6), std::string("\xFF\xFF\x00\x00\x41\xFF", 6));
    pty.Write(std::string("\x00\xFF\xFF\x7F", 4));
    ASSERT_TRUE(QTest::qWaitFor([&] { return window.ReceiveCounter() == 4; }, 5000));
    EXPECT_EQ(window.ReceiveText(), "00 FF FF 7F ");
}

TEST_P(NetworkPortThroughSer2net, AServerStoppedMidTransferLosesThePortAndAutoReconnectBringsItBack)
{
    CSerialDebugDlg& window = StartOn(server->Url(), "AutoReconnect=1\r\n");
    ASSERT_TRUE(WaitForPortState(true));
    std::atomic<bool> flooding{true};
    std::thread deviceSide([&] {
        const std::string chunk(4096, 'f');
        while (flooding) {
            device_io::WriteDescriptor(pty.Master(), chunk, 50ms);
        }
    });
    ASSERT_TRUE(QTest::qWaitFor([&] { return window.ReceiveCounter() > 20000; }, 5000));
    server->Stop();
    const bool lost = WaitForPortState(false);
    flooding = false;
    deviceSide.join();
    ASSERT_TRUE(lost);
    EXPECT_EQ(Caption(), QStringLiteral("打开"));
    EXPECT_FALSE(window.PortStateIconIsOpen());
    EXPECT_NE(window.ReceiveText().find(kLostLine), std::string::npos);
    EXPECT_TRUE(m_messages.texts.isEmpty()) << "a loss shows no box";
    EXPECT_TRUE(window.Session().WaitingForDevice());

    // The flood still queued for the device side would come first after the reconnection and
    // could fill the view past its clearing.
    static_cast<void>(pty.ReadAvailable());
    ASSERT_EQ(::tcflush(pty.Slave(), TCIFLUSH), 0);
    ASSERT_TRUE(server->Start()) << server->Log();
    ASSERT_TRUE(WaitForPortState(true, 5000)) << "tried again at least every two seconds";
    pty.Write("hello again");
    ASSERT_TRUE(
        QTest::qWaitFor([&] { return window.ReceiveText().find("hello again") != std::string::npos; }, 5000));
    const std::string& text = window.ReceiveText();
    EXPECT_LT(text.find(kBackLine), text.find("hello again"));
    EXPECT_TRUE(m_messages.texts.isEmpty());
    EXPECT_FALSE(window.Session().WaitingForDevice());
}

TEST_P(NetworkPortThroughSer2net, WithoutAutoReconnectALostPortStaysClosedAndTheUserCanOpenItAgain)
{
    CSerialDebugDlg& window = StartOn(server->Url());
    ASSERT_TRUE(WaitForPortState(true));
    server->Stop();
    ASSERT_TRUE(WaitForPortState(false));
    EXPECT_FALSE(window.Session().WaitingForDevice());
    ASSERT_TRUE(server->Start()) << server->Log();
    QTest::qWait(600);
    EXPECT_FALSE(window.IsPortOpen());
    Click(IDC_OPEN);
    ASSERT_TRUE(WaitForPortState(true));
    EXPECT_TRUE(m_messages.texts.isEmpty());
}

INSTANTIATE_TEST_SUITE_P(Modes, NetworkPortThroughSer2net,
                         ::testing::Values(Ser2netServer::Mode::Rfc2217, Ser2netServer::Mode::Raw),
                         [](const auto& info) {
                             return info.param == Ser2netServer::Mode::Rfc2217 ? "Rfc2217" : "Raw";
                         });

namespace {

class NetworkPortSettings : public NetworkPortThroughSer2net {};

}  // namespace

TEST_P(NetworkPortSettings, TheSettingsTextReachesTheDeviceAndARefusalIsOneBoxWithThePortOpen)
{
    CSerialDebugDlg& window = StartOn(server->Url(), "BordRate=115200,o,8,2\r\n");
    ASSERT_TRUE(WaitForPortState(true));
    termios settings{};
    ASSERT_EQ(::tcgetattr(pty.Master(), &settings), 0);
    EXPECT_EQ(::cfgetospeed(&settings), static_cast<speed_t>(B115200));
    EXPECT_NE(settings.c_cflag & CSTOPB, 0u);
    EXPECT_NE(settings.c_cflag & PARODD, 0u);
    EXPECT_TRUE(m_messages.texts.isEmpty());

    // ser2net leaves 1.5 stop bits unanswered: the settings are refused, the port stays open.
    Control<QLineEdit>(IDC_SETTINGS)->setText(QStringLiteral("9600,n,5,1.5"));
    Click(IDC_OPEN);
    Click(IDC_OPEN);
    ASSERT_TRUE(WaitForMessages(1));
    QTest::qWait(50);
    EXPECT_EQ(m_messages.texts,
              QStringList{OpenFailureText("设备 " + server->Url() + " 不接受设置“9600,n,5,1.5”。")});
    EXPECT_TRUE(window.IsPortOpen());
    EXPECT_EQ(Caption(), QStringLiteral("关闭"));
    pty.Write("still here");
    EXPECT_TRUE(QTest::qWaitFor([&] { return window.ReceiveText().find("still here") != std::string::npos; }, 5000));
}

INSTANTIATE_TEST_SUITE_P(Rfc2217, NetworkPortSettings, ::testing::Values(Ser2netServer::Mode::Rfc2217),
                         [](const auto&) { return "Rfc2217"; });

TEST_F(NetworkPortTest, AConnectThatNeverCompletesNeverBlocksTheWindowAndTheUserEndsIt)
{
    FullListener full;
    ScriptedServer silent([](ScriptedServer::Client& client) { client.WaitUntilGone(10s); });
    MapPorts({full.Url("tcp"), silent.Url("rfc2217"), full.Url("rfc2217")});
    CSerialDebugDlg& window = Start();
    m_messages.texts.clear();

    PickPort(0);
    EXPECT_EQ(Caption(), QStringLiteral("关闭"));
    EXPECT_LT(LongestBlockWithin(600ms), kResponsiveMs);
    EXPECT_FALSE(window.IsPortOpen());
    EXPECT_FALSE(window.PortStateIconIsOpen());

    PickPort(1);  // ends the first connect
    EXPECT_LT(LongestBlockWithin(300ms), kResponsiveMs);
    QElapsedTimer clock;
    clock.start();
    Click(IDC_OPEN);  // ends the second
    EXPECT_LT(clock.elapsed(), kResponsiveMs) << "ending a connect does not wait for it";
    EXPECT_EQ(Caption(), QStringLiteral("打开"));
    EXPECT_FALSE(window.Port().Opening());
    QTest::qWait(3500);  // past the time-out: nothing comes of the ended connects
    EXPECT_TRUE(m_messages.texts.isEmpty()) << m_messages.texts.join(QLatin1Char('|')).toStdString();
    EXPECT_FALSE(window.IsPortOpen());

    PickPort(2);
    EXPECT_TRUE(window.Port().Opening());
    clock.restart();
    CloseWindow();  // ends the third
    EXPECT_LT(clock.elapsed(), 500);
}

TEST_F(NetworkPortTest, EachBadAddressOrServerGivesOneClearMessage)
{
    std::uint16_t closedPort = 0;
    {
        ScriptedServer gone([](ScriptedServer::Client&) {});
        closedPort = gone.Port();
    }
    const std::string refused = "tcp://127.0.0.1:" + std::to_string(closedPort);
    ScriptedServer banner([](ScriptedServer::Client& client) {
        client.Send("SSH-2.0-OpenSSH_9.2\r\n");
        client.WaitUntilGone(10s);
    });
    FullListener full;
    const struct {
        std::string target;
        std::string reason;
    } cases[] = {
        {"tcp://no-such-host.invalid:2000",
         "网络串口 tcp://no-such-host.invalid:2000 的主机名无法解析（名称写错了，或者连不上域名服务器）。"},
        {refused, "网络串口 " + refused + " 拒绝连接（那台主机的这个端口上没有服务在监听）。"},
        {"tcp://127.0.0.1", "网络串口 tcp://127.0.0.1 的地址不对：应写成 rfc2217://主机:端口 或 tcp://主机:端口，端口为 1 到 65535。"},
        {"rfc2217://127.0.0.1:0",
         "网络串口 rfc2217://127.0.0.1:0 的地址不对：应写成 rfc2217://主机:端口 或 tcp://主机:端口，端口为 1 到 65535。"},
        {"rfc2217://[::1]:70000",
         "网络串口 rfc2217://[::1]:70000 的地址不对：应写成 rfc2217://主机:端口 或 tcp://主机:端口，端口为 1 到 65535。"},
        {banner.Url("rfc2217"), "网络串口 " + banner.Url("rfc2217") +
                                    " 在 3 秒内没有 Telnet 应答，它可能不是 RFC 2217 服务器（原始 TCP 请写 tcp://）。"},
        {full.Url("tcp"), "网络串口 " + full.Url("tcp") + " 在 3 秒内没有应答。"},
    };
    std::vector<std::string> targets;
    for (const auto& entry : cases) {
        targets.push_back(entry.target);
    }
    MapPorts(targets);
    CSerialDebugDlg& window = Start();
    for (int index = 0; index < static_cast<int>(std::size(cases)); ++index) {
        m_messages.texts.clear();
        PickPort(index);
        EXPECT_LT(LongestBlockWithin(50ms), kResponsiveMs);
        ASSERT_TRUE(WaitForMessages(1)) << cases[index].target;
        QTest::qWait(50);
        EXPECT_EQ(m_messages.texts, QStringList{OpenFailureText(cases[index].reason)}) << cases[index].target;
        EXPECT_FALSE(window.IsPortOpen());
        EXPECT_EQ(Caption(), QStringLiteral("打开"));
    }
}

TEST_F(NetworkPortTest, HostileServersNeitherHangTheWindowNorGrowIt)
{
    using namespace telnet;
    const std::string greeting = fake_server::Greeting();
    ScriptedServer subnegotiation(fake_server::Endless(greeting + Bytes({IAC, SB, OPTION_COM_PORT, 107}), "\x10"));
    ScriptedServer commands(fake_server::Endless(greeting, Bytes({IAC, DO, 24, IAC, 241, IAC, WILL, 31, IAC, 249})));
    ScriptedServer telnetFlood(fake_server::Endless(greeting, "\xFF\xFF" "0123456789abcdef\r\n"));
    ScriptedServer rawFlood(fake_server::Endless("", "0123456789abcdef\r\n"));
    ScriptedServer mute([](ScriptedServer::Client& client) { client.WaitUntilGone(20s); });
    MapPorts({subnegotiation.Url("rfc2217"), commands.Url("rfc2217"), telnetFlood.Url("rfc2217"), rawFlood.Url("tcp"),
              mute.Url("tcp")});
    CSerialDebugDlg& window = Start();
    const long before = ResidentKilobytes();
    for (int index = 0; index < 5; ++index) {
        m_messages.texts.clear();
        PickPort(index);
        EXPECT_LT(LongestBlockWithin(2500ms), kResponsiveMs) << "COM" << index + 1;
        EXPECT_TRUE(WaitForPortState(true)) << "COM" << index + 1;
        // A server that answers no settings has them refused, once; the others open quietly.
        EXPECT_LE(m_messages.texts.size(), 1) << m_messages.texts.join(QLatin1Char('|')).toStdString();
    }
    EXPECT_GT(window.ReceiveCounter(), 100000);
    EXPECT_LT(ResidentKilobytes() - before, 40 * 1024);
    QElapsedTimer clock;
    clock.start();
    CloseWindow();
    EXPECT_LT(clock.elapsed(), 1000);
}

TEST_F(NetworkPortTest, ThePortListShowsTheAddressAsTheToolTip)
{
    MapPorts({"rfc2217://lab-rack-7:4001", "tcp://[2001:db8::1]:2000"});
    Start();
    auto* list = Control<QComboBox>(IDC_PORT);
    EXPECT_EQ(list->itemData(0, Qt::ToolTipRole).toString(), QStringLiteral("rfc2217://lab-rack-7:4001"));
    EXPECT_EQ(list->itemData(1, Qt::ToolTipRole).toString(), QStringLiteral("tcp://[2001:db8::1]:2000"));
    EXPECT_EQ(list->itemText(0), QStringLiteral("COM1"));
}
