#include "platform/TelnetComPort.h"

#include <algorithm>
#include <cstdlib>
#include <utility>

#include "platform/SerialDevice.h"

namespace {

using namespace telnet;

// SET-CONTROL values fall into classes; an answer is matched to the request of its class.
enum class ControlClass { OutboundFlow, Break, Dtr, Rts, InboundFlow, Unknown };

ControlClass ClassOf(std::uint32_t value)
{
    switch (value) {
    case 0: case 1: case 2: case 3: case 17: case 19: return ControlClass::OutboundFlow;
    case 4: case 5: case 6: return ControlClass::Break;
    case 7: case 8: case 9: return ControlClass::Dtr;
    case 10: case 11: case 12: return ControlClass::Rts;
    case 13: case 14: case 15: case 16: case 18: return ControlClass::InboundFlow;
    default: return ControlClass::Unknown;
    }
}

// The values that ask for the current state of a class rather than set it.
bool IsControlQuery(std::uint32_t value) { return value == 0 || value == 4 || value == 7 || value == 10 || value == 13; }

bool SameRequest(unsigned char command, std::uint32_t requested, unsigned char answerCommand, std::uint32_t answer)
{
    if (command != answerCommand) {
        return false;
    }
    return command != SET_CONTROL || ClassOf(requested) == ClassOf(answer);
}

bool AnswerMatches(unsigned char command, std::uint32_t requested, std::uint32_t answer)
{
    if (command == SET_CONTROL ? IsControlQuery(requested) : requested == 0) {
        return true;
    }
    if (command == SET_BAUDRATE) {
        // Servers round a baud rate to what their clock makes; 2% off is taken, as on the line.
        const auto wanted = static_cast<long long>(requested);
        return std::llabs(wanted - static_cast<long long>(answer)) * 50 <= wanted;
    }
    return requested == answer;
}

unsigned char ParityValue(Parity parity)
{
    switch (parity) {
    case Parity::None: return 1;
    case Parity::Odd: return 2;
    case Parity::Even: return 3;
    case Parity::Mark: return 4;
    case Parity::Space: return 5;
    }
    return 1;
}

unsigned char StopSizeValue(StopBits stopBits)
{
    switch (stopBits) {
    case StopBits::One: return 1;
    case StopBits::Two: return 2;
    case StopBits::OneAndHalf: return 3;
    }
    return 1;
}

}  // namespace

void TelnetComPort::Start()
{
    Offer(Side::Us, OPTION_BINARY);
    Offer(Side::Him, OPTION_BINARY);
    Offer(Side::Us, OPTION_SUPPRESS_GO_AHEAD);
    Offer(Side::Him, OPTION_SUPPRESS_GO_AHEAD);
    Offer(Side::Us, OPTION_COM_PORT);
}

bool TelnetComPort::Wanted(Side side, unsigned char option)
{
    if (option == OPTION_BINARY || option == OPTION_SUPPRESS_GO_AHEAD) {
        return true;
    }
    return side == Side::Us && option == OPTION_COM_PORT;
}

void TelnetComPort::Offer(Side side, unsigned char option)
{
    Option& state = options_[option];
    (side == Side::Us ? state.us : state.him) = OptionState::WantYes;
    output_ += static_cast<char>(IAC);
    output_ += static_cast<char>(side == Side::Us ? WILL : DO);
    output_ += static_cast<char>(option);
}

void TelnetComPort::Reply(unsigned char verb, unsigned char option)
{
    if (answerBytes_ + 3 > kMaxAnswerBacklog) {
        return;
    }
    output_ += static_cast<char>(IAC);
    output_ += static_cast<char>(verb);
    output_ += static_cast<char>(option);
    answerBytes_ += 3;
}

void TelnetComPort::EscapeData(const unsigned char* bytes, std::size_t count, std::string& out)
{
    const unsigned char* end = bytes + count;
    while (bytes < end) {
        const unsigned char* iac = std::find(bytes, end, IAC);
        out.append(reinterpret_cast<const char*>(bytes), static_cast<std::size_t>(iac - bytes));
        if (iac == end) {
            break;
        }
        out += static_cast<char>(IAC);
        out += static_cast<char>(IAC);
        bytes = iac + 1;
    }
}

