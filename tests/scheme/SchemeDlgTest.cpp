#include <QCheckBox>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTableWidget>
#include <QTest>

#include "scheme/RuleDlg.h"
#include "scheme/SchemeDlg.h"
#include "tests/app/MainWindowFixture.h"
#include "tests/support/ModalDriver.h"
#include "tests/support/PseudoTerminal.h"

namespace {

template <typename Widget>
Widget* Child(QWidget* dialog, int id)
{
    return dialog->findChild<Widget*>(QString::number(id));
}

// Fills an open rule dialog and presses OK, or Cancel.
void AnswerRuleDialog(const QString& name, const QString& recv, bool recvHex, const QString& send, bool sendHex,
                      bool ok = true)
{
    WhenDialogOpens<CRuleDlg>([=](CRuleDlg* dialog) {
        Child<QLineEdit>(dialog, CRuleDlg::IDC_NAME)->setText(name);
        Child<QPlainTextEdit>(dialog, CRuleDlg::IDC_RECV_DATA)->setPlainText(recv);
        Child<QCheckBox>(dialog, CRuleDlg::IDC_RECV_HEX)->setChecked(recvHex);
        Child<QPlainTextEdit>(dialog, CRuleDlg::IDC_SEND_DATA)->setPlainText(send);
        Child<QCheckBox>(dialog, CRuleDlg::IDC_SEND_HEX)->setChecked(sendHex);
        QTest::mouseClick(dialog->findChild<QPushButton*>(ok ? QStringLiteral("1") : QStringLiteral("2")),
                          Qt::LeftButton);
    });
}

QStringList RowTexts(const QTableWidget* list, int row)
{
    QStringList texts;
    for (int column = 0; column < list->columnCount(); ++column) {
        texts << list->item(row, column)->text();
    }
    return texts;
}

class SchemeEditorTest : public MainWindowTest {
protected:
    void SetUp() override
    {
        WriteConfig("[Setting]\r\nPort=60\r\n");
        Start();
        OpenEditor();
    }

    void OpenEditor()
    {
        m_editor = std::make_unique<CSchemeDlg>(m_window->GetScheme(), m_window.get());
        WhenDialogOpens<CSchemeDlg>([](CSchemeDlg* editor) { editor->done(QDialog::Accepted); });
        m_editor->exec();  // sets the list up the way the menu command does
        m_editor->show();
    }

    void AddRule(const QString& name, const QString& recv = QStringLiteral("01 03"))
    {
        AnswerRuleDialog(name, recv, true, QStringLiteral("OK"), false);
        QTest::mouseClick(Child<QPushButton>(m_editor.get(), CSchemeDlg::IDC_ADD), Qt::LeftButton);
    }

    void ClickButton(int id) { QTest::mouseClick(Child<QPushButton>(m_editor.get(), id), Qt::LeftButton); }

    void DoubleClickAt(const QPoint& position)
    {
        QWidget* viewport = m_editor->List()->viewport();
        QTest::mouseClick(viewport, Qt::LeftButton, {}, position);
        QTest::mouseDClick(viewport, Qt::LeftButton, {}, position);
    }

    std::unique_ptr<CSchemeDlg> m_editor;
};

}  // namespace

TEST_F(SchemeEditorTest, AddingARuleAppendsItToTheRulesAndTheRows)
{
    AddRule(QStringLiteral("first"));
    AnswerRuleDialog(QStringLiteral("A"), QStringLiteral("01 03"), true, QStringLiteral("OK"), false);
    ClickButton(CSchemeDlg::IDC_ADD);

    ASSERT_EQ(m_window->Rules().size(), 2u);
    const ProtocolRule& rule = *m_window->Rules().back();
    EXPECT_EQ(rule.Name, "A");
    EXPECT_EQ(rule.RecvData, "01 03");
    EXPECT_EQ(rule.RecvIsHex, 1);
    EXPECT_EQ(rule.SendData, "OK");
    EXPECT_EQ(rule.SendIsHex, 0);
    EXPECT_EQ(RowTexts(m_editor->List(), 1), (QStringList{QStringLiteral("A"), QStringLiteral("01 03"),
                                                          QStringLiteral("16进制"), QStringLiteral("OK"),
                                                          QStringLiteral("字符串")}));
}

