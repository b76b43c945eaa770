#include "app/CommandLine.h"

#include <algorithm>
#include <cstddef>
#include <string_view>

#include "serial/PortInventory.h"
#include "app/Version.h"
#include "platform/ProgramArguments.h"

namespace {

// Stores the option's value (empty for a flag) in the options; returns why the value is
// refused, or "" when it was taken.
using ApplyOption = std::string (*)(CommandLineOptions& options, const std::string& value);

struct OptionEntry {
    std::string_view name;       // "--port"
    std::string_view valueName;  // "COMn"; empty for an option without a value
    std::string_view help;
    ApplyOption apply;
};

std::optional<int> ListedPortNumber(const std::string& text)
{
    if (text.size() < 4 || text.size() > 7) {
        return std::nullopt;
    }
    for (std::size_t i = 0; i < 3; ++i) {
        if ((text[i] & ~0x20) != "COM"[i]) {
            return std::nullopt;
        }
    }
    int number = 0;
    for (std::size_t i = 3; i < text.size(); ++i) {
        if (text[i] < '0' || text[i] > '9') {
            return std::nullopt;
        }
        number = number * 10 + (text[i] - '0');
    }
    if (number < 1 || number > kListedPorts) {
        return std::nullopt;
    }
    return number;
}

constexpr OptionEntry kOptions[] = {
    {"--help", "", "show this help and exit",
     [](CommandLineOptions& options, const std::string&) {
         options.help = true;
         return std::string();
     }},
    {"--version", "", "show the version and exit",
     [](CommandLineOptions& options, const std::string&) {
         options.version = true;
         return std::string();
     }},
    {"--config-dir", "DIR", "keep Config.ini and Default.pol in DIR (created when missing)",
     [](CommandLineOptions& options, const std::string& value) {
         options.configDir = value;
         return std::string();
     }},
    {"--port", "COMn", "open port COMn (COM1 to COM50) at start instead of the saved one; again for more windows",
     [](CommandLineOptions& options, const std::string& value) {
         const std::optional<int> number = ListedPortNumber(value);
         if (!number) {
             return "'" + value + "' is not a port of the list (COM1 to COM50)";
         }
         if (options.port) {
             options.morePorts.push_back(*number);
         } else {
             options.port = number;
         }
         return std::string();
     }},
    {"--capture", "FILE",
     "record everything received into FILE (continued if it exists) once the first window's port is open",
     [](CommandLineOptions& options, const std::string& value) {
         options.capture = value;
         return std::string();
     }},
    {"--list-ports", "",
     "list COM1 to COM50 with their devices, whether each is present and the links of virtual ports, and exit",
     [](CommandLineOptions& options, const std::string&) {
         options.listPorts = true;
         return std::string();
     }},
};

const OptionEntry* FindOption(std::string_view name)
{
    for (const OptionEntry& entry : kOptions) {
        if (entry.name == name) {
            return &entry;
        }
    }
    return nullptr;
}

}  // namespace

CommandLine::CommandLine(const std::vector<std::string>& arguments)
{
    Parse(arguments);
}

CommandLine::CommandLine(int argc, char* argv[])
{
    Parse(ProgramArguments(argc, argv));
}

void CommandLine::Parse(const std::vector<std::string>& arguments)
{
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        const std::string& argument = arguments[i];
        const std::size_t equals = argument.find('=');
        const std::string name = argument.substr(0, equals);
        const OptionEntry* entry = name.rfind("--", 0) == 0 ? FindOption(name) : nullptr;
        if (entry == nullptr) {
            m_error = (argument.rfind("-", 0) == 0 ? "unknown option '" : "unexpected argument '") + argument + "'";
            return;
        }
        std::string value;
        if (entry->valueName.empty()) {
            if (equals != std::string::npos) {
                m_error = name + " takes no value";
                return;
            }
        } else {
            if (equals != std::string::npos) {
                value = argument.substr(equals + 1);
            } else if (i + 1 < arguments.size() && arguments[i + 1].rfind("--", 0) != 0) {
                value = arguments[++i];
            }
            if (value.empty()) {
                m_error = name + " needs a value (" + std::string(entry->valueName) + ")";
                return;
            }
        }
        const std::string refusal = entry->apply(m_options, value);
        if (!refusal.empty()) {
            m_error = name + ": " + refusal;
            return;
        }
    }
}

std::string CommandLine::HelpText()
{
    std::string text =
        "Usage: serialdebug [OPTION]...\n"
        "Serial-port debugging terminal.\n"
        "\n";
    for (const OptionEntry& entry : kOptions) {
        std::string left = "  " + std::string(entry.name);
        if (!entry.valueName.empty()) {
            left += " " + std::string(entry.valueName);
        }
        left.resize(std::max<std::size_t>(left.size() + 2, 24), ' ');
        text += left + std::string(entry.help) + "\n";
    }
    text +=
        "\n"
        "Config.ini and Default.pol sit beside the program when its folder is writable,\n"
        "else in $XDG_CONFIG_HOME/serialdebug (by default ~/.config/serialdebug).\n";
    return text;
}

std::string CommandLine::VersionText()
{
    return std::string("serialdebug ") + kProgramVersion;
}
