#include "app/SerialDebugDlg.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QFileInfo>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>

#include "app/AboutDlg.h"
#include "app/Calculator.h"
#include "app/CaptureControl.h"
#include "app/DisplaySettingsDlg.h"
#include "app/FindDlg.h"
#include "app/PlotDlg.h"
#include "app/IntegerText.h"
#include "app/PortKeeper.h"
#include "app/PortStatusDlg.h"
#include "app/ReceiveView.h"
#include "app/SessionMessageText.h"
#include "app/Settings.h"
#include "app/WindowGroup.h"
#include "res/Icons.h"
#include "scheme/SchemeDlg.h"
#include "sendlist/SendListDlg.h"
#include "sendlist/SendListPanel.h"
#include "traffic/Crc16.h"
#include "traffic/SaveText.h"
#include "traffic/SendText.h"
#include "ui/FileDialog.h"
#include "ui/Gbk.h"
#include "ui/MessageBox.h"

namespace {

constexpr int kRefreshMilliseconds = 16;

// Wrapping at word boundaries takes time growing with the square of the longest word: a send
// text of a megabyte without blanks would stall the window for a minute. A text that long
// wraps anywhere instead.
constexpr qsizetype kWordWrapLimit = 64 * 1024;

void ShowSendText(QPlainTextEdit* area, const QString& text)
{
    // Emptied first, so the old text is never laid out again in the new mode.
    area->clear();
    area->setWordWrapMode(text.size() > kWordWrapLimit ? QTextOption::WrapAnywhere
                                                       : QTextOption::WrapAtWordBoundaryOrAnywhere);
    area->setPlainText(text);
}

}  // namespace

CSerialDebugDlg::CSerialDebugDlg(std::string programDirectory, QWidget* parent)
    : CSerialDebugDlg(std::make_unique<CWindowGroup>(std::move(programDirectory)), nullptr, parent)
{
}

CSerialDebugDlg::CSerialDebugDlg(CWindowGroup& group, QWidget* parent) : CSerialDebugDlg(nullptr, &group, parent) {}

CSerialDebugDlg::CSerialDebugDlg(std::unique_ptr<CWindowGroup> ownGroup, CWindowGroup* group, QWidget* parent)
    : QDialog(parent),
      m_ownGroup(std::move(ownGroup)),
      m_group(group != nullptr ? *group : *m_ownGroup),
      m_scheme(m_group.GetScheme()),
      m_session(m_loop, m_scheme, m_portWatch.Watcher(), m_group.ConfigPath())
{
    setWindowTitle(QStringLiteral("串口调试"));
    setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowMinMaxButtonsHint |
                   Qt::WindowCloseButtonHint);
    setSizeGripEnabled(false);
    CreateControls();
    CreateMenu();
    m_receiveView = std::make_unique<ReceiveView>(m_receiveArea);
    m_session.AddObserver(this);
    m_captureControl = new CCaptureControl(this, m_commands[ID_CAPTURE_START], m_commands[ID_CAPTURE_STOP], m_session);
    FillPortList();
    m_portKeeper = new PortKeeper(m_portList, ConfigPath(), m_portWatch, m_session, this);
    m_portKeeper->RefreshPortList();
    ConnectControls();
    UpdateData(false);
    m_group.Join(this);
    connect(&m_group, &CWindowGroup::WindowsChanged, this, &CSerialDebugDlg::ShowTitle);
}

// The windows that observe the session or the scheme go before them.
CSerialDebugDlg::~CSerialDebugDlg()
{
    m_group.Forget(this);
    m_session.RemoveObserver(this);
    delete m_findDlg;
    delete m_plotDlg;
    delete m_portStatus;
    delete m_captureControl;
    delete m_sendListPanel;
    m_sendListPanel = nullptr;
    m_session.Port().Close();
}

