// Losing and regaining the device, through the real window and pseudo-terminals.
#include <sys/stat.h>

#include <QAction>
#include <QElapsedTimer>
#include <QLabel>
#include <QSemaphore>
#include <QThreadPool>
#include <atomic>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <thread>

#include "app/PortWatch.h"
#include "platform/CodePage.h"
#include "tests/app/MainWindowFixture.h"
#include "tests/platform/TempDir.h"
#include "tests/support/ProcessCounts.h"
#include "tests/support/PseudoTerminal.h"

namespace {

namespace fs = std::filesystem;

const std::string kLostLine = Utf8ToGbk("\r\n--串口已断开--\r\n");
const std::string kBackLine = Utf8ToGbk("\r\n--串口已重新连接--\r\n");

void WriteFile(const std::string& path) { std::ofstream(path) << ""; }

double ProcessCpuSeconds()
{
    timespec now{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) / 1e9;
}

// A flood whose every byte tells which byte should follow it.
constexpr char kAlphabet[] = "0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz";
constexpr std::size_t kAlphabetSize = sizeof kAlphabet - 1;

std::string Flood(std::size_t size)
{
    std::string bytes(size, '\0');
    for (std::size_t index = 0; index < size; ++index) {
        bytes[index] = kAlphabet[index % kAlphabetSize];
    }
    return bytes;
}

bool FollowsTheFlood(const std::string& text)
{
    for (std::size_t index = 1; index < text.size(); ++index) {
        const char* previous = std::strchr(kAlphabet, text[index - 1]);
        if (previous == nullptr || text[index] != kAlphabet[(previous - kAlphabet + 1) % kAlphabetSize]) {
            return false;
        }
    }
    return true;
}

// Qt draws with a pool of threads (each with a descriptor of its own) that it starts when first
// needed and ends after idling. They are all started now and kept, so that a count of threads
// and descriptors sees only the program's own.
void StartQtPoolThreads()
{
    QThreadPool* pool = QThreadPool::globalInstance();
    pool->setExpiryTimeout(-1);
    QSemaphore started;
    QSemaphore release;
    const int count = pool->maxThreadCount();
    for (int index = 0; index < count; ++index) {
        pool->start([&] {
            started.release();
            release.acquire();
        });
    }
    started.acquire(count);
    release.release(count);
    pool->waitForDone();
}

class PortLifeTest : public MainWindowTest {
protected:
    // COM3 mapped through a symbolic link in the program directory, as a by-id path would be.
    std::string Link() const { return Dir() + "/adapter"; }

    void PointLinkAt(const PseudoTerminal& device) const
    {
        // Replaced in one step, as udev does.
        const std::string staging = Link() + ".new";
        fs::remove(staging);
        fs::create_symlink(device.SlavePath(), staging);
        fs::rename(staging, Link());
    }

    CSerialDebugDlg& StartOnLink(const PseudoTerminal& device, bool autoReconnect)
    {
        PointLinkAt(device);
        WriteConfig(QByteArray("[Setting]\r\nPort=2\r\nAutoReconnect=") + (autoReconnect ? "1" : "0") + "\r\n" +
                    PortsSection(3, Link()));
        CSerialDebugDlg& window = Start();
        EXPECT_TRUE(window.IsPortOpen());
        return window;
    }

