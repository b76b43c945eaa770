#pragma once

// The few socket calls the tests' own servers make, the same on both systems: a listening
// socket on a loopback address, non-blocking connections, poll, and a loopback pair whose
// reading end a poll watches to be told to stop.
#include <cerrno>
#include <cstdint>

#ifdef _WIN32
// clang-format off
#include <winsock2.h>
#include <ws2tcpip.h>
// clang-format on
#else
#include <fcntl.h>
#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>
#endif

namespace test_sockets {

#ifdef _WIN32
using Handle = SOCKET;
inline const Handle kNone = INVALID_SOCKET;
constexpr int kSendFlags = 0;
constexpr int kStreamType = SOCK_STREAM;

inline int Poll(pollfd* sockets, unsigned count, int timeoutMs) { return ::WSAPoll(sockets, count, timeoutMs); }
inline void Close(Handle socket)
{
    if (socket != kNone) {
        ::closesocket(socket);
    }
}
// The last call found nothing to do now.
inline bool NotNow() { return ::WSAGetLastError() == WSAEWOULDBLOCK; }
inline bool MakeNonBlocking(Handle socket)
{
    u_long on = 1;
    return ::ioctlsocket(socket, FIONBIO, &on) == 0;
}
inline bool Start()
{
    static const bool started = [] {
        WSADATA data{};
        return ::WSAStartup(MAKEWORD(2, 2), &data) == 0;
    }();
    return started;
}
#else
using Handle = int;
constexpr Handle kNone = -1;
constexpr int kSendFlags = MSG_NOSIGNAL;
constexpr int kStreamType = SOCK_STREAM | SOCK_CLOEXEC;

inline int Poll(pollfd* sockets, unsigned count, int timeoutMs) { return ::poll(sockets, count, timeoutMs); }
inline void Close(Handle socket)
{
    if (socket != kNone) {
        ::close(socket);
    }
}
inline bool NotNow() { return errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR; }
inline bool MakeNonBlocking(Handle socket)
{
    return ::fcntl(socket, F_SETFL, ::fcntl(socket, F_GETFL) | O_NONBLOCK) == 0;
}
inline bool Start() { return true; }
#endif

// A socket listening on 127.0.0.1 or ::1 at a port the system chose; port 0 when it failed.
inline Handle Listen(int family, int backlog, std::uint16_t& port)
{
    port = 0;
    if (!Start()) {
        return kNone;
    }
    const Handle socket = ::socket(family, kStreamType, 0);
    sockaddr_storage address{};
    socklen_t size = 0;
    if (family == AF_INET6) {
        auto* v6 = reinterpret_cast<sockaddr_in6*>(&address);
        v6->sin6_family = AF_INET6;
        v6->sin6_addr = in6addr_loopback;
        size = sizeof *v6;
    } else {
        auto* v4 = reinterpret_cast<sockaddr_in*>(&address);
        v4->sin_family = AF_INET;
        v4->sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        size = sizeof *v4;
    }
    if (socket != kNone && ::bind(socket, reinterpret_cast<sockaddr*>(&address), size) == 0 &&
        ::listen(socket, backlog) == 0 && ::getsockname(socket, reinterpret_cast<sockaddr*>(&address), &size) == 0) {
        port = ntohs(family == AF_INET6 ? reinterpret_cast<sockaddr_in6*>(&address)->sin6_port
                                        : reinterpret_cast<sockaddr_in*>(&address)->sin_port);
    }
    return socket;
}

// A connection waiting at `listener`, non-blocking; kNone when none could be taken.
inline Handle Accept(Handle listener)
{
    const Handle socket = ::accept(listener, nullptr, nullptr);
    if (socket != kNone && !MakeNonBlocking(socket)) {
        Close(socket);
        return kNone;
    }
    return socket;
}

// A blocking connection to 127.0.0.1:`port`; kNone when it failed.
inline Handle ConnectToLoopback(std::uint16_t port)
{
    if (port == 0 || !Start()) {
        return kNone;
    }
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(port);
    const Handle socket = ::socket(AF_INET, kStreamType, 0);
    if (socket != kNone && ::connect(socket, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        Close(socket);
        return kNone;
    }
    return socket;
}

// A connected pair on 127.0.0.1; the reading end is non-blocking.
inline bool MakePair(Handle& reader, Handle& writer)
{
    std::uint16_t port = 0;
    const Handle listener = Listen(AF_INET, 1, port);
    writer = ConnectToLoopback(port);
    reader = writer != kNone ? Accept(listener) : kNone;
    Close(listener);
    return reader != kNone;
}

}  // namespace test_sockets