void CSerialDebugDlg::ConnectControls()
{
    connect(m_openButton, &QPushButton::clicked, this, &CSerialDebugDlg::OnBnClickedOpen);
    connect(m_portList, &QComboBox::activated, this, &CSerialDebugDlg::OnPortActivated);
    connect(m_settingsEdit, &QLineEdit::textChanged, this,
            [this](const QString& text) { m_session.SetLineSettings(ToGbk(text)); });
    connect(m_hexDisplayBox, &QCheckBox::toggled, this, [this](bool on) { m_session.SetHexDisplay(on); });
    connect(m_autoClearBox, &QCheckBox::toggled, this, [this](bool on) { m_session.SetAutoClear(on); });
    connect(m_autoReplyBox, &QCheckBox::toggled, this, [this](bool on) { m_session.SetAutoReply(on); });
    connect(m_extendButton, &QPushButton::clicked, this, &CSerialDebugDlg::OnExtend);
    connect(m_topmostBox, &QCheckBox::clicked, this, &CSerialDebugDlg::OnTopmost);
    connect(Button(IDC_CLEAR_RECEIVE), &QPushButton::clicked, this, &CSerialDebugDlg::OnClearReceive);
    connect(m_autoSendBox, &QCheckBox::clicked, this, &CSerialDebugDlg::OnAutoSend);
    connect(Button(IDC_CLEAR_SEND), &QPushButton::clicked, this, &CSerialDebugDlg::OnClearSend);
    connect(Button(IDC_MANUAL_SEND), &QPushButton::clicked, this, &CSerialDebugDlg::OnManualSend);
    connect(m_hexSendBox, &QCheckBox::clicked, this, &CSerialDebugDlg::OnHexSend);
    connect(Button(IDC_RESET_COUNT), &QPushButton::clicked, this, &CSerialDebugDlg::OnResetCounters);
    m_refreshTimer.setSingleShot(true);
    m_refreshTimer.setInterval(kRefreshMilliseconds);
    connect(&m_refreshTimer, &QTimer::timeout, this, &CSerialDebugDlg::RefreshReceiveView);
    connect(m_commands[ID_FILE_SAVE], &QAction::triggered, this, &CSerialDebugDlg::OnSaveData);
    connect(m_commands[ID_CRC16], &QAction::triggered, this, &CSerialDebugDlg::OnCrc16);
    int id = ID_CHECK_FIRST;
    for (const CheckDefinition& check : CheckCatalogue()) {
        connect(m_commands[id++], &QAction::triggered, this, [this, &check] { OnCheck(check); });
    }
    connect(m_commands[ID_APP_EXIT], &QAction::triggered, &m_group, &CWindowGroup::CloseAll);
    connect(m_commands[ID_NEW_WINDOW], &QAction::triggered, this, &CSerialDebugDlg::OnNewWindow);
    connect(m_commands[ID_TIMELINE], &QAction::triggered, this, &CSerialDebugDlg::OnTimeline);
    connect(m_commands[ID_SEND_FILE], &QAction::triggered, this, &CSerialDebugDlg::OnSendFile);
    connect(m_commands[ID_SEND_SETTINGS], &QAction::triggered, this, &CSerialDebugDlg::OnSendSettings);
    connect(m_commands[ID_FIND], &QAction::triggered, this, &CSerialDebugDlg::OnFind);
    connect(m_commands[ID_PLOT], &QAction::triggered, this, &CSerialDebugDlg::OnPlot);
    connect(m_commands[ID_PORT_MAP], &QAction::triggered, this, &CSerialDebugDlg::OnPortMap);
    connect(m_commands[ID_FIND_NEXT], &QAction::triggered, this, &CSerialDebugDlg::OnFindNext);
    connect(m_commands[ID_CALCULATOR], &QAction::triggered, this, &CSerialDebugDlg::OnCalculator);
    connect(m_commands[ID_AUTO_RECONNECT], &QAction::triggered, this, &CSerialDebugDlg::OnAutoReconnect);
    connect(m_commands[ID_PORT_STATUS], &QAction::triggered, this, &CSerialDebugDlg::OnPortStatus);
    connect(m_commands[ID_DISPLAY_SETTINGS], &QAction::triggered, this, &CSerialDebugDlg::OnDisplaySettings);
    connect(m_commands[ID_INSTANT_REPLY], &QAction::toggled, this, &CSerialDebugDlg::OnInstantReply);
    connect(m_commands[ID_REPLY_STATISTICS], &QAction::toggled, this,
            [this](bool on) { m_session.SetReplyStatistics(on); });
    connect(m_commands[ID_APP_ABOUT], &QAction::triggered, this, &CSerialDebugDlg::OnAbout);
    connect(m_commands[ID_EDIT_SCHEME], &QAction::triggered, this, &CSerialDebugDlg::OnEditScheme);
    connect(m_commands[ID_SEND_LIST], &QAction::triggered, this, &CSerialDebugDlg::OnSendListConfig);
    connect(m_commands[ID_IMPORT_SCHEME], &QAction::triggered, this, &CSerialDebugDlg::OnImportScheme);
    connect(m_commands[ID_EXPORT_SCHEME], &QAction::triggered, this, &CSerialDebugDlg::OnExportScheme);
}

