#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/LineSettings.h"

// Telnet bytes (RFC 854, 855) and the options the client side uses: BINARY (RFC 856),
// SUPPRESS-GO-AHEAD (RFC 858) and COM-PORT-OPTION (RFC 2217).
namespace telnet {
constexpr unsigned char IAC = 255;
constexpr unsigned char DONT = 254;
constexpr unsigned char DO = 253;
constexpr unsigned char WONT = 252;
constexpr unsigned char WILL = 251;
constexpr unsigned char SB = 250;
constexpr unsigned char SE = 240;

constexpr unsigned char OPTION_BINARY = 0;
constexpr unsigned char OPTION_ECHO = 1;
constexpr unsigned char OPTION_SUPPRESS_GO_AHEAD = 3;
constexpr unsigned char OPTION_COM_PORT = 44;

// COM-PORT-OPTION commands from the client; the server answers with the same command + 100.
constexpr unsigned char SIGNATURE = 0;
constexpr unsigned char SET_BAUDRATE = 1;
constexpr unsigned char SET_DATASIZE = 2;
constexpr unsigned char SET_PARITY = 3;
constexpr unsigned char SET_STOPSIZE = 4;
constexpr unsigned char SET_CONTROL = 5;
constexpr unsigned char NOTIFY_LINESTATE = 6;
constexpr unsigned char NOTIFY_MODEMSTATE = 7;
constexpr unsigned char FLOWCONTROL_SUSPEND = 8;
constexpr unsigned char FLOWCONTROL_RESUME = 9;
constexpr unsigned char SET_LINESTATE_MASK = 10;
constexpr unsigned char SET_MODEMSTATE_MASK = 11;
constexpr unsigned char PURGE_DATA = 12;
constexpr unsigned char SERVER_OFFSET = 100;

// SET-CONTROL values.
constexpr unsigned char CONTROL_REQUEST_FLOW = 0;
constexpr unsigned char CONTROL_NO_FLOW = 1;
constexpr unsigned char CONTROL_XON_XOFF_FLOW = 2;
constexpr unsigned char CONTROL_HARDWARE_FLOW = 3;
constexpr unsigned char CONTROL_BREAK_ON = 5;
constexpr unsigned char CONTROL_BREAK_OFF = 6;
constexpr unsigned char CONTROL_DTR_ON = 8;
constexpr unsigned char CONTROL_DTR_OFF = 9;
constexpr unsigned char CONTROL_RTS_ON = 11;
constexpr unsigned char CONTROL_RTS_OFF = 12;

// PURGE-DATA values: what the server discards.
constexpr unsigned char PURGE_FROM_DEVICE = 1;  // its buffer of data received from the device
constexpr unsigned char PURGE_TO_DEVICE = 2;    // its buffer of data waiting to go to the device
constexpr unsigned char PURGE_BOTH = 3;

// NOTIFY-LINESTATE bits that are line errors, and all NOTIFY-MODEMSTATE bits.
constexpr unsigned char LINESTATE_ERRORS = 0x1E;
constexpr unsigned char MODEMSTATE_ALL = 0xFF;
}  // namespace telnet

// Where the server stands on an option the client asked for.
enum class OptionAnswer { Pending, Accepted, Refused };

// The client side of a Telnet connection to a serial-port server, as a pure state machine:
// bytes from the server go in through Receive, data bytes come out of it, and the answers and
// requests for the server collect in the output until the caller takes them. It keeps no
// sockets and never waits. Every buffer it holds is bounded: a subnegotiation longer than
// kMaxSubnegotiation is discarded whole, and answers to the server's negotiation beyond
// kMaxAnswerBacklog untaken bytes are dropped, so a server that talks without reading cannot
// make it grow.
class TelnetComPort {
public:
    static constexpr std::size_t kMaxSubnegotiation = 256;
    static constexpr std::size_t kMaxAnswerBacklog = 4096;
    static constexpr std::size_t kMaxPendingRequests = 64;
    // Requests beyond this many untaken output bytes are not sent (and count as refused).
    static constexpr std::size_t kMaxOutput = 64 * 1024;

    // How the server's answer to a request is taken: awaited (counted in UnansweredRequests),
    // checked when it comes but not awaited, or not looked at.
    enum class Answer { Required, Optional, Ignored };

    // Server-side settings as last reported in its answers; a field is known once reported.
    struct ReportedSettings {
        bool baudKnown = false, dataBitsKnown = false, parityKnown = false, stopBitsKnown = false, flowKnown = false;
        unsigned baudRate = 0;
        int dataBits = 0;
        Parity parity = Parity::None;
        StopBits stopBits = StopBits::One;
        unsigned char outboundFlow = telnet::CONTROL_NO_FLOW;
    };

