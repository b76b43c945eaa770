// Which COM ports the system has, and word of their coming and going, from the registry key the
// drivers list them in. The test lists a port of its own there, as a driver would.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <cwchar>
#include <string>
#include <thread>

#include "platform/DeviceInfo.h"
#include "platform/DeviceWatcher.h"
#include "platform/PortNames.h"
#include "platform/WholeFile.h"

#include <winsock2.h>
#include <windows.h>

using namespace std::chrono_literals;

namespace {

constexpr const wchar_t* kSerialComm = L"HARDWARE\\DEVICEMAP\\SERIALCOMM";
constexpr const wchar_t* kEntry = L"\\Device\\SerialdebugTest";

bool ListPort(const wchar_t* port)
{
    HKEY key = nullptr;
    if (::RegCreateKeyExW(HKEY_LOCAL_MACHINE, kSerialComm, 0, nullptr, REG_OPTION_VOLATILE, KEY_SET_VALUE, nullptr, &key,
                          nullptr) != ERROR_SUCCESS) {
        return false;
    }
    const DWORD bytes = static_cast<DWORD>((std::wcslen(port) + 1) * sizeof(wchar_t));
    const bool set = ::RegSetValueExW(key, kEntry, 0, REG_SZ, reinterpret_cast<const BYTE*>(port), bytes) == ERROR_SUCCESS;
    ::RegCloseKey(key);
    return set;
}

bool UnlistPort()
{
    HKEY key = nullptr;
    if (::RegOpenKeyExW(HKEY_LOCAL_MACHINE, kSerialComm, 0, KEY_SET_VALUE, &key) != ERROR_SUCCESS) {
        return false;
    }
    const bool removed = ::RegDeleteValueW(key, kEntry) == ERROR_SUCCESS;
    ::RegCloseKey(key);
    return removed;
}

// Whether the watcher's socket becomes readable within `timeout`.
bool Readable(const DeviceWatcher& watcher, std::chrono::milliseconds timeout)
{
    fd_set readable;
    FD_ZERO(&readable);
    FD_SET(static_cast<SOCKET>(watcher.Descriptor()), &readable);
    timeval limit{0, static_cast<long>(std::chrono::microseconds(timeout).count())};
    return ::select(0, &readable, nullptr, nullptr, &limit) == 1;
}

}  // namespace

TEST(PortList, SeesPortsComeAndGoWithoutPolling)
{
    DeviceWatcher watcher;
    ASSERT_GE(watcher.Descriptor(), 0);
    watcher.Watch({"\\\\.\\COM87"});
    EXPECT_FALSE(Readable(watcher, 100ms)) << "nothing changed yet";
    EXPECT_FALSE(watcher.TakeEvents());

    const struct {
        bool listed;
    } steps[] = {{true}, {false}};
    for (const auto& step : steps) {
        ASSERT_TRUE(step.listed ? ListPort(L"COM87") : UnlistPort());
        EXPECT_TRUE(Readable(watcher, 5s)) << (step.listed ? "listed" : "unlisted");
        std::this_thread::sleep_for(50ms);
        EXPECT_TRUE(watcher.TakeEvents());
        EXPECT_FALSE(watcher.TakeEvents()) << "every event was taken";
        EXPECT_EQ(watcher.DeviceExists("\\\\.\\COM87"), step.listed);
        EXPECT_EQ(watcher.DeviceExists("\\\\.\\com87"), step.listed) << "names are not case-sensitive";
        EXPECT_EQ(DeviceCatalog().Describe("\\\\.\\COM87").present, step.listed);
    }
    EXPECT_FALSE(watcher.DeviceExists("/dev/ttyUSB0"));
    EXPECT_TRUE(DeviceCatalog().Describe("\\\\.\\COM87").byIdName.empty());
}

TEST(PortList, PortsAreTheSystemsOwnUnlessTheSettingsMapThem)
{
    const std::string config = std::filesystem::temp_directory_path().string() + "/serialdebug-ports.ini";
    ASSERT_FALSE(ReplaceWholeFile(config, "[Ports]\r\nCOM3=tcp://127.0.0.1:2000\r\nCOM4=\r\ncom5=\\\\.\\COM9\r\n"));
    const struct {
        const char* port;
        const char* device;
    } cases[] = {
        {"\\\\.\\COM1", "\\\\.\\COM1"},
        {"COM77", "\\\\.\\COM77"},
        {"\\\\.\\COM3", "tcp://127.0.0.1:2000"},
        {"\\\\.\\COM4", "\\\\.\\COM4"},  // an empty entry maps nothing
        {"\\\\.\\COM5", "\\\\.\\COM9"},
        {"LPT1", ""},
        {"\\\\.\\COM0", ""},
    };
    for (const auto& each : cases) {
        EXPECT_EQ(ResolvePortDevice(each.port, config), each.device) << each.port;
    }
    std::filesystem::remove(config);
}
