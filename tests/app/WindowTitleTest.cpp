// The title the desktop shows for the main window (_NET_WM_NAME), read from the X server while
// the real program runs under Xvfb: exactly the window's own title, nothing appended.
#include <gtest/gtest.h>

#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>

#include <cstdio>
#include <string>
#include <vector>

#include "tests/platform/TempDir.h"
#include "tests/support/PseudoTerminal.h"

extern char** environ;

namespace {

// What `command` prints, its last line break taken off.
std::string Output(const std::string& command)
{
    std::string output;
    if (FILE* pipe = ::popen(command.c_str(), "r")) {
        char buffer[512];
        for (std::size_t count; (count = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;) {
            output.append(buffer, count);
        }
        ::pclose(pipe);
    }
    while (!output.empty() && output.back() == '\n') {
        output.pop_back();
    }
    return output;
}

// Runs the program with its COM3 on a pseudo-terminal and `arguments` after the settings
// folder, and gives the name of its first visible window.
std::string DesktopTitle(const std::vector<std::string>& arguments)
{
    TempDir folder;
    PseudoTerminal device;
    WriteFile(folder.File("Config.ini"), "[Setting]\r\nPort=2\r\n[Ports]\r\nCOM3=" + device.SlavePath() + "\r\n");
    std::vector<std::string> words{SERIALDEBUG_PROGRAM, "--config-dir", folder.Path()};
    words.insert(words.end(), arguments.begin(), arguments.end());
    std::vector<char*> argv;
    for (std::string& word : words) {
        argv.push_back(word.data());
    }
    argv.push_back(nullptr);
    pid_t program = 0;
    if (::posix_spawn(&program, argv[0], nullptr, nullptr, argv.data(), environ) != 0) {
        return "the program did not start";
    }
    const std::string window =
        Output("timeout 20 xdotool search --sync --onlyvisible --pid " + std::to_string(program) + " | head -n 1");
    const std::string name = window.empty() ? "no window" : Output("xprop -id " + window + " _NET_WM_NAME");
    ::kill(program, SIGTERM);
    ::waitpid(program, nullptr, 0);
    return name;
}

}  // namespace

TEST(WindowTitleOnTheDesktop, IsExactlyTheWindowsOwnWhetherItRecordsOrNot)
{
    TempDir files;
    EXPECT_EQ(DesktopTitle({}), "_NET_WM_NAME(UTF8_STRING) = \"串口调试\"");
    EXPECT_EQ(DesktopTitle({"--capture", files.File("capture.log")}),
              "_NET_WM_NAME(UTF8_STRING) = \"串口调试 - 记录 0.0 MB\"");
}
