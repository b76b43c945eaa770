// Device.h names the port events, purge flags and line-error bits with the values (and the
// names) of the communications API, so it comes before <windows.h>, whose macros then stand
// for the same numbers.
#include "platform/SerialDevice.h"

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cwctype>
#include <utility>
#include <vector>
#include <windows.h>

#include "platform/win32/Win32Text.h"

namespace {

constexpr DWORD kQueueBytes = 4096;
constexpr std::size_t kWriteChunk = 4096;
constexpr unsigned kPurgeFlags = PURGE_TXABORT | PURGE_RXABORT | PURGE_TXCLEAR | PURGE_RXCLEAR;
constexpr DWORD kQueueLookMs = 5;

HANDLE Invalid() { return INVALID_HANDLE_VALUE; }

OpenFailure OpenFailureOf(DWORD error)
{
    switch (error) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
    case ERROR_BAD_NETPATH:
    case ERROR_INVALID_NAME:
    case ERROR_DEV_NOT_EXIST:
        return OpenFailure::NoSuchDevice;
    // A port that another program holds open is refused as access denied.
    case ERROR_ACCESS_DENIED:
    case ERROR_SHARING_VIOLATION:
    case ERROR_BUSY:
        return OpenFailure::InUse;
    case ERROR_INVALID_FUNCTION:
    case ERROR_NOT_SUPPORTED:
        return OpenFailure::NotSerialDevice;
    default:
        return OpenFailure::Other;
    }
}

// Errors that say the port itself has gone (a USB adapter pulled out, the far end closed).
bool MeansDeviceGone(DWORD error)
{
    return error == ERROR_ACCESS_DENIED || error == ERROR_BAD_COMMAND || error == ERROR_DEVICE_NOT_CONNECTED ||
           error == ERROR_DEV_NOT_EXIST || error == ERROR_GEN_FAILURE || error == ERROR_INVALID_HANDLE ||
           error == ERROR_BROKEN_PIPE || error == ERROR_NOT_READY;
}

BYTE ParityCode(Parity parity)
{
    switch (parity) {
    case Parity::Odd:
        return ODDPARITY;
    case Parity::Even:
        return EVENPARITY;
    case Parity::Mark:
        return MARKPARITY;
    case Parity::Space:
        return SPACEPARITY;
    case Parity::None:
        break;
    }
    return NOPARITY;
}

Parity ParityOf(BYTE code)
{
    switch (code) {
    case ODDPARITY:
        return Parity::Odd;
    case EVENPARITY:
        return Parity::Even;
    case MARKPARITY:
        return Parity::Mark;
    case SPACEPARITY:
        return Parity::Space;
    default:
        return Parity::None;
    }
}

BYTE StopBitsCode(StopBits stopBits)
{
    return stopBits == StopBits::Two ? TWOSTOPBITS : stopBits == StopBits::OneAndHalf ? ONE5STOPBITS : ONESTOPBIT;
}

StopBits StopBitsOf(BYTE code)
{
    return code == TWOSTOPBITS ? StopBits::Two : code == ONE5STOPBITS ? StopBits::OneAndHalf : StopBits::One;
}

// The DTR setting of the control block for `level`; `current` when the level is left unchanged.
DWORD DtrControl(LineControl level, DWORD current)
{
    switch (level) {
    case LineControl::On:
        return DTR_CONTROL_ENABLE;
    case LineControl::Off:
        return DTR_CONTROL_DISABLE;
    case LineControl::Handshake:
        return DTR_CONTROL_HANDSHAKE;
    case LineControl::Toggle:
    case LineControl::Unchanged:
        break;
    }
    return current;
}

DWORD RtsControl(LineControl level, DWORD current)
{
    switch (level) {
    case LineControl::On:
        return RTS_CONTROL_ENABLE;
    case LineControl::Off:
        return RTS_CONTROL_DISABLE;
    case LineControl::Handshake:
        return RTS_CONTROL_HANDSHAKE;
    case LineControl::Toggle:
        return RTS_CONTROL_TOGGLE;
    case LineControl::Unchanged:
        break;
    }
    return current;
}

