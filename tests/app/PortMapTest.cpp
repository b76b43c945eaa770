// "端口映射" driven by the keyboard as a user would: the port list, the fields below it and the
// buttons, with Config.ini checked byte for byte afterwards.
#include <QApplication>
#include <QLabel>
#include <QMenu>
#include <QSet>
#include <QTableWidget>
#include <functional>

#include "app/PortMapDlg.h"
#include "tests/app/MainWindowFixture.h"
#include "tests/support/ModalDriver.h"

namespace {

// A settings file with everything the window must leave alone: a comment before the first
// section, other sections, blank lines, a comment in [Ports] and entries it cannot read.
const QByteArray kConfig =
    "; bench PC\r\n[Setting]\r\nPort=0\r\n\r\n[Ports]\r\n; lab\r\nCOM2=/dev/ttyUSB7\r\nCOM3=virtual:bad/name\r\n"
    "COM4=monitor:x\r\nCOM5=/dev/ttyACM3\r\nCOM6=/dev/old\r\nCOM7=/dev/null\r\n\r\n[Extra]\r\nkey = value \r\n";

class PortMapTest : public MainWindowTest {
protected:
    void SetUp() override
    {
        WriteConfig(kConfig);
        Start();
        m_messages.texts.clear();  // COM1 is not there to open at start
    }

    // Opens "端口映射" from the menu and runs `drive` on it; a window that `drive` leaves open
    // is a failure, and is cancelled.
    void WithPortMap(const std::function<void(CPortMapDlg*)>& drive)
    {
        WhenDialogOpens<CPortMapDlg>([drive](CPortMapDlg* dialog) {
            dialog->activateWindow();
            ASSERT_TRUE(QTest::qWaitForWindowActive(dialog));
            drive(dialog);
            if (dialog->isVisible()) {
                ADD_FAILURE() << "the port map is still open";
                dialog->reject();
            }
        });
        m_window->MenuCommand(ID_PORT_MAP)->trigger();
    }

    static void Key(Qt::Key key, Qt::KeyboardModifiers modifiers = Qt::NoModifier)
    {
        QTest::keyClick(QApplication::focusWidget(), key, modifiers);
    }

    static void Type(const QString& text)
    {
        Key(Qt::Key_A, Qt::ControlModifier);
        Key(Qt::Key_Backspace);
        QTest::keyClicks(QApplication::focusWidget(), text);
    }

    static void SelectPort(int number)
    {
        Key(Qt::Key_P, Qt::AltModifier);
        Key(Qt::Key_Home, Qt::ControlModifier);
        for (int row = 1; row < number; ++row) {
            Key(Qt::Key_Down);
        }
    }

    static void ChooseKind(CPortMapDlg::EntryKind kind)
    {
        Key(Qt::Key_K, Qt::AltModifier);
        Key(Qt::Key_Home);
        for (int step = 0; step < kind; ++step) {
            Key(Qt::Key_Down);
        }
    }

    // Sets the selected port from the fields: kind, then the device and name where it has them.
    static void SetEntry(CPortMapDlg::EntryKind kind, const QString& device, const QString& name)
    {
        ChooseKind(kind);
        if (kind != CPortMapDlg::VirtualEntry) {
            Key(Qt::Key_E, Qt::AltModifier);
            Type(device);
        }
        if (kind != CPortMapDlg::DeviceEntry) {
            Key(Qt::Key_N, Qt::AltModifier);
            Type(name);
        }
        Key(Qt::Key_Return);
    }

    // "确定", reached with Tab.
    static void PressOk(CPortMapDlg* dialog)
    {
        for (int step = 0; step < 12 && !IsOkButton(QApplication::focusWidget()); ++step) {
            Key(Qt::Key_Tab);
        }
        ASSERT_TRUE(IsOkButton(QApplication::focusWidget())) << "确定 is not reached with Tab";
        Key(Qt::Key_Space);
        EXPECT_FALSE(dialog->isVisible());
    }

    static bool IsOkButton(QWidget* widget)
    {
        auto* button = qobject_cast<QPushButton*>(widget);
        return button != nullptr && button->text() == QStringLiteral("确定");
    }

    static QString Cell(CPortMapDlg* dialog, int number, int column)
    {
        return dialog->findChild<QTableWidget*>()->item(number - 1, column)->text();
    }