    bool WaitForPortState(bool open, int milliseconds = 5000) const
    {
        return QTest::qWaitFor([&] { return m_window->IsPortOpen() == open; }, milliseconds);
    }
};

TEST_F(PortLifeTest, ADeviceClosedInTheMiddleOfAFloodLeavesEveryReadByteCountedAndSaysSoWithoutABox)
{
    PseudoTerminal device;
    WriteConfigWithCom3(device);
    CSerialDebugDlg& window = Start();
    ASSERT_TRUE(window.IsPortOpen());

    // First a flood that is read to its end, then one the device stops in the middle.
    const std::string whole = Flood(100000);
    std::thread firstFlood([&] { device.Write(whole); });
    const bool allCounted = QTest::qWaitFor([&] { return window.ReceiveCounter() == 100000; }, 10000);
    firstFlood.join();
    ASSERT_TRUE(allCounted) << window.ReceiveCounter();
    const std::size_t threadsWhileOpen = ThreadCount();

    std::thread writer([&] {
        const std::string more = Flood(whole.size() + 400000).substr(whole.size());
        for (std::size_t sent = 0; sent < more.size(); sent += 4096) {
            device.Write(more.substr(sent, 4096));
        }
        device.CloseMaster();
    });
    const bool closed = WaitForPortState(false, 20000);
    writer.join();
    ASSERT_TRUE(closed);
    window.RefreshReceiveView();

    EXPECT_EQ(static_cast<std::uint64_t>(window.ReceiveCounter()), window.Port().Statistics().received)
        << "every byte read before the loss is counted";
    EXPECT_GT(window.ReceiveCounter(), 100000);
    const std::string& text = window.ReceiveText();
    ASSERT_GE(text.size(), kLostLine.size());
    EXPECT_EQ(text.substr(text.size() - kLostLine.size()), kLostLine);
    EXPECT_TRUE(FollowsTheFlood(text.substr(0, text.size() - kLostLine.size()))) << "shown in order, nothing lost";
    EXPECT_EQ(Control<QPushButton>(IDC_OPEN)->text(), QStringLiteral("打开"));
    EXPECT_FALSE(window.PortStateIconIsOpen());
    EXPECT_TRUE(m_messages.texts.isEmpty()) << m_messages.texts.join(QLatin1Char('|')).toStdString();
    EXPECT_EQ(ThreadCount(), threadsWhileOpen - 1) << "the monitor thread has ended";

    // Idle afterwards: no spinning.
    const double cpuBefore = ProcessCpuSeconds();
    QTest::qWait(500);
    EXPECT_LT(ProcessCpuSeconds() - cpuBefore, 0.1);
}

TEST_F(PortLifeTest, ALossStopsAutoSendAndCyclicSendLikeAClose)
{
    PseudoTerminal device;
    WriteConfigWithCom3(device, "InterVal=20\r\n");
    CSerialDebugDlg& window = Start();
    Control<QPlainTextEdit>(IDC_SEND)->setPlainText(QStringLiteral("tick"));
    Click(IDC_AUTO_SEND);
    ASSERT_TRUE(Control<QCheckBox>(IDC_AUTO_SEND)->isChecked());
    device.CloseMaster();
    ASSERT_TRUE(WaitForPortState(false));
    EXPECT_FALSE(Control<QCheckBox>(IDC_AUTO_SEND)->isChecked());
    const int sent = window.SendCounter();
    QTest::qWait(100);
    EXPECT_EQ(window.SendCounter(), sent);
}

TEST_F(PortLifeTest, WithAutoReconnectTheLinkPointedAtANewDeviceReopensThePortWithinASecond)
{
    auto first = std::make_unique<PseudoTerminal>();
    CSerialDebugDlg& window = StartOnLink(*first, true);
    EXPECT_TRUE(window.MenuCommand(ID_AUTO_RECONNECT)->isChecked());
    first->CloseMaster();
    ASSERT_TRUE(WaitForPortState(false));
    EXPECT_TRUE(window.Session().WaitingForDevice());

    PseudoTerminal second;  // another device, with other device numbers
    QElapsedTimer clock;
    clock.start();
    PointLinkAt(second);
    ASSERT_TRUE(WaitForPortState(true, 1000));
    EXPECT_LT(clock.elapsed(), 1000);
    EXPECT_TRUE(window.PortStateIconIsOpen());
    EXPECT_EQ(Control<QPushButton>(IDC_OPEN)->text(), QStringLiteral("关闭"));

    second.Write("hello again");
    ASSERT_TRUE(QTest::qWaitFor([&] { return window.ReceiveText().find("hello again") != std::string::npos; }, 5000));
    const std::string& text = window.ReceiveText();
    EXPECT_LT(text.find(kLostLine), text.find(kBackLine));
    EXPECT_LT(text.find(kBackLine), text.find("hello again"));
    EXPECT_TRUE(m_messages.texts.isEmpty());
    EXPECT_FALSE(window.Session().WaitingForDevice());
}

TEST_F(PortLifeTest, AnUnattendedCaptureGoesOnInItsFileAfterAReconnectionAndAMenuStopEndsThat)
{
    auto first = std::make_unique<PseudoTerminal>();
    CSerialDebugDlg& window = StartOnLink(*first, true);
    const std::string path = Dir() + "/unattended.log";
    window.CaptureWhenPortOpens(path);
    ASSERT_TRUE(window.IsCapturing());
    first->Write("before");
    ASSERT_TRUE(QTest::qWaitFor([&] { return window.ReceiveCounter() == 6; }, 5000));
    first->CloseMaster();
    ASSERT_TRUE(WaitForPortState(false));
    EXPECT_FALSE(window.IsCapturing()) << "the loss ends the recording";
    EXPECT_EQ(ReadFile(path), "before");

    PseudoTerminal second;
    PointLinkAt(second);
    ASSERT_TRUE(WaitForPortState(true));
    EXPECT_TRUE(window.IsCapturing());
    second.Write("after");
    ASSERT_TRUE(QTest::qWaitFor([&] { return window.ReceiveCounter() == 11; }, 5000));
    window.MenuCommand(ID_CAPTURE_STOP)->trigger();
    EXPECT_EQ(ReadFile(path), "beforeafter");

    // Stopped from the menu, it is not taken up again at the next reconnection.
    second.CloseMaster();
    ASSERT_TRUE(WaitForPortState(false));
    PseudoTerminal third;
    PointLinkAt(third);
    ASSERT_TRUE(WaitForPortState(true));
    EXPECT_FALSE(window.IsCapturing());
    EXPECT_TRUE(m_messages.texts.isEmpty()) << m_messages.texts.join('\n').toStdString();
}

TEST_F(PortLifeTest, ACloseByTheUserDuringTheWaitCancelsTheReconnection)
{
    auto first = std::make_unique<PseudoTerminal>();
    CSerialDebugDlg& window = StartOnLink(*first, true);
    first->CloseMaster();
    ASSERT_TRUE(WaitForPortState(false));
    ASSERT_TRUE(window.Session().WaitingForDevice());

    Click(IDC_OPEN);  // the user takes over: the device is not there, so the box says why
    EXPECT_EQ(m_messages.texts.size(), 1);
    EXPECT_FALSE(window.Session().WaitingForDevice());
    PseudoTerminal second;
    PointLinkAt(second);
    QTest::qWait(700);
    EXPECT_FALSE(window.IsPortOpen());
}

TEST_F(PortLifeTest, TurningAutoReconnectOffDuringTheWaitCancelsIt)
{
    auto first = std::make_unique<PseudoTerminal>();
    CSerialDebugDlg& window = StartOnLink(*first, true);
    first->CloseMaster();
    ASSERT_TRUE(WaitForPortState(false));
    window.MenuCommand(ID_AUTO_RECONNECT)->trigger();
    EXPECT_FALSE(window.Session().WaitingForDevice());
    PseudoTerminal second;
    PointLinkAt(second);
    QTest::qWait(700);
    EXPECT_FALSE(window.IsPortOpen());
    CloseWindow();
    EXPECT_TRUE(ReadConfig().contains("AutoReconnect=0\r\n"));
}

TEST_F(PortLifeTest, WithoutAutoReconnectALostPortStaysClosed)
{
    auto first = std::make_unique<PseudoTerminal>();
    CSerialDebugDlg& window = StartOnLink(*first, false);
    first->CloseMaster();
    ASSERT_TRUE(WaitForPortState(false));
    EXPECT_FALSE(window.Session().WaitingForDevice());
    PseudoTerminal second;
    PointLinkAt(second);
    QTest::qWait(700);
    EXPECT_FALSE(window.IsPortOpen());
    EXPECT_TRUE(m_messages.texts.isEmpty());
}

TEST_F(PortLifeTest, ALinkPointedElsewhileWhileOpenIsALossAndTheNewDeviceIsOpened)
{
    PseudoTerminal first;
    CSerialDebugDlg& window = StartOnLink(first, true);
    PseudoTerminal second;
    PointLinkAt(second);
    ASSERT_TRUE(QTest::qWaitFor([&] { return window.ReceiveText().find(kBackLine) != std::string::npos; }, 2000));
    EXPECT_TRUE(window.IsPortOpen());
    second.Write("from the new one");
    ASSERT_TRUE(QTest::qWaitFor([&] { return window.ReceiveText().find("from the new one") != std::string::npos; }, 5000));
}

TEST_F(PortLifeTest, AHundredUnplugAndReplugCyclesLeakNoDescriptorsOrThreads)
{
    auto device = std::make_unique<PseudoTerminal>();
    CSerialDebugDlg& window = StartOnLink(*device, true);
    ASSERT_TRUE(window.IsPortOpen());
    auto unplugAndReplug = [&](int cycle) {
        device->CloseMaster();
        ASSERT_TRUE(WaitForPortState(false)) << cycle;
        device = std::make_unique<PseudoTerminal>();
        PointLinkAt(*device);
        ASSERT_TRUE(WaitForPortState(true)) << cycle;
    };
    StartQtPoolThreads();
    for (int cycle = 0; cycle < 3; ++cycle) {
        unplugAndReplug(cycle);  // Qt's own lazily made threads and descriptors come here
    }
    const std::size_t descriptors = OpenDescriptorCount();
    const std::size_t threads = ThreadCount();
    for (int cycle = 0; cycle < 100; ++cycle) {
        unplugAndReplug(cycle);
    }
    EXPECT_EQ(OpenDescriptorCount(), descriptors);
    EXPECT_EQ(ThreadCount(), threads);
    EXPECT_TRUE(m_messages.texts.isEmpty());
}

TEST_F(PortLifeTest, APortListEntryIsBoldWhileItsDeviceIsThereAndItsToolTipNamesTheDevice)
{
    auto device = std::make_unique<PseudoTerminal>();
    WriteConfig("[Setting]\r\nPort=60\r\n" + PortsSection(3, Link()) + "COM4=" + QByteArray::fromStdString(Dir()) +
                "/unplugged\r\n");
    PointLinkAt(*device);
    Start();
    auto* list = Control<QComboBox>(IDC_PORT);
    auto bold = [list](int index) { return list->itemData(index, Qt::FontRole).value<QFont>().bold(); };
    EXPECT_TRUE(bold(2));
    EXPECT_FALSE(bold(3));
    EXPECT_EQ(list->itemText(2), QStringLiteral("COM3"));
    EXPECT_EQ(list->itemData(2, Qt::ToolTipRole).toString(), QString::fromStdString(Link()));
    EXPECT_EQ(list->itemData(3, Qt::ToolTipRole).toString(), QString::fromStdString(Dir() + "/unplugged"));

    device->CloseMaster();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !fs::exists(Link()); }, 2000));
    fs::remove(Link());
    EXPECT_TRUE(QTest::qWaitFor([&] { return !bold(2); }, 2000));
}

