#include <QAction>
#include <QComboBox>
#include <QLabel>
#include <thread>

#include "app/DisplaySettingsDlg.h"
#include "ui/FileDialog.h"
#include "sendlist/SendListPanel.h"
#include "controls/EditableListCtrl.h"
#include "tests/app/MainWindowFixture.h"
#include "tests/platform/TempDir.h"
#include "tests/support/FileSizeLimit.h"
#include "tests/support/ManualClock.h"
#include "tests/support/ModalDriver.h"
#include "tests/support/PseudoTerminal.h"

using std::chrono::milliseconds;

namespace {

const std::string kIn = "\xCA\xD5\xA1\xFB";   // "收←" in GBK
const std::string kOut = "\xB7\xA2\xA1\xFA";  // "发→" in GBK

// A main window whose COM3 is a pseudo-terminal, started with the given further settings and
// the test's clock.
class ProtocolViewTest : public MainWindowTest {
protected:
    void StartWith(const QByteArray& settings)
    {
        WriteConfigWithCom3(m_device, settings);
        Start();
        m_window->UseClock(m_clock);
        ASSERT_TRUE(m_window->IsPortOpen());
    }
    void TearDown() override
    {
        SetFileDialogHandler({});
        m_window.reset();
    }

    void Receive(const std::string& bytes)
    {
        const int before = m_window->ReceiveCounter();
        m_device.Write(bytes);
        EXPECT_TRUE(QTest::qWaitFor(
            [&] { return m_window->ReceiveCounter() >= before + static_cast<int>(bytes.size()); }, 5000));
        m_window->RefreshReceiveView();
    }

    void SendByHand(const QString& text)
    {
        Control<QPlainTextEdit>(IDC_SEND)->setPlainText(text);
        Click(IDC_MANUAL_SEND);
        m_window->RefreshReceiveView();
    }

    QString ReceiveView() { return Control<QPlainTextEdit>(IDC_RECEIVE)->toPlainText(); }
    void Trigger(int command) { m_window->MenuCommand(command)->trigger(); }

    // "开始记录..." answered with `path`.
    void StartCaptureInto(const std::string& path)
    {
        SetFileDialogHandler([path](QWidget*, const FileDialogRequest&) { return QString::fromStdString(path); });
        Trigger(ID_CAPTURE_START);
    }

    static std::string AllByteValues(std::size_t size)
    {
        std::string bytes;
        for (std::size_t i = 0; i < size; ++i) {
            bytes += static_cast<char>((i * 7) % 256);
        }
        return bytes;
    }

    // Feeds the bytes a read's worth at a time, each once the one before was counted.
    void Feed(const std::string& bytes)
    {
        for (std::size_t done = 0; done < bytes.size(); done += 1024) {
            Receive(bytes.substr(done, 1024));
        }
    }

    PseudoTerminal m_device;
    ManualClock m_clock;
    TempDir m_files;
};

}  // namespace

TEST_F(ProtocolViewTest, FramesSplitAtTheGapEachWithTheTimeItWasRead)
{
    StartWith("TimeStamp=1\r\nFrameGap=20\r\n");
    Receive("ab");
    m_clock.Advance(milliseconds(19));
    Receive("cd");
    m_clock.Advance(milliseconds(21));
    Receive("ef");
    EXPECT_EQ(m_window->ReceiveText(), "[12:34:56.789]" + kIn + "abcd\r\n[12:34:56.829]" + kIn + "ef");
    EXPECT_EQ(ReceiveView(), QStringLiteral("[12:34:56.789]收←abcd\n[12:34:56.829]收←ef"));

    Control<QCheckBox>(IDC_HEX_DISPLAY)->setChecked(true);
    m_clock.Advance(milliseconds(20));
    Receive("\x01");
    EXPECT_EQ(ReceiveView(), QStringLiteral("[12:34:56.789]收←abcd\n[12:34:56.829]收←ef\n[12:34:56.849]收←01 "));
}

