#include "platform/SerialDevice.h"

// termios2 and BOTHER come from the kernel's headers, which cannot be mixed with <termios.h>.
#include <asm/termbits.h>
#include <cerrno>
#include <csignal>
#include <cstdint>
#include <cstdlib>
#include <fcntl.h>
#include <linux/serial.h>
#include <poll.h>
#include <pthread.h>
#include <sys/eventfd.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <system_error>
#include <unistd.h>

namespace {

constexpr int kLinePollPeriodMs = 20;
constexpr int kModemLineBits = TIOCM_CTS | TIOCM_DSR | TIOCM_CD | TIOCM_RNG;
constexpr unsigned kModemLineEvents = EV_CTS | EV_DSR | EV_RLSD | EV_RING;
constexpr unsigned kLineErrorEvents = EV_BREAK | EV_ERR;

bool ReadTermios(int fd, termios2& settings) { return ::ioctl(fd, TCGETS2, &settings) == 0; }
bool WriteTermios(int fd, const termios2& settings) { return ::ioctl(fd, TCSETS2, &settings) == 0; }

void MakeRaw(termios2& settings)
{
    settings.c_iflag &= ~static_cast<tcflag_t>(IGNBRK | BRKINT | PARMRK | ISTRIP | INLCR | IGNCR | ICRNL | IXON | IXOFF | IXANY);
    settings.c_oflag &= ~static_cast<tcflag_t>(OPOST);
    settings.c_lflag &= ~static_cast<tcflag_t>(ECHO | ECHONL | ICANON | ISIG | IEXTEN);
    settings.c_cflag |= CREAD | CLOCAL;
    settings.c_cc[VMIN] = 1;
    settings.c_cc[VTIME] = 0;
}

tcflag_t DataBitsFlag(int dataBits)
{
    switch (dataBits) {
    case 5: return CS5;
    case 6: return CS6;
    case 7: return CS7;
    default: return CS8;
    }
}

int DataBitsOf(tcflag_t flags)
{
    switch (flags & CSIZE) {
    case CS5: return 5;
    case CS6: return 6;
    case CS7: return 7;
    default: return 8;
    }
}

Parity ParityOf(tcflag_t flags)
{
    if ((flags & PARENB) == 0) {
        return Parity::None;
    }
    const bool odd = (flags & PARODD) != 0;
    if ((flags & CMSPAR) != 0) {
        return odd ? Parity::Mark : Parity::Space;
    }
    return odd ? Parity::Odd : Parity::Even;
}

tcflag_t ParityFlags(Parity parity)
{
    switch (parity) {
    case Parity::None: return 0;
    case Parity::Odd: return PARENB | PARODD;
    case Parity::Even: return PARENB;
    case Parity::Mark: return PARENB | PARODD | CMSPAR;
    case Parity::Space: return PARENB | CMSPAR;
    }
    return 0;
}

void EncodeSettings(const LineSettings& line, termios2& settings)
{
    settings.c_cflag &= ~static_cast<tcflag_t>(CBAUD | (CBAUD << IBSHIFT) | CSIZE | CSTOPB | PARENB | PARODD | CMSPAR | CRTSCTS);
    settings.c_cflag |= BOTHER | (BOTHER << IBSHIFT) | DataBitsFlag(line.dataBits) | ParityFlags(line.parity);
    settings.c_ispeed = line.baudRate;
    settings.c_ospeed = line.baudRate;
    if (line.stopBits != StopBits::One) {
        settings.c_cflag |= CSTOPB;  // with 5 data bits the UART sends 1.5 stop bits
    }
    if (line.ctsHandshake || line.rts == LineControl::Handshake) {
        settings.c_cflag |= CRTSCTS;
    }
    settings.c_iflag &= ~static_cast<tcflag_t>(IXON | IXOFF | INPCK);
    if (line.xonXoff) {
        settings.c_iflag |= IXON | IXOFF;
    }
    if (line.parity != Parity::None) {
        settings.c_iflag |= INPCK;
    }
}

// Whether the device took the settings: drivers round a baud rate to what their clock makes,
// so 2% off counts as taken, as on the line itself.
bool SettingsTaken(const termios2& wanted, const termios2& actual)
{
    constexpr tcflag_t kLineFlags = CSIZE | CSTOPB | PARENB | PARODD | CMSPAR | CRTSCTS;
    if ((wanted.c_cflag & kLineFlags) != (actual.c_cflag & kLineFlags) ||
        (wanted.c_iflag & (IXON | IXOFF)) != (actual.c_iflag & (IXON | IXOFF))) {
        return false;
    }
    const auto wantedBaud = static_cast<std::int64_t>(wanted.c_ospeed);
    const auto actualBaud = static_cast<std::int64_t>(actual.c_ospeed);
    return std::llabs(wantedBaud - actualBaud) * 50 <= wantedBaud;
}

// Sets DTR or RTS where the device has modem control lines; a pseudo-terminal has none.
bool ApplyControlLine(int fd, int line, LineControl level)
{
    if (level != LineControl::On && level != LineControl::Off) {
        return true;
    }
    if (::ioctl(fd, level == LineControl::On ? TIOCMBIS : TIOCMBIC, &line) == 0) {
        return true;
    }
    return errno == ENOTTY || errno == EINVAL;
}

// Interrupts a modem-line wait: the handler does nothing, and without SA_RESTART the
// interrupted ioctl returns EINTR.
int ModemWaitSignal()
{
    static const int signal = [] {
        const int chosen = SIGRTMIN + 5;
        struct sigaction action {};
        action.sa_handler = [](int) {};
        sigemptyset(&action.sa_mask);
        ::sigaction(chosen, &action, nullptr);
        return chosen;
    }();
    return signal;
}

bool MeansDeviceGone(int error) { return error == EIO || error == ENXIO || error == ENODEV; }

OpenFailure OpenFailureOf(int error)
{
    switch (error) {
    case ENOENT:
    case ENXIO:
    case ENODEV:
    case EIO:
        return OpenFailure::NoSuchDevice;
    case EBUSY:
    case EWOULDBLOCK:
        return OpenFailure::InUse;
    case EACCES:
    case EPERM:
    case EROFS:
        return OpenFailure::NoPermission;
    case ENOTTY:
    case EISDIR:
    case ENOTDIR:
        return OpenFailure::NotSerialDevice;
    default:
        return OpenFailure::Other;
    }
}

}  // namespace

