#include "platform/Socket.h"

#include "platform/SocketSystem.h"

#include <windows.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstring>
#include <utility>

#include "platform/win32/Win32Text.h"

// Waits combine the socket with events: the socket's network events (WSAEventSelect) set an
// auto-reset event of its own. Such an event tells of a change once, so a wait first asks
// select() whether the socket is ready already: data left behind, a close told before, or a
// connect that has ended.

namespace {

constexpr DWORD kMostSignals = 4;
constexpr long kNetworkEvents = FD_READ | FD_WRITE | FD_CONNECT | FD_CLOSE;

int LastSocketErrno() { return ErrnoFromSystemError(static_cast<unsigned long>(::WSAGetLastError())); }

long FailWithSocketError()
{
    errno = LastSocketErrno();
    return -1;
}

SOCKET AsSocket(std::intptr_t handle) { return static_cast<SOCKET>(handle); }

// Winsock counts bytes in an int.
int AtMostInt(std::size_t size) { return static_cast<int>(std::min<std::size_t>(size, INT_MAX)); }

// Whether select() finds the socket ready now for what is asked; a failed connect counts.
bool ReadyNow(SOCKET socket, bool read, bool write)
{
    fd_set readable;
    fd_set writable;
    fd_set failed;
    FD_ZERO(&readable);
    FD_ZERO(&writable);
    FD_ZERO(&failed);
    if (read) {
        FD_SET(socket, &readable);
    }
    if (write) {
        FD_SET(socket, &writable);
        FD_SET(socket, &failed);
    }
    timeval now{};
    return ::select(0, read ? &readable : nullptr, write ? &writable : nullptr, write ? &failed : nullptr, &now) > 0;
}

// Waits for the events; returns which of them are set afterwards (bit i: events[i]).
unsigned WaitForEvents(const HANDLE* events, DWORD count, int timeoutMs)
{
    if (count == 0) {
        ::Sleep(timeoutMs < 0 ? INFINITE : static_cast<DWORD>(timeoutMs));
        return 0;
    }
    const DWORD result =
        ::WaitForMultipleObjects(count, events, FALSE, timeoutMs < 0 ? INFINITE : static_cast<DWORD>(timeoutMs));
    if (result >= WAIT_OBJECT_0 + count) {
        return 0;
    }
    unsigned set = 1u << (result - WAIT_OBJECT_0);
    for (DWORD i = result - WAIT_OBJECT_0 + 1; i < count; ++i) {
        set |= ::WaitForSingleObject(events[i], 0) == WAIT_OBJECT_0 ? 1u << i : 0u;
    }
    return set;
}

Readiness Wait(SOCKET socket, HANDLE socketEvent, bool read, bool write,
               std::initializer_list<NativeSignal> signals, int timeoutMs)
{
    const bool watched = socket != INVALID_SOCKET && (read || write);
    HANDLE events[1 + kMostSignals];
    unsigned signalBit[1 + kMostSignals] = {};  // 0: the socket's event
    DWORD count = 0;
    if (watched) {
        events[count++] = socketEvent;
    }
    unsigned bit = 1;
    for (const NativeSignal signal : signals) {
        if (signal != kNoSignal && count < 1 + kMostSignals) {
            signalBit[count] = bit;
            events[count++] = signal;
        }
        bit <<= 1;
    }
    Readiness ready;
    ready.socket = watched && ReadyNow(socket, read, write);
    const unsigned set = WaitForEvents(events, count, ready.socket ? 0 : timeoutMs);
    for (DWORD i = 0; i < count; ++i) {
        if ((set & (1u << i)) != 0) {
            ready.socket = ready.socket || signalBit[i] == 0;
            ready.signals |= signalBit[i];
        }
    }
    return ready;
}

const char* NetworkErrorText(int error)
{
    switch (error) {
    case ECONNREFUSED: return "Connection refused";
    case ECONNRESET: return "Connection reset by peer";
    case ECONNABORTED: return "Software caused connection abort";
    case ETIMEDOUT: return "Connection timed out";
    case EHOSTUNREACH: return "No route to host";
    case ENETUNREACH: return "Network is unreachable";
    case EWOULDBLOCK: return "Operation would block";
    case EINPROGRESS: return "Operation now in progress";
    default: return nullptr;
    }
}

}  // namespace

