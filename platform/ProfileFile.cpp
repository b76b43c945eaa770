#include "platform/ProfileFile.h"

#include "platform/WholeFile.h"

namespace {

ProfileDocument ReadProfileOrEmpty(const std::string& path) { return ReadProfileFile(path).value_or(ProfileDocument()); }

}  // namespace

std::optional<ProfileDocument> ReadProfileFile(const std::string& path)
{
    std::string text;
    const std::error_code error = ReadWholeFile(path, text);
    if (error == std::errc::no_such_file_or_directory) {
        return ProfileDocument();
    }
    if (error) {
        return std::nullopt;
    }
    return ProfileDocument(std::move(text));
}

bool WriteProfileFile(const std::string& path, const ProfileDocument& document)
{
    return !ReplaceWholeFile(path, document.Text());
}

int GetPrivateProfileInt(const std::string& section, const std::string& key, int defaultValue, const std::string& path)
{
    return ReadProfileOrEmpty(path).Int(section, key, defaultValue);
}

std::string GetPrivateProfileString(const std::string& section, const std::string& key, const std::string& defaultValue,
                                    std::size_t bufferSize, const std::string& path)
{
    return ReadProfileOrEmpty(path).String(section, key, defaultValue, bufferSize);
}

bool WritePrivateProfileString(const std::string& section, const std::string& key, const std::string& value,
                               const std::string& path)
{
    std::optional<ProfileDocument> document = ReadProfileFile(path);
    if (!document) {
        return false;
    }
    document->Set(section, key, value);
    return WriteProfileFile(path, *document);
}
