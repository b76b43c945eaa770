#include "app/SettingsFolder.h"

#include <filesystem>
#include <system_error>

#include "platform/UserFolders.h"
#include "platform/Utf8Path.h"

namespace {

constexpr const char* kFolderName = "serialdebug";

bool IsSystemFolder(const std::string& folder)
{
    return folder == "/usr" || folder.rfind("/usr/", 0) == 0 || folder == "/bin" || folder == "/sbin";
}

// The base of the user's configuration folders: $XDG_CONFIG_HOME (%APPDATA% on Windows) when it
// is an absolute path (a relative one is to be ignored), else ~/.config.
std::string UserConfigHome(const SettingsEnvironment& environment)
{
    if (IsAbsolutePath(environment.xdgConfigHome)) {
        return environment.xdgConfigHome;
    }
    if (environment.home.empty()) {
        return {};
    }
    return environment.home + (environment.home.back() == '/' ? ".config" : "/.config");
}

bool ExistsButIsNoFolder(const std::string& path)
{
    std::error_code error;
    const std::filesystem::file_status status = std::filesystem::status(PathFromUtf8(path), error);
    return std::filesystem::exists(status) && !std::filesystem::is_directory(status);
}

}  // namespace

SettingsEnvironment SettingsEnvironment::OfThisProcess()
{
    SettingsEnvironment environment;
    environment.xdgConfigHome = EnvironmentValue(kConfigHomeVariable);
    environment.home = EnvironmentValue("HOME");
    if (environment.home.empty()) {
        environment.home = AccountHomeFolder();
    }
    return environment;
}

std::string ChooseSettingsFolder(const std::string& programDirectory, const SettingsEnvironment& environment,
                                 const std::optional<std::string>& configDir)
{
    if (configDir) {
        return *configDir;
    }
    if (IsWritableFolder(programDirectory) && !IsSystemFolder(programDirectory)) {
        return programDirectory;
    }
    const std::string base = UserConfigHome(environment);
    return base.empty() ? std::string() : base + "/" + kFolderName;
}

SettingsFolder SetUpSettingsFolder(const std::string& programDirectory, const SettingsEnvironment& environment,
                                   const std::optional<std::string>& configDir)
{
    SettingsFolder folder;
    folder.path = ChooseSettingsFolder(programDirectory, environment, configDir);
    if (folder.path.empty()) {
        folder.path = programDirectory;
        folder.problem = SettingsFolderProblem::NoUserFolder;
    } else if (ExistsButIsNoFolder(folder.path)) {
        folder.problem = SettingsFolderProblem::NotAFolder;
    } else if ((folder.error = CreateFolderPath(folder.path)) != 0) {
        folder.problem = SettingsFolderProblem::CannotCreate;
    } else if (!IsWritableFolder(folder.path)) {
        folder.problem = SettingsFolderProblem::NotWritable;
    }
    return folder;
}