void EncodeSettings(const LineSettings& line, DCB& dcb)
{
    dcb.BaudRate = line.baudRate;
    dcb.ByteSize = static_cast<BYTE>(line.dataBits);
    dcb.Parity = ParityCode(line.parity);
    dcb.fParity = line.parity != Parity::None;
    dcb.StopBits = StopBitsCode(line.stopBits);
    dcb.fOutX = line.xonXoff;
    dcb.fInX = line.xonXoff;
    dcb.XonChar = 0x11;
    dcb.XoffChar = 0x13;
    dcb.fOutxCtsFlow = line.ctsHandshake;
    dcb.fOutxDsrFlow = line.dsrHandshake;
    dcb.fDsrSensitivity = line.dsrSensitive;
    dcb.fDtrControl = DtrControl(line.dtr, dcb.fDtrControl);
    dcb.fRtsControl = line.ctsHandshake ? RTS_CONTROL_HANDSHAKE : RtsControl(line.rts, dcb.fRtsControl);
}

bool SettingsTaken(const DCB& wanted, const DCB& actual)
{
    return wanted.BaudRate == actual.BaudRate && wanted.ByteSize == actual.ByteSize && wanted.Parity == actual.Parity &&
           wanted.StopBits == actual.StopBits;
}

// Raw bytes both ways: nothing replaced, nothing dropped, no stop on a line error.
void MakeRaw(DCB& dcb)
{
    dcb.fBinary = TRUE;
    dcb.fErrorChar = FALSE;
    dcb.fNull = FALSE;
    dcb.fAbortOnError = FALSE;
}

OVERLAPPED NewOverlapped()
{
    OVERLAPPED overlapped{};
    overlapped.hEvent = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
    return overlapped;
}

// A mutex named after the port, held by the program that has it open. Windows refuses a
// second open of a port by itself; some compatibility layers do not, and this refuses it
// among copies of this program there. Null when another holds it.
HANDLE TakePortLock(const std::string& path, DWORD& error)
{
    std::wstring port = WideFromUtf8(path);
    std::transform(port.begin(), port.end(), port.begin(), [](wchar_t c) { return c == L'\\' ? L'_' : std::towupper(c); });
    const std::wstring name = L"Local\\serialdebug-port-" + port;
    const HANDLE lock = ::CreateMutexW(nullptr, TRUE, name.c_str());
    error = ::GetLastError();
    if (lock != nullptr && error == ERROR_ALREADY_EXISTS) {
        ::CloseHandle(lock);
        error = ERROR_ACCESS_DENIED;
        return nullptr;
    }
    return lock;
}

// The port's state. Wine cannot describe a line whose speed has no standard name (one that a
// Linux program set with termios2, as this program's Linux build does) and fails GetCommState;
// such a port is first set to a plain 9600,N,8,1, as a port of unknown state is.
bool ReadCommState(HANDLE handle, DCB& dcb)
{
    if (::GetCommState(handle, &dcb)) {
        return true;
    }
    DCB plain{};
    plain.DCBlength = sizeof plain;
    return ::BuildCommDCBW(L"baud=9600 parity=N data=8 stop=1", &plain) && ::SetCommState(handle, &plain) &&
           ::GetCommState(handle, &dcb);
}

}  // namespace

struct SerialDevice::Overlapped {
    Overlapped() : wait(NewOverlapped()), read(NewOverlapped()), write(NewOverlapped()) {}
    ~Overlapped()
    {
        for (OVERLAPPED* overlapped : {&wait, &read, &write}) {
            if (overlapped->hEvent != nullptr) {
                ::CloseHandle(overlapped->hEvent);
            }
        }
    }
    Overlapped(const Overlapped&) = delete;
    Overlapped& operator=(const Overlapped&) = delete;
    bool Ready() const { return wait.hEvent != nullptr && read.hEvent != nullptr && write.hEvent != nullptr; }

