#include "app/SerialDebugDlg.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QFrame>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QPainter>
#include <QPlainTextEdit>
#include <QFileInfo>
#include <QPushButton>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextLayout>
#include <QVBoxLayout>
#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <stdexcept>
#include <vector>

#include "app/AboutDlg.h"
#include "app/Calculator.h"
#include "app/CaptureControl.h"
#include "app/DisplaySettings.h"
#include "app/DisplaySettingsDlg.h"
#include "app/FileDialog.h"
#include "app/Gbk.h"
#include "app/IntegerText.h"
#include "app/MessageBox.h"
#include "app/NotificationSink.h"
#include "app/PortKeeper.h"
#include "app/PortStatusDlg.h"
#include "app/Settings.h"
#include "platform/WholeFile.h"
#include "res/Icons.h"
#include "serial/PortOpening.h"
#include "scheme/SchemeDlg.h"
#include "scheme/SchemeFile.h"
#include "sendlist/SendListDlg.h"
#include "sendlist/SendListPanel.h"
#include "traffic/AutoReply.h"
#include "traffic/Crc16.h"
#include "traffic/SaveText.h"
#include "traffic/SendText.h"

namespace {

constexpr int kPortCount = 50;
constexpr int kHighestPortNumber = 1024;
constexpr int kPortIconSize = 24;
constexpr int kRefreshMilliseconds = 16;
const QSize kClientSize(633, 386);

QString PortOpenFailedText() { return QStringLiteral("不能打开串口！"); }

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

// The window's client area: the controls are placed on it in pixels, and it reports its size
// and paints the port-state icon for the dialog.
class ClientArea : public QWidget {
public:
    explicit ClientArea(CSerialDebugDlg* dialog) : QWidget(dialog), m_dialog(dialog) {}

protected:
    void resizeEvent(QResizeEvent* event) override
    {
        QWidget::resizeEvent(event);
        m_dialog->OnSize(width(), height());
    }

    void paintEvent(QPaintEvent* event) override
    {
        QWidget::paintEvent(event);
        QPainter painter(this);
        m_dialog->PaintPortState(painter);
    }

private:
    CSerialDebugDlg* m_dialog;
};

CSerialDebugDlg::CSerialDebugDlg(std::string programDirectory, QWidget* parent)
    : QDialog(parent), m_programDirectory(std::move(programDirectory))
{
    setWindowTitle(QStringLiteral("串口调试"));
    setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowMinMaxButtonsHint |
                   Qt::WindowCloseButtonHint);
    setSizeGripEnabled(false);
    CreateControls();
    CreateMenu();
    m_sink = std::make_unique<WindowNotificationSink>(this);
    // Set before the first opening too, so a failure of the monitor thread is reported then.
    m_port.SetNotificationSink(m_sink.get());
    m_captureControl = new CCaptureControl(this, m_commands[ID_CAPTURE_START], m_commands[ID_CAPTURE_STOP]);
    FillPortList();
    m_portKeeper = new PortKeeper(m_port, m_portList, ConfigPath(), this);
    m_portKeeper->RefreshPortList();
    ConnectControls();
    UpdateData(false);
}

CSerialDebugDlg::~CSerialDebugDlg()
{
    m_sink->Detach();
    delete m_sendListPanel;
    m_sendListPanel = nullptr;
    m_sendList.clear();
    m_port.Close();
}

void CSerialDebugDlg::CreateControls()
{
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    m_menuBar = new QMenuBar(this);
    layout->setMenuBar(m_menuBar);
    m_client = new ClientArea(this);
    m_client->setMinimumSize(1, 1);
    layout->addWidget(m_client);

    CreateTopRow();
    CreateWorkArea();
    CreateBottomRow();
    resize(kClientSize.width(), kClientSize.height() + m_menuBar->sizeHint().height());
}

template <typename Widget>
Widget* CSerialDebugDlg::AddControl(int id, Widget* widget, const QRect& geometry)
{
    widget->setParent(m_client);
    widget->setGeometry(geometry);
    widget->setObjectName(QString::number(id));
    m_controls[id] = widget;
    return widget;
}

void CSerialDebugDlg::CreateTopRow()
{
    m_topFrame = AddControl(IDC_TOP_FRAME, new QFrame, QRect(2, 2, 629, 36));
    m_topFrame->setFrameStyle(QFrame::Box | QFrame::Sunken);
    auto* portLabel = new QLabel(QStringLiteral("串口："), m_client);
    portLabel->setGeometry(8, 12, 36, 18);
    m_portList = AddControl(IDC_PORT, new QComboBox, QRect(44, 9, 76, 24));
    m_portList->setMaxVisibleItems(20);
    m_settingsEdit = AddControl(IDC_SETTINGS, new QLineEdit, QRect(124, 9, 96, 24));
    m_portIconPlace = AddControl(IDC_PORT_ICON, new QLabel, QRect(226, 9, kPortIconSize, kPortIconSize));
    m_portIconPlace->hide();
    m_openButton = AddControl(IDC_OPEN, new QPushButton(QStringLiteral("打开")), QRect(254, 9, 50, 24));
    AddControl(IDC_CLEAR_RECEIVE, new QPushButton(QStringLiteral("清空")), QRect(308, 9, 50, 24));
    m_hexDisplayBox = AddControl(IDC_HEX_DISPLAY, new QCheckBox(QStringLiteral("HEX显示")), QRect(362, 12, 72, 20));
    m_autoClearBox = AddControl(IDC_AUTO_CLEAR, new QCheckBox(QStringLiteral("自动清空")), QRect(436, 12, 74, 20));
    m_autoReplyBox = AddControl(IDC_AUTO_REPLY, new QCheckBox(QStringLiteral("自动回复")), QRect(512, 12, 74, 20));
    m_extendButton = AddControl(IDC_EXTEND, new QPushButton(QStringLiteral("扩展")), QRect(590, 9, 38, 24));
    m_extendButton->setCheckable(true);
}

