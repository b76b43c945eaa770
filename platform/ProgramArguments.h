#pragma once

#include <string>
#include <vector>

// The arguments the program was started with, after its own name, as UTF-8. On Linux they are
// main's; on Windows main's are in the ANSI code page, which cannot hold every name, so they are
// taken from the wide command line instead.
std::vector<std::string> ProgramArguments(int argc, char* argv[]);
