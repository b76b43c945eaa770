#include "platform/TcpConnector.h"

#include <cerrno>
#include <memory>
#include <mutex>
#include <system_error>
#include <thread>

namespace {

using Clock = std::chrono::steady_clock;

// What a resolving thread hands back; whichever of it and the caller lets go last frees it.
struct Resolution {
    std::mutex mutex;
    ResolveStatus status = ResolveStatus::Failed;
    std::vector<std::string> addresses;
    Signal done;
};

std::string HostAndPort(const std::string& host, std::uint16_t port)
{
    const bool ipv6 = host.find(':') != std::string::npos;
    return (ipv6 ? "[" + host + "]" : host) + ":" + std::to_string(port);
}

ConnectResult Failure(NetworkFailure failure, std::string reason)
{
    ConnectResult result;
    result.failure = failure;
    result.reason = std::move(reason);
    return result;
}

ConnectResult SystemFailure(const std::string& what)
{
    return Failure(NetworkFailure::System, what + ": " + SocketErrorText(errno));
}

NetworkFailure FailureOfConnect(int error)
{
    switch (error) {
    case ECONNREFUSED: return NetworkFailure::Refused;
    case ETIMEDOUT: return NetworkFailure::TimedOut;
    case ENETUNREACH: case EHOSTUNREACH: case ENETDOWN: return NetworkFailure::Unreachable;
#ifdef EHOSTDOWN
    case EHOSTDOWN: return NetworkFailure::Unreachable;
#endif
    default: return NetworkFailure::System;
    }
}

std::string DescribeConnectFailure(NetworkFailure failure, int error, const std::string& where)
{
    switch (failure) {
    case NetworkFailure::Refused: return where + " refused the connection (nothing listens there)";
    case NetworkFailure::TimedOut: return where + " did not answer in time";
    case NetworkFailure::Unreachable: return where + " cannot be reached: " + SocketErrorText(error);
    default: return "connecting to " + where + " failed: " + SocketErrorText(error);
    }
}

int MillisecondsUntil(Clock::time_point deadline)
{
    const auto remaining = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now());
    return remaining.count() > 0 ? static_cast<int>(remaining.count()) : 0;
}

}  // namespace

TcpConnector::TcpConnector(NameResolver resolver) : resolver_(std::move(resolver)) {}

TcpConnector::~TcpConnector() = default;

void TcpConnector::Cancel()
{
    cancelled_ = true;
    cancel_.Raise();
}

void TcpConnector::Reset()
{
    cancelled_ = false;
    cancel_.Lower();
}

bool TcpConnector::Cancelled() const { return cancelled_; }

NativeSignal TcpConnector::CancelSignal() const { return cancel_.Native(); }

int TcpConnector::WaitFor(const Socket& socket, NativeSignal signal, Clock::time_point deadline) const
{
    while (!cancelled_) {
        const int left = MillisecondsUntil(deadline);
        const Readiness ready = socket.Wait(false, true, {cancel_.Native(), signal}, left);
        if ((ready.signals & 1u) != 0) {
            break;
        }
        if (ready.socket || (ready.signals & 2u) != 0) {
            return 1;
        }
        if (left == 0) {
            return 0;
        }
    }
    return -1;
}

ConnectResult TcpConnector::Resolve(const std::string& host, std::vector<std::string>& addresses,
                                    Clock::time_point deadline)
{
    if (IsNumericAddress(host)) {
        addresses.push_back(host);
        return {};
    }
    auto resolution = std::make_shared<Resolution>();
    if (!resolution->done.Valid()) {
        return SystemFailure("resolving " + host);
    }
    try {
        std::thread([resolution, resolver = resolver_, host] {
            std::vector<std::string> found;
            const ResolveStatus status = resolver(host, found);
            std::lock_guard lock(resolution->mutex);
            resolution->status = status;
            resolution->addresses = std::move(found);
            resolution->done.Raise();
        }).detach();
    } catch (const std::system_error&) {
        return SystemFailure("resolving " + host);
    }
    const int ready = WaitFor(Socket(), resolution->done.Native(), deadline);
    if (ready < 0) {
        return Failure(NetworkFailure::Cancelled, "cancelled");
    }
    if (ready == 0) {
        return Failure(NetworkFailure::TimedOut, "resolving the name \"" + host + "\" took too long");
    }
    std::lock_guard lock(resolution->mutex);
    if (resolution->status == ResolveStatus::Failed) {
        return Failure(NetworkFailure::NameNotResolved, "the name \"" + host + "\" could not be resolved");
    }
    if (resolution->status == ResolveStatus::NotFound || resolution->addresses.empty()) {
        return Failure(NetworkFailure::NameNotResolved, "the name \"" + host + "\" does not resolve");
    }
    addresses = resolution->addresses;
    return {};
}

ConnectResult TcpConnector::Connect(const std::string& host, std::uint16_t port, Clock::time_point deadline)
{
    if (!cancel_.Valid()) {
        return Failure(NetworkFailure::System, "no signal to cancel connecting with");
    }
    if (cancelled_) {
        return Failure(NetworkFailure::Cancelled, "cancelled");
    }
    std::vector<std::string> addresses;
    if (ConnectResult resolved = Resolve(host, addresses, deadline); resolved.failure != NetworkFailure::None) {
        return resolved;
    }
    const std::string where = HostAndPort(host, port);
    ConnectResult result = Failure(NetworkFailure::NameNotResolved, "the name \"" + host + "\" does not resolve");
    for (const std::string& address : addresses) {
        Socket socket;
        if (!socket.StartConnect(address, port)) {
            const int error = errno;
            if (error != EINVAL) {
                result = Failure(FailureOfConnect(error), DescribeConnectFailure(FailureOfConnect(error), error, where));
            }
            continue;
        }
        const int ready = WaitFor(socket, kNoSignal, deadline);
        const int error = ready > 0 ? socket.FinishConnect() : 0;
        if (ready > 0 && error == 0) {
            result = {};
            result.socket = std::move(socket);
            return result;
        }
        if (ready < 0) {
            return Failure(NetworkFailure::Cancelled, "cancelled");
        }
        if (ready == 0) {
            return Failure(NetworkFailure::TimedOut, DescribeConnectFailure(NetworkFailure::TimedOut, ETIMEDOUT, where));
        }
        result = Failure(FailureOfConnect(error), DescribeConnectFailure(FailureOfConnect(error), error, where));
    }
    return result;
}
