#pragma once

#include <optional>
#include <string>
#include <vector>

// What the command line asks for.
struct CommandLineOptions {
    bool help = false;                     // --help
    bool version = false;                  // --version
    bool listPorts = false;                // --list-ports
    std::optional<std::string> configDir;  // --config-dir DIR
    std::optional<int> port;               // --port COMn: the port number n
    std::vector<int> morePorts;            // --port given again: a window more for each port
    std::optional<std::string> capture;    // --capture FILE: record into FILE from the port's opening
};

// The program's command line. Each option is one entry of the table in CommandLine.cpp (name,
// value, help line, what it stores), so a new option is one entry and one member above.
// Options take their value as the next argument or after "=" ("--port COM3", "--port=COM3").
class CommandLine {
public:
    // Parses the arguments that follow the program name.
    explicit CommandLine(const std::vector<std::string>& arguments);
    CommandLine(int argc, char* argv[]);

    // false when an argument was refused; Error() then says which and why.
    bool IsValid() const { return m_error.empty(); }
    const std::string& Error() const { return m_error; }
    const CommandLineOptions& Options() const { return m_options; }

    // The text --help prints: usage and one line per option.
    static std::string HelpText();
    // The line --version prints, "serialdebug 1.0.0".
    static std::string VersionText();

    // Exit status for a command line that was refused.
    static constexpr int kUsageError = 2;

private:
    void Parse(const std::vector<std::string>& arguments);

    CommandLineOptions m_options;
    std::string m_error;
};