    QString PortTip(int number) const
    {
        return Control<QComboBox>(IDC_PORT)->itemData(number - 1, Qt::ToolTipRole).toString();
    }
};

// The letter after '&' in a menu item's or a control's text, in upper case; none without one.
QChar Mnemonic(const QString& text)
{
    const qsizetype at = text.indexOf(QLatin1Char('&'));
    return at >= 0 && at + 1 < text.size() ? text[at + 1].toUpper() : QChar();
}

// Whether two of `texts` share a mnemonic; `clash` gets the text that repeats one.
bool ShareAMnemonic(const QStringList& texts, QString& clash)
{
    QSet<QChar> seen;
    for (const QString& text : texts) {
        const QChar letter = Mnemonic(text);
        if (!letter.isNull() && seen.contains(letter)) {
            clash = text;
            return true;
        }
        seen.insert(letter);
    }
    return false;
}

TEST_F(PortMapTest, NoTwoItemsOfAMenuOrOfTheWindowShareAMnemonic)
{
    EXPECT_EQ(m_window->MenuCommand(ID_PORT_MAP)->text(), QStringLiteral("端口映射(&A)..."));
    QString clash;
    for (const QMenu* menu : m_window->findChildren<QMenu*>()) {
        QStringList texts;
        for (const QAction* action : menu->actions()) {
            texts << action->text();
        }
        EXPECT_FALSE(ShareAMnemonic(texts, clash)) << clash.toStdString();
    }
    WithPortMap([&clash](CPortMapDlg* dialog) {
        QStringList texts;
        for (const QLabel* label : dialog->findChildren<QLabel*>()) {
            texts << label->text();
        }
        for (const QAbstractButton* button : dialog->findChildren<QAbstractButton*>()) {
            texts << button->text();
        }
        EXPECT_FALSE(ShareAMnemonic(texts, clash)) << clash.toStdString();
        Key(Qt::Key_Escape);
    });
}

TEST_F(PortMapTest, ListsEveryPortWithWhatItOpensAndMarksWhatItCannotRead)
{
    WithPortMap([](CPortMapDlg* dialog) {
        EXPECT_EQ(dialog->windowTitle(), QStringLiteral("端口映射"));
        EXPECT_EQ(dialog->findChild<QTableWidget*>()->rowCount(), 50);
        EXPECT_EQ(Cell(dialog, 1, 1), QStringLiteral("/dev/ttyUSB0"));
        EXPECT_EQ(Cell(dialog, 1, 2), QStringLiteral("默认"));
        EXPECT_EQ(Cell(dialog, 2, 2), QStringLiteral("设备"));
        EXPECT_EQ(Cell(dialog, 2, 3), QStringLiteral("不存在"));
        EXPECT_EQ(Cell(dialog, 7, 3), QStringLiteral("存在"));
        EXPECT_EQ(Cell(dialog, 3, 1), QStringLiteral("virtual:bad/name（虚拟串口名称只能含字母、数字、-、_ 和 .）"));
        EXPECT_EQ(Cell(dialog, 3, 2), QStringLiteral("无法解析"));
        EXPECT_EQ(Cell(dialog, 4, 1), QStringLiteral("monitor:x（监视端口应写作 monitor:设备,名称）"));
        EXPECT_EQ(Cell(dialog, 50, 1), QStringLiteral("/dev/ttyS29"));
        Key(Qt::Key_Escape);
    });
}

TEST_F(PortMapTest, OkWritesTheChangedEntriesAndKeepsEveryOtherByte)
{
    WithPortMap([](CPortMapDlg* dialog) {
        SelectPort(1);
        SetEntry(CPortMapDlg::DeviceEntry, QStringLiteral("/dev/ttyUSB9"), {});
        SelectPort(2);
        SetEntry(CPortMapDlg::VirtualEntry, {}, QStringLiteral("bench"));
        SelectPort(5);
        SetEntry(CPortMapDlg::MonitorEntry, QStringLiteral("/dev/ttyUSB0"), QStringLiteral("tap"));
        SelectPort(6);
        Key(Qt::Key_Delete);
        EXPECT_EQ(Cell(dialog, 2, 2), QStringLiteral("虚拟串口"));
        EXPECT_EQ(Cell(dialog, 2, 3), QStringLiteral("虚拟"));
        EXPECT_EQ(Cell(dialog, 5, 2), QStringLiteral("监视端口"));
        EXPECT_EQ(Cell(dialog, 6, 1), QStringLiteral("/dev/ttyUSB5"));
        PressOk(dialog);
    });
    const QByteArray ports = "[Ports]\r\n; lab\r\nCOM2=virtual:bench\r\nCOM3=virtual:bad/name\r\nCOM4=monitor:x\r\n"
                             "COM5=monitor:/dev/ttyUSB0,tap\r\nCOM7=/dev/null\r\nCOM1=/dev/ttyUSB9\r\n\r\n";
    EXPECT_EQ(ReadConfig(), "; bench PC\r\n[Setting]\r\nPort=0\r\n\r\n" + ports + "[Extra]\r\nkey = value \r\n");
    EXPECT_TRUE(m_messages.texts.isEmpty()) << m_messages.texts.join(QLatin1Char('\n')).toStdString();

    // The port list follows at once.
    EXPECT_EQ(PortTip(1), QStringLiteral("/dev/ttyUSB9"));
    EXPECT_EQ(PortTip(2), QStringLiteral("virtual:bench"));
    EXPECT_EQ(PortTip(6), QStringLiteral("/dev/ttyUSB5"));

    // The settings written at exit keep the section as the window wrote it, once.
    CloseWindow();
    const QByteArray atExit = ReadConfig();
    EXPECT_TRUE(atExit.contains(ports + "[Extra]\r\nkey = value \r\n")) << atExit.toStdString();
    EXPECT_EQ(atExit.count("[Ports]"), 1);
}

TEST_F(PortMapTest, CancelWritesNothing)
{
    WithPortMap([](CPortMapDlg*) {
        SelectPort(1);
        SetEntry(CPortMapDlg::DeviceEntry, QStringLiteral("/dev/ttyUSB9"), {});
        SelectPort(2);
        Key(Qt::Key_Delete);
        Key(Qt::Key_Escape);
    });
    EXPECT_EQ(ReadConfig(), kConfig);
    EXPECT_EQ(PortTip(1), QStringLiteral("/dev/ttyUSB0"));
}

struct BadEntry {
    CPortMapDlg::EntryKind kind;
    QString device;
    QString name;
    QString message;
};

TEST_F(PortMapTest, BadInputGivesOneMessageAndChangesNothing)
{
    const QString prefix = QStringLiteral("COM2 不能这样设置：");
    const QString badCharacters = QStringLiteral("虚拟串口名称只能含字母、数字、-、_ 和 .");
    const std::vector<BadEntry> cases = {
        {CPortMapDlg::VirtualEntry, {}, QStringLiteral("a/b"), badCharacters},
        {CPortMapDlg::VirtualEntry, {}, QStringLiteral(".."), QStringLiteral("虚拟串口名称不能是 . 或 ..")},
        {CPortMapDlg::VirtualEntry, {}, QStringLiteral("my port"), badCharacters},
        {CPortMapDlg::VirtualEntry, {}, QString(300, QLatin1Char('n')), QStringLiteral("虚拟串口名称超过 64 个字符")},
        {CPortMapDlg::MonitorEntry, {}, QStringLiteral("tap"), QStringLiteral("监视端口没有设备")},
        {CPortMapDlg::MonitorEntry, QStringLiteral("/dev/ttyUSB0"), QStringLiteral("../x"), badCharacters},
        {CPortMapDlg::DeviceEntry, QStringLiteral("ttyUSB0"), {}, QStringLiteral("设备路径应以 / 开头")},
        {CPortMapDlg::DeviceEntry, QStringLiteral("tcp://host:70000"), {}, QString()},
    };
    for (const BadEntry& bad : cases) {
        m_messages.texts.clear();
        WithPortMap([&bad](CPortMapDlg* dialog) {
            SelectPort(2);
            SetEntry(bad.kind, bad.device, bad.name);
            EXPECT_EQ(Cell(dialog, 2, 1), QStringLiteral("/dev/ttyUSB7"));
            EXPECT_FALSE(dialog->Map().Changed());
            PressOk(dialog);
        });
        ASSERT_EQ(m_messages.texts.size(), 1) << bad.name.toStdString();
        if (!bad.message.isEmpty()) {
            EXPECT_EQ(m_messages.texts.front(), prefix + bad.message);
        } else {
            EXPECT_TRUE(m_messages.texts.front().startsWith(prefix));
        }
        EXPECT_EQ(ReadConfig(), kConfig) << bad.name.toStdString();
    }
}

}  // namespace