TEST_F(ProtocolViewTest, FramesSplitWhereTheDeviceFellSilentThoughTheWindowTookTheBytesLater)
{
    StartWith("TimeStamp=1\r\nFrameGap=20\r\n");
    // The window's thread handles no events meanwhile; the port reads on without it.
    auto readAhead = [&](std::size_t count) {
        for (int tries = 0; tries < 5000 && m_window->Port().ReadAheadBytes() < count; ++tries) {
            std::this_thread::sleep_for(milliseconds(1));
        }
        return m_window->Port().ReadAheadBytes() == count;
    };
    m_device.Write("ab");
    ASSERT_TRUE(readAhead(2));
    m_clock.Advance(milliseconds(30));
    m_device.Write("cd");
    ASSERT_TRUE(readAhead(4));
    m_clock.Advance(milliseconds(5));
    m_device.Write("ef");
    ASSERT_TRUE(readAhead(6));
    m_clock.Advance(milliseconds(100));
    ASSERT_TRUE(QTest::qWaitFor([&] { return m_window->ReceiveCounter() == 6; }, 5000));
    EXPECT_EQ(m_window->ReceiveText(), "[12:34:56.789]" + kIn + "ab\r\n[12:34:56.819]" + kIn + "cdef");
}

TEST_F(ProtocolViewTest, FramesGoOnAcrossThe30000CharacterClearing)
{
    StartWith("TimeStamp=1\r\n");
    const std::string header = "[12:34:56.789]" + kIn;
    Feed(std::string(29000, 'x'));
    EXPECT_EQ(m_window->ReceiveText().size(), header.size() + 29000);
    Feed(std::string(1000, 'y'));
    EXPECT_EQ(m_window->ReceiveText(), "") << "header and bytes together reached 30000";
    Receive("zz");
    EXPECT_EQ(m_window->ReceiveText(), header + "zz") << "the frame goes on under its own header";
    EXPECT_EQ(m_window->ReceiveCounter(), 30002);
}

TEST_F(ProtocolViewTest, EveryRouteOfSendingShowsItsSentFrame)
{
    StartWith("ShowSent=1\r\nAutoRecive=1\r\n");
    m_window->GetScheme().AddRule({"N", "Q?", "R!", 0, 0});
    m_window->GetScheme().AddSendItem(std::make_shared<SendItem>(SendItem{1, "hex", "01 02"}));
    m_window->GetScheme().AddSendItem(std::make_shared<SendItem>(SendItem{0, "text", "L2"}));

    SendByHand(QStringLiteral("AT"));
    EXPECT_EQ(m_window->ReceiveText(), kOut + "AT");

    Receive("Q?");
    EXPECT_EQ(m_window->ReceiveText(),
              kOut + "AT\r\nQ?\r\n" + kOut + "R!\r\n--\xD7\xD4\xB6\xAF\xBB\xD6\xB8\xB4N--\r\n");

    Click(IDC_CLEAR_RECEIVE);
    Click(IDC_EXTEND);
    CEditableListCtrl* list = m_window->SendListPanel()->List();
    const QPoint row0 = list->visualRect(list->model()->index(0, 1)).center();
    QTest::mouseClick(list->viewport(), Qt::LeftButton, Qt::NoModifier, row0);
    QTest::mouseDClick(list->viewport(), Qt::LeftButton, Qt::NoModifier, row0);
    QTest::mouseRelease(list->viewport(), Qt::LeftButton, Qt::NoModifier, row0);
    m_window->SendListPanel()->OnTimer(CSendListPanel::TIMER_CYCLIC_SEND);
    EXPECT_EQ(m_window->ReceiveText(), kOut + "\x01\x02\r\n" + kOut + "L2");

    Click(IDC_CLEAR_RECEIVE);
    Control<QPlainTextEdit>(IDC_SEND)->setPlainText(QStringLiteral("P"));
    Control<QLineEdit>(IDC_INTERVAL)->setText(QStringLiteral("10"));
    Click(IDC_AUTO_SEND);
    EXPECT_TRUE(QTest::qWaitFor([&] { return m_window->ReceiveText().size() >= 2 * (kOut.size() + 1) + 2; }, 2000));
    Click(IDC_AUTO_SEND);
    EXPECT_EQ(m_window->ReceiveText().substr(0, 2 * (kOut.size() + 1) + 2), kOut + "P\r\n" + kOut + "P");
}

