#include "platform/Socket.h"

#include <cerrno>
#include <cstring>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <unistd.h>
#include <utility>

#include "platform/SocketSystem.h"

namespace {

constexpr std::size_t kMostSignals = 4;

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

bool SocketsStarted() { return true; }

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

std::string SocketErrorText(int error) { return std::strerror(error); }
