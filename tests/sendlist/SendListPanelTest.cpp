#include <QFile>
#include <QFrame>
#include <QPlainTextEdit>

#include "tests/sendlist/SendListFixture.h"

namespace {

using SendListPanelTest = SendListTest;

}  // namespace

TEST_F(SendListPanelTest, ThreeEntriesAreSentInTurnAndOnlyTheRowSentLastIsRed)
{
    AddThreeEntries();
    for (int row = 0; row < 3; ++row) {
        EXPECT_EQ(Colors(row), NormalColors());
    }
    ClickCycle(QStringLiteral("100000"));
    EXPECT_TRUE(Cycling());
    EXPECT_EQ(Panel()->CyclicTimer().interval(), 100000);

    const int expectedRows[] = {0, 1, 2, 0, 1};
    const char* expectedData[] = {"A1", "B2", "C3", "A1", "B2"};
    for (int step = 0; step < 5; ++step) {
        Tick();
        EXPECT_EQ(DeviceReceives(m_device, 2), expectedData[step]) << "step " << step;
        EXPECT_EQ(Panel()->CurrentItem(), expectedRows[step]);
        for (int row = 0; row < 3; ++row) {
            EXPECT_EQ(Colors(row), row == expectedRows[step] ? SentColors() : NormalColors())
                << "step " << step << ", row " << row;
        }
    }
    EXPECT_TRUE(Cycling());
    EXPECT_EQ(m_window->SendCounter(), 10);
}

TEST_F(SendListPanelTest, TheRealTimerSendsEveryEntryInTurnUntilTheWindowCloses)
{
    AddThreeEntries();
    ClickCycle(QStringLiteral("1"));
    const std::string received = DeviceReceives(m_device, 12);
    EXPECT_EQ(received.substr(0, 12), "A1B2C3A1B2C3");
    CloseWindow();
}

TEST_F(SendListPanelTest, ADoubleClickSendsItsRowAtOnceAndTheCycleGoesOnAfterIt)
{
    AddThreeEntries();
    ClickCycle(QStringLiteral("100000"));
    Tick();
    EXPECT_EQ(DeviceReceives(m_device, 2), "A1");

    DoubleClick(PanelList(), 2, 1);
    EXPECT_EQ(DeviceReceives(m_device, 2), "C3");
    EXPECT_EQ(Colors(2), SentColors());
    EXPECT_EQ(Colors(0), NormalColors());

    Tick();
    EXPECT_EQ(DeviceReceives(m_device, 2), "A1") << "wraps after the double-clicked last row";
    EXPECT_EQ(Colors(0), SentColors());
    EXPECT_EQ(Colors(2), NormalColors());
}

TEST_F(SendListPanelTest, ADoubleClickBelowTheRowsSendsNothingAndClearsTheRed)
{
    AddThreeEntries();
    DoubleClick(PanelList(), 1, 0);
    EXPECT_EQ(DeviceReceives(m_device, 2), "B2");
    const int sent = m_window->SendCounter();

    const QPoint below(10, PanelList()->viewport()->height() - 3);
    ASSERT_LT(PanelList()->rowAt(below.y()), 0);
    QTest::mouseDClick(PanelList()->viewport(), Qt::LeftButton, Qt::NoModifier, below);
    EXPECT_EQ(m_window->SendCounter(), sent);
    EXPECT_EQ(Colors(1), NormalColors());
    EXPECT_EQ(Panel()->CurrentItem(), 1);
}

TEST_F(SendListPanelTest, AnEmptyListStopsTheCycleAtTheFirstTick)
{
    ClickCycle(QStringLiteral("100000"));
    EXPECT_TRUE(Cycling()) << "an empty list still starts the timer";
    Tick();
    EXPECT_TRUE(Stopped());
    EXPECT_EQ(m_window->SendCounter(), 0);
    EXPECT_TRUE(m_messages.texts.isEmpty());
}