TEST_F(ProtocolViewTest, SentFramesCarryTheirTimeAndHexForm)
{
    StartWith("ShowSent=1\r\nTimeStamp=1\r\nHexDisplay=1\r\n");
    SendByHand(QStringLiteral("AT"));
    m_clock.Advance(milliseconds(3));
    Receive("OK");
    EXPECT_EQ(ReceiveView(), QStringLiteral("[12:34:56.789]发→41 54 \n[12:34:56.792]收←4F 4B "));
}

TEST_F(ProtocolViewTest, Utf8CharactersSplitAcrossReadsAndInvalidBytes)
{
    StartWith("TextCodec=UTF-8\r\n");
    Receive("\xE6");
    EXPECT_EQ(ReceiveView(), QString());
    Receive("\xB8\xA9 ");
    EXPECT_EQ(ReceiveView(), QStringLiteral("温 "));
    Receive("\xFF\xE2\x84\x83");
    EXPECT_EQ(ReceiveView(), QStringLiteral("温 \uFFFD℃"));

    const std::string saved = m_files.File("saved.txt");
    SetFileDialogHandler([&](QWidget*, const FileDialogRequest&) { return QString::fromStdString(saved); });
    Trigger(ID_FILE_SAVE);
    EXPECT_EQ(ReadFile(saved), "\xE6\xB8\xA9 \xEF\xBF\xBD\xE2\x84\x83") << "the area's text as it is shown";
}

// Whatever came in, a UTF-8 view is saved as valid UTF-8, as it is shown.
TEST_F(ProtocolViewTest, AUtf8ViewOfInvalidBytesOrEndingInASplitCharacterIsSavedAsShown)
{
    StartWith("TextCodec=UTF-8\r\n");
    const std::string saved = m_files.File("saved.txt");
    SetFileDialogHandler([&](QWidget*, const FileDialogRequest&) { return QString::fromStdString(saved); });
    m_messages.Answer(QMessageBox::Yes);  // written over
    const std::string replacement = "\xEF\xBF\xBD";
    const std::pair<std::string, std::string> cases[] = {
        {"\xFF\xFE\x80", replacement + replacement + replacement},
        {"ok\xE4\xB8", "ok"},
    };
    for (const auto& [received, written] : cases) {
        Click(IDC_CLEAR_RECEIVE);
        Receive(received);
        Trigger(ID_FILE_SAVE);
        EXPECT_EQ(ReadFile(saved), written);
        EXPECT_EQ(QString::fromStdString(written), ReceiveView());
    }
}

