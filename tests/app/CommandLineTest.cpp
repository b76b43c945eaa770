#include <gtest/gtest.h>

#include <sstream>

#include "app/CommandLine.h"
#include "app/PortListing.h"
#include "tests/platform/TempDir.h"

namespace {

CommandLine Parse(std::vector<std::string> arguments)
{
    return CommandLine(arguments);
}

TEST(CommandLineTest, NoArgumentsStartTheWindowWithTheSavedChoices)
{
    const CommandLine line = Parse({});
    ASSERT_TRUE(line.IsValid());
    EXPECT_FALSE(line.Options().help || line.Options().version || line.Options().listPorts);
    EXPECT_FALSE(line.Options().configDir);
    EXPECT_FALSE(line.Options().port);
}

TEST(CommandLineTest, OptionsTakeTheirValueAsTheNextArgumentOrAfterAnEqualsSign)
{
    const CommandLine line = Parse({"--config-dir", "/tmp/设置", "--port=com7"});
    ASSERT_TRUE(line.IsValid()) << line.Error();
    EXPECT_EQ(line.Options().configDir, "/tmp/设置");
    EXPECT_EQ(line.Options().port, 7);
    EXPECT_EQ(Parse({"--port", "COM50", "--list-ports"}).Options().port, 50);
    EXPECT_TRUE(Parse({"--port", "COM50", "--list-ports"}).Options().listPorts);
}

TEST(CommandLineTest, RefusedArgumentsSayWhich)
{
    const std::pair<std::vector<std::string>, std::string> cases[] = {
        {{"--bogus"}, "unknown option '--bogus'"},
        {{"-x"}, "unknown option '-x'"},
        {{"file.pol"}, "unexpected argument 'file.pol'"},
        {{"--port"}, "--port needs a value (COMn)"},
        {{"--port", "--help"}, "--port needs a value (COMn)"},
        {{"--config-dir="}, "--config-dir needs a value (DIR)"},
        {{"--port", "COM0"}, "--port: 'COM0' is not a port of the list (COM1 to COM50)"},
        {{"--port", "COM51"}, "--port: 'COM51' is not a port of the list (COM1 to COM50)"},
        {{"--port", "COM999"}, "--port: 'COM999' is not a port of the list (COM1 to COM50)"},
        {{"--port", "COM99999999999"}, "--port: 'COM99999999999' is not a port of the list (COM1 to COM50)"},
        {{"--port", "3"}, "--port: '3' is not a port of the list (COM1 to COM50)"},
        {{"--port", "COM-1"}, "--port: 'COM-1' is not a port of the list (COM1 to COM50)"},
        {{"--help=yes"}, "--help takes no value"},
    };
    for (const auto& [arguments, error] : cases) {
        const CommandLine line = Parse(arguments);
        EXPECT_FALSE(line.IsValid()) << arguments[0];
        EXPECT_EQ(line.Error(), error);
    }
}

TEST(CommandLineTest, HelpNamesEveryOptionAndVersionTheProjectVersion)
{
    const std::string help = CommandLine::HelpText();
    for (const char* option : {"--help", "--version", "--config-dir DIR", "--port COMn", "--list-ports"}) {
        EXPECT_NE(help.find(option), std::string::npos) << option;
    }
    EXPECT_EQ(CommandLine::VersionText().rfind("serialdebug ", 0), 0u);
    EXPECT_TRUE(Parse({"--version"}).Options().version);
}

TEST(PortListingTest, ListsEveryPortWithItsDeviceAndWhetherItIsThere)
{
    TempDir dir;
    WriteFile(dir.File("device"), "");
    WriteFile(dir.File("Config.ini"), "[Ports]\r\nCOM3=" + dir.File("device") + "\r\nCOM4=" + dir.File("gone") + "\r\n");
    std::ostringstream out;
    PrintPortList(out, dir.File("Config.ini"));
    std::istringstream lines(out.str());
    std::vector<std::vector<std::string>> rows;
    for (std::string line; std::getline(lines, line);) {
        std::istringstream fields(line);
        std::vector<std::string> row;
        for (std::string field; fields >> field;) {
            row.push_back(field);
        }
        rows.push_back(row);
    }
    ASSERT_EQ(rows.size(), 50u);
    EXPECT_EQ(rows[2], (std::vector<std::string>{"COM3", dir.File("device"), "present"}));
    EXPECT_EQ(rows[3], (std::vector<std::string>{"COM4", dir.File("gone"), "absent"}));
    EXPECT_EQ(rows[0][1], "/dev/ttyUSB0");
    EXPECT_EQ(rows[10][1], "/dev/ttyACM0");
    EXPECT_EQ(rows[49][0], "COM50");
    EXPECT_EQ(rows[49][1], "/dev/ttyS29");
}

}  // namespace
