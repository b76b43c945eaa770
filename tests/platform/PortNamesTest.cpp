#include <gtest/gtest.h>

#include "platform/PortNames.h"
#include "platform/ProfileFile.h"
#include "tests/platform/TempDir.h"

TEST(PortNames, DefaultTableCoversFiftyPorts)
{
    EXPECT_EQ(ResolvePortDevice("\\\\.\\COM1", ""), "/dev/ttyUSB0");
    EXPECT_EQ(ResolvePortDevice("\\\\.\\COM10", ""), "/dev/ttyUSB9");
    EXPECT_EQ(ResolvePortDevice("\\\\.\\COM11", ""), "/dev/ttyACM0");
    EXPECT_EQ(ResolvePortDevice("\\\\.\\COM20", ""), "/dev/ttyACM9");
    EXPECT_EQ(ResolvePortDevice("\\\\.\\COM21", ""), "/dev/ttyS0");
    EXPECT_EQ(ResolvePortDevice("\\\\.\\COM50", "/nonexistent/Config.ini"), "/dev/ttyS29");
    for (const char* name : {"\\\\.\\COM51", "\\\\.\\COM1024", "\\\\.\\COM0", "\\\\.\\COM", "\\\\.\\COMx", "LPT1", "",
                             "\\\\.\\COM99999999999"}) {
        EXPECT_EQ(ResolvePortDevice(name, ""), "") << name;
    }
}

TEST(PortNames, PortsSectionOverridesTheTable)
{
    TempDir dir;
    const std::string config = dir.File("Config.ini");
    WriteFile(config, "[Setting]\r\nPort=2\r\n[Ports]\r\ncom3=/dev/serial/by-id/usb-x\r\nCOM60=/dev/pts/9\r\nCOM4=\r\n");
    EXPECT_EQ(ResolvePortDevice("\\\\.\\COM3", config), "/dev/serial/by-id/usb-x");
    EXPECT_EQ(ResolvePortDevice("\\\\.\\COM60", config), "/dev/pts/9");
    EXPECT_EQ(ResolvePortDevice("\\\\.\\COM4", config), "/dev/ttyUSB3");  // an empty entry maps nothing
    EXPECT_EQ(ResolvePortDevice("\\\\.\\COM5", config), "/dev/ttyUSB4");
}

TEST(PortNames, TheWholeListResolvesEachPortAsItsOwnLookupDoes)
{
    TempDir dir;
    const std::string config = dir.File("Config.ini");
    WriteFile(config, "[Ports]\r\nCOM03=/dev/zero-padded\r\ncom2=/dev/first\r\nCOM2=/dev/second\r\nCOM1=\r\n"
                      "[Setting]\r\nCOM4=/dev/not-a-port\r\n[ports]\r\nCOM1=/dev/later\r\nCOM5 = ' /dev/quoted '\r\n"
                      "COM6=" + std::string(5000, 'p') + std::string("\r\nCOM7=/dev/a\0b\r\nCOM60=/dev/beyond\r\n", 36));
    const std::vector<std::string> devices = ResolvePortDevices(50, *ReadProfileFile(config));
    ASSERT_EQ(devices.size(), 50u);
    for (int number = 1; number <= 50; ++number) {
        EXPECT_EQ(devices[static_cast<std::size_t>(number - 1)],
                  ResolvePortDevice("\\\\.\\COM" + std::to_string(number), config))
            << number;
    }
    EXPECT_EQ(devices[1], "/dev/first");
    EXPECT_EQ(devices[2], "/dev/ttyUSB2");
    EXPECT_EQ(devices[4], " /dev/quoted ");
    EXPECT_EQ(devices[5].size(), 4095u);
    EXPECT_EQ(devices[6], "/dev/a");
}
