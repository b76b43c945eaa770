#include "serial/PortOpening.h"

#include <cstring>

#include "platform/CodePage.h"

namespace {

std::string Sentence(const std::string& utf8) { return Utf8ToGbk(utf8); }

}  // namespace

std::string PortDeviceName(int number) { return "\\\\.\\COM" + std::to_string(number); }

std::string OpenFailureReason(int number, const std::string& target, const OpenError& error)
{
    const std::string port = "COM" + std::to_string(number);
    if (target.empty()) {
        return Sentence(port + " 没有对应的设备（可在 Config.ini 的 [Ports] 一节中指定）。");
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
    }
    return Sentence("不能打开设备 " + target + "：" + std::strerror(error.systemError));
}

PortOpening OpenNumberedPort(PortEngine& port, int number, const std::string& settings)
{
    port.SetPortNumber(number);
    port.SetDeviceName(PortDeviceName(number));
    PortOpening opening;
    if (!port.Open()) {
        opening.reason = OpenFailureReason(number, port.Target(), port.LastOpenError());
    } else if (!port.Setup()) {
        opening.reason = Sentence("设备 " + port.Target() + " 不能设置缓冲区和超时。");
    } else if (!port.SetState(settings)) {
        opening.reason = Sentence("设备 " + port.Target() + " 不接受设置“") + settings + Sentence("”。");
    } else {
        opening.succeeded = true;
    }
    return opening;
}
