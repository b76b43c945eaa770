// Several main windows in one program, on pseudo-terminals: each its own port and traffic, one
// scheme for all, their settings kept at the end and opened again at the next start.
#include <QAction>
#include <QApplication>
#include <QComboBox>

#include "app/SerialDebugApp.h"
#include "app/TimelineDlg.h"
#include "app/WindowGroup.h"
#include "tests/app/MainWindowFixture.h"
#include "tests/support/FileSizeLimit.h"
#include "tests/support/ModalDriver.h"
#include <optional>
#include "ui/FileDialog.h"

namespace {

class WindowGroupTest : public MainWindowTest {
protected:
    // Config.ini maps COM3, COM4 and COM5 to the three devices; `settings` are its first lines.
    void WriteConfigWithPorts(const QByteArray& settings)
    {
        WriteConfig(settings + "[Ports]\r\nCOM3=" + QByteArray::fromStdString(m_devices[0].SlavePath()) +
                    "\r\nCOM4=" + QByteArray::fromStdString(m_devices[1].SlavePath()) +
                    "\r\nCOM5=" + QByteArray::fromStdString(m_devices[2].SlavePath()) + "\r\n");
    }

    // The first window of a group on COM3, and `more` windows on COM4 and on.
    std::vector<CSerialDebugDlg*> OpenWindows(int more)
    {
        m_group = std::make_unique<CWindowGroup>(Dir());
        m_first = std::make_unique<CSerialDebugDlg>(*m_group);
        m_first->SetStartPort(3);
        m_first->OnInitDialog();
        m_first->show();
        std::vector<CSerialDebugDlg*> windows{m_first.get()};
        for (int port = 4; port < 4 + more; ++port) {
            windows.push_back(m_group->OpenWindow(port));
        }
        for (CSerialDebugDlg* window : windows) {
            EXPECT_TRUE(window->IsPortOpen());
        }
        return windows;
    }

    static bool WaitForCount(CSerialDebugDlg* window, int count)
    {
        return QTest::qWaitFor([&] { return window->ReceiveCounter() >= count; }, 5000);
    }

    void TearDown() override
    {
        m_first.reset();
        m_group.reset();
    }

    PseudoTerminal m_devices[3];
    std::unique_ptr<CWindowGroup> m_group;
    std::unique_ptr<CSerialDebugDlg> m_first;
};

}  // namespace

TEST_F(WindowGroupTest, TwoWindowsEachCarryTheBytesOfTheirOwnPortAndNameItInTheirTitles)
{
    WriteConfigWithPorts("");
    const std::vector<CSerialDebugDlg*> windows = OpenWindows(1);
    EXPECT_EQ(windows[0]->windowTitle(), QStringLiteral("串口调试 - COM3"));
    EXPECT_EQ(windows[1]->windowTitle(), QStringLiteral("串口调试 - COM4"));

    m_devices[0].Write("first");
    m_devices[1].Write("second!");
    ASSERT_TRUE(WaitForCount(windows[0], 5) && WaitForCount(windows[1], 7));
    EXPECT_EQ(windows[0]->ReceiveText(), "first");
    EXPECT_EQ(windows[1]->ReceiveText(), "second!");
    windows[1]->SendString("to four", 0);
    EXPECT_EQ(DeviceReceives(m_devices[1], 7), "to four");
    EXPECT_EQ(m_devices[0].ReadAvailable(), "");

    windows[1]->close();
    EXPECT_TRUE(QTest::qWaitFor([&] { return m_first->windowTitle() == QStringLiteral("串口调试"); }, 2000));
    EXPECT_TRUE(m_messages.texts.isEmpty()) << m_messages.texts.join('\n').toStdString();

    CSerialDebugDlg* third = m_group->OpenWindow(5);
    m_first->close();
    EXPECT_FALSE(m_first->Port().IsOpen()) << "closing a window closes its port";
    EXPECT_TRUE(third->IsPortOpen());
}

