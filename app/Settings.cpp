#include "app/Settings.h"

#include "platform/ProfileFile.h"

namespace {

const char* const kSection = "Setting";
const char* const kWindowCountKey = "Windows";
constexpr std::size_t kSettingsStringBuffer = 100;
constexpr std::size_t kSendTextBuffer = 500;
constexpr std::size_t kNameBuffer = 16;

std::string FirstLine(const std::string& text)
{
    return text.substr(0, text.find_first_of("\r\n"));
}

std::string SectionOf(int window)
{
    return window <= 1 ? kSection : "Window" + std::to_string(window);
}

}  // namespace

WindowSettings LoadSettings(const ProfileDocument& profile, int window)
{
    const std::string section = SectionOf(window);
    const WindowSettings defaults;
    WindowSettings settings;
    settings.port = profile.Int(section, "Port", defaults.port);
    settings.bordRate = profile.String(section, "BordRate", defaults.bordRate, kSettingsStringBuffer);
    settings.autoClear = profile.Int(section, "AutoClear", defaults.autoClear);
    settings.autoRecive = profile.Int(section, "AutoRecive", defaults.autoRecive);
    settings.interval = profile.Int(section, "InterVal", defaults.interval);
    settings.hexDisplay = profile.Int(section, "HexDisplay", defaults.hexDisplay);
    settings.hexSend = profile.Int(section, "HexSend", defaults.hexSend);
    settings.sendData = profile.String(section, "SendData", defaults.sendData, kSendTextBuffer);
    settings.autoReconnect = profile.Int(section, "AutoReconnect", defaults.autoReconnect);
    settings.timeStamp = profile.Int(section, "TimeStamp", defaults.timeStamp);
    settings.frameGap = profile.Int(section, "FrameGap", defaults.frameGap);
    settings.showSent = profile.Int(section, "ShowSent", defaults.showSent);
    settings.textCodec = profile.String(section, "TextCodec", defaults.textCodec, kNameBuffer);
    settings.captureFormat = profile.String(section, "CaptureFormat", defaults.captureFormat, kNameBuffer);
    settings.instantReply = profile.Int(section, "InstantReply", defaults.instantReply);
    settings.sendEscapes = profile.Int(section, "SendEscapes", defaults.sendEscapes);
    settings.lineEnding = profile.String(section, "LineEnding", defaults.lineEnding, kNameBuffer);
    settings.filePacketSize = profile.Int(section, "FilePacketSize", defaults.filePacketSize);
    settings.filePacketDelay = profile.Int(section, "FilePacketDelay", defaults.filePacketDelay);
    settings.modbusDecode = profile.Int(section, "ModbusDecode", defaults.modbusDecode);
    settings.replyStatistics = profile.Int(section, "ReplyStatistics", defaults.replyStatistics);
    return settings;
}

WindowSettings LoadSettings(const std::string& path, int window)
{
    return LoadSettings(ReadProfileFile(path).value_or(ProfileDocument()), window);
}

int LoadWindowCount(const ProfileDocument& profile)
{
    const int count = profile.Int(kSection, kWindowCountKey, 1);
    return count >= 1 && count <= kMaxWindows ? count : 1;
}

void StoreSettings(ProfileDocument& profile, const WindowSettings& settings, int window)
{
    profile.Set(SectionOf(window), {
        {"Port", settings.port},
        {"BordRate", FirstLine(settings.bordRate)},
        {"AutoClear", settings.autoClear},
        {"AutoRecive", settings.autoRecive},
        {"InterVal", settings.interval},
        {"HexDisplay", settings.hexDisplay},
        {"HexSend", settings.hexSend},
        {"SendData", FirstLine(settings.sendData)},
        {"AutoReconnect", settings.autoReconnect},
        {"TimeStamp", settings.timeStamp},
        {"FrameGap", settings.frameGap},
        {"ShowSent", settings.showSent},
        {"TextCodec", FirstLine(settings.textCodec)},
        {"CaptureFormat", FirstLine(settings.captureFormat)},
        {"InstantReply", settings.instantReply},
        {"SendEscapes", settings.sendEscapes},
        {"LineEnding", FirstLine(settings.lineEnding)},
        {"FilePacketSize", settings.filePacketSize},
        {"FilePacketDelay", settings.filePacketDelay},
        {"ModbusDecode", settings.modbusDecode},
        {"ReplyStatistics", settings.replyStatistics},
    });
}

void SaveSettings(const std::string& path, const std::vector<WindowSettings>& windows)
{
    std::optional<ProfileDocument> profile = ReadProfileFile(path);
    if (!profile) {
        return;
    }
    const int count = static_cast<int>(windows.size());
    for (int window = 1; window <= count; ++window) {
        StoreSettings(*profile, windows[static_cast<std::size_t>(window - 1)], window);
    }
    if (count > 1 || profile->Find(kSection, kWindowCountKey)) {
        profile->Set(kSection, kWindowCountKey, std::to_string(count));
    }
    WriteProfileFile(path, *profile);
}

void SaveSettings(const std::string& path, const WindowSettings& settings)
{
    SaveSettings(path, std::vector<WindowSettings>{settings});
}
