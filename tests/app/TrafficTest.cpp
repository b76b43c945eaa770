#include <QAction>
#include <QFile>
#include <QLabel>

#include "traffic/Checks.h"
#include "ui/FileDialog.h"
#include "ui/Gbk.h"
#include "tests/app/MainWindowFixture.h"
#include "tests/support/PseudoTerminal.h"

namespace {

// A main window whose COM3 is a pseudo-terminal, opened at start.
class TrafficTest : public MainWindowTest {
protected:
    void SetUp() override
    {
        WriteConfigWithCom3(m_device);
        Start();
        ASSERT_TRUE(m_window->IsPortOpen());
    }

    // Waits until the window has counted `count` received bytes, then brings the view up to date.
    void ReceiveUntilCounted(int count)
    {
        EXPECT_TRUE(QTest::qWaitFor([&] { return m_window->ReceiveCounter() >= count; }, 5000))
            << m_window->ReceiveCounter();
        m_window->RefreshReceiveView();
    }

    // Feeds the bytes a read's worth at a time, each once the window has counted the one before,
    // so the device side never fills up while the window waits for the test.
    void Feed(const std::string& bytes)
    {
        for (std::size_t done = 0; done < bytes.size(); done += 1024) {
            const std::string piece = bytes.substr(done, 1024);
            m_device.Write(piece);
            ReceiveUntilCounted(m_window->ReceiveCounter() + static_cast<int>(piece.size()));
        }
    }

    QString ReceiveView() { return Control<QPlainTextEdit>(IDC_RECEIVE)->toPlainText(); }
    QString SendView() { return Control<QPlainTextEdit>(IDC_SEND)->toPlainText(); }
    QString Label(int id) { return Control<QLabel>(id)->text(); }
    void Trigger(int command) { m_window->MenuCommand(command)->trigger(); }

    PseudoTerminal m_device;
};

}  // namespace

TEST_F(TrafficTest, ReceivedBytesAreShownAsTextOrHexAndCounted)
{
    m_device.Write("Hi\r\n");
    ReceiveUntilCounted(4);
    EXPECT_EQ(ReceiveView(), QStringLiteral("Hi\n"));
    EXPECT_EQ(m_window->ReceiveText(), "Hi\r\n");
    EXPECT_EQ(Label(IDC_RECEIVE_COUNT), QStringLiteral("接收：4"));

    Click(IDC_CLEAR_RECEIVE);
    Control<QCheckBox>(IDC_HEX_DISPLAY)->setChecked(true);
    m_device.Write("Hi\r\n");
    ReceiveUntilCounted(8);
    EXPECT_EQ(ReceiveView(), QStringLiteral("48 69 0D 0A "));
    EXPECT_EQ(Label(IDC_RECEIVE_COUNT), QStringLiteral("接收：8"));
}

TEST_F(TrafficTest, AZeroByteIsCountedButNotShownAndClearKeepsTheCount)
{
    m_device.Write(std::string("A\0B", 3));
    ReceiveUntilCounted(3);
    EXPECT_EQ(ReceiveView(), QStringLiteral("AB"));
    Click(IDC_CLEAR_RECEIVE);
    EXPECT_EQ(ReceiveView(), QString());
    EXPECT_EQ(Label(IDC_RECEIVE_COUNT), QStringLiteral("接收：3"));
}

TEST_F(TrafficTest, ABurstLargerThanOneReadIsShownAndCountedWhole)
{
    std::string burst;
    for (int i = 0; i < 1500; ++i) {
        burst += static_cast<char>('a' + i % 26);
    }
    m_device.Write(burst);
    ReceiveUntilCounted(1500);
    EXPECT_EQ(m_window->ReceiveCounter(), 1500);
    EXPECT_EQ(m_window->ReceiveText(), burst);
    EXPECT_EQ(ReceiveView().toStdString(), burst);
}

TEST_F(TrafficTest, AChineseCharacterSplitAcrossTwoReadsIsShownWhole)
{
    m_device.Write("\xC4");
    ReceiveUntilCounted(1);
    EXPECT_EQ(ReceiveView(), QString());
    m_device.Write("\xE3");
    ReceiveUntilCounted(2);
    EXPECT_EQ(ReceiveView(), QStringLiteral("你"));
}

TEST_F(TrafficTest, ChineseTextBetweenLinesIsShownAsTheCharacters)
{
    m_device.Write("23.5 \xA1\xE6\r\n\xCE\xC2\xB6\xC8");
    ReceiveUntilCounted(11);
    EXPECT_EQ(ReceiveView(), QStringLiteral("23.5 ℃\n温度"));
}

