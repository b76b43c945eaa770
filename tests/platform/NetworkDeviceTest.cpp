// The network device against scripted servers: what a real server will not do on request
// (refuse, split, stall, flood, speak no Telnet).
#include <gtest/gtest.h>

#include <atomic>
#include <future>
#include <initializer_list>
#include <thread>

#include "platform/NetworkDevice.h"
#include "tests/platform/DeviceIo.h"
#include "tests/support/ScriptedServer.h"

using namespace std::chrono_literals;
using namespace device_io;
using namespace telnet;
using fake_server::Request;

namespace {

std::string Bytes(std::initializer_list<int> values)
{
    std::string bytes;
    for (const int value : values) {
        bytes += static_cast<char>(value);
    }
    return bytes;
}

// A compliant COM-PORT server that hands over what its first client sent once it has gone.
class RecordingServer {
public:
    explicit RecordingServer(fake_server::AnswerRule rule = {})
        : server_([this, rule](ScriptedServer::Client& client) {
              fake_server::ServeComPort(client, rule);
              if (!delivered_.exchange(true)) {
                  clientBytes_.set_value(client.Received());
              }
          })
    {
    }
    std::string Url() const { return server_.Url("rfc2217"); }
    std::vector<Request> Requests()
    {
        auto bytes = clientBytes_.get_future();
        return bytes.wait_for(10s) == std::future_status::ready ? fake_server::RequestsIn(bytes.get())
                                                                 : std::vector<Request>{};
    }

private:
    std::atomic<bool> delivered_{false};
    std::promise<std::string> clientBytes_;
    ScriptedServer server_;
};

// What the device asks for on opening: the notifications it wants and the settings in use.
const std::vector<Request> kOpeningRequests = {
    {SET_LINESTATE_MASK, "\x1E"}, {SET_MODEMSTATE_MASK, "\xFF"}, {SET_BAUDRATE, std::string(4, '\0')},
    {SET_DATASIZE, std::string(1, '\0')}, {SET_PARITY, std::string(1, '\0')}, {SET_STOPSIZE, std::string(1, '\0')},
    {SET_CONTROL, std::string(1, '\0')}};

std::vector<Request> After(std::vector<Request> requests, std::size_t skipped)
{
    requests.erase(requests.begin(), requests.begin() + static_cast<long>(std::min(skipped, requests.size())));
    return requests;
}

// The modem lines the device reports, and the line errors it clears.
void ExpectLinesAndErrors(NetworkDevice& device, unsigned status, unsigned errors)
{
    unsigned reported = 0;
    EXPECT_TRUE(device.GetModemStatus(reported));
    EXPECT_EQ(reported, status);
    unsigned cleared = 0;
    std::size_t waiting = 0;
    EXPECT_TRUE(device.ClearErrors(cleared, waiting));
    EXPECT_EQ(cleared, errors);
}

LineSettings Settings(const std::string& text)
{
    LineSettings line;
    EXPECT_TRUE(BuildLineSettings(text, line)) << text;
    return line;
}

}  // namespace