    OVERLAPPED wait;
    OVERLAPPED read;
    OVERLAPPED write;
    DWORD waitMask = 0;
    std::vector<char> writeBuffer;
    bool writing = false;
};

SerialDevice::SerialDevice() = default;

SerialDevice::~SerialDevice() { Close(); }

bool SerialDevice::Open(const std::string& path)
{
    Close();
    openError_ = {};
    lost_ = false;
    DWORD lockError = 0;
    const HANDLE lock = TakePortLock(path, lockError);
    const HANDLE handle = lock == nullptr ? Invalid()
                                          : ::CreateFileW(WideFromUtf8(path).c_str(), GENERIC_READ | GENERIC_WRITE, 0,
                                                          nullptr, OPEN_EXISTING, FILE_FLAG_OVERLAPPED, nullptr);
    if (handle == Invalid()) {
        const DWORD error = lock == nullptr ? lockError : ::GetLastError();
        if (lock != nullptr) {
            ::CloseHandle(lock);
        }
        openError_ = {OpenFailureOf(error), ErrnoFromSystemError(error)};
        errno = openError_.systemError;
        return false;
    }
    DCB dcb{};
    dcb.DCBlength = sizeof dcb;
    // Reads take what is there and never wait; writes have no time limit.
    COMMTIMEOUTS timeouts{MAXDWORD, 0, 0, 0, 0};
    auto io = std::make_unique<Overlapped>();
    if (!ReadCommState(handle, dcb)) {
        ::CloseHandle(handle);
        ::CloseHandle(lock);
        openError_ = {OpenFailure::NotSerialDevice, ENOTTY};
        errno = ENOTTY;
        return false;
    }
    MakeRaw(dcb);
    if (!::SetCommState(handle, &dcb) || !::SetupComm(handle, kQueueBytes, kQueueBytes) ||
        !::SetCommTimeouts(handle, &timeouts) || !::SetCommMask(handle, 0) || !io->Ready() || !OpenWakeUps()) {
        const int error = ErrnoFromLastError();
        CloseWakeUps();
        ::CloseHandle(handle);
        ::CloseHandle(lock);
        openError_ = {OpenFailure::Other, error};
        errno = error;
        return false;
    }
    DWORD errors = 0;
    ::ClearCommError(handle, &errors, nullptr);
    io_ = std::move(io);
    commWaitPending_ = false;
    // A port whose modem lines cannot be read (Wine's on a pseudo-terminal) may never end a wait
    // whose mask holds them, not even for input: its queues are looked at instead.
    DWORD lines = 0;
    commWaitUseless_ = !::GetCommModemStatus(handle, &lines);
    portLock_ = lock;
    portMask_ = 0;
    pendingEvents_ = 0;
    outputInFlight_ = false;
    {
        std::lock_guard lock(mutex_);
        counters_ = {};
    }
    handle_ = handle;
    return true;
}

OpenError SerialDevice::LastOpenError() const { return openError_; }

void SerialDevice::Close()
{
    const HANDLE handle = handle_.exchange(Invalid());
    if (handle == Invalid()) {
        return;
    }
    // A zero mask completes a pending WaitCommEvent, where the serial layer follows Windows;
    // CancelIoEx ends it, and the write in flight, also where it does not, whichever thread
    // started them.
    ::SetCommMask(handle, 0);
    ::CancelIoEx(handle, nullptr);
    DWORD transferred = 0;
    if (commWaitPending_) {
        ::GetOverlappedResult(handle, &io_->wait, &transferred, TRUE);
        commWaitPending_ = false;
    }
    {
        std::lock_guard lock(mutex_);
        if (io_->writing) {
            ::GetOverlappedResult(handle, &io_->write, &transferred, TRUE);
            io_->writing = false;
        }
    }
    ::CloseHandle(handle);
    ::CloseHandle(portLock_);
    portLock_ = nullptr;
    io_.reset();
    CloseWakeUps();
}

bool SerialDevice::IsOpen() const { return handle_ != Invalid(); }

int SerialDevice::Handle() const { return static_cast<int>(reinterpret_cast<std::intptr_t>(handle_.load())); }