SerialDevice::SerialDevice() = default;

SerialDevice::~SerialDevice() { Close(); }

bool SerialDevice::Open(const std::string& path)
{
    Close();
    openError_ = {};
    lost_ = false;
    // Only a character device is opened: a FIFO, a folder or a file is never touched.
    struct stat node {};
    if (::stat(path.c_str(), &node) != 0 || !S_ISCHR(node.st_mode)) {
        const int error = node.st_mode != 0 ? ENOTTY : errno;
        openError_ = {OpenFailureOf(error), error};
        errno = error;
        return false;
    }
    const int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        const int error = errno;
        openError_ = {OpenFailureOf(error), error};
        return false;
    }
    return TakeDescriptor(fd, path, true);
}

bool SerialDevice::TakeDescriptor(int fd, const std::string& path, bool exclusive)
{
    struct stat node {};
    termios2 settings {};
    const bool ready = ReadTermios(fd, settings) &&
                       (!exclusive || (::flock(fd, LOCK_EX | LOCK_NB) == 0 && ::ioctl(fd, TIOCEXCL) == 0)) &&
                       ::fstat(fd, &node) == 0;
    if (ready) {
        MakeRaw(settings);
    }
    if (!ready || !WriteTermios(fd, settings) || !OpenWakeUps()) {
        const int error = errno == EWOULDBLOCK ? EBUSY : errno;
        CloseWakeUps();
        ::close(fd);
        openError_ = {OpenFailureOf(error), error};
        errno = error;
        return false;
    }
    hungUp_ = false;
    modemWaitUnsupported_ = false;
    outputInFlight_ = false;
    path_ = path;
    deviceNumber_ = node.st_rdev;
    {
        std::lock_guard lock(mutex_);
        // A driver without counts (a pseudo-terminal's) is not asked again at every read.
        lineCountsUnsupported_ = false;
        if (!ReadLineErrorCountsOf(fd, lastClearedCounts_)) {
            lastClearedCounts_ = {};
            lineCountsUnsupported_ = errno == EINVAL || errno == ENOTTY;
        }
        openedCounts_ = lastClearedCounts_;
    }
    fd_ = fd;
    return true;
}

