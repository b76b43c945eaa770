#include "platform/TcpConnector.h"

#include <cerrno>
#include <cstring>
#include <memory>
#include <mutex>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <system_error>
#include <thread>
#include <unistd.h>

namespace {

using Clock = std::chrono::steady_clock;

// What a resolving thread hands back; whichever of it and the caller lets go last frees it.
struct Resolution {
    std::mutex mutex;
    ResolveStatus status = ResolveStatus::Failed;
    std::vector<std::string> addresses;
    int doneFd = -1;

    ~Resolution()
    {
        if (doneFd >= 0) {
            ::close(doneFd);
        }
    }
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
    return Failure(NetworkFailure::System, what + ": " + std::strerror(errno));
}

// Looks an address up without ever asking a name server.
bool LookUpNumeric(const std::string& host, std::uint16_t port, addrinfo*& found)
{
    addrinfo hints {};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = AI_NUMERICHOST | AI_NUMERICSERV;
    return ::getaddrinfo(host.c_str(), std::to_string(port).c_str(), &hints, &found) == 0;
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

NetworkFailure FailureOfConnect(int error)
{
    switch (error) {
    case ECONNREFUSED: return NetworkFailure::Refused;
    case ETIMEDOUT: return NetworkFailure::TimedOut;
    case ENETUNREACH: case EHOSTUNREACH: case ENETDOWN: case EHOSTDOWN: return NetworkFailure::Unreachable;
    default: return NetworkFailure::System;
    }
}

std::string DescribeConnectFailure(NetworkFailure failure, int error, const std::string& where)
{
    switch (failure) {
    case NetworkFailure::Refused: return where + " refused the connection (nothing listens there)";
    case NetworkFailure::TimedOut: return where + " did not answer in time";
    case NetworkFailure::Unreachable: return where + " cannot be reached: " + std::strerror(error);
    default: return "connecting to " + where + " failed: " + std::strerror(error);
    }
}

}  // namespace

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

TcpConnector::TcpConnector(NameResolver resolver)
    : resolver_(std::move(resolver)), cancelFd_(::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC))
{
}

TcpConnector::~TcpConnector()
{
    if (cancelFd_ >= 0) {
        ::close(cancelFd_);
    }
}

void TcpConnector::Cancel()
{
    cancelled_ = true;
    const std::uint64_t one = 1;
    [[maybe_unused]] const ssize_t written = ::write(cancelFd_, &one, sizeof one);
}

void TcpConnector::Reset()
{
    cancelled_ = false;
    std::uint64_t count = 0;
    [[maybe_unused]] const ssize_t got = ::read(cancelFd_, &count, sizeof count);
}

bool TcpConnector::Cancelled() const { return cancelled_; }

int TcpConnector::CancelDescriptor() const { return cancelFd_; }

int TcpConnector::WaitFor(int descriptor, short events, Clock::time_point deadline) const
{
    while (!cancelled_) {
        const auto remaining = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now());
        pollfd descriptors[2] = {{descriptor, events, 0}, {cancelFd_, POLLIN, 0}};
        const int ready = ::poll(descriptors, 2, remaining.count() > 0 ? static_cast<int>(remaining.count()) : 0);
        if (ready < 0 && errno != EINTR) {
            return 0;
        }
        if (descriptors[1].revents != 0) {
            break;
        }
        if (descriptors[0].revents != 0) {
            return descriptors[0].revents;
        }
        if (ready == 0 && Clock::now() >= deadline) {
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
    resolution->doneFd = ::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    if (resolution->doneFd < 0) {
        return SystemFailure("resolving " + host);
    }
    try {
        std::thread([resolution, resolver = resolver_, host] {
            std::vector<std::string> found;
            const ResolveStatus status = resolver(host, found);
            std::lock_guard lock(resolution->mutex);
            resolution->status = status;
            resolution->addresses = std::move(found);
            const std::uint64_t one = 1;
            [[maybe_unused]] const ssize_t written = ::write(resolution->doneFd, &one, sizeof one);
        }).detach();
    } catch (const std::system_error&) {
        return SystemFailure("resolving " + host);
    }
    const int ready = WaitFor(resolution->doneFd, POLLIN, deadline);
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
    if (cancelFd_ < 0) {
        return Failure(NetworkFailure::System, "no descriptor to cancel connecting with");
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
        addrinfo* found = nullptr;
        if (!LookUpNumeric(address, port, found)) {
            continue;
        }
        const int fd = ::socket(found->ai_family, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
        const bool started = fd >= 0 && (::connect(fd, found->ai_addr, found->ai_addrlen) == 0 || errno == EINPROGRESS);
        ::freeaddrinfo(found);
        if (!started) {
            const int error = errno;
            if (fd >= 0) {
                ::close(fd);
            }
            result = Failure(FailureOfConnect(error), DescribeConnectFailure(FailureOfConnect(error), error, where));
            continue;
        }
        const int ready = WaitFor(fd, POLLOUT, deadline);
        int error = 0;
        socklen_t size = sizeof error;
        if (ready > 0 && ::getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &size) == 0 && error == 0) {
            const int on = 1;
            ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
            result = {};
            result.descriptor = fd;
            return result;
        }
        ::close(fd);
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
