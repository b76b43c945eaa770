#pragma once

#include <QDialog>
#include <QPixmap>
#include <QTimer>
#include <map>
#include <memory>
#include <optional>
#include <string>

#include "app/PortWatch.h"
#include "app/Settings.h"
#include "scheme/Scheme.h"
#include "session/TerminalSession.h"
#include "traffic/Checks.h"
#include "traffic/Clock.h"
#include "ui/QtSessionLoop.h"

class QAction;
class QCheckBox;
class QComboBox;
class QFrame;
class QLabel;
class QLineEdit;
class QMenuBar;
class QPainter;
class QPlainTextEdit;
class QPushButton;
class CCaptureControl;
class ClientArea;
class CPortStatusDlg;
class CSendListPanel;
class CFindDlg;
class CPlotDlg;
class CWindowGroup;
class PortKeeper;
class ReceiveView;

// Control ids of the main window.
enum MainControl {
    IDC_RECEIVE = 1001,
    IDC_SEND = 1002,
    IDC_MANUAL_SEND = 1003,
    IDC_CLEAR_SEND = 1004,
    IDC_HEX_SEND = 1005,
    IDC_HEX_DISPLAY = 1006,
    IDC_AUTO_SEND = 1007,
    IDC_AUTO_CLEAR = 1008,
    IDC_OPEN = 1009,
    IDC_CLEAR_RECEIVE = 1010,
    IDC_RECEIVE_COUNT = 1011,
    IDC_PORT = 1012,
    IDC_SETTINGS = 1013,
    IDC_INTERVAL = 1014,
    IDC_AUTO_REPLY = 1015,
    IDC_SEND_COUNT = 1016,
    IDC_RESET_COUNT = 1017,
    IDC_BANNER = 1018,
    IDC_TOP_FRAME = 1019,
    IDC_MILLISECONDS = 1021,
    IDC_PORT_ICON = 1022,
    IDC_PANEL_FRAME = 1437,
    IDC_EXTEND = 1439,
    IDC_TOPMOST = 1440,
};

// Menu command ids of the main window.
enum MainCommand {
    ID_APP_ABOUT = 101,
    ID_EDIT_SCHEME = 32772,
    ID_CRC16 = 32775,
    ID_IMPORT_SCHEME = 32776,
    ID_EXPORT_SCHEME = 32777,
    ID_SEND_LIST = 32779,
    ID_CALCULATOR = 32780,
    ID_AUTO_RECONNECT = 32790,
    ID_PORT_STATUS = 32791,
    ID_CAPTURE_START = 32811,
    ID_CAPTURE_STOP = 32812,
    ID_DISPLAY_SETTINGS = 32813,
    ID_INSTANT_REPLY = 32814,
    ID_NEW_WINDOW = 32815,
    ID_TIMELINE = 32816,
    ID_SEND_FILE = 32817,
    ID_SEND_SETTINGS = 32818,
    ID_FIND = 32840,
    ID_FIND_NEXT = 32841,
    ID_REPLY_STATISTICS = 32842,
    ID_PLOT = 32843,
    ID_PORT_MAP = 32844,
    ID_CHECK_FIRST = 32820,  // the checks of the catalogue, in its order
    ID_FILE_SAVE = 57603,
    ID_APP_EXIT = 57665,
};

// The main window: the view of one terminal session. Its handlers read the controls, call the
// session and show what the session reports; the window itself keeps the settings it exchanges
// with Config.ini. It belongs to a group of windows that share the scheme (see CWindowGroup).
class CSerialDebugDlg : public QDialog, private SessionObserver {
    Q_OBJECT

public:
    // A window of its own: `programDirectory` holds Config.ini and Default.pol.
    explicit CSerialDebugDlg(std::string programDirectory, QWidget* parent = nullptr);
    // Another window of `group`.
    explicit CSerialDebugDlg(CWindowGroup& group, QWidget* parent = nullptr);
    ~CSerialDebugDlg() override;

    // Start-up once the controls exist: settings, scheme, port. Runs before the window shows.
    bool OnInitDialog();

