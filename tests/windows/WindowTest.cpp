// The main window on a COM port under Wine, with tests/windows/far_side.py playing the device:
// a flood counted byte for byte, an auto-reply rule answering the device, a device that vanishes
// mid-flood, and the files a fixed run of actions writes into folders with Chinese names, byte
// for byte as the recorded files of the same run on Linux. The window on a network port,
// through ser2net and against a scripted COM-PORT server. And the program's message for a
// settings folder it cannot use, naming a Chinese path intact.
#include <QAction>
#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>

#include <future>
#include <memory>
#include <thread>
#include <utility>

#include "app/CommandLine.h"
#include "app/SerialDebugApp.h"
#include "app/SerialDebugDlg.h"
#include "platform/CodePage.h"
#include "platform/Device.h"
#include "platform/PortNames.h"
#include "platform/TelnetComPort.h"
#include "sendlist/SendListPanel.h"
#include "tests/app/RecordedRun.h"
#include "tests/platform/TempDir.h"
#include "tests/support/ManualClock.h"
#include "tests/support/MessageRecorder.h"
#include "tests/support/ModalDriver.h"
#include "tests/support/ScriptedServer.h"
#include "ui/FileDialog.h"
#include "tests/windows/FarSide.h"

using namespace far_side;

namespace {

const std::string kLostLine = Utf8ToGbk("\r\n--串口已断开--\r\n");

// The main window started on a Config.ini of the test's, in a folder of its own.
class WindowParts {
protected:
    void StartWindow(const QByteArray& config)
    {
        QFile file(m_dir.filePath(QStringLiteral("Config.ini")));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(config);
        file.close();
        m_window = std::make_unique<CSerialDebugDlg>(m_dir.path().toStdString());
        m_window->OnInitDialog();
        m_window->show();
    }

    void CloseWindow()
    {
        SetFileDialogHandler({});
        if (m_window) {
            m_window->close();
            m_window.reset();
        }
    }

    bool WaitForPortState(bool open) const
    {
        return QTest::qWaitFor([&] { return m_window->IsPortOpen() == open; }, 5000);
    }

    std::string Messages() const { return m_messages.texts.join(QStringLiteral("; ")).toStdString(); }

    QTemporaryDir m_dir{QDir::tempPath() + QStringLiteral("/设置 目录-XXXXXX")};
    MessageRecorder m_messages;
    std::unique_ptr<CSerialDebugDlg> m_window;
};

class WindowOnComPort : public FarSideTest, protected WindowParts {
protected:
    void Start(const QByteArray& config)
    {
        ASSERT_NO_FATAL_FAILURE(StartWindow(config));
        ASSERT_TRUE(m_window->IsPortOpen()) << Messages();
    }

    void StartOnThePort() { Start("[Setting]\r\nPort=" + QByteArray::number(PortNumber() - 1) + "\r\nAutoRecive=1\r\n"); }

