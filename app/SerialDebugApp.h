#pragma once

#include <string>
#include <utility>

#include "app/CommandLine.h"

// The application object: finds the program directory and the settings folder and runs the
// main window.
class CSerialDebugApp {
public:
    explicit CSerialDebugApp(CommandLineOptions options = {}) : m_options(std::move(options)) {}

    // Runs the main window modally; returns false, so the program ends when the window closes.
    bool InitInstance();

    const std::string& ProgramDir() const { return m_programDir; }

private:
    CommandLineOptions m_options;
    std::string m_programDir;
};
