#include <gtest/gtest.h>

#include "app/CommandLine.h"

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
    EXPECT_EQ(Parse({"--capture", "记录.log"}).Options().capture, "记录.log");
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
        {{"--capture"}, "--capture needs a value (FILE)"},
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
    for (const char* option : {"--help", "--version", "--config-dir DIR", "--port COMn", "--capture FILE", "--list-ports"}) {
        EXPECT_NE(help.find(option), std::string::npos) << option;
    }
    EXPECT_EQ(CommandLine::VersionText().rfind("serialdebug ", 0), 0u);
    EXPECT_TRUE(Parse({"--version"}).Options().version);
}

}  // namespace
