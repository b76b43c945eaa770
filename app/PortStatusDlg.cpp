#include "app/PortStatusDlg.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QVBoxLayout>
#include <algorithm>

#include "platform/VirtualTarget.h"
#include "session/TerminalSession.h"

namespace {

const QString kUnknown = QStringLiteral("—");

}  // namespace

CPortStatusDlg::CPortStatusDlg(TerminalSession& session, QWidget* parent)
    : QDialog(parent), m_session(session), m_port(session.Port())
{
    setWindowTitle(QStringLiteral("串口状态"));
    setModal(false);
    m_refreshTimer.setSingleShot(true);
    connect(&m_refreshTimer, &QTimer::timeout, this, &CPortStatusDlg::Refresh);

    auto* layout = new QVBoxLayout(this);
    auto* linesBox = new QGroupBox(QStringLiteral("信号线"), this);
    auto* lines = new QHBoxLayout(linesBox);
    for (const QString& name : {QStringLiteral("CTS"), QStringLiteral("DSR"), QStringLiteral("DCD"), QStringLiteral("RI")}) {
        lines->addWidget(AddLamp(name));
    }
    m_dtrBox = new QCheckBox(QStringLiteral("DTR"), linesBox);
    m_rtsBox = new QCheckBox(QStringLiteral("RTS"), linesBox);
    m_breakButton = new QPushButton(QStringLiteral("发送Break"), linesBox);
    m_items[QStringLiteral("DTR")] = m_dtrBox;
    m_items[QStringLiteral("RTS")] = m_rtsBox;
    m_items[QStringLiteral("Break")] = m_breakButton;
    lines->addWidget(m_dtrBox);
    lines->addWidget(m_rtsBox);
    lines->addWidget(m_breakButton);
    layout->addWidget(linesBox);

    auto* countsBox = new QGroupBox(QStringLiteral("打开以来"), this);
    auto* counts = new QGridLayout(countsBox);
    const std::pair<QString, QString> rows[] = {
        {QStringLiteral("received"), QStringLiteral("接收字节：")}, {QStringLiteral("sent"), QStringLiteral("发送字节：")},
        {QStringLiteral("overrun"), QStringLiteral("溢出错误：")},  {QStringLiteral("framing"), QStringLiteral("帧错误：")},
        {QStringLiteral("parity"), QStringLiteral("校验错误：")},   {QStringLiteral("breaks"), QStringLiteral("Break：")},
        {QStringLiteral("dropped"), QStringLiteral("丢弃的待发字节：")}};
    int row = 0;
    for (const auto& [name, caption] : rows) {
        counts->addWidget(new QLabel(caption, countsBox), row, 0);
        counts->addWidget(AddCount(name), row, 1);
        ++row;
    }
    layout->addWidget(countsBox);

    m_lineBox = new QGroupBox(QStringLiteral("对端设置"), this);
    auto* lineLayout = new QHBoxLayout(m_lineBox);
    auto* line = new QLabel(kUnknown, m_lineBox);
    line->setToolTip(QStringLiteral("另一个程序在虚拟串口上设置的波特率、校验位、数据位和停止位"));
    m_items[QStringLiteral("line")] = line;
    lineLayout->addWidget(line);
    layout->addWidget(m_lineBox);
    m_lineBox->setVisible(false);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, this);
    buttons->button(QDialogButtonBox::Close)->setText(QStringLiteral("关闭"));
    buttons->button(QDialogButtonBox::Close)->setDefault(true);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    layout->addWidget(buttons);

    connect(m_dtrBox, &QCheckBox::clicked, this, &CPortStatusDlg::OnControlLine);
    connect(m_rtsBox, &QCheckBox::clicked, this, &CPortStatusDlg::OnControlLine);
    connect(m_breakButton, &QPushButton::clicked, this, &CPortStatusDlg::OnSendBreak);
    m_session.AddObserver(this);
}

CPortStatusDlg::~CPortStatusDlg() { m_session.RemoveObserver(this); }

void CPortStatusDlg::PortEvent(unsigned) { Touch(); }

void CPortStatusDlg::Sent(const std::string&, std::int32_t) { Touch(); }

void CPortStatusDlg::PortStateChanged() { Touch(); }

void CPortStatusDlg::PassedOn() { Touch(); }

QLabel* CPortStatusDlg::AddLamp(const QString& name)
{
    auto* lamp = new QLabel(name, this);
    lamp->setAlignment(Qt::AlignCenter);
    lamp->setMinimumWidth(40);
    lamp->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    m_items[name] = lamp;
    return lamp;
}

