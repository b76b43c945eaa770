#pragma once

#include <cstdint>
#include <string>

// How a network port talks to the server: Telnet with the COM-PORT option (line settings and
// modem lines travel with the data), or a raw TCP stream that carries the data only.
enum class NetworkProtocol { Rfc2217, RawTcp };

// A network port: "rfc2217://HOST:PORT" or "tcp://HOST:PORT".
struct NetworkTarget {
    NetworkProtocol protocol = NetworkProtocol::RawTcp;
    std::string host;  // an IPv4 address, an IPv6 address (without its brackets) or a host name
    std::uint16_t port = 0;

    bool operator==(const NetworkTarget&) const = default;
};

// Whether a resolved port target names a network port ("scheme://...") rather than a device
// path. A path never does: it has no scheme in front of "://".
bool IsNetworkTarget(const std::string& target);

// Parses a network port. The scheme is "rfc2217" or "tcp" in any case; HOST is an IPv4 address,
// an IPv6 address in brackets (a zone after "%" allowed) or a host name; PORT is 1 to 65535,
// and nothing may follow it. On failure `reason` says what is wrong and `parsed` is unchanged.
bool ParseNetworkTarget(const std::string& target, NetworkTarget& parsed, std::string& reason);
