#pragma once

#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <string>

#include "platform/Signal.h"

// What ended a Socket::Wait.
struct Readiness {
    bool socket = false;   // the socket may be ready for what was asked (or has failed or closed)
    unsigned signals = 0;  // bit i: the i-th signal of the wait is raised
};

// A TCP connection that never blocks, for the network device and its connector. Reads,
// writes and waits may run on different threads at once; Close must not run while another
// thread uses the socket. Failures set errno (EAGAIN or EWOULDBLOCK: not now).
class Socket {
public:
    Socket() = default;
    ~Socket();
    Socket(Socket&& other) noexcept;
    Socket& operator=(Socket&& other) noexcept;
    Socket(const Socket&) = delete;
    Socket& operator=(const Socket&) = delete;

    bool IsOpen() const;
    // A number naming the socket in traces; -1 when closed.
    int Id() const;
    // Starts connecting to a numeric IPv4 or IPv6 address; false when the system refuses at
    // once. The connection is made once a wait for writing ends: see FinishConnect.
    bool StartConnect(const std::string& address, std::uint16_t port);
    // 0 when connected (small writes then go out at once), else why not (an errno value).
    int FinishConnect();
    // Bytes read; 0 when the far side closed; -1 on failure.
    long Receive(void* buffer, std::size_t size);
    // Bytes taken; -1 on failure.
    long Send(const void* bytes, std::size_t size);
    // Whether every byte taken has left, as far as the system tells: Linux counts the bytes
    // not yet acknowledged; Windows tells nothing, so what it has taken counts as sent.
    bool Drained() const;
    void Close();

    // Waits until the socket can be read or written (as asked; neither asked, or a closed
    // socket, is not watched), a signal of `signals` (kNoSignal entries are skipped) is raised,
    // or `timeoutMs` passed (-1: no limit). Signals are not lowered. A wake-up of the socket
    // may reach only one of several threads waiting on it.
    Readiness Wait(bool read, bool write, std::initializer_list<NativeSignal> signals, int timeoutMs) const;

private:
    void Swap(Socket& other) noexcept;

    std::intptr_t handle_ = -1;
#ifdef _WIN32
    void* event_ = nullptr;  // set by the socket's network events
#endif
};

// Waits for signals only; as Socket::Wait.
Readiness WaitForSignals(std::initializer_list<NativeSignal> signals, int timeoutMs);
// Whether `host` is a numeric IPv4 or IPv6 address (no name server is asked).
bool IsNumericAddress(const std::string& host);
// What an errno value of a socket call means, in English.
std::string SocketErrorText(int error);