void TelnetComPort::Receive(const unsigned char* bytes, std::size_t count, std::string& data)
{
    const unsigned char* end = bytes + count;
    while (bytes < end) {
        // Runs of plain data are copied whole.
        if (state_ == ReceiveState::Data) {
            const unsigned char* iac = std::find(bytes, end, IAC);
            data.append(reinterpret_cast<const char*>(bytes), static_cast<std::size_t>(iac - bytes));
            bytes = iac;
            if (bytes == end) {
                break;
            }
        }
        TakeByte(*bytes++, data);
    }
}

void TelnetComPort::TakeByte(unsigned char byte, std::string& data)
{
    switch (state_) {
    case ReceiveState::Data:
        if (byte == IAC) {
            state_ = ReceiveState::Command;
        } else {
            data += static_cast<char>(byte);
        }
        return;
    case ReceiveState::Command:
        if (byte == IAC) {
            data += static_cast<char>(IAC);
            state_ = ReceiveState::Data;
        } else {
            TakeCommand(byte);
        }
        return;
    case ReceiveState::Option:
        state_ = ReceiveState::Data;
        TakeNegotiation(verb_, byte);
        return;
    case ReceiveState::SubOption:
        subnegotiation_.assign(1, static_cast<char>(byte));
        subnegotiationTooLong_ = false;
        state_ = ReceiveState::SubData;
        return;
    case ReceiveState::SubData:
        if (byte == IAC) {
            state_ = ReceiveState::SubCommand;
            return;
        }
        break;
    case ReceiveState::SubCommand:
        if (byte == SE) {
            state_ = ReceiveState::Data;
            FinishSubnegotiation();
            return;
        }
        if (byte != IAC) {
            // A command inside a subnegotiation ends it unfinished; the command still counts.
            TakeCommand(byte);
            return;
        }
        state_ = ReceiveState::SubData;
        break;
    }
    if (subnegotiation_.size() < kMaxSubnegotiation) {
        subnegotiation_ += static_cast<char>(byte);
    } else {
        subnegotiationTooLong_ = true;
    }
}

void TelnetComPort::TakeCommand(unsigned char command)
{
    state_ = ReceiveState::Data;
    if (command == WILL || command == WONT || command == DO || command == DONT) {
        verb_ = command;
        state_ = ReceiveState::Option;
    } else if (command == SB) {
        state_ = ReceiveState::SubOption;
    }
    // Every other command (NOP, GA, DM, a stray SE, ...) has nothing to do here.
}

void TelnetComPort::TakeNegotiation(unsigned char verb, unsigned char option)
{
    if (verb == WILL || verb == WONT) {
        ReceiveWill(option, verb == WILL);
    } else {
        ReceiveDo(option, verb == DO);
    }
}

// The server's side of an option (RFC 1143: answer only a change, so no loop can start).
void TelnetComPort::ReceiveWill(unsigned char option, bool will)
{
    Option& state = options_[option];
    state.himAnswered = true;
    if (will) {
        if (state.him == OptionState::No) {
            const bool agree = Wanted(Side::Him, option);
            state.him = agree ? OptionState::Yes : OptionState::No;
            Reply(agree ? DO : DONT, option);
        } else if (state.him != OptionState::Yes) {
            state.him = state.him == OptionState::WantYes ? OptionState::Yes : OptionState::No;
        }
    } else {
        if (state.him == OptionState::Yes) {
            Reply(DONT, option);
        }
        state.him = OptionState::No;
    }
}

// The client's side of an option, as the server would have it.
void TelnetComPort::ReceiveDo(unsigned char option, bool doIt)
{
    Option& state = options_[option];
    state.usAnswered = true;
    if (doIt) {
        if (state.us == OptionState::No) {
            const bool agree = Wanted(Side::Us, option);
            state.us = agree ? OptionState::Yes : OptionState::No;
            Reply(agree ? WILL : WONT, option);
        } else if (state.us != OptionState::Yes) {
            state.us = state.us == OptionState::WantYes ? OptionState::Yes : OptionState::No;
        }
    } else {
        if (state.us == OptionState::Yes) {
            Reply(WONT, option);
        }
        if (option == OPTION_COM_PORT && !requests_.empty()) {
            refused_ = true;
        }
        state.us = OptionState::No;
    }
}

void TelnetComPort::FinishSubnegotiation()
{
    if (subnegotiationTooLong_ || subnegotiation_.size() < 2 ||
        static_cast<unsigned char>(subnegotiation_[0]) != OPTION_COM_PORT) {
        return;
    }
    const auto command = static_cast<unsigned char>(subnegotiation_[1]);
    if (command >= SERVER_OFFSET) {
        TakeServerCommand(static_cast<unsigned char>(command - SERVER_OFFSET), subnegotiation_.substr(2));
    }
}

