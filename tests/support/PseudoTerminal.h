#pragma once

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <stdexcept>
#include <string>
#include <thread>

// A pseudo-terminal pair standing in for a serial device: the test or benchmark holds the
// master side as "the device" and lets the program open the slave side by its path (through
// the port map). The pair also keeps a slave descriptor of its own, so it survives the program
// closing and reopening the slave, and the slave's input queue can be looked at.
class PseudoTerminal {
public:
    enum class DeviceSide { NonBlocking, Blocking };

    explicit PseudoTerminal(DeviceSide mode = DeviceSide::NonBlocking)
    {
        char name[256] = {};
        if (::openpty(&m_master, &m_slave, name, nullptr, nullptr) != 0) {
            throw std::runtime_error("openpty failed");
        }
        m_slavePath = name;
        termios raw{};
        ::tcgetattr(m_slave, &raw);
        ::cfmakeraw(&raw);
        ::tcsetattr(m_slave, TCSANOW, &raw);
        if (mode == DeviceSide::NonBlocking) {
            ::fcntl(m_master, F_SETFL, ::fcntl(m_master, F_GETFL) | O_NONBLOCK);
        }
        ::fcntl(m_master, F_SETFD, FD_CLOEXEC);
        ::fcntl(m_slave, F_SETFD, FD_CLOEXEC);
    }
    ~PseudoTerminal() { Vanish(); }
    PseudoTerminal(const PseudoTerminal&) = delete;
    PseudoTerminal& operator=(const PseudoTerminal&) = delete;

    const std::string& SlavePath() const { return m_slavePath; }
    int Master() const { return m_master; }
    int Slave() const { return m_slave; }

    // Writes all of `bytes` on the device side, waiting for room as needed.
    void Write(const std::string& bytes) const
    {
        std::size_t written = 0;
        while (written < bytes.size()) {
            const ssize_t count = ::write(m_master, bytes.data() + written, bytes.size() - written);
            if (count > 0) {
                written += static_cast<std::size_t>(count);
            } else if (count < 0 && errno != EAGAIN && errno != EINTR) {
                throw std::runtime_error("write to the device side failed");
            } else {
                pollfd descriptor{m_master, POLLOUT, 0};
                ::poll(&descriptor, 1, 100);
            }
        }
    }

    // Whatever the program has sent to the device so far.
    std::string ReadAvailable() const
    {
        std::string result;
        char buffer[4096];
        for (pollfd descriptor{m_master, POLLIN, 0}; ::poll(&descriptor, 1, 0) > 0;) {
            const ssize_t count = ::read(m_master, buffer, sizeof buffer);
            if (count <= 0) {
                break;
            }
            result.append(buffer, static_cast<std::size_t>(count));
        }
        return result;
    }

    // At most `atMost` bytes the program sent, waiting up to `timeout` for the first.
    std::string Read(std::size_t atMost, std::chrono::milliseconds timeout) const
    {
        pollfd descriptor{m_master, POLLIN, 0};
        if (::poll(&descriptor, 1, static_cast<int>(timeout.count())) <= 0) {
            return {};
        }
        std::string bytes(atMost, '\0');
        const ssize_t count = ::read(m_master, bytes.data(), atMost);
        bytes.resize(count > 0 ? static_cast<std::size_t>(count) : 0);
        return bytes;
    }

    // Bytes waiting for the program to read them.
    std::size_t QueuedForProgram() const
    {
        int count = 0;
        return ::ioctl(m_slave, FIONREAD, &count) == 0 && count > 0 ? static_cast<std::size_t>(count) : 0;
    }

    // Waits until at least `count` bytes wait for the program; false after ten seconds.
    bool WaitQueuedForProgram(std::size_t count) const
    {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        while (QueuedForProgram() < count) {
            if (std::chrono::steady_clock::now() > deadline) {
                return false;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        return true;
    }

    // Fills the way from the program to the device until it takes no more, as a device that
    // stopped reading would; returns the bytes it took.
    std::size_t StopReading() const
    {
        const int flags = ::fcntl(m_slave, F_GETFL);
        ::fcntl(m_slave, F_SETFL, flags | O_NONBLOCK);
        const std::string filler(4096, 'f');
        std::size_t total = 0;
        // The pty moves written bytes on to the master side in the background, which makes room
        // again for a moment: fill until the room stays gone.
        for (std::size_t taken = 1; taken > 0;) {
            taken = 0;
            for (ssize_t count; (count = ::write(m_slave, filler.data(), filler.size())) > 0;) {
                taken += static_cast<std::size_t>(count);
            }
            total += taken;
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        ::fcntl(m_slave, F_SETFL, flags);
        return total;
    }

    void CloseSlave() { CloseDescriptor(m_slave); }

    // The device goes away, as an unplugged adapter does: the program's side hangs up.
    void CloseMaster() { CloseDescriptor(m_master); }

    // Both ends this pair holds are closed.
    void Vanish()
    {
        CloseSlave();
        CloseMaster();
    }

private:
    static void CloseDescriptor(int& descriptor)
    {
        if (descriptor >= 0) {
            ::close(descriptor);
            descriptor = -1;
        }
    }

    int m_master = -1;
    int m_slave = -1;
    std::string m_slavePath;
};
