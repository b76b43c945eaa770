#pragma once

// The device side of a Windows test's COM port: the orders of tests/windows/far_side.py, which
// holds the pseudo-terminal that scripts/windows/test.sh maps the port to.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <memory>
#include <sstream>
#include <string>

// After the project's headers, whose port-event names <windows.h> defines as macros of the same
// values.
#include "tests/support/TestSockets.h"

namespace far_side {

using namespace std::chrono_literals;

inline std::string Hex(const std::string& bytes)
{
    static const char digits[] = "0123456789abcdef";
    std::string hex;
    for (const unsigned char byte : bytes) {
        hex += digits[byte >> 4];
        hex += digits[byte & 0xF];
    }
    return hex;
}

inline std::string Unhex(const std::string& hex)
{
    std::string bytes;
    for (std::size_t index = 0; index + 1 < hex.size(); index += 2) {
        bytes += static_cast<char>(std::stoi(hex.substr(index, 2), nullptr, 16));
    }
    return bytes;
}

// The orders of far_side.py, over one TCP connection.
class FarSide {
public:
    explicit FarSide(int port) : socket_(test_sockets::ConnectToLoopback(static_cast<std::uint16_t>(port))) {}
    ~FarSide() { test_sockets::Close(socket_); }
    FarSide(const FarSide&) = delete;
    FarSide& operator=(const FarSide&) = delete;

    bool Connected() const { return socket_ != test_sockets::kNone; }

    // The answer line to an order, without its line end; "" when the connection failed.
    std::string Ask(const std::string& order)
    {
        const std::string line = order + "\n";
        if (::send(socket_, line.data(), static_cast<int>(line.size()), 0) != static_cast<int>(line.size())) {
            return {};
        }
        std::string answer;
        char byte = 0;
        while (::recv(socket_, &byte, 1, 0) == 1 && byte != '\n') {
            answer += byte;
        }
        return answer;
    }

    bool Write(const std::string& bytes) { return Ask("WRITE " + Hex(bytes)) == "OK"; }

    std::string Read(std::size_t count, std::chrono::milliseconds within = 10s)
    {
        const std::string answer = Ask("READ " + std::to_string(count) + " " + std::to_string(within.count()));
        return answer.starts_with("DATA ") ? Unhex(answer.substr(5)) : std::string();
    }

    struct Termios {
        unsigned speed = 0, cflag = 0, iflag = 0;
    };
    Termios Settings()
    {
        std::istringstream answer(Ask("TERMIOS"));
        std::string word;
        Termios termios;
        answer >> word >> termios.speed >> termios.cflag >> termios.iflag;
        return termios;
    }

private:
    test_sockets::Handle socket_;
};

inline std::string Environment(const char* name)
{
    const char* value = std::getenv(name);
    return value != nullptr ? value : "";
}

// A test against the COM port that test.sh maps to the far side: skipped when run without it;
// otherwise connected to the far side, with what an earlier test left there read away.
class FarSideTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (port.empty() || farSidePort.empty()) {
            GTEST_SKIP() << "SERIALDEBUG_TEST_COM and SERIALDEBUG_FAR_SIDE_PORT are unset "
                            "(scripts/windows/test.sh sets them)";
        }
        farSide = std::make_unique<FarSide>(std::stoi(farSidePort));
        ASSERT_TRUE(farSide->Connected());
        farSide->Read(65536, 50ms);
    }

    int PortNumber() const { return std::stoi(port.substr(3)); }

    const std::string port = Environment("SERIALDEBUG_TEST_COM");
    const std::string farSidePort = Environment("SERIALDEBUG_FAR_SIDE_PORT");
    std::unique_ptr<FarSide> farSide;
};

}  // namespace far_side