TEST(NetworkDevice, SettingsControlLinesAndPurgesReachTheServerInOrder)
{
    RecordingServer server([](const Request& request, std::string& answer) {
        if (request.command == SET_BAUDRATE && request.value == std::string(4, '\0')) {
            answer = std::string("\x00\x00\x12\xC0", 4);  // the server's port runs at 4800
        }
        return true;
    });
    NetworkDevice device;
    ASSERT_TRUE(device.Open(server.Url())) << device.FailureReason();
    LineSettings line;
    ASSERT_TRUE(device.GetLineSettings(line));
    EXPECT_EQ(line.baudRate, 4800u);
    EXPECT_EQ(line.dataBits, 8);

    EXPECT_TRUE(device.SetLineSettings(Settings("baud=57600 parity=e data=7 stop=2 dtr=on rts=off")));
    ASSERT_TRUE(device.GetLineSettings(line));
    EXPECT_EQ(line.baudRate, 57600u);
    EXPECT_EQ(line.parity, Parity::Even);
    EXPECT_TRUE(device.SetLineSettings(Settings("115200,n,8,1,p")));
    EXPECT_TRUE(device.SetBreak(true));
    EXPECT_TRUE(device.SetBreak(false));
    EXPECT_TRUE(device.SetControlLine(ControlLine::Dtr, false));
    EXPECT_TRUE(device.SetControlLine(ControlLine::Rts, true));
    EXPECT_TRUE(device.Purge(PURGE_RXCLEAR));
    EXPECT_TRUE(device.Purge(PURGE_TXABORT | PURGE_TXCLEAR));
    EXPECT_TRUE(device.Purge(PURGE_RXCLEAR | PURGE_TXCLEAR));
    EXPECT_TRUE(device.Purge(PURGE_TXABORT));  // nothing to discard, nothing asked
    device.Close();

    const std::vector<Request> requests = server.Requests();
    ASSERT_GE(requests.size(), kOpeningRequests.size());
    EXPECT_EQ(std::vector<Request>(requests.begin(), requests.begin() + 7), kOpeningRequests);
    const std::vector<Request> expected = {
        {SET_CONTROL, "\x08"}, {SET_CONTROL, "\x0C"}, {SET_BAUDRATE, std::string("\x00\x00\xE1\x00", 4)},
        {SET_DATASIZE, "\x07"}, {SET_PARITY, "\x03"}, {SET_STOPSIZE, "\x02"}, {SET_CONTROL, "\x01"},
        {SET_BAUDRATE, std::string("\x00\x01\xC2\x00", 4)}, {SET_DATASIZE, "\x08"}, {SET_PARITY, "\x01"},
        {SET_STOPSIZE, "\x01"}, {SET_CONTROL, "\x03"},
        {SET_CONTROL, "\x05"}, {SET_CONTROL, "\x06"}, {SET_CONTROL, "\x09"}, {SET_CONTROL, "\x0B"},
        {PURGE_DATA, "\x01"}, {PURGE_DATA, "\x02"}, {PURGE_DATA, "\x03"}};
    EXPECT_EQ(After(requests, kOpeningRequests.size()), expected);
}

TEST(NetworkDevice, ARefusedSettingFailsAndTheFormerSettingsAreSentBack)
{
    RecordingServer server([](const Request& request, std::string& answer) {
        if (request.command == SET_DATASIZE && request.value == "\x05") {
            answer = "\x08";  // the server's device cannot do 5 data bits
        }
        return !(request.command == SET_BAUDRATE && request.value == std::string("\x00\x00\x04\xB0", 4));
    });
    NetworkDevice device;
    device.SetAnswerTimeout(300ms);
    ASSERT_TRUE(device.Open(server.Url())) << device.FailureReason();
    ASSERT_TRUE(device.SetLineSettings(Settings("19200,o,8,1")));

    errno = 0;
    EXPECT_FALSE(device.SetLineSettings(Settings("19200,o,5,1")));
    EXPECT_EQ(errno, EIO);
    // An answer that never comes fails too, once the answer time-out has passed.
    const auto start = Clock::now();
    EXPECT_FALSE(device.SetLineSettings(Settings("1200,o,8,1")));
    EXPECT_GE(Clock::now() - start, 290ms);
    EXPECT_LT(Clock::now() - start, 3s);
    LineSettings line;
    ASSERT_TRUE(device.GetLineSettings(line));
    EXPECT_EQ(line.baudRate, 19200u);
    EXPECT_EQ(line.dataBits, 8);
    EXPECT_EQ(line.parity, Parity::Odd);

    // Settings no device can have, or flow control the protocol cannot express, are not sent.
    EXPECT_FALSE(device.SetLineSettings(Settings("9600,n,8,1.5")));
    EXPECT_EQ(errno, EINVAL);
    EXPECT_FALSE(device.SetLineSettings(Settings("baud=9600 xon=on octs=on")));
    EXPECT_EQ(errno, EINVAL);
    device.Close();

    // The comma form asks for DTR and RTS on; each refused or unanswered batch is followed by
    // the former settings.
    const std::vector<Request> requests = After(server.Requests(), kOpeningRequests.size());
    const std::vector<Request> former = {{SET_CONTROL, "\x08"}, {SET_CONTROL, "\x0B"},
                                         {SET_BAUDRATE, std::string("\x00\x00\x4B\x00", 4)}, {SET_DATASIZE, "\x08"},
                                         {SET_PARITY, "\x02"}, {SET_STOPSIZE, "\x01"}, {SET_CONTROL, "\x01"}};
    ASSERT_EQ(requests.size(), 5 * former.size());
    for (const std::size_t batch : {0, 2, 4}) {
        EXPECT_EQ(std::vector<Request>(requests.begin() + static_cast<long>(batch * former.size()),
                                       requests.begin() + static_cast<long>((batch + 1) * former.size())),
                  former)
            << "batch " << batch;
    }
}