    // Queues the client's offers: WILL and DO BINARY, WILL and DO SUPPRESS-GO-AHEAD, WILL
    // COM-PORT-OPTION.
    void Start();

    // Takes bytes from the server, in pieces split anywhere. Data bytes (IAC IAC made one
    // 0xFF) are appended to `data`; they are never more than `count`.
    void Receive(const unsigned char* bytes, std::size_t count, std::string& data);
    // Appends data bytes for the server with every 0xFF doubled.
    static void EscapeData(const unsigned char* bytes, std::size_t count, std::string& out);

    bool HasOutput() const;
    // Bytes for the server, in the order they were produced.
    std::string TakeOutput();

    OptionAnswer ComPortAnswer() const;
    // Accepted when BINARY is on both ways, Refused when the server refused either way.
    OptionAnswer BinaryAnswer() const;
    // Whether the server has answered every offer that matters: COM-PORT-OPTION and BINARY.
    bool NegotiationAnswered() const;

    // Requests. An answer matched to a request that differs from it (a baud rate more than 2%
    // off, any other value not equal) counts as a refusal; a SET-CONTROL answer is matched by
    // its kind (flow control, break, DTR, RTS). Value 0 asks for the current setting, and any
    // answer is taken. Without the COM-PORT option accepted nothing is sent and Refused()
    // becomes true. The line settings' answers are required.
    void RequestBaudRate(std::uint32_t baudRate);
    void RequestDataSize(int dataBits);
    void RequestParity(Parity parity);
    void RequestStopSize(StopBits stopBits);
    void RequestControl(unsigned char value, Answer answer);
    // Asks for the baud rate, data size, parity, stop size and outbound flow control in use.
    void RequestCurrentSettings();
    // Answers to these are not awaited.
    void RequestPurge(unsigned char which);
    void RequestStateMasks(unsigned char lineStateMask, unsigned char modemStateMask);

    std::size_t UnansweredRequests() const;
    // Whether a request was refused, or the option was refused, since ForgetRequests.
    bool Refused() const;
    // Drops the requests still unanswered (their answers, should they come, change only what
    // is reported) and the refusal.
    void ForgetRequests();

    const ReportedSettings& Reported() const;
    // Modem-status bits (MS_ bits) of the last NOTIFY-MODEMSTATE.
    unsigned ModemStatus() const;
    // Port events (EV_CTS, EV_DSR, EV_RLSD, EV_RING, EV_BREAK, EV_ERR) since the last call.
    unsigned TakeEvents();
    // Line errors (CE_ bits) since the last call.
    unsigned TakeLineErrors();
    // Whether the server asked the client to stop sending data (FLOWCONTROL-SUSPEND).
    bool OutputSuspended() const;

private:
    enum class Side { Us, Him };
    enum class OptionState { No, Yes, WantNo, WantYes };
    enum class ReceiveState { Data, Command, Option, SubOption, SubData, SubCommand };

    struct Option {
        OptionState us = OptionState::No;
        OptionState him = OptionState::No;
        bool usAnswered = false;
        bool himAnswered = false;
    };

    struct Request {
        unsigned char command;
        std::uint32_t value;
        bool required;
    };

    void TakeByte(unsigned char byte, std::string& data);
    void TakeCommand(unsigned char command);
    void TakeNegotiation(unsigned char verb, unsigned char option);
    void ReceiveWill(unsigned char option, bool will);
    void ReceiveDo(unsigned char option, bool doIt);
    void Reply(unsigned char verb, unsigned char option);
    void Offer(Side side, unsigned char option);
    void FinishSubnegotiation();
    void TakeServerCommand(unsigned char command, const std::string& value);
    void TakeAnswer(unsigned char command, std::uint32_t value);
    void TakeModemState(unsigned char state);
    void TakeLineState(unsigned char state);
    void Report(unsigned char command, std::uint32_t value);
    void SendRequest(unsigned char command, std::uint32_t value, Answer answer);
    static bool Wanted(Side side, unsigned char option);

    Option options_[256];
    ReceiveState state_ = ReceiveState::Data;
    unsigned char verb_ = 0;
    std::string subnegotiation_;
    bool subnegotiationTooLong_ = false;
    std::string output_;
    std::size_t answerBytes_ = 0;  // bytes of answers among output_

    std::vector<Request> requests_;
    bool refused_ = false;
    ReportedSettings reported_;
    bool modemStateKnown_ = false;
    unsigned modemStatus_ = 0;
    unsigned events_ = 0;
    unsigned lineErrors_ = 0;
    bool outputSuspended_ = false;
};
