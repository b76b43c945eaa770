// "查找" over the receive area on a pseudo-terminal: text and hex patterns, both views, frames
// with time stamps, and marks that follow the area across its clearing.
#include <QAction>
#include <QLabel>

#include "app/FindDlg.h"
#include "tests/app/MainWindowFixture.h"

namespace {

class FindTest : public MainWindowTest {
protected:
    void SetUp() override
    {
        WriteConfigWithCom3(m_device, "TimeStamp=1\r\n");
        Start();
        ASSERT_TRUE(m_window->IsPortOpen());
    }

    void Receive(const std::string& bytes)
    {
        const int before = m_window->ReceiveCounter();
        m_device.Write(bytes);
        ASSERT_TRUE(QTest::qWaitFor(
            [&] { return m_window->ReceiveCounter() >= before + static_cast<int>(bytes.size()); }, 5000));
        m_window->RefreshReceiveView();
    }

    CFindDlg* Find(const QString& pattern, bool hex)
    {
        m_window->MenuCommand(ID_FIND)->trigger();
        auto* find = m_window->findChild<CFindDlg*>();
        find->HexBox()->setChecked(hex);
        find->PatternEdit()->setText(pattern);
        find->FindNext();
        return find;
    }

    // The texts the marks cover in the receive area, the current one first.
    QStringList Marked() const
    {
        QStringList marked;
        const auto* area = Control<QPlainTextEdit>(IDC_RECEIVE);
        for (const QTextEdit::ExtraSelection& mark : area->extraSelections()) {
            marked << mark.cursor.selectedText();
        }
        return marked;
    }

    PseudoTerminal m_device;
};

}  // namespace

TEST_F(FindTest, TextAndHexPatternsAreFoundInBothViewsAndNeverInTheHeaders)
{
    Receive("OK:ok");
    Click(IDC_HEX_DISPLAY);
    Receive(std::string("\x01:\x02", 3));

    CFindDlg* find = Find(QStringLiteral("ok"), false);
    EXPECT_EQ(find->CountLabel()->text(), QStringLiteral("1 / 2"));
    EXPECT_EQ(Marked(), (QStringList{QStringLiteral("OK"), QStringLiteral("ok")}));
    find->FindNext();
    EXPECT_EQ(find->CountLabel()->text(), QStringLiteral("2 / 2"));

    find = Find(QStringLiteral("3a"), true);
    EXPECT_EQ(find->CountLabel()->text(), QStringLiteral("1 / 2"));
    EXPECT_EQ(Marked(), (QStringList{QStringLiteral(":"), QStringLiteral("3A")}));

    find = Find(QStringLiteral("3g"), true);
    ASSERT_EQ(m_messages.texts.size(), 1);
    EXPECT_TRUE(m_messages.texts[0].contains(QStringLiteral("不是十六进制数据")));
}

TEST_F(FindTest, TheMarksFollowTheAreaAcrossItsClearing)
{
    Click(IDC_HEX_DISPLAY);
    Receive("AB");
    CFindDlg* find = Find(QStringLiteral("41 42"), true);
    EXPECT_EQ(find->CountLabel()->text(), QStringLiteral("1 / 1"));
    std::string flood;
    for (int i = 0; i < 1200; ++i) {
        flood += "xyAB";  // 3,600 pairs a read... the area empties at 30,000 characters
    }
    for (int read = 0; read < 3; ++read) {
        Receive(flood);
    }
    find->Refresh();
    const int matches = find->CountLabel()->text().section(QLatin1Char('/'), 1).trimmed().toInt();
    EXPECT_EQ(static_cast<std::size_t>(matches), find->Matches().size());
    EXPECT_LT(matches, 3 * 1200 + 1) << "the area was emptied since";
    EXPECT_GT(matches, 0);
    EXPECT_EQ(Marked().size(), matches);
    EXPECT_EQ(Marked().value(0), QStringLiteral("41 42"));
}
