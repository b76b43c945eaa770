#include "platform/Socket.h"

#include <cerrno>
#include <cstring>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>
#include <utility>

#include "platform/TcpConnector.h"

namespace {

constexpr std::size_t kMostSignals = 4;

// Looks an address up without ever asking a name server.
bool LookUpNumeric(const std::string& host, std::uint16_t port, addrinfo*& found)
{
    addrinfo hints {};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = AI_NUMERICHOST | AI_NUMERICSERV;
    return ::getaddrinfo(host.c_str(), std::to_string(port).c_str(), &hints, &found) == 0;
}

Readiness Poll(int fd, short events, std::initializer_list<NativeSignal> signals, int timeoutMs)
{
    pollfd descriptors[1 + kMostSignals] = {{events != 0 ? fd : -1, events, 0}};
    nfds_t count = 1;
    for (const NativeSignal signal : signals) {
        if (count < 1 + kMostSignals) {
            descriptors[count++] = {signal, POLLIN, 0};
        }
    }
    Readiness ready;
    if (::poll(descriptors, count, timeoutMs) <= 0) {
        return ready;
    }
    ready.socket = descriptors[0].revents != 0;
    for (nfds_t i = 1; i < count; ++i) {
        ready.signals |= (descriptors[i].revents & POLLIN) != 0 ? 1u << (i - 1) : 0u;
    }
    return ready;
}

}  // namespace

Socket::~Socket() { Close(); }

Socket::Socket(Socket&& other) noexcept { Swap(other); }

Socket& Socket::operator=(Socket&& other) noexcept
{
    Socket taken(std::move(other));
    Swap(taken);
    return *this;
}

void Socket::Swap(Socket& other) noexcept { std::swap(handle_, other.handle_); }

bool Socket::IsOpen() const { return handle_ >= 0; }

int Socket::Id() const { return static_cast<int>(handle_); }

bool Socket::StartConnect(const std::string& address, std::uint16_t port)
{
    Close();
    addrinfo* found = nullptr;
    if (!LookUpNumeric(address, port, found)) {
        errno = EINVAL;
        return false;
    }
    const int fd = ::socket(found->ai_family, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    const bool started = fd >= 0 && (::connect(fd, found->ai_addr, found->ai_addrlen) == 0 || errno == EINPROGRESS);
    const int error = errno;
    ::freeaddrinfo(found);
    if (!started) {
        if (fd >= 0) {
            ::close(fd);
        }
        errno = error;
        return false;
    }
    handle_ = fd;
    return true;
}

int Socket::FinishConnect()
{
    int error = 0;
    socklen_t size = sizeof error;
    if (::getsockopt(static_cast<int>(handle_), SOL_SOCKET, SO_ERROR, &error, &size) != 0) {
        return errno;
    }
    if (error == 0) {
        const int on = 1;
        ::setsockopt(static_cast<int>(handle_), IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
    }
    return error;
}

long Socket::Receive(void* buffer, std::size_t size)
{
    return ::recv(static_cast<int>(handle_), buffer, size, MSG_DONTWAIT);
}

long Socket::Send(const void* bytes, std::size_t size)
{
    return ::send(static_cast<int>(handle_), bytes, size, MSG_NOSIGNAL | MSG_DONTWAIT);
}

bool Socket::Drained() const
{
    int unsent = 0;
    return ::ioctl(static_cast<int>(handle_), TIOCOUTQ, &unsent) == 0 && unsent == 0;
}

void Socket::Close()
{
    if (handle_ >= 0) {
        ::close(static_cast<int>(handle_));
        handle_ = -1;
    }
}

Readiness Socket::Wait(bool read, bool write, std::initializer_list<NativeSignal> signals, int timeoutMs) const
{
    const short events = IsOpen() ? static_cast<short>((read ? POLLIN : 0) | (write ? POLLOUT : 0)) : 0;
    return Poll(static_cast<int>(handle_), events, signals, timeoutMs);
}

Readiness WaitForSignals(std::initializer_list<NativeSignal> signals, int timeoutMs)
{
    return Poll(-1, 0, signals, timeoutMs);
}

bool IsNumericAddress(const std::string& host)
{
    addrinfo* found = nullptr;
    if (!LookUpNumeric(host, 1, found)) {
        return false;
    }
    ::freeaddrinfo(found);
    return true;
}

std::string SocketErrorText(int error) { return std::strerror(error); }

ResolveStatus ResolveWithSystem(const std::string& host, std::vector<std::string>& addresses)
{
    addrinfo hints {};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    const int status = ::getaddrinfo(host.c_str(), nullptr, &hints, &found);
    if (status == EAI_NONAME || status == EAI_NODATA) {
        return ResolveStatus::NotFound;
    }
    if (status != 0) {
        return ResolveStatus::Failed;
    }
    for (const addrinfo* entry = found; entry != nullptr; entry = entry->ai_next) {
        char text[NI_MAXHOST] = {};
        if (::getnameinfo(entry->ai_addr, entry->ai_addrlen, text, sizeof text, nullptr, 0, NI_NUMERICHOST) == 0) {
            addresses.emplace_back(text);
        }
    }
    ::freeaddrinfo(found);
    return addresses.empty() ? ResolveStatus::NotFound : ResolveStatus::Resolved;
}
