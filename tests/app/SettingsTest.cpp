#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "app/DisplaySettings.h"
#include "app/IntegerText.h"
#include "app/Settings.h"
#include "platform/PortNames.h"
#include "platform/ProfileFile.h"
#include "tests/support/LargeConfig.h"

namespace {

class SettingsFile : public ::testing::Test {
protected:
    SettingsFile()
        : m_path((std::filesystem::temp_directory_path() /
                  ("settings-test-" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) + "-" +
                   ::testing::UnitTest::GetInstance()->current_test_info()->name() + ".ini"))
                     .string())
    {
        std::filesystem::remove(m_path);
    }
    ~SettingsFile() override { std::filesystem::remove(m_path); }

    void Write(const std::string& content) const { std::ofstream(m_path, std::ios::binary) << content; }
    std::string Read() const
    {
        std::ifstream in(m_path, std::ios::binary);
        std::stringstream content;
        content << in.rdbuf();
        return content.str();
    }

    std::string m_path;
};

}  // namespace

TEST_F(SettingsFile, MissingEmptyOrBinaryFilesGiveTheDefaults)
{
    for (const std::string& content : {std::string(), std::string("\0\xFF\x01[Sett", 8), std::string("[Setting]\r\nPor")}) {
        Write(content);
        const WindowSettings settings = LoadSettings(m_path);
        EXPECT_EQ(settings.port, 0);
        EXPECT_EQ(settings.bordRate, "9600,n,8,1");
        EXPECT_EQ(settings.interval, 0);
        EXPECT_EQ(settings.sendData, "");
    }
    std::filesystem::remove(m_path);
    EXPECT_EQ(LoadSettings(m_path).bordRate, "9600,n,8,1");
}

TEST_F(SettingsFile, ValuesAreReadWithTheirKeySpellingsAndLimits)
{
    Write("[Setting]\r\nPort=4\r\nBordRate=" + std::string(150, '1') + "\r\nAutoRecive=1\r\nInterVal= -25ms\r\n"
          "SendData=" + std::string(600, 'y') + "\r\n");
    const WindowSettings settings = LoadSettings(m_path);
    EXPECT_EQ(settings.port, 4);
    EXPECT_EQ(settings.bordRate, std::string(99, '1'));
    EXPECT_EQ(settings.autoRecive, 1);
    EXPECT_EQ(settings.interval, -25);
    EXPECT_EQ(settings.sendData, std::string(499, 'y'));
}

TEST_F(SettingsFile, SavedValuesReadBackAndOnlyTheFirstLineOfATextIsKept)
{
    WindowSettings settings;
    settings.port = 7;
    settings.hexSend = 1;
    settings.sendData = "line one\r\n[Ports]\r\nCOM1=/dev/sda";
    SaveSettings(m_path, settings);

    const WindowSettings loaded = LoadSettings(m_path);
    EXPECT_EQ(loaded.port, 7);
    EXPECT_EQ(loaded.hexSend, 1);
    EXPECT_EQ(loaded.sendData, "line one");
    EXPECT_EQ(Read().find("[Ports]"), std::string::npos);
}

TEST_F(SettingsFile, AutoReconnectIsOffByDefaultAndWrittenAfterTheEightKeys)
{
    Write("[Setting]\r\nPort=2\r\n");
    EXPECT_EQ(LoadSettings(m_path).autoReconnect, 0);
    WindowSettings settings;
    settings.autoReconnect = 1;
    SaveSettings(m_path, settings);
    EXPECT_EQ(LoadSettings(m_path).autoReconnect, 1);
    const std::string text = Read();
    EXPECT_NE(text.find("SendData=\r\nAutoReconnect=1\r\n"), std::string::npos) << text;
}

TEST(IntegerText, AcceptsOnlyWholeNumbersWithinRange)
{
    EXPECT_EQ(ParseInteger("0"), 0);
    EXPECT_EQ(ParseInteger("  -250 "), -250);
    EXPECT_EQ(ParseInteger("+17"), 17);
    EXPECT_EQ(ParseInteger("2147483647"), 2147483647);
    for (const char* bad : {"", " ", "12a", "1 2", "0x10", "2147483648", "+-1", "--1", "1.5"}) {
        EXPECT_EQ(ParseInteger(bad), std::nullopt) << bad;
    }
}

