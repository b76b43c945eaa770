// A terminal session without a window, on real pseudo-terminals, turned by the test's own loop
// and clock: what it shows, counts, answers, sends and records.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <filesystem>
#include <functional>
#include <thread>

#include "platform/CodePage.h"
#include "platform/DeviceWatcher.h"
#include "session/TerminalSession.h"
#include "tests/platform/TempDir.h"
#include "tests/support/ManualClock.h"
#include "tests/support/ManualLoop.h"
#include "tests/support/PseudoTerminal.h"
#include "platform/VirtualDevice.h"

namespace {

using std::chrono::milliseconds;

const std::string kSentMark = "\xB7\xA2\xA1\xFA";  // "发→" in GBK
const std::string kLostLine = Utf8ToGbk("\r\n--串口已断开--\r\n");
const std::string kBackLine = Utf8ToGbk("\r\n--串口已重新连接--\r\n");

std::size_t Occurrences(const std::string& text, const std::string& part)
{
    std::size_t count = 0;
    for (std::size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + part.size())) {
        ++count;
    }
    return count;
}

// What a session reports; it answers the auto-send period as the window does, by sending.
class Recorder : public SessionObserver {
public:
    explicit Recorder(TerminalSession& session) : m_session(session) { m_session.AddObserver(this); }
    ~Recorder() override { m_session.RemoveObserver(this); }

    void SendingStopped() override { ++stops; }
    void ReceiveChanged() override { longestArea = std::max(longestArea, m_session.Area().Length()); }
    void AutoSendDue() override { m_session.SendString("tick", 0); }
    void Message(const SessionMessage& message) override { messages.push_back(message.kind); }

    int stops = 0;
    std::size_t longestArea = 0;
    std::vector<SessionMessage::Kind> messages;

private:
    TerminalSession& m_session;
};

// A session in a settings folder of its own, whose COM3 is `device`.
struct SessionOnPty {
    SessionOnPty(ManualLoop& loop, Scheme& scheme, const std::string& device)
        : session(loop, scheme, devices, PortMap(device)), recorder(session)
    {
    }

    std::string PortMap(const std::string& device) const
    {
        WriteFile(folder.File("Config.ini"), "[Ports]\r\nCOM3=" + device + "\r\n");
        return folder.File("Config.ini");
    }

    TempDir folder;
    DeviceWatcher devices;
    TerminalSession session;
    Recorder recorder;
};

class SessionTest : public ::testing::Test {
protected:
    // A fresh session on `device` (the test's pseudo-terminal unless given), port open.
    TerminalSession& Open(const std::string& device = {})
    {
        m_terminal.reset();
        m_terminal = std::make_unique<SessionOnPty>(m_loop, m_scheme, device.empty() ? m_device.SlavePath() : device);
        Session().UseClock(m_clock);
        Session().OpenPort(3, "9600,n,8,1");
        EXPECT_TRUE(Session().IsPortOpen());
        return Session();
    }
    TerminalSession& Session() { return m_terminal->session; }

    // Writes `bytes` on the device side, once, and waits until the session has counted them.
    void Receive(const std::string& bytes, PseudoTerminal& device)
    {
        const int counted = Session().ReceiveCounter() + static_cast<int>(bytes.size());
        device.Write(bytes);
        ASSERT_TRUE(m_loop.RunUntil([&] { return Session().ReceiveCounter() >= counted; }));
    }
    void Receive(const std::string& bytes) { Receive(bytes, m_device); }

    // In reads of at most 1000 bytes, each once the one before was counted.
    void Feed(const std::string& bytes)
    {
        for (std::size_t done = 0; done < bytes.size(); done += 1000) {
            Receive(bytes.substr(done, 1000));
        }
    }

    std::string DeviceGets(std::size_t count)
    {
        std::string got;
        while (got.size() < count) {
            const std::string more = m_device.Read(count - got.size(), std::chrono::seconds(5));
            if (more.empty()) {
                break;
            }
            got += more;
        }
        return got;
    }

    ManualClock m_clock;
    ManualLoop m_loop;
    Scheme m_scheme;
    PseudoTerminal m_device;
    TempDir m_files;
    std::unique_ptr<SessionOnPty> m_terminal;
};

}  // namespace