std::string CSerialDebugDlg::ConfigPath() const
{
    return m_group.ConfigPath();
}

std::string CSerialDebugDlg::SchemePath() const
{
    return m_group.SchemePath();
}

bool CSerialDebugDlg::OnInitDialog()
{
    setWindowIcon(ApplicationIcon());
    CreateSendListPanel();
    if (m_group.NumberOf(this) == 1) {
        CleanSettingsFolder();
    }
    ExchangeSettings(true);
    if (m_startPort) {
        m_portIndex = *m_startPort - 1;
    }
    UpdateData(false);
    OpenPort();
    return true;
}

// The panel lives in frame 1437 and is hidden with it. It exists before the settings load,
// whose scheme import fills its rows.
void CSerialDebugDlg::CreateSendListPanel()
{
    m_sendListPanel = new CSendListPanel(m_scheme, m_session, m_panelFrame);
    m_sendListPanel->OnInitDialog();
    m_sendListPanel->setGeometry(m_panelFrame->contentsRect());
}

// Modal to nothing but itself: the program's other windows take input beside it.
int CSerialDebugDlg::DoModal()
{
    OnInitDialog();
    setWindowModality(Qt::WindowModal);
    return exec();
}

bool CSerialDebugDlg::PullInterval()
{
    const std::optional<int> value = ParseInteger(m_intervalEdit->text().toStdString());
    if (!value) {
        ShowMessage(this, QStringLiteral("请输入一个整数。"));
        m_intervalEdit->setFocus();
        m_intervalEdit->selectAll();
        return false;
    }
    m_autoSendInterval = *value;
    return true;
}

bool CSerialDebugDlg::UpdateData(bool saveAndValidate)
{
    if (saveAndValidate) {
        m_sendText = ToGbkLines(m_sendArea->toPlainText());
        m_portIndex = m_portList->currentIndex();
        m_settings = ToGbk(m_settingsEdit->text());
        m_autoClear = m_autoClearBox->isChecked() ? 1 : 0;
        m_autoReply = m_autoReplyBox->isChecked() ? 1 : 0;
        if (!PullInterval()) {
            return false;
        }
        m_hexDisplay = m_hexDisplayBox->isChecked() ? 1 : 0;
        m_hexSend = m_hexSendBox->isChecked() ? 1 : 0;
        return true;
    }
    const QString sendText = FromGbkLines(m_sendText);
    if (m_sendArea->toPlainText() != sendText) {
        ShowSendText(m_sendArea, sendText);
    }
    m_portList->setCurrentIndex(m_portIndex >= 0 && m_portIndex < m_portList->count() ? m_portIndex : -1);
    m_settingsEdit->setText(FromGbk(m_settings));
    m_autoClearBox->setChecked(m_autoClear != 0);
    m_autoReplyBox->setChecked(m_autoReply != 0);
    m_intervalEdit->setText(QString::number(m_autoSendInterval));
    m_hexDisplayBox->setChecked(m_hexDisplay != 0);
    m_hexSendBox->setChecked(m_hexSend != 0);
    return true;
}

void CSerialDebugDlg::OpenPort()
{
    m_session.StopReconnecting();
    UpdateData(true);
    m_session.OpenPort(m_portIndex + 1, m_settings);
    UpdateData(false);
    ShowTitle();
}

void CSerialDebugDlg::ShowTitle() const
{
    m_captureControl->SetPortName(m_group.Count() > 1 ? m_portList->currentText() : QString());
}

void CSerialDebugDlg::ClosePort()
{
    m_session.ClosePort();
}

void CSerialDebugDlg::PortStateChanged()
{
    RefreshPortState();
}

void CSerialDebugDlg::RefreshPortState()
{
    m_portOpen = m_session.IsPortOpen();
    // While a network port connects, the button ends the connecting.
    SetOpenCaption(m_portOpen || m_session.Connecting());
    ShowPortState(m_portOpen);
}

void CSerialDebugDlg::SetOpenCaption(bool open)
{
    m_openButton->setText(open ? QStringLiteral("关闭") : QStringLiteral("打开"));
}