TEST(NetworkDevice, AServerRefusingTheComPortOptionStillCarriesData)
{
    std::promise<std::string> clientData;
    ScriptedServer server([&](ScriptedServer::Client& client) {
        client.Send(Bytes({IAC, DO, OPTION_BINARY, IAC, WILL, OPTION_BINARY, IAC, DONT, OPTION_COM_PORT}) + "\xFF\xFFok");
        client.ReceiveUntil("end", 10s);
        clientData.set_value(fake_server::DataIn(client.Received()));
        client.WaitUntilGone(10s);
    });
    NetworkDevice device;
    ASSERT_TRUE(device.Open(server.Url("rfc2217"))) << device.FailureReason();
    ASSERT_TRUE(device.SetEventMask(EV_RXCHAR));
    EXPECT_EQ(ReadCount(device, 3), "\xFFok");
    errno = 0;
    EXPECT_FALSE(device.SetLineSettings(Settings("9600,n,8,1")));
    EXPECT_EQ(errno, EOPNOTSUPP);
    unsigned status = 0;
    EXPECT_FALSE(device.GetModemStatus(status));
    EXPECT_FALSE(device.SetControlLine(ControlLine::Dtr, true));
    ASSERT_TRUE(WriteAll(device, "\xFF\x01" "end"));
    auto data = clientData.get_future();
    ASSERT_EQ(data.wait_for(10s), std::future_status::ready);
    EXPECT_EQ(data.get(), "\xFF\x01" "end");
}

TEST(NetworkDevice, CommandsSplitAcrossReadsAndLongSubnegotiationsAreTakenWhole)
{
    ScriptedServer server([](ScriptedServer::Client& client) {
        client.Send(fake_server::Greeting());
        const std::string signature = fake_server::ServerCommand(SIGNATURE, std::string(200, 'S'));
        const std::string stream = "a" + Bytes({IAC, IAC}) + "b" + signature + "\xFF\xFF" +
                                   fake_server::ServerCommand(NOTIFY_MODEMSTATE, "\x11") + "c" +
                                   fake_server::ServerCommand(NOTIFY_LINESTATE, "\x08") + "d";
        client.SendInPieces(stream, 1, 1ms);
        client.WaitUntilGone(10s);
    });
    NetworkDevice device;
    device.SetAnswerTimeout(100ms);
    ASSERT_TRUE(device.Open(server.Url("rfc2217"))) << device.FailureReason();
    ASSERT_TRUE(device.SetEventMask(EV_RXCHAR | EV_CTS | EV_ERR));
    std::string data;
    unsigned events = 0;
    WaitUntil(device, [&](const WaitResult& result) {
        events |= result.events;
        char buffer[64];
        for (long count; (count = device.Read(buffer, sizeof buffer)) > 0;) {
            data.append(buffer, static_cast<std::size_t>(count));
        }
        // A notification taken in by a read is reported by the next wait.
        return data.size() >= 6 && (events & EV_ERR) != 0;
    });
    EXPECT_EQ(data, "a\xFF" "b\xFF" "cd");
    EXPECT_EQ(events, EV_RXCHAR | EV_CTS | EV_ERR);
    ExpectLinesAndErrors(device, MS_CTS_ON, CE_FRAME);
}

