#pragma once

// The system's socket headers, for the socket code of platform/ alone.
#include <cstdint>
#include <string>

#ifdef _WIN32
// clang-format off
#include <winsock2.h>
#include <ws2tcpip.h>
// clang-format on
#else
#include <netdb.h>
#include <sys/socket.h>
#endif

// Whether sockets may be used: Winsock is started once for the program (on Linux always true).
bool SocketsStarted();

// Looks an address up without ever asking a name server; free `found` with freeaddrinfo.
bool LookUpNumeric(const std::string& host, std::uint16_t port, addrinfo*& found);
