#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "scheme/SchemeFile.h"
#include "tests/support/OrdinaryUser.h"

namespace {

namespace fs = std::filesystem;

const std::string kParameters = "\xB2\xCE\xCA\xFD\xC9\xE8\xD6\xC3";  // 参数设置
const std::string kInterval = "\xB7\xA2\xCB\xCD\xBC\xE4\xB8\xF4";    // 发送间隔
const std::string kContents = "\xB7\xA2\xCB\xCD\xC4\xDA\xC8\xDD";    // 发送内容
const std::string kDeclaration = "<?xml version=\"1.0\" encoding=\"gb2312\"?>";

std::string Lines(std::initializer_list<std::string> lines)
{
    std::string text;
    for (const std::string& line : lines) {
        text += line + "\r\n";
    }
    return text;
}

std::unique_ptr<ProtocolRule> Rule(std::string name, std::string recv, int recvHex, std::string send, int sendHex)
{
    return std::make_unique<ProtocolRule>(ProtocolRule{std::move(name), std::move(recv), std::move(send), recvHex, sendHex});
}

std::shared_ptr<SendItem> Item(std::string caption, std::string data, int isHex)
{
    return std::make_shared<SendItem>(SendItem{isHex, std::move(caption), std::move(data)});
}

class SchemeFileTest : public ::testing::Test {
protected:
    SchemeFileTest()
        : m_dir(fs::temp_directory_path() /
                ("scheme-test-" + std::to_string(getpid()) + "-" +
                 ::testing::UnitTest::GetInstance()->current_test_info()->name()))
    {
        fs::create_directories(m_dir);
    }
    ~SchemeFileTest() override
    {
        std::error_code ignored;
        fs::permissions(m_dir, fs::perms::owner_all, ignored);
        fs::remove_all(m_dir, ignored);
    }

    std::string Path(const std::string& name) const { return (m_dir / name).string(); }

    std::string WriteFile(const std::string& name, const std::string& content) const
    {
        std::ofstream(Path(name), std::ios::binary) << content;
        return Path(name);
    }

    std::string ReadFile(const std::string& path) const
    {
        std::ifstream in(path, std::ios::binary);
        std::stringstream content;
        content << in.rdbuf();
        return content.str();
    }

    bool Import(const std::string& content)
    {
        return ImportSchemeFile(WriteFile("in.pol", content), rules, interval, sendList).rootFound;
    }

    fs::path m_dir;
    RuleList rules;
    int interval = 200;
    SendList sendList;
};

}  // namespace

TEST_F(SchemeFileTest, ExportWritesTheExactLayout)
{
    rules.push_back(Rule("ping", "AA 55", 1, "OK", 0));
    sendList.push_back(Item("query", "01 03", 1));
    EXPECT_EQ(SchemeFileText(rules, 1000, sendList),
              Lines({kDeclaration, "<XML>", "<ProtocolData>", "<Protocol Name=\"ping\">", "<Rx IsHex=\"1\">AA 55</Rx>",
                     "<Sx IsHex=\"0\">OK</Sx>", "</Protocol>", "</ProtocolData>",
                     "<Setting Caption=\"" + kParameters + "\">",
                     "<Interval Caption=\"" + kInterval + "\">1000</Interval>", "</Setting>",
                     "<SendData Caption=\"" + kContents + "\">", "<Item Caption=\"query\" Data=\"01 03\" IsHex=\"1\"/>",
                     "</SendData>", "</XML>"}));
}

TEST_F(SchemeFileTest, AnEmptySchemeUsesShortForms)
{
    EXPECT_EQ(SchemeFileText({}, 200, {}),
              Lines({kDeclaration, "<XML>", "<ProtocolData/>", "<Setting Caption=\"" + kParameters + "\">",
                     "<Interval Caption=\"" + kInterval + "\">200</Interval>", "</Setting>",
                     "<SendData Caption=\"" + kContents + "\"/>", "</XML>"}));
}

TEST_F(SchemeFileTest, SpecialCharactersAreEscapedAndReadBackUnchanged)
{
    rules.push_back(Rule("q\"uote", "x", 0, "a<b & c", 0));
    rules.push_back(Rule("\xC4\xE3\xBA\xC3", " two\r\nlines ", 0, "\xB6\xFE\\]", 0));
    sendList.push_back(Item("say \"hi\" & <go>", "it's\r\n", 0));
    const std::string text = SchemeFileText(rules, 5, sendList);
    EXPECT_NE(text.find("<Sx IsHex=\"0\">a&lt;b &amp; c</Sx>"), std::string::npos);
    EXPECT_NE(text.find("<Protocol Name=\"q&quot;uote\">"), std::string::npos);
    EXPECT_NE(text.find("Caption=\"say &quot;hi&quot; &amp; &lt;go&gt;\""), std::string::npos);

    const std::string path = Path("round.pol");
    ASSERT_TRUE(ExportSchemeFile(path, rules, 5, sendList));
    RuleList readRules;
    SendList readItems;
    int readInterval = 0;
    ASSERT_TRUE(ImportSchemeFile(path, readRules, readInterval, readItems).rootFound);
    ASSERT_EQ(readRules.size(), 2u);
    for (std::size_t i = 0; i < 2; ++i) {
        EXPECT_EQ(readRules[i]->Name, rules[i]->Name);
        EXPECT_EQ(readRules[i]->RecvData, rules[i]->RecvData);
        EXPECT_EQ(readRules[i]->SendData, rules[i]->SendData);
    }
    EXPECT_EQ(readInterval, 5);
    ASSERT_EQ(readItems.size(), 1u);
    EXPECT_EQ(readItems[0]->Caption, sendList[0]->Caption);
    EXPECT_EQ(readItems[0]->Data, sendList[0]->Data);
}