    void TearDown() override { CloseWindow(); }
};

TEST_F(WindowOnComPort, AFloodFromTheDeviceIsCountedByteForByte)
{
    ASSERT_NO_FATAL_FAILURE(StartOnThePort());
    constexpr int kFlood = 200000;
    constexpr std::size_t kPiece = 4096;
    std::thread device([&] {
        const std::string piece(kPiece, 'f');
        for (std::size_t sent = 0; sent < kFlood; sent += kPiece) {
            if (!farSide->Write(piece.substr(0, std::min<std::size_t>(kPiece, kFlood - sent)))) {
                break;
            }
        }
    });
    const bool counted = QTest::qWaitFor([&] { return m_window->ReceiveCounter() == kFlood; }, 60000);
    device.join();
    EXPECT_TRUE(counted) << m_window->ReceiveCounter() << " of " << kFlood;
}

TEST_F(WindowOnComPort, AnAutoReplyRuleAnswersTheDevice)
{
    ASSERT_NO_FATAL_FAILURE(StartOnThePort());
    m_window->GetScheme().AddRule({"Q", "01 03", "AA BB", 1, 1});
    ASSERT_TRUE(farSide->Write("\x01\x03"));
    std::string answer;
    (void)QTest::qWaitFor(
        [&] {
            answer += farSide->Read(2 - answer.size(), 100ms);
            return answer.size() >= 2;
        },
        10000);
    EXPECT_EQ(answer, "\xAA\xBB");
    EXPECT_EQ(m_window->ReceiveCounter(), 2);
}

TEST_F(WindowOnComPort, AMissingOrHeldPortIsOneClearMessageInChinese)
{
    const std::unique_ptr<Device> holder = CreateDevice(DefaultPortDevice(PortNumber()));
    ASSERT_TRUE(holder->Open(DefaultPortDevice(PortNumber())));
    const struct {
        int port;
        QString reason;
    } cases[] = {
        {49, QStringLiteral("设备 \\\\.\\COM49 不存在（设备没有接上，或者名称不对）。")},
        {PortNumber(), QStringLiteral("设备 \\\\.\\%1 正被另一个程序使用。").arg(QString::fromStdString(port))},
    };
    for (const auto& each : cases) {
        m_messages.texts.clear();
        ASSERT_NO_FATAL_FAILURE(StartWindow("[Setting]\r\nPort=" + QByteArray::number(each.port - 1) + "\r\n"));
        EXPECT_FALSE(m_window->IsPortOpen());
        EXPECT_EQ(Messages(), (QStringLiteral("不能打开串口！\n") + each.reason).toStdString());
        CloseWindow();
    }
}

// Last of the tests on the COM port, since it takes the device away: the far side renews it.
TEST_F(WindowOnComPort, ADeviceThatVanishesMidFloodShowsTheLossWithoutABox)
{
    ASSERT_NO_FATAL_FAILURE(StartOnThePort());
    auto flood = std::async(std::launch::async, [&] { return farSide->Ask("FLOOD 300000 HANGUP"); });
    EXPECT_TRUE(QTest::qWaitFor([&] { return !m_window->IsPortOpen(); }, 30000));
    EXPECT_EQ(flood.get().rfind("OK", 0), 0u);
    EXPECT_GT(m_window->ReceiveCounter(), 0);
    EXPECT_NE(m_window->ReceiveText().find(kLostLine), std::string::npos);
    EXPECT_TRUE(m_messages.texts.isEmpty()) << Messages();
    EXPECT_EQ(farSide->Ask("RENEW"), "OK");
}

// The run of tests/app/WrittenFilesTest.cpp, with COM3 mapped to this system's COM port instead
// of a pseudo-terminal, and every file in a folder with a Chinese name: the same actions must
// write the same bytes.
class WrittenFilesOnComPort : public WindowOnComPort {
protected:
    void Receive(const std::string& bytes)
    {
        const int before = m_window->ReceiveCounter();
        ASSERT_TRUE(farSide->Write(bytes));
        ASSERT_TRUE(QTest::qWaitFor(
            [&] { return m_window->ReceiveCounter() >= before + static_cast<int>(bytes.size()); }, 5000));
    }

    void ExpectAsRecorded(const std::string& written, const std::string& name) const
    {
        const std::string bytes = ReadFile(written);
        ASSERT_FALSE(bytes.empty()) << written;
        EXPECT_EQ(bytes, ReadFile(std::string(SERIALDEBUG_WRITTEN_FILES_DIR) + "/" + name)) << name;
    }

    void Trigger(int command) { m_window->MenuCommand(command)->trigger(); }
    void AnswerFileDialogWith(const std::string& path)
    {
        SetFileDialogHandler([path](QWidget*, const FileDialogRequest&) { return QString::fromStdString(path); });
    }
    template <typename Widget>
    Widget* Control(int id) const
    {
        return qobject_cast<Widget*>(m_window->GetDlgItem(id));
    }