OpenError SerialDevice::LastOpenError() const { return openError_; }

void SerialDevice::Close()
{
    const int fd = fd_.exchange(-1);
    if (fd < 0) {
        return;
    }
    StopModemWaiter();
    ::ioctl(fd, TIOCNXCL);
    ::close(fd);
    CloseWakeUps();
}

bool SerialDevice::IsOpen() const { return fd_ >= 0; }

int SerialDevice::Handle() const { return fd_; }

bool SerialDevice::IsLost() const { return lost_; }

bool SerialDevice::CheckPresence()
{
    struct stat node {};
    if (IsOpen() && (::stat(path_.c_str(), &node) != 0 || !S_ISCHR(node.st_mode) || node.st_rdev != deviceNumber_)) {
        lost_ = true;
    }
    return !lost_;
}

bool SerialDevice::Failed(int error) const
{
    if (MeansDeviceGone(error)) {
        lost_ = true;
    }
    errno = error;
    return false;
}

bool SerialDevice::GetLineSettings(LineSettings& line) const
{
    termios2 settings {};
    if (!ReadTermios(fd_, settings)) {
        return Failed(errno);
    }
    line.baudRate = settings.c_ospeed;
    line.parity = ParityOf(settings.c_cflag);
    line.dataBits = DataBitsOf(settings.c_cflag);
    const bool stopFlag = (settings.c_cflag & CSTOPB) != 0;
    line.stopBits = !stopFlag ? StopBits::One : line.dataBits == 5 ? StopBits::OneAndHalf : StopBits::Two;
    line.xonXoff = (settings.c_iflag & IXON) != 0;
    line.ctsHandshake = (settings.c_cflag & CRTSCTS) != 0;
    return true;
}

bool SerialDevice::SetLineSettings(const LineSettings& line)
{
    const int fd = fd_;
    termios2 previous {};
    if (!LineSettingsConsistent(line)) {
        errno = EINVAL;
        return false;
    }
    if (!ReadTermios(fd, previous)) {
        return Failed(errno);
    }
    termios2 wanted = previous;
    EncodeSettings(line, wanted);
    termios2 actual {};
    if (WriteTermios(fd, wanted) && ReadTermios(fd, actual) && SettingsTaken(wanted, actual) &&
        ApplyControlLine(fd, TIOCM_DTR, line.dtr) && ApplyControlLine(fd, TIOCM_RTS, line.rts)) {
        return true;
    }
    const int error = errno != 0 ? errno : EINVAL;
    WriteTermios(fd, previous);
    return Failed(error);
}

bool SerialDevice::Purge(unsigned flags)
{
    const int fd = fd_;
    if (fd < 0 || (flags & ~(PURGE_TXABORT | PURGE_RXABORT | PURGE_TXCLEAR | PURGE_RXCLEAR)) != 0) {
        errno = fd < 0 ? EBADF : EINVAL;
        return false;
    }
    const bool clearInput = (flags & PURGE_RXCLEAR) != 0;
    const bool clearOutput = (flags & PURGE_TXCLEAR) != 0;
    if (!clearInput && !clearOutput) {
        return true;
    }
    const int queue = clearInput && clearOutput ? TCIOFLUSH : clearInput ? TCIFLUSH : TCOFLUSH;
    return ::ioctl(fd, TCFLSH, queue) == 0 || Failed(errno);
}