// Started once for the program and left running until it ends.
bool SocketsStarted()
{
    static const bool started = [] {
        WSADATA data{};
        return ::WSAStartup(MAKEWORD(2, 2), &data) == 0;
    }();
    return started;
}

void Socket::Swap(Socket& other) noexcept
{
    std::swap(handle_, other.handle_);
    std::swap(event_, other.event_);
}

bool Socket::IsOpen() const { return handle_ != -1; }

int Socket::Id() const { return static_cast<int>(handle_); }

bool Socket::StartConnect(const std::string& address, std::uint16_t port)
{
    Close();
    addrinfo* found = nullptr;
    if (!LookUpNumeric(address, port, found)) {
        errno = SocketsStarted() ? EINVAL : EIO;
        return false;
    }
    const SOCKET socket = ::WSASocketW(found->ai_family, SOCK_STREAM, IPPROTO_TCP, nullptr, 0,
                                       WSA_FLAG_OVERLAPPED | WSA_FLAG_NO_HANDLE_INHERIT);
    HANDLE event = ::CreateEventW(nullptr, FALSE, FALSE, nullptr);
    // WSAEventSelect also makes the socket non-blocking.
    const bool started = socket != INVALID_SOCKET && event != nullptr &&
                         ::WSAEventSelect(socket, event, kNetworkEvents) == 0 &&
                         (::connect(socket, found->ai_addr, static_cast<int>(found->ai_addrlen)) == 0 ||
                          ::WSAGetLastError() == WSAEWOULDBLOCK);
    const int error = started ? 0 : event == nullptr ? ErrnoFromLastError() : LastSocketErrno();
    ::freeaddrinfo(found);
    if (!started) {
        if (socket != INVALID_SOCKET) {
            ::closesocket(socket);
        }
        if (event != nullptr) {
            ::CloseHandle(event);
        }
        errno = error;
        return false;
    }
    handle_ = static_cast<std::intptr_t>(socket);
    event_ = event;
    return true;
}

int Socket::FinishConnect()
{
    int error = 0;
    int size = sizeof error;
    if (::getsockopt(AsSocket(handle_), SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&error), &size) != 0) {
        return LastSocketErrno();
    }
    if (error != 0) {
        return ErrnoFromSystemError(static_cast<unsigned long>(error));
    }
    const BOOL on = TRUE;
    ::setsockopt(AsSocket(handle_), IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&on), sizeof on);
    return 0;
}

long Socket::Receive(void* buffer, std::size_t size)
{
    const int count = ::recv(AsSocket(handle_), static_cast<char*>(buffer), AtMostInt(size), 0);
    return count == SOCKET_ERROR ? FailWithSocketError() : count;
}

long Socket::Send(const void* bytes, std::size_t size)
{
    const int count = ::send(AsSocket(handle_), static_cast<const char*>(bytes), AtMostInt(size), 0);
    return count == SOCKET_ERROR ? FailWithSocketError() : count;
}

bool Socket::Drained() const { return true; }

void Socket::Close()
{
    if (handle_ != -1) {
        ::closesocket(AsSocket(handle_));
        handle_ = -1;
    }
    if (event_ != nullptr) {
        ::CloseHandle(event_);
        event_ = nullptr;
    }
}

Readiness Socket::Wait(bool read, bool write, std::initializer_list<NativeSignal> signals, int timeoutMs) const
{
    return ::Wait(IsOpen() ? AsSocket(handle_) : INVALID_SOCKET, event_, read, write, signals, timeoutMs);
}

Readiness WaitForSignals(std::initializer_list<NativeSignal> signals, int timeoutMs)
{
    return Wait(INVALID_SOCKET, nullptr, false, false, signals, timeoutMs);
}

std::string SocketErrorText(int error)
{
    const char* text = NetworkErrorText(error);
    return text != nullptr ? text : std::strerror(error);
}