// The port closed: auto-send and the send list's cycle stop with it.
void CSerialDebugDlg::SendingStopped()
{
    m_autoSendBox->setChecked(false);
    if (m_sendListPanel != nullptr) {
        m_sendListPanel->StopCyclicSend();
    }
}

void CSerialDebugDlg::Message(const SessionMessage& message)
{
    if (message.kind == SessionMessage::PortFailure) {
        ShowMessage(nullptr, SessionMessageText(message), MessageButtons::Ok, FromGbk(message.caption));
        return;
    }
    const QString text = SessionMessageText(message);
    if (!text.isEmpty()) {
        ShowMessage(this, text);
    }
}

void CSerialDebugDlg::ReceiveChanged()
{
    ScheduleRefresh();
}

void CSerialDebugDlg::UseClock(const Clock& clock)
{
    m_session.UseClock(clock);
}

void CSerialDebugDlg::ScheduleRefresh()
{
    if (!m_refreshTimer.isActive()) {
        m_refreshTimer.start();
    }
}

void CSerialDebugDlg::RefreshReceiveView()
{
    m_refreshTimer.stop();
    m_receiveView->Show(m_session.Area(), m_findDlg == nullptr || !m_findDlg->HoldsView());
    if (m_findDlg != nullptr) {
        m_findDlg->RefreshSoon();
    }
    ShowCounters();
}

void CSerialDebugDlg::ShowCounters()
{
    m_receiveCountLabel->setText(QStringLiteral("接收：%1").arg(m_session.ReceiveCounter()));
    ShowSendCount();
}

void CSerialDebugDlg::OnClearReceive()
{
    m_session.ClearReceive();
    RefreshReceiveView();
}

bool CSerialDebugDlg::SendString(std::string text, std::int32_t isHex)
{
    return m_session.SendString(std::move(text), isHex);
}

// What a send shows: its text in the send area, "HEX发送", and the count.
void CSerialDebugDlg::Sent(const std::string& text, std::int32_t isHex)
{
    const QString shown = FromGbkLines(text);
    if (m_sendArea->toPlainText() != shown) {
        ShowSendText(m_sendArea, shown);
    }
    m_hexSendBox->setChecked(isHex != 0);
    ShowSendCount();
}

void CSerialDebugDlg::OnManualSend()
{
    UpdateData(true);
    SendString(m_sendText, m_hexSendBox->isChecked() ? 1 : 0);
}

void CSerialDebugDlg::AutoSendDue()
{
    OnManualSend();
}

void CSerialDebugDlg::OnAutoSend()
{
    UpdateData(true);
    m_autoSendBox->setChecked(m_session.SetAutoSend(m_autoSendBox->isChecked(), m_autoSendInterval));
}

void CSerialDebugDlg::OnClearSend()
{
    m_sendArea->clear();
}

void CSerialDebugDlg::OnResetCounters()
{
    m_session.ResetCounters();
    ShowCounters();
}

void CSerialDebugDlg::OnHexSend()
{
    if (m_sendArea->toPlainText().isEmpty()) {
        return;
    }
    UpdateData(true);
    const bool toHex = m_hexSendBox->isChecked();
    const HexToggleResult result = ToggleHexSend(m_sendText, toHex);
    m_sendText = result.text;
    m_hexSend = result.hexChecked ? 1 : 0;
    if (result.hexChecked != toHex) {
        UpdateData(false);
    } else {
        ShowSendText(m_sendArea, FromGbkLines(m_sendText));
    }
}

void CSerialDebugDlg::OnCrc16()
{
    AppendCheckToSendText(Crc16Bytes);
}

void CSerialDebugDlg::OnSaveData()
{
    // The command asks about an existing file itself, so the dialog does not ask too.
    const QString path = AskFilePath(
        nullptr, {FileDialogKind::Save, QStringLiteral("文本文件(*.txt)"), QStringLiteral("txt"), false});
    if (path.isEmpty()) {
        return;
    }
    if (QFileInfo::exists(path) &&
        ShowMessage(this, QStringLiteral("文件已经存在。要覆盖吗？"), MessageButtons::YesNo) != QMessageBox::Yes) {
        return;
    }
    const ReceiveArea& area = m_session.Area();
    const std::string failure = SaveReceivedText(path.toStdString(), TextToSave(area.Text(), area.Options().codec));
    if (!failure.empty()) {
        ShowMessage(this, QStringLiteral("不能保存文件“%1”：%2").arg(path, QString::fromLocal8Bit(failure)));
    }
}