TEST_F(WindowGroupTest, ARuleAddedThroughOneWindowAnswersInTheOther)
{
    WriteConfigWithPorts("[Window2]\r\nAutoRecive=1\r\n");
    const std::vector<CSerialDebugDlg*> windows = OpenWindows(1);
    windows[0]->GetScheme().AddRule({"ping", "PING", "PONG", 0, 0});
    m_devices[1].Write("PING");
    EXPECT_EQ(DeviceReceives(m_devices[1], 4), "PONG");
    EXPECT_EQ(windows[1]->Rules().size(), 1u);
}

// Three windows on three ports close together through 退出 and open again at the next start,
// each on its port with its own values; Default.pol is written once.
TEST_F(WindowGroupTest, ThreeWindowsAreSavedAtExitAndOpenAgainEachOnItsPort)
{
    WriteConfigWithPorts("");
    std::vector<CSerialDebugDlg*> windows = OpenWindows(2);
    const QString rates[] = {QStringLiteral("9600,n,8,1"), QStringLiteral("19200,n,8,1"), QStringLiteral("38400,n,8,1")};
    for (std::size_t i = 0; i < windows.size(); ++i) {
        windows[i]->findChild<QLineEdit*>(QString::number(IDC_SETTINGS))->setText(rates[i]);
    }
    windows[1]->MenuCommand(ID_APP_EXIT)->trigger();
    const QByteArray config = ReadConfig();
    EXPECT_TRUE(config.contains("Windows=3\r\n")) << config.toStdString();
    EXPECT_TRUE(config.contains("[Window2]\r\nPort=3\r\nBordRate=19200,n,8,1\r\n")) << config.toStdString();
    EXPECT_TRUE(config.contains("[Window3]\r\nPort=4\r\nBordRate=38400,n,8,1\r\n"));
    EXPECT_TRUE(QFile::exists(m_dir.filePath(QStringLiteral("Default.pol"))));
    m_first.reset();
    m_group.reset();

    std::vector<std::pair<int, QString>> reopened;
    WhenDialogOpens<CSerialDebugDlg>([&](CSerialDebugDlg* first) {
        EXPECT_TRUE(QTest::qWaitFor([&] { return first->Group().Count() == 3; }, 5000));
        for (CSerialDebugDlg* window : first->Group().Windows()) {
            EXPECT_TRUE(window->IsPortOpen());
            reopened.emplace_back(window->PortIndex(),
                                  window->findChild<QLineEdit*>(QString::number(IDC_SETTINGS))->text());
        }
        first->MenuCommand(ID_APP_EXIT)->trigger();
    });
    CommandLineOptions options;
    options.configDir = Dir();
    CSerialDebugApp(options).InitInstance();
    EXPECT_EQ(reopened, (std::vector<std::pair<int, QString>>{{2, rates[0]}, {3, rates[1]}, {4, rates[2]}}));
    EXPECT_TRUE(m_messages.texts.isEmpty()) << m_messages.texts.join('\n').toStdString();
}

// Windows closed one by one, in any order: the values kept are those of the last one.
TEST_F(WindowGroupTest, WindowsClosedInAnyOrderLeaveTheLastOnesValues)
{
    for (const std::vector<int>& order : {std::vector<int>{1, 0, 2}, std::vector<int>{2, 1, 0}, std::vector<int>{0, 2, 1}}) {
        WriteConfigWithPorts("");
        const std::vector<CSerialDebugDlg*> windows = OpenWindows(2);
        for (const int index : order) {
            windows[static_cast<std::size_t>(index)]->close();
        }
        const QByteArray config = ReadConfig();
        EXPECT_TRUE(config.contains("[Setting]\r\nPort=" + QByteArray::number(2 + order.back()) + "\r\n")) << config.toStdString();
        EXPECT_FALSE(config.contains("Windows=")) << config.toStdString();
        TearDown();
    }
}

