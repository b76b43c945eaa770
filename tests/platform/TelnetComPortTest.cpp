#include <gtest/gtest.h>

#include <initializer_list>

#include "platform/SerialDevice.h"
#include "platform/TelnetComPort.h"

using namespace telnet;

namespace {

constexpr int kNop = 241;

std::string Bytes(std::initializer_list<int> values)
{
    std::string bytes;
    for (const int value : values) {
        bytes += static_cast<char>(value);
    }
    return bytes;
}

std::string ServerCommand(unsigned char command, std::initializer_list<int> value)
{
    return Bytes({IAC, SB, OPTION_COM_PORT, command + SERVER_OFFSET}) + Bytes(value) + Bytes({IAC, SE});
}

std::string Feed(TelnetComPort& telnet, const std::string& bytes)
{
    std::string data;
    telnet.Receive(reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size(), data);
    return data;
}

// Feeds one byte per read, as a connection that splits everything would.
std::string FeedBytewise(TelnetComPort& telnet, const std::string& bytes)
{
    std::string data;
    for (const char byte : bytes) {
        telnet.Receive(reinterpret_cast<const unsigned char*>(&byte), 1, data);
    }
    return data;
}

// What the server of the terminal's tests sends when a client connects.
const std::string kServerGreeting = Bytes({IAC, WILL, OPTION_SUPPRESS_GO_AHEAD, IAC, DO, OPTION_SUPPRESS_GO_AHEAD, IAC, WILL, OPTION_ECHO,
                                           IAC, DONT, OPTION_ECHO, IAC, DO, OPTION_BINARY, IAC, WILL, OPTION_BINARY, IAC, DO,
                                           OPTION_COM_PORT});

TelnetComPort Negotiated()
{
    TelnetComPort telnet;
    telnet.Start();
    telnet.TakeOutput();
    Feed(telnet, kServerGreeting);
    telnet.TakeOutput();
    return telnet;
}

}  // namespace

TEST(TelnetComPort, OffersBinarySuppressGoAheadAndComPort)
{
    TelnetComPort telnet;
    telnet.Start();
    EXPECT_EQ(telnet.TakeOutput(), Bytes({IAC, WILL, OPTION_BINARY, IAC, DO, OPTION_BINARY, IAC, WILL, OPTION_SUPPRESS_GO_AHEAD, IAC, DO,
                                          OPTION_SUPPRESS_GO_AHEAD, IAC, WILL, OPTION_COM_PORT}));
    EXPECT_EQ(telnet.ComPortAnswer(), OptionAnswer::Pending);
    EXPECT_FALSE(telnet.NegotiationAnswered());

    // The server's answers settle the offers; only its own offer of ECHO needs an answer.
    EXPECT_EQ(Feed(telnet, kServerGreeting), "");
    EXPECT_EQ(telnet.TakeOutput(), Bytes({IAC, DONT, OPTION_ECHO}));
    EXPECT_EQ(telnet.ComPortAnswer(), OptionAnswer::Accepted);
    EXPECT_EQ(telnet.BinaryAnswer(), OptionAnswer::Accepted);
    EXPECT_TRUE(telnet.NegotiationAnswered());
}

TEST(TelnetComPort, RefusalsOfTheServerAreReported)
{
    TelnetComPort telnet;
    telnet.Start();
    Feed(telnet, Bytes({IAC, DO, OPTION_BINARY, IAC, WILL, OPTION_BINARY, IAC, DONT, OPTION_COM_PORT}));
    EXPECT_EQ(telnet.ComPortAnswer(), OptionAnswer::Refused);
    EXPECT_TRUE(telnet.NegotiationAnswered());
    telnet.TakeOutput();
    telnet.RequestBaudRate(9600);
    EXPECT_TRUE(telnet.Refused());
    EXPECT_FALSE(telnet.HasOutput());  // nothing goes to a server that refused the option

    TelnetComPort noBinary;
    noBinary.Start();
    Feed(noBinary, Bytes({IAC, DO, OPTION_BINARY, IAC, WONT, OPTION_BINARY, IAC, DO, OPTION_COM_PORT}));
    EXPECT_EQ(noBinary.BinaryAnswer(), OptionAnswer::Refused);

    // Withdrawing the option later refuses what is still waiting for an answer.
    TelnetComPort withdrawn = Negotiated();
    withdrawn.RequestDataSize(7);
    withdrawn.TakeOutput();
    Feed(withdrawn, Bytes({IAC, DONT, OPTION_COM_PORT}));
    EXPECT_TRUE(withdrawn.Refused());
    EXPECT_EQ(withdrawn.TakeOutput(), Bytes({IAC, WONT, OPTION_COM_PORT}));
}

