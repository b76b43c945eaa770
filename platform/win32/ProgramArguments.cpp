#include "platform/ProgramArguments.h"

#include <windows.h>
#include <shellapi.h>

#include "platform/win32/Win32Text.h"

std::vector<std::string> ProgramArguments(int, char*[])
{
    int count = 0;
    wchar_t** arguments = ::CommandLineToArgvW(::GetCommandLineW(), &count);
    std::vector<std::string> utf8;
    for (int index = 1; arguments != nullptr && index < count; ++index) {
        utf8.push_back(Utf8FromWide(arguments[index]));
    }
    ::LocalFree(arguments);
    return utf8;
}