TEST(NetworkDevice, ModemAndLineNotificationsArriveAsEvents)
{
    ScriptedServer server([](ScriptedServer::Client& client) {
        client.Send(fake_server::Greeting() + fake_server::ServerCommand(NOTIFY_MODEMSTATE, "\x30"));
        if (client.ReceiveUntil("go", 10s)) {
            client.Send(fake_server::ServerCommand(NOTIFY_MODEMSTATE, "\x21") +
                        fake_server::ServerCommand(NOTIFY_LINESTATE, "\x10"));
        }
        client.WaitUntilGone(10s);
    });
    NetworkDevice device;
    device.SetAnswerTimeout(100ms);
    ASSERT_TRUE(device.Open(server.Url("rfc2217"))) << device.FailureReason();
    unsigned status = 0;
    ASSERT_TRUE(device.GetModemStatus(status));
    EXPECT_EQ(status, MS_CTS_ON | MS_DSR_ON);
    ASSERT_TRUE(device.SetEventMask(kAllPortEvents & ~EV_RING));
    ASSERT_TRUE(WriteAll(device, "go"));
    unsigned events = 0;
    WaitUntil(device, [&](const WaitResult& result) {
        events |= result.events;
        return (events & (EV_CTS | EV_BREAK)) == (EV_CTS | EV_BREAK);
    });
    EXPECT_EQ(events & ~EV_TXEMPTY, EV_CTS | EV_BREAK);
    ExpectLinesAndErrors(device, MS_DSR_ON, CE_BREAK);
}

TEST(NetworkDevice, AServerThatSpeaksNoTelnetFailsClearly)
{
    ScriptedServer banner([](ScriptedServer::Client& client) {
        client.Send("SSH-2.0-OpenSSH_9.2\r\n");
        client.WaitUntilGone(10s);
    });
    ScriptedServer silent([](ScriptedServer::Client& client) { client.WaitUntilGone(10s); });
    ScriptedServer closing([](ScriptedServer::Client&) {});
    ScriptedServer textOnly([](ScriptedServer::Client& client) {
        client.Send(Bytes({IAC, WONT, OPTION_BINARY, IAC, DONT, OPTION_BINARY, IAC, DO, OPTION_COM_PORT}));
        client.WaitUntilGone(10s);
    });

    NetworkDevice device;
    device.SetOpenTimeout(500ms);
    for (ScriptedServer* server : {&banner, &silent}) {
        const auto start = Clock::now();
        errno = 0;
        EXPECT_FALSE(device.Open(server->Url("rfc2217")));
        EXPECT_EQ(errno, ETIMEDOUT);
        EXPECT_GE(Clock::now() - start, 450ms);
        EXPECT_LT(Clock::now() - start, 3s);
        EXPECT_FALSE(device.IsOpen());
        EXPECT_EQ(device.LastOpenError().failure, OpenFailure::NoTelnet);
        EXPECT_NE(device.FailureReason().find("gave no Telnet answer within 0.5 s"), std::string::npos)
            << device.FailureReason();
    }
    EXPECT_FALSE(device.Open(closing.Url("rfc2217")));
    EXPECT_EQ(device.LastOpenError().failure, OpenFailure::ConnectionClosed);
    EXPECT_FALSE(device.Open(textOnly.Url("rfc2217")));
    EXPECT_EQ(device.LastOpenError().failure, OpenFailure::BinaryRefused);
    EXPECT_NE(device.FailureReason().find("refuses 8-bit data"), std::string::npos);

    // The same servers are fine for raw TCP: their bytes are data.
    ASSERT_TRUE(device.Open(banner.Url("tcp"))) << device.FailureReason();
    ASSERT_TRUE(device.SetEventMask(EV_RXCHAR));
    EXPECT_EQ(ReadCount(device, 21), "SSH-2.0-OpenSSH_9.2\r\n");
    ASSERT_TRUE(device.Open(silent.Url("tcp"))) << device.FailureReason();
    ASSERT_TRUE(device.SetEventMask(EV_RXCHAR));
    WaitRequest request;
    request.timeoutMs = 100;
    const WaitResult result = device.WaitEvent(request);
    EXPECT_EQ(result.events, 0u);
    EXPECT_FALSE(result.hungUp);
}

