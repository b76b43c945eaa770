// The "串口状态" window against the engine: with a pseudo-terminal (no modem lines, no driver
// counts) and with a fake device behind the engine (lines, break, counts).
#include <QAction>
#include <QLabel>
#include <QProcess>

#include "app/PortStatusDlg.h"
#include "platform/CodePage.h"
#include "tests/app/MainWindowFixture.h"
#include "tests/support/FakeDevice.h"
#include "tests/support/PseudoTerminal.h"
#include "tests/support/ScopedEnvironment.h"

namespace {

const QString kUnknown = QStringLiteral("—");

class PortStatusTest : public MainWindowTest {
protected:
    CPortStatusDlg& OpenStatusWindow()
    {
        m_window->MenuCommand(ID_PORT_STATUS)->trigger();
        CPortStatusDlg* status = m_window->PortStatusWindow();
        EXPECT_NE(status, nullptr);
        EXPECT_TRUE(status->isVisible());
        EXPECT_FALSE(status->isModal());
        return *status;
    }

    QString Count(CPortStatusDlg& status, const char* name) const
    {
        return qobject_cast<QLabel*>(status.Item(QString::fromLatin1(name)))->text();
    }

    static bool Lit(CPortStatusDlg& status, const char* name)
    {
        return status.Item(QString::fromLatin1(name))->property("lit").toBool();
    }

    // Starts with nothing open, then opens COM1 on a fake device.
    CSerialDebugDlg& StartOnFakeDevice()
    {
        WriteConfig("[Setting]\r\nPort=60\r\n");
        CSerialDebugDlg& window = Start();
        m_messages.texts.clear();
        window.Port().SetDeviceFactory(FakeDeviceFactory(device));
        PickPort(0);
        EXPECT_TRUE(window.IsPortOpen());
        return window;
    }

    std::shared_ptr<FakeDeviceState> device = std::make_shared<FakeDeviceState>();
};

TEST_F(PortStatusTest, OnAPseudoTerminalTheCountsRunAndWhatTheDriverDoesNotKeepShowsADash)
{
    PseudoTerminal pty;
    WriteConfigWithCom3(pty);
    Start();
    CPortStatusDlg& status = OpenStatusWindow();
    EXPECT_EQ(status.windowTitle(), QStringLiteral("串口状态"));
    for (const char* name : {"overrun", "framing", "parity", "breaks"}) {
        EXPECT_EQ(Count(status, name), kUnknown) << name;
    }
    for (const char* name : {"CTS", "DSR", "DCD", "RI"}) {
        EXPECT_FALSE(status.Item(QString::fromLatin1(name))->isEnabled()) << name;
    }
    EXPECT_FALSE(status.Item(QStringLiteral("DTR"))->isEnabled());
    EXPECT_EQ(Count(status, "received"), QStringLiteral("0"));

    pty.Write("12345");
    EXPECT_TRUE(QTest::qWaitFor([&] { return Count(status, "received") == QStringLiteral("5"); }, 2000));
    Control<QPlainTextEdit>(IDC_SEND)->setPlainText(QStringLiteral("abc"));
    Click(IDC_MANUAL_SEND);
    EXPECT_TRUE(QTest::qWaitFor([&] { return Count(status, "sent") == QStringLiteral("3"); }, 2000));
    EXPECT_EQ(Count(status, "dropped"), QStringLiteral("0"));

    Click(IDC_OPEN);  // closed: nothing to show
    EXPECT_TRUE(QTest::qWaitFor([&] { return Count(status, "received") == kUnknown; }, 2000));
    EXPECT_FALSE(status.Item(QStringLiteral("Break"))->isEnabled());
}

TEST_F(PortStatusTest, LampsFollowTheModemLinesAndTheBoxesAndBreakReachTheDevice)
{
    StartOnFakeDevice();
    CPortStatusDlg& status = OpenStatusWindow();
    EXPECT_FALSE(Lit(status, "CTS"));
    device->Update([](FakeDeviceState& s) {
        s.modemStatus = MS_CTS_ON | MS_RLSD_ON;
        s.raisedEvents = EV_CTS | EV_RLSD;
    });
    ASSERT_TRUE(QTest::qWaitFor([&] { return Lit(status, "CTS"); }, 2000));
    EXPECT_TRUE(Lit(status, "DCD"));
    EXPECT_FALSE(Lit(status, "DSR"));
    EXPECT_FALSE(Lit(status, "RI"));
    device->Update([](FakeDeviceState& s) {
        s.modemStatus = MS_RING_ON;
        s.raisedEvents = EV_RING;
    });
    ASSERT_TRUE(QTest::qWaitFor([&] { return Lit(status, "RI"); }, 2000));
    EXPECT_FALSE(Lit(status, "CTS"));

    auto* dtr = qobject_cast<QCheckBox*>(status.Item(QStringLiteral("DTR")));
    ASSERT_TRUE(dtr->isEnabled());
    EXPECT_TRUE(dtr->isChecked());
    dtr->click();
    qobject_cast<QCheckBox*>(status.Item(QStringLiteral("RTS")))->click();
    qobject_cast<QCheckBox*>(status.Item(QStringLiteral("RTS")))->click();
    {
        std::lock_guard lock(device->mutex);
        EXPECT_FALSE(device->dtr);
        EXPECT_TRUE(device->rts);
    }
    // Enter on the focused button presses it, as a click does; the window stays.
    auto* breakButton = qobject_cast<QPushButton*>(status.Item(QStringLiteral("Break")));
    breakButton->setFocus();
    QTest::keyClick(breakButton, Qt::Key_Return);
    EXPECT_TRUE(device->WaitUntil([](const FakeDeviceState& s) { return s.breakChanges.size() == 2; }));
    EXPECT_TRUE(status.isVisible());
}

TEST_F(PortStatusTest, TheDriversCountsSinceOpeningAreShownWhereItKeepsThem)
{
    StartOnFakeDevice();
    device->Update([](FakeDeviceState& s) {
        s.counters = {3, 2, 1, 4};
        s.raisedEvents = EV_ERR;
    });
    CPortStatusDlg& status = OpenStatusWindow();
    EXPECT_TRUE(QTest::qWaitFor([&] { return Count(status, "overrun") == QStringLiteral("3"); }, 2000));
    EXPECT_EQ(Count(status, "framing"), QStringLiteral("2"));
    EXPECT_EQ(Count(status, "parity"), QStringLiteral("1"));
    EXPECT_EQ(Count(status, "breaks"), QStringLiteral("4"));
}

TEST_F(PortStatusTest, EscapeClosesTheStatusWindowAndItCostsNothingWhileHidden)
{
    StartOnFakeDevice();
    CPortStatusDlg& status = OpenStatusWindow();
    QTest::keyClick(&status, Qt::Key_Escape);
    EXPECT_FALSE(status.isVisible());
    status.Touch();
    EXPECT_FALSE(status.RefreshPending());
}

TEST_F(PortStatusTest, ADeviceThatVanishesDuringSetStateShowsOneBoxAndThenTheClosedState)
{
    WriteConfig("[Setting]\r\nPort=60\r\n");
    CSerialDebugDlg& window = Start();
    m_messages.texts.clear();
    device->failsSettings = true;
    window.Port().SetDeviceFactory(FakeDeviceFactory(device));
    PickPort(0);
    ASSERT_TRUE(QTest::qWaitFor([&] { return !window.IsPortOpen(); }, 2000));
    QTest::qWait(100);
    ASSERT_EQ(m_messages.texts.size(), 1);
    EXPECT_TRUE(m_messages.texts[0].startsWith(QStringLiteral("不能打开串口！\n")));
    EXPECT_NE(window.ReceiveText().find(Utf8ToGbk("--串口已断开--")), std::string::npos);
}

}  // namespace

