#include <gtest/gtest.h>

#include "platform/PortNames.h"
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