TEST_F(SchemeEditorTest, CancelledDialogsChangeNothing)
{
    AnswerRuleDialog(QStringLiteral("A"), QStringLiteral("x"), false, QStringLiteral("y"), false, false);
    ClickButton(CSchemeDlg::IDC_ADD);
    EXPECT_TRUE(m_window->Rules().empty());

    AddRule(QStringLiteral("kept"));
    m_editor->List()->selectRow(0);
    AnswerRuleDialog(QStringLiteral("changed"), QStringLiteral("x"), false, QStringLiteral("y"), false, false);
    ClickButton(CSchemeDlg::IDC_EDIT);
    EXPECT_EQ(m_window->Rules()[0]->Name, "kept");
    EXPECT_EQ(m_editor->List()->item(0, 0)->text(), QStringLiteral("kept"));
}

TEST_F(SchemeEditorTest, EditingKeepsTheRuleInItsPlaceWithTextsAsTyped)
{
    AddRule(QStringLiteral("one"));
    AddRule(QStringLiteral("two"));
    const ProtocolRule* second = m_window->Rules()[1].get();
    m_editor->List()->selectRow(1);
    AnswerRuleDialog(QStringLiteral("二"), QStringLiteral(" a\nb "), false, QStringLiteral(""), true);
    ClickButton(CSchemeDlg::IDC_EDIT);

    ASSERT_EQ(m_window->Rules()[1].get(), second);
    EXPECT_EQ(second->Name, "\xB6\xFE");
    EXPECT_EQ(second->RecvData, " a\r\nb ");
    EXPECT_EQ(second->SendIsHex, 1);
    EXPECT_EQ(m_editor->List()->item(1, 0)->text(), QStringLiteral("二"));
}

TEST_F(SchemeEditorTest, DeleteRemovesOnlyTheSelectedRuleAndNeedsASelection)
{
    AddRule(QStringLiteral("one"));
    AddRule(QStringLiteral("two"));
    m_editor->List()->clearSelection();
    ClickButton(CSchemeDlg::IDC_DELETE);
    EXPECT_EQ(m_window->Rules().size(), 2u);

    m_editor->List()->selectRow(0);
    ClickButton(CSchemeDlg::IDC_DELETE);
    ASSERT_EQ(m_window->Rules().size(), 1u);
    EXPECT_EQ(m_window->Rules()[0]->Name, "two");
    EXPECT_EQ(m_editor->List()->rowCount(), 1);
}

TEST_F(SchemeEditorTest, DoubleClickEditsTheRowUnderTheMouseAndNothingBelowTheRows)
{
    AddRule(QStringLiteral("one"));
    QTableWidget* list = m_editor->List();
    const QRect firstRow = list->visualRect(list->model()->index(0, 1));

    bool opened = false;
    QPointer<QTimer> guard = WhenDialogOpens<CRuleDlg>([&opened](CRuleDlg* dialog) {
        opened = true;
        dialog->reject();
    });
    DoubleClickAt(QPoint(firstRow.center().x(), firstRow.bottom() + 40));
    EXPECT_FALSE(opened);
    delete guard;

    AnswerRuleDialog(QStringLiteral("renamed"), QStringLiteral("r"), false, QStringLiteral("s"), false);
    DoubleClickAt(firstRow.center());
    EXPECT_EQ(m_window->Rules()[0]->Name, "renamed");
    EXPECT_EQ(list->item(0, 0)->text(), QStringLiteral("renamed"));
}

TEST_F(SchemeEditorTest, ImportingAFileReplacesEveryRowByItsRules)
{
    AddRule(QStringLiteral("old"));
    const QString path = m_dir.filePath(QStringLiteral("other.pol"));
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("<XML><ProtocolData><Protocol Name=\"b\"/><Protocol Name=\"a\"/></ProtocolData></XML>");
    file.close();

    SetFileDialogHandler([&](QWidget*, const FileDialogRequest& request) {
        EXPECT_EQ(request.kind, FileDialogKind::Open);
        EXPECT_EQ(request.filter, QStringLiteral("规则文件(*.pol)"));
        EXPECT_EQ(request.defaultSuffix, QStringLiteral("ptl"));
        return path;
    });
    ClickButton(CSchemeDlg::IDC_IMPORT);
    SetFileDialogHandler({});
    ASSERT_EQ(m_editor->List()->rowCount(), 2);
    EXPECT_EQ(m_editor->List()->item(0, 0)->text(), QStringLiteral("b"));
    EXPECT_EQ(m_editor->List()->item(1, 0)->text(), QStringLiteral("a"));
}

