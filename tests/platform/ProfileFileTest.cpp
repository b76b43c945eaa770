#include <gtest/gtest.h>

#include <filesystem>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/ProfileFile.h"
#include "tests/platform/TempDir.h"

namespace {

// `text` after one profile write of `key`.
std::string WithValue(std::string text, std::string_view section, std::string_view key, std::string_view value)
{
    ProfileDocument document(std::move(text));
    document.Set(section, key, value);
    return document.Text();
}

class ProfileFile : public ::testing::Test {
protected:
    TempDir dir;
    std::string path = dir.File("Config.ini");

    int Int(const std::string& key, int defaultValue = -99) { return GetPrivateProfileInt("Setting", key, defaultValue, path); }
    std::string Text(const std::string& key, std::size_t buffer = 100)
    {
        return GetPrivateProfileString("Setting", key, "dflt", buffer, path);
    }
};

TEST_F(ProfileFile, MissingEmptyTruncatedAndBinaryFilesGiveDefaults)
{
    EXPECT_EQ(Int("Port", 7), 7);
    EXPECT_EQ(Text("BordRate"), "dflt");
    for (const std::string& content : {std::string(), std::string("[Sett"), std::string("[Setting]\r\nPor"),
                                      std::string("\0\xFF[Setting\0]\x01=\x02\n\xB4", 14), std::string(5000, '\xFE')}) {
        WriteFile(path, content);
        EXPECT_EQ(Int("Port", 7), 7);
        EXPECT_EQ(Text("BordRate"), "dflt");
    }
    WriteFile(path, "[Setting]\r\nPort=3");  // last line without its line ending
    EXPECT_EQ(Int("Port"), 3);
}

TEST_F(ProfileFile, IntegersFollowTheProfileRules)
{
    WriteFile(path, "[Setting]\nA=  42\nB=-7\nC=+5\nD=12abc\nE=abc\nF=\nG=4294967295\nH=\t9 \nI=-\nJ=\"15\"\n");
    EXPECT_EQ(Int("A"), 42);
    EXPECT_EQ(Int("B"), -7);
    EXPECT_EQ(Int("C"), 5);
    EXPECT_EQ(Int("D"), 12);
    EXPECT_EQ(Int("E"), 0);
    EXPECT_EQ(Int("F"), -99);  // an empty value is no value
    EXPECT_EQ(Int("G"), -1);   // 32-bit wrap-around
    EXPECT_EQ(Int("H"), 9);
    EXPECT_EQ(Int("I"), 0);
    EXPECT_EQ(Int("J"), 15);
}

TEST_F(ProfileFile, StringsAreTrimmedUnquotedAndCutToTheBuffer)
{
    const std::string rate(150, 'r');
    const std::string data(600, 'd');
    WriteFile(path, "[Setting]\r\nBordRate=" + rate + "\r\nSendData=" + data + "\r\nQ = ' a b ' \r\nZ=ab\0cd\r\n");
    EXPECT_EQ(Text("BordRate"), rate.substr(0, 99));
    EXPECT_EQ(Text("SendData", 500), data.substr(0, 499));
    EXPECT_EQ(Text("Q"), " a b ");
    EXPECT_EQ(Text("Z"), "ab");
    EXPECT_EQ(Text("Q", 1), "");
    EXPECT_EQ(Text("Q", 0), "");
    EXPECT_EQ(GetPrivateProfileString("Setting", "Nope", std::string(150, 'x'), 100, path).size(), 99u);
}

TEST_F(ProfileFile, LookupIgnoresAsciiCaseButNotDoubleByteCharacters)
{
    WriteFile(path, "; comment=1\n[other]\nPort=1\n[ sEtTiNg ]\nport=2\nPort=3\n[\xB4\x41]\nk=4\n");
    EXPECT_EQ(Int("PORT"), 2);  // the first key of the section wins
    EXPECT_EQ(GetPrivateProfileInt("\xB4\x41", "K", 0, path), 4);
    EXPECT_EQ(GetPrivateProfileInt("\xB4\x61", "k", 0, path), 0);  // 0x41 here is a trail byte
}

TEST_F(ProfileFile, WritingCreatesFileAndSection)
{
    ASSERT_TRUE(WritePrivateProfileString("Setting", "Port", "0", path));
    ASSERT_TRUE(WritePrivateProfileString("Setting", "BordRate", "9600,n,8,1", path));
    EXPECT_EQ(ReadFile(path), "[Setting]\r\nPort=0\r\nBordRate=9600,n,8,1\r\n");
    EXPECT_FALSE(WritePrivateProfileString("Setting", "Port", "0", dir.File("missing/Config.ini")));
    EXPECT_FALSE(std::filesystem::exists(dir.File("missing")));
}

TEST_F(ProfileFile, WritingKeepsEveryOtherLine)
{
    const std::string before =
        "; my ports\n[Ports]\nCOM3=/dev/ttyUSB2\n\n[Setting]\nPort = 4  \n# note\nHexSend=1\n\n[Tail]\nx\n";
    WriteFile(path, before);
    ASSERT_TRUE(WritePrivateProfileString("setting", "port", "9", path));
    ASSERT_TRUE(WritePrivateProfileString("Setting", "SendData", "a\r\nb", path));
    ASSERT_TRUE(WritePrivateProfileString("New", "K", "v", path));
    EXPECT_EQ(ReadFile(path),
              "; my ports\n[Ports]\nCOM3=/dev/ttyUSB2\n\n[Setting]\nport=9\n# note\nHexSend=1\nSendData=a\r\nb\n\n[Tail]\nx\n"
              "\n[New]\nK=v\n");
    EXPECT_EQ(Int("Port"), 9);
    EXPECT_EQ(Text("SendData", 500), "a");  // a written line break ends the value read back
}

TEST_F(ProfileFile, WritingReplacesTheFileAtomically)
{
    WriteFile(path, "[Setting]\nPort=1\n");
    ::chmod(path.c_str(), 0640);
    const std::string link = dir.File("link.ini");
    std::filesystem::create_symlink(path, link);
    struct stat before {};
    ::stat(path.c_str(), &before);

    ASSERT_TRUE(WritePrivateProfileString("Setting", "Port", "2", link));

    struct stat after {};
    ::stat(path.c_str(), &after);
    EXPECT_NE(before.st_ino, after.st_ino);  // a new file took the old one's name
    EXPECT_EQ(after.st_mode & 0777, 0640u);
    EXPECT_TRUE(std::filesystem::is_symlink(link));
    EXPECT_EQ(ReadFile(path), "[Setting]\nPort=2\n");
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.Path()), {}), 2);  // no temporary left
}