TEST(TelnetComPort, UnknownOptionsAreDeclinedWithoutLoops)
{
    TelnetComPort telnet = Negotiated();
    Feed(telnet, Bytes({IAC, DO, 24, IAC, WILL, 31, IAC, DONT, 24, IAC, WONT, 31}));
    EXPECT_EQ(telnet.TakeOutput(), Bytes({IAC, WONT, 24, IAC, DONT, 31}));
    // Confirming what is already agreed changes nothing and is not answered.
    Feed(telnet, Bytes({IAC, DO, OPTION_COM_PORT, IAC, WILL, OPTION_BINARY, IAC, DONT, OPTION_ECHO}));
    EXPECT_FALSE(telnet.HasOutput());
}

TEST(TelnetComPort, DataKeepsEveryByteValueWithIacDoubled)
{
    std::string all;
    for (int value = 0; value < 256; ++value) {
        all += static_cast<char>(value);
    }
    all += std::string(300, '\xFF') + std::string(300, '\0');
    std::string escaped;
    TelnetComPort::EscapeData(reinterpret_cast<const unsigned char*>(all.data()), all.size(), escaped);
    EXPECT_EQ(escaped.size(), all.size() + 301);
    EXPECT_EQ(escaped.substr(254, 3), Bytes({0xFE, 0xFF, 0xFF}));

    TelnetComPort whole = Negotiated();
    EXPECT_EQ(Feed(whole, escaped), all);
    TelnetComPort split = Negotiated();
    EXPECT_EQ(FeedBytewise(split, escaped), all);
}

TEST(TelnetComPort, CommandsSplitAtAnyByteStillCount)
{
    const std::string stream = "ab" + Bytes({IAC, IAC}) + ServerCommand(NOTIFY_MODEMSTATE, {0x11}) + "c" +
                               Bytes({IAC, kNop}) + ServerCommand(NOTIFY_LINESTATE, {0x08}) + "d" +
                               Bytes({IAC, DO, 24}) + "e";
    for (std::size_t cut = 0; cut <= stream.size(); ++cut) {
        TelnetComPort telnet = Negotiated();
        std::string data = Feed(telnet, stream.substr(0, cut));
        data += Feed(telnet, stream.substr(cut));
        EXPECT_EQ(data, "ab\xFF" "cde") << "cut at " << cut;
        EXPECT_EQ(telnet.ModemStatus(), MS_CTS_ON) << "cut at " << cut;
        EXPECT_EQ(telnet.TakeEvents(), EV_CTS | EV_ERR) << "cut at " << cut;
        EXPECT_EQ(telnet.TakeLineErrors(), CE_FRAME) << "cut at " << cut;
        EXPECT_EQ(telnet.TakeOutput(), Bytes({IAC, WONT, 24})) << "cut at " << cut;
    }
}

TEST(TelnetComPort, RequestsAreEncodedWithIacDoubled)
{
    TelnetComPort telnet = Negotiated();
    telnet.RequestBaudRate(115200);
    telnet.RequestBaudRate(0x0001FFFF);
    telnet.RequestDataSize(7);
    telnet.RequestParity(Parity::Mark);
    telnet.RequestStopSize(StopBits::OneAndHalf);
    telnet.RequestControl(CONTROL_HARDWARE_FLOW, TelnetComPort::Answer::Required);
    telnet.RequestPurge(PURGE_BOTH);
    telnet.RequestStateMasks(LINESTATE_ERRORS, MODEMSTATE_ALL);
    const std::string sb = Bytes({IAC, SB, OPTION_COM_PORT});
    const std::string se = Bytes({IAC, SE});
    EXPECT_EQ(telnet.TakeOutput(), sb + Bytes({SET_BAUDRATE, 0x00, 0x01, 0xC2, 0x00}) + se +
                                       sb + Bytes({SET_BAUDRATE, 0x00, 0x01, 0xFF, 0xFF, 0xFF, 0xFF}) + se +
                                       sb + Bytes({SET_DATASIZE, 7}) + se + sb + Bytes({SET_PARITY, 4}) + se +
                                       sb + Bytes({SET_STOPSIZE, 3}) + se + sb + Bytes({SET_CONTROL, 3}) + se +
                                       sb + Bytes({PURGE_DATA, 3}) + se + sb + Bytes({SET_LINESTATE_MASK, 0x1E}) +
                                       se + sb + Bytes({SET_MODEMSTATE_MASK, 0xFF, 0xFF}) + se);
    EXPECT_EQ(telnet.UnansweredRequests(), 6u);
}