TEST(NetworkDevice, EachAddressFailureHasItsReason)
{
    NetworkDevice device;
    const std::pair<std::string, OpenFailure> cases[] = {
        {"tcp://127.0.0.1", OpenFailure::BadAddress},
        {"rfc2217://127.0.0.1:0", OpenFailure::BadAddress},
        {"rfc2217://127.0.0.1:70000", OpenFailure::BadAddress},
        {"/dev/ttyUSB0", OpenFailure::BadAddress},
        {"rfc2217://no-such-host.invalid:2000", OpenFailure::NameNotResolved},
    };
    for (const auto& [target, failure] : cases) {
        EXPECT_FALSE(device.Open(target)) << target;
        EXPECT_EQ(device.LastOpenError().failure, failure) << target;
        EXPECT_FALSE(device.FailureReason().empty()) << target;
        EXPECT_FALSE(device.IsOpen());
    }
    std::uint16_t closedPort = 0;
    {
        ScriptedServer gone([](ScriptedServer::Client&) {});
        closedPort = gone.Port();
    }
    EXPECT_FALSE(device.Open("tcp://127.0.0.1:" + std::to_string(closedPort)));
    EXPECT_EQ(device.LastOpenError().failure, OpenFailure::Refused);
    EXPECT_EQ(errno, ECONNREFUSED);
}

TEST(NetworkDevice, CancelOpenEndsAnOpenFromAnotherThread)
{
    ScriptedServer silent([](ScriptedServer::Client& client) { client.WaitUntilGone(10s); });
    NetworkDevice device;
    const auto start = Clock::now();
    auto opening = std::async(std::launch::async, [&] { return device.Open(silent.Url("rfc2217")); });
    std::this_thread::sleep_for(100ms);
    device.CancelOpen();
    EXPECT_FALSE(opening.get());
    EXPECT_LT(Clock::now() - start, 2s);
    EXPECT_EQ(device.LastOpenError().failure, OpenFailure::Cancelled);
    device.Close();
    ASSERT_TRUE(device.Open(silent.Url("tcp"))) << device.FailureReason();
}

TEST(NetworkDevice, RawTcpPassesBytesUnchanged)
{
    std::promise<std::string> received;
    ScriptedServer server([&](ScriptedServer::Client& client) {
        client.Send(HardBytes());
        client.ReceiveUntil(HardBytes(), 10s);
        received.set_value(client.Received());
    });
    NetworkDevice device;
    ASSERT_TRUE(device.Open(server.Url("tcp"))) << device.FailureReason();
    EXPECT_EQ(device.Protocol(), NetworkProtocol::RawTcp);
    ASSERT_TRUE(device.SetEventMask(EV_RXCHAR));
    EXPECT_EQ(ReadCount(device, HardBytes().size()), HardBytes());
    ASSERT_TRUE(WriteAll(device, HardBytes()));
    auto bytes = received.get_future();
    ASSERT_EQ(bytes.wait_for(10s), std::future_status::ready);
    EXPECT_EQ(bytes.get(), HardBytes());

    // Settings are kept but go nowhere; there are no modem lines.
    EXPECT_TRUE(device.SetLineSettings(Settings("115200,e,7,2")));
    LineSettings line;
    ASSERT_TRUE(device.GetLineSettings(line));
    EXPECT_EQ(line.baudRate, 115200u);
    unsigned status = 0;
    EXPECT_FALSE(device.GetModemStatus(status));
    EXPECT_FALSE(device.SetControlLine(ControlLine::Rts, true));
}

