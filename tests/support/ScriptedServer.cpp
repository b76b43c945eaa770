#include "tests/support/ScriptedServer.h"

#include <map>

#include "platform/TelnetComPort.h"
#include "tests/support/TestSockets.h"

namespace {

using Clock = std::chrono::steady_clock;

int MillisecondsUntil(Clock::time_point deadline)
{
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now()).count();
    return left > 0 ? static_cast<int>(left) : 0;
}

std::string Byte(unsigned char value) { return std::string(1, static_cast<char>(value)); }

test_sockets::Handle SocketOf(std::intptr_t number) { return static_cast<test_sockets::Handle>(number); }

pollfd Watch(std::intptr_t socket, short events) { return {SocketOf(socket), events, 0}; }

}  // namespace

ScriptedServer::Client::Client(std::intptr_t socket, std::intptr_t stopSocket)
    : socket_(socket), stopSocket_(stopSocket)
{
}

bool ScriptedServer::Client::Stopping() const
{
    pollfd stop = Watch(stopSocket_, POLLIN);
    return test_sockets::Poll(&stop, 1, 0) > 0;
}

bool ScriptedServer::Client::Send(const std::string& bytes)
{
    std::size_t sent = 0;
    while (sent < bytes.size() && !gone_ && !sendFailed_) {
        pollfd sockets[2] = {Watch(socket_, POLLOUT), Watch(stopSocket_, POLLIN)};
        if (test_sockets::Poll(sockets, 2, -1) < 0 || sockets[1].revents != 0) {
            return false;
        }
        const auto count = ::send(SocketOf(socket_), bytes.data() + sent, static_cast<int>(bytes.size() - sent),
                                  test_sockets::kSendFlags);
        if (count < 0 && !test_sockets::NotNow()) {
            sendFailed_ = true;
        } else if (count > 0) {
            sent += static_cast<std::size_t>(count);
        }
    }
    return !gone_ && !sendFailed_;
}

bool ScriptedServer::Client::SendInPieces(const std::string& bytes, std::size_t pieceSize,
                                          std::chrono::milliseconds pause)
{
    for (std::size_t start = 0; start < bytes.size(); start += pieceSize) {
        if (!Send(bytes.substr(start, pieceSize))) {
            return false;
        }
        pollfd stop = Watch(stopSocket_, POLLIN);
        if (test_sockets::Poll(&stop, 1, static_cast<int>(pause.count())) > 0) {
            return false;
        }
    }
    return true;
}

bool ScriptedServer::Client::ReceiveSome(std::chrono::milliseconds timeout)
{
    pollfd sockets[2] = {Watch(socket_, POLLIN), Watch(stopSocket_, POLLIN)};
    if (gone_ || test_sockets::Poll(sockets, 2, static_cast<int>(timeout.count())) < 0 || sockets[1].revents != 0) {
        return false;
    }
    if (sockets[0].revents == 0) {
        return true;
    }
    char buffer[16384];
    const auto count = ::recv(SocketOf(socket_), buffer, sizeof buffer, 0);
    if (count > 0) {
        received_.append(buffer, static_cast<std::size_t>(count));
    } else if (count == 0 || !test_sockets::NotNow()) {
        gone_ = true;
    }
    return !gone_;
}

bool ScriptedServer::Client::ReceiveUntil(const std::string& wanted, std::chrono::milliseconds timeout)
{
    const Clock::time_point deadline = Clock::now() + timeout;
    while (received_.find(wanted) == std::string::npos) {
        const int left = MillisecondsUntil(deadline);
        if (left == 0 || !ReceiveSome(std::chrono::milliseconds(left))) {
            return false;
        }
    }
    return true;
}

void ScriptedServer::Client::ReceiveFor(std::chrono::milliseconds duration)
{
    const Clock::time_point deadline = Clock::now() + duration;
    for (int left; (left = MillisecondsUntil(deadline)) > 0;) {
        if (!ReceiveSome(std::chrono::milliseconds(left))) {
            return;
        }
    }
}

const std::string& ScriptedServer::Client::Received() const { return received_; }

bool ScriptedServer::Client::WaitUntilGone(std::chrono::milliseconds timeout)
{
    const Clock::time_point deadline = Clock::now() + timeout;
    while (!gone_) {
        const int left = MillisecondsUntil(deadline);
        if (left == 0 || (!ReceiveSome(std::chrono::milliseconds(left)) && !gone_)) {
            return false;
        }
    }
    return true;
}

ScriptedServer::ScriptedServer(Script script) : script_(std::move(script))
{
    test_sockets::Handle reader = test_sockets::kNone;
    test_sockets::Handle writer = test_sockets::kNone;
    if (test_sockets::MakePair(reader, writer)) {
        stopReader_ = static_cast<std::intptr_t>(reader);
        stopWriter_ = static_cast<std::intptr_t>(writer);
        listenSocket_ = static_cast<std::intptr_t>(test_sockets::Listen(AF_INET, 4, port_));
    }
    thread_ = std::thread([this] { Serve(); });
}

ScriptedServer::~ScriptedServer()
{
    ::send(SocketOf(stopWriter_), "x", 1, test_sockets::kSendFlags);
    thread_.join();
    for (const std::intptr_t socket : {listenSocket_, stopReader_, stopWriter_}) {
        test_sockets::Close(SocketOf(socket));
    }
}