TEST(ProfileDocument, NewKeysGoToTheEndOfTheirSectionWithTheFileLineEnding)
{
    EXPECT_EQ(WithValue("[A]\r\nx=1\r\n\r\n[B]\r\n", "a", "y", "2"), "[A]\r\nx=1\r\ny=2\r\n\r\n[B]\r\n");
    EXPECT_EQ(WithValue("[A]\nx=1", "A", "y", "2"), "[A]\nx=1\ny=2\n");
    EXPECT_EQ(WithValue("[A]\nx=1", "A", "x", "3"), "[A]\nx=3\n");
    EXPECT_EQ(WithValue("top", "A", "x", "1"), "top\r\n\r\n[A]\r\nx=1\r\n");
    EXPECT_EQ(ProfileDocument("[A]\nx=1\n[A]\ny=2\n").Find("A", "y"), "2");
}

TEST(ProfileDocument, ALoneCarriageReturnAtTheEndCompletesTheLineEnding)
{
    EXPECT_EQ(WithValue("[S]\r\nPort=ing]\r", "S", "Port", "3"), "[S]\r\nPort=3\r\n");
    EXPECT_EQ(WithValue("[S]\r\nx=1\r", "S", "y", "2"), "[S]\r\nx=1\r\ny=2\r\n");
    EXPECT_EQ(WithValue("top\r", "A", "x", "1"), "top\r\n\r\n[A]\r\nx=1\r\n");
}

}  // namespace