    ManualClock m_clock;
    TempDir m_files;
};

TEST_F(WrittenFilesOnComPort, ARunOfEveryKindOfTrafficWritesTheFilesRecordedOnLinux)
{
    const std::string dir = m_dir.path().toStdString();
    WriteFile(dir + "/Default.pol", recorded_run::SchemeText());
    const std::string device = "\\\\.\\" + port;
    ASSERT_NO_FATAL_FAILURE(Start(QByteArray::fromStdString(recorded_run::ConfigText(device))));
    m_window->UseClock(m_clock);

    const std::string capture = m_files.File("记录 数据.log");
    AnswerFileDialogWith(capture);
    Trigger(ID_CAPTURE_START);
    ASSERT_TRUE(m_window->IsCapturing());
    Receive("PING");
    m_clock.Advance(std::chrono::milliseconds(50));
    Receive(std::string("\x01\x03\x00\x10", 4));
    m_clock.Advance(std::chrono::milliseconds(50));
    Receive(recorded_run::kReceived + "\r\n");
    m_clock.Advance(std::chrono::milliseconds(5));
    Control<QPlainTextEdit>(IDC_SEND)->setPlainText(QStringLiteral("AB CD"));
    Control<QCheckBox>(IDC_HEX_SEND)->setChecked(true);
    QTest::mouseClick(m_window->GetDlgItem(IDC_MANUAL_SEND), Qt::LeftButton);
    m_window->SendListPanel()->SendNextItem();
    m_clock.Advance(std::chrono::milliseconds(100));
    Receive("tail");
    std::string atDevice;
    (void)QTest::qWaitFor(
        [&] {
            atDevice += farSide->Read(15 - atDevice.size(), 100ms);
            return atDevice.size() >= 15;
        },
        5000);
    EXPECT_EQ(atDevice.size(), 15u);
    Trigger(ID_CAPTURE_STOP);

    const std::string saved = m_files.File("接收 数据.txt");
    AnswerFileDialogWith(saved);
    Trigger(ID_FILE_SAVE);
    QTest::mouseClick(m_window->GetDlgItem(IDC_AUTO_CLEAR), Qt::LeftButton);
    m_window->close();
    m_window.reset();
    EXPECT_TRUE(m_messages.texts.isEmpty()) << m_messages.texts.join(QLatin1Char('\n')).toStdString();

    ExpectAsRecorded(capture, "capture.log");
    ExpectAsRecorded(saved, "saved.txt");
    ExpectAsRecorded(dir + "/Default.pol", "Default.pol");
    std::string config = ReadFile(dir + "/Config.ini");
    const std::string portLine = "COM3=" + device;
    const std::size_t at = config.find(portLine);
    ASSERT_NE(at, std::string::npos) << config;
    config.replace(at, portLine.size(), "COM3=PTY");
    const std::string comparable = m_files.File("Config.ini");
    WriteFile(comparable, config);
    ExpectAsRecorded(comparable, "Config.ini");
}

}  // namespace

namespace {

// A COM-PORT server that sends `data` once the window's own settings are answered.
class SendingServer {
public:
    explicit SendingServer(std::string data)
        : server_([data](ScriptedServer::Client& client) {
              bool settingsAnswered = false;
              bool sent = false;
              fake_server::ServeComPort(
                  client,
                  [&](const fake_server::Request& request, std::string&) {
                      // The window's settings end with flow control; a query is all zeros.
                      settingsAnswered = settingsAnswered ||
                                         (request.command == telnet::SET_CONTROL && request.value != std::string(1, '\0'));
                      return true;
                  },
                  [&] {
                      if (settingsAnswered && !std::exchange(sent, true)) {
                          client.Send(data);
                      }
                  });
          })
    {
    }
    std::string Url() const { return server_.Url("rfc2217"); }

private:
    ScriptedServer server_;
};

class WindowOnNetworkPort : public ::testing::Test, protected WindowParts {
protected:
    // COM3 is `url` and opens at start, in the background.
    void StartOn(const std::string& url, const QByteArray& moreSettings = {})
    {
        ASSERT_NO_FATAL_FAILURE(StartWindow("[Setting]\r\nPort=2\r\nAutoRecive=1\r\n" + moreSettings +
                                            "[Ports]\r\nCOM3=" + QByteArray::fromStdString(url) + "\r\n"));
        ASSERT_TRUE(WaitForPortState(true)) << Messages();
        EXPECT_TRUE(m_messages.texts.isEmpty()) << Messages();
    }