bool SerialDevice::IsLost() const { return lost_; }

// A COM port has no node that could be replaced: it is present while the port answers.
bool SerialDevice::CheckPresence()
{
    unsigned long errors = 0;
    std::size_t input = 0;
    std::size_t output = 0;
    if (IsOpen()) {
        QueueStatus(errors, input, output);
    }
    return !lost_;
}

void SerialDevice::MarkLost() const { lost_ = true; }

bool SerialDevice::Failed(unsigned long error) const
{
    if (MeansDeviceGone(error)) {
        MarkLost();
    }
    errno = ErrnoFromSystemError(error);
    return false;
}

bool SerialDevice::GetLineSettings(LineSettings& line) const
{
    DCB dcb{};
    dcb.DCBlength = sizeof dcb;
    if (!::GetCommState(handle_, &dcb)) {
        return Failed(::GetLastError());
    }
    line.baudRate = dcb.BaudRate;
    line.parity = ParityOf(dcb.Parity);
    line.dataBits = dcb.ByteSize;
    line.stopBits = StopBitsOf(dcb.StopBits);
    line.xonXoff = dcb.fOutX != 0;
    line.ctsHandshake = dcb.fOutxCtsFlow != 0;
    return true;
}

bool SerialDevice::SetLineSettings(const LineSettings& line)
{
    const HANDLE handle = handle_;
    if (!LineSettingsConsistent(line)) {
        errno = EINVAL;
        return false;
    }
    DCB previous{};
    previous.DCBlength = sizeof previous;
    if (!::GetCommState(handle, &previous)) {
        return Failed(::GetLastError());
    }
    DCB wanted = previous;
    EncodeSettings(line, wanted);
    DCB actual{};
    actual.DCBlength = sizeof actual;
    if (::SetCommState(handle, &wanted) && ::GetCommState(handle, &actual) && SettingsTaken(wanted, actual)) {
        return true;
    }
    const DWORD error = ::GetLastError() != ERROR_SUCCESS ? ::GetLastError() : ERROR_INVALID_PARAMETER;
    ::SetCommState(handle, &previous);
    return Failed(error);
}

bool SerialDevice::Purge(unsigned flags)
{
    const HANDLE handle = handle_;
    if (handle == Invalid() || (flags & ~kPurgeFlags) != 0) {
        errno = handle == Invalid() ? EBADF : EINVAL;
        return false;
    }
    return flags == 0 || ::PurgeComm(handle, flags) || Failed(::GetLastError());
}

// EV_PASSED_ON is no event of a COM port (its bit means a printer error there).
unsigned long SerialDevice::PortMaskFor(unsigned mask) const { return mask & kAllPortEvents & ~EV_PASSED_ON; }

bool SerialDevice::StartCommWait()
{
    if (commWaitPending_ || portMask_ == 0 || commWaitUseless_) {
        return true;
    }
    io_->waitMask = 0;
    ::ResetEvent(io_->wait.hEvent);
    if (::WaitCommEvent(handle_, &io_->waitMask, &io_->wait)) {
        pendingEvents_ |= io_->waitMask;
        return true;
    }
    if (::GetLastError() == ERROR_IO_PENDING) {
        commWaitPending_ = true;
        return true;
    }
    // A port that cannot wait for its events any more is of no further use.
    const DWORD error = ::GetLastError();
    MarkLost();
    return Failed(error);
}

// The events of the completed WaitCommEvent. Some serial layers complete it with no event at
// all (the mask changed, or a wait that ended without saying why): the caller then looks at
// the queues itself.
unsigned SerialDevice::FinishCommWait(bool maskChanging)
{
    DWORD transferred = 0;
    if (!commWaitPending_ || !HasOverlappedIoCompleted(&io_->wait)) {
        return 0;
    }
    commWaitPending_ = false;
    if (!::GetOverlappedResult(handle_, &io_->wait, &transferred, FALSE)) {
        Failed(::GetLastError());
        return 0;
    }
    if (io_->waitMask == 0 && !maskChanging) {
        commWaitUseless_ = true;
    }
    return io_->waitMask;
}

