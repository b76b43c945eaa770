#include "platform/DeviceWatcher.h"

#include <thread>
#include <winsock2.h>
#include <windows.h>

#include "platform/win32/SerialComm.h"

namespace {

// Above SERIALCOMM, which a driver makes with its first port: watching the whole tree also
// sees that key appear.
constexpr const wchar_t* kDeviceMapKey = L"HARDWARE\\DEVICEMAP";

void CloseSocket(SOCKET& socket)
{
    if (socket != INVALID_SOCKET) {
        ::closesocket(socket);
        socket = INVALID_SOCKET;
    }
}

// A connected pair of TCP sockets on the loopback address: a byte written to `writer` makes
// `reader` readable, which is what a Qt socket notifier can watch on Windows.
bool MakeSocketPair(SOCKET& reader, SOCKET& writer)
{
    SOCKET listener = ::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    int length = sizeof address;
    const bool listening = listener != INVALID_SOCKET &&
                           ::bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
                           ::listen(listener, 1) == 0 &&
                           ::getsockname(listener, reinterpret_cast<sockaddr*>(&address), &length) == 0;
    writer = listening ? ::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP) : INVALID_SOCKET;
    if (writer != INVALID_SOCKET && ::connect(writer, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0) {
        reader = ::accept(listener, nullptr, nullptr);
    }
    CloseSocket(listener);
    u_long nonBlocking = 1;
    if (reader == INVALID_SOCKET || ::ioctlsocket(reader, FIONBIO, &nonBlocking) != 0) {
        CloseSocket(reader);
        CloseSocket(writer);
        return false;
    }
    return true;
}

}  // namespace

struct DeviceWatcher::RegistryWatch {
    RegistryWatch()
    {
        WSADATA data{};
        started = ::WSAStartup(MAKEWORD(2, 2), &data) == 0;
        stop = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
        change = ::CreateEventW(nullptr, FALSE, FALSE, nullptr);
        const bool opened = ::RegOpenKeyExW(HKEY_LOCAL_MACHINE, kDeviceMapKey, 0, KEY_NOTIFY, &key) == ERROR_SUCCESS;
        if (started && stop != nullptr && change != nullptr && opened && MakeSocketPair(reader, writer)) {
            thread = std::thread([this] { Run(); });
        }
    }
    ~RegistryWatch()
    {
        if (thread.joinable()) {
            ::SetEvent(stop);
            thread.join();
        }
        CloseSocket(reader);
        CloseSocket(writer);
        if (key != nullptr) {
            ::RegCloseKey(key);
        }
        for (HANDLE event : {stop, change}) {
            if (event != nullptr) {
                ::CloseHandle(event);
            }
        }
        if (started) {
            ::WSACleanup();
        }
    }
    RegistryWatch(const RegistryWatch&) = delete;
    RegistryWatch& operator=(const RegistryWatch&) = delete;

    // Asks for the next change each time, and passes each on as a byte; ends on `stop` or
    // when the registry cannot be watched any more.
    void Run()
    {
        const HANDLE events[2] = {stop, change};
        const DWORD filter = REG_NOTIFY_CHANGE_NAME | REG_NOTIFY_CHANGE_LAST_SET;
        while (::RegNotifyChangeKeyValue(key, TRUE, filter, change, TRUE) == ERROR_SUCCESS &&
               ::WaitForMultipleObjects(2, events, FALSE, INFINITE) == WAIT_OBJECT_0 + 1) {
            const char byte = 1;
            ::send(writer, &byte, 1, 0);
        }
    }

    bool started = false;
    HANDLE stop = nullptr;
    HANDLE change = nullptr;
    HKEY key = nullptr;
    SOCKET reader = INVALID_SOCKET;
    SOCKET writer = INVALID_SOCKET;
    std::thread thread;
};

DeviceWatcher::DeviceWatcher() : registry_(std::make_unique<RegistryWatch>()) {}

DeviceWatcher::~DeviceWatcher() = default;

// The registry lists every port, so the paths change nothing of what is watched.
void DeviceWatcher::Watch(const std::vector<std::string>& paths) { paths_ = paths; }

int DeviceWatcher::Descriptor() const
{
    return registry_->thread.joinable() ? static_cast<int>(registry_->reader) : -1;
}

bool DeviceWatcher::TakeEvents()
{
    char bytes[64];
    bool any = false;
    while (registry_->reader != INVALID_SOCKET && ::recv(registry_->reader, bytes, sizeof bytes, 0) > 0) {
        any = true;
    }
    return any;
}

bool DeviceWatcher::DeviceExists(const std::string& path) const
{
    const std::string name = ComPortNameOf(path);
    return !name.empty() && PresentComPorts().contains(name);
}
