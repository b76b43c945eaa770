#pragma once

#include <fcntl.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

#include <stdexcept>
#include <string>

// A pseudo-terminal pair: the test holds the master side as "the device" and lets the program
// open the slave side through its port map.
class PseudoTerminal {
public:
    PseudoTerminal()
    {
        char name[128];
        if (openpty(&m_master, &m_slave, name, nullptr, nullptr) != 0) {
            throw std::runtime_error("openpty failed");
        }
        m_slavePath = name;
        termios raw{};
        tcgetattr(m_slave, &raw);
        cfmakeraw(&raw);
        tcsetattr(m_slave, TCSANOW, &raw);
        // The program opens the slave by its path; the test's own slave descriptor keeps the pair
        // alive but must not hold the exclusive lock or read the data.
        fcntl(m_master, F_SETFL, fcntl(m_master, F_GETFL) | O_NONBLOCK);
    }
    ~PseudoTerminal()
    {
        CloseSlave();
        if (m_master >= 0) {
            close(m_master);
        }
    }
    PseudoTerminal(const PseudoTerminal&) = delete;
    PseudoTerminal& operator=(const PseudoTerminal&) = delete;

    const std::string& SlavePath() const { return m_slavePath; }
    int Master() const { return m_master; }

    void CloseSlave()
    {
        if (m_slave >= 0) {
            close(m_slave);
            m_slave = -1;
        }
    }

    // The device goes away, as an unplugged adapter does.
    void CloseMaster()
    {
        if (m_master >= 0) {
            close(m_master);
            m_master = -1;
        }
    }

    void Write(const std::string& bytes) const
    {
        std::size_t done = 0;
        while (done < bytes.size()) {
            const ssize_t n = write(m_master, bytes.data() + done, bytes.size() - done);
            if (n > 0) {
                done += static_cast<std::size_t>(n);
            }
        }
    }

    // Whatever has arrived on the device side so far.
    std::string ReadAvailable() const
    {
        std::string result;
        char buffer[4096];
        for (;;) {
            const ssize_t n = read(m_master, buffer, sizeof buffer);
            if (n <= 0) {
                return result;
            }
            result.append(buffer, static_cast<std::size_t>(n));
        }
    }

private:
    int m_master = -1;
    int m_slave = -1;
    std::string m_slavePath;
};
