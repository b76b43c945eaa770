#include <gtest/gtest.h>

#include <poll.h>

#include <filesystem>

#include "platform/DeviceInfo.h"
#include "platform/DeviceWatcher.h"
#include "tests/platform/TempDir.h"
#include "tests/support/PseudoTerminal.h"

namespace {

namespace fs = std::filesystem;

bool Readable(int fd)
{
    pollfd descriptor{fd, POLLIN, 0};
    return ::poll(&descriptor, 1, 1000) > 0;
}

TEST(DeviceWatcher, ReportsNodesComingAndGoingInTheFoldersOfItsPaths)
{
    TempDir dir;
    DeviceWatcher watcher;
    ASSERT_GE(watcher.Descriptor(), 0);
    watcher.Watch({dir.File("adapter")});
    EXPECT_FALSE(watcher.TakeEvents());

    PseudoTerminal pty;
    fs::create_symlink(pty.SlavePath(), dir.File("adapter"));
    ASSERT_TRUE(Readable(watcher.Descriptor()));
    EXPECT_TRUE(watcher.TakeEvents());
    EXPECT_TRUE(watcher.DeviceExists(dir.File("adapter")));
    EXPECT_FALSE(watcher.TakeEvents()) << "events are read once";

    fs::remove(dir.File("adapter"));
    ASSERT_TRUE(Readable(watcher.Descriptor()));
    EXPECT_TRUE(watcher.TakeEvents());
    EXPECT_FALSE(watcher.DeviceExists(dir.File("adapter")));
}

TEST(DeviceWatcher, AFolderThatAppearsLaterIsWatchedOnceItIsThere)
{
    TempDir dir;
    const std::string byId = dir.File("serial/by-id");
    DeviceWatcher watcher;
    watcher.Watch({byId + "/usb-Example-if00"});
    fs::create_directories(byId);
    ASSERT_TRUE(Readable(watcher.Descriptor()));
    EXPECT_TRUE(watcher.TakeEvents());
    while (Readable(watcher.Descriptor()) && watcher.TakeEvents()) {
    }

    WriteFile(byId + "/usb-Example-if00", "");
    ASSERT_TRUE(Readable(watcher.Descriptor()));
    EXPECT_TRUE(watcher.TakeEvents());
}

TEST(DeviceWatcher, AThousandEventsAreTakenInOneGo)
{
    TempDir dir;
    DeviceWatcher watcher;
    watcher.Watch({dir.File("ttyUSB0")});
    for (int index = 0; index < 1000; ++index) {
        const std::string file = dir.File("node" + std::to_string(index));
        WriteFile(file, "");
        fs::remove(file);
    }
    EXPECT_TRUE(watcher.TakeEvents());
    EXPECT_FALSE(watcher.TakeEvents());
}

TEST(DeviceWatcher, OnlyCharacterDevicesExist)
{
    TempDir dir;
    WriteFile(dir.File("file"), "");
    DeviceWatcher watcher;
    EXPECT_FALSE(watcher.DeviceExists(dir.File("file")));
    EXPECT_FALSE(watcher.DeviceExists(dir.Path()));
    EXPECT_FALSE(watcher.DeviceExists(""));
    EXPECT_TRUE(watcher.DeviceExists("/dev/null"));
}

// A by-id folder and a sysfs tree like the kernel's, for a pseudo-terminal.
TEST(DeviceCatalog, NamesTheByIdLinkAndTheUsbProductOfADevice)
{
    TempDir dir;
    PseudoTerminal pty;
    DeviceDirectories directories{dir.File("by-id"), dir.File("class/tty")};
    const std::string byIdName = directories.byId + "/usb-Example_UART_A1B2-if00-port0";
    fs::create_directories(directories.byId);
    fs::create_symlink(pty.SlavePath(), byIdName);
    const std::string usbDevice = dir.File("devices/usb1/1-1");
    fs::create_directories(usbDevice + "/1-1:1.0/ttyUSB0");
    WriteFile(usbDevice + "/product", "Example UART\n");
    const std::string ttyName = fs::path(pty.SlavePath()).filename().string();
    fs::create_directories(directories.sysClassTty + "/" + ttyName);
    fs::create_symlink(usbDevice + "/1-1:1.0", directories.sysClassTty + "/" + ttyName + "/device");

    const DeviceCatalog catalog(directories);
    const DeviceDescription direct = catalog.Describe(pty.SlavePath());
    EXPECT_TRUE(direct.present);
    EXPECT_EQ(direct.byIdName, byIdName);
    EXPECT_EQ(direct.usbProduct, "Example UART");
    EXPECT_EQ(catalog.Describe(byIdName).byIdName, byIdName);

    const DeviceDescription absent = catalog.Describe(dir.File("gone"));
    EXPECT_FALSE(absent.present);
    EXPECT_TRUE(absent.byIdName.empty());
    EXPECT_TRUE(catalog.Describe("/dev/null").usbProduct.empty());
}

// The devices offered for picking: by-id names first, then the tty class's nodes that have a
// device behind them and are there.
TEST(DeviceCatalog, DetectedDevicesListByIdNamesFirstThenPresentTtyNodes)
{
    TempDir dir;
    PseudoTerminal first;
    PseudoTerminal second;
    DeviceDirectories directories{dir.File("by-id"), dir.File("class/tty")};
    fs::create_directories(directories.byId);
    fs::create_symlink(second.SlavePath(), directories.byId + "/usb-B");
    fs::create_symlink(first.SlavePath(), directories.byId + "/usb-A");
    fs::create_symlink(dir.File("gone"), directories.byId + "/usb-C");
    for (const char* node : {"zero", "null", "ttyNoSuchNode"}) {
        fs::create_directories(directories.sysClassTty + "/" + node);
    }
    fs::create_directories(directories.sysClassTty + "/null/device");
    fs::create_directories(directories.sysClassTty + "/ttyNoSuchNode/device");

    const std::vector<std::string> expected{directories.byId + "/usb-A", directories.byId + "/usb-B", "/dev/null"};
    EXPECT_EQ(DeviceCatalog(directories).DetectedDevices(), expected);
}

}  // namespace