TEST_F(SessionTest, EveryByteIsCountedAndTheAreaIsEmptiedAt30000OrAbove5000WithAutoClear)
{
    struct Case {
        bool autoClear;
        std::size_t received;
        std::size_t shownAfter;
    };
    for (const Case& c : {Case{false, 29999, 29999}, Case{false, 30000, 0}, Case{true, 5000, 5000}, Case{true, 5001, 0}}) {
        SCOPED_TRACE(::testing::Message() << "auto-clear " << c.autoClear << ", " << c.received << " bytes");
        TerminalSession& session = Open();
        session.SetAutoClear(c.autoClear);
        Feed(std::string(c.received, 'x'));
        EXPECT_EQ(session.Area().Length(), c.shownAfter);
        EXPECT_EQ(session.ReceiveCounter(), static_cast<int>(c.received));
    }
}

// Both ways of answering, on the session's thread and with "立即回复" on the port's, match alike.
class SessionAutoReplyTest : public SessionTest, public ::testing::WithParamInterface<bool> {};

TEST_P(SessionAutoReplyTest, ARuleFiresOncePerReadOnTheBytesKeptSinceTheLastFiringUpTo1024)
{
    struct Case {
        const char* what;
        std::string pattern;
        std::vector<std::string> reads;
        int firings;
    };
    const Case cases[] = {
        {"a pattern split over two reads fires on the second", "OK", {"O", "K"}, 1},
        {"a read holding the pattern twice fires once", "OK", {"OKOK"}, 1},
        {"a firing empties the kept bytes", "OK", {"OK", "K"}, 1},
        {"1024 kept bytes are kept", "BC", {std::string(1000, 'A'), std::string(24, 'B'), "C"}, 1},
        {"beyond 1024 kept bytes are dropped", "BC", {std::string(1000, 'A'), std::string(25, 'B'), "C"}, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        m_scheme = Scheme();
        m_scheme.AddRule({"r", c.pattern, "!", 0, 0});
        TerminalSession& session = Open();
        session.SetAutoReply(true);
        session.SetInstantReply(GetParam());
        for (const std::string& read : c.reads) {
            Receive(read);
        }
        EXPECT_EQ(session.SendCounter(), c.firings);
        EXPECT_EQ(DeviceGets(static_cast<std::size_t>(c.firings)), std::string(static_cast<std::size_t>(c.firings), '!'));
        EXPECT_EQ(Occurrences(session.Area().Text(), AutoReplyLine("r")), static_cast<std::size_t>(c.firings));
    }
}

INSTANTIATE_TEST_SUITE_P(OwnThreadAndPortThread, SessionAutoReplyTest, ::testing::Bool());

TEST_F(SessionTest, EveryRouteOfSendingWritesItsBytesAndShowsThemAsASentFrame)
{
    m_scheme.AddRule({"q", "Q", "R", 0, 0});
    TerminalSession& session = Open();
    DisplayOptions options;
    options.showSent = true;
    session.SetDisplayOptions(options);
    session.SetAutoReply(true);
    struct Route {
        const char* what;
        std::function<void()> send;
        std::string bytes;
    };
    const Route routes[] = {
        {"text", [&] { session.SendString("ab", 0); }, "ab"},
        {"hex", [&] { session.SendString("01 02", 1); }, "\x01\x02"},
        {"auto-send",
         [&] {
             ASSERT_TRUE(session.SetAutoSend(true, -50));
             m_loop.Advance(milliseconds(50));
             session.SetAutoSend(false, -50);
         },
         "tick"},
        {"auto-reply", [&] { Receive("Q"); }, "R"},
        {"instant reply",
         [&] {
             session.SetInstantReply(true);
             Receive("Q");
             session.SetInstantReply(false);
         },
         "R"},
    };
    for (const Route& route : routes) {
        SCOPED_TRACE(route.what);
        session.ClearReceive();
        const int before = session.SendCounter();
        route.send();
        EXPECT_EQ(DeviceGets(route.bytes.size()), route.bytes);
        EXPECT_EQ(session.SendCounter(), before + static_cast<int>(route.bytes.size()));
        EXPECT_NE(session.Area().Text().find(kSentMark + route.bytes), std::string::npos) << session.Area().Text();
    }

    // With the port closed a send is counted, but written and shown nowhere.
    session.ClosePort();
    session.ClearReceive();
    session.SendString("zz", 0);
    EXPECT_EQ(session.Area().Text(), "");
    EXPECT_EQ(session.SendCounter(), 2 + 2 + 4 + 1 + 1 + 2);
    EXPECT_EQ(m_terminal->recorder.stops, 1) << "closing stops the timed sends";
}

TEST_F(SessionTest, ALostPortSaysSoOnceAndItsReopeningGoesOnWithTheUnattendedCapture)
{
    auto first = std::make_unique<PseudoTerminal>();
    const std::string link = m_files.File("link");
    std::filesystem::create_symlink(first->SlavePath(), link);
    TerminalSession& session = Open(link);
    session.SetAutoReconnect(true);
    const std::string capture = m_files.File("unattended.log");
    session.CaptureWhenPortOpens(capture);
    Receive("before", *first);

    first->CloseMaster();
    ASSERT_TRUE(m_loop.RunUntil([&] { return !session.IsPortOpen(); }));
    EXPECT_TRUE(session.WaitingForDevice());
    EXPECT_FALSE(session.Capture().IsActive());

    PseudoTerminal second;
    std::filesystem::remove(link);
    std::filesystem::create_symlink(second.SlavePath(), link);
    m_clock.Advance(ReconnectPolicy::kLongestRetry);
    m_loop.Advance(ReconnectPolicy::kLongestRetry);
    session.DevicesChanged();
    ASSERT_TRUE(session.IsPortOpen());
    EXPECT_TRUE(session.Capture().IsActive());
    Receive("after", second);
    session.StopCapture();

    EXPECT_EQ(ReadFile(capture), "beforeafter");
    const std::string& text = session.Area().Text();
    EXPECT_EQ(Occurrences(text, kLostLine), 1u);
    EXPECT_LT(text.find(kLostLine), text.find(kBackLine));
    EXPECT_LT(text.find(kBackLine), text.find("after"));
    EXPECT_EQ(m_terminal->recorder.stops, 1);
    EXPECT_TRUE(m_terminal->recorder.messages.empty());
}

// With "Modbus RTU 解析" every frame is described on the line after it, in the area and in a log
// capture: a sent frame at once, a received one when 3.5 characters of silence (4 ms at 9600
// baud) have passed or the next frame begins; a reply is read in the light of its request.
TEST_F(SessionTest, ModbusFramesAreDescribedOnTheLineAfterThemInTheAreaAndTheLog)
{
    TerminalSession& session = Open();
    session.SetHexDisplay(true);
    DisplayOptions options;
    options.showSent = true;
    options.captureFormat = CaptureFormat::Log;
    options.modbusDecode = true;
    session.SetDisplayOptions(options);
    EXPECT_EQ(session.Area().Options().frameGapMs, 4);
    const std::string log = m_files.File("modbus.log");
    session.StartCapture(log, CaptureOpen::Truncate);

    const std::string request = Utf8ToGbk("Modbus: 从站 17, 03 读保持寄存器 请求, 起始地址 0x006B, 数量 1; CRC 正确");
    const std::string reply = Utf8ToGbk("Modbus: 从站 17, 03 读保持寄存器 应答, 字节数 2, 0x006B=0x0064; CRC 正确");
    session.SendString("11 03 00 6B 00 01 F7 46", 1);
    EXPECT_NE(session.Area().Text().find("F7 46 \r\n" + request + "\r\n"), std::string::npos);
    DeviceGets(8);

    Receive(std::string("\x11\x03\x02\x00\x64\x78\x6C", 7));
    EXPECT_EQ(session.Area().Text().find(reply), std::string::npos) << "the frame may go on";
    m_loop.Advance(milliseconds(4));
    EXPECT_NE(session.Area().Text().find("78 6C \r\n" + reply + "\r\n"), std::string::npos);

    // The next frame ends the one before, whose description goes between them.
    Receive("ab");
    m_clock.Advance(milliseconds(5));
    Receive("cd");
    const std::string& text = session.Area().Text();
    const std::string notModbus = Utf8ToGbk("非Modbus");
    ASSERT_NE(text.find("61 62 \r\n" + notModbus + "\r\n"), std::string::npos) << text;
    EXPECT_GT(text.find("63 64"), text.find(notModbus));
    m_loop.Advance(milliseconds(4));
    EXPECT_EQ(Occurrences(session.Area().Text(), notModbus), 2u);
    session.StopCapture();

    const std::string written = ReadFile(log);
    for (const std::string& note : {request, reply, notModbus + "\r\n"}) {
        EXPECT_NE(written.find(note), std::string::npos) << note;
    }

    // Off, nothing is described and the gap is the user's again.
    options.modbusDecode = false;
    session.SetDisplayOptions(options);
    session.ClearReceive();
    Receive(std::string("\x11\x03\x02\x00\x64\x78\x6C", 7));
    m_loop.Advance(milliseconds(20));
    EXPECT_EQ(session.Area().Text().find("Modbus"), std::string::npos);
    EXPECT_EQ(session.Area().Options().frameGapMs, DisplayOptions::kDefaultFrameGap);
}

// 1000 requests, each answered before the next is written, on the session's thread or the
// port's: every firing is counted, and the latency kept (read to reply handed to the device)
// agrees with the round trip the device sees, which adds only the bytes' way through the
// pseudo-terminal both ways.
class SessionStatisticsTest : public SessionTest, public ::testing::WithParamInterface<bool> {};

TEST_P(SessionStatisticsTest, EveryFiringIsCountedAndItsLatencyAgreesWithTheDevicesRoundTrip)
{
#ifdef SERIALDEBUG_SANITIZED
    constexpr double kAgreementMs = 2.0;  // the instrumented threads wake and read far slower
#else
    constexpr double kAgreementMs = 0.2;
#endif
    constexpr int kRequests = 1000;
    m_scheme.AddRule({"q", "Q", "R", 0, 0});
    TerminalSession& session = Open();
    static const SystemClock realTime;
    session.UseClock(realTime);
    session.SetAutoReply(true);
    session.SetInstantReply(GetParam());
    session.SetReplyStatistics(true);

    std::vector<double> roundTrips;
    std::atomic<bool> done{false};
    std::thread device([&] {
        for (int i = 0; i < kRequests; ++i) {
            const auto start = std::chrono::steady_clock::now();
            m_device.Write("Q");
            if (m_device.Read(1, std::chrono::seconds(5)) != "R") {
                break;
            }
            roundTrips.push_back(std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count());
        }
        done = true;
        m_loop.Post([] {});
    });
    const bool answered = m_loop.RunUntil([&] { return done.load(); }, std::chrono::seconds(120));
    device.join();
    ASSERT_TRUE(answered);
    ASSERT_EQ(roundTrips.size(), static_cast<std::size_t>(kRequests));
    const std::uint64_t id = m_scheme.Rules()[0]->Id;
    ASSERT_TRUE(m_loop.RunUntil([&] {
        const auto figures = m_scheme.Statistics().Of(id);
        return figures && figures->fired == kRequests;
    }));
    const ReplyStatistics::Figures figures = *m_scheme.Statistics().Of(id);
    EXPECT_EQ(figures.fired, static_cast<std::uint64_t>(kRequests));
    ASSERT_TRUE(figures.timed);
    std::sort(roundTrips.begin(), roundTrips.end());
    const double deviceMedian = (roundTrips[kRequests / 2 - 1] + roundTrips[kRequests / 2]) / 2;
    const double keptMedian = std::chrono::duration<double, std::milli>(figures.median).count();
    EXPECT_NEAR(keptMedian, deviceMedian, kAgreementMs);
    EXPECT_LE(figures.median, figures.longest);
}

INSTANTIATE_TEST_SUITE_P(OnEitherThread, SessionStatisticsTest, ::testing::Values(false, true),
                         [](const ::testing::TestParamInfo<bool>& info) {
                             return info.param ? "InstantReply" : "SessionThread";
                         });

TEST(TwoSessions, EachCountsAndShowsExactlyItsOwnBytesWhileBothAreFlooded)
{
    constexpr std::size_t kFlood = 1 << 20;
    ManualLoop loop;
    Scheme scheme;
    PseudoTerminal deviceA;
    PseudoTerminal deviceB;
    SessionOnPty a(loop, scheme, deviceA.SlavePath());
    SessionOnPty b(loop, scheme, deviceB.SlavePath());
    a.session.OpenPort(3, "115200,n,8,1");
    b.session.OpenPort(3, "115200,n,8,1");
    ASSERT_TRUE(a.session.IsPortOpen() && b.session.IsPortOpen());
    b.session.SetHexDisplay(true);

    std::thread floodA([&] { deviceA.Write(std::string(kFlood, 'a')); });
    std::thread floodB([&] { deviceB.Write(std::string(kFlood, '\xBB')); });
    const bool counted = loop.RunUntil(
        [&] { return a.session.ReceiveCounter() == kFlood && b.session.ReceiveCounter() == kFlood; },
        std::chrono::seconds(120));
    floodA.join();
    floodB.join();
    ASSERT_TRUE(counted) << a.session.ReceiveCounter() << " and " << b.session.ReceiveCounter();
    EXPECT_EQ(a.session.SendCounter() + b.session.SendCounter(), 0);
    EXPECT_EQ(a.session.Area().Text().find_first_not_of('a'), std::string::npos);
    EXPECT_EQ(b.session.Area().Text().find_first_not_of("BB "), std::string::npos);
    // The last read may have emptied an area at 30000: that each showed its bytes is told by the
    // areas' lengths along the way.
    EXPECT_GT(a.recorder.longestArea, 0u);
    EXPECT_GT(b.recorder.longestArea, 0u);
}

// The program at a monitored port's link and its device flood each other; the session counts
// every byte each way, and shows the two as time-stamped frames though its options say neither.
TEST(MonitoredSession, EveryByteBothWaysIsCountedAndFramedAsSentOrReceived)
{
#ifdef SERIALDEBUG_SANITIZED
    constexpr std::size_t kFlood = 1 << 20;
#else
    constexpr std::size_t kFlood = 10 << 20;
#endif
    ManualLoop loop;
    Scheme scheme;
    PseudoTerminal device;
    const std::string name = "session-" + std::to_string(::getpid());
    SessionOnPty monitor(loop, scheme, "monitor:" + device.SlavePath() + "," + name);
    TerminalSession& session = monitor.session;
    session.OpenPort(3, "115200,n,8,1");
    ASSERT_TRUE(session.IsPortOpen());
    const int program = ::open(VirtualPortLink(name).c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    ASSERT_GE(program, 0);

    session.SetHexDisplay(true);
    std::thread fromProgram([&] {
        const std::string flood(kFlood, 'p');
        for (std::size_t done = 0; done < kFlood;) {
            const ssize_t count = ::write(program, flood.data() + done, kFlood - done);
            if (count <= 0) {
                break;
            }
            done += static_cast<std::size_t>(count);
        }
    });
    std::thread atProgram([&] {
        std::size_t got = 0;
        char buffer[4096];
        for (ssize_t count; got < kFlood && (count = ::read(program, buffer, sizeof buffer)) > 0;) {
            got += static_cast<std::size_t>(count);
        }
    });
    std::thread fromDevice([&] { device.Write(std::string(kFlood, 'd')); });
    std::size_t atDevice = 0;
    std::thread deviceReads([&] {
        for (const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(120);
             atDevice < kFlood && std::chrono::steady_clock::now() < deadline;) {
            atDevice += device.Read(4096, std::chrono::milliseconds(100)).size();
        }
    });
    const bool counted = loop.RunUntil(
        [&] { return session.ReceiveCounter() == static_cast<int>(kFlood) && session.SendCounter() == static_cast<int>(kFlood); },
        std::chrono::seconds(120));
    for (std::thread* side : {&fromProgram, &atProgram, &fromDevice, &deviceReads}) {
        side->join();
    }
    EXPECT_TRUE(counted) << session.ReceiveCounter() << " received, " << session.SendCounter() << " sent";
    EXPECT_EQ(atDevice, kFlood);

    session.ClearReceive();
    session.SetHexDisplay(false);
    const int sent = session.SendCounter();
    ASSERT_EQ(::write(program, "REQ", 3), 3);
    ASSERT_TRUE(loop.RunUntil([&] { return session.SendCounter() == sent + 3; }));
    device.Write("ANS");
    ASSERT_TRUE(loop.RunUntil([&] { return session.ReceiveCounter() == static_cast<int>(kFlood) + 3; }));
    const std::string& text = session.Area().Text();
    const std::size_t request = text.find(kSentMark + "REQ");
    const std::size_t answer = text.find(Utf8ToGbk("收←") + "ANS");
    EXPECT_NE(request, std::string::npos) << text;
    EXPECT_NE(answer, std::string::npos) << text;
    EXPECT_LT(request, answer);
    EXPECT_EQ(text.front(), '[') << "each frame begins with its time: " << text;
    ::close(program);
}
