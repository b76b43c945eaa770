#include "tests/support/ScriptedServer.h"

#include <cerrno>
#include <map>
#include <netinet/in.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include "platform/TelnetComPort.h"

namespace {

using Clock = std::chrono::steady_clock;

int MillisecondsUntil(Clock::time_point deadline)
{
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now()).count();
    return left > 0 ? static_cast<int>(left) : 0;
}

std::string Byte(unsigned char value) { return std::string(1, static_cast<char>(value)); }

}  // namespace

ScriptedServer::Client::Client(int descriptor, int stopDescriptor) : fd_(descriptor), stopFd_(stopDescriptor) {}

bool ScriptedServer::Client::Stopping() const
{
    pollfd stop{stopFd_, POLLIN, 0};
    return ::poll(&stop, 1, 0) > 0;
}

bool ScriptedServer::Client::Send(const std::string& bytes)
{
    std::size_t sent = 0;
    while (sent < bytes.size() && !gone_ && !sendFailed_) {
        pollfd descriptors[2] = {{fd_, POLLOUT, 0}, {stopFd_, POLLIN, 0}};
        if (::poll(descriptors, 2, -1) < 0 || descriptors[1].revents != 0) {
            return false;
        }
        const ssize_t count = ::send(fd_, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL | MSG_DONTWAIT);
        if (count < 0 && errno != EAGAIN && errno != EINTR) {
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
        pollfd stop{stopFd_, POLLIN, 0};
        if (::poll(&stop, 1, static_cast<int>(pause.count())) > 0) {
            return false;
        }
    }
    return true;
}

bool ScriptedServer::Client::ReceiveSome(std::chrono::milliseconds timeout)
{
    pollfd descriptors[2] = {{fd_, POLLIN, 0}, {stopFd_, POLLIN, 0}};
    if (gone_ || ::poll(descriptors, 2, static_cast<int>(timeout.count())) < 0 || descriptors[1].revents != 0) {
        return false;
    }
    if (descriptors[0].revents == 0) {
        return true;
    }
    char buffer[16384];
    const ssize_t count = ::recv(fd_, buffer, sizeof buffer, MSG_DONTWAIT);
    if (count > 0) {
        received_.append(buffer, static_cast<std::size_t>(count));
    } else if (count == 0 || (errno != EAGAIN && errno != EINTR)) {
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

ScriptedServer::ScriptedServer(Script script)
    : script_(std::move(script)), stopFd_(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK))
{
    listenFd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address {};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t size = sizeof address;
    if (::bind(listenFd_, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 && ::listen(listenFd_, 4) == 0 &&
        ::getsockname(listenFd_, reinterpret_cast<sockaddr*>(&address), &size) == 0) {
        port_ = ntohs(address.sin_port);
    }
    thread_ = std::thread([this] { Serve(); });
}

ScriptedServer::~ScriptedServer()
{
    const std::uint64_t one = 1;
    [[maybe_unused]] const ssize_t written = ::write(stopFd_, &one, sizeof one);
    thread_.join();
    ::close(listenFd_);
    ::close(stopFd_);
}

void ScriptedServer::Serve()
{
    while (true) {
        pollfd descriptors[2] = {{listenFd_, POLLIN, 0}, {stopFd_, POLLIN, 0}};
        if (::poll(descriptors, 2, -1) < 0 || descriptors[1].revents != 0) {
            return;
        }
        const int fd = ::accept4(listenFd_, nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK);
        if (fd < 0) {
            continue;
        }
        ++clients_;
        Client client(fd, stopFd_);
        script_(client);
        ::close(fd);
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

void ServeComPort(ScriptedServer::Client& client, const AnswerRule& answer)
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
    }
}

}  // namespace fake_server
