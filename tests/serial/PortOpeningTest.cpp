#include <gtest/gtest.h>

#include <cerrno>

#include "platform/CodePage.h"
#include "serial/PortOpening.h"
#include "tests/platform/TempDir.h"
#include "tests/support/PseudoTerminal.h"

namespace {

std::string Reason(int number, const std::string& target, OpenFailure failure, int error = 0)
{
    return GbkToUtf8(OpenFailureReason(number, target, {failure, error}));
}

TEST(PortOpening, TheReasonNamesTheDeviceInPlainWords)
{
    EXPECT_EQ(Reason(60, "", OpenFailure::NoSuchDevice), "COM60 没有对应的设备（可在 Config.ini 的 [Ports] 一节中指定）。");
    EXPECT_EQ(Reason(1, "/dev/ttyUSB0", OpenFailure::NoSuchDevice),
              "设备 /dev/ttyUSB0 不存在（设备没有接上，或者名称不对）。");
    EXPECT_EQ(Reason(1, "/dev/ttyUSB0", OpenFailure::InUse), "设备 /dev/ttyUSB0 正被另一个程序使用。");
    EXPECT_EQ(Reason(1, "/dev/ttyUSB0", OpenFailure::NoPermission),
              "没有打开设备 /dev/ttyUSB0 的权限：请把用户加入 dialout 组（sudo usermod -aG dialout $USER），然后重新登录。");
    EXPECT_EQ(Reason(1, "/dev/null", OpenFailure::NotSerialDevice), "/dev/null 不是串口设备。");
    EXPECT_EQ(Reason(1, "/dev/ttyUSB0", OpenFailure::Other, EIO), "不能打开设备 /dev/ttyUSB0：Input/output error");
}

TEST(PortOpening, OpensThroughThePortMapAndSaysWhichStepFailed)
{
    TempDir dir;
    PseudoTerminal pty;
    const std::string config = dir.File("Config.ini");
    WriteFile(config, "[Ports]\r\nCOM3=" + pty.SlavePath() + "\r\nCOM4=/dev/null\r\n");
    PortEngine port;
    port.SetPortMapFile(config);

    PortOpening opening = OpenNumberedPort(port, 3, "9600,n,8,1");
    EXPECT_TRUE(opening.succeeded);
    EXPECT_TRUE(opening.reason.empty());
    EXPECT_EQ(port.DeviceName(), "\\\\.\\COM3");

    opening = OpenNumberedPort(port, 3, "fast");
    EXPECT_FALSE(opening.succeeded);
    EXPECT_TRUE(port.IsOpen()) << "refused settings leave the port open";
    EXPECT_EQ(GbkToUtf8(opening.reason), "设备 " + pty.SlavePath() + " 不接受设置“fast”。");

    opening = OpenNumberedPort(port, 4, "9600,n,8,1");
    EXPECT_FALSE(port.IsOpen());
    EXPECT_EQ(GbkToUtf8(opening.reason), "/dev/null 不是串口设备。");
}

}  // namespace