    // Starts up, shows the window modally and returns when it has closed.
    int DoModal();

    // Start-up opens port `portNumber` (1 for COM1) instead of the saved one.
    void SetStartPort(int portNumber) { m_startPort = portNumber; }

    // Data exchange: true copies the controls into the members (stops at, and reports, an
    // interval that is not a whole number and then returns false), false the reverse.
    bool UpdateData(bool saveAndValidate = true);

    // true: this window's section of Config.ini into the members, import Default.pol for the
    // first window (kept as Default.pol.bak when it cannot be read completely), push. false:
    // when the program ends with this window, export Default.pol (unless no copy of an incomplete
    // one could be kept); pull; hand the values to the group, which writes Config.ini at the end.
    void ExchangeSettings(bool load);

    void OpenPort();
    void ClosePort();
    void ShowPortState(bool open);

    // Saves the settings and the scheme and ends the session's work; the window is then closed.
    bool DestroyWindow();

    // Sends `text` (hex text parsed when isHex is not 0); the send area shows it, "HEX发送"
    // shows isHex, and the bytes are counted.
    bool SendString(std::string text, std::int32_t isHex);

    int ReceiveCounter() const { return m_session.ReceiveCounter(); }
    int SendCounter() const { return m_session.SendCounter(); }
    const std::string& ReceiveText() const { return m_session.Area().Text(); }

    // Brings the receive area and the counters on screen up to date at once, rather than at
    // the next display frame.
    void RefreshReceiveView();

    // Records into `path` (continued if it exists, in the capture format of the settings) from
    // the moment the port is open: at once when it is, else at its next opening.
    void CaptureWhenPortOpens(const std::string& path);
    // Ends a recording, if there is one.
    void StopCapture();
    bool IsCapturing() const;
    // Where read and send times come from; the system clock unless a test gives its own.
    void UseClock(const Clock& clock);

    // Scheme files: the rule list, the scheme interval and the send list.
    SchemeImport ImportScheme(const std::string& path);
    void ExportScheme(const std::string& path);

    Scheme& GetScheme() { return m_scheme; }
    CWindowGroup& Group() { return m_group; }
    const RuleList& Rules() const { return m_scheme.Rules(); }
    const SendList& SendItems() const { return m_scheme.SendItems(); }
    CSendListPanel* SendListPanel() const { return m_sendListPanel; }
    int SchemeInterval() const { return m_scheme.Interval(); }

    TerminalSession& Session() { return m_session; }
    QWidget* GetDlgItem(int id) const;
    QAction* MenuCommand(int id) const;
    PortEngine& Port() { return m_session.Port(); }
    bool IsPortOpen() const { return m_portOpen; }
    int PortIndex() const { return m_portIndex; }
    bool HasPortStateIcon() const { return !m_portStateIcon.isNull(); }
    bool PortStateIconIsOpen() const { return m_portStateIconOpen; }
    // The "串口状态" window once it has been opened, else null.
    CPortStatusDlg* PortStatusWindow() const { return m_portStatus; }
    // Reads the port map again and shows it in the port list.
    void PortMapChanged();

    // Paints the port-state icon at the place of the hidden static 1022.
    void PaintPortState(QPainter& painter) const;

    // Lays the controls out for a client area of w x h pixels.
    void OnSize(int w, int h);

protected:
    void done(int result) override;

private:
    CSerialDebugDlg(std::unique_ptr<CWindowGroup> ownGroup, CWindowGroup* group, QWidget* parent);

protected:
    void keyPressEvent(QKeyEvent* event) override;

private:
    void CreateControls();
    void CreateTopRow();
    void CreateWorkArea();
    void CreateBottomRow();
    void CreateMenu();
    void CreateSendListPanel();
    void ConnectControls();
    void FillPortList();
    template <typename Widget>
    Widget* AddControl(int id, Widget* widget, const QRect& geometry);
    QAction* AddCommand(QMenu* menu, int id, const QString& text);
    QPushButton* Button(int id) const;