bool SerialDevice::WriteInFlight()
{
    std::lock_guard lock(mutex_);
    if (!io_->writing) {
        return false;
    }
    DWORD written = 0;
    if (!::GetOverlappedResult(handle_, &io_->write, &written, FALSE)) {
        const DWORD error = ::GetLastError();
        if (error == ERROR_IO_INCOMPLETE) {
            return true;
        }
        Failed(error);
    }
    io_->writing = false;
    return false;
}

unsigned SerialDevice::OutputEmptyEvent(unsigned mask, bool outputQueued)
{
    unsigned long errors = 0;
    std::size_t input = 0;
    std::size_t output = 0;
    if ((mask & EV_TXEMPTY) == 0 || outputQueued || !outputInFlight_ || WriteInFlight() ||
        !QueueStatus(errors, input, output) || output > 0) {
        return 0;
    }
    outputInFlight_ = false;
    return EV_TXEMPTY;
}

WaitResult SerialDevice::WaitEvent(const WaitRequest& request)
{
    WaitResult result;
    if (!IsOpen() || lost_) {
        std::size_t waiting = 0;
        result.hungUp = true;
        result.outputRoom = request.watchOutputRoom;
        result.events = IsOpen() && InputQueueBytes(waiting) && waiting > 0 ? EV_RXCHAR & EventMask() : 0;
        return result;
    }
    if (TakeMaskChange() && PortMaskFor(EventMask()) != portMask_) {
        portMask_ = PortMaskFor(EventMask());
        // Completes the wait in progress, which then reports no event.
        if (!::SetCommMask(handle_, portMask_)) {
            Failed(::GetLastError());
        }
        pendingEvents_ |= FinishCommWait(true);
    }
    const unsigned mask = EventMask();
    const bool watchInput = request.watchInput && (mask & EV_RXCHAR) != 0;
    auto look = [&] {
        std::size_t waiting = 0;
        result.events |= std::exchange(pendingEvents_, 0) & ~EV_RXCHAR;
        if (watchInput && InputQueueBytes(waiting) && waiting > 0) {
            result.events |= EV_RXCHAR;
        }
        result.outputRoom = request.watchOutputRoom && !WriteInFlight();
        result.events |= OutputEmptyEvent(mask, request.outputQueued);
        result.events &= mask;
        return result.events != 0 || result.outputRoom || lost_;
    };
    if (!look() && StartCommWait() && !look()) {
        HANDLE events[3] = {WakeSignal()};
        DWORD count = 1;
        if (commWaitPending_) {
            events[count++] = io_->wait.hEvent;
        }
        if ((request.watchOutputRoom || (mask & EV_TXEMPTY) != 0) && WriteInFlight()) {
            events[count++] = io_->write.hEvent;
        }
        DWORD timeout = request.timeoutMs < 0 ? INFINITE : static_cast<DWORD>(request.timeoutMs);
        if (commWaitUseless_ && portMask_ != 0) {
            timeout = std::min(timeout, kQueueLookMs);
        }
        if (::WaitForMultipleObjects(count, events, FALSE, timeout) == WAIT_FAILED) {
            Failed(::GetLastError());
        }
        pendingEvents_ |= FinishCommWait(false);
        look();
    }
    result.hungUp = lost_;
    return result;
}

bool SerialDevice::QueueStatus(unsigned long& errors, std::size_t& inputBytes, std::size_t& outputBytes) const
{
    COMSTAT status{};
    DWORD flags = 0;
    if (!::ClearCommError(handle_, &flags, &status)) {
        return Failed(::GetLastError());
    }
    errors = flags;
    inputBytes = status.cbInQue;
    outputBytes = status.cbOutQue;
    std::lock_guard lock(mutex_);
    counters_.overrun += (flags & (CE_OVERRUN | CE_RXOVER)) != 0 ? 1 : 0;
    counters_.framing += (flags & CE_FRAME) != 0 ? 1 : 0;
    counters_.parity += (flags & CE_RXPARITY) != 0 ? 1 : 0;
    counters_.breaks += (flags & CE_BREAK) != 0 ? 1 : 0;
    return true;
}