void TelnetComPort::TakeServerCommand(unsigned char command, const std::string& value)
{
    if (command == FLOWCONTROL_SUSPEND || command == FLOWCONTROL_RESUME) {
        outputSuspended_ = command == FLOWCONTROL_SUSPEND;
        return;
    }
    const std::size_t expectedSize = command == SET_BAUDRATE ? 4 : 1;
    if (command == SIGNATURE || command > PURGE_DATA || value.size() != expectedSize) {
        return;
    }
    std::uint32_t number = 0;
    for (const char byte : value) {
        number = (number << 8) | static_cast<unsigned char>(byte);
    }
    if (command == NOTIFY_MODEMSTATE) {
        TakeModemState(static_cast<unsigned char>(number));
    } else if (command == NOTIFY_LINESTATE) {
        TakeLineState(static_cast<unsigned char>(number));
    } else {
        TakeAnswer(command, number);
    }
}

void TelnetComPort::TakeAnswer(unsigned char command, std::uint32_t value)
{
    Report(command, value);
    const auto request = std::find_if(requests_.begin(), requests_.end(), [&](const Request& pending) {
        return SameRequest(pending.command, pending.value, command, value);
    });
    if (request == requests_.end()) {
        return;
    }
    if (!AnswerMatches(command, request->value, value)) {
        refused_ = true;
    }
    requests_.erase(request);
}

void TelnetComPort::Report(unsigned char command, std::uint32_t value)
{
    switch (command) {
    case SET_BAUDRATE:
        if (value != 0) {
            reported_.baudRate = value;
            reported_.baudKnown = true;
        }
        return;
    case SET_DATASIZE:
        if (value >= 5 && value <= 8) {
            reported_.dataBits = static_cast<int>(value);
            reported_.dataBitsKnown = true;
        }
        return;
    case SET_PARITY:
        if (value >= 1 && value <= 5) {
            constexpr Parity kParities[] = {Parity::None, Parity::Odd, Parity::Even, Parity::Mark, Parity::Space};
            reported_.parity = kParities[value - 1];
            reported_.parityKnown = true;
        }
        return;
    case SET_STOPSIZE:
        if (value >= 1 && value <= 3) {
            constexpr StopBits kStopBits[] = {StopBits::One, StopBits::Two, StopBits::OneAndHalf};
            reported_.stopBits = kStopBits[value - 1];
            reported_.stopBitsKnown = true;
        }
        return;
    case SET_CONTROL:
        if (ClassOf(value) == ControlClass::OutboundFlow && !IsControlQuery(value)) {
            reported_.outboundFlow = static_cast<unsigned char>(value);
            reported_.flowKnown = true;
        }
        return;
    default:
        return;
    }
}

void TelnetComPort::TakeModemState(unsigned char state)
{
    // The line bits are the modem-status bits; the low bits tell which lines changed.
    constexpr unsigned kLines = MS_CTS_ON | MS_DSR_ON | MS_RING_ON | MS_RLSD_ON;
    const unsigned status = state & kLines;
    const unsigned changed = modemStateKnown_ ? (status ^ modemStatus_) : 0;
    unsigned events = 0;
    events |= ((changed & MS_CTS_ON) != 0 || (state & 0x01) != 0) ? EV_CTS : 0;
    events |= ((changed & MS_DSR_ON) != 0 || (state & 0x02) != 0) ? EV_DSR : 0;
    events |= ((changed & MS_RING_ON) != 0 || (state & 0x04) != 0) ? EV_RING : 0;
    events |= ((changed & MS_RLSD_ON) != 0 || (state & 0x08) != 0) ? EV_RLSD : 0;
    events_ |= events;
    modemStatus_ = status;
    modemStateKnown_ = true;
}

void TelnetComPort::TakeLineState(unsigned char state)
{
    unsigned errors = 0;
    errors |= (state & 0x10) != 0 ? CE_BREAK : 0;
    errors |= (state & 0x08) != 0 ? CE_FRAME : 0;
    errors |= (state & 0x04) != 0 ? CE_RXPARITY : 0;
    errors |= (state & 0x02) != 0 ? CE_OVERRUN : 0;
    lineErrors_ |= errors;
    events_ |= (errors & CE_BREAK) != 0 ? EV_BREAK : 0;
    events_ |= (errors & (CE_FRAME | CE_RXPARITY | CE_OVERRUN)) != 0 ? EV_ERR : 0;
}

bool TelnetComPort::HasOutput() const { return !output_.empty(); }

