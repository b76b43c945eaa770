#pragma once

#include <poll.h>
#include <unistd.h>

#include <cerrno>

#include "tests/platform/DeviceIo.h"

// The far side of a device that is a descriptor here: a pseudo-terminal's master, a socket.
namespace device_io {

// The far side of a pseudo-terminal: reads until `count` bytes came or the time-out.
inline std::string ReadDescriptor(int fd, std::size_t count, std::chrono::milliseconds timeout = 10s)
{
    std::string got;
    const auto deadline = Clock::now() + timeout;
    while (got.size() < count && Clock::now() < deadline) {
        pollfd descriptor{fd, POLLIN, 0};
        if (::poll(&descriptor, 1, 50) <= 0) {
            continue;
        }
        char buffer[4096];
        const ssize_t read = ::read(fd, buffer, std::min(sizeof buffer, count - got.size()));
        if (read > 0) {
            got.append(buffer, static_cast<std::size_t>(read));
        } else if (read == 0 || (errno != EAGAIN && errno != EINTR)) {
            break;
        }
    }
    return got;
}

inline bool WriteDescriptor(int fd, const std::string& bytes, std::chrono::milliseconds timeout = 10s)
{
    std::size_t written = 0;
    const auto deadline = Clock::now() + timeout;
    while (written < bytes.size() && Clock::now() < deadline) {
        const ssize_t count = ::write(fd, bytes.data() + written, bytes.size() - written);
        if (count > 0) {
            written += static_cast<std::size_t>(count);
        } else if (count < 0 && errno != EAGAIN && errno != EINTR) {
            return false;
        } else {
            pollfd descriptor{fd, POLLOUT, 0};
            ::poll(&descriptor, 1, 50);
        }
    }
    return written == bytes.size();
}

}  // namespace device_io