void CSerialDebugDlg::CreateWorkArea()
{
    const int w = kClientSize.width();
    const int h = kClientSize.height();
    m_receiveArea = AddControl(IDC_RECEIVE, new QPlainTextEdit, QRect(2, 42, w - 4, h - 42 - 70));
    m_receiveArea->setReadOnly(true);
    m_receiveArea->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    m_receiveArea->setUndoRedoEnabled(false);
    // Received data is shown as it is: no ligatures or kerning, which spares shaping every line.
    QFont receiveFont = m_receiveArea->font();
    receiveFont.setStyleStrategy(QFont::PreferNoShaping);
    m_receiveArea->setFont(receiveFont);
    m_panelFrame = AddControl(IDC_PANEL_FRAME, new QFrame, QRect(w - 240, 42, 240, h - 42 - 70));
    m_panelFrame->setFrameStyle(QFrame::Box | QFrame::Plain);
    m_panelFrame->hide();
    AddControl(IDC_CLEAR_SEND, new QPushButton(QStringLiteral("清空发送区")), QRect(2, h - 66, 80, 22));
    AddControl(IDC_MANUAL_SEND, new QPushButton(QStringLiteral("手动发送")), QRect(84, h - 66, 66, 22));
    m_hexSendBox = AddControl(IDC_HEX_SEND, new QCheckBox(QStringLiteral("HEX发送")), QRect(2, h - 42, 80, 18));
    m_sendArea = AddControl(IDC_SEND, new QPlainTextEdit, QRect(154, h - 66, w - 154 - 2, 42));
    m_sendArea->setTabChangesFocus(true);
}

void CSerialDebugDlg::CreateBottomRow()
{
    const int w = kClientSize.width();
    const int top = kClientSize.height() - 20;
    m_autoSendBox = AddControl(IDC_AUTO_SEND, new QCheckBox(QStringLiteral("自动发送")), QRect(2, top, 72, 18));
    m_intervalEdit = AddControl(IDC_INTERVAL, new QLineEdit, QRect(76, top, 50, 18));
    AddControl(IDC_MILLISECONDS, new QLabel(QStringLiteral("毫秒")), QRect(128, top, 28, 18));
    m_topmostBox = AddControl(IDC_TOPMOST, new QCheckBox(QStringLiteral("顶层")), QRect(160, top, 52, 18));
    auto makeCounter = [this](int id, const QString& text, const QRect& geometry) {
        auto* label = AddControl(id, new QLabel(text), geometry);
        label->setAlignment(Qt::AlignCenter);
        label->setFrameStyle(QFrame::Panel | QFrame::Sunken);
        return label;
    };
    m_receiveCountLabel = makeCounter(IDC_RECEIVE_COUNT, QStringLiteral("接收：0"), QRect(216, top, 96, 18));
    m_sendCountLabel = makeCounter(IDC_SEND_COUNT, QStringLiteral("发送：0"), QRect(316, top, 96, 18));
    auto* reset = AddControl(IDC_RESET_COUNT, new QPushButton(QStringLiteral("计数清零")), QRect(416, top, 64, 18));
    reset->setFlat(true);
    makeCounter(IDC_BANNER, QStringLiteral("串口调试软件"), QRect(484, top, w - 484 - 2, 18));
}

QAction* CSerialDebugDlg::AddCommand(QMenu* menu, int id, const QString& text)
{
    QAction* action = menu->addAction(text);
    action->setData(id);
    m_commands[id] = action;
    return action;
}

