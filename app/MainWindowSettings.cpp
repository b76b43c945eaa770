// The main window's settings: Config.ini read into the controls at start and written at the
// end, and the settings folder and Default.pol kept sound on the way.
#include <QAction>
#include <filesystem>

#include "platform/Utf8Path.h"
#include "app/DisplaySettings.h"
#include "app/SerialDebugDlg.h"
#include "app/WindowGroup.h"
#include "platform/WholeFile.h"
#include "scheme/SchemeFile.h"

void CSerialDebugDlg::ExchangeSettings(bool load)
{
    const int number = m_group.NumberOf(this);
    if (load) {
        const WindowSettings settings = LoadSettings(ConfigPath(), number);
        m_portIndex = settings.port;
        m_settings = settings.bordRate;
        m_autoClear = settings.autoClear;
        m_autoReply = settings.autoRecive;
        m_autoSendInterval = settings.interval;
        m_hexDisplay = settings.hexDisplay;
        m_hexSend = settings.hexSend;
        m_sendText = settings.sendData;
        m_commands[ID_AUTO_RECONNECT]->setChecked(settings.autoReconnect != 0);
        m_session.SetAutoReconnect(settings.autoReconnect != 0);
        ApplyDisplayOptions(DisplayOptionsFrom(settings));
        m_session.SetTextSendOptions(TextSendOptionsFrom(settings));
        m_fileSendOptions = FileSendOptionsFrom(settings);
        if (number == 1 && ImportScheme(SchemePath()).incomplete) {
            KeepIncompleteDefaultScheme();
        }
        m_commands[ID_INSTANT_REPLY]->setChecked(settings.instantReply != 0);
        m_commands[ID_REPLY_STATISTICS]->setChecked(settings.replyStatistics != 0);
        UpdateData(false);
        return;
    }
    if (m_group.IsLast(this)) {
        m_group.ExportDefaultScheme();
    }
    UpdateData(true);
    m_group.Closed(this, PulledSettings());
}

WindowSettings CSerialDebugDlg::PulledSettings() const
{
    WindowSettings settings;
    settings.port = m_portIndex;
    settings.bordRate = m_settings;
    settings.autoClear = m_autoClear;
    settings.autoRecive = m_autoReply;
    settings.interval = m_autoSendInterval;
    settings.hexDisplay = m_hexDisplay;
    settings.hexSend = m_hexSend;
    settings.sendData = m_sendText;
    settings.autoReconnect = m_commands.at(ID_AUTO_RECONNECT)->isChecked() ? 1 : 0;
    settings.instantReply = m_commands.at(ID_INSTANT_REPLY)->isChecked() ? 1 : 0;
    settings.replyStatistics = m_commands.at(ID_REPLY_STATISTICS)->isChecked() ? 1 : 0;
    StoreDisplayOptions(m_session.Options(), settings);
    StoreSendOptions(m_session.SendOptions(), m_fileSendOptions, settings);
    return settings;
}

// Removes the temporary files that a run killed while saving left in the settings folder.
void CSerialDebugDlg::CleanSettingsFolder() const
{
    const std::filesystem::path configFolder = PathFromUtf8(ConfigPath()).parent_path();
    const std::filesystem::path schemeFolder = PathFromUtf8(SchemePath()).parent_path();
    RemoveStaleTemporaryFiles(Utf8FromPath(configFolder));
    if (schemeFolder != configFolder) {
        RemoveStaleTemporaryFiles(Utf8FromPath(schemeFolder));
    }
}

// Default.pol exists but could not be read completely: writing it at exit would lose what was
// not read, so a copy is kept first; when none can be made, the file is left alone.
void CSerialDebugDlg::KeepIncompleteDefaultScheme()
{
    const bool copyKept = KeepSchemeCopy(SchemePath());
    if (!copyKept) {
        m_group.KeepDefaultScheme();
    }
    m_session.ShowLine(IncompleteDefaultSchemeLine(copyKept));
}
