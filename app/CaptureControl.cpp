#include "app/CaptureControl.h"

#include <QAction>
#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QWidget>
#include <cstring>

#include "app/FileDialog.h"
#include "app/MessageBox.h"

namespace {

constexpr int kProgressMilliseconds = 500;

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

CCaptureControl::CCaptureControl(QWidget* window, QAction* start, QAction* stop)
    : QObject(window), m_window(window), m_start(start), m_stop(stop), m_folder(QDir::homePath())
{
    m_progress.setInterval(kProgressMilliseconds);
    connect(&m_progress, &QTimer::timeout, this, &CCaptureControl::CheckProgress);
    connect(m_start, &QAction::triggered, this, &CCaptureControl::AskAndStart);
    connect(m_stop, &QAction::triggered, this, &CCaptureControl::StopByUser);
    ShowState();
}

void CCaptureControl::SetOptions(const DisplayOptions& options)
{
    m_options = options;
    m_capture.SetOptions(options);
}

void CCaptureControl::Received(const unsigned char* bytes, std::size_t count, const ReadTime& time)
{
    m_capture.Received(bytes, count, time);
}

void CCaptureControl::Sent(const unsigned char* bytes, std::size_t count, const ReadTime& time)
{
    m_capture.Sent(bytes, count, time);
}

QString CCaptureControl::Title(bool active, std::uint64_t fileSize)
{
    const QString title = QStringLiteral("串口调试");
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
    m_unattendedPath.clear();
    Start(path, QFileInfo::exists(path) ? CaptureOpen::Truncate : CaptureOpen::CreateNew);
}

void CCaptureControl::StartWhenPortOpens(const std::string& path, bool portOpen)
{
    m_startOnOpen = path;
    m_unattendedPath = path;
    if (portOpen) {
        PortOpened();
    }
}

void CCaptureControl::PortOpened()
{
    if (m_startOnOpen.empty()) {
        return;
    }
    const QString path = QString::fromStdString(m_startOnOpen);
    m_startOnOpen.clear();
    Start(path, CaptureOpen::Append);
}

void CCaptureControl::Start(const QString& path, CaptureOpen mode)
{
    const std::string failure = m_capture.Start(path.toStdString(), mode, m_options);
    ShowState();
    if (!failure.empty()) {
        ShowMessage(m_window, QStringLiteral("不能创建记录文件“%1”：%2").arg(path, QString::fromLocal8Bit(failure)));
    }
}

bool CCaptureControl::Stop()
{
    if (!m_capture.IsActive()) {
        return true;
    }
    const std::optional<CaptureFailure> failure = m_capture.Stop();
    ShowState();
    if (failure) {
        ShowMessage(m_window, FailureText(QString::fromStdString(m_capture.Path()), *failure));
    }
    return !failure;
}

void CCaptureControl::StopByUser()
{
    m_unattendedPath.clear();
    Stop();
}

// A file that failed is not tried again at every reconnection.
void CCaptureControl::PortLost()
{
    const bool unattended = m_capture.IsActive() && !m_unattendedPath.empty();
    if (Stop() && unattended) {
        m_startOnOpen = m_unattendedPath;
    }
}

void CCaptureControl::CheckProgress()
{
    if (m_capture.Failure()) {
        Stop();
        return;
    }
    m_window->setWindowTitle(Title(true, m_capture.FileSize()));
}

void CCaptureControl::ShowState()
{
    const bool active = m_capture.IsActive();
    m_start->setEnabled(!active);
    m_stop->setEnabled(active);
    if (active) {
        m_progress.start();
    } else {
        m_progress.stop();
    }
    m_window->setWindowTitle(Title(active, m_capture.FileSize()));
}
