// Escapes, line endings and file sends, on a pseudo-terminal.
#include <sys/stat.h>

#include <QAction>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <fstream>
#include <thread>

#include "app/FileSendDlg.h"
#include "app/SendSettingsDlg.h"
#include "sendlist/SendListPanel.h"
#include "tests/app/MainWindowFixture.h"
#include "tests/platform/TempDir.h"
#include "tests/support/ModalDriver.h"
#include "tests/support/ProcessCounts.h"
#include "ui/FileDialog.h"

namespace {

class SendingToolsTest : public MainWindowTest {
protected:
    void StartWith(const QByteArray& settings)
    {
        WriteConfigWithCom3(m_device, settings);
        Start();
        ASSERT_TRUE(m_window->IsPortOpen());
    }
    void TearDown() override { SetFileDialogHandler({}); }

    // Runs "发送文件..." on `path`; `whileSending` runs once the progress shows.
    void SendFile(const std::string& path, const std::function<void(CFileSendDlg*)>& whileSending = {})
    {
        SetFileDialogHandler([path](QWidget*, const FileDialogRequest&) { return QString::fromStdString(path); });
        if (whileSending) {
            WhenDialogOpens<CFileSendDlg>(whileSending);
        }
        m_window->MenuCommand(ID_SEND_FILE)->trigger();
    }

    PseudoTerminal m_device;
    TempDir m_files;
};

std::string Pattern(std::size_t size)
{
    std::string bytes(size, '\0');
    for (std::size_t i = 0; i < size; ++i) {
        bytes[i] = static_cast<char>((i * 131 + i / 251) % 256);
    }
    return bytes;
}

}  // namespace

// Every route of the user's text sends takes the escapes and the line ending; hex sends and a
// bad escape do not send what the user did not ask for.
TEST_F(SendingToolsTest, EscapesAndTheLineEndingApplyToEveryRouteOfTextSends)
{
    StartWith("SendEscapes=1\r\nLineEnding=CRLF\r\nInterVal=20\r\n");
    m_window->GetScheme().AddSendItem(std::make_shared<SendItem>(SendItem{0, "tab", "A\\tB"}));
    const std::string expected = "A\tB\r\n";
    Control<QPlainTextEdit>(IDC_SEND)->setPlainText(QStringLiteral("A\\tB"));

    Click(IDC_MANUAL_SEND);
    EXPECT_EQ(DeviceReceives(m_device, expected.size()), expected) << "by hand";
    Click(IDC_AUTO_SEND);
    EXPECT_EQ(DeviceReceives(m_device, expected.size()).substr(0, expected.size()), expected) << "auto-send";
    Click(IDC_AUTO_SEND);
    (void)DeviceReceives(m_device, 0);
    m_device.ReadAvailable();
    m_window->SendListPanel()->SendNextItem();
    EXPECT_EQ(DeviceReceives(m_device, expected.size()), expected) << "the send list";
    m_window->SendListPanel()->OnTimer(CSendListPanel::TIMER_CYCLIC_SEND);
    EXPECT_EQ(DeviceReceives(m_device, expected.size()), expected) << "its cycle";

    m_window->SendString("41 5C", 1);
    EXPECT_EQ(DeviceReceives(m_device, 2), "A\\") << "hex: untouched";

    const int sent = m_window->SendCounter();
    Control<QCheckBox>(IDC_HEX_SEND)->setChecked(false);
    Control<QPlainTextEdit>(IDC_SEND)->setPlainText(QStringLiteral("好\\x4"));
    Click(IDC_MANUAL_SEND);
    ASSERT_EQ(m_messages.texts.size(), 1);
    EXPECT_TRUE(m_messages.texts[0].startsWith(QStringLiteral("发送区第 2 个字符处"))) << m_messages.texts[0].toStdString();
    EXPECT_EQ(m_window->SendCounter(), sent);
    EXPECT_EQ(DeviceReceives(m_device, 0), "");
}

// Each line ending through the settings dialog; a negative delay or packet size is refused there.
TEST_F(SendingToolsTest, TheSendSettingsDialogSetsEachLineEndingAndRefusesNegativeNumbers)
{
    StartWith("");
    Control<QPlainTextEdit>(IDC_SEND)->setPlainText(QStringLiteral("x"));
    const std::pair<int, std::string> endings[] = {{0, "x"}, {1, "x\r"}, {2, "x\n"}, {3, "x\r\n"}};
    for (const auto& [index, bytes] : endings) {
        WhenDialogOpens<CSendSettingsDlg>([index](CSendSettingsDlg* dialog) {
            dialog->LineEndingList()->setCurrentIndex(index);
            dialog->accept();
        });
        m_window->MenuCommand(ID_SEND_SETTINGS)->trigger();
        Click(IDC_MANUAL_SEND);
        EXPECT_EQ(DeviceReceives(m_device, bytes.size()), bytes) << index;
    }
    for (const char* bad : {"-1", "x"}) {
        bool stayed = false;
        WhenDialogOpens<CSendSettingsDlg>([&](CSendSettingsDlg* dialog) {
            dialog->PacketDelayEdit()->setText(QString::fromLatin1(bad));
            dialog->accept();
            stayed = dialog->isVisible();
            dialog->reject();
        });
        m_window->MenuCommand(ID_SEND_SETTINGS)->trigger();
        EXPECT_TRUE(stayed) << bad;
    }
    EXPECT_EQ(m_messages.texts.size(), 2);
}