TEST_F(PortLifeTest, AThousandHotPlugEventsInASecondNeitherStallNorSpinTheWindow)
{
    PseudoTerminal device;
    CSerialDebugDlg& window = StartOnLink(device, true);
    const double cpuBefore = ProcessCpuSeconds();
    QElapsedTimer clock;
    clock.start();
    for (int index = 0; index < 1000; ++index) {
        const std::string node = Dir() + "/ttyUSB" + std::to_string(index);
        WriteFile(node);
        fs::remove(node);
        if (index % 100 == 0) {
            QCoreApplication::processEvents();
        }
    }
    QTest::qWait(600);
    EXPECT_LT(ProcessCpuSeconds() - cpuBefore, 1.0);
    EXPECT_TRUE(window.IsPortOpen());
    device.Write("still");
    EXPECT_TRUE(QTest::qWaitFor([&] { return window.ReceiveCounter() == 5; }, 5000));
    EXPECT_TRUE(m_messages.texts.isEmpty());
}

TEST_F(PortLifeTest, PathsThatAreNoSerialDeviceShowOneBoxEachAndNeverHang)
{
    const std::string dir = Dir();
    WriteFile(dir + "/regular");
    fs::create_directory(dir + "/folder");
    ASSERT_EQ(::mkfifo((dir + "/fifo").c_str(), 0600), 0);
    WriteConfig(QByteArray("[Setting]\r\nPort=60\r\n[Ports]\r\nCOM1=") + QByteArray::fromStdString(dir) + "/regular\r\nCOM2=" +
                QByteArray::fromStdString(dir) + "/folder\r\nCOM3=" + QByteArray::fromStdString(dir) +
                "/fifo\r\nCOM4=/dev/null\r\n");
    CSerialDebugDlg& window = Start();
    const QString paths[] = {QString::fromStdString(dir + "/regular"), QString::fromStdString(dir + "/folder"),
                             QString::fromStdString(dir + "/fifo"), QStringLiteral("/dev/null")};
    for (int index = 0; index < 4; ++index) {
        m_messages.texts.clear();
        PickPort(index);
        EXPECT_EQ(m_messages.texts,
                  QStringList{QStringLiteral("不能打开串口！\n%1 不是串口设备。").arg(paths[index])});
        EXPECT_FALSE(window.IsPortOpen());
    }
}

TEST(PortWatch, AStormOfHotPlugEventsIsAnsweredAtMostFourTimesASecond)
{
    QTemporaryDir dir;
    PortWatch watch;
    watch.Watch({dir.filePath(QStringLiteral("ttyUSB0")).toStdString()});
    int changes = 0;
    QObject::connect(&watch, &PortWatch::Changed, [&] { ++changes; });
    QElapsedTimer clock;
    clock.start();
    for (int index = 0; clock.elapsed() < 1000; ++index) {
        const std::string node = dir.filePath(QStringLiteral("ttyUSB%1").arg(index % 8)).toStdString();
        WriteFile(node);
        fs::remove(node);
        QCoreApplication::processEvents();
    }
    QTest::qWait(300);
    EXPECT_GE(changes, 1);
    EXPECT_LE(changes, clock.elapsed() / PortWatch::kShortestGapMs + 1) << "in " << clock.elapsed() << " ms";
}

}  // namespace