TEST_F(SettingsFile, SavingSetsTheKeysAsTheProfileWriterSetsThemOneByOne)
{
    const std::string before = "; mine\n[Ports]\nCOM3=/dev/ttyUSB2\n[setting]\nport = 4\n# note\nHEXSEND=1\n\n[Tail]\nx=1";
    const std::string reference = m_path + ".reference";
    WindowSettings settings;
    settings.port = 9;
    settings.bordRate = "115200,e,7,2";
    settings.hexSend = 1;
    settings.sendData = "\xB0\xA1 hello";
    Write(before);
    std::ofstream(reference, std::ios::binary) << before;
    WritePrivateProfileString("Setting", "Port", "9", reference);
    WritePrivateProfileString("Setting", "BordRate", "115200,e,7,2", reference);
    for (const char* key : {"AutoClear", "AutoRecive", "InterVal", "HexDisplay"}) {
        WritePrivateProfileString("Setting", key, "0", reference);
    }
    WritePrivateProfileString("Setting", "HexSend", "1", reference);
    WritePrivateProfileString("Setting", "SendData", "\xB0\xA1 hello", reference);
    WritePrivateProfileString("Setting", "AutoReconnect", "0", reference);
    WritePrivateProfileString("Setting", "TimeStamp", "0", reference);
    WritePrivateProfileString("Setting", "FrameGap", "20", reference);
    WritePrivateProfileString("Setting", "ShowSent", "0", reference);
    WritePrivateProfileString("Setting", "TextCodec", "GBK", reference);
    WritePrivateProfileString("Setting", "CaptureFormat", "raw", reference);
    WritePrivateProfileString("Setting", "InstantReply", "0", reference);
    WritePrivateProfileString("Setting", "SendEscapes", "0", reference);
    WritePrivateProfileString("Setting", "LineEnding", "none", reference);
    WritePrivateProfileString("Setting", "FilePacketSize", "0", reference);
    WritePrivateProfileString("Setting", "FilePacketDelay", "0", reference);
    WritePrivateProfileString("Setting", "ModbusDecode", "0", reference);
    WritePrivateProfileString("Setting", "ReplyStatistics", "0", reference);

    SaveSettings(m_path, settings);

    std::stringstream expected;
    {
        // Closed before the removal: Windows does not remove a file that is open.
        std::ifstream in(reference, std::ios::binary);
        expected << in.rdbuf();
    }
    std::filesystem::remove(reference);
    EXPECT_EQ(Read(), expected.str());
    EXPECT_EQ(Read(), "; mine\n[Ports]\nCOM3=/dev/ttyUSB2\n[setting]\nPort=9\n# note\nHexSend=1\nBordRate=115200,e,7,2\n"
                      "AutoClear=0\nAutoRecive=0\nInterVal=0\nHexDisplay=0\nSendData=\xB0\xA1 hello\nAutoReconnect=0\n"
                      "TimeStamp=0\nFrameGap=20\nShowSent=0\nTextCodec=GBK\nCaptureFormat=raw\nInstantReply=0\n"
                      "SendEscapes=0\nLineEnding=none\nFilePacketSize=0\nFilePacketDelay=0\nModbusDecode=0\nReplyStatistics=0\n\n[Tail]\nx=1");
}

TEST_F(SettingsFile, AFileThatCannotBeReadIsNotWritten)
{
    std::filesystem::create_directory(m_path);
    SaveSettings(m_path, WindowSettings());
    EXPECT_TRUE(std::filesystem::is_empty(m_path));
    EXPECT_EQ(LoadSettings(m_path).bordRate, "9600,n,8,1");
    std::filesystem::remove(m_path);
}

TEST_F(SettingsFile, AFiftyMegabyteFileIsReadAndSavedWithEveryOtherByteKept)
{
    const std::string before = LargeConfig(50, "/dev/ttyUSB7", 1000);
    Write(before);
    WindowSettings settings = LoadSettings(m_path);
    EXPECT_EQ(settings.port, 2);
    EXPECT_EQ(settings.bordRate, "115200,n,8,1");
    EXPECT_EQ(settings.hexSend, 1);
    EXPECT_EQ(settings.sendData, "hello");
    EXPECT_EQ(settings.interval, 0);
    EXPECT_EQ(ResolvePortDevices(3, *ReadProfileFile(m_path)).back(), "/dev/ttyUSB7");

    settings.port = 5;
    settings.sendData = "bye";
    SaveSettings(m_path, settings);

    std::string expected = before;
    expected.replace(expected.find("Port=2\r\n"), 8, "Port=5\r\n");
    const std::string last = "SendData=hello\r\n";
    expected.replace(expected.find(last), last.size(),
                     "SendData=bye\r\nAutoClear=0\r\nAutoRecive=0\r\nInterVal=0\r\nHexDisplay=0\r\nAutoReconnect=0\r\n"
                     "TimeStamp=0\r\nFrameGap=20\r\nShowSent=0\r\nTextCodec=GBK\r\nCaptureFormat=raw\r\nInstantReply=0\r\n"
                     "SendEscapes=0\r\nLineEnding=none\r\nFilePacketSize=0\r\nFilePacketDelay=0\r\nModbusDecode=0\r\nReplyStatistics=0\r\n");
    EXPECT_TRUE(Read() == expected) << "the saved file differs from the old one beyond its keys";
}

