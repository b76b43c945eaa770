#include <gtest/gtest.h>

#include <cerrno>

#include "platform/CodePage.h"
#include "serial/PortOpening.h"
#include "tests/platform/TempDir.h"
#include "tests/support/PseudoTerminal.h"
#include "tests/support/ScopedEnvironment.h"

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

TEST(PortOpening, ANetworkPortsReasonNamesItsAddressAndWhatWentWrong)
{
    const std::string url = "rfc2217://lab:4001";
    EXPECT_EQ(Reason(1, url, OpenFailure::BadAddress),
              "网络串口 rfc2217://lab:4001 的地址不对：应写成 rfc2217://主机:端口 或 tcp://主机:端口，端口为 1 到 65535。");
    EXPECT_EQ(Reason(1, url, OpenFailure::NameNotResolved),
              "网络串口 rfc2217://lab:4001 的主机名无法解析（名称写错了，或者连不上域名服务器）。");
    EXPECT_EQ(Reason(1, url, OpenFailure::TimedOut), "网络串口 rfc2217://lab:4001 在 3 秒内没有应答。");
    EXPECT_EQ(Reason(1, url, OpenFailure::Unreachable),
              "网络串口 rfc2217://lab:4001 无法到达（网络不通，或者没有通往那台主机的路由）。");
    EXPECT_EQ(Reason(1, url, OpenFailure::ConnectionClosed), "网络串口 rfc2217://lab:4001 在建立连接时断开了连接。");
    EXPECT_EQ(Reason(1, url, OpenFailure::BinaryRefused), "网络串口 rfc2217://lab:4001 不接受 8 位数据（Telnet BINARY）。");
    EXPECT_EQ(Reason(1, url, OpenFailure::Other, EMFILE), "不能打开设备 rfc2217://lab:4001：Too many open files");
}

TEST(PortOpening, AVirtualOrMonitoredPortsReasonNamesTheNameOrTheMonitoredDevice)
{
    const ScopedEnvironment runtime("XDG_RUNTIME_DIR", "/run/user/7");
    EXPECT_EQ(Reason(7, "virtual:a/b", OpenFailure::BadVirtualPort, EINVAL),
              "COM7 的映射 virtual:a/b 不对：虚拟串口名称只能含字母、数字、-、_ 和 .。");
    EXPECT_EQ(Reason(7, "virtual:gps", OpenFailure::NameInUse, EBUSY), "虚拟串口 gps 正被另一个正在运行的串口调试程序使用。");
    EXPECT_EQ(Reason(7, "virtual:gps", OpenFailure::LinkFolder, EPERM),
              "文件夹 /run/user/7/serialdebug 不是当前用户独有的，不能在其中建立虚拟串口 gps 的链接。");
    EXPECT_EQ(Reason(7, "virtual:gps", OpenFailure::LinkFolder, ENOTDIR),
              "不能在文件夹 /run/user/7/serialdebug 中建立虚拟串口 gps 的链接：Not a directory");
    EXPECT_EQ(Reason(7, "monitor:/dev/ttyUSB0,m", OpenFailure::InUse), "监视端口的设备：设备 /dev/ttyUSB0 正被另一个程序使用。");
    EXPECT_EQ(Reason(7, "monitor:virtual:x,m", OpenFailure::BadVirtualPort, EINVAL),
              "COM7 的映射 monitor:virtual:x,m 不对：监视端口的设备不能是虚拟串口或监视端口。");
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
