#include "platform/TemporaryNames.h"

#include <random>
#include <string_view>

#include "platform/WholeFile.h"

namespace {

constexpr std::string_view kTemporarySuffix = ".serialdebug-tmp";
constexpr std::size_t kRandomPartLength = 6;
constexpr std::string_view kRandomPartCharacters = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
constexpr std::size_t kLongestNamePart = 200;

bool AllOf(std::string_view text, bool (*accepted)(char))
{
    for (const char character : text) {
        if (!accepted(character)) {
            return false;
        }
    }
    return true;
}

bool IsDigit(char character) { return character >= '0' && character <= '9'; }

bool IsRandomPartCharacter(char character) { return kRandomPartCharacters.find(character) != std::string_view::npos; }

// ".<name>.XXXXXX.serialdebug-tmp" with a name of at least one byte.
bool IsCurrentTemporaryName(std::string_view name)
{
    if (name.size() < 1 + 1 + 1 + kRandomPartLength + kTemporarySuffix.size() || name.front() != '.' ||
        !name.ends_with(kTemporarySuffix)) {
        return false;
    }
    name.remove_suffix(kTemporarySuffix.size());
    const std::string_view randomPart = name.substr(name.size() - kRandomPartLength);
    name.remove_suffix(kRandomPartLength);
    return name.back() == '.' && AllOf(randomPart, IsRandomPartCharacter);
}

// "Config.ini.tmp<pid>.<n>", which earlier versions wrote the settings through.
bool IsEarlierSettingsTemporaryName(std::string_view name)
{
    constexpr std::string_view prefix = "Config.ini.tmp";
    if (!name.starts_with(prefix)) {
        return false;
    }
    name.remove_prefix(prefix.size());
    const std::size_t dot = name.find('.');
    return dot != std::string_view::npos && dot > 0 && dot + 1 < name.size() && AllOf(name.substr(0, dot), IsDigit) &&
           AllOf(name.substr(dot + 1), IsDigit);
}

}  // namespace

std::string TemporaryNameFor(const std::string& name)
{
    thread_local std::mt19937_64 generator{std::random_device{}()};
    std::uniform_int_distribution<std::size_t> pick(0, kRandomPartCharacters.size() - 1);
    std::string temporary = "." + name.substr(0, kLongestNamePart) + ".";
    for (std::size_t index = 0; index < kRandomPartLength; ++index) {
        temporary += kRandomPartCharacters[pick(generator)];
    }
    return temporary + std::string(kTemporarySuffix);
}

bool IsTemporaryFileName(std::string_view name)
{
    return IsCurrentTemporaryName(name) || name == "Default.pol.saving" || IsEarlierSettingsTemporaryName(name);
}
