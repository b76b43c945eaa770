#pragma once

#include <string>

// Directory of the running executable, without a trailing separator.
std::string ProgramDirectory();

// Path of a file in the program directory, e.g. ProgramFilePath("Config.ini").
std::string ProgramFilePath(const std::string& fileName);
