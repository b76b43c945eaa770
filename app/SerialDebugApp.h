#pragma once

#include <string>

// The application object: finds the program directory and runs the main window.
class CSerialDebugApp {
public:
    // Runs the main window modally; returns false, so the program ends when the window closes.
    bool InitInstance();

    const std::string& ProgramDir() const { return m_programDir; }

private:
    std::string m_programDir;
};
