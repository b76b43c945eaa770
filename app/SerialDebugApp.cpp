#include "app/SerialDebugApp.h"

#include <QString>
#include <cstring>

#include "ui/MessageBox.h"
#include "app/SerialDebugDlg.h"
#include "app/SettingsFolder.h"
#include "platform/ProgramDir.h"

namespace {

// What the user reads when the settings cannot be kept; "" when they can.
QString SettingsFolderMessage(const SettingsFolder& folder)
{
    const QString path = QString::fromLocal8Bit(folder.path);
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
    CSerialDebugDlg dialog(folder.path);
    if (m_options.port) {
        dialog.SetStartPort(*m_options.port);
    }
    if (m_options.capture) {
        dialog.CaptureWhenPortOpens(*m_options.capture);
    }
    dialog.DoModal();
    return false;
}
