#include "tests/support/Ser2netServer.h"

#include <fcntl.h>
#include <netinet/in.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <thread>
#include <vector>

extern char** environ;

namespace {

constexpr auto kStartPatience = std::chrono::seconds(10);
constexpr auto kStopPatience = std::chrono::seconds(5);

std::string Binary()
{
    for (const char* path : {"/usr/sbin/ser2net", "/usr/bin/ser2net", "/usr/local/sbin/ser2net"}) {
        if (::access(path, X_OK) == 0) {
            return path;
        }
    }
    return {};
}

std::uint16_t FreePort()
{
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address {};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t size = sizeof address;
    std::uint16_t port = 0;
    if (::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &size) == 0) {
        port = ntohs(address.sin_port);
    }
    ::close(fd);
    return port;
}

// Whether something listens on 127.0.0.1 at `port`, from the kernel's table, so that looking
// does not take ser2net's one connection.
bool Listening(std::uint16_t port)
{
    std::ifstream table("/proc/net/tcp");
    std::string line;
    char wanted[32];
    std::snprintf(wanted, sizeof wanted, "0100007F:%04X", port);
    while (std::getline(table, line)) {
        std::istringstream fields(line);
        std::string slot, local, remote, state;
        fields >> slot >> local >> remote >> state;
        if (local == wanted && state == "0A") {
            return true;
        }
    }
    return false;
}

}  // namespace

bool Ser2netServer::Installed() { return !Binary().empty(); }

Ser2netServer::Ser2netServer(const std::string& devicePath, Mode mode, const std::string& extraOptions)
    : mode_(mode), port_(FreePort())
{
    std::string pattern = (std::filesystem::temp_directory_path() / "ser2net-XXXXXX").string();
    directory_ = ::mkdtemp(pattern.data()) != nullptr ? pattern : std::string();
    configPath_ = directory_ + "/ser2net.yaml";
    logPath_ = directory_ + "/ser2net.log";
    const std::string accepter = mode == Mode::Rfc2217 ? "telnet(rfc2217),tcp" : "tcp";
    std::ofstream config(configPath_);
    config << "connection: &device\n"
           << "  accepter: " << accepter << ",127.0.0.1," << port_ << "\n"
           << "  connector: serialdev," << devicePath << ",9600n81,local\n"
           << "  options:\n"
           << "    kickolduser: true\n";
    std::istringstream lines(extraOptions);
    for (std::string line; std::getline(lines, line);) {
        config << "    " << line << "\n";
    }
    config.close();
    Start();
}

Ser2netServer::~Ser2netServer()
{
    Stop();
    std::error_code ignored;
    std::filesystem::remove_all(directory_, ignored);
}

std::uint16_t Ser2netServer::Port() const { return port_; }

std::string Ser2netServer::Url() const
{
    return std::string(mode_ == Mode::Rfc2217 ? "rfc2217" : "tcp") + "://127.0.0.1:" + std::to_string(port_);
}

bool Ser2netServer::Running() const { return pid_ > 0; }

bool Ser2netServer::Start()
{
    const std::string binary = Binary();
    if (pid_ > 0 || binary.empty() || port_ == 0) {
        return pid_ > 0;
    }
    const std::string pidFile = directory_ + "/ser2net.pid";
    std::vector<std::string> arguments = {binary, "-n", "-u", "-c", configPath_, "-P", pidFile};
    std::vector<char*> argv;
    for (std::string& argument : arguments) {
        argv.push_back(argument.data());
    }
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, logPath_.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644);
    posix_spawn_file_actions_adddup2(&actions, STDOUT_FILENO, STDERR_FILENO);
    pid_t pid = -1;
    const int spawned = ::posix_spawn(&pid, binary.c_str(), &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (spawned != 0) {
        return false;
    }
    pid_ = pid;
    const auto deadline = std::chrono::steady_clock::now() + kStartPatience;
    while (!Listening(port_)) {
        int status = 0;
        if (::waitpid(pid_, &status, WNOHANG) == pid_ || std::chrono::steady_clock::now() > deadline) {
            pid_ = -1;
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return true;
}

void Ser2netServer::Stop()
{
    if (pid_ <= 0) {
        return;
    }
    ::kill(pid_, SIGTERM);
    const auto deadline = std::chrono::steady_clock::now() + kStopPatience;
    int status = 0;
    while (::waitpid(pid_, &status, WNOHANG) == 0) {
        if (std::chrono::steady_clock::now() > deadline) {
            ::kill(pid_, SIGKILL);
            ::waitpid(pid_, &status, 0);
            break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    pid_ = -1;
}

std::string Ser2netServer::Log() const
{
    std::ifstream log(logPath_);
    return {std::istreambuf_iterator<char>(log), std::istreambuf_iterator<char>()};
}
