#include "serial/PortOpening.h"

#include <cerrno>
#include <cstring>

#include "platform/CodePage.h"
#include "platform/NetworkDevice.h"
#include "platform/VirtualDevice.h"
#include "platform/VirtualTarget.h"

namespace {

std::string Sentence(const std::string& utf8) { return Utf8ToGbk(utf8); }

std::string NetworkFailureReason(const std::string& target, OpenFailure failure)
{
    const std::string port = "网络串口 " + target;
    const std::string seconds = std::to_string(NetworkDevice::kOpenTimeout.count() / 1000);
    switch (failure) {
    case OpenFailure::BadAddress:
        return port + " 的地址不对：应写成 rfc2217://主机:端口 或 tcp://主机:端口，端口为 1 到 65535。";
    case OpenFailure::NameNotResolved:
        return port + " 的主机名无法解析（名称写错了，或者连不上域名服务器）。";
    case OpenFailure::Refused:
        return port + " 拒绝连接（那台主机的这个端口上没有服务在监听）。";
    case OpenFailure::TimedOut:
        return port + " 在 " + seconds + " 秒内没有应答。";
    case OpenFailure::Unreachable:
        return port + " 无法到达（网络不通，或者没有通往那台主机的路由）。";
    case OpenFailure::ConnectionClosed:
        return port + " 在建立连接时断开了连接。";
    case OpenFailure::NoTelnet:
        return port + " 在 " + seconds + " 秒内没有 Telnet 应答，它可能不是 RFC 2217 服务器（原始 TCP 请写 tcp://）。";
    case OpenFailure::BinaryRefused:
        return port + " 不接受 8 位数据（Telnet BINARY）。";
    case OpenFailure::Cancelled:
        return "连接" + port + " 已取消。";
    default:
        return {};
    }
}

// The failures of making a virtual port; a monitor's device fails as the device itself would.
std::string VirtualFailureReason(int number, const std::string& target, const OpenError& error)
{
    VirtualTarget parsed;
    std::string reason;
    if (!ParseVirtualTarget(target, parsed, reason)) {
        return Sentence("COM" + std::to_string(number) + " 的映射 " + target + " 不对：") + reason + Sentence("。");
    }
    const std::string port = "虚拟串口 " + parsed.name;
    switch (error.failure) {
    case OpenFailure::NameInUse:
        return Sentence(port + " 正被另一个正在运行的串口调试程序使用。");
    case OpenFailure::LinkFolder:
        if (error.systemError == EPERM) {
            return Sentence("文件夹 " + VirtualPortFolder() + " 不是当前用户独有的，不能在其中建立" + port + " 的链接。");
        }
        return Sentence("不能在文件夹 " + VirtualPortFolder() + " 中建立" + port + " 的链接：" +
                        std::strerror(error.systemError));
    default:
        return parsed.IsMonitor() ? Sentence("监视端口的设备：") + OpenFailureReason(number, parsed.device, error)
                                  : Sentence("不能建立" + port + "：" + std::strerror(error.systemError));
    }
}

PortOpening OutcomeOf(const PortEngine& port, const OpenSteps& steps)
{
    PortOpening opening;
    if (!steps.opened) {
        opening.reason = OpenFailureReason(port.PortNumber(), port.Target(), port.LastOpenError());
    } else if (!steps.setUp) {
        opening.reason = Sentence("设备 " + port.Target() + " 不能设置缓冲区和超时。");
    } else if (!steps.settingsTaken) {
        opening.reason = Sentence("设备 " + port.Target() + " 不接受设置“") + steps.settings + Sentence("”。");
    } else {
        opening.succeeded = true;
    }
    return opening;
}

}  // namespace

std::string PortDeviceName(int number) { return "\\\\.\\COM" + std::to_string(number); }

std::string OpenFailureReason(int number, const std::string& target, const OpenError& error)
{
    const std::string port = "COM" + std::to_string(number);
    if (target.empty()) {
        return Sentence(port + " 没有对应的设备（可在 Config.ini 的 [Ports] 一节中指定）。");
    }
    if (IsVirtualTarget(target)) {
        return VirtualFailureReason(number, target, error);
    }
    switch (error.failure) {
    case OpenFailure::NoSuchDevice:
        return Sentence("设备 " + target + " 不存在（设备没有接上，或者名称不对）。");
    case OpenFailure::InUse:
        return Sentence("设备 " + target + " 正被另一个程序使用。");
    case OpenFailure::NoPermission:
        return Sentence("没有打开设备 " + target +
                        " 的权限：请把用户加入 dialout 组（sudo usermod -aG dialout $USER），然后重新登录。");
    case OpenFailure::NotSerialDevice:
        return Sentence(target + " 不是串口设备。");
    case OpenFailure::None:
    case OpenFailure::Other:
        break;
    default:
        return Sentence(NetworkFailureReason(target, error.failure));
    }
    return Sentence("不能打开设备 " + target + "：" + std::strerror(error.systemError));
}

PortOpening OpenNumberedPort(PortEngine& port, int number, const std::string& settings)
{
    port.SetPortNumber(number);
    port.SetDeviceName(PortDeviceName(number));
    if (port.BeginOpening(settings)) {
        PortOpening opening;
        opening.pending = true;
        return opening;
    }
    OpenSteps steps;
    steps.settings = settings;
    steps.opened = port.Open();
    steps.setUp = steps.opened && port.Setup();
    steps.settingsTaken = steps.setUp && port.SetState(settings);
    return OutcomeOf(port, steps);
}

std::optional<PortOpening> FinishPortOpening(PortEngine& port)
{
    const std::optional<OpenSteps> steps = port.FinishOpening();
    if (!steps) {
        return std::nullopt;
    }
    return OutcomeOf(port, *steps);
}
