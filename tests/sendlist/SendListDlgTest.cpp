#include "sendlist/SendListDlg.h"
#include "tests/sendlist/SendListFixture.h"
#include "tests/support/ModalDriver.h"

namespace {

class SendListDlgTest : public SendListTest {
protected:
    // Opens the send-list dialog from the menu and lets `action` work it; returns once it closed.
    void RunDialog(std::function<void(CSendListDlg*)> action)
    {
        bool ran = false;
        WhenDialogOpens<CSendListDlg>([&](CSendListDlg* dialog) {
            ran = true;
            action(dialog);
        });
        m_window->MenuCommand(ID_SEND_LIST)->trigger();
        EXPECT_TRUE(ran);
    }

    static QLineEdit* Editor(CSendListDlg* dialog) { return dialog->List()->findChild<QLineEdit*>(); }
    static void ClickButton(CSendListDlg* dialog, int id)
    {
        QTest::mouseClick(dialog->Button(id), Qt::LeftButton);
    }
    void ClickRow(CSendListDlg* dialog, int row, Qt::KeyboardModifiers modifiers = Qt::NoModifier) const
    {
        QTest::mouseClick(dialog->List()->viewport(), Qt::LeftButton, modifiers, Cell(dialog->List(), row, 1));
    }

    std::vector<std::string> Captions() const
    {
        std::vector<std::string> captions;
        for (const auto& entry : m_window->SendItems()) {
            captions.push_back(entry->Caption);
        }
        return captions;
    }
};

}  // namespace

TEST_F(SendListDlgTest, TheDialogShowsEveryEntryWithItsCheckAndImage)
{
    AddEntry("text", "AB");
    AddEntry("hex", "01 02", 1);
    RunDialog([](CSendListDlg* dialog) {
        EXPECT_EQ(dialog->windowTitle(), QStringLiteral("多报文发送配置"));
        CEditableListCtrl* list = dialog->List();
        ASSERT_EQ(list->GetItemCount(), 2);
        EXPECT_EQ(list->model()->headerData(0, Qt::Horizontal).toString(), QStringLiteral("标题"));
        EXPECT_EQ(list->model()->headerData(1, Qt::Horizontal).toString(), QStringLiteral("发送数据"));
        EXPECT_EQ(list->horizontalHeader()->sectionSize(0), 100);
        EXPECT_EQ(list->horizontalHeader()->sectionSize(1), 350);
        EXPECT_EQ(list->GetItemText(1, 1), QStringLiteral("01 02"));
        EXPECT_EQ(list->GetCheck(0), 0);
        EXPECT_EQ(list->GetCheck(1), 1);
        EXPECT_EQ(list->GetItemImage(0, 0), 0);
        EXPECT_EQ(list->GetItemImage(1, 0), 1);
        ClickButton(dialog, CSendListDlg::IDCANCEL);
    });
}

TEST_F(SendListDlgTest, AddTypeTabTypeEnterAndOkGiveANewLastEntry)
{
    AddEntry("one", "1");
    Panel()->RefreshList();
    RunDialog([](CSendListDlg* dialog) {
        ClickButton(dialog, CSendListDlg::IDC_ADD);
        QLineEdit* editor = Editor(dialog);
        ASSERT_TRUE(editor->isVisible());
        EXPECT_EQ(dialog->List()->GetEditItem(), 1);
        EXPECT_EQ(editor->selectedText(), QStringLiteral("new"));
        QTest::sendKeyEvent(QTest::Click, editor, Qt::Key_unknown, QStringLiteral("查询"), Qt::NoModifier);
        QTest::keyClick(editor, Qt::Key_Tab);
        EXPECT_EQ(dialog->List()->GetItemText(1, 0), QStringLiteral("查询"));
        EXPECT_EQ(dialog->List()->GetEditSubItem(), 1);
        QTest::keyClicks(editor, QStringLiteral("data"));
        QTest::keyClick(editor, Qt::Key_Return);
        EXPECT_TRUE(dialog->isVisible()) << "Enter ends the edit, not the dialog";
        EXPECT_FALSE(editor->isVisible());
        ClickButton(dialog, CSendListDlg::IDOK);
    });
    ASSERT_EQ(m_window->SendItems().size(), 2u);
    const SendItem& added = *m_window->SendItems().back();
    EXPECT_EQ(added.Caption, "\xB2\xE9\xD1\xAF");
    EXPECT_EQ(added.Data, "data");
    EXPECT_EQ(added.IsHex, 0);
    ASSERT_EQ(PanelList()->GetItemCount(), 2);
    EXPECT_EQ(PanelList()->GetItemText(1, 0), QStringLiteral("查询"));
    EXPECT_EQ(PanelList()->GetItemText(1, 1), QStringLiteral("data"));
}