TEST(TelnetComPort, AnswersAreMatchedToTheirRequests)
{
    TelnetComPort telnet = Negotiated();
    telnet.RequestControl(CONTROL_DTR_ON, TelnetComPort::Answer::Optional);
    telnet.RequestBaudRate(115200);
    telnet.RequestDataSize(8);
    telnet.RequestControl(CONTROL_NO_FLOW, TelnetComPort::Answer::Required);
    EXPECT_EQ(telnet.UnansweredRequests(), 3u);

    // A baud rate a little off is taken; answers come in any order and per kind of control.
    Feed(telnet, ServerCommand(SET_CONTROL, {CONTROL_NO_FLOW}) + ServerCommand(SET_BAUDRATE, {0x00, 0x01, 0xC3, 0x50}));
    EXPECT_EQ(telnet.UnansweredRequests(), 1u);
    EXPECT_FALSE(telnet.Refused());
    Feed(telnet, ServerCommand(SET_DATASIZE, {8}) + ServerCommand(SET_CONTROL, {CONTROL_DTR_ON}));
    EXPECT_EQ(telnet.UnansweredRequests(), 0u);
    EXPECT_FALSE(telnet.Refused());
    EXPECT_EQ(telnet.Reported().baudRate, 115536u);

    // An answer that differs is a refusal, and so is an optional one that comes in time.
    telnet.RequestDataSize(5);
    Feed(telnet, ServerCommand(SET_DATASIZE, {8}));
    EXPECT_TRUE(telnet.Refused());
    telnet.ForgetRequests();
    telnet.RequestBaudRate(9600);
    Feed(telnet, ServerCommand(SET_BAUDRATE, {0x00, 0x00, 0x4B, 0x00}));
    EXPECT_TRUE(telnet.Refused());
    telnet.ForgetRequests();
    telnet.RequestControl(CONTROL_RTS_OFF, TelnetComPort::Answer::Optional);
    Feed(telnet, ServerCommand(SET_CONTROL, {CONTROL_RTS_ON}));
    EXPECT_TRUE(telnet.Refused());

    // Answers nobody waits for only change what is reported.
    telnet.ForgetRequests();
    Feed(telnet, ServerCommand(SET_PARITY, {3}) + ServerCommand(SET_STOPSIZE, {2}) +
                     ServerCommand(SET_CONTROL, {CONTROL_XON_XOFF_FLOW}));
    EXPECT_FALSE(telnet.Refused());
    EXPECT_EQ(telnet.Reported().parity, Parity::Even);
    EXPECT_EQ(telnet.Reported().stopBits, StopBits::Two);
    EXPECT_EQ(telnet.Reported().outboundFlow, CONTROL_XON_XOFF_FLOW);
}

TEST(TelnetComPort, QueriesTakeWhateverTheServerHas)
{
    TelnetComPort telnet = Negotiated();
    telnet.RequestCurrentSettings();
    EXPECT_EQ(telnet.UnansweredRequests(), 5u);
    Feed(telnet, ServerCommand(SET_BAUDRATE, {0x00, 0x00, 0x25, 0x80}) + ServerCommand(SET_DATASIZE, {7}) +
                     ServerCommand(SET_PARITY, {2}) + ServerCommand(SET_STOPSIZE, {1}) +
                     ServerCommand(SET_CONTROL, {CONTROL_HARDWARE_FLOW}));
    EXPECT_EQ(telnet.UnansweredRequests(), 0u);
    EXPECT_FALSE(telnet.Refused());
    const TelnetComPort::ReportedSettings& reported = telnet.Reported();
    EXPECT_TRUE(reported.baudKnown && reported.dataBitsKnown && reported.parityKnown && reported.stopBitsKnown);
    EXPECT_EQ(reported.baudRate, 9600u);
    EXPECT_EQ(reported.dataBits, 7);
    EXPECT_EQ(reported.parity, Parity::Odd);
    EXPECT_EQ(reported.outboundFlow, CONTROL_HARDWARE_FLOW);
}

