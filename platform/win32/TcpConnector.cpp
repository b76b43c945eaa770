#include "platform/TcpConnector.h"

#include <cerrno>

// Network ports are not available in the Windows build yet: every connection fails at once,
// saying so.

ResolveStatus ResolveWithSystem(const std::string&, std::vector<std::string>&) { return ResolveStatus::Failed; }

TcpConnector::TcpConnector(NameResolver resolver) : resolver_(std::move(resolver)) {}

TcpConnector::~TcpConnector() = default;

ConnectResult TcpConnector::Connect(const std::string& host, std::uint16_t port, std::chrono::steady_clock::time_point)
{
    ConnectResult result;
    result.failure = cancelled_ ? NetworkFailure::Cancelled : NetworkFailure::System;
    result.reason = host + ":" + std::to_string(port) + ": network ports are not available on this system";
    errno = ENOTSUP;
    return result;
}

void TcpConnector::Cancel() { cancelled_ = true; }

void TcpConnector::Reset() { cancelled_ = false; }

bool TcpConnector::Cancelled() const { return cancelled_; }

int TcpConnector::CancelDescriptor() const { return cancelFd_; }