TEST_F(SendListDlgTest, AddThenCancelKeepsANewEntryThatThePanelShows)
{
    RunDialog([](CSendListDlg* dialog) {
        ClickButton(dialog, CSendListDlg::IDC_ADD);
        QTest::keyClicks(Editor(dialog), QStringLiteral("typed"));
        ClickButton(dialog, CSendListDlg::IDCANCEL);
    });
    ASSERT_EQ(m_window->SendItems().size(), 1u);
    EXPECT_EQ(m_window->SendItems()[0]->Caption, "new");
    EXPECT_EQ(m_window->SendItems()[0]->Data, "");
    ASSERT_EQ(PanelList()->GetItemCount(), 1);
    EXPECT_EQ(PanelList()->GetItemText(0, 0), QStringLiteral("new"));
}

TEST_F(SendListDlgTest, OkWhileAnEditIsOpenKeepsTheOldCaption)
{
    AddEntry("old", "1");
    RunDialog([this](CSendListDlg* dialog) {
        DoubleClick(dialog->List(), 0, 0);
        QLineEdit* editor = Editor(dialog);
        ASSERT_TRUE(editor->isVisible());
        QTest::keyClicks(editor, QStringLiteral("changed"));
        ClickButton(dialog, CSendListDlg::IDOK);
    });
    EXPECT_EQ(m_window->SendItems()[0]->Caption, "old");
}

TEST_F(SendListDlgTest, CheckingARowShowsHAndOkStoresTheHexFlag)
{
    AddEntry("a", "01");
    AddEntry("b", "02", 1);
    RunDialog([](CSendListDlg* dialog) {
        CEditableListCtrl* list = dialog->List();
        QTest::mouseClick(list->viewport(), Qt::LeftButton, Qt::NoModifier, list->CheckBoxRect(0).center());
        EXPECT_EQ(list->GetCheck(0), 1);
        EXPECT_EQ(list->GetItemImage(0, 0), 1);
        QTest::mouseClick(list->viewport(), Qt::LeftButton, Qt::NoModifier, list->CheckBoxRect(1).center());
        EXPECT_EQ(list->GetCheck(1), 0);
        EXPECT_EQ(list->GetItemImage(1, 0), 0);
        ClickButton(dialog, CSendListDlg::IDOK);
    });
    EXPECT_EQ(m_window->SendItems()[0]->IsHex, 1);
    EXPECT_EQ(m_window->SendItems()[1]->IsHex, 0);
    EXPECT_EQ(PanelList()->GetItemImage(0, 0), 1);
    EXPECT_EQ(PanelList()->GetItemImage(1, 0), 0);
}

TEST_F(SendListDlgTest, DeleteRemovesEverySelectedRowAndItsEntry)
{
    AddEntry("a", "1");
    std::weak_ptr<SendItem> b = AddEntry("b", "2");
    AddEntry("c", "3");
    std::weak_ptr<SendItem> d = AddEntry("d", "4");
    Panel()->RefreshList();
    RunDialog([this](CSendListDlg* dialog) {
        ClickButton(dialog, CSendListDlg::IDC_DELETE);
        EXPECT_EQ(dialog->List()->GetItemCount(), 4) << "nothing selected, nothing deleted";
        ClickRow(dialog, 1);
        ClickRow(dialog, 3, Qt::ControlModifier);
        ClickButton(dialog, CSendListDlg::IDC_DELETE);
        ASSERT_EQ(dialog->List()->GetItemCount(), 2);
        EXPECT_EQ(dialog->List()->GetItemText(0, 0), QStringLiteral("a"));
        EXPECT_EQ(dialog->List()->GetItemText(1, 0), QStringLiteral("c"));
        EXPECT_EQ(Captions(), (std::vector<std::string>{"a", "c"})) << "the entries leave at once";
        ClickButton(dialog, CSendListDlg::IDOK);
    });
    EXPECT_EQ(PanelList()->GetItemCount(), 2);
    EXPECT_TRUE(b.expired());
    EXPECT_TRUE(d.expired());
}