TEST(NetworkDevice, AClosedConnectionIsAHangUpAfterTheLastBytes)
{
    ScriptedServer server([](ScriptedServer::Client& client) {
        client.Send(fake_server::Greeting() + "bye\xFF\xFF");
    });
    NetworkDevice device;
    device.SetAnswerTimeout(100ms);
    ASSERT_TRUE(device.Open(server.Url("rfc2217"))) << device.FailureReason();
    ASSERT_TRUE(device.SetEventMask(EV_RXCHAR));
    const WaitResult result = WaitUntil(device, [](const WaitResult& wait) { return wait.hungUp; });
    EXPECT_TRUE(result.hungUp);
    EXPECT_EQ(result.events, EV_RXCHAR);  // what came before the end still waits
    EXPECT_EQ(ReadCount(device, 4), "bye\xFF");
    char byte = 0;
    EXPECT_EQ(device.Read(&byte, 1), -1);
    EXPECT_EQ(device.Write("x", 1), -1);
    WaitRequest request;
    request.watchOutputRoom = true;
    const WaitResult after = device.WaitEvent(request);
    EXPECT_TRUE(after.hungUp);
    EXPECT_TRUE(after.outputRoom);  // writing fails at once rather than waiting
}

TEST(NetworkDevice, ASuspendedServerGetsNoDataUntilItResumes)
{
    std::promise<std::string> duringPause;
    std::promise<std::string> afterPause;
    ScriptedServer server([&](ScriptedServer::Client& client) {
        client.Send(fake_server::Greeting() + fake_server::ServerCommand(FLOWCONTROL_SUSPEND, ""));
        // Requests still come while data waits; the client's DTR request marks that it wrote.
        client.ReceiveUntil(Bytes({IAC, SB, OPTION_COM_PORT, SET_CONTROL, CONTROL_DTR_ON, IAC, SE}), 10s);
        client.ReceiveFor(200ms);
        duringPause.set_value(fake_server::DataIn(client.Received()));
        client.Send(fake_server::ServerCommand(FLOWCONTROL_RESUME, ""));
        client.ReceiveUntil("held", 10s);
        afterPause.set_value(fake_server::DataIn(client.Received()));
        client.WaitUntilGone(10s);
    });
    NetworkDevice device;
    device.SetAnswerTimeout(100ms);
    ASSERT_TRUE(device.Open(server.Url("rfc2217"))) << device.FailureReason();
    ASSERT_TRUE(device.SetEventMask(EV_RXCHAR));
    WaitUntil(device, [](const WaitResult&) { return false; }, 100ms);
    EXPECT_EQ(device.Write("held", 4), 4);
    EXPECT_TRUE(device.SetControlLine(ControlLine::Dtr, true));
    auto paused = duringPause.get_future();
    ASSERT_EQ(paused.wait_for(10s), std::future_status::ready);
    EXPECT_EQ(paused.get(), "");
    auto resumed = afterPause.get_future();
    WaitUntil(device, [&](const WaitResult&) { return resumed.wait_for(0s) == std::future_status::ready; });
    ASSERT_EQ(resumed.wait_for(0s), std::future_status::ready);
    EXPECT_EQ(resumed.get(), "held");
}

namespace {

// Waits for `duration`, collecting the events the device reports.
unsigned EventsWithin(NetworkDevice& device, std::chrono::milliseconds duration)
{
    unsigned events = 0;
    WaitUntil(device, [&](const WaitResult& result) { return (events |= result.events, false); }, duration);
    return events;
}

}  // namespace