TEST_F(SchemeFileTest, ImportReplacesRulesAndAppendsSendItems)
{
    rules.push_back(Rule("old", "x", 0, "y", 0));
    sendList.push_back(Item("kept", "1", 0));
    const std::string file = SchemeFileText([] {
        RuleList fileRules;
        fileRules.push_back(Rule("new", "01", 1, "02", 1));
        return fileRules;
    }(), 300, {Item("added", "2", 1)});
    ASSERT_TRUE(Import(file));
    ASSERT_EQ(rules.size(), 1u);
    EXPECT_EQ(rules[0]->Name, "new");
    EXPECT_EQ(rules[0]->RecvIsHex, 1);
    EXPECT_EQ(interval, 300);
    ASSERT_EQ(sendList.size(), 2u);
    EXPECT_EQ(sendList[1]->Caption, "added");

    ASSERT_TRUE(Import(file));
    EXPECT_EQ(rules.size(), 1u) << "rules once";
    EXPECT_EQ(sendList.size(), 3u) << "send items twice";
}

TEST_F(SchemeFileTest, FilesWithoutAnXmlRootChangeNothing)
{
    rules.push_back(Rule("kept", "x", 0, "y", 0));
    sendList.push_back(Item("kept", "1", 0));
    interval = 42;
    EXPECT_FALSE(ImportSchemeFile(Path("missing.pol"), rules, interval, sendList).rootFound);
    for (const std::string& content :
         {std::string(), std::string("\x00\xFF\x81<", 4), std::string("<Root><ProtocolData/></Root>"),
          std::string("not xml at all"), kDeclaration + "\r\n"}) {
        EXPECT_FALSE(Import(content));
    }
    EXPECT_EQ(rules.size(), 1u);
    EXPECT_EQ(sendList.size(), 1u);
    EXPECT_EQ(interval, 42);
}

TEST_F(SchemeFileTest, AnXmlRootWithoutProtocolDataEmptiesTheRules)
{
    rules.push_back(Rule("gone", "x", 0, "y", 0));
    ASSERT_TRUE(Import("<XML></XML>"));
    EXPECT_TRUE(rules.empty());
    EXPECT_EQ(interval, 200);
}

TEST_F(SchemeFileTest, IntervalTextsReadWithTheDecimalRule)
{
    const auto intervalOf = [this](const std::string& element) {
        interval = 7;
        Import("<XML><Setting>" + element + "</Setting></XML>");
        return interval;
    };
    EXPECT_EQ(intervalOf("<Interval Caption=\"x\"></Interval>"), 200);
    EXPECT_EQ(intervalOf("<Interval/>"), 200);
    EXPECT_EQ(intervalOf("<Interval>abc</Interval>"), 0);
    EXPECT_EQ(intervalOf("<Interval> 250ms</Interval>"), 250);
    EXPECT_EQ(intervalOf("<Other/>"), 7);
}

TEST_F(SchemeFileTest, ElementsAreFoundOnlyInTheirOrder)
{
    ASSERT_TRUE(Import("<XML><ProtocolData><Protocol Name=\"p\"><Sx IsHex=\"1\">AA</Sx><Rx IsHex=\"1\">01</Rx>"
                       "</Protocol><Protocol/></ProtocolData><SendData><Item/><Item Caption=\"c\" IsHex=\"2\"/>"
                       "</SendData></XML>"));
    ASSERT_EQ(rules.size(), 2u);
    EXPECT_EQ(rules[0]->RecvData, "01");
    EXPECT_EQ(rules[0]->SendData, "") << "Sx before Rx is not seen";
    EXPECT_EQ(rules[0]->SendIsHex, 0);
    EXPECT_EQ(rules[1]->Name, "");
    ASSERT_EQ(sendList.size(), 2u);
    EXPECT_EQ(sendList[0]->Caption, "");
    EXPECT_EQ(sendList[0]->IsHex, 0);
    EXPECT_EQ(sendList[1]->IsHex, 2) << "a flag is kept as read";
}

TEST_F(SchemeFileTest, ATruncatedFileClearsTheRulesAndReadsNone)
{
    rules.push_back(Rule("gone", "x", 0, "y", 0));
    EXPECT_TRUE(Import("<XML>\r\n<ProtocolData>\r\n<Protocol Name=\"a\">\r\n<Rx IsHex=\"0\">x</Rx>"));
    EXPECT_TRUE(rules.empty());
}

