// The files of the settings folder at start and at close: stale temporary files, a Default.pol
// that cannot be read completely, a linked or read-only Config.ini.
#include "tests/app/MainWindowFixture.h"

#include <filesystem>
#include <fstream>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/WholeFile.h"
#include "scheme/SchemeFile.h"

namespace {

namespace fs = std::filesystem;

// The one message these tests expect: COM1's device is not there.
bool OnlyTheFailedOpenWasReported(const QStringList& messages)
{
    return messages.size() == 1 && messages[0].startsWith(QStringLiteral("不能打开串口！\n"));
}

std::string ReadBytes(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

void WriteBytes(const std::string& path, const std::string& bytes)
{
    std::ofstream(path, std::ios::binary) << bytes;
}

class SettingsFilesTest : public MainWindowTest {
protected:
    std::string PathOf(const std::string& name) const { return Dir() + "/" + name; }

    // A scheme with two rules, followed by the first part of another one: what a write that
    // stopped half-way after an old copy leaves. The two rules can be read.
    std::string IncompleteScheme() const
    {
        RuleList rules;
        rules.push_back(std::make_unique<ProtocolRule>(ProtocolRule{"first", "01", "02", 1, 1}));
        rules.push_back(std::make_unique<ProtocolRule>(ProtocolRule{"second", "03", "04", 1, 1}));
        const std::string readable = SchemeFileText(rules, 300, {});
        return readable + readable.substr(0, readable.size() / 2);
    }

    QString ReceiveAreaText() const
    {
        m_window->RefreshReceiveView();
        return Control<QPlainTextEdit>(IDC_RECEIVE)->toPlainText();
    }
};

TEST_F(SettingsFilesTest, AnIncompleteDefaultPolIsImportedKeptAsBakAndAnnounced)
{
    WriteConfig(PortsSection(1, "/nonexistent/tty"));
    const std::string scheme = IncompleteScheme();
    WriteBytes(PathOf("Default.pol"), scheme);
    WriteBytes(PathOf("Default.pol.bak"), "an older copy");
    CSerialDebugDlg& window = Start();

    ASSERT_EQ(window.Rules().size(), 2u);
    EXPECT_EQ(window.Rules()[1]->Name, "second");
    EXPECT_EQ(ReadBytes(PathOf("Default.pol.bak")), scheme);
    EXPECT_TRUE(ReceiveAreaText().contains(QStringLiteral("\n--Default.pol 无法完整读取，已保存为 Default.pol.bak--\n")))
        << ReceiveAreaText().toStdString();
    EXPECT_TRUE(OnlyTheFailedOpenWasReported(m_messages.texts)) << "the line is no message box";

    CloseWindow();
    RuleList rules;
    SendList sendList;
    int interval = 0;
    const SchemeImport saved = ImportSchemeFile(PathOf("Default.pol"), rules, interval, sendList);
    EXPECT_FALSE(saved.incomplete);
    EXPECT_EQ(rules.size(), 2u);
    EXPECT_EQ(ReadBytes(PathOf("Default.pol.bak")), scheme);
}

TEST_F(SettingsFilesTest, WithoutRoomForACopyTheIncompleteDefaultPolIsLeftAlone)
{
    WriteConfig(PortsSection(1, "/nonexistent/tty"));
    const std::string scheme = IncompleteScheme();
    WriteBytes(PathOf("Default.pol"), scheme);
    fs::create_directory(PathOf("Default.pol.bak"));
    CSerialDebugDlg& window = Start();

    EXPECT_EQ(window.Rules().size(), 2u);
    EXPECT_TRUE(ReceiveAreaText().contains(QStringLiteral("Default.pol 无法完整读取，也不能保存为 Default.pol.bak")));
    EXPECT_TRUE(OnlyTheFailedOpenWasReported(m_messages.texts));
    CloseWindow();
    EXPECT_EQ(ReadBytes(PathOf("Default.pol")), scheme);
    EXPECT_TRUE(fs::is_empty(PathOf("Default.pol.bak")));
    EXPECT_TRUE(ReadConfig().contains("[Setting]")) << "the settings are saved all the same";
}

TEST_F(SettingsFilesTest, ACompleteOrMissingDefaultPolIsNeitherCopiedNorAnnounced)
{
    WriteConfig(PortsSection(1, "/nonexistent/tty"));
    Start();
    CloseWindow();
    Start();
    EXPECT_FALSE(fs::exists(PathOf("Default.pol.bak")));
    EXPECT_TRUE(ReceiveAreaText().isEmpty());
}

TEST_F(SettingsFilesTest, StartRemovesStaleTemporaryFilesAndNothingElse)
{
    WriteConfig(PortsSection(1, "/nonexistent/tty"));
    for (const char* stale : {".Config.ini.aZ09xY.serialdebug-tmp", ".Default.pol.Q1w2E3.serialdebug-tmp",
                              "Default.pol.saving", "Config.ini.tmp4242.7"}) {
        WriteBytes(PathOf(stale), "left by a killed run");
    }
    WriteBytes(PathOf("precious.txt"), "precious");
    fs::create_symlink("precious.txt", PathOf(".Default.pol.LiNkEd.serialdebug-tmp"));
    fs::create_directory(PathOf(".Config.ini.FoLdEr.serialdebug-tmp"));
    WriteBytes(PathOf("Config.ini.tmp12"), "not ours");
    Start();

    std::set<std::string> names;
    for (const fs::directory_entry& entry : fs::directory_iterator(Dir())) {
        names.insert(entry.path().filename().string());
    }
    EXPECT_EQ(names, (std::set<std::string>{"Config.ini", "precious.txt", ".Default.pol.LiNkEd.serialdebug-tmp",
                                            ".Config.ini.FoLdEr.serialdebug-tmp", "Config.ini.tmp12"}));
    EXPECT_EQ(ReadBytes(PathOf("precious.txt")), "precious");
    EXPECT_TRUE(OnlyTheFailedOpenWasReported(m_messages.texts));
}

TEST_F(SettingsFilesTest, ALinkedConfigIniStaysALinkAndItsFileGetsTheSettings)
{
    fs::create_directory(PathOf("shared"));
    WriteBytes(PathOf("shared/settings.ini"), PortsSection(1, "/nonexistent/tty").toStdString() + "[Ports]\r\nCOM3=/dev/mine\r\n");
    fs::create_symlink("shared/settings.ini", ConfigPath().toStdString());
    Start();
    EXPECT_EQ(Control<QComboBox>(IDC_PORT)->itemData(2, Qt::ToolTipRole).toString(), QStringLiteral("/dev/mine"));
    EXPECT_EQ(Control<QComboBox>(IDC_PORT)->itemData(3, Qt::ToolTipRole).toString(), QStringLiteral("/dev/ttyUSB3"));
    Control<QLineEdit>(IDC_INTERVAL)->setText(QStringLiteral("750"));
    CloseWindow();

    EXPECT_TRUE(fs::is_symlink(ConfigPath().toStdString()));
    EXPECT_NE(ReadBytes(PathOf("shared/settings.ini")).find("InterVal=750\r\n"), std::string::npos);
    EXPECT_EQ(std::distance(fs::directory_iterator(PathOf("shared")), {}), 1) << "no temporary file stays";
}

TEST_F(SettingsFilesTest, AReadOnlyConfigIniIsLeftAsItIs)
{
    const QByteArray before = PortsSection(1, "/nonexistent/tty") + "[Setting]\r\nInterVal=5\r\n";
    WriteConfig(before);
    ::chmod(ConfigPath().toLocal8Bit().constData(), 0444);
    if (::access(ConfigPath().toLocal8Bit().constData(), W_OK) == 0) {
        GTEST_SKIP() << "permissions do not bind this user (root)";
    }
    Start();
    Control<QLineEdit>(IDC_INTERVAL)->setText(QStringLiteral("750"));
    CloseWindow();
    EXPECT_EQ(ReadConfig(), before);
    EXPECT_TRUE(OnlyTheFailedOpenWasReported(m_messages.texts));
}

}  // namespace