TEST_F(TrafficTest, AutoClearEmptiesTheAreaOnlyAbove5000Characters)
{
    Control<QCheckBox>(IDC_AUTO_CLEAR)->setChecked(true);
    Feed(std::string(5000, 'x'));
    EXPECT_EQ(m_window->ReceiveText().size(), 5000u);
    m_device.Write("y");
    ReceiveUntilCounted(5001);
    EXPECT_TRUE(m_window->ReceiveText().empty());
    EXPECT_TRUE(ReceiveView().isEmpty());
}

TEST_F(TrafficTest, TheAreaIsAlwaysEmptiedAt30000Characters)
{
    Feed(std::string(29999, 'x'));
    EXPECT_EQ(m_window->ReceiveText().size(), 29999u);
    m_device.Write("y");
    ReceiveUntilCounted(30000);
    EXPECT_TRUE(m_window->ReceiveText().empty());
}

TEST_F(TrafficTest, HexSendWritesExactlyTheParsedBytes)
{
    Click(IDC_RESET_COUNT);
    Control<QPlainTextEdit>(IDC_SEND)->setPlainText(QStringLiteral("01 03 00 00 00 0A"));
    Control<QCheckBox>(IDC_HEX_SEND)->setChecked(true);
    Click(IDC_MANUAL_SEND);
    EXPECT_EQ(DeviceReceives(m_device, 6), std::string("\x01\x03\x00\x00\x00\x0A", 6));
    EXPECT_EQ(Label(IDC_SEND_COUNT), QStringLiteral("发送：6"));

    Control<QPlainTextEdit>(IDC_SEND)->setPlainText(QStringLiteral("hello"));
    Click(IDC_MANUAL_SEND);
    EXPECT_EQ(Label(IDC_SEND_COUNT), QStringLiteral("发送：6"));
}

TEST_F(TrafficTest, TextSendWritesTheLinesWithCrLf)
{
    Control<QPlainTextEdit>(IDC_SEND)->setPlainText(QStringLiteral("AB\nC"));
    Click(IDC_MANUAL_SEND);
    EXPECT_EQ(DeviceReceives(m_device, 5), "AB\r\nC");
    EXPECT_EQ(Label(IDC_SEND_COUNT), QStringLiteral("发送：5"));
}

TEST_F(TrafficTest, SendingWithThePortClosedCountsWithoutWritingOrComplaining)
{
    Click(IDC_OPEN);
    ASSERT_FALSE(m_window->IsPortOpen());
    m_messages.texts.clear();
    Control<QPlainTextEdit>(IDC_SEND)->setPlainText(QStringLiteral("abc"));
    Click(IDC_MANUAL_SEND);
    EXPECT_EQ(m_window->SendCounter(), 3);
    EXPECT_TRUE(m_messages.texts.isEmpty());
    EXPECT_EQ(m_device.ReadAvailable(), "");
}

TEST_F(TrafficTest, AutoSendRepeatsUntilTheBoxIsClearedOrThePortCloses)
{
    Control<QPlainTextEdit>(IDC_SEND)->setPlainText(QStringLiteral("P"));
    Control<QLineEdit>(IDC_INTERVAL)->setText(QStringLiteral("10"));
    Click(IDC_AUTO_SEND);
    ASSERT_TRUE(Control<QCheckBox>(IDC_AUTO_SEND)->isChecked());
    EXPECT_EQ(DeviceReceives(m_device, 3).substr(0, 3), "PPP");

    Click(IDC_AUTO_SEND);
    EXPECT_FALSE(Control<QCheckBox>(IDC_AUTO_SEND)->isChecked());
    QTest::qWait(30);
    const int counted = m_window->SendCounter();
    QTest::qWait(50);
    EXPECT_EQ(m_window->SendCounter(), counted);

    Click(IDC_AUTO_SEND);
    ASSERT_TRUE(QTest::qWaitFor([&] { return m_window->SendCounter() > counted; }, 2000));
    Click(IDC_OPEN);
    EXPECT_FALSE(Control<QCheckBox>(IDC_AUTO_SEND)->isChecked());
    const int afterClose = m_window->SendCounter();
    QTest::qWait(50);
    EXPECT_EQ(m_window->SendCounter(), afterClose);
}

TEST_F(TrafficTest, ClosingTheWindowEndsAutoSend)
{
    Control<QPlainTextEdit>(IDC_SEND)->setPlainText(QStringLiteral("P"));
    Control<QLineEdit>(IDC_INTERVAL)->setText(QStringLiteral("5"));
    Click(IDC_AUTO_SEND);
    ASSERT_FALSE(DeviceReceives(m_device, 1).empty());
    m_window->close();
    const int counted = m_window->SendCounter();
    QTest::qWait(50);
    EXPECT_EQ(m_window->SendCounter(), counted);
}