namespace {

TEST(ProfileDocument, KeysSetTogetherGiveTheTextOfSettingThemOneByOne)
{
    const std::vector<ProfileEntry> entries = {
        {"Port", 3},          {"New", "a"},         {"port", "4"},     {"Other", "x=y"},
        {"Newer", " 'b' "},   {"NEW", "c"},         {"Kept", "k"},
    };
    for (const std::string& text :
         {std::string(), std::string("top"), std::string("top\r"), std::string("[S]"), std::string("[S]\r"),
          std::string("[s]\nport=1\n\n[T]\nx=1\n[S]\nKept=0\n"), std::string("[T]\r\nx\r\n\r\n"),
          std::string("[S]\r\n[S]\r\nPort=1\r\n; c\r\n\r\n"), std::string("[S]\nPort=1")}) {
        ProfileDocument together(text);
        together.Set("S", entries);
        std::string oneByOne = text;
        for (const ProfileEntry& entry : entries) {
            oneByOne = WithValue(oneByOne, "S", entry.key, entry.value);
        }
        EXPECT_EQ(together.Text(), oneByOne) << text;
    }
    ProfileDocument document("[S]\r\nPort=1\r\n");
    document.Set("S", {{"Port", 2}, {"A", "line\r\nB=injected"}, {"B", "3"}});
    EXPECT_EQ(document.Text(), "[S]\r\nPort=2\r\nA=line\r\nB=3\r\n") << "a value with a line break is set on its own";
}

TEST(ProfileDocument, ForEachKeyVisitsTheKeysOfEverySectionOfThatName)
{
    const ProfileDocument document("[A]\nx=1\ny = ' 2 '\n[B]\nx=3\n[a]\nx=4\nnot a key\n");
    std::string visited;
    document.ForEachKey("A", [&](std::string_view key, std::string_view value) {
        visited += std::string(key) + ":" + std::string(value) + ";";
    });
    EXPECT_EQ(visited, "x:1;y: 2 ;x:4;");
    EXPECT_EQ(document.Find("A", "X"), "1");
    EXPECT_EQ(document.String("A", "y", "", 3), " 2");
    EXPECT_EQ(document.Int("B", "x", 0), 3);
    EXPECT_EQ(document.Find("C", "x"), std::nullopt);
}

}  // namespace

namespace {

struct RemoveCase {
    std::string text;
    std::string expected;
};

TEST(ProfileDocument, RemovingAKeyTakesEveryOneOfItsLinesAndNothingElse)
{
    const std::vector<RemoveCase> cases = {
        {"[Ports]\r\nCOM1=a\r\nCOM2=b\r\n", "[Ports]\r\nCOM2=b\r\n"},
        {"[Ports]\nCOM2=b\nCOM1=a", "[Ports]\nCOM2=b\n"},
        {"; COM1=a\n[ports]\n com1 = a\n[Other]\nCOM1=x\n[Ports]\nCOM1=c\n\n", "; COM1=a\n[ports]\n[Other]\nCOM1=x\n[Ports]\n\n"},
        {"[Ports]\r\nCOM10=a\r\nCOM1\r\n", "[Ports]\r\nCOM10=a\r\nCOM1\r\n"},
        {"COM1=top\n[Ports]\n", "COM1=top\n[Ports]\n"},
        {"", ""},
    };
    for (const RemoveCase& removal : cases) {
        ProfileDocument document(removal.text);
        document.Remove("Ports", "COM1");
        EXPECT_EQ(document.Text(), removal.expected) << removal.text;
    }
}

}  // namespace