TEST(NetworkDevice, HostileServersNeitherHangItNorGrowIt)
{
    const std::string endlessSubnegotiation = fake_server::Greeting() + Bytes({IAC, SB, OPTION_COM_PORT, 107});
    ScriptedServer subnegotiation(fake_server::Endless(endlessSubnegotiation, "\x10"));
    ScriptedServer commands(
        fake_server::Endless(fake_server::Greeting(), Bytes({IAC, DO, 24, IAC, 241, IAC, WILL, 31, IAC, 249})));

    NetworkDevice device;
    device.SetAnswerTimeout(200ms);
    for (ScriptedServer* server : {&subnegotiation, &commands}) {
        ASSERT_TRUE(device.Open(server->Url("rfc2217"))) << device.FailureReason();
        ASSERT_TRUE(device.SetEventMask(kAllPortEvents));
        EXPECT_EQ(EventsWithin(device, 300ms) & ~EV_TXEMPTY, 0u);
        std::size_t waiting = 1;
        EXPECT_TRUE(device.InputQueueBytes(waiting));
        EXPECT_EQ(waiting, 0u);
        const auto start = Clock::now();
        EXPECT_FALSE(device.SetLineSettings(Settings("9600,n,8,1")));
        EXPECT_LT(Clock::now() - start, 3s);
        device.Close();
    }
}

TEST(NetworkDevice, AnEndlessFloodIsReadAsItComesWithTheQueueBounded)
{
    ScriptedServer flood(fake_server::Endless(fake_server::Greeting(), "\xFF\xFF" "0123456789abcdef"));
    NetworkDevice device;
    device.SetAnswerTimeout(100ms);
    ASSERT_TRUE(device.Open(flood.Url("rfc2217"))) << device.FailureReason();
    ASSERT_TRUE(device.SetEventMask(EV_RXCHAR));
    // Nobody reads for a while: the device holds at most its capacity, the rest stays queued
    // in the connection.
    EXPECT_EQ(EventsWithin(device, 300ms), EV_RXCHAR);
    std::size_t waiting = 0;
    ASSERT_TRUE(device.InputQueueBytes(waiting));
    EXPECT_GT(waiting, 0u);
    EXPECT_LE(waiting, NetworkDevice::kInputCapacity);

    const std::string unit = "\xFF" "0123456789abcdef";
    std::string expected;
    while (expected.size() < 4 * 1024 * 1024) {
        expected += unit;
    }
    const std::string got = ReadCount(device, expected.size(), 60s);
    EXPECT_TRUE(got == expected) << "read " << got.size() << " bytes";
    ASSERT_TRUE(device.InputQueueBytes(waiting));
    EXPECT_LE(waiting, NetworkDevice::kInputCapacity);
    unsigned errors = 0;
    ASSERT_TRUE(device.ClearErrors(errors, waiting));
    EXPECT_EQ(errors, 0u);  // nothing was dropped
}

TEST(NetworkDevice, AServerThatNeverReadsFillsOnlyABoundedQueue)
{
    ScriptedServer deaf([](ScriptedServer::Client& client) {
        while (!client.Stopping()) {
            std::this_thread::sleep_for(10ms);
        }
    });
    NetworkDevice device;
    ASSERT_TRUE(device.Open(deaf.Url("tcp"))) << device.FailureReason();
    ASSERT_TRUE(device.SetEventMask(EV_RXCHAR | EV_TXEMPTY));
    const std::string chunk(64 * 1024, 'w');
    std::size_t total = 0;
    int refusedInARow = 0;
    const auto deadline = Clock::now() + 20s;
    WaitRequest request;
    request.watchOutputRoom = true;
    request.timeoutMs = 20;
    while (refusedInARow < 5 && Clock::now() < deadline) {
        const long taken = device.Write(chunk.data(), chunk.size());
        ASSERT_GE(taken, 0);
        total += static_cast<std::size_t>(taken);
        refusedInARow = taken == 0 ? refusedInARow + 1 : 0;
        device.WaitEvent(request);
    }
    EXPECT_EQ(refusedInARow, 5);
    EXPECT_LT(total, 64u * 1024 * 1024);
    device.Close();
}