TEST_F(TrafficTest, AutoSendRefusesAClosedPortAndAZeroInterval)
{
    m_messages.texts.clear();
    Control<QLineEdit>(IDC_INTERVAL)->setText(QStringLiteral("0"));
    Click(IDC_AUTO_SEND);
    EXPECT_FALSE(Control<QCheckBox>(IDC_AUTO_SEND)->isChecked());

    Click(IDC_OPEN);
    Control<QLineEdit>(IDC_INTERVAL)->setText(QStringLiteral("100"));
    Click(IDC_AUTO_SEND);
    EXPECT_FALSE(Control<QCheckBox>(IDC_AUTO_SEND)->isChecked());
    EXPECT_EQ(m_messages.texts, (QStringList{QStringLiteral("自动发送周期不能为0，请重新设置！"),
                                             QStringLiteral("端口没有打开，无法发送！")}));
}

TEST_F(TrafficTest, ClearingTheBoxStopsAutoSendEvenWhenTheIntervalIsNowZero)
{
    Control<QPlainTextEdit>(IDC_SEND)->setPlainText(QStringLiteral("P"));
    Control<QLineEdit>(IDC_INTERVAL)->setText(QStringLiteral("10"));
    Click(IDC_AUTO_SEND);
    Control<QLineEdit>(IDC_INTERVAL)->setText(QStringLiteral("0"));
    Click(IDC_AUTO_SEND);
    QTest::qWait(30);
    const int counted = m_window->SendCounter();
    QTest::qWait(50);
    EXPECT_EQ(m_window->SendCounter(), counted);
}

TEST_F(TrafficTest, TheHexSendBoxConvertsTheSendAreaBothWays)
{
    auto* send = Control<QPlainTextEdit>(IDC_SEND);
    auto* box = Control<QCheckBox>(IDC_HEX_SEND);
    Click(IDC_HEX_SEND);
    EXPECT_EQ(send->toPlainText(), QString()) << "an empty area stays empty";
    Click(IDC_HEX_SEND);

    send->setPlainText(QStringLiteral("AB"));
    Click(IDC_HEX_SEND);
    EXPECT_EQ(send->toPlainText(), QStringLiteral(" 41 42"));
    EXPECT_TRUE(box->isChecked());
    Click(IDC_HEX_SEND);
    EXPECT_EQ(send->toPlainText(), QStringLiteral("AB"));
    EXPECT_FALSE(box->isChecked());

    box->setChecked(true);
    send->setPlainText(QStringLiteral("xyz"));
    Click(IDC_HEX_SEND);
    EXPECT_EQ(send->toPlainText(), QStringLiteral("xyz"));
    EXPECT_TRUE(box->isChecked());

    send->setPlainText(QStringLiteral(" 41 00 42"));
    Click(IDC_HEX_SEND);
    EXPECT_EQ(send->toPlainText(), QStringLiteral("A"));
}

TEST_F(TrafficTest, Crc16AppendsTheCheckInLineOrder)
{
    auto* send = Control<QPlainTextEdit>(IDC_SEND);
    Control<QCheckBox>(IDC_HEX_SEND)->setChecked(true);
    send->setPlainText(QStringLiteral("01 03 00 00 00 0A"));
    Trigger(ID_CRC16);
    EXPECT_EQ(send->toPlainText(), QStringLiteral("01 03 00 00 00 0A C5 CD"));
    Trigger(ID_CRC16);
    EXPECT_EQ(send->toPlainText(), QStringLiteral("01 03 00 00 00 0A C5 CD 00 00"));
    send->setPlainText(QStringLiteral("01"));
    Trigger(ID_CRC16);
    EXPECT_EQ(send->toPlainText(), QStringLiteral("01 7E 80"));

    m_messages.texts.clear();
    send->clear();
    Trigger(ID_CRC16);
    EXPECT_EQ(m_messages.texts, QStringList{QStringLiteral("要发送的数据为空！不能添加校验！")});
    EXPECT_EQ(send->toPlainText(), QString());
}

TEST_F(TrafficTest, Crc16InTextModeAppendsBothBytesOrExplainsWhyNot)
{
    auto* send = Control<QPlainTextEdit>(IDC_SEND);
    send->setPlainText(QStringLiteral("123456789"));
    Trigger(ID_CRC16);
    EXPECT_EQ(send->toPlainText(), QStringLiteral("1234567897K"));

    m_messages.texts.clear();
    send->setPlainText(QStringLiteral("A"));  // check bytes 7F 70: 7F is no printable character
    Trigger(ID_CRC16);
    ASSERT_EQ(m_messages.texts.size(), 1);
    EXPECT_TRUE(m_messages.texts[0].contains(QStringLiteral("HEX发送")));
    EXPECT_EQ(send->toPlainText(), QStringLiteral("A"));
}