TEST_F(SendListDlgTest, SortingInTheDialogKeepsTheSendListOrder)
{
    AddEntry("zeta", "1");
    AddEntry("eta", "2");
    AddEntry("theta", "3");
    RunDialog([this](CSendListDlg* dialog) {
        ClickHeader(dialog->List(), 0);
        ASSERT_EQ(dialog->List()->GetItemText(0, 0), QStringLiteral("eta"));
        DoubleClick(dialog->List(), 0, 1);
        QTest::keyClicks(Editor(dialog), QStringLiteral("20"));
        QTest::keyClick(Editor(dialog), Qt::Key_Return);
        ClickButton(dialog, CSendListDlg::IDOK);
    });
    EXPECT_EQ(Captions(), (std::vector<std::string>{"zeta", "eta", "theta"}));
    EXPECT_EQ(m_window->SendItems()[1]->Data, "20") << "each row writes its own entry";
    EXPECT_EQ(PanelList()->GetItemText(1, 1), QStringLiteral("20"));
}

TEST_F(SendListDlgTest, EnterAndEscapeWithoutAnEditEndTheDialog)
{
    AddEntry("a", "1");
    RunDialog([](CSendListDlg* dialog) {
        QTest::mouseClick(dialog->List()->viewport(), Qt::LeftButton, Qt::NoModifier,
                          dialog->List()->CheckBoxRect(0).center());
        QTest::keyClick(dialog->List(), Qt::Key_Escape);
    });
    EXPECT_EQ(m_window->SendItems()[0]->IsHex, 0) << "Escape cancels";
    RunDialog([](CSendListDlg* dialog) {
        QTest::mouseClick(dialog->List()->viewport(), Qt::LeftButton, Qt::NoModifier,
                          dialog->List()->CheckBoxRect(0).center());
        QTest::keyClick(dialog->List(), Qt::Key_Return);
    });
    EXPECT_EQ(m_window->SendItems()[0]->IsHex, 1) << "Enter is OK";
    EXPECT_TRUE(m_window->isVisible());
}

// The panel's rows still name the deleted entries while the dialog runs; the cycle may send
// them until the rebuild, but never from freed memory (the ASan build checks that: the data
// is too long to live inside the entry, so a destroyed entry's data is freed memory).
TEST_F(SendListDlgTest, ACycleRunningWhileRowsAreDeletedNeverTouchesADeletedEntry)
{
    constexpr std::size_t kLength = 40;
    for (const char* caption : {"a", "b", "c", "d"}) {
        AddEntry(caption, std::string(kLength, caption[0]));
    }
    Panel()->RefreshList();
    std::weak_ptr<SendItem> b = m_window->SendItems()[1];
    std::weak_ptr<SendItem> c = m_window->SendItems()[2];
    ClickCycle(QStringLiteral("1"));
    ASSERT_TRUE(Cycling());

    RunDialog([&](CSendListDlg* dialog) {
        ClickRow(dialog, 1);
        ClickRow(dialog, 2, Qt::ControlModifier);
        ClickButton(dialog, CSendListDlg::IDC_DELETE);
        ASSERT_EQ(Captions(), (std::vector<std::string>{"a", "d"}));
        DrainDevice();
        const std::string sentMeanwhile = DeviceReceives(m_device, 4 * kLength);
        EXPECT_NE(sentMeanwhile.find_first_of("bc"), std::string::npos) << "rows built before the dialog";
        ClickButton(dialog, CSendListDlg::IDCANCEL);
    });
    EXPECT_TRUE(b.expired());
    EXPECT_TRUE(c.expired());
    ASSERT_EQ(PanelList()->GetItemCount(), 2) << "rebuilt after Cancel too";
    EXPECT_TRUE(Cycling());

    Panel()->StopCyclicSend();
    DrainDevice();
    for (int tick = 0; tick < 4; ++tick) {
        Tick();
    }
    const std::string after = DeviceReceives(m_device, 4 * kLength);
    EXPECT_EQ(after.find_first_not_of("ad"), std::string::npos) << after;
}