bool SerialDevice::ClearErrors(unsigned& errors, std::size_t& inputQueueCount)
{
    unsigned long flags = 0;
    std::size_t output = 0;
    if (!IsOpen()) {
        errno = EBADF;
        return false;
    }
    if (!QueueStatus(flags, inputQueueCount, output)) {
        return false;
    }
    errors = static_cast<unsigned>(flags) & (CE_RXOVER | CE_OVERRUN | CE_RXPARITY | CE_FRAME | CE_BREAK);
    return true;
}

bool SerialDevice::InputQueueBytes(std::size_t& count) const
{
    COMSTAT status{};
    if (!::ClearCommError(handle_, nullptr, &status)) {
        return Failed(::GetLastError());
    }
    count = status.cbInQue;
    return true;
}

bool SerialDevice::GetModemStatus(unsigned& status) const
{
    DWORD lines = 0;
    if (!::GetCommModemStatus(handle_, &lines)) {
        return Failed(::GetLastError());
    }
    status = lines & (MS_CTS_ON | MS_DSR_ON | MS_RING_ON | MS_RLSD_ON);
    return true;
}

long SerialDevice::Read(void* buffer, std::size_t size)
{
    const HANDLE handle = handle_;
    if (handle == Invalid()) {
        errno = EBADF;
        return -1;
    }
    // Only what waits is asked for: a read that finds nothing may stay pending until a byte
    // comes, whatever the time-outs say, where the serial layer is not Windows' own.
    std::size_t waiting = 0;
    if (!InputQueueBytes(waiting)) {
        return -1;
    }
    if (waiting == 0 || size == 0) {
        return 0;
    }
    DWORD count = 0;
    ::ResetEvent(io_->read.hEvent);
    const DWORD piece = static_cast<DWORD>(std::min<std::size_t>({size, waiting, MAXDWORD}));
    if (!::ReadFile(handle, buffer, piece, &count, &io_->read) &&
        (::GetLastError() != ERROR_IO_PENDING || !::GetOverlappedResult(handle, &io_->read, &count, TRUE))) {
        return (Failed(::GetLastError()), -1);
    }
    return static_cast<long>(count);
}

long SerialDevice::Write(const void* bytes, std::size_t size)
{
    const HANDLE handle = handle_;
    if (handle == Invalid()) {
        errno = EBADF;
        return -1;
    }
    if (lost_) {
        errno = EIO;
        return -1;
    }
    if (size == 0 || WriteInFlight()) {
        return 0;
    }
    std::lock_guard lock(mutex_);
    const std::size_t taken = std::min(size, kWriteChunk);
    io_->writeBuffer.assign(static_cast<const char*>(bytes), static_cast<const char*>(bytes) + taken);
    ::ResetEvent(io_->write.hEvent);
    DWORD written = 0;
    if (!::WriteFile(handle, io_->writeBuffer.data(), static_cast<DWORD>(taken), &written, &io_->write)) {
        if (::GetLastError() != ERROR_IO_PENDING) {
            return (Failed(::GetLastError()), -1);
        }
        io_->writing = true;
    }
    outputInFlight_ = true;
    WakeWait();
    return static_cast<long>(taken);
}

bool SerialDevice::SetControlLine(ControlLine line, bool on)
{
    const DWORD function = line == ControlLine::Dtr ? (on ? SETDTR : CLRDTR) : (on ? SETRTS : CLRRTS);
    return ::EscapeCommFunction(handle_, function) || Failed(::GetLastError());
}

bool SerialDevice::SetBreak(bool on)
{
    return (on ? ::SetCommBreak(handle_) : ::ClearCommBreak(handle_)) || Failed(::GetLastError());
}

bool SerialDevice::GetLineCounters(LineCounters& counters) const
{
    if (!IsOpen()) {
        errno = EBADF;
        return false;
    }
    std::lock_guard lock(mutex_);
    counters = counters_;
    return true;
}
