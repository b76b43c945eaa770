#pragma once

#include <string>
#include <utility>

#include "app/CommandLine.h"

class CWindowGroup;

// The application object: finds the program directory and the settings folder and runs the
// main window.
class CSerialDebugApp {
public:
    explicit CSerialDebugApp(CommandLineOptions options = {}) : m_options(std::move(options)) {}

    // Runs the main window modally, and the windows that were open at the last exit beside it;
    // returns false once the last has closed, so the program ends then.
    bool InitInstance();

    const std::string& ProgramDir() const { return m_programDir; }

private:
    void OpenMoreWindows(CWindowGroup& group) const;

    CommandLineOptions m_options;
    std::string m_programDir;
};