std::string TelnetComPort::TakeOutput()
{
    answerBytes_ = 0;
    return std::exchange(output_, std::string());
}

OptionAnswer TelnetComPort::ComPortAnswer() const
{
    const Option& option = options_[OPTION_COM_PORT];
    if (!option.usAnswered) {
        return OptionAnswer::Pending;
    }
    return option.us == OptionState::Yes ? OptionAnswer::Accepted : OptionAnswer::Refused;
}

OptionAnswer TelnetComPort::BinaryAnswer() const
{
    const Option& option = options_[OPTION_BINARY];
    const bool usRefused = option.usAnswered && option.us != OptionState::Yes;
    const bool himRefused = option.himAnswered && option.him != OptionState::Yes;
    if (usRefused || himRefused) {
        return OptionAnswer::Refused;
    }
    return option.usAnswered && option.himAnswered ? OptionAnswer::Accepted : OptionAnswer::Pending;
}

bool TelnetComPort::NegotiationAnswered() const
{
    return ComPortAnswer() != OptionAnswer::Pending && BinaryAnswer() != OptionAnswer::Pending;
}

void TelnetComPort::SendRequest(unsigned char command, std::uint32_t value, Answer answer)
{
    if (ComPortAnswer() != OptionAnswer::Accepted || output_.size() > kMaxOutput) {
        refused_ = true;
        return;
    }
    std::string body;
    body += static_cast<char>(OPTION_COM_PORT);
    body += static_cast<char>(command);
    for (std::size_t i = command == SET_BAUDRATE ? 4 : 1; i-- > 0;) {
        body += static_cast<char>((value >> (8 * i)) & 0xFF);
    }
    output_ += static_cast<char>(IAC);
    output_ += static_cast<char>(SB);
    EscapeData(reinterpret_cast<const unsigned char*>(body.data()), body.size(), output_);
    output_ += static_cast<char>(IAC);
    output_ += static_cast<char>(SE);
    if (answer == Answer::Ignored) {
        return;
    }
    if (requests_.size() == kMaxPendingRequests) {
        requests_.erase(requests_.begin());
    }
    requests_.push_back({command, value, answer == Answer::Required});
}

void TelnetComPort::RequestBaudRate(std::uint32_t baudRate) { SendRequest(SET_BAUDRATE, baudRate, Answer::Required); }

void TelnetComPort::RequestDataSize(int dataBits)
{
    SendRequest(SET_DATASIZE, static_cast<std::uint32_t>(dataBits), Answer::Required);
}

void TelnetComPort::RequestParity(Parity parity) { SendRequest(SET_PARITY, ParityValue(parity), Answer::Required); }

void TelnetComPort::RequestStopSize(StopBits stopBits)
{
    SendRequest(SET_STOPSIZE, StopSizeValue(stopBits), Answer::Required);
}

void TelnetComPort::RequestControl(unsigned char value, Answer answer) { SendRequest(SET_CONTROL, value, answer); }

void TelnetComPort::RequestCurrentSettings()
{
    for (const unsigned char command : {SET_BAUDRATE, SET_DATASIZE, SET_PARITY, SET_STOPSIZE, SET_CONTROL}) {
        SendRequest(command, 0, Answer::Required);
    }
}

void TelnetComPort::RequestPurge(unsigned char which) { SendRequest(PURGE_DATA, which, Answer::Ignored); }

void TelnetComPort::RequestStateMasks(unsigned char lineStateMask, unsigned char modemStateMask)
{
    SendRequest(SET_LINESTATE_MASK, lineStateMask, Answer::Ignored);
    SendRequest(SET_MODEMSTATE_MASK, modemStateMask, Answer::Ignored);
}

std::size_t TelnetComPort::UnansweredRequests() const
{
    return static_cast<std::size_t>(
        std::count_if(requests_.begin(), requests_.end(), [](const Request& request) { return request.required; }));
}

bool TelnetComPort::Refused() const { return refused_; }

void TelnetComPort::ForgetRequests()
{
    requests_.clear();
    refused_ = false;
}

const TelnetComPort::ReportedSettings& TelnetComPort::Reported() const { return reported_; }

unsigned TelnetComPort::ModemStatus() const { return modemStatus_; }

unsigned TelnetComPort::TakeEvents() { return std::exchange(events_, 0u); }

unsigned TelnetComPort::TakeLineErrors() { return std::exchange(lineErrors_, 0u); }

bool TelnetComPort::OutputSuspended() const { return outputSuspended_; }