TEST_F(SendListPanelTest, AHexEntryShowsTheHexImageAndIsSentAsBytes)
{
    AddEntry("text", "AB");
    AddEntry("hex", "01 03 AA", 1);
    Panel()->RefreshList();
    EXPECT_EQ(PanelList()->GetItemImage(0, 0), 0);
    EXPECT_EQ(PanelList()->GetItemImage(1, 0), 1);

    DoubleClick(PanelList(), 1, 0);
    EXPECT_EQ(DeviceReceives(m_device, 3), std::string("\x01\x03\xAA", 3));
    EXPECT_TRUE(Control<QCheckBox>(IDC_HEX_SEND)->isChecked());
    EXPECT_EQ(Control<QPlainTextEdit>(IDC_SEND)->toPlainText(), QStringLiteral("01 03 AA"));

    DoubleClick(PanelList(), 0, 0);
    EXPECT_EQ(DeviceReceives(m_device, 2), "AB");
    EXPECT_FALSE(Control<QCheckBox>(IDC_HEX_SEND)->isChecked());
}

TEST_F(SendListPanelTest, ANewIntervalTakesEffectOnlyWhenTheBoxIsClickedAgain)
{
    AddThreeEntries();
    ClickCycle(QStringLiteral("100000"));
    IntervalEdit()->setText(QStringLiteral("50000"));
    QApplication::processEvents();
    EXPECT_EQ(Panel()->CyclicTimer().interval(), 100000);

    ClickCycle();
    EXPECT_TRUE(Stopped());
    ClickCycle();
    EXPECT_TRUE(Cycling());
    EXPECT_EQ(Panel()->CyclicTimer().interval(), 50000);
}

TEST_F(SendListPanelTest, AfterAHeaderSortTheCycleFollowsTheNewOrder)
{
    AddEntry("gamma", "G");
    AddEntry("alpha", "A");
    AddEntry("beta", "B");
    Panel()->RefreshList();
    ClickCycle(QStringLiteral("100000"));
    Tick();
    EXPECT_EQ(DeviceReceives(m_device, 1), "G");

    ClickHeader(PanelList(), 0);
    ASSERT_EQ(PanelList()->GetItemText(0, 0), QStringLiteral("alpha"));
    ASSERT_EQ(PanelList()->GetItemText(2, 0), QStringLiteral("gamma"));
    EXPECT_EQ(Colors(2), SentColors()) << "the colours travel with the row";

    Tick();
    EXPECT_EQ(DeviceReceives(m_device, 1), "B") << "row 1 of the new order";
    EXPECT_EQ(Colors(1), SentColors());
    EXPECT_EQ(Colors(0), NormalColors());
    EXPECT_EQ(Colors(2), NormalColors()) << "only the row sent last stays red";
    Tick();
    EXPECT_EQ(DeviceReceives(m_device, 1), "G");
}

TEST_F(SendListPanelTest, ARebuildGivesEveryRowItsNormalColoursAndKeepsTheRowNumber)
{
    AddThreeEntries();
    ClickCycle(QStringLiteral("100000"));
    Tick();
    Tick();
    EXPECT_EQ(DeviceReceives(m_device, 4), "A1B2");

    m_window->ImportScheme(Dir() + "/missing.pol");
    ASSERT_EQ(PanelList()->GetItemCount(), 3);
    for (int row = 0; row < 3; ++row) {
        EXPECT_EQ(Colors(row), NormalColors());
    }
    EXPECT_EQ(Panel()->CurrentItem(), 1);
    Tick();
    EXPECT_EQ(DeviceReceives(m_device, 2), "C3");
}

TEST_F(SendListPanelTest, SwitchingOnNeedsAnOpenPortAndANonZeroInterval)
{
    AddThreeEntries();
    ClickCycle(QStringLiteral("0"));
    EXPECT_EQ(m_messages.texts, QStringList{QStringLiteral("自动发送周期不能为0，请重新设置！")});
    EXPECT_TRUE(Stopped());

    Click(IDC_OPEN);
    ASSERT_FALSE(m_window->IsPortOpen());
    m_messages.texts.clear();
    ClickCycle(QStringLiteral("200"));
    EXPECT_EQ(m_messages.texts, QStringList{QStringLiteral("端口没有打开，无法发送！")});
    EXPECT_TRUE(Stopped());
}