TEST_F(SettingsFile, ProtocolViewKeysFollowTheEightAndReadBack)
{
    WindowSettings settings;
    DisplayOptions options;
    options.timeStamps = true;
    options.frameGapMs = 60000;
    options.codec = TextCodec::Utf8;
    options.captureFormat = CaptureFormat::Log;
    StoreDisplayOptions(options, settings);
    SaveSettings(m_path, settings);
    EXPECT_NE(Read().find("SendData=\r\nAutoReconnect=0\r\nTimeStamp=1\r\nFrameGap=60000\r\nShowSent=0\r\nTextCodec=UTF-8\r\n"
                          "CaptureFormat=log\r\n"),
              std::string::npos)
        << Read();
    const DisplayOptions loaded = DisplayOptionsFrom(LoadSettings(m_path));
    EXPECT_TRUE(loaded.timeStamps);
    EXPECT_EQ(loaded.frameGapMs, 60000);
    EXPECT_FALSE(loaded.showSent);
    EXPECT_EQ(loaded.codec, TextCodec::Utf8);
    EXPECT_EQ(loaded.captureFormat, CaptureFormat::Log);
}

TEST_F(SettingsFile, ProtocolViewValuesOutOfRangeGiveTheDefaults)
{
    for (const char* gap : {"0", "-5", "60001", "abc"}) {
        Write(std::string("[Setting]\r\nFrameGap=") + gap + "\r\nTextCodec=utf8\r\nCaptureFormat=RAW\r\n");
        const DisplayOptions options = DisplayOptionsFrom(LoadSettings(m_path));
        EXPECT_EQ(options.frameGapMs, 20) << gap;
        EXPECT_EQ(options.codec, TextCodec::Gbk);
        EXPECT_EQ(options.captureFormat, CaptureFormat::Raw);
        EXPECT_FALSE(options.timeStamps);
    }
}

TEST(WindowSettingsSections, TheWindowCountIsOneUnlessItIsANumberFromOneToTheMostWindows)
{
    const std::pair<const char*, int> cases[] = {{"", 1},     {"Windows=3\r\n", 3}, {"Windows=16\r\n", 16},
                                                 {"Windows=0\r\n", 1}, {"Windows=-2\r\n", 1}, {"Windows=10000\r\n", 1},
                                                 {"Windows=two\r\n", 1}, {"Windows=\r\n", 1}};
    for (const auto& [line, count] : cases) {
        EXPECT_EQ(LoadWindowCount(ProfileDocument(std::string("[Setting]\r\nPort=1\r\n") + line)), count) << line;
    }
}

TEST(WindowSettingsSections, AMissingOrHalfWrittenWindowSectionGivesTheDefaultsOfWhatItLacks)
{
    const ProfileDocument profile("[Setting]\r\nPort=4\r\n[Window2]\r\nPort=7\r\nBordRate=11");
    EXPECT_EQ(LoadSettings(profile, 1).port, 4);
    EXPECT_EQ(LoadSettings(profile, 2).port, 7);
    EXPECT_EQ(LoadSettings(profile, 2).bordRate, "11");
    EXPECT_EQ(LoadSettings(profile, 2).hexDisplay, 0);
    EXPECT_EQ(LoadSettings(profile, 3).port, WindowSettings().port);
}

TEST_F(SettingsFile, EveryWindowIsWrittenInItsSectionAndTheCountOnlyWhereItIsNeeded)
{
    std::vector<WindowSettings> windows(3);
    for (int i = 0; i < 3; ++i) {
        windows[static_cast<std::size_t>(i)].port = 10 + i;
    }
    SaveSettings(m_path, windows);
    const std::string three = Read();
    EXPECT_NE(three.find("ReplyStatistics=0\r\nWindows=3\r\n\r\n[Window2]\r\nPort=11\r\n"), std::string::npos) << three;
    EXPECT_NE(three.find("[Window3]\r\nPort=12\r\n"), std::string::npos);

    SaveSettings(m_path, windows[0]);
    EXPECT_NE(Read().find("Windows=1\r\n"), std::string::npos) << "a count written before is brought down";
    std::filesystem::remove(m_path);
    SaveSettings(m_path, windows[0]);
    EXPECT_EQ(Read().find("Windows"), std::string::npos) << "one window's file is as it always was";
}
