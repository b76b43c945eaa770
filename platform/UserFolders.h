#pragma once

#include <string>

// The value of the environment variable `name`; "" when it is unset.
std::string EnvironmentValue(const char* name);

// The environment variable that names the base of the user's configuration folders:
// XDG_CONFIG_HOME on Linux, APPDATA on Windows.
extern const char* const kConfigHomeVariable;

// Whether `path` is absolute: "/..." on Linux; "C:\...", "C:/..." or "\\server\..." on Windows.
bool IsAbsolutePath(const std::string& path);

// The home folder of the user running the program according to the account database; "" when
// the account has none.
std::string AccountHomeFolder();

// true when the program may create and replace files in `folder`.
bool IsWritableFolder(const std::string& folder);

// true when `path` names an existing folder.
bool IsFolder(const std::string& path);

// Creates `folder` and any missing folder above it, each readable by its owner only. Returns 0
// when the folder exists afterwards, else the error number of the step that failed.
int CreateFolderPath(const std::string& folder);