QLabel* CPortStatusDlg::AddCount(const QString& name)
{
    auto* count = new QLabel(kUnknown, this);
    count->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    count->setMinimumWidth(90);
    m_items[name] = count;
    return count;
}

QWidget* CPortStatusDlg::Item(const QString& name) const
{
    const auto found = m_items.find(name);
    return found == m_items.end() ? nullptr : found->second;
}

// Its frame is not known before it shows; it takes the main window's.
void CPortStatusDlg::PlaceBeside(const QWidget& window)
{
    adjustSize();
    const QRect beside = window.frameGeometry();
    const QRect screen = window.screen()->availableGeometry();
    const int frameWidth = width() + beside.width() - window.width();
    int left = beside.right() + 1;
    if (left + frameWidth > screen.right() + 1) {
        left = std::max(screen.left(), beside.left() - frameWidth);
    }
    move(left, beside.top());
}

void CPortStatusDlg::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    Refresh();
}

void CPortStatusDlg::Touch()
{
    if (isVisible() && !m_refreshTimer.isActive()) {
        m_refreshTimer.start(kRefreshGapMs);
    }
}

void CPortStatusDlg::Refresh()
{
    m_refreshTimer.stop();
    const bool open = m_port.IsOpen();
    if (open && !m_wasOpen) {
        // A port comes up with DTR and RTS raised.
        m_dtrBox->setChecked(true);
        m_rtsBox->setChecked(true);
    }
    m_wasOpen = open;
    unsigned status = 0;
    const bool linesKnown = open && m_port.GetModemStatus(status);
    ShowLamp(QStringLiteral("CTS"), linesKnown, (status & MS_CTS_ON) != 0);
    ShowLamp(QStringLiteral("DSR"), linesKnown, (status & MS_DSR_ON) != 0);
    ShowLamp(QStringLiteral("DCD"), linesKnown, (status & MS_RLSD_ON) != 0);
    ShowLamp(QStringLiteral("RI"), linesKnown, (status & MS_RING_ON) != 0);
    m_dtrBox->setEnabled(linesKnown);
    m_rtsBox->setEnabled(linesKnown);
    m_breakButton->setEnabled(open);

    const PortStatistics statistics = open ? m_port.Statistics() : PortStatistics{};
    ShowCount(QStringLiteral("received"), open, statistics.received);
    ShowCount(QStringLiteral("sent"), open, statistics.sent);
    ShowCount(QStringLiteral("dropped"), open, statistics.dropped);
    const bool driverCounts = open && statistics.lineCountersKnown;
    ShowCount(QStringLiteral("overrun"), driverCounts, statistics.line.overrun);
    ShowCount(QStringLiteral("framing"), driverCounts, statistics.line.framing);
    ShowCount(QStringLiteral("parity"), driverCounts, statistics.line.parity);
    ShowCount(QStringLiteral("breaks"), driverCounts, statistics.line.breaks);
    ShowProgramLine(open);
    // Pending output may still be dropped without a notification, and the program at a virtual
    // port changes its settings without one: look again while either may be.
    if (open && (m_port.PendingWriteBytes() > 0 || m_lineBox->isVisible())) {
        Touch();
    }
}

// What the program at a virtual port's other end set on it.
void CPortStatusDlg::ShowProgramLine(bool open)
{
    LineSettings settings;
    const bool shown = open && IsVirtualTarget(m_port.Target()) && m_port.GetLineSettings(settings);
    m_lineBox->setVisible(shown);
    static_cast<QLabel*>(m_items[QStringLiteral("line")])
        ->setText(shown ? QString::fromStdString(DescribeLineSettings(settings)) : kUnknown);
}

void CPortStatusDlg::ShowLamp(const QString& name, bool known, bool lit)
{
    QWidget* lamp = m_items[name];
    lamp->setProperty("lit", known && lit);
    lamp->setEnabled(known);
    lamp->setStyleSheet(known && lit ? QStringLiteral("background: #3c3; color: black;") : QString());
    lamp->setToolTip(known ? QString() : QStringLiteral("设备没有这条信号线"));
}

void CPortStatusDlg::ShowCount(const QString& name, bool known, std::uint64_t count)
{
    static_cast<QLabel*>(m_items[name])->setText(known ? QString::number(count) : kUnknown);
}

void CPortStatusDlg::OnControlLine()
{
    if (sender() == m_dtrBox) {
        m_port.SetDtr(m_dtrBox->isChecked());
    } else {
        m_port.SetRts(m_rtsBox->isChecked());
    }
}

void CPortStatusDlg::OnSendBreak()
{
    m_port.SendBreak(std::chrono::milliseconds(kBreakMs));
    Touch();
}