TEST_F(SchemeEditorTest, RulesSurviveARestartAndFire)
{
    AnswerRuleDialog(QStringLiteral("ping"), QStringLiteral("PING"), false, QStringLiteral("PONG"), false);
    ClickButton(CSchemeDlg::IDC_ADD);
    m_editor.reset();
    CloseWindow();

    PseudoTerminal device;
    WriteConfigWithCom3(device, "AutoRecive=1\r\n");

    CSerialDebugDlg& window = Start();
    ASSERT_EQ(window.Rules().size(), 1u);
    EXPECT_EQ(window.Rules()[0]->Name, "ping");
    ASSERT_TRUE(window.IsPortOpen());
    device.Write("PING");
    std::string reply;
    EXPECT_TRUE(QTest::qWaitFor(
        [&] {
            reply += device.ReadAvailable();
            return reply == "PONG";
        },
        5000))
        << reply;
}

TEST_F(SchemeEditorTest, WithInstantRepliesEveryChangeInTheEditorAnswersAtOnce)
{
    m_editor.reset();
    CloseWindow();
    PseudoTerminal device;
    WriteConfigWithCom3(device, "AutoRecive=1\r\nInstantReply=1\r\n");
    Start();
    ASSERT_TRUE(m_window->IsPortOpen());
    OpenEditor();
    const auto answer = [&device](std::chrono::milliseconds wait) {
        device.Write("PING");
        return device.Read(16, wait);
    };

    AnswerRuleDialog(QStringLiteral("ping"), QStringLiteral("PING"), false, QStringLiteral("PONG"), false);
    ClickButton(CSchemeDlg::IDC_ADD);
    EXPECT_EQ(answer(std::chrono::seconds(5)), "PONG");

    m_editor->List()->selectRow(0);
    AnswerRuleDialog(QStringLiteral("ping"), QStringLiteral("PING"), false, QStringLiteral("PANG"), false);
    ClickButton(CSchemeDlg::IDC_EDIT);
    EXPECT_EQ(answer(std::chrono::seconds(5)), "PANG");

    m_editor->List()->selectRow(0);
    ClickButton(CSchemeDlg::IDC_DELETE);
    EXPECT_EQ(answer(std::chrono::milliseconds(200)), "");
}

namespace {

// Keys go to the dialog's focus widget, as a user's would. It is asked of the dialog rather than
// the application: the offscreen platform may hand the activation back to the window behind the
// dialog while the test types.
void TypeIntoFocus(QWidget* dialog, const QString& text)
{
    QTest::keyClicks(dialog->focusWidget(), text);
}

void PressInFocus(QWidget* dialog, Qt::Key key, Qt::KeyboardModifiers modifiers = Qt::NoModifier)
{
    QTest::keyClick(dialog->focusWidget(), key, modifiers);
}

// Types a rule into the next rule dialog the way a user does, with Tab between the fields and
// Ctrl+Enter between lines, and ends with `lastKey`. `stillOpen` tells whether the dialog was
// open afterwards (it is then cancelled).
void TypeRuleThenPress(const QString& name, const QString& recv, const QStringList& sendLines,
                                   Qt::Key lastKey, bool* stillOpen)
{
    WhenDialogOpens<CRuleDlg>([=](CRuleDlg* dialog) {
        // Active once, the dialog has put the focus on its first field. The window check alone
        // would not do: a dialog counts as active while the editor it belongs to still is.
        if (!QTest::qWaitFor([dialog] { return dialog->isActiveWindow() && dialog->focusWidget() != nullptr; })) {
            ADD_FAILURE() << "the rule dialog never became active";
            dialog->reject();
            return;
        }
        TypeIntoFocus(dialog, name);
        PressInFocus(dialog, Qt::Key_Tab);
        TypeIntoFocus(dialog, recv);
        PressInFocus(dialog, Qt::Key_Tab);
        PressInFocus(dialog, Qt::Key_Tab);
        for (qsizetype line = 0; line < sendLines.size(); ++line) {
            if (line > 0) {
                PressInFocus(dialog, Qt::Key_Return, Qt::ControlModifier);
            }
            TypeIntoFocus(dialog, sendLines[line]);
        }
        PressInFocus(dialog, lastKey);
        *stillOpen = dialog->isVisible();
        if (*stillOpen) {
            dialog->reject();
        }
    });
}

}  // namespace

TEST_F(SchemeEditorTest, EnterInTheRuleDialogPressesOkAndCtrlEnterTypesALineBreak)
{
    bool stillOpen = true;
    TypeRuleThenPress(QStringLiteral("ping"), QStringLiteral("PING"), {QStringLiteral("PONG")}, Qt::Key_Return,
                      &stillOpen);
    ClickButton(CSchemeDlg::IDC_ADD);
    EXPECT_FALSE(stillOpen);
    ASSERT_EQ(m_window->Rules().size(), 1u);
    EXPECT_EQ(m_window->Rules()[0]->Name, "ping");
    EXPECT_EQ(m_window->Rules()[0]->RecvData, "PING");
    EXPECT_EQ(m_window->Rules()[0]->SendData, "PONG");

    stillOpen = true;
    TypeRuleThenPress(QStringLiteral("two"), QStringLiteral("Q"), {QStringLiteral("ONE"), QStringLiteral("TWO")},
                      Qt::Key_Enter, &stillOpen);
    ClickButton(CSchemeDlg::IDC_ADD);
    EXPECT_FALSE(stillOpen);
    ASSERT_EQ(m_window->Rules().size(), 2u);
    EXPECT_EQ(m_window->Rules()[1]->SendData, "ONE\r\nTWO");
}