// A 20 MB file reaches a reader slower than the sender byte for byte, with the program's memory
// flat; the counter and the progress agree with what arrived.
TEST_F(SendingToolsTest, AFileArrivesWholeAtASlowReaderWithMemoryFlat)
{
    StartWith("");
    const std::string data = Pattern(20 * 1024 * 1024);
    const std::string path = m_files.File("image.bin");
    WriteFile(path, data);
    // Compared as it comes, so the test keeps no second copy that would count as the program's.
    std::size_t arrived = 0;
    bool exact = true;
    std::thread reader([&] {
        while (arrived < data.size()) {
            const std::string piece = m_device.Read(64 * 1024, std::chrono::seconds(10));
            if (piece.empty()) {
                return;
            }
            exact = exact && data.compare(arrived, piece.size(), piece) == 0;
            arrived += piece.size();
            std::this_thread::sleep_for(std::chrono::microseconds(200));
        }
    });
    const long before = ResidentKilobytes();
    long largest = 0;
    QString finalText;
    SendFile(path, [&](CFileSendDlg* progress) {
        QTimer watch;
        QObject::connect(&watch, &QTimer::timeout, [&] { largest = std::max(largest, ResidentKilobytes() - before); });
        watch.start(50);
        EXPECT_TRUE(QTest::qWaitFor([&] { return !progress->isVisible(); }, 120000));
        finalText = progress->ProgressText()->text();
    });
    reader.join();
    EXPECT_EQ(arrived, data.size());
    EXPECT_TRUE(exact);
    EXPECT_EQ(m_window->SendCounter(), static_cast<int>(data.size()));
    EXPECT_LT(largest, 16 * 1024) << "KB more resident while sending";
    EXPECT_TRUE(m_messages.texts.isEmpty()) << m_messages.texts.join('\n').toStdString();
}

TEST_F(SendingToolsTest, CancellingInTheMiddleLeavesAPrefixAndCountsWhatWasSent)
{
    StartWith("FilePacketSize=1000\r\nFilePacketDelay=5\r\n");
    const std::string data = Pattern(1000 * 1000);
    const std::string path = m_files.File("slow.bin");
    WriteFile(path, data);
    SendFile(path, [&](CFileSendDlg* progress) {
        EXPECT_TRUE(QTest::qWaitFor([&] { return m_window->SendCounter() >= 20000; }, 10000));
        QTest::mouseClick(progress->CancelButton(), Qt::LeftButton);
    });
    const int counted = m_window->SendCounter();
    EXPECT_GE(counted, 20000);
    EXPECT_LT(counted, static_cast<int>(data.size()));
    const std::string arrived = DeviceReceives(m_device, static_cast<std::size_t>(counted));
    EXPECT_EQ(arrived, data.substr(0, arrived.size()));
    EXPECT_EQ(arrived.size(), static_cast<std::size_t>(counted));
    EXPECT_TRUE(m_messages.texts.isEmpty());
}

// A folder, a FIFO, a file that shrinks while it is sent and a closed port: one message each.
TEST_F(SendingToolsTest, WhatCannotBeSentIsSaidOnceAndNothingHangs)
{
    StartWith("FilePacketSize=4096\r\nFilePacketDelay=20\r\n");
    const std::string fifo = m_files.File("fifo");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    for (const std::string& path : {m_files.Path(), fifo}) {
        m_messages.texts.clear();
        SendFile(path);
        ASSERT_EQ(m_messages.texts.size(), 1) << path;
        EXPECT_TRUE(m_messages.texts[0].contains(QStringLiteral("不是普通文件"))) << m_messages.texts[0].toStdString();
    }

    m_messages.texts.clear();
    const std::string shrinking = m_files.File("shrinking.bin");
    WriteFile(shrinking, Pattern(1024 * 1024));
    SendFile(shrinking, [&](CFileSendDlg*) { ::truncate(shrinking.c_str(), 10000); });
    ASSERT_EQ(m_messages.texts.size(), 1);
    EXPECT_TRUE(m_messages.texts[0].contains(QStringLiteral("变短"))) << m_messages.texts[0].toStdString();

    Click(IDC_OPEN);
    m_messages.texts.clear();
    SendFile(shrinking);
    EXPECT_EQ(m_messages.texts, QStringList{QStringLiteral("端口没有打开，无法发送！")});
}