WaitResult SerialDevice::WaitEvent(const WaitRequest& request)
{
    WaitResult result;
    const int fd = fd_;
    if (fd < 0) {
        result.hungUp = true;
        return result;
    }
    if (TakeMaskChange()) {
        TakeEventBaselines();
    }
    const unsigned mask = EventMask();
    const bool watchInput = request.watchInput && (mask & EV_RXCHAR) != 0;

    int timeout = request.timeoutMs;
    if (NeedsLinePolling(mask) && (timeout < 0 || timeout > kLinePollPeriodMs)) {
        timeout = kLinePollPeriodMs;
    }
    // A device that has gone reports a hang-up on every poll, so it is no longer polled;
    // what is left in its input queue is still reported, and output fails at once.
    std::size_t waiting = 0;
    unsigned errors = 0;
    if (hungUp_ && watchInput && ClearErrors(errors, waiting) && waiting > 0) {
        result.events |= EV_RXCHAR;
    }
    if (hungUp_ && request.watchOutputRoom) {
        result.outputRoom = true;
    }
    if (result.events != 0 || result.outputRoom) {
        timeout = 0;
    }

    pollfd descriptors[2] = {{WakeSignal(), POLLIN, 0}, {fd, 0, 0}};
    descriptors[1].events = static_cast<short>((watchInput ? POLLIN : 0) | (request.watchOutputRoom ? POLLOUT : 0));
    const nfds_t count = hungUp_ ? 1 : 2;
    if (::poll(descriptors, count, timeout) > 0) {
        if ((descriptors[0].revents & POLLIN) != 0) {
            DrainWakeUps();
        }
        const short deviceEvents = count == 2 ? descriptors[1].revents : 0;
        if ((deviceEvents & (POLLHUP | POLLERR | POLLNVAL)) != 0) {
            hungUp_ = true;
            lost_ = true;
            if (watchInput && ClearErrors(errors, waiting) && waiting > 0) {
                result.events |= EV_RXCHAR;
            }
            result.outputRoom = request.watchOutputRoom;
        } else {
            if ((deviceEvents & POLLIN) != 0) {
                result.events |= EV_RXCHAR;
            }
            if ((deviceEvents & POLLOUT) != 0) {
                result.outputRoom = true;
            }
        }
    }
    result.hungUp = hungUp_;
    if (!hungUp_) {
        result.events |= ModemLineEvents(mask) | LineErrorEvents(mask) | OutputEmptyEvent(mask, request.outputQueued);
    }
    result.events &= EventMask();
    return result;
}

bool SerialDevice::NeedsLinePolling(unsigned mask) const
{
    return !hungUp_ && (((mask & kModemLineEvents) != 0 && modemLinesSupported_ && modemWaitUnsupported_) ||
                        ((mask & EV_TXEMPTY) != 0 && outputInFlight_));
}

void SerialDevice::TakeEventBaselines()
{
    modemLinesSupported_ = ::ioctl(fd_, TIOCMGET, &lastModemLines_) == 0;
    lineErrorsSupported_ = ReadLineErrorCounts(lastEventCounts_);
    if (modemLinesSupported_ && !modemWaiter_.joinable() && !modemWaitUnsupported_) {
        StartModemWaiter();
    }
}

void SerialDevice::StartModemWaiter()
{
    ModemWaitSignal();
    modemWaitStop_ = false;
    modemWaitEnded_ = false;
    try {
        modemWaiter_ = std::thread(&SerialDevice::WaitForModemChanges, this, fd_.load());
    } catch (const std::system_error&) {
        modemWaitUnsupported_ = true;
    }
}