void CSerialDebugDlg::CreateMenu()
{
    QMenu* file = m_menuBar->addMenu(QStringLiteral("文件(&F)"));
    AddCommand(file, ID_FILE_SAVE, QStringLiteral("保存数据(&S)..."));
    AddCommand(file, ID_IMPORT_SCHEME, QStringLiteral("导入方案..."));
    AddCommand(file, ID_EXPORT_SCHEME, QStringLiteral("导出方案..."));
    AddCommand(file, ID_CAPTURE_START, QStringLiteral("开始记录(&L)..."));
    AddCommand(file, ID_CAPTURE_STOP, QStringLiteral("停止记录(&T)"));
    file->addSeparator();
    AddCommand(file, ID_APP_EXIT, QStringLiteral("退出(&X)"));
    QMenu* edit = m_menuBar->addMenu(QStringLiteral("编辑(&E)"));
    AddCommand(edit, ID_EDIT_SCHEME, QStringLiteral("编辑方案..."));
    AddCommand(edit, ID_SEND_LIST, QStringLiteral("发送列表(&S)"));
    QMenu* check = m_menuBar->addMenu(QStringLiteral("添加校验(&C)"));
    AddCommand(check, ID_CRC16, QStringLiteral("CRC16"));
    QMenu* tools = m_menuBar->addMenu(QStringLiteral("工具(&T)"));
    AddCommand(tools, ID_CALCULATOR, QStringLiteral("计算器(&C)"));
    AddCommand(tools, ID_AUTO_RECONNECT, QStringLiteral("自动重连(&R)"))->setCheckable(true);
    AddCommand(tools, ID_PORT_STATUS, QStringLiteral("串口状态(&P)..."));
    AddCommand(tools, ID_DISPLAY_SETTINGS, QStringLiteral("显示设置(&D)..."));
    AddCommand(tools, ID_INSTANT_REPLY, QStringLiteral("立即回复(&I)"))->setCheckable(true);
    QMenu* help = m_menuBar->addMenu(QStringLiteral("帮助(&H)"));
    AddCommand(help, ID_APP_ABOUT, QStringLiteral("关于(&A)..."));
}

void CSerialDebugDlg::ConnectControls()
{
    connect(m_openButton, &QPushButton::clicked, this, &CSerialDebugDlg::OnBnClickedOpen);
    connect(m_portList, &QComboBox::activated, this, &CSerialDebugDlg::OnPortActivated);
    connect(m_extendButton, &QPushButton::clicked, this, &CSerialDebugDlg::OnExtend);
    connect(m_topmostBox, &QCheckBox::clicked, this, &CSerialDebugDlg::OnTopmost);
    connect(Button(IDC_CLEAR_RECEIVE), &QPushButton::clicked, this, &CSerialDebugDlg::OnClearReceive);
    connect(m_autoSendBox, &QCheckBox::clicked, this, &CSerialDebugDlg::OnAutoSend);
    connect(Button(IDC_CLEAR_SEND), &QPushButton::clicked, this, &CSerialDebugDlg::OnClearSend);
    connect(Button(IDC_MANUAL_SEND), &QPushButton::clicked, this, &CSerialDebugDlg::OnManualSend);
    connect(m_hexSendBox, &QCheckBox::clicked, this, &CSerialDebugDlg::OnHexSend);
    connect(Button(IDC_RESET_COUNT), &QPushButton::clicked, this, &CSerialDebugDlg::OnResetCounters);
    connect(&m_autoSendTimer, &QTimer::timeout, this, &CSerialDebugDlg::OnManualSend);
    m_refreshTimer.setSingleShot(true);
    m_refreshTimer.setInterval(kRefreshMilliseconds);
    connect(&m_refreshTimer, &QTimer::timeout, this, &CSerialDebugDlg::RefreshReceiveView);
    connect(m_commands[ID_FILE_SAVE], &QAction::triggered, this, &CSerialDebugDlg::OnSaveData);
    connect(m_commands[ID_CRC16], &QAction::triggered, this, &CSerialDebugDlg::OnCrc16);
    connect(m_commands[ID_APP_EXIT], &QAction::triggered, this, &QDialog::close);
    connect(m_commands[ID_CALCULATOR], &QAction::triggered, this, &CSerialDebugDlg::OnCalculator);
    connect(m_commands[ID_AUTO_RECONNECT], &QAction::triggered, this, &CSerialDebugDlg::OnAutoReconnect);
    connect(m_commands[ID_PORT_STATUS], &QAction::triggered, this, &CSerialDebugDlg::OnPortStatus);
    connect(m_portKeeper, &PortKeeper::ReopenWanted, this, &CSerialDebugDlg::OnReopenLostPort);
    connect(m_commands[ID_DISPLAY_SETTINGS], &QAction::triggered, this, &CSerialDebugDlg::OnDisplaySettings);
    connect(m_commands[ID_INSTANT_REPLY], &QAction::toggled, this, &CSerialDebugDlg::UpdateInstantReply);
    connect(m_autoReplyBox, &QCheckBox::toggled, this, &CSerialDebugDlg::UpdateInstantReply);
    connect(m_commands[ID_APP_ABOUT], &QAction::triggered, this, &CSerialDebugDlg::OnAbout);
    connect(m_commands[ID_EDIT_SCHEME], &QAction::triggered, this, &CSerialDebugDlg::OnEditScheme);
    connect(m_commands[ID_SEND_LIST], &QAction::triggered, this, &CSerialDebugDlg::OnSendListConfig);
    connect(m_commands[ID_IMPORT_SCHEME], &QAction::triggered, this, &CSerialDebugDlg::OnImportScheme);
    connect(m_commands[ID_EXPORT_SCHEME], &QAction::triggered, this, &CSerialDebugDlg::OnExportScheme);
}

void CSerialDebugDlg::FillPortList()
{
    for (int number = 1; number <= kPortCount; ++number) {
        m_portList->addItem(QStringLiteral("COM%1").arg(number));
    }
}

