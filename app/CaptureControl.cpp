#include "app/CaptureControl.h"

#include <QAction>
#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QWidget>
#include <cstring>

#include "session/TerminalSession.h"
#include "ui/FileDialog.h"
#include "ui/MessageBox.h"

namespace {

QString FailureText(const QString& path, const CaptureFailure& failure)
{
    switch (failure.kind) {
    case CaptureFailure::WriteFailed:
        return QStringLiteral("写入记录文件“%1”失败：%2。记录已停止，已写入的数据仍在文件中。")
            .arg(path, QString::fromLocal8Bit(std::strerror(failure.error)));
    case CaptureFailure::FileGone:
        return QStringLiteral("记录文件“%1”已不存在（文件或它所在的文件夹被删除或移走了）。记录已停止。").arg(path);
    case CaptureFailure::TooSlow:
        break;
    }
    return QStringLiteral("磁盘写入跟不上接收的速度，记录已停止。已写入的数据仍在文件“%1”中。").arg(path);
}

}  // namespace

CCaptureControl::CCaptureControl(QWidget* window, QAction* start, QAction* stop, TerminalSession& session)
    : QObject(window), m_window(window), m_start(start), m_stop(stop), m_session(session), m_folder(QDir::homePath())
{
    connect(m_start, &QAction::triggered, this, &CCaptureControl::AskAndStart);
    connect(m_stop, &QAction::triggered, this, [this] { m_session.StopCapture(); });
    m_session.AddObserver(this);
    CaptureChanged();
}

CCaptureControl::~CCaptureControl() { m_session.RemoveObserver(this); }

void CCaptureControl::SetPortName(const QString& portName)
{
    m_portName = portName;
    CaptureChanged();
}

QString CCaptureControl::Title(bool active, std::uint64_t fileSize, const QString& portName)
{
    const QString title =
        portName.isEmpty() ? QStringLiteral("串口调试") : QStringLiteral("串口调试 - %1").arg(portName);
    if (!active) {
        return title;
    }
    const double megabytes = static_cast<double>(fileSize) / (1024.0 * 1024.0);
    return QStringLiteral("%1 - 记录 %2 MB").arg(title).arg(megabytes, 0, 'f', 1);
}

void CCaptureControl::AskAndStart()
{
    const QString stamp = QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd-HHmmss"));
    const QString name = QStringLiteral("serial-%1.log").arg(stamp);
    const QString path = AskFilePath(m_window, {FileDialogKind::Save, QStringLiteral("记录文件(*.log)"),
                                                QStringLiteral("log"), true, QDir(m_folder).filePath(name)});
    if (path.isEmpty()) {
        return;
    }
    m_folder = QFileInfo(path).absolutePath();
    m_session.StartCapture(path.toStdString(), QFileInfo::exists(path) ? CaptureOpen::Truncate : CaptureOpen::CreateNew);
}

void CCaptureControl::CaptureChanged()
{
    const SessionCapture& capture = m_session.Capture();
    m_start->setEnabled(!capture.IsActive());
    m_stop->setEnabled(capture.IsActive());
    m_window->setWindowTitle(Title(capture.IsActive(), capture.FileSize(), m_portName));
}

void CCaptureControl::Message(const SessionMessage& message)
{
    const QString path = QString::fromStdString(message.path);
    if (message.kind == SessionMessage::CaptureNotCreated) {
        ShowMessage(m_window, QStringLiteral("不能创建记录文件“%1”：%2").arg(path, QString::fromLocal8Bit(message.detail)));
    } else if (message.kind == SessionMessage::CaptureEnded) {
        ShowMessage(m_window, FailureText(path, message.failure));
    }
}