void SerialDevice::WaitForModemChanges(int fd)
{
    sigset_t interrupt;
    sigemptyset(&interrupt);
    sigaddset(&interrupt, ModemWaitSignal());
    ::pthread_sigmask(SIG_UNBLOCK, &interrupt, nullptr);
    while (!modemWaitStop_) {
        if (::ioctl(fd, TIOCMIWAIT, kModemLineBits) == 0) {
            WakeWait();
            continue;
        }
        const int error = errno;
        if (error == EINTR) {
            continue;
        }
        // The driver cannot wait for the lines (they are then looked at periodically), or the
        // device has gone.
        if (MeansDeviceGone(error)) {
            lost_ = true;
        } else {
            modemWaitUnsupported_ = true;
        }
        WakeWait();
        break;
    }
    modemWaitEnded_ = true;
}

void SerialDevice::StopModemWaiter()
{
    if (!modemWaiter_.joinable()) {
        return;
    }
    modemWaitStop_ = true;
    // The signal may come just before the thread enters its wait, so it is repeated until the
    // thread has ended.
    while (!modemWaitEnded_) {
        ::pthread_kill(modemWaiter_.native_handle(), ModemWaitSignal());
        for (int tries = 0; tries < 10 && !modemWaitEnded_; ++tries) {
            std::this_thread::sleep_for(std::chrono::microseconds(100));
        }
    }
    modemWaiter_.join();
}

unsigned SerialDevice::ModemLineEvents(unsigned mask)
{
    int lines = 0;
    if ((mask & kModemLineEvents) == 0 || !modemLinesSupported_ || ::ioctl(fd_, TIOCMGET, &lines) != 0) {
        return 0;
    }
    const int changed = lines ^ lastModemLines_;
    lastModemLines_ = lines;
    unsigned events = 0;
    events |= (changed & TIOCM_CTS) != 0 ? EV_CTS : 0;
    events |= (changed & TIOCM_DSR) != 0 ? EV_DSR : 0;
    events |= (changed & TIOCM_CD) != 0 ? EV_RLSD : 0;
    events |= (changed & TIOCM_RI) != 0 ? EV_RING : 0;
    return events;
}

unsigned SerialDevice::LineErrorEvents(unsigned mask)
{
    LineErrorCounts counts;
    if ((mask & kLineErrorEvents) == 0 || !lineErrorsSupported_ || !ReadLineErrorCounts(counts)) {
        return 0;
    }
    unsigned events = 0;
    if (counts.breaks != lastEventCounts_.breaks) {
        events |= EV_BREAK;
    }
    if (counts.frame != lastEventCounts_.frame || counts.overrun != lastEventCounts_.overrun ||
        counts.parity != lastEventCounts_.parity || counts.bufferOverrun != lastEventCounts_.bufferOverrun) {
        events |= EV_ERR;
    }
    lastEventCounts_ = counts;
    return events;
}

unsigned SerialDevice::OutputEmptyEvent(unsigned mask, bool outputQueued)
{
    int pending = 0;
    if ((mask & EV_TXEMPTY) == 0 || outputQueued || !outputInFlight_) {
        return 0;
    }
    if (::ioctl(fd_, TIOCOUTQ, &pending) == 0 && pending > 0) {
        return 0;
    }
    outputInFlight_ = false;
    return EV_TXEMPTY;
}

bool SerialDevice::ReadLineErrorCounts(LineErrorCounts& counts) const
{
    if (lineCountsUnsupported_) {
        errno = EINVAL;
        return false;
    }
    return ReadLineErrorCountsOf(fd_, counts);
}

bool SerialDevice::ReadLineErrorCountsOf(int fd, LineErrorCounts& counts)
{
    serial_icounter_struct icount {};
    if (::ioctl(fd, TIOCGICOUNT, &icount) != 0) {
        return false;
    }
    counts = {icount.frame, icount.overrun, icount.parity, icount.buf_overrun, icount.brk};
    return true;
}