void CSerialDebugDlg::OnBnClickedOpen()
{
    UpdateData(true);
    if (m_portOpen || m_session.Connecting()) {
        m_session.StopReconnecting();
        ClosePort();
    } else {
        OpenPort();
    }
}

void CSerialDebugDlg::OnPortActivated()
{
    OpenPort();
}

void CSerialDebugDlg::OnAbout()
{
    CAboutDlg about(this);
    about.exec();
}

SchemeImport CSerialDebugDlg::ImportScheme(const std::string& path)
{
    return m_scheme.Import(path);
}

void CSerialDebugDlg::ExportScheme(const std::string& path)
{
    m_scheme.Export(path);
}

void CSerialDebugDlg::OnImportScheme()
{
    const QString path = AskSchemeFilePath(this, FileDialogKind::Open);
    if (!path.isEmpty()) {
        ImportScheme(path.toStdString());
    }
}

void CSerialDebugDlg::OnExportScheme()
{
    const QString path = AskSchemeFilePath(this, FileDialogKind::Save);
    if (!path.isEmpty()) {
        ExportScheme(path.toStdString());
    }
}

void CSerialDebugDlg::OnEditScheme()
{
    CSchemeDlg editor(m_scheme, this);
    if (m_commands[ID_REPLY_STATISTICS]->isChecked()) {
        editor.ShowStatistics();
    }
    editor.exec();
}

// The panel hears of the changes once the dialog has ended: after OK, and after Cancel when Add
// or Delete changed the send list.
void CSerialDebugDlg::OnSendListConfig()
{
    CSendListDlg dialog(m_scheme, this);
    dialog.exec();
}

void CSerialDebugDlg::OnCalculator()
{
    StartCalculator();
}

void CSerialDebugDlg::OnAutoReconnect()
{
    m_session.SetAutoReconnect(m_commands[ID_AUTO_RECONNECT]->isChecked());
}

void CSerialDebugDlg::OnInstantReply()
{
    m_session.SetInstantReply(m_commands[ID_INSTANT_REPLY]->isChecked());
}

void CSerialDebugDlg::OnPortStatus()
{
    if (m_portStatus == nullptr) {
        m_portStatus = new CPortStatusDlg(m_session, this);
        m_portStatus->PlaceBeside(*this);
    }
    m_portStatus->show();
    m_portStatus->raise();
    m_portStatus->activateWindow();
}

void CSerialDebugDlg::OnDisplaySettings()
{
    CDisplaySettingsDlg dialog(m_session.Options(), this);
    if (dialog.exec() == QDialog::Accepted) {
        ApplyDisplayOptions(dialog.Options());
    }
}

void CSerialDebugDlg::ApplyDisplayOptions(const DisplayOptions& options)
{
    m_session.SetDisplayOptions(options);
    RefreshReceiveView();
}

void CSerialDebugDlg::CaptureWhenPortOpens(const std::string& path)
{
    m_session.CaptureWhenPortOpens(path);
}

void CSerialDebugDlg::StopCapture()
{
    m_session.StopCapture();
}

bool CSerialDebugDlg::IsCapturing() const
{
    return m_session.Capture().IsActive();
}

void CSerialDebugDlg::keyPressEvent(QKeyEvent* event)
{
    const bool enter = event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter;
    if (enter && event->modifiers() == Qt::NoModifier) {
        QWidget* focus = focusWidget();
        if (focus == m_sendArea || focus == m_receiveArea || qobject_cast<QPushButton*>(focus) != nullptr) {
            event->ignore();
            return;
        }
        accept();
        return;
    }
    QDialog::keyPressEvent(event);
}

void CSerialDebugDlg::done(int result)
{
    if (result == QDialog::Accepted && !UpdateData(true)) {
        return;
    }
    DestroyWindow();
    QDialog::done(result);
}

bool CSerialDebugDlg::DestroyWindow()
{
    if (m_destroyed) {
        return false;
    }
    m_destroyed = true;
    m_session.StopReconnecting();
    m_session.Port().CancelOpening();
    ExchangeSettings(false);
    // The timers end with the window: a closed window sends nothing more.
    m_session.Shutdown();
    // The program goes on with other windows: the port is free for them at once.
    if (m_group.Count() > 0) {
        m_session.Port().Close();
    }
    return true;
}
