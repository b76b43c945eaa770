#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "platform/Signal.h"
#include "platform/Socket.h"

// Why a network port could not be opened.
enum class NetworkFailure {
    None,
    BadTarget,        // the address is not a network port this program can open
    NameNotResolved,  // the host name does not resolve
    Refused,          // nothing listens at the port
    TimedOut,         // no answer in time (resolving, connecting or negotiating)
    Unreachable,      // no route to the host, or the network is down
    Closed,           // the server closed the connection while it was being set up
    NoTelnet,         // the server gave no Telnet answer on an rfc2217:// address
    BinaryRefused,    // the server refused 8-bit data (Telnet BINARY)
    Cancelled,        // CancelOpen or Cancel from another thread
    System,           // the system refused a socket, a thread or a descriptor
};

enum class ResolveStatus { Resolved, NotFound, Failed };

// Turns a host name into numeric addresses ("192.0.2.7", "2001:db8::1"). It may block for as
// long as the system's resolver takes; the connector runs it on a thread of its own.
using NameResolver = std::function<ResolveStatus(const std::string& host, std::vector<std::string>& addresses)>;

// The system's resolver (getaddrinfo).
ResolveStatus ResolveWithSystem(const std::string& host, std::vector<std::string>& addresses);

struct ConnectResult {
    Socket socket;        // connected, when the failure is None
    NetworkFailure failure = NetworkFailure::None;
    std::string reason;   // what went wrong, for the user
};

// Opens TCP connections without blocking beyond a deadline: name resolution runs on a thread
// of its own whose result is picked up (a resolver that hangs is left behind, never waited
// for), connecting is non-blocking, and every wait also watches a cancel signal, so
// Cancel from any thread ends a Connect at once.
class TcpConnector {
public:
    explicit TcpConnector(NameResolver resolver = ResolveWithSystem);
    ~TcpConnector();
    TcpConnector(const TcpConnector&) = delete;
    TcpConnector& operator=(const TcpConnector&) = delete;

    // Connects to host:port (IPv4 and IPv6 addresses are tried in the resolver's order) by the
    // deadline. Blocks the calling thread until then at most.
    ConnectResult Connect(const std::string& host, std::uint16_t port, std::chrono::steady_clock::time_point deadline);

    // Makes a Connect in progress, and every later one, fail as cancelled until Reset.
    // Callable from any thread.
    void Cancel();
    void Reset();
    bool Cancelled() const;
    // Raised while cancelled, for callers that wait on more than the connection.
    NativeSignal CancelSignal() const;

private:
    ConnectResult Resolve(const std::string& host, std::vector<std::string>& addresses,
                          std::chrono::steady_clock::time_point deadline);
    // Waits until `socket` is connected or has failed (when open) or `signal` is raised:
    // 1 then, 0 on time-out, -1 when cancelled.
    int WaitFor(const Socket& socket, NativeSignal signal, std::chrono::steady_clock::time_point deadline) const;

    NameResolver resolver_;
    Signal cancel_;
    std::atomic<bool> cancelled_{false};
};