bool SerialDevice::ClearErrors(unsigned& errors, std::size_t& inputQueueCount)
{
    const int fd = fd_;
    int queued = 0;
    if (fd < 0 || ::ioctl(fd, FIONREAD, &queued) != 0) {
        return Failed(fd < 0 ? EBADF : errno);
    }
    inputQueueCount = static_cast<std::size_t>(queued > 0 ? queued : 0);
    errors = 0;
    LineErrorCounts counts;
    if (ReadLineErrorCounts(counts)) {
        std::lock_guard lock(mutex_);
        errors |= counts.bufferOverrun != lastClearedCounts_.bufferOverrun ? CE_RXOVER : 0;
        errors |= counts.overrun != lastClearedCounts_.overrun ? CE_OVERRUN : 0;
        errors |= counts.parity != lastClearedCounts_.parity ? CE_RXPARITY : 0;
        errors |= counts.frame != lastClearedCounts_.frame ? CE_FRAME : 0;
        errors |= counts.breaks != lastClearedCounts_.breaks ? CE_BREAK : 0;
        lastClearedCounts_ = counts;
    }
    return true;
}

bool SerialDevice::InputQueueBytes(std::size_t& count) const
{
    int queued = 0;
    if (::ioctl(fd_, FIONREAD, &queued) != 0) {
        return Failed(errno);
    }
    count = static_cast<std::size_t>(queued > 0 ? queued : 0);
    return true;
}

bool SerialDevice::GetModemStatus(unsigned& status) const
{
    int lines = 0;
    if (::ioctl(fd_, TIOCMGET, &lines) != 0) {
        return Failed(errno);
    }
    status = 0;
    status |= (lines & TIOCM_CTS) != 0 ? MS_CTS_ON : 0;
    status |= (lines & TIOCM_DSR) != 0 ? MS_DSR_ON : 0;
    status |= (lines & TIOCM_RI) != 0 ? MS_RING_ON : 0;
    status |= (lines & TIOCM_CD) != 0 ? MS_RLSD_ON : 0;
    return true;
}

long SerialDevice::Read(void* buffer, std::size_t size)
{
    const ssize_t count = ::read(fd_, buffer, size);
    if (count < 0) {
        return errno == EAGAIN || errno == EINTR ? 0 : (Failed(errno), -1);
    }
    // A terminal reads as at its end only once it has hung up.
    if (count == 0 && size > 0) {
        lost_ = true;
    }
    return static_cast<long>(count);
}

long SerialDevice::Write(const void* bytes, std::size_t size)
{
    const ssize_t count = ::write(fd_, bytes, size);
    if (count < 0) {
        return errno == EAGAIN || errno == EINTR ? 0 : (Failed(errno), -1);
    }
    if (count > 0) {
        outputInFlight_ = true;
        WakeWait();
    }
    return static_cast<long>(count);
}

bool SerialDevice::SetControlLine(ControlLine line, bool on)
{
    int bit = line == ControlLine::Dtr ? TIOCM_DTR : TIOCM_RTS;
    if (::ioctl(fd_, on ? TIOCMBIS : TIOCMBIC, &bit) == 0) {
        return true;
    }
    return Failed(errno);
}

bool SerialDevice::SetBreak(bool on)
{
    return ::ioctl(fd_, on ? TIOCSBRK : TIOCCBRK) == 0 || Failed(errno);
}

bool SerialDevice::GetLineCounters(LineCounters& counters) const
{
    LineErrorCounts now;
    if (!ReadLineErrorCounts(now)) {
        return false;
    }
    std::lock_guard lock(mutex_);
    auto since = [](int current, int opened) { return static_cast<std::uint64_t>(static_cast<unsigned>(current - opened)); };
    counters.overrun = since(now.overrun, openedCounts_.overrun) + since(now.bufferOverrun, openedCounts_.bufferOverrun);
    counters.framing = since(now.frame, openedCounts_.frame);
    counters.parity = since(now.parity, openedCounts_.parity);
    counters.breaks = since(now.breaks, openedCounts_.breaks);
    return true;
}