void ScriptedServer::Serve()
{
    while (port_ != 0) {
        pollfd sockets[2] = {Watch(listenSocket_, POLLIN), Watch(stopReader_, POLLIN)};
        if (test_sockets::Poll(sockets, 2, -1) < 0 || sockets[1].revents != 0) {
            return;
        }
        const test_sockets::Handle socket = test_sockets::Accept(SocketOf(listenSocket_));
        if (socket == test_sockets::kNone) {
            continue;
        }
        ++clients_;
        Client client(static_cast<std::intptr_t>(socket), stopReader_);
        script_(client);
        test_sockets::Close(socket);
    }
}

std::uint16_t ScriptedServer::Port() const { return port_; }

std::string ScriptedServer::Url(const std::string& scheme) const
{
    return scheme + "://127.0.0.1:" + std::to_string(port_);
}

std::size_t ScriptedServer::Clients() const { return clients_; }

namespace fake_server {

using namespace telnet;

std::string Greeting()
{
    const unsigned char bytes[] = {IAC, WILL, OPTION_SUPPRESS_GO_AHEAD, IAC, DO, OPTION_SUPPRESS_GO_AHEAD, IAC, DO, OPTION_BINARY,
                                   IAC, WILL, OPTION_BINARY, IAC, DO, OPTION_COM_PORT};
    return std::string(reinterpret_cast<const char*>(bytes), sizeof bytes);
}

std::string ServerCommand(unsigned char command, const std::string& value)
{
    std::string body = Byte(OPTION_COM_PORT) + Byte(static_cast<unsigned char>(command + SERVER_OFFSET)) + value;
    std::string escaped;
    TelnetComPort::EscapeData(reinterpret_cast<const unsigned char*>(body.data()), body.size(), escaped);
    return Byte(IAC) + Byte(SB) + escaped + Byte(IAC) + Byte(SE);
}

namespace {

// Walks a client's bytes: data goes to `data`, complete COM-PORT subnegotiations to `requests`.
void Split(const std::string& bytes, std::string* data, std::vector<Request>* requests)
{
    std::size_t i = 0;
    while (i < bytes.size()) {
        const auto byte = static_cast<unsigned char>(bytes[i]);
        if (byte != IAC) {
            if (data != nullptr) {
                *data += bytes[i];
            }
            ++i;
            continue;
        }
        if (i + 1 >= bytes.size()) {
            return;
        }
        const auto command = static_cast<unsigned char>(bytes[i + 1]);
        if (command == IAC) {
            if (data != nullptr) {
                *data += bytes[i];
            }
            i += 2;
        } else if (command == WILL || command == WONT || command == DO || command == DONT) {
            i += 3;
        } else if (command == SB) {
            std::string body;
            std::size_t j = i + 2;
            for (; j + 1 < bytes.size(); ++j) {
                const auto current = static_cast<unsigned char>(bytes[j]);
                if (current == IAC && static_cast<unsigned char>(bytes[j + 1]) == SE) {
                    break;
                }
                body += bytes[j];
                j += current == IAC ? 1 : 0;
            }
            if (j + 1 >= bytes.size()) {
                return;
            }
            if (requests != nullptr && body.size() >= 2 && static_cast<unsigned char>(body[0]) == OPTION_COM_PORT) {
                requests->push_back({static_cast<unsigned char>(body[1]), body.substr(2)});
            }
            i = j + 2;
        } else {
            i += 2;
        }
    }
}

}  // namespace

std::vector<Request> RequestsIn(const std::string& clientBytes)
{
    std::vector<Request> requests;
    Split(clientBytes, nullptr, &requests);
    return requests;
}

std::string DataIn(const std::string& clientBytes)
{
    std::string data;
    Split(clientBytes, &data, nullptr);
    return data;
}

ScriptedServer::Script Endless(const std::string& opening, const std::string& unit)
{
    return [opening, unit](ScriptedServer::Client& client) {
        std::string chunk;
        while (chunk.size() < 64 * 1024) {
            chunk += unit;
        }
        for (bool sending = client.Send(opening); sending;) {
            sending = client.Send(chunk);
        }
    };
}

void ServeComPort(ScriptedServer::Client& client, const AnswerRule& answer, const std::function<void()>& afterAnswers)
{
    std::map<unsigned char, std::string> current = {
        {SET_BAUDRATE, std::string("\x00\x00\x25\x80", 4)}, {SET_DATASIZE, "\x08"}, {SET_PARITY, "\x01"},
        {SET_STOPSIZE, "\x01"}, {SET_CONTROL, "\x01"}};
    if (!client.Send(Greeting())) {
        return;
    }
    std::size_t answered = 0;
    while (client.ReceiveSome(std::chrono::milliseconds(50))) {
        const std::vector<Request> requests = RequestsIn(client.Received());
        for (; answered < requests.size(); ++answered) {
            const Request& request = requests[answered];
            const bool query = request.value.find_first_not_of('\0') == std::string::npos;
            std::string value = query && current.count(request.command) != 0 ? current[request.command] : request.value;
            if (answer && !answer(request, value)) {
                continue;
            }
            if (!query && request.command >= SET_BAUDRATE && request.command <= SET_STOPSIZE) {
                current[request.command] = value;
            }
            if (!client.Send(ServerCommand(request.command, value))) {
                break;  // the device has gone; the requests it sent before are still read
            }
        }
        if (afterAnswers) {
            afterAnswers();
        }
    }
}

}  // namespace fake_server