    void TearDown() override { CloseWindow(); }
};

// ser2net on 127.0.0.1 in front of a pseudo-terminal that a second far side plays (test.sh
// starts both): the window's settings reach the device, and bytes pass both ways.
TEST_F(WindowOnNetworkPort, ThroughSer2netTheSettingsAndEveryByteValueReachTheDevice)
{
    const std::string url = Environment("SERIALDEBUG_SER2NET_URL");
    const std::string farSidePort = Environment("SERIALDEBUG_SER2NET_FAR_SIDE_PORT");
    if (url.empty() || farSidePort.empty()) {
        GTEST_SKIP() << "SERIALDEBUG_SER2NET_URL is unset (scripts/windows/test.sh sets it)";
    }
    FarSide device(std::stoi(farSidePort));
    ASSERT_TRUE(device.Connected());
    ASSERT_NO_FATAL_FAILURE(StartOn(url, "BordRate=19200,e,8,2\r\nHexDisplay=1\r\n"));
    EXPECT_EQ(device.Settings().speed, 19200u);
    std::string everyByte;
    for (int value = 0; value < 256; ++value) {
        everyByte += static_cast<char>(value);
    }
    ASSERT_TRUE(device.Write(everyByte));
    ASSERT_TRUE(QTest::qWaitFor([&] { return m_window->ReceiveCounter() == 256; }, 5000)) << m_window->ReceiveCounter();
    m_window->SendString("FF 00 41 FF", 1);
    EXPECT_EQ(device.Read(4), std::string("\xFF\x00\x41\xFF", 4));
}

TEST_F(WindowOnNetworkPort, AFloodIsCountedWholeAndAServerThatGoesLosesThePortWithoutABox)
{
    constexpr int kFlood = 200000;
    auto server = std::make_unique<SendingServer>(std::string(kFlood, 'f'));
    ASSERT_NO_FATAL_FAILURE(StartOn(server->Url()));
    ASSERT_TRUE(QTest::qWaitFor([&] { return m_window->ReceiveCounter() == kFlood; }, 30000))
        << m_window->ReceiveCounter() << " of " << kFlood;
    server.reset();
    ASSERT_TRUE(WaitForPortState(false));
    EXPECT_NE(m_window->ReceiveText().find(kLostLine), std::string::npos);
    EXPECT_TRUE(m_messages.texts.isEmpty()) << "a loss shows no box: " << Messages();
}

}  // namespace

namespace {

TEST(ProgramOnWindows, ASettingsFolderItCannotUseIsNamedIntactAndTheWindowStillRuns)
{
    TempDir root;
    const std::string notAFolder = root.File("设置 文件");
    WriteFile(notAFolder, "");
    MessageRecorder messages;
    CommandLineOptions options;
    options.configDir = notAFolder;
    WhenDialogOpens<CSerialDebugDlg>([](CSerialDebugDlg* window) { window->close(); });
    CSerialDebugApp app(options);
    EXPECT_FALSE(app.InitInstance());
    ASSERT_FALSE(messages.texts.isEmpty());
    EXPECT_EQ(messages.texts[0], QStringLiteral("设置文件夹“%1”不是文件夹。本次使用默认设置，设置不会被保存。")
                                     .arg(QString::fromStdString(notAFolder)));
    EXPECT_EQ(ReadFile(notAFolder), "");
}

}  // namespace
