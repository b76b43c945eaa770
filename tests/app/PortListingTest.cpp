#include <gtest/gtest.h>

#include <filesystem>
#include <sstream>

#include "app/PortListing.h"
#include "tests/platform/TempDir.h"
#include "tests/support/PseudoTerminal.h"
#include "tests/support/ScopedEnvironment.h"

namespace {

std::vector<std::string> Lines(const std::string& text)
{
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) {
        lines.push_back(line);
    }
    return lines;
}

std::string Squeezed(const std::string& line)
{
    std::istringstream in(line);
    std::string result;
    for (std::string word; in >> word;) {
        result += (result.empty() ? "" : " ") + word;
    }
    return result;
}

TEST(PortListing, PrintsEveryListedPortWithItsDeviceAndWhetherItIsThere)
{
    TempDir dir;
    PseudoTerminal pty;
    DeviceDirectories directories{dir.File("by-id"), dir.File("class/tty")};
    std::filesystem::create_directories(directories.byId);
    const std::string byId = directories.byId + "/usb-Example_UART_A1B2-if00-port0";
    std::filesystem::create_symlink(pty.SlavePath(), byId);
    const std::string config = dir.File("Config.ini");
    WriteFile(config, "[Ports]\r\nCOM3=" + pty.SlavePath() + "\r\nCOM4=" + dir.File("unplugged") + "\r\nCOM5=" + byId +
                      "\r\nCOM6=rfc2217://127.0.0.1:1\r\n");

    std::ostringstream out;
    PrintPortList(out, config, directories);
    const std::vector<std::string> lines = Lines(out.str());
    ASSERT_EQ(lines.size(), 51u);
    EXPECT_EQ(Squeezed(lines[0]), "PORT DEVICE PRESENT BY-ID PRODUCT LINK");
    EXPECT_EQ(Squeezed(lines[1]), "COM1 /dev/ttyUSB0 no - - -");
    EXPECT_EQ(Squeezed(lines[3]), "COM3 " + pty.SlavePath() + " yes " + byId + " - -");
    EXPECT_EQ(Squeezed(lines[4]), "COM4 " + dir.File("unplugged") + " no - - -");
    EXPECT_EQ(Squeezed(lines[5]), "COM5 " + byId + " yes " + byId + " - -");
    EXPECT_EQ(Squeezed(lines[6]), "COM6 rfc2217://127.0.0.1:1 network - - -");
    EXPECT_EQ(Squeezed(lines[11]), "COM11 /dev/ttyACM0 no - - -");
    EXPECT_EQ(Squeezed(lines[50]).substr(0, 18), "COM50 /dev/ttyS29 ");
    // The columns line up.
    EXPECT_EQ(lines[0].find("DEVICE"), lines[3].find(pty.SlavePath()));
}

TEST(PortListing, AMissingSettingsFileListsTheDefaultTable)
{
    std::ostringstream out;
    PrintPortList(out, "/nonexistent/Config.ini", {"/nonexistent/by-id", "/nonexistent/tty"});
    const std::vector<std::string> lines = Lines(out.str());
    ASSERT_EQ(lines.size(), 51u);
    EXPECT_EQ(Squeezed(lines[21]), "COM21 /dev/ttyS0 " + std::string(std::filesystem::exists("/dev/ttyS0") ? "yes" : "no") + " - - -");
}

struct ListedPort {
    std::string entry;     // the [Ports] value of COM7
    std::string expected;  // COM7's line, blanks squeezed; LINK stands for the link folder
};

// Virtual and monitored ports are listed with their links; an entry that is none of the kinds
// of port is marked as such.
TEST(PortListing, VirtualAndMonitoredPortsShowTheirLinks)
{
    TempDir dir;
    const std::string runtime = dir.File("run");
    const ScopedEnvironment runtimeFolder("XDG_RUNTIME_DIR", runtime);
    const std::string link = runtime + "/serialdebug/";
    const std::vector<ListedPort> cases = {
        {"virtual:bench", "COM7 virtual:bench virtual - - " + link + "bench"},
        {"monitor:/dev/ttyUSB3,tap.1", "COM7 monitor:/dev/ttyUSB3,tap.1 virtual - - " + link + "tap.1"},
        {"monitor:tcp://10.0.0.2:4001,m", "COM7 monitor:tcp://10.0.0.2:4001,m virtual - - " + link + "m"},
        {"virtual:bad/name", "COM7 virtual:bad/name invalid - - -"},
        {"monitor:x", "COM7 monitor:x invalid - - -"},
        {"tcp://host:99999", "COM7 tcp://host:99999 invalid - - -"},
    };
    for (const ListedPort& port : cases) {
        WriteFile(dir.File("Config.ini"), "[Ports]\r\nCOM7=" + port.entry + "\r\n");
        std::ostringstream out;
        PrintPortList(out, dir.File("Config.ini"), {dir.File("by-id"), dir.File("class/tty")});
        const std::vector<std::string> lines = Lines(out.str());
        ASSERT_EQ(lines.size(), 51u);
        EXPECT_EQ(Squeezed(lines[7]), port.expected);
    }
}

}  // namespace

// Columns are padded by what a terminal shows: a CJK character takes two columns.
TEST(PortListing, ColumnsLineUpByDisplayWidthWithChineseAndVeryLongPaths)
{
    TempDir dir;
    const std::string chinese = "/dev/\xE4\xB8\xB2\xE5\x8F\xA3";  // "/dev/串口": 5 + 2 x 2 columns
    const std::string longPath = "/dev/" + std::string(195, 'x');
    WriteFile(dir.File("Config.ini"), "[Ports]\r\nCOM2=" + chinese + "\r\nCOM3=" + longPath + "\r\n");
    std::ostringstream out;
    PrintPortList(out, dir.File("Config.ini"), {dir.File("by-id"), dir.File("class/tty")});
    const std::vector<std::string> lines = Lines(out.str());
    ASSERT_GE(lines.size(), 4u);
    const std::size_t presentColumn = lines[0].find("PRESENT");
    EXPECT_EQ(lines[1].find(" no ") + 1, presentColumn);
    EXPECT_EQ(lines[2].find(" no ") + 1 - (chinese.size() - 9), presentColumn) << "bytes beyond the columns";
    EXPECT_EQ(lines[3].find(" no ") + 1, presentColumn);
    EXPECT_EQ(presentColumn, std::string("COM10  ").size() + longPath.size() + 2);
}
