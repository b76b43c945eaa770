// The real serialdebug.exe started with a Chinese --config-dir: the folder arrives intact from
// the wide command line, which --list-ports shows by listing the [Ports] line of the
// Config.ini in it.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <windows.h>

#include "platform/win32/Win32Text.h"
#include "tests/platform/TempDir.h"

namespace {

// The program built beside this test; a path of the build machine is reached through Wine's
// drive Z:, which is its root.
std::wstring ProgramPath()
{
    std::wstring path = WideFromUtf8(SERIALDEBUG_PROGRAM);
    if (path.starts_with(L"/")) {
        path.insert(0, L"Z:");
    }
    for (wchar_t& character : path) {
        character = character == L'/' ? L'\\' : character;
    }
    return path;
}

// What the program writes to its standard output, or "" when it could not be started. The pipe
// holds all of it, and is read once the program has ended: a process Wine starts for the
// program's desktop may inherit the pipe and keep it open after the program.
std::string OutputOf(const std::wstring& commandLine)
{
    SECURITY_ATTRIBUTES inherited{sizeof inherited, nullptr, TRUE};
    HANDLE reader = nullptr;
    HANDLE writer = nullptr;
    if (!::CreatePipe(&reader, &writer, &inherited, 1 << 20)) {
        return {};
    }
    ::SetHandleInformation(reader, HANDLE_FLAG_INHERIT, 0);
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdOutput = writer;
    startup.hStdError = writer;
    PROCESS_INFORMATION process{};
    std::wstring line = commandLine;
    const bool started =
        ::CreateProcessW(nullptr, line.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup, &process);
    ::CloseHandle(writer);
    std::string output;
    if (started) {
        ::WaitForSingleObject(process.hProcess, 30000);
        ::CloseHandle(process.hProcess);
        ::CloseHandle(process.hThread);
        DWORD waiting = 0;
        while (::PeekNamedPipe(reader, nullptr, 0, nullptr, &waiting, nullptr) && waiting > 0) {
            std::string piece(waiting, '\0');
            DWORD count = 0;
            if (!::ReadFile(reader, piece.data(), waiting, &count, nullptr)) {
                break;
            }
            output.append(piece, 0, count);
        }
    }
    ::CloseHandle(reader);
    return output;
}

TEST(ProgramCommandLine, AChineseConfigDirArrivesIntact)
{
    TempDir root;
    const std::string folder = root.File("设置 目录");
    ASSERT_TRUE(std::filesystem::create_directory(PathFromUtf8(folder)));
    WriteFile(folder + "/Config.ini", "[Ports]\r\nCOM7=tcp://127.0.0.1:7\r\n");
    const std::string output =
        OutputOf(L"\"" + ProgramPath() + L"\" --list-ports --config-dir \"" + WideFromUtf8(folder) + L"\"");
    EXPECT_NE(output.find("tcp://127.0.0.1:7"), std::string::npos) << output;
}

}  // namespace
