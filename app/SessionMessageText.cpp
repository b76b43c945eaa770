#include "app/SessionMessageText.h"

#include "ui/Gbk.h"

namespace {

QString PortOpenFailedText() { return QStringLiteral("不能打开串口！"); }

}  // namespace

QString SessionMessageText(const SessionMessage& message)
{
    switch (message.kind) {
    case SessionMessage::PortNumberInvalid:
        return PortOpenFailedText();
    case SessionMessage::PortNotOpened:
        return PortOpenFailedText() + QLatin1Char('\n') + FromGbk(message.detail);
    case SessionMessage::PortOpeningFailed:
        return QStringLiteral("不能打开端口！端口不存在或者已经打开！");
    case SessionMessage::AutoSendPortClosed:
        return QStringLiteral("端口没有打开，无法发送！");
    case SessionMessage::AutoSendZeroInterval:
        return QStringLiteral("自动发送周期不能为0，请重新设置！");
    case SessionMessage::PortFailure:
        return FromGbk(message.detail);
    case SessionMessage::BadEscape:
        return QStringLiteral("发送区第 %1 个字符处的“\\”不是可用的转义字符（\\r \\n \\t \\\\ \\0 \\xHH），没有发送。")
            .arg(FromGbkLines(message.detail.substr(0, message.position)).size() + 1);
    case SessionMessage::FileNotSent:
        return message.detail == "notRegular"
                   ? QStringLiteral("“%1”不是普通文件，不能发送。").arg(QString::fromStdString(message.path))
                   : QStringLiteral("不能读取文件“%1”：%2").arg(QString::fromStdString(message.path),
                                                          QString::fromLocal8Bit(message.detail));
    case SessionMessage::FileSendEnded:
        return message.detail == "portClosed"
                   ? QStringLiteral("串口已关闭，文件“%1”没有发送完。").arg(QString::fromStdString(message.path))
               : message.detail == "shrank"
                   ? QStringLiteral("文件“%1”在发送时变短了，已发送到它的末尾。").arg(QString::fromStdString(message.path))
                   : QStringLiteral("读取文件“%1”失败，发送已停止。").arg(QString::fromStdString(message.path));
    case SessionMessage::CaptureNotCreated:
    case SessionMessage::CaptureEnded:
        break;
    }
    return QString();
}