    std::string ConfigPath() const;
    std::string SchemePath() const;
    void CleanSettingsFolder() const;
    void KeepIncompleteDefaultScheme();
    bool PullInterval();
    WindowSettings PulledSettings() const;
    // Names the port in the title while the group has more than one window.
    void ShowTitle() const;
    void SetOpenCaption(bool open);
    void RefreshPortState();

    // What the session reports.
    void ReceiveChanged() override;
    void Sent(const std::string& text, std::int32_t isHex) override;
    void PortStateChanged() override;
    void SendingStopped() override;
    void AutoSendDue() override;
    void Message(const SessionMessage& message) override;
    void FileSendChanged() override;
    void PassedOn() override;
    void ShowSendCount();

    void ScheduleRefresh();
    void ApplyDisplayOptions(const DisplayOptions& options);
    void OnDisplaySettings();
    void ShowCounters();
    void OnClearReceive();
    void OnManualSend();
    void OnAutoSend();
    void OnClearSend();
    void OnResetCounters();
    void OnHexSend();
    void OnCrc16();
    void OnCheck(const CheckDefinition& check);
    void AppendCheckToSendText(const CheckFunction& check);
    void OnSaveData();
    void OnBnClickedOpen();
    void OnPortActivated();
    void OnExtend();
    void OnTopmost();
    void OnAbout();
    void OnEditScheme();
    void OnSendListConfig();
    void OnImportScheme();
    void OnExportScheme();
    void OnCalculator();
    void OnAutoReconnect();
    void OnPortStatus();
    void OnInstantReply();
    void OnNewWindow();
    void OnSendFile();
    void OnSendSettings();
    void OnFind();
    void OnPlot();
    void OnPortMap();
    void OnFindNext();
    void OnTimeline();

    std::unique_ptr<CWindowGroup> m_ownGroup;  // for a window of its own
    CWindowGroup& m_group;
    bool m_destroyed = false;
    std::optional<int> m_startPort;

    Scheme& m_scheme;
    bool m_portOpen = false;
    FileSendOptions m_fileSendOptions;

    QtSessionLoop m_loop;
    PortWatch m_portWatch;
    TerminalSession m_session;

    CSendListPanel* m_sendListPanel = nullptr;
    CCaptureControl* m_captureControl = nullptr;
    std::string m_sendText;
    int m_portIndex = 0;
    std::string m_settings = "9600,n,8,1";
    int m_autoClear = 0;
    int m_autoReply = 0;
    int m_autoSendInterval = 0;
    int m_hexDisplay = 0;
    int m_hexSend = 0;

    QPixmap m_portStateIcon;
    bool m_portStateIconOpen = false;

    PortKeeper* m_portKeeper = nullptr;
    CPortStatusDlg* m_portStatus = nullptr;
    CFindDlg* m_findDlg = nullptr;
    CPlotDlg* m_plotDlg = nullptr;

    QMenuBar* m_menuBar = nullptr;
    ClientArea* m_client = nullptr;
    std::map<int, QWidget*> m_controls;
    std::map<int, QAction*> m_commands;

    QFrame* m_topFrame = nullptr;
    QComboBox* m_portList = nullptr;
    QLineEdit* m_settingsEdit = nullptr;
    QLabel* m_portIconPlace = nullptr;
    QPushButton* m_openButton = nullptr;
    QCheckBox* m_hexDisplayBox = nullptr;
    QCheckBox* m_autoClearBox = nullptr;
    QCheckBox* m_autoReplyBox = nullptr;
    QPushButton* m_extendButton = nullptr;
    QPlainTextEdit* m_receiveArea = nullptr;
    QFrame* m_panelFrame = nullptr;
    QPlainTextEdit* m_sendArea = nullptr;
    QCheckBox* m_hexSendBox = nullptr;
    QCheckBox* m_autoSendBox = nullptr;
    QLineEdit* m_intervalEdit = nullptr;
    QCheckBox* m_topmostBox = nullptr;
    QLabel* m_receiveCountLabel = nullptr;
    QLabel* m_sendCountLabel = nullptr;
    QTimer m_refreshTimer;
    std::unique_ptr<ReceiveView> m_receiveView;
};
