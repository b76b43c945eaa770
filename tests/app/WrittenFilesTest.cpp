// Every file the program writes, for one fixed run of actions, compared byte for byte with the
// files that run wrote when they were recorded: Config.ini, Default.pol, the saved receive data
// and a log capture. A change to any of them must be deliberate: record them again with
// SERIALDEBUG_RECORD_WRITTEN_FILES=1 set, and say why in the commit.
#include <QAction>
#include <cstdlib>

#include "ui/FileDialog.h"
#include "sendlist/SendListPanel.h"
#include "tests/app/MainWindowFixture.h"
#include "tests/app/RecordedRun.h"
#include "tests/platform/TempDir.h"
#include "tests/support/ManualClock.h"
#include "tests/support/PseudoTerminal.h"

namespace {

using std::chrono::milliseconds;

using recorded_run::kReceived;

class WrittenFilesTest : public MainWindowTest {
protected:
    static std::string Recorded(const std::string& name)
    {
        return std::string(SERIALDEBUG_WRITTEN_FILES_DIR) + "/" + name;
    }

    // Compares the file the run wrote with its recording, or records it.
    void ExpectAsRecorded(const std::string& written, const std::string& name) const
    {
        const std::string bytes = ReadFile(written);
        ASSERT_FALSE(bytes.empty()) << written;
        if (std::getenv("SERIALDEBUG_RECORD_WRITTEN_FILES") != nullptr) {
            WriteFile(Recorded(name), bytes);
            return;
        }
        EXPECT_EQ(bytes, ReadFile(Recorded(name))) << name;
    }

    void Receive(const std::string& bytes)
    {
        const int before = m_window->ReceiveCounter();
        m_device.Write(bytes);
        ASSERT_TRUE(QTest::qWaitFor(
            [&] { return m_window->ReceiveCounter() >= before + static_cast<int>(bytes.size()); }, 5000));
    }

    void Trigger(int command) { m_window->MenuCommand(command)->trigger(); }
    void AnswerFileDialogWith(const std::string& path)
    {
        SetFileDialogHandler([path](QWidget*, const FileDialogRequest&) { return QString::fromStdString(path); });
    }

    void TearDown() override { SetFileDialogHandler({}); }

    PseudoTerminal m_device;
    ManualClock m_clock;
    TempDir m_files;
};

}  // namespace

TEST_F(WrittenFilesTest, ARunOfEveryKindOfTrafficWritesTheRecordedFiles)
{
    WriteFile(Dir() + "/Default.pol", recorded_run::SchemeText());
    WriteConfig(QByteArray::fromStdString(recorded_run::ConfigText(m_device.SlavePath())));
    Start();
    m_window->UseClock(m_clock);
    ASSERT_TRUE(m_window->IsPortOpen());

    const std::string capture = m_files.File("capture.log");
    AnswerFileDialogWith(capture);
    Trigger(ID_CAPTURE_START);
    ASSERT_TRUE(m_window->IsCapturing());

    Receive("PING");
    m_clock.Advance(milliseconds(50));
    Receive(std::string("\x01\x03\x00\x10", 4));
    m_clock.Advance(milliseconds(50));
    Receive(kReceived + "\r\n");
    m_clock.Advance(milliseconds(5));
    Control<QPlainTextEdit>(IDC_SEND)->setPlainText(QStringLiteral("AB CD"));
    Control<QCheckBox>(IDC_HEX_SEND)->setChecked(true);
    Click(IDC_MANUAL_SEND);
    m_window->SendListPanel()->SendNextItem();
    m_clock.Advance(milliseconds(100));
    Receive("tail");
    DeviceReceives(m_device, 6 + 5 + 2 + 2);
    Trigger(ID_CAPTURE_STOP);

    const std::string saved = m_files.File("saved.txt");
    AnswerFileDialogWith(saved);
    Trigger(ID_FILE_SAVE);
    Click(IDC_AUTO_CLEAR);
    CloseWindow();
    EXPECT_TRUE(m_messages.texts.isEmpty()) << m_messages.texts.join(QLatin1Char('\n')).toStdString();

    ExpectAsRecorded(capture, "capture.log");
    ExpectAsRecorded(saved, "saved.txt");
    ExpectAsRecorded(Dir() + "/Default.pol", "Default.pol");
    // The pseudo-terminal's path differs from run to run.
    const std::string config = ReadFile(ConfigPath().toStdString());
    const std::string portLine = "COM3=" + m_device.SlavePath();
    ASSERT_NE(config.find(portLine), std::string::npos);
    std::string comparable = config;
    comparable.replace(comparable.find(portLine), portLine.size(), "COM3=PTY");
    const std::string recordedConfig = m_files.File("Config.ini");
    WriteFile(recordedConfig, comparable);
    ExpectAsRecorded(recordedConfig, "Config.ini");
}
