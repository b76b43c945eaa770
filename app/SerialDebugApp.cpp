#include "app/SerialDebugApp.h"

#include <QEventLoop>
#include <QString>
#include <QTimer>
#include <cstring>

#include "ui/MessageBox.h"
#include "app/SerialDebugDlg.h"
#include "app/SettingsFolder.h"
#include "app/WindowGroup.h"
#include "platform/ProfileFile.h"
#include "platform/ProgramDir.h"

namespace {

// What the user reads when the settings cannot be kept; "" when they can.
QString SettingsFolderMessage(const SettingsFolder& folder)
{
    const QString path = QString::fromStdString(folder.path);
    switch (folder.problem) {
    case SettingsFolderProblem::None:
        return QString();
    case SettingsFolderProblem::NoUserFolder:
        return QStringLiteral("找不到保存设置的文件夹（HOME 和 XDG_CONFIG_HOME 都没有设置）。本次使用默认设置，设置不会被保存。");
    case SettingsFolderProblem::NotAFolder:
        return QStringLiteral("设置文件夹“%1”不是文件夹。本次使用默认设置，设置不会被保存。").arg(path);
    case SettingsFolderProblem::CannotCreate:
        return QStringLiteral("不能创建设置文件夹“%1”：%2。本次使用默认设置，设置不会被保存。")
            .arg(path, QString::fromLocal8Bit(std::strerror(folder.error)));
    case SettingsFolderProblem::NotWritable:
        return QStringLiteral("设置文件夹“%1”不可写入，设置不会被保存。").arg(path);
    }
    return QString();
}

}  // namespace

bool CSerialDebugApp::InitInstance()
{
    m_programDir = ProgramDirectory();
    const SettingsFolder folder =
        SetUpSettingsFolder(m_programDir, SettingsEnvironment::OfThisProcess(), m_options.configDir);
    const QString problem = SettingsFolderMessage(folder);
    if (!problem.isEmpty()) {
        ShowMessage(nullptr, problem);
    }
    CWindowGroup group(folder.path);
    CSerialDebugDlg dialog(group);
    if (m_options.port) {
        dialog.SetStartPort(*m_options.port);
    }
    if (m_options.capture) {
        dialog.CaptureWhenPortOpens(*m_options.capture);
    }
    // The other windows open once the first has started up, which reads the scheme they share.
    QTimer::singleShot(0, &group, [this, &group] { OpenMoreWindows(group); });
    dialog.DoModal();
    if (group.Count() > 0) {
        QEventLoop untilTheLastCloses;
        QObject::connect(&group, &CWindowGroup::Ended, &untilTheLastCloses, &QEventLoop::quit);
        untilTheLastCloses.exec();
    }
    return false;
}

// The windows open at the last exit, or one for each further --port.
void CSerialDebugApp::OpenMoreWindows(CWindowGroup& group) const
{
    if (m_options.port) {
        for (const int port : m_options.morePorts) {
            group.OpenWindow(port);
        }
        return;
    }
    const std::optional<ProfileDocument> profile = ReadProfileFile(group.ConfigPath());
    const int count = profile ? LoadWindowCount(*profile) : 1;
    for (int window = 2; window <= count; ++window) {
        group.OpenWindow();
    }
}