TEST_F(ProtocolViewTest, TheDisplaySettingsDialogRefusesBadGapsAndKeepsTheOldValue)
{
    StartWith("");
    bool checked = false;
    WhenDialogOpens<CDisplaySettingsDlg>([&](CDisplaySettingsDlg* dialog) {
        const QString refusal = QStringLiteral("分包间隔必须是 1 到 60000 之间的整数（毫秒）。");
        for (const QString& bad : {QStringLiteral("0"), QStringLiteral("-5"), QStringLiteral("60001"),
                                   QStringLiteral("99999999999"), QStringLiteral("abc"), QString()}) {
            m_messages.texts.clear();
            dialog->GapEdit()->setText(bad);
            QTest::mouseClick(dialog->OkButton(), Qt::LeftButton);
            EXPECT_EQ(m_messages.texts, QStringList{refusal}) << bad.toStdString();
            EXPECT_TRUE(dialog->isVisible());
            EXPECT_EQ(dialog->GapEdit()->text(), QStringLiteral("20"));
        }
        dialog->TimeStampBox()->setChecked(true);
        dialog->ShowSentBox()->setChecked(true);
        dialog->CodecList()->setCurrentIndex(1);
        dialog->CaptureFormatList()->setCurrentIndex(1);
        dialog->GapEdit()->setText(QStringLiteral("60000"));
        QTest::keyClick(dialog->GapEdit(), Qt::Key_Return);
        checked = true;
    });
    Trigger(ID_DISPLAY_SETTINGS);
    ASSERT_TRUE(checked);

    WhenDialogOpens<CDisplaySettingsDlg>([&](CDisplaySettingsDlg* dialog) {
        EXPECT_EQ(dialog->GapEdit()->text(), QStringLiteral("60000"));
        dialog->GapEdit()->setText(QStringLiteral("1"));
        dialog->TimeStampBox()->setChecked(false);
        QTest::keyClick(dialog->GapEdit(), Qt::Key_Escape);
    });
    Trigger(ID_DISPLAY_SETTINGS);

    CloseWindow();
    EXPECT_TRUE(ReadConfig().contains("HexSend=0\r\nSendData=\r\nAutoReconnect=0\r\nTimeStamp=1\r\nFrameGap=60000\r\nShowSent=1\r\n"
                                      "TextCodec=UTF-8\r\nCaptureFormat=log\r\n"))
        << ReadConfig().toStdString();
}

TEST_F(ProtocolViewTest, AGapOfOneMillisecondSplitsEveryRead)
{
    StartWith("TimeStamp=1\r\nFrameGap=1\r\n");
    Receive("a");
    Receive("b");
    m_clock.Advance(milliseconds(1));
    Receive("c");
    EXPECT_EQ(ReceiveView(), QStringLiteral("[12:34:56.789]收←ab\n[12:34:56.790]收←c"));
}

TEST_F(ProtocolViewTest, ARawCaptureHoldsExactlyTheBytesAndTheTitleShowsIt)
{
    StartWith("");
    EXPECT_FALSE(m_window->MenuCommand(ID_CAPTURE_STOP)->isEnabled());
    const std::string path = m_files.File("raw.log");
    StartCaptureInto(path);
    ASSERT_TRUE(m_window->IsCapturing());
    EXPECT_EQ(m_window->windowTitle(), QStringLiteral("串口调试 - 记录 0.0 MB"));
    EXPECT_FALSE(m_window->MenuCommand(ID_CAPTURE_START)->isEnabled());
    const std::string bytes = AllByteValues(5000);
    Feed(bytes);
    Click(IDC_CLEAR_RECEIVE);
    Trigger(ID_CAPTURE_STOP);
    EXPECT_FALSE(m_window->IsCapturing());
    EXPECT_EQ(m_window->windowTitle(), QStringLiteral("串口调试"));
    EXPECT_EQ(ReadFile(path), bytes);

    // Started again into the same file (the file dialog asked about replacing it).
    StartCaptureInto(path);
    Receive("again");
    Trigger(ID_CAPTURE_STOP);
    EXPECT_EQ(ReadFile(path), "again");
    EXPECT_TRUE(m_messages.texts.isEmpty()) << m_messages.texts.join('\n').toStdString();
}

TEST_F(ProtocolViewTest, ALogCaptureHoldsTheFramesOfTheViewInHex)
{
    StartWith("ShowSent=1\r\nCaptureFormat=log\r\n");
    const std::string path = m_files.File("frames.log");
    StartCaptureInto(path);
    Receive("OK");
    m_clock.Advance(milliseconds(2));
    SendByHand(QStringLiteral("01 03"));
    Control<QCheckBox>(IDC_HEX_SEND)->setChecked(true);
    SendByHand(QStringLiteral("01 03"));
    m_clock.Advance(milliseconds(30));
    Receive("\r\n");
    Trigger(ID_CAPTURE_STOP);
    EXPECT_EQ(ReadFile(path), "[12:34:56.789]" + kIn + "4F 4B \r\n[12:34:56.791]" + kOut +
                                  "30 31 20 30 33 \r\n[12:34:56.791]" + kOut + "01 03 \r\n[12:34:56.821]" + kIn +
                                  "0D 0A \r\n");
}

