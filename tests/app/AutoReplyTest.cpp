#include "tests/app/MainWindowFixture.h"
#include "tests/support/PseudoTerminal.h"

namespace {

// A main window with COM3 on a pseudo-terminal and auto-reply ticked; each test runs with the
// replies decided on the window's thread and with "立即回复", on the port's thread: both must
// answer alike.
class AutoReplyTest : public MainWindowTest, public ::testing::WithParamInterface<bool> {
protected:
    void SetUp() override
    {
        WriteConfigWithCom3(m_device, GetParam() ? "AutoRecive=1\r\nInstantReply=1\r\n" : "AutoRecive=1\r\n");
        Start();
        ASSERT_EQ(m_window->MenuCommand(ID_INSTANT_REPLY)->isChecked(), GetParam());
        ASSERT_TRUE(m_window->IsPortOpen());
    }

    void AddRule(const std::string& name, const std::string& recv, int recvHex, const std::string& send, int sendHex)
    {
        m_window->GetScheme().AddRule({name, recv, send, recvHex, sendHex});
    }

    void Receive(const std::string& bytes)
    {
        const int before = m_window->ReceiveCounter();
        m_device.Write(bytes);
        ASSERT_TRUE(QTest::qWaitFor(
            [&] { return m_window->ReceiveCounter() >= before + static_cast<int>(bytes.size()); }, 5000));
    }

    // What the device side has been sent, after giving a reply time to arrive.
    std::string DeviceGot(std::size_t expected)
    {
        std::string got;
        (void)QTest::qWaitFor(
            [&] {
                got += m_device.ReadAvailable();
                return got.size() >= expected;
            },
            expected == 0 ? 50 : 5000);
        return got;
    }

    PseudoTerminal m_device;
};

const std::string kReplyLineQ = "\r\n--\xD7\xD4\xB6\xAF\xBB\xD6\xB8\xB4Q--\r\n";

}  // namespace

TEST_P(AutoReplyTest, AMatchingHexRuleRepliesAndMarksTheReceiveArea)
{
    AddRule("Q", "01 03", 1, "AA BB", 1);
    Receive(std::string("\x01\x03\x00", 3));
    EXPECT_EQ(DeviceGot(2), "\xAA\xBB");
    EXPECT_EQ(m_window->ReceiveText(), "\x01\x03" + kReplyLineQ);
    EXPECT_EQ(Control<QPlainTextEdit>(IDC_SEND)->toPlainText(), QStringLiteral("AA BB"));
    EXPECT_TRUE(Control<QCheckBox>(IDC_HEX_SEND)->isChecked());
    EXPECT_EQ(m_window->SendCounter(), 2);
}

TEST_P(AutoReplyTest, AHexPatternWithoutSpacesNeverFires)
{
    AddRule("Q", "0103", 1, "AA BB", 1);
    Receive(std::string("\x01\x03\x00", 3));
    EXPECT_EQ(DeviceGot(0), "");
    EXPECT_EQ(m_window->SendCounter(), 0);
}

TEST_P(AutoReplyTest, ATextPatternSplitOverTwoNotificationsFiresOnTheSecond)
{
    AddRule("ok", "OK", 0, "yes", 0);
    Receive("O");
    EXPECT_EQ(DeviceGot(0), "");
    Receive("K");
    EXPECT_EQ(DeviceGot(3), "yes");
}

TEST_P(AutoReplyTest, OnlyTheFirstMatchingRuleFires)
{
    AddRule("first", "AB", 0, "1", 0);
    AddRule("second", "B", 0, "2", 0);
    Receive("AB");
    EXPECT_EQ(DeviceGot(1), "1");
    EXPECT_EQ(DeviceGot(0), "");
}

TEST_P(AutoReplyTest, NothingIsBufferedOrAnsweredWithTheBoxClear)
{
    AddRule("ok", "OK", 0, "yes", 0);
    Control<QCheckBox>(IDC_AUTO_REPLY)->setChecked(false);
    Receive("O");
    Control<QCheckBox>(IDC_AUTO_REPLY)->setChecked(true);
    Receive("K");
    EXPECT_EQ(DeviceGot(0), "") << "the O arrived while the box was clear, so it was not kept";
}

TEST_P(AutoReplyTest, MoreThan1024BytesWithoutAMatchEmptyTheBuffer)
{
    AddRule("ok", "OK", 0, "yes", 0);
    Receive("O" + std::string(1024, 'x'));
    Receive("K");
    EXPECT_EQ(DeviceGot(0), "") << "the O was dropped with the full buffer";
    Receive("OK");
    EXPECT_EQ(DeviceGot(3), "yes");
}

TEST_P(AutoReplyTest, TheReplyFollowsTheBytesThatFiredItAcrossManyRequests)
{
    AddRule("Q", "OK", 0, "y", 0);
    std::string expected;
    for (int i = 0; i < 20; ++i) {
        Receive("OK");
        ASSERT_EQ(DeviceGot(1), "y");
        expected += "OK\r\n--\xD7\xD4\xB6\xAF\xBB\xD6\xB8\xB4Q--\r\n";
    }
    EXPECT_EQ(m_window->ReceiveText(), expected);
    EXPECT_EQ(m_window->SendCounter(), 20);
}

INSTANTIATE_TEST_SUITE_P(OnEitherThread, AutoReplyTest, ::testing::Values(false, true),
                         [](const auto& info) { return info.param ? "Instant" : "InTheWindow"; });

class InstantReplyWindowTest : public MainWindowTest {
protected:
    PseudoTerminal m_device;
};

TEST_F(InstantReplyWindowTest, TheCommandIsOffByDefaultAndKeptInConfigIni)
{
    WriteConfigWithCom3(m_device);
    Start();
    QAction* command = m_window->MenuCommand(ID_INSTANT_REPLY);
    EXPECT_EQ(command->text(), QStringLiteral("立即回复(&I)"));
    EXPECT_FALSE(command->isChecked());
    command->trigger();
    CloseWindow();
    EXPECT_TRUE(ReadConfig().contains("CaptureFormat=raw\r\nInstantReply=1\r\n"));
}

// The point of the command: a window busy elsewhere still answers at once.
TEST_F(InstantReplyWindowTest, TheReplyGoesOutWhileTheWindowsThreadIsBusyAndIsShownAfterwards)
{
    WriteConfigWithCom3(m_device, "AutoRecive=1\r\nInstantReply=1\r\n");
    Start();
    ASSERT_TRUE(m_window->IsPortOpen());
    m_window->GetScheme().AddRule({"Q", "01 03", "AA BB", 1, 1});

    m_device.Write(std::string("\x01\x03\x00", 3));
    EXPECT_EQ(m_device.Read(2, std::chrono::seconds(5)), "\xAA\xBB") << "no event of the window's was handled";
    EXPECT_EQ(m_window->SendCounter(), 0);

    ASSERT_TRUE(QTest::qWaitFor([&] { return m_window->SendCounter() == 2; }, 5000));
    EXPECT_EQ(m_window->ReceiveText(), "\x01\x03" + kReplyLineQ);
    EXPECT_EQ(Control<QPlainTextEdit>(IDC_SEND)->toPlainText(), QStringLiteral("AA BB"));
    EXPECT_TRUE(Control<QCheckBox>(IDC_HEX_SEND)->isChecked());
}
