// The main window's controls, menus and pixel layout.
#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QPainter>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "app/SerialDebugDlg.h"
#include "res/Icons.h"
#include "sendlist/SendListPanel.h"

namespace {

constexpr int kPortCount = 50;
constexpr int kPortIconSize = 24;
const QSize kClientSize(633, 386);

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

template <typename Widget>
Widget* CSerialDebugDlg::AddControl(int id, Widget* widget, const QRect& geometry)
{
    widget->setParent(m_client);
    widget->setGeometry(geometry);
    widget->setObjectName(QString::number(id));
    m_controls[id] = widget;
    return widget;
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
    AddCommand(file, ID_NEW_WINDOW, QStringLiteral("新建窗口(&N)"))->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_N));
    AddCommand(file, ID_SEND_FILE, QStringLiteral("发送文件(&D)..."));
    file->addSeparator();
    AddCommand(file, ID_APP_EXIT, QStringLiteral("退出(&X)"));
    QMenu* edit = m_menuBar->addMenu(QStringLiteral("编辑(&E)"));
    AddCommand(edit, ID_EDIT_SCHEME, QStringLiteral("编辑方案..."));
    AddCommand(edit, ID_SEND_LIST, QStringLiteral("发送列表(&S)"));
    AddCommand(edit, ID_FIND, QStringLiteral("查找(&F)..."))->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_F));
    AddCommand(edit, ID_FIND_NEXT, QStringLiteral("查找下一个"))->setShortcut(QKeySequence(Qt::Key_F3));
    QMenu* check = m_menuBar->addMenu(QStringLiteral("添加校验(&C)"));
    AddCommand(check, ID_CRC16, QStringLiteral("CRC16"));
    QMenu* more = check->addMenu(QStringLiteral("其他校验(&O)"));
    int id = ID_CHECK_FIRST;
    for (const CheckDefinition& definition : CheckCatalogue()) {
        const QString order = definition.width == 8 ? QString()
                              : definition.LowByteFirst() ? QStringLiteral("（低字节在前）")
                                                          : QStringLiteral("（高字节在前）");
        AddCommand(more, id++, QString::fromLatin1(definition.name) + order);
    }
    QMenu* tools = m_menuBar->addMenu(QStringLiteral("工具(&T)"));
    AddCommand(tools, ID_CALCULATOR, QStringLiteral("计算器(&C)"));
    AddCommand(tools, ID_AUTO_RECONNECT, QStringLiteral("自动重连(&R)"))->setCheckable(true);
    AddCommand(tools, ID_PORT_STATUS, QStringLiteral("串口状态(&P)..."));
    AddCommand(tools, ID_DISPLAY_SETTINGS, QStringLiteral("显示设置(&D)..."));
    AddCommand(tools, ID_INSTANT_REPLY, QStringLiteral("立即回复(&I)"))->setCheckable(true);
    AddCommand(tools, ID_TIMELINE, QStringLiteral("合并视图(&M)..."));
    AddCommand(tools, ID_SEND_SETTINGS, QStringLiteral("发送设置(&S)..."));
    AddCommand(tools, ID_REPLY_STATISTICS, QStringLiteral("自动回复统计(&T)"))->setCheckable(true);
    AddCommand(tools, ID_PLOT, QStringLiteral("波形显示(&W)..."));
    AddCommand(tools, ID_PORT_MAP, QStringLiteral("端口映射(&A)..."));
    QMenu* help = m_menuBar->addMenu(QStringLiteral("帮助(&H)"));
    AddCommand(help, ID_APP_ABOUT, QStringLiteral("关于(&A)..."));
}

void CSerialDebugDlg::FillPortList()
{
    for (int number = 1; number <= kPortCount; ++number) {
        m_portList->addItem(QStringLiteral("COM%1").arg(number));
    }
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
