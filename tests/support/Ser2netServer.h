#pragma once

#include <sys/types.h>

#include <cstdint>
#include <string>

// ser2net, the serial-to-network server, run by a test on 127.0.0.1 at a free port with a
// generated configuration that connects that port to one device (a pseudo-terminal's slave).
// ser2net opens the device when a client connects and closes it when the client goes.
class Ser2netServer {
public:
    enum class Mode { Rfc2217, Raw };

    // Whether ser2net is installed (scripts/setup-debian.sh installs it).
    static bool Installed();

    // Starts ser2net; Running() says whether it came up. `extraOptions` are more lines for
    // the connection's "options:" block, each "name: value".
    Ser2netServer(const std::string& devicePath, Mode mode, const std::string& extraOptions = "");
    ~Ser2netServer();
    Ser2netServer(const Ser2netServer&) = delete;
    Ser2netServer& operator=(const Ser2netServer&) = delete;

    std::uint16_t Port() const;
    // "rfc2217://127.0.0.1:PORT" or "tcp://127.0.0.1:PORT".
    std::string Url() const;
    bool Running() const;

    // Starts it again on the same port after Stop; true once it listens.
    bool Start();
    // Ends it (SIGTERM, then SIGKILL if it lingers); its connections close.
    void Stop();
    // What ser2net printed, for a failing test's message.
    std::string Log() const;

private:
    std::string directory_;
    std::string configPath_;
    std::string logPath_;
    Mode mode_;
    std::uint16_t port_ = 0;
    pid_t pid_ = -1;
};
