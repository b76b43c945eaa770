#pragma once

#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QApplication>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "app/SerialDebugDlg.h"
#include "bench/app/BenchSupport.h"
#include "tests/support/Ser2netServer.h"

// What the network measuring tools share: ser2net in front of a pseudo-terminal, a minimal
// client of it (the reference, run as a process of its own), and the window opening the same
// port.

extern char** environ;

// ser2net holds data back to send it in larger pieces unless told not to; both paths compared
// go through the same configuration.
inline constexpr const char* kSer2netOptions = "chardelay: false";

// ser2net in front of the pseudo-terminal, with the options above; ends the program when it
// cannot start.
inline std::unique_ptr<Ser2netServer> StartSer2net(const PseudoTerminal& pty, Ser2netServer::Mode mode)
{
    if (!Ser2netServer::Installed()) {
        std::fprintf(stderr, "ser2net is not installed (scripts/setup-debian.sh installs it)\n");
        std::exit(1);
    }
    auto server = std::make_unique<Ser2netServer>(pty.SlavePath(), mode, kSer2netOptions);
    if (!server->Running()) {
        std::fprintf(stderr, "ser2net did not start: %s\n", server->Log().c_str());
        std::exit(1);
    }
    return server;
}

inline bool IsTelnet(Ser2netServer::Mode mode) { return mode == Ser2netServer::Mode::Rfc2217; }

inline const char* ModeName(Ser2netServer::Mode mode) { return IsTelnet(mode) ? "rfc2217" : "raw tcp"; }

// A plain client of a ser2net port: connects, on a Telnet port asks for 8-bit data both ways
// (and answers nothing else), and hands over the data with the Telnet commands taken out.
class MinimalClient {
public:
    MinimalClient(std::uint16_t port, bool telnet)
    {
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_port = htons(port);
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        fd_ = socket(AF_INET, SOCK_STREAM, 0);
        if (connect(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
            _exit(2);
        }
        if (telnet) {
            Send(std::string("\xFF\xFD\x00\xFF\xFB\x00", 6));  // DO BINARY, WILL BINARY
        }
    }

    void Send(const std::string& bytes) const
    {
        if (write(fd_, bytes.data(), bytes.size()) != static_cast<ssize_t>(bytes.size())) {
            _exit(3);
        }
    }

    // Waits for bytes and appends the data among them; false once the server has gone.
    bool Receive(std::string& data)
    {
        char buffer[65536];
        const ssize_t count = read(fd_, buffer, sizeof buffer);
        for (ssize_t index = 0; index < count; ++index) {
            Take(static_cast<unsigned char>(buffer[index]), data);
        }
        return count > 0;
    }

private:
    enum class State { Data, Command, Option, Sub, SubCommand };

    void Take(unsigned char byte, std::string& data)
    {
        switch (state_) {
        case State::Data:
            state_ = byte == 0xFF ? State::Command : State::Data;
            if (byte != 0xFF) {
                data += static_cast<char>(byte);
            }
            break;
        case State::Command:
            state_ = byte == 0xFA ? State::Sub : byte >= 0xFB && byte <= 0xFE ? State::Option : State::Data;
            if (byte == 0xFF) {
                data += static_cast<char>(byte);
            }
            break;
        case State::Option: state_ = State::Data; break;
        case State::Sub: state_ = byte == 0xFF ? State::SubCommand : State::Sub; break;
        case State::SubCommand: state_ = byte == 0xF0 ? State::Data : State::Sub; break;
        }
    }

    int fd_ = -1;
    State state_ = State::Data;
};

// Starts this program again with `arguments` (a reference client), before any of its threads.
inline pid_t StartHelper(const std::vector<std::string>& arguments)
{
    std::vector<std::string> all{"/proc/self/exe"};
    all.insert(all.end(), arguments.begin(), arguments.end());
    std::vector<char*> argv;
    for (std::string& argument : all) {
        argv.push_back(argument.data());
    }
    argv.push_back(nullptr);
    pid_t pid = -1;
    if (posix_spawn(&pid, "/proc/self/exe", nullptr, nullptr, argv.data(), environ) != 0) {
        throw std::runtime_error("cannot start the reference client");
    }
    return pid;
}

// Reads the device side until `wanted` arrives: the whole way through ser2net is up.
inline bool AwaitOnDevice(int master, char wanted)
{
    char byte = 0;
    pollfd readable{master, POLLIN, 0};
    while (poll(&readable, 1, 10000) > 0 && read(master, &byte, 1) == 1) {
        if (byte == wanted) {
            return true;
        }
    }
    return false;
}

// Waits until the window's port is open and a byte it sends has reached the device side: the
// whole way through ser2net is up.
inline bool WaitUntilOpen(CSerialDebugDlg& window, int master)
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (!window.IsPortOpen() && std::chrono::steady_clock::now() < deadline) {
        QApplication::processEvents(QEventLoop::WaitForMoreEvents, 20);
    }
    if (!window.IsPortOpen()) {
        return false;
    }
    window.SendString("!", 0);
    return AwaitOnDevice(master, '!');
}