// It opens beside the main window, to its right where the screen has room, else to its left;
// afterwards it stays where the user put it.
TEST_F(PortStatusTest, ItOpensBesideTheMainWindowOnceAndThenStaysWhereItWasPut)
{
    for (const bool roomOnTheRight : {true, false}) {
        SCOPED_TRACE(roomOnTheRight ? "room on the right" : "no room on the right");
        WriteConfig("[Setting]\r\nPort=60\r\n");
        CSerialDebugDlg& window = Start();
        const QRect screen = window.screen()->availableGeometry();
        window.resize(200, 200);
        window.move(roomOnTheRight ? screen.left() : screen.right() + 1 - window.frameGeometry().width(), screen.top());
        CPortStatusDlg& status = OpenStatusWindow();
        const QRect main = window.frameGeometry();
        const int width = status.frameGeometry().width();
        EXPECT_EQ(status.frameGeometry().left(), roomOnTheRight ? main.right() + 1 : main.left() - width);
        EXPECT_EQ(status.frameGeometry().top(), main.top());

        status.close();
        const QPoint putThere(screen.left() + 10, screen.top() + 20);
        status.move(putThere);
        window.move(screen.left() + 30, screen.top() + 30);
        OpenStatusWindow();
        EXPECT_EQ(status.pos(), putThere);
        CloseWindow();
    }
}

// Another program (Python's serial module, as a user's host software would) opens a virtual
// port's link, sets 9600 baud with 2 stop bits, and asks; the window's auto-reply answers as the
// device would, and the status window shows the line the program set (a pseudo-terminal keeps 8
// data bits and no parity).
TEST_F(PortStatusTest, AProgramAtAVirtualPortSetsItsLineAndTheAutoReplyAnswersIt)
{
    const ScopedEnvironment runtime("XDG_RUNTIME_DIR", Dir());
    const std::string name = "status-" + std::to_string(QCoreApplication::applicationPid());
    WriteConfig("[Setting]\r\nPort=0\r\nAutoRecive=1\r\n" + PortsSection(1, "virtual:" + name));
    Start();
    ASSERT_TRUE(m_window->IsPortOpen()) << m_messages.texts.size();
    m_window->GetScheme().AddRule({"Q", "01 03", "AA BB", 1, 1});

    QProcess program;
    program.start(QStringLiteral("/usr/bin/python3"),
                  {QStringLiteral(SERIALDEBUG_VIRTUAL_PORT_CLIENT), m_dir.filePath(QStringLiteral("serialdebug/%1")).arg(QString::fromStdString(name)),
                   QStringLiteral("0103"), QStringLiteral("2")});
    ASSERT_TRUE(QTest::qWaitFor([&] { return program.state() == QProcess::NotRunning; }, 20000));
    EXPECT_EQ(program.readAllStandardOutput().trimmed(), "AABB") << program.readAllStandardError().toStdString();
    EXPECT_EQ(m_window->ReceiveCounter(), 2);

    CPortStatusDlg& status = OpenStatusWindow();
    EXPECT_EQ(Count(status, "line"), QStringLiteral("9600,N,8,2"));
    CloseWindow();
    EXPECT_FALSE(QFile::exists(m_dir.filePath(QStringLiteral("serialdebug/%1")).arg(QString::fromStdString(name))));
}
