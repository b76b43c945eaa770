#include "tests/app/MainWindowFixture.h"
#include "tests/support/PseudoTerminal.h"

#include <QLabel>

namespace {

const QString kCannotOpen = QStringLiteral("不能打开串口！");

// The box's text: its first line, then which device and why.
QString CannotOpen(const QString& reason) { return kCannotOpen + QLatin1Char('\n') + reason; }

QString Absent(const QString& device) { return QStringLiteral("设备 %1 不存在（设备没有接上，或者名称不对）。").arg(device); }

}  // namespace

TEST_F(MainWindowTest, FirstStartShowsDefaultsAndReportsThatCom1CannotOpen)
{
    WriteConfig(PortsSection(1, "/nonexistent/tty"));
    CSerialDebugDlg& window = Start();

    EXPECT_EQ(window.windowTitle(), QStringLiteral("串口调试"));
    EXPECT_EQ(Control<QComboBox>(IDC_PORT)->currentText(), QStringLiteral("COM1"));
    EXPECT_EQ(Control<QComboBox>(IDC_PORT)->count(), 50);
    EXPECT_EQ(Control<QLineEdit>(IDC_SETTINGS)->text(), QStringLiteral("9600,n,8,1"));
    for (int box : {IDC_HEX_DISPLAY, IDC_AUTO_CLEAR, IDC_AUTO_REPLY, IDC_HEX_SEND}) {
        EXPECT_FALSE(Control<QCheckBox>(box)->isChecked()) << box;
    }
    EXPECT_EQ(Control<QLineEdit>(IDC_INTERVAL)->text(), QStringLiteral("0"));
    EXPECT_TRUE(Control<QPlainTextEdit>(IDC_SEND)->toPlainText().isEmpty());
    EXPECT_EQ(m_messages.texts, QStringList{CannotOpen(Absent(QStringLiteral("/nonexistent/tty")))});
    EXPECT_FALSE(window.IsPortOpen());
    EXPECT_EQ(Control<QPushButton>(IDC_OPEN)->text(), QStringLiteral("打开"));
    EXPECT_TRUE(window.HasPortStateIcon());
    EXPECT_FALSE(window.PortStateIconIsOpen());
}

TEST_F(MainWindowTest, ClosingWritesAllEightKeysInOrder)
{
    WriteConfig(PortsSection(1, "/nonexistent/tty"));
    Start();
    Control<QLineEdit>(IDC_SETTINGS)->setText(QStringLiteral("19200,e,7,2"));
    Control<QCheckBox>(IDC_AUTO_CLEAR)->setChecked(true);
    Control<QLineEdit>(IDC_INTERVAL)->setText(QStringLiteral("250"));
    Control<QPlainTextEdit>(IDC_SEND)->setPlainText(QStringLiteral("你好"));
    CloseWindow();

    const QByteArray config = ReadConfig();
    const QByteArray expected = "[Setting]\r\nPort=0\r\nBordRate=19200,e,7,2\r\nAutoClear=1\r\nAutoRecive=0\r\n"
                                "InterVal=250\r\nHexDisplay=0\r\nHexSend=0\r\nSendData=\xC4\xE3\xBA\xC3\r\n";
    EXPECT_TRUE(config.contains(expected)) << config.toStdString();
    EXPECT_TRUE(config.startsWith("[Ports]")) << "the port map stays as it was";
}

TEST_F(MainWindowTest, PortBeyondTheListSelectsNothingAndReportsTheFailure)
{
    WriteConfig("[Setting]\r\nPort=60\r\n");
    CSerialDebugDlg& window = Start();
    EXPECT_EQ(Control<QComboBox>(IDC_PORT)->currentIndex(), -1);
    EXPECT_EQ(window.PortIndex(), -1);
    EXPECT_EQ(m_messages.texts, QStringList{kCannotOpen});
    EXPECT_FALSE(window.IsPortOpen());
}

TEST_F(MainWindowTest, LongTextsComeBackCutToTheirReadLimits)
{
    const QByteArray settings(150, '9');
    const QByteArray sendText(600, 'x');
    WriteConfig("[Setting]\r\nPort=60\r\nBordRate=" + settings + "\r\nSendData=" + sendText + "\r\n");
    Start();
    EXPECT_EQ(Control<QLineEdit>(IDC_SETTINGS)->text().size(), 99);
    EXPECT_EQ(Control<QPlainTextEdit>(IDC_SEND)->toPlainText().size(), 499);
}

TEST_F(MainWindowTest, PickingAMappedPortOpensItAndTheOpenButtonClosesIt)
{
    PseudoTerminal device;
    WriteConfig("[Setting]\r\nPort=60\r\n" + PortsSection(3, device.SlavePath()));
    CSerialDebugDlg& window = Start();
    m_messages.texts.clear();

    PickPort(2);
    EXPECT_TRUE(window.IsPortOpen());
    EXPECT_EQ(Control<QPushButton>(IDC_OPEN)->text(), QStringLiteral("关闭"));
    EXPECT_TRUE(window.PortStateIconIsOpen());
    EXPECT_TRUE(m_messages.texts.isEmpty());

    Click(IDC_OPEN);
    EXPECT_FALSE(window.IsPortOpen());
    EXPECT_EQ(Control<QPushButton>(IDC_OPEN)->text(), QStringLiteral("打开"));
    EXPECT_FALSE(window.PortStateIconIsOpen());

    Click(IDC_OPEN);
    EXPECT_TRUE(window.IsPortOpen());
    EXPECT_TRUE(m_messages.texts.isEmpty());
}

