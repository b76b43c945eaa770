#include "platform/Socket.h"

#include <utility>

#include "platform/SocketSystem.h"
#include "platform/TcpConnector.h"

// What the sockets of both systems share; the rest is in posix/ and win32/.

Socket::~Socket() { Close(); }

Socket::Socket(Socket&& other) noexcept { Swap(other); }

Socket& Socket::operator=(Socket&& other) noexcept
{
    Socket taken(std::move(other));
    Swap(taken);
    return *this;
}

bool LookUpNumeric(const std::string& host, std::uint16_t port, addrinfo*& found)
{
    addrinfo hints {};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = AI_NUMERICHOST | AI_NUMERICSERV;
    return SocketsStarted() && ::getaddrinfo(host.c_str(), std::to_string(port).c_str(), &hints, &found) == 0;
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

ResolveStatus ResolveWithSystem(const std::string& host, std::vector<std::string>& addresses)
{
    if (!SocketsStarted()) {
        return ResolveStatus::Failed;
    }
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
        if (::getnameinfo(entry->ai_addr, static_cast<socklen_t>(entry->ai_addrlen), text, sizeof text, nullptr, 0,
                          NI_NUMERICHOST) == 0) {
            addresses.emplace_back(text);
        }
    }
    ::freeaddrinfo(found);
    return addresses.empty() ? ResolveStatus::NotFound : ResolveStatus::Resolved;
}