TEST_F(WindowGroupTest, TwoWindowsAskedForOnePortAtStartGiveOneMessage)
{
    WriteConfigWithPorts("");
    WhenDialogOpens<CSerialDebugDlg>([&](CSerialDebugDlg* first) {
        EXPECT_TRUE(QTest::qWaitFor([&] { return first->Group().Count() == 2; }, 5000));
        first->MenuCommand(ID_APP_EXIT)->trigger();
    });
    CommandLineOptions options;
    options.configDir = Dir();
    options.port = 3;
    options.morePorts = {3};
    CSerialDebugApp(options).InitInstance();
    ASSERT_EQ(m_messages.texts.size(), 1);
    EXPECT_TRUE(m_messages.texts[0].startsWith(QStringLiteral("不能打开串口！\n"))) << m_messages.texts[0].toStdString();
}

TEST_F(WindowGroupTest, TheTimelineShowsBothPortsInOrderAndAFailedExportSaysSoOnce)
{
    WriteConfigWithPorts("");
    const std::vector<CSerialDebugDlg*> windows = OpenWindows(1);
    windows[0]->MenuCommand(ID_TIMELINE)->trigger();
    CTimelineDlg* timeline = m_group->TimelineWindow();
    ASSERT_NE(timeline, nullptr);
    m_devices[0].Write("A");
    ASSERT_TRUE(WaitForCount(windows[0], 1));
    m_devices[1].Write("B");
    ASSERT_TRUE(WaitForCount(windows[1], 1));
    windows[1]->SendString("C", 0);
    const std::deque<TimelineFrame>& frames = m_group->GetTimeline().Frames();
    ASSERT_EQ(frames.size(), 3u);
    EXPECT_EQ(frames[0].port, 3);
    EXPECT_EQ(frames[1].port, 4);
    EXPECT_TRUE(frames[2].sent);
    timeline->Refresh();
    EXPECT_EQ(timeline->Rows().rowCount(), 3);

    // A folder that is not there, and a disk that is full: one message each, no file.
    auto* exportButton = timeline->findChild<QPushButton*>(QStringLiteral("export"));
    ASSERT_NE(exportButton, nullptr);
    for (const QString& path : {m_dir.filePath(QStringLiteral("no/such/folder/t.csv")), m_dir.filePath(QStringLiteral("full.csv"))}) {
        m_messages.texts.clear();
        SetFileDialogHandler([&](QWidget*, const FileDialogRequest&) { return path; });
        {
            std::optional<FileSizeLimit> full;
            if (path.endsWith(QStringLiteral("full.csv"))) {
                full.emplace(16);
            }
            exportButton->click();
        }
        EXPECT_EQ(m_messages.texts.size(), 1) << path.toStdString();
        EXPECT_FALSE(QFile::exists(path));
    }
    SetFileDialogHandler({});
}

TEST_F(WindowGroupTest, TheProgramGoesOnWhenItsFirstWindowClosesAndEndsWithTheLast)
{
    WriteConfigWithPorts("[Setting]\r\nPort=2\r\nWindows=2\r\n[Window2]\r\nPort=3\r\n");
    WhenDialogOpens<CSerialDebugDlg>([&](CSerialDebugDlg* first) {
        ASSERT_TRUE(QTest::qWaitFor([&] { return first->Group().Count() == 2; }, 5000));
        CSerialDebugDlg* second = first->Group().Windows()[1];
        first->close();
        QTimer::singleShot(50, second, [second] { second->close(); });
    });
    CommandLineOptions options;
    options.configDir = Dir();
    CSerialDebugApp(options).InitInstance();
    const QByteArray config = ReadConfig();
    EXPECT_TRUE(config.startsWith("[Setting]\r\nPort=3\r\n")) << config.toStdString();
    EXPECT_TRUE(config.contains("Windows=1\r\n")) << config.toStdString();
}