TEST_F(SchemeFileTest, AHugeFileFullOfUnknownElementsImportsItsItems)
{
    std::string content = "<XML><SendData>";
    for (int i = 0; i < 100000; ++i) {
        content += "<Noise a=\"" + std::string(80, 'n') + "\"/><Item Caption=\"c\" Data=\"d\" IsHex=\"1\"/>";
    }
    content += "</SendData></XML>";
    ASSERT_GT(content.size(), 10u * 1000 * 1000);
    ASSERT_TRUE(Import(content));
    EXPECT_EQ(sendList.size(), 100000u);
}

TEST_F(SchemeFileTest, AnExportThatCannotBeWrittenSaysSo)
{
    EXPECT_FALSE(ExportSchemeFile(Path("no/such/dir.pol"), rules, 200, sendList));
}

TEST_F(SchemeFileTest, AFailedExportLeavesTheOldFileIntact)
{
    const std::string path = WriteFile("keep.pol", "old content");
    fs::permissions(m_dir, fs::perms::owner_read | fs::perms::owner_exec);
    const std::string outcome = RunAsOrdinaryUser(
        {m_dir.string()}, [&] { return std::string(ExportSchemeFile(path, rules, 200, sendList) ? "written" : "refused"); });
    EXPECT_EQ(outcome, "refused");
    EXPECT_EQ(ReadFile(path), "old content");
}

TEST_F(SchemeFileTest, AnImportSaysWhetherItReadTheWholeFile)
{
    const auto readsCompletely = [this](const std::string& content) {
        RuleList fileRules;
        SendList fileItems;
        int fileInterval = 0;
        return !ImportSchemeFile(WriteFile("check.pol", content), fileRules, fileInterval, fileItems).incomplete;
    };
    rules.push_back(Rule("r", "01", 1, "02", 1));
    const std::string whole = SchemeFileText(rules, 200, {Item("i", "d", 0)});
    EXPECT_TRUE(readsCompletely(whole));
    EXPECT_TRUE(readsCompletely("<XML/>"));
    EXPECT_TRUE(readsCompletely("<?xml version=\"1.0\"?>\r\n<XML><Unknown/></XML>\r\n"));
    for (std::size_t cut : {std::size_t{0}, std::size_t{1}, whole.size() / 2, whole.size() - 3}) {
        EXPECT_FALSE(readsCompletely(whole.substr(0, cut))) << "cut at " << cut;
    }
    for (const std::string& content : {std::string("garbage"), std::string("<Root/>"), whole + "<XML/>",
                                       std::string("<XML><a></b></XML>"), std::string("\0\0<XML/>", 8)}) {
        EXPECT_FALSE(readsCompletely(content)) << content;
    }
    RuleList fileRules;
    SendList fileItems;
    int fileInterval = 0;
    EXPECT_FALSE(ImportSchemeFile(Path("missing.pol"), fileRules, fileInterval, fileItems).incomplete)
        << "a missing file has nothing to lose";
    fs::create_directory(Path("folder.pol"));
    EXPECT_TRUE(ImportSchemeFile(Path("folder.pol"), fileRules, fileInterval, fileItems).incomplete);
}

TEST_F(SchemeFileTest, ACutFileBehindACompleteSchemeImportsTheSchemeAndIsKeptAsACopy)
{
    rules.push_back(Rule("readable", "01", 1, "02", 1));
    const std::string readable = SchemeFileText(rules, 300, {});
    const std::string content = readable + SchemeFileText(rules, 200, {Item("cut", "d", 0)}).substr(0, 150);
    const std::string path = WriteFile("Default.pol", content);
    WriteFile("Default.pol.bak", "an older copy");
    rules.clear();

    const SchemeImport imported = ImportSchemeFile(path, rules, interval, sendList);
    EXPECT_TRUE(imported.rootFound);
    EXPECT_TRUE(imported.incomplete);
    ASSERT_EQ(rules.size(), 1u);
    EXPECT_EQ(rules[0]->Name, "readable");
    EXPECT_EQ(interval, 300);

    ASSERT_TRUE(KeepSchemeCopy(path));
    EXPECT_EQ(ReadFile(path + ".bak"), content);
    EXPECT_EQ(ReadFile(path), content);

    fs::remove(path + ".bak");
    fs::create_directory(path + ".bak");
    EXPECT_FALSE(KeepSchemeCopy(path)) << "a folder is no copy to replace";
    EXPECT_TRUE(fs::is_empty(path + ".bak"));
    EXPECT_FALSE(KeepSchemeCopy(Path("missing.pol")));
}

TEST(IncompleteDefaultScheme, TheLineSaysWhereTheCopyIs)
{
    // 无法完整读取，已保存为
    EXPECT_EQ(IncompleteDefaultSchemeLine(true),
              "\r\n--Default.pol \xCE\xDE\xB7\xA8\xCD\xEA\xD5\xFB\xB6\xC1\xC8\xA1\xA3\xAC\xD2\xD1\xB1\xA3\xB4\xE6\xCE\xAA"
              " Default.pol.bak--\r\n");
    EXPECT_NE(IncompleteDefaultSchemeLine(false), IncompleteDefaultSchemeLine(true));
}