TEST_F(MainWindowTest, PickingAnAbsentDeviceWhileOpenClosesThePortAndReports)
{
    PseudoTerminal device;
    WriteConfig("[Setting]\r\nPort=2\r\n" + PortsSection(3, device.SlavePath()) + "COM5=/nonexistent/tty\r\n");
    CSerialDebugDlg& window = Start();
    ASSERT_TRUE(window.IsPortOpen());

    PickPort(4);
    EXPECT_EQ(m_messages.texts, QStringList{CannotOpen(Absent(QStringLiteral("/nonexistent/tty")))});
    EXPECT_FALSE(window.IsPortOpen());
    EXPECT_EQ(Control<QPushButton>(IDC_OPEN)->text(), QStringLiteral("打开"));
    EXPECT_FALSE(window.PortStateIconIsOpen());
}

TEST_F(MainWindowTest, RefusedSettingsReportTheFailureButLeaveThePortOpen)
{
    PseudoTerminal device;
    WriteConfigWithCom3(device, "BordRate=fast\r\n");
    CSerialDebugDlg& window = Start();
    const QString device3 = QString::fromStdString(device.SlavePath());
    EXPECT_EQ(m_messages.texts, QStringList{CannotOpen(QStringLiteral("设备 %1 不接受设置“fast”。").arg(device3))});
    EXPECT_TRUE(window.IsPortOpen());
    EXPECT_EQ(Control<QPushButton>(IDC_OPEN)->text(), QStringLiteral("关闭"));
}

TEST_F(MainWindowTest, AVanishedDeviceClosesThePortAndTheWindowKeepsWorking)
{
    PseudoTerminal device;
    WriteConfigWithCom3(device);
    CSerialDebugDlg& window = Start();
    ASSERT_TRUE(window.IsPortOpen());
    device.CloseMaster();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !window.IsPortOpen(); }, 5000));
    EXPECT_EQ(Control<QPushButton>(IDC_OPEN)->text(), QStringLiteral("打开"));
    EXPECT_TRUE(m_messages.texts.isEmpty()) << "a lost device shows no box";
    Control<QPlainTextEdit>(IDC_SEND)->setPlainText(QStringLiteral("still here"));
    Click(IDC_MANUAL_SEND);
    EXPECT_EQ(window.SendCounter(), 10);

    Click(IDC_OPEN);
    EXPECT_EQ(m_messages.texts, QStringList{CannotOpen(Absent(QString::fromStdString(device.SlavePath())))});
    EXPECT_FALSE(window.IsPortOpen());
}

TEST_F(MainWindowTest, AnIntervalThatIsNoNumberStopsThePullAtThatField)
{
    WriteConfig("[Setting]\r\nPort=60\r\n");
    CSerialDebugDlg& window = Start();
    m_messages.texts.clear();
    Control<QLineEdit>(IDC_INTERVAL)->setText(QStringLiteral("12a"));
    Control<QLineEdit>(IDC_SETTINGS)->setText(QStringLiteral("4800,n,8,1"));
    Control<QCheckBox>(IDC_HEX_SEND)->setChecked(true);

    EXPECT_FALSE(window.UpdateData(true));
    EXPECT_EQ(m_messages.texts, QStringList{QStringLiteral("请输入一个整数。")});
    EXPECT_EQ(window.focusWidget(), window.GetDlgItem(IDC_INTERVAL));

    // Members before the field took the new values, those after it kept theirs.
    CloseWindow();
    const QByteArray config = ReadConfig();
    EXPECT_TRUE(config.contains("BordRate=4800,n,8,1")) << config.toStdString();
    EXPECT_TRUE(config.contains("HexSend=0")) << config.toStdString();
}

TEST_F(MainWindowTest, EnterClosesTheWindowOnlyWhenThePullSucceeds)
{
    WriteConfig("[Setting]\r\nPort=60\r\n");
    CSerialDebugDlg& window = Start();
    auto* interval = Control<QLineEdit>(IDC_INTERVAL);
    interval->setFocus();
    interval->setText(QStringLiteral("x"));
    QTest::keyClick(interval, Qt::Key_Return);
    EXPECT_TRUE(window.isVisible());

    interval->setText(QStringLiteral("100"));
    QTest::keyClick(interval, Qt::Key_Return);
    EXPECT_FALSE(window.isVisible());
    EXPECT_TRUE(ReadConfig().contains("InterVal=100"));
}

TEST_F(MainWindowTest, EnterInTheSendAreaMakesANewLineInsteadOfClosing)
{
    WriteConfig("[Setting]\r\nPort=60\r\n");
    CSerialDebugDlg& window = Start();
    auto* send = Control<QPlainTextEdit>(IDC_SEND);
    send->setFocus();
    QTest::keyClicks(send, QStringLiteral("AB"));
    QTest::keyClick(send, Qt::Key_Return);
    QTest::keyClicks(send, QStringLiteral("C"));
    EXPECT_TRUE(window.isVisible());
    EXPECT_EQ(send->toPlainText(), QStringLiteral("AB\nC"));
}

TEST_F(MainWindowTest, NotificationsAfterTheWindowWentAreDropped)
{
    PseudoTerminal device;
    WriteConfigWithCom3(device);
    CSerialDebugDlg& window = Start();
    ASSERT_TRUE(window.IsPortOpen());
    window.close();  // the window is gone; the engine keeps the port until the object goes
    device.Write("late bytes");
    QTest::qWait(50);
    EXPECT_EQ(qobject_cast<QLabel*>(window.GetDlgItem(IDC_RECEIVE_COUNT))->text(), QStringLiteral("接收：0"));
    m_window.reset();
}