TEST_F(ProtocolViewTest, ACaptureIsCompleteAfterThePortClosesOrGoesAway)
{
    StartWith("");
    const std::string first = m_files.File("closed.log");
    m_window->CaptureWhenPortOpens(first);
    ASSERT_TRUE(m_window->IsCapturing());
    const std::string bytes = AllByteValues(3000);
    Feed(bytes);
    Click(IDC_OPEN);
    ASSERT_FALSE(m_window->IsPortOpen());
    m_window->StopCapture();
    EXPECT_EQ(ReadFile(first), bytes);

    // Asked for while the port is closed: it starts with the next opening, continuing the file.
    m_window->CaptureWhenPortOpens(first);
    EXPECT_FALSE(m_window->IsCapturing());
    Click(IDC_OPEN);
    ASSERT_TRUE(m_window->IsCapturing());
    Feed("tail");
    m_device.CloseMaster();
    QTest::qWait(50);
    m_window->StopCapture();
    EXPECT_EQ(ReadFile(first), bytes + "tail");
    EXPECT_TRUE(m_messages.texts.isEmpty()) << m_messages.texts.join('\n').toStdString();
}

TEST_F(ProtocolViewTest, ACaptureFileThatCannotBeCreatedIsReported)
{
    StartWith("");
    const std::string path = m_files.File("missing/x.log");
    StartCaptureInto(path);
    EXPECT_FALSE(m_window->IsCapturing());
    EXPECT_EQ(m_messages.texts, QStringList{QStringLiteral("不能创建记录文件“%1”：No such file or directory")
                                                .arg(QString::fromStdString(path))});
    EXPECT_EQ(m_window->windowTitle(), QStringLiteral("串口调试"));
}

TEST_F(ProtocolViewTest, AFullDiskStopsTheCaptureWithOneMessageAndReceivingGoesOn)
{
    StartWith("");
    const std::string path = m_files.File("full.log");
    StartCaptureInto(path);
    const std::string bytes = AllByteValues(6000);
    {
        FileSizeLimit limit(4096);
        Feed(bytes);
        EXPECT_TRUE(QTest::qWaitFor([&] { return !m_window->IsCapturing(); }, 3000));
    }
    ASSERT_EQ(m_messages.texts.size(), 1);
    EXPECT_TRUE(m_messages.texts[0].startsWith(QStringLiteral("写入记录文件“%1”失败：").arg(QString::fromStdString(path))))
        << m_messages.texts[0].toStdString();
    EXPECT_EQ(m_window->windowTitle(), QStringLiteral("串口调试"));
    Receive("more");
    EXPECT_EQ(m_window->ReceiveCounter(), 6004);
    EXPECT_EQ(ReadFile(path), bytes.substr(0, 4096));
}

TEST_F(ProtocolViewTest, AFloodWithEveryOptionOnLosesNothing)
{
    StartWith("TimeStamp=1\r\nFrameGap=1\r\nShowSent=1\r\nTextCodec=UTF-8\r\nHexDisplay=1\r\n");
    static const SystemClock systemClock;
    m_window->UseClock(systemClock);
    const std::string path = m_files.File("flood.log");
    StartCaptureInto(path);
    const std::string bytes = AllByteValues(512 * 1024);
    std::thread writer([&] { m_device.Write(bytes); });
    EXPECT_TRUE(QTest::qWaitFor([&] { return m_window->ReceiveCounter() >= static_cast<int>(bytes.size()); }, 20000));
    writer.join();
    Trigger(ID_CAPTURE_STOP);
    EXPECT_EQ(ReadFile(path), bytes);
    EXPECT_LT(m_window->ReceiveText().size(), 30000u);
}