TEST(TelnetComPort, ModemAndLineNotificationsBecomeEvents)
{
    TelnetComPort telnet = Negotiated();
    // The first notification tells where the lines stand; only its change bits are events.
    Feed(telnet, ServerCommand(NOTIFY_MODEMSTATE, {0xB0}));
    EXPECT_EQ(telnet.ModemStatus(), MS_CTS_ON | MS_DSR_ON | MS_RLSD_ON);
    EXPECT_EQ(telnet.TakeEvents(), 0u);
    Feed(telnet, ServerCommand(NOTIFY_MODEMSTATE, {0x60}));
    EXPECT_EQ(telnet.ModemStatus(), MS_DSR_ON | MS_RING_ON);
    EXPECT_EQ(telnet.TakeEvents(), EV_CTS | EV_RING | EV_RLSD);
    Feed(telnet, ServerCommand(NOTIFY_MODEMSTATE, {0x62}));  // DSR went off and on again
    EXPECT_EQ(telnet.TakeEvents(), EV_DSR);

    Feed(telnet, ServerCommand(NOTIFY_LINESTATE, {0x10}) + ServerCommand(NOTIFY_LINESTATE, {0x66}));
    EXPECT_EQ(telnet.TakeEvents(), EV_BREAK | EV_ERR);
    EXPECT_EQ(telnet.TakeLineErrors(), CE_BREAK | CE_RXPARITY | CE_OVERRUN);
    EXPECT_EQ(telnet.TakeLineErrors(), 0u);
    Feed(telnet, ServerCommand(NOTIFY_LINESTATE, {0x61}));  // data ready, registers empty: no error
    EXPECT_EQ(telnet.TakeEvents(), 0u);

    Feed(telnet, ServerCommand(FLOWCONTROL_SUSPEND, {}));
    EXPECT_TRUE(telnet.OutputSuspended());
    Feed(telnet, ServerCommand(FLOWCONTROL_RESUME, {}));
    EXPECT_FALSE(telnet.OutputSuspended());
}

TEST(TelnetComPort, MalformedSubnegotiationsAreIgnored)
{
    TelnetComPort telnet = Negotiated();
    const std::string stream = ServerCommand(NOTIFY_MODEMSTATE, {}) + ServerCommand(NOTIFY_MODEMSTATE, {0x10, 0x10}) +
                               ServerCommand(SET_BAUDRATE, {1, 2}) + Bytes({IAC, SB, IAC, SE}) +
                               Bytes({IAC, SB, 24, 0, 'x', IAC, SE}) + Bytes({IAC, SE}) + "ok";
    EXPECT_EQ(FeedBytewise(telnet, stream), "ok");
    EXPECT_EQ(telnet.ModemStatus(), 0u);
    // A command inside a subnegotiation ends it; the command itself still counts.
    EXPECT_EQ(Feed(telnet, Bytes({IAC, SB, OPTION_COM_PORT, 107, 0x10, IAC, DO, 24}) + "z"), "z");
    EXPECT_EQ(telnet.ModemStatus(), 0u);
    EXPECT_EQ(telnet.TakeOutput(), Bytes({IAC, WONT, 24}));
}

TEST(TelnetComPort, HostileStreamsKeepItBounded)
{
    TelnetComPort telnet = Negotiated();
    // An endless subnegotiation swallows everything and keeps nothing of it.
    Feed(telnet, Bytes({IAC, SB, OPTION_COM_PORT, NOTIFY_MODEMSTATE + SERVER_OFFSET}));
    const std::string filler(64 * 1024, '\x10');
    for (int i = 0; i < 64; ++i) {
        EXPECT_EQ(Feed(telnet, filler), "");
    }
    EXPECT_EQ(Feed(telnet, Bytes({IAC, SE}) + "after"), "after");
    EXPECT_EQ(telnet.ModemStatus(), 0u);

    // A server that negotiates at every byte and never reads gets a bounded backlog of answers.
    std::string negotiations;
    for (int i = 0; i < 100000; ++i) {
        negotiations += Bytes({IAC, DO, 24 + i % 8});
    }
    Feed(telnet, negotiations);
    EXPECT_LE(telnet.TakeOutput().size(), TelnetComPort::kMaxAnswerBacklog);

    // IAC before every byte: commands without meaning, no data.
    std::string iacs;
    for (int i = 0; i < 100000; ++i) {
        iacs += Bytes({IAC, kNop + i % 9});  // NOP to GA
    }
    EXPECT_EQ(Feed(telnet, iacs), "");
    EXPECT_EQ(Feed(telnet, "x"), "x");

    // Requests pile up only so far when nothing takes the output.
    for (int i = 0; i < 20000; ++i) {
        telnet.RequestControl(CONTROL_DTR_ON, TelnetComPort::Answer::Ignored);
    }
    EXPECT_TRUE(telnet.Refused());
    EXPECT_LE(telnet.TakeOutput().size(), TelnetComPort::kMaxOutput + 16);
}
