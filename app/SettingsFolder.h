#pragma once

#include <optional>
#include <string>

// Where Config.ini and Default.pol live. A copy of the program in a folder it may write keeps
// them beside itself; an installed program keeps them in the user's configuration folder,
// $XDG_CONFIG_HOME/serialdebug (by default ~/.config/serialdebug; on Windows
// %APPDATA%\serialdebug); --config-dir names the folder outright.

// The environment the choice depends on.
struct SettingsEnvironment {
    std::string xdgConfigHome;  // $XDG_CONFIG_HOME (on Windows %APPDATA%); "" when unset
    std::string home;           // $HOME, or the account's home folder when HOME is unset; "" when neither

    static SettingsEnvironment OfThisProcess();
};

enum class SettingsFolderProblem {
    None,
    NoUserFolder,  // no --config-dir, the program folder is not writable, and no home folder is known
    NotAFolder,    // the path names something that is not a folder
    CannotCreate,  // the folder is missing and could not be made (see `error`)
    NotWritable,   // the folder exists but the program may not write there
};

struct SettingsFolder {
    std::string path;  // the folder the main window reads and writes its files in
    SettingsFolderProblem problem = SettingsFolderProblem::None;
    int error = 0;  // the error number behind CannotCreate
};

// The folder for the settings, decided without touching the disk beyond looking: `configDir`
// when given; else the program folder when the program may write there and it is not a system
// folder (below /usr); else the user's configuration folder. "" when that is needed and no home
// folder is known.
std::string ChooseSettingsFolder(const std::string& programDirectory, const SettingsEnvironment& environment,
                                 const std::optional<std::string>& configDir);

// The folder of ChooseSettingsFolder, created when missing, with the reason it cannot be used if
// so. Without a usable folder the main window still runs: it reads what it can from the result's
// path (the program folder when no folder was found) and its saves fail.
SettingsFolder SetUpSettingsFolder(const std::string& programDirectory, const SettingsEnvironment& environment,
                                   const std::optional<std::string>& configDir);