std::string CSerialDebugDlg::ConfigPath() const
{
    return m_programDirectory + "/Config.ini";
}

std::string CSerialDebugDlg::SchemePath() const
{
    return m_programDirectory + "/Default.pol";
}

bool CSerialDebugDlg::OnInitDialog()
{
    setWindowIcon(ApplicationIcon());
    CreateSendListPanel();
    CleanSettingsFolder();
    ExchangeSettings(true);
    if (m_startPort) {
        m_portIndex = *m_startPort - 1;
    }
    UpdateData(false);
    OpenPort();
    m_initialised = true;
    return true;
}

// The panel lives in frame 1437 and is hidden with it. It exists before the settings load,
// whose scheme import fills its rows.
void CSerialDebugDlg::CreateSendListPanel()
{
    m_sendListPanel = new CSendListPanel(m_panelFrame);
    m_sendListPanel->m_pMainDlg = this;
    m_sendListPanel->OnInitDialog();
    m_sendListPanel->setGeometry(m_panelFrame->contentsRect());
}

int CSerialDebugDlg::DoModal()
{
    OnInitDialog();
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

void CSerialDebugDlg::ExchangeSettings(bool load)
{
    if (load) {
        const WindowSettings settings = LoadSettings(ConfigPath());
        m_portIndex = settings.port;
        m_settings = settings.bordRate;
        m_autoClear = settings.autoClear;
        m_autoReply = settings.autoRecive;
        m_autoSendInterval = settings.interval;
        m_hexDisplay = settings.hexDisplay;
        m_hexSend = settings.hexSend;
        m_sendText = settings.sendData;
        m_commands[ID_AUTO_RECONNECT]->setChecked(settings.autoReconnect != 0);
        m_portKeeper->SetAutoReconnect(settings.autoReconnect != 0);
        ApplyDisplayOptions(DisplayOptionsFrom(settings));
        if (ImportScheme(SchemePath()).incomplete) {
            KeepIncompleteDefaultScheme();
        }
        m_commands[ID_INSTANT_REPLY]->setChecked(settings.instantReply != 0);
        UpdateData(false);
        return;
    }
    if (!m_keepDefaultScheme) {
        ExportScheme(SchemePath());
    }
    UpdateData(true);
    WindowSettings settings;
    settings.port = m_portIndex;
    settings.bordRate = m_settings;
    settings.autoClear = m_autoClear;
    settings.autoRecive = m_autoReply;
    settings.interval = m_autoSendInterval;
    settings.hexDisplay = m_hexDisplay;
    settings.hexSend = m_hexSend;
    settings.sendData = m_sendText;
    settings.autoReconnect = m_commands[ID_AUTO_RECONNECT]->isChecked() ? 1 : 0;
    settings.instantReply = m_commands[ID_INSTANT_REPLY]->isChecked() ? 1 : 0;
    StoreDisplayOptions(m_receiveText.Options(), settings);
    SaveSettings(ConfigPath(), settings);
}

// Removes the temporary files that a run killed while saving left in the settings folder.
void CSerialDebugDlg::CleanSettingsFolder() const
{
    const std::filesystem::path configFolder = std::filesystem::path(ConfigPath()).parent_path();
    const std::filesystem::path schemeFolder = std::filesystem::path(SchemePath()).parent_path();
    RemoveStaleTemporaryFiles(configFolder.string());
    if (schemeFolder != configFolder) {
        RemoveStaleTemporaryFiles(schemeFolder.string());
    }
}

// Default.pol exists but could not be read completely: writing it at exit would lose what was
// not read, so a copy is kept first; when none can be made, the file is left alone.
void CSerialDebugDlg::KeepIncompleteDefaultScheme()
{
    const bool copyKept = KeepSchemeCopy(SchemePath());
    m_keepDefaultScheme = !copyKept;
    m_receiveText.AppendText(IncompleteDefaultSchemeLine(copyKept));
    ScheduleRefresh();
}

void CSerialDebugDlg::OpenPort()
{
    m_portKeeper->UserTookOver();
    try {
        UpdateData(true);
        // Also ends the connecting of a network port.
        m_port.Close();
        const int number = m_portIndex + 1;
        if (number < 1 || number > kHighestPortNumber) {
            ShowMessage(this, PortOpenFailedText());
        } else {
            m_port.SetPortMapFile(ConfigPath());
            const PortOpening opening = OpenNumberedPort(m_port, number, m_settings);
            if (!opening.succeeded && !opening.pending) {
                ShowPortOpenFailure(opening.reason);
            }
        }
        m_port.SetNotificationSink(m_sink.get());
        RefreshPortState();
        if (m_port.IsOpen()) {
            m_port.SetState(m_settings);
            m_captureControl->PortOpened();
        }
        UpdateData(false);
    } catch (const std::exception&) {
        ShowMessage(this, QStringLiteral("不能打开端口！端口不存在或者已经打开！"));
        RefreshPortState();
    }
}

void CSerialDebugDlg::ShowPortOpenFailure(const std::string& reason)
{
    ShowMessage(this, PortOpenFailedText() + QLatin1Char('\n') + FromGbk(reason));
}

bool CSerialDebugDlg::Connecting() const { return m_port.Opening() && !m_portKeeper->Reopening(); }

void CSerialDebugDlg::RefreshPortState()
{
    m_portOpen = m_port.IsOpen();
    // While a network port connects, the button ends the connecting.
    SetOpenCaption(m_portOpen || Connecting());
    ShowPortState(m_portOpen);
    TouchPortStatus();
}

void CSerialDebugDlg::SetOpenCaption(bool open)
{
    m_openButton->setText(open ? QStringLiteral("关闭") : QStringLiteral("打开"));
}

void CSerialDebugDlg::ClosePort()
{
    m_autoSendBox->setChecked(false);
    m_autoSendTimer.stop();
    if (m_sendListPanel != nullptr) {
        m_sendListPanel->StopCyclicSend();
    }
    SetOpenCaption(false);
    // Also ends the connecting of a network port.
    m_port.Close();
    m_portOpen = m_port.IsOpen();
    ShowPortState(m_portOpen);
    TouchPortStatus();
}

void CSerialDebugDlg::ShowPortState(bool open)
{
    m_portStateIcon = open ? PortOpenIcon(kPortIconSize) : PortClosedIcon(kPortIconSize);
    m_portStateIconOpen = open;
    m_client->update();
}

void CSerialDebugDlg::PaintPortState(QPainter& painter) const
{
    if (!m_portStateIcon.isNull()) {
        painter.drawPixmap(m_portIconPlace->geometry().topLeft(), m_portStateIcon);
    }
}

void CSerialDebugDlg::OnPortNotification(unsigned message, int, long)
{
    if (message == WM_COMM_RXCHAR) {
        OnCommRxChar();
    } else if (message == WM_COMM_LOST) {
        OnCommLost();
    } else if (message == WM_COMM_OPENED) {
        OnCommOpened();
    }
    TouchPortStatus();
}

// The device has gone: the port is closed as the user would close it, and the receive area
// says so; no message box (one per unplugged cable would be a nuisance).
void CSerialDebugDlg::OnCommLost()
{
    // A loss of a port that has been closed or opened again since is no news.
    if (!m_port.IsLost()) {
        return;
    }
    const int number = m_port.PortNumber();
    const std::string device = m_port.Target();
    ClosePort();
    m_captureControl->PortLost();
    AppendReceiveLine("\r\n--串口已断开--\r\n");
    m_portKeeper->PortLost(number, device);
}

// The opening of a network port, which went on in the background, has ended: the window shows
// its outcome as OpenPort shows a local port's.
void CSerialDebugDlg::OnCommOpened()
{
    const std::optional<PortOpening> opening = FinishPortOpening(m_port);
    if (!opening) {
        return;  // ended by the user, or taken already
    }
    if (m_portKeeper->Reopening()) {
        FinishReopening();
        return;
    }
    if (!opening->succeeded) {
        ShowPortOpenFailure(opening->reason);
    }
    RefreshPortState();
    if (m_port.IsOpen()) {
        m_captureControl->PortOpened();
    }
}

void CSerialDebugDlg::OnReopenLostPort(int number)
{
    const PortOpening opening = OpenNumberedPort(m_port, number, ToGbk(m_settingsEdit->text()));
    if (!opening.pending) {
        FinishReopening();
    }
}

void CSerialDebugDlg::FinishReopening()
{
    m_portKeeper->ReopenAttempted(m_port.IsOpen());
    if (!m_port.IsOpen()) {
        return;
    }
    m_port.SetNotificationSink(m_sink.get());
    RefreshPortState();
    AppendReceiveLine("\r\n--串口已重新连接--\r\n");
    m_captureControl->PortOpened();
}

void CSerialDebugDlg::AppendReceiveLine(const char* utf8Line)
{
    m_receiveText.AppendText(Utf8ToGbk(utf8Line));
    ScheduleRefresh();
}

void CSerialDebugDlg::TouchPortStatus()
{
    if (m_portStatus != nullptr) {
        m_portStatus->Touch();
    }
}

void CSerialDebugDlg::OnCommRxChar()
{
    unsigned char buffer[kAutoReplyReadSize];
    const std::size_t count = m_port.ReadReceived(buffer, sizeof buffer, m_receivedPieces);
    AppendReceivedPieces(buffer);
    m_receiveCounter += static_cast<int>(count);

    m_autoReply = m_autoReplyBox->isChecked() ? 1 : 0;
    ShowInstantReplies();
    if (m_autoReply != 0 && !InstantReplyOn()) {
        m_receiveBuffer.Append(buffer, static_cast<int>(count));
        RunAutoReply(m_receiveBuffer);
        if (m_receiveBuffer.GetSize() > static_cast<int>(kAutoReplyBufferLimit)) {
            m_receiveBuffer.Clear();
        }
    }
    m_autoClear = m_autoClearBox->isChecked() ? 1 : 0;
    m_receiveText.ApplyClearingRules(m_autoClear != 0);
    ScheduleRefresh();
}

// Each piece with the time it was read from the device, so that frames split where the device
// fell silent even when the window took the bytes later.
void CSerialDebugDlg::AppendReceivedPieces(const unsigned char* bytes)
{
    const bool hex = m_hexDisplayBox->isChecked();
    for (const ReceivedPiece& piece : m_receivedPieces) {
        m_receiveText.AppendReceived(bytes, piece.size, hex, piece.readAt);
        m_captureControl->Received(bytes, piece.size, piece.readAt);
        bytes += piece.size;
    }
}

void CSerialDebugDlg::UseClock(const Clock& clock)
{
    m_clock = &clock;
    m_port.SetReadClock(clock);
}

int CSerialDebugDlg::RunAutoReply(CSharedBuffer& buffer)
{
    try {
        const int size = buffer.GetSize();
        std::vector<unsigned char> snapshot(static_cast<std::size_t>(size));
        const int copied = buffer.CopyTo(snapshot.data(), size);
        const int index = FindFiringRule(m_rules, snapshot.data(), static_cast<std::size_t>(copied));
        if (index < 0) {
            return 0;
        }
        const ProtocolRule rule = *m_rules[static_cast<std::size_t>(index)];
        SendString(rule.SendData, rule.SendIsHex);
        m_receiveText.AppendText(AutoReplyLine(rule.Name));
        buffer.Clear();
        ScheduleRefresh();
        return 1;
    } catch (const std::exception&) {
        return 0;
    }
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
    const std::string& text = m_receiveText.Text();
    if (m_shownGeneration != m_receiveText.Generation() || m_shownLength > text.size()) {
        m_receiveArea->clear();
        m_shownGeneration = m_receiveText.Generation();
        m_shownLength = 0;
        m_shownDecoder = TextDecoder(m_receiveText.Options().codec);
    }
    std::size_t end = text.size();
    // A CR at the end may be the first half of a CR LF line break: it waits for the next byte.
    if (end > m_shownLength && text[end - 1] == '\r') {
        --end;
    }
    if (end > m_shownLength) {
        const std::string_view fresh = std::string_view(text).substr(m_shownLength, end - m_shownLength);
        QString added = QString::fromUtf8(m_shownDecoder.Decode(fresh));
        added.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
        added.remove(QLatin1Char('\r'));
        // One edit for all the lines: the layout then takes them as one change and lays out only
        // what is shown, instead of every line as it is inserted.
        QTextCursor cursor(m_receiveArea->document());
        cursor.movePosition(QTextCursor::End);
        // The last line keeps what its layout worked out (the hex view is one long line): without
        // that, scrolling to the caret and drawing would work it out again for the whole line.
        cursor.block().layout()->setCacheEnabled(true);
        cursor.beginEditBlock();
        cursor.insertText(added);
        cursor.endEditBlock();
        m_shownLength = end;
    }
    // Text inserted at the caret leaves it at the end; it is moved only when the user put it
    // elsewhere, since moving it lays the last line out again.
    if (!m_receiveArea->textCursor().atEnd()) {
        m_receiveArea->moveCursor(QTextCursor::End);
    }
    m_receiveArea->ensureCursorVisible();
    ShowCounters();
}

void CSerialDebugDlg::ShowCounters()
{
    m_receiveCountLabel->setText(QStringLiteral("接收：%1").arg(m_receiveCounter));
    m_sendCountLabel->setText(QStringLiteral("发送：%1").arg(m_sendCounter));
}

void CSerialDebugDlg::OnClearReceive()
{
    m_receiveText.Clear();
    RefreshReceiveView();
}

bool CSerialDebugDlg::SendString(std::string text, std::int32_t isHex)
{
    const std::string bytes = BytesToSend(text, isHex);
    if (m_port.IsOpen()) {
        m_port.Write(reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size());
        ShowSentFrame(bytes);
    }
    ShowSentText(text, isHex, bytes.size());
    return true;
}

void CSerialDebugDlg::ShowSentText(const std::string& text, std::int32_t isHex, std::size_t byteCount)
{
    const QString shown = FromGbkLines(text);
    if (m_sendArea->toPlainText() != shown) {
        ShowSendText(m_sendArea, shown);
    }
    m_hexSendBox->setChecked(isHex != 0);
    m_sendCounter += static_cast<int>(byteCount);
    m_sendCountLabel->setText(QStringLiteral("发送：%1").arg(m_sendCounter));
    TouchPortStatus();
}

// With "显示发送" the bytes written appear in the receive area and in a log capture.
void CSerialDebugDlg::ShowSentFrame(const std::string& bytes)
{
    const auto* data = reinterpret_cast<const unsigned char*>(bytes.data());
    const ReadTime time = m_clock->Now();
    m_captureControl->Sent(data, bytes.size(), time);
    if (m_receiveText.AppendSent(data, bytes.size(), m_hexDisplayBox->isChecked(), time)) {
        m_receiveText.ApplyClearingRules(m_autoClearBox->isChecked());
        ScheduleRefresh();
    }
}

void CSerialDebugDlg::OnManualSend()
{
    UpdateData(true);
    SendString(m_sendText, m_hexSendBox->isChecked() ? 1 : 0);
}

void CSerialDebugDlg::OnAutoSend()
{
    UpdateData(true);
    if (!m_portOpen) {
        ShowMessage(this, QStringLiteral("端口没有打开，无法发送！"));
        m_autoSendBox->setChecked(false);
    } else if (m_autoSendInterval == 0) {
        ShowMessage(this, QStringLiteral("自动发送周期不能为0，请重新设置！"));
        m_autoSendBox->setChecked(false);
    } else if (m_autoSendBox->isChecked()) {
        // A negative period is taken as its size: "-500" sends every 500 ms.
        m_autoSendTimer.start(std::abs(m_autoSendInterval));
        return;
    }
    m_autoSendTimer.stop();
}

void CSerialDebugDlg::OnClearSend()
{
    m_sendArea->clear();
}

void CSerialDebugDlg::OnResetCounters()
{
    m_receiveCounter = 0;
    m_sendCounter = 0;
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
    UpdateData(true);
    const CrcAppendResult result = AppendCrc(m_sendText, m_hexSendBox->isChecked());
    switch (result.status) {
    case CrcAppendResult::EmptyText:
        ShowMessage(this, QStringLiteral("要发送的数据为空！不能添加校验！"));
        return;
    case CrcAppendResult::NotRepresentable:
        ShowMessage(this, QStringLiteral("校验字节 %1 %2 不是可以写在发送区里的字符，不能以字符串添加。"
                                         "请勾选“HEX发送”后再添加校验。")
                              .arg(result.first, 2, 16, QLatin1Char('0'))
                              .arg(result.second, 2, 16, QLatin1Char('0'))
                              .toUpper());
        return;
    case CrcAppendResult::Appended:
        m_sendText = result.text;
        UpdateData(false);
        return;
    }
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
    const std::string failure = SaveReceivedText(path.toStdString(), m_receiveText.Text());
    if (!failure.empty()) {
        ShowMessage(this, QStringLiteral("不能保存文件“%1”：%2").arg(path, QString::fromLocal8Bit(failure)));
    }
}

void CSerialDebugDlg::OnBnClickedOpen()
{
    UpdateData(true);
    if (m_portOpen || Connecting()) {
        m_portKeeper->UserTookOver();
        ClosePort();
    } else {
        OpenPort();
    }
}

void CSerialDebugDlg::OnPortActivated()
{
    OpenPort();
}

void CSerialDebugDlg::OnSize(int w, int h)
{
    if (m_sendArea == nullptr) {
        return;
    }
    auto place = [](QWidget* control, int left, int top, int width, int height) {
        control->setGeometry(left, top, width, height);
    };
    QRect r = m_sendArea->geometry();
    place(m_sendArea, r.left(), h - 24 - r.height(), w - r.left() - 2, r.height());
    if (isMaximized()) {
        r = m_topFrame->geometry();
        place(m_topFrame, r.left(), r.top(), w - 4, r.height());
    }
    r = m_receiveArea->geometry();
    place(m_receiveArea, r.left(), r.top(), m_extendButton->isChecked() ? w - 244 : w - 4, h - r.top() - 70);
    r = m_panelFrame->geometry();
    place(m_panelFrame, w - 240, r.top(), 240, h - r.top() - 70);
    if (m_sendListPanel != nullptr) {
        m_sendListPanel->setGeometry(m_panelFrame->contentsRect());
    }
    for (int id : {IDC_CLEAR_SEND, IDC_MANUAL_SEND}) {
        r = m_controls[id]->geometry();
        place(m_controls[id], r.left(), h - 66, r.width(), r.height());
    }
    r = m_hexSendBox->geometry();
    place(m_hexSendBox, r.left(), h - 42, r.width(), r.height());
    r = m_controls[IDC_BANNER]->geometry();
    place(m_controls[IDC_BANNER], r.left(), h - 20, w - r.left() - 2, r.height());
    for (int id : {IDC_RESET_COUNT, IDC_SEND_COUNT, IDC_RECEIVE_COUNT, IDC_MILLISECONDS, IDC_INTERVAL, IDC_AUTO_SEND,
                   IDC_TOPMOST}) {
        r = m_controls[id]->geometry();
        place(m_controls[id], r.left(), h - 20, r.width(), r.height());
    }
}

void CSerialDebugDlg::OnExtend()
{
    const QSize client = m_client->size();
    const QRect r = m_receiveArea->geometry();
    if (m_extendButton->isChecked()) {
        if (m_sendListPanel != nullptr) {
            m_sendListPanel->setGeometry(m_panelFrame->contentsRect());
            m_sendListPanel->show();
        }
        m_panelFrame->show();
        m_receiveArea->setGeometry(r.left(), r.top(), client.width() - 244, client.height() - r.top() - 70);
    } else {
        m_panelFrame->hide();
        m_receiveArea->setGeometry(r.left(), r.top(), client.width() - 6, client.height() - r.top() - 70);
    }
}

void CSerialDebugDlg::OnTopmost()
{
    const QRect frame = geometry();
    setWindowFlag(Qt::WindowStaysOnTopHint, m_topmostBox->isChecked());
    setGeometry(frame);
    show();
}

void CSerialDebugDlg::OnAbout()
{
    CAboutDlg about(this);
    about.exec();
}

SchemeImport CSerialDebugDlg::ImportScheme(const std::string& path)
{
    const SchemeImport imported = ImportSchemeFile(path, m_rules, m_schemeInterval, m_sendList);
    RulesChanged();
    if (m_sendListPanel != nullptr) {
        m_sendListPanel->RefreshList();
    }
    return imported;
}

void CSerialDebugDlg::ExportScheme(const std::string& path)
{
    ExportSchemeFile(path, m_rules, m_schemeInterval, m_sendList);
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
    CSchemeDlg editor(this);
    editor.m_pMainDlg = this;
    editor.exec();
}

bool CSerialDebugDlg::RemoveSendItem(const SendItem* item)
{
    const auto found = std::find_if(m_sendList.begin(), m_sendList.end(),
                                    [item](const auto& entry) { return entry != nullptr && entry.get() == item; });
    if (found == m_sendList.end()) {
        return false;
    }
    m_sendList.erase(found);
    return true;
}

// The panel is rebuilt whatever the outcome: Add and Delete changed the send list at once,
// also when the dialog is then cancelled.
void CSerialDebugDlg::OnSendListConfig()
{
    CSendListDlg dialog(this);
    dialog.m_pMainDlg = this;
    dialog.exec();
    if (m_sendListPanel != nullptr) {
        m_sendListPanel->RefreshList();
    }
}

void CSerialDebugDlg::OnCalculator()
{
    StartCalculator();
}

void CSerialDebugDlg::OnAutoReconnect()
{
    const bool reopening = m_portKeeper->Reopening();
    m_portKeeper->SetAutoReconnect(m_commands[ID_AUTO_RECONNECT]->isChecked());
    if (reopening && !m_portKeeper->AutoReconnect()) {
        m_port.CancelOpening();
    }
}

bool CSerialDebugDlg::InstantReplyOn() const { return m_commands.at(ID_INSTANT_REPLY)->isChecked(); }

void CSerialDebugDlg::UpdateInstantReply()
{
    const bool on = InstantReplyOn() && !m_destroyed;
    RulesChanged();
    m_instantReply.SetEnabled(on && m_autoReplyBox->isChecked());
    m_port.SetReceiveResponder(on ? &m_instantReply : nullptr);
}

void CSerialDebugDlg::RulesChanged()
{
    if (InstantReplyOn()) {
        m_instantReply.SetRules(m_rules);
    }
}

// In the order they fired, each after the bytes that made it fire (a flood read ahead of the
// window may show a reply a little before the last of those bytes).
void CSerialDebugDlg::ShowInstantReplies()
{
    for (const InstantReply::Firing& firing : m_instantReply.TakeFirings()) {
        if (m_port.IsOpen()) {
            ShowSentFrame(firing.bytes);
        }
        ShowSentText(firing.sendData, firing.sendIsHex, firing.bytes.size());
        m_receiveText.AppendText(AutoReplyLine(firing.ruleName));
        ScheduleRefresh();
    }
}

void CSerialDebugDlg::OnPortStatus()
{
    if (m_portStatus == nullptr) {
        m_portStatus = new CPortStatusDlg(m_port, this);
    }
    m_portStatus->show();
    m_portStatus->raise();
    m_portStatus->activateWindow();
}

void CSerialDebugDlg::OnDisplaySettings()
{
    CDisplaySettingsDlg dialog(m_receiveText.Options(), this);
    if (dialog.exec() == QDialog::Accepted) {
        ApplyDisplayOptions(dialog.Options());
    }
}

void CSerialDebugDlg::ApplyDisplayOptions(const DisplayOptions& options)
{
    m_receiveText.SetOptions(options);
    m_captureControl->SetOptions(options);
    RefreshReceiveView();
}

void CSerialDebugDlg::CaptureWhenPortOpens(const std::string& path)
{
    m_captureControl->StartWhenPortOpens(path, m_portOpen);
}

void CSerialDebugDlg::StopCapture()
{
    m_captureControl->Stop();
}

bool CSerialDebugDlg::IsCapturing() const
{
    return m_captureControl->IsActive();
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
    m_portKeeper->UserTookOver();
    m_port.CancelOpening();
    ExchangeSettings(false);
    m_rules.clear();
    UpdateInstantReply();
    // The timers end with the window: a closed window sends nothing more.
    m_autoSendTimer.stop();
    if (m_sendListPanel != nullptr) {
        m_sendListPanel->StopCyclicSend();
    }
    m_sink->Detach();
    StopCapture();
    return true;
}

QWidget* CSerialDebugDlg::GetDlgItem(int id) const
{
    const auto found = m_controls.find(id);
    return found == m_controls.end() ? nullptr : found->second;
}

QPushButton* CSerialDebugDlg::Button(int id) const
{
    return qobject_cast<QPushButton*>(GetDlgItem(id));
}

QAction* CSerialDebugDlg::MenuCommand(int id) const
{
    const auto found = m_commands.find(id);
    return found == m_commands.end() ? nullptr : found->second;
}