// Every check of the catalogue appends as CRC16 does: in hex after a hex send text; in text
// mode its bytes as characters, or a message naming them when they cannot stand in the text.
TEST_F(TrafficTest, EveryCatalogueCheckAppendsToAHexAndToATextSend)
{
    auto* send = Control<QPlainTextEdit>(IDC_SEND);
    auto* hex = Control<QCheckBox>(IDC_HEX_SEND);
    const std::string data = "123456789";
    int id = ID_CHECK_FIRST;
    for (const CheckDefinition& check : CheckCatalogue()) {
        SCOPED_TRACE(check.name);
        const std::vector<unsigned char> bytes =
            CheckBytes(check, reinterpret_cast<const unsigned char*>(data.data()), data.size());
        QStringList hexBytes;
        for (const unsigned char byte : bytes) {
            hexBytes << QStringLiteral("%1").arg(byte, 2, 16, QLatin1Char('0')).toUpper();
        }
        hex->setChecked(true);
        send->setPlainText(QStringLiteral("31 32 33 34 35 36 37 38 39"));
        Trigger(id);
        EXPECT_EQ(send->toPlainText(), QStringLiteral("31 32 33 34 35 36 37 38 39 ") + hexBytes.join(QLatin1Char(' ')));

        hex->setChecked(false);
        send->setPlainText(QString::fromStdString(data));
        m_messages.texts.clear();
        Trigger(id++);
        if (m_messages.texts.isEmpty()) {
            EXPECT_EQ(ToGbk(send->toPlainText()), data + std::string(bytes.begin(), bytes.end()));
        } else {
            EXPECT_TRUE(m_messages.texts[0].contains(hexBytes.join(QLatin1Char(' ')))) << m_messages.texts[0].toStdString();
            EXPECT_EQ(send->toPlainText(), QString::fromStdString(data));
        }
    }
    m_messages.texts.clear();
    send->clear();
    Trigger(ID_CHECK_FIRST);
    EXPECT_EQ(m_messages.texts, QStringList{QStringLiteral("要发送的数据为空！不能添加校验！")});
}

TEST_F(TrafficTest, SavingWritesTheReceivedTextAndAsksBeforeOverwriting)
{
    m_device.Write("one\r\ntwo");
    ReceiveUntilCounted(8);
    const QString path = m_dir.filePath(QStringLiteral("saved.txt"));
    SetFileDialogHandler([&](QWidget*, const FileDialogRequest& request) {
        EXPECT_EQ(request.filter, QStringLiteral("文本文件(*.txt)"));
        EXPECT_EQ(request.defaultSuffix, QStringLiteral("txt"));
        return path;
    });
    Trigger(ID_FILE_SAVE);
    QFile saved(path);
    ASSERT_TRUE(saved.open(QIODevice::ReadOnly));
    EXPECT_EQ(saved.readAll(), QByteArray("one\r\ntwo"));
    saved.close();

    m_device.Write("!");
    ReceiveUntilCounted(9);
    m_messages.Answer(QMessageBox::No);
    Trigger(ID_FILE_SAVE);
    EXPECT_EQ(m_messages.texts.last(), QStringLiteral("文件已经存在。要覆盖吗？"));
    ASSERT_TRUE(saved.open(QIODevice::ReadOnly));
    EXPECT_EQ(saved.readAll(), QByteArray("one\r\ntwo"));
    saved.close();

    m_messages.Answer(QMessageBox::Yes);
    Trigger(ID_FILE_SAVE);
    ASSERT_TRUE(saved.open(QIODevice::ReadOnly));
    EXPECT_EQ(saved.readAll(), QByteArray("one\r\ntwo!"));
    SetFileDialogHandler({});
}

TEST_F(TrafficTest, SavingIntoAMissingDirectoryReportsIt)
{
    SetFileDialogHandler([&](QWidget*, const FileDialogRequest&) { return m_dir.filePath("no/such/dir/x.txt"); });
    m_messages.texts.clear();
    Trigger(ID_FILE_SAVE);
    ASSERT_EQ(m_messages.texts.size(), 1);
    EXPECT_TRUE(m_messages.texts[0].startsWith(QStringLiteral("不能保存文件"))) << m_messages.texts[0].toStdString();
    SetFileDialogHandler({});
}

TEST_F(TrafficTest, NewDataPutsTheCaretBackAtTheEndWhereverTheUserLeftIt)
{
    m_device.Write("first line\r\n");
    ReceiveUntilCounted(12);
    auto* area = Control<QPlainTextEdit>(IDC_RECEIVE);
    EXPECT_TRUE(area->textCursor().atEnd());
    area->moveCursor(QTextCursor::Start);
    m_device.Write("second");
    ReceiveUntilCounted(18);
    EXPECT_TRUE(area->textCursor().atEnd());
    EXPECT_EQ(area->textCursor().position(), ReceiveView().size());
}