TEST_F(SchemeEditorTest, EscapeInTheRuleDialogCancelsIt)
{
    bool stillOpen = true;
    TypeRuleThenPress(QStringLiteral("x"), QStringLiteral("y"), {QStringLiteral("z")}, Qt::Key_Escape, &stillOpen);
    ClickButton(CSchemeDlg::IDC_ADD);
    EXPECT_FALSE(stillOpen);
    EXPECT_TRUE(m_window->Rules().empty());
}

TEST_F(SchemeEditorTest, EnterPressesTheFocusedButtonElseClose)
{
    bool opened = false;
    WhenDialogOpens<CRuleDlg>([&opened](CRuleDlg* dialog) {
        opened = true;
        dialog->reject();
    });
    auto* add = Child<QPushButton>(m_editor.get(), CSchemeDlg::IDC_ADD);
    add->setFocus();
    QTest::keyClick(add, Qt::Key_Return);
    EXPECT_TRUE(opened);
    EXPECT_TRUE(m_editor->isVisible());

    m_editor->List()->setFocus();
    QTest::keyClick(m_editor->List(), Qt::Key_Return);
    EXPECT_FALSE(m_editor->isVisible());
}

// Tab and Shift+Tab take the focus from the rule list to the buttons and back; they never move
// from cell to cell.
TEST_F(SchemeEditorTest, TabAndShiftTabMoveBetweenTheRuleListAndTheButtons)
{
    AddRule(QStringLiteral("one"));
    AddRule(QStringLiteral("two"));
    QTableWidget* list = m_editor->List();
    list->setFocus();
    QTest::keyClick(list, Qt::Key_Tab);
    EXPECT_EQ(m_editor->focusWidget(), Child<QPushButton>(m_editor.get(), CSchemeDlg::IDC_EXPORT));
    QTest::keyClick(m_editor->focusWidget(), Qt::Key_Tab, Qt::ShiftModifier);
    EXPECT_EQ(m_editor->focusWidget(), list);
    QTest::keyClick(list, Qt::Key_Tab, Qt::ShiftModifier);
    EXPECT_EQ(m_editor->focusWidget(), Child<QPushButton>(m_editor.get(), 1)) << "the last button, 关闭";
}

// With the statistics the rows gain how each rule answered, kept up to date; "清零" starts
// them again. Without them the editor has its five columns.
TEST_F(SchemeEditorTest, TheStatisticsColumnsFollowTheFiringsAndClearStartsThemAgain)
{
    EXPECT_EQ(m_editor->List()->columnCount(), 5);
    AddRule(QStringLiteral("fired"));
    AddRule(QStringLiteral("idle"));
    CSchemeDlg editor(m_window->GetScheme(), m_window.get());
    editor.ShowStatistics();
    WhenDialogOpens<CSchemeDlg>([](CSchemeDlg* shown) { shown->done(QDialog::Accepted); });
    editor.exec();
    ASSERT_EQ(editor.List()->columnCount(), 10);

    Scheme& scheme = m_window->GetScheme();
    for (const int microseconds : {300, 100, 200}) {
        scheme.Statistics().Record(scheme.Rules()[0]->Id, std::chrono::system_clock::now(),
                                   std::chrono::microseconds(microseconds));
    }
    editor.RefillList();
    const QStringList fired = RowTexts(editor.List(), 0);
    EXPECT_EQ(fired[5], QStringLiteral("3"));
    EXPECT_EQ(fired.mid(7), (QStringList{QStringLiteral("0.200"), QStringLiteral("0.200"), QStringLiteral("0.300")}));
    EXPECT_TRUE(RowTexts(editor.List(), 1)[5].isEmpty());

    QPushButton* reset = nullptr;
    for (QPushButton* button : editor.findChildren<QPushButton*>()) {
        reset = button->text() == QStringLiteral("清零") ? button : reset;
    }
    ASSERT_NE(reset, nullptr);
    QTest::mouseClick(reset, Qt::LeftButton);
    EXPECT_TRUE(RowTexts(editor.List(), 0)[5].isEmpty());
}