TEST_F(SendListPanelTest, AnIntervalThatIsNotAWholeNumberIsReportedAndTheOldOneStays)
{
    AddThreeEntries();
    EXPECT_EQ(IntervalEdit()->text(), QStringLiteral("200"));
    for (const QString& bad : {QStringLiteral("abc"), QStringLiteral("-5"), QStringLiteral("99999999999")}) {
        m_messages.texts.clear();
        ClickCycle(bad);
        EXPECT_EQ(m_messages.texts, QStringList{QStringLiteral("请输入一个正整数。")}) << bad.toStdString();
        EXPECT_TRUE(Cycling()) << "the cycle starts with the interval it had";
        EXPECT_EQ(Panel()->CyclicTimer().interval(), 200);
        Panel()->StopCyclicSend();
    }
}

TEST_F(SendListPanelTest, AMessageThatClearsTheBoxOfARunningCycleAlsoStopsIt)
{
    AddThreeEntries();
    ClickCycle(QStringLiteral("100000"));
    ASSERT_TRUE(Cycling());
    ClickCycle(QStringLiteral("0"));
    EXPECT_EQ(m_messages.texts, QStringList{QStringLiteral("自动发送周期不能为0，请重新设置！")});
    EXPECT_TRUE(Stopped()) << "no cycle may run on behind a clear box";
}

TEST_F(SendListPanelTest, ClosingThePortStopsTheCycle)
{
    AddThreeEntries();
    ClickCycle(QStringLiteral("100000"));
    ASSERT_TRUE(Cycling());
    Click(IDC_OPEN);
    EXPECT_FALSE(m_window->IsPortOpen());
    EXPECT_TRUE(Stopped());
}

TEST_F(SendListPanelTest, EnterAndEscapeInThePanelCloseNothing)
{
    AddThreeEntries();
    for (QWidget* target : {static_cast<QWidget*>(PanelList()), static_cast<QWidget*>(IntervalEdit()),
                            static_cast<QWidget*>(CycleBox())}) {
        target->setFocus();
        for (Qt::Key key : {Qt::Key_Return, Qt::Key_Enter, Qt::Key_Escape}) {
            QTest::keyClick(target, key);
            EXPECT_TRUE(m_window->isVisible()) << target->objectName().toStdString() << " key " << key;
            EXPECT_TRUE(Panel()->isVisible());
        }
    }
    EXPECT_EQ(m_window->SendCounter(), 0);
}

TEST_F(SendListPanelTest, ThePanelFillsItsFrameAndLaysOutItsOwnControls)
{
    auto check = [this] {
        const QFrame* frame = Control<QFrame>(IDC_PANEL_FRAME);
        EXPECT_EQ(Panel()->geometry(), frame->contentsRect());
        const int cx = Panel()->width();
        const int cy = Panel()->height();
        EXPECT_EQ(PanelList()->geometry(), QRect(0, 0, cx, cy - 20));
        for (int id : {CSendListPanel::IDC_CYCLE, CSendListPanel::IDC_INTERVAL_LABEL, CSendListPanel::IDC_INTERVAL,
                       CSendListPanel::IDC_MILLISECONDS}) {
            EXPECT_EQ(Panel()->GetDlgItem(id)->geometry().top(), cy - 18) << id;
        }
    };
    check();
    m_window->resize(m_window->width() + 100, m_window->height() + 80);
    QApplication::processEvents();
    check();
    Click(IDC_EXTEND);
    EXPECT_FALSE(Panel()->isVisible());
    m_window->resize(m_window->width() - 50, m_window->height() - 30);
    QApplication::processEvents();
    Click(IDC_EXTEND);
    EXPECT_TRUE(Panel()->isVisible());
    check();
}

TEST_F(SendListPanelTest, TenThousandEntriesAreShownAndCycledAtOneMillisecond)
{
    for (int k = 0; k < 10000; ++k) {
        AddEntry("entry " + std::to_string(k), std::to_string(k % 10));
    }
    Panel()->RefreshList();
    ASSERT_EQ(PanelList()->GetItemCount(), 10000);
    EXPECT_EQ(PanelList()->GetItemText(9999, 0), QStringLiteral("entry 9999"));
    EXPECT_EQ(Colors(9999), NormalColors());

    ClickCycle(QStringLiteral("1"));
    EXPECT_EQ(DeviceReceives(m_device, 20).substr(0, 20), "01234567890123456789");
    Panel()->RefreshList();
    EXPECT_EQ(PanelList()->GetItemCount(), 10000);
    ClickCycle();
    EXPECT_TRUE(Stopped());
}

TEST_F(SendListPanelTest, AnEntryOfOneMegabyteIsShownCutAndSentWhole)
{
    const std::string big(1 << 20, 'x');
    AddEntry("big", big);
    AddEntry("empty", "");
    Panel()->RefreshList();
    EXPECT_EQ(PanelList()->GetItemText(0, 1).size(), 1 << 20);

    DoubleClick(PanelList(), 0, 0);
    const std::string received = DeviceReceives(m_device, big.size());
    EXPECT_EQ(received.size(), big.size());
    EXPECT_EQ(m_window->SendCounter(), 1 << 20);
    // Word-boundary wrapping of a megabyte without blanks would hold the window for a minute.
    EXPECT_EQ(Control<QPlainTextEdit>(IDC_SEND)->wordWrapMode(), QTextOption::WrapAnywhere);

    DoubleClick(PanelList(), 1, 0);
    EXPECT_EQ(m_window->SendCounter(), 1 << 20) << "an empty entry sends nothing";
    EXPECT_EQ(Colors(1), SentColors());
    EXPECT_EQ(Control<QPlainTextEdit>(IDC_SEND)->wordWrapMode(), QTextOption::WrapAtWordBoundaryOrAnywhere);
}

TEST(SendListPanelStartUp, ThePanelShowsTheEntriesOfDefaultPolAtStart)
{
    QTemporaryDir dir;
    QFile scheme(dir.filePath(QStringLiteral("Default.pol")));
    ASSERT_TRUE(scheme.open(QIODevice::WriteOnly));
    scheme.write("<?xml version=\"1.0\" encoding=\"gb2312\"?>\r\n<XML>\r\n<SendData Caption=\"x\">\r\n"
                 "<Item Caption=\"q\" Data=\"01 03\" IsHex=\"1\"/>\r\n<Item Caption=\"r\" Data=\"hi\" IsHex=\"0\"/>\r\n"
                 "</SendData>\r\n</XML>\r\n");
    scheme.close();
    MessageRecorder messages;
    CSerialDebugDlg window(dir.path().toStdString());
    window.OnInitDialog();
    CEditableListCtrl* list = window.SendListPanel()->List();
    ASSERT_EQ(list->GetItemCount(), 2);
    EXPECT_EQ(list->GetItemText(0, 0), QStringLiteral("q"));
    EXPECT_EQ(list->GetItemText(0, 1), QStringLiteral("01 03"));
    EXPECT_EQ(list->GetItemImage(0, 0), 1);
    EXPECT_EQ(list->GetItemText(1, 0), QStringLiteral("r"));
    EXPECT_EQ(list->GetItemImage(1, 0), 0);
    EXPECT_EQ(list->horizontalHeader()->sectionSize(0), 80);
    EXPECT_EQ(list->horizontalHeader()->sectionSize(1), 200);
    EXPECT_EQ(list->model()->headerData(0, Qt::Horizontal).toString(), QStringLiteral("名称"));
    EXPECT_EQ(list->model()->headerData(1, Qt::Horizontal).toString(), QStringLiteral("内容"));
}
