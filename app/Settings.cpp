#include "app/Settings.h"

#include "platform/ProfileFile.h"

namespace {

const char* const kSection = "Setting";
constexpr std::size_t kSettingsStringBuffer = 100;
constexpr std::size_t kSendTextBuffer = 500;
constexpr std::size_t kNameBuffer = 16;

std::string FirstLine(const std::string& text)
{
    return text.substr(0, text.find_first_of("\r\n"));
}

}  // namespace

WindowSettings LoadSettings(const ProfileDocument& profile)
{
    const WindowSettings defaults;
    WindowSettings settings;
    settings.port = profile.Int(kSection, "Port", defaults.port);
    settings.bordRate = profile.String(kSection, "BordRate", defaults.bordRate, kSettingsStringBuffer);
    settings.autoClear = profile.Int(kSection, "AutoClear", defaults.autoClear);
    settings.autoRecive = profile.Int(kSection, "AutoRecive", defaults.autoRecive);
    settings.interval = profile.Int(kSection, "InterVal", defaults.interval);
    settings.hexDisplay = profile.Int(kSection, "HexDisplay", defaults.hexDisplay);
    settings.hexSend = profile.Int(kSection, "HexSend", defaults.hexSend);
    settings.sendData = profile.String(kSection, "SendData", defaults.sendData, kSendTextBuffer);
    settings.autoReconnect = profile.Int(kSection, "AutoReconnect", defaults.autoReconnect);
    settings.timeStamp = profile.Int(kSection, "TimeStamp", defaults.timeStamp);
    settings.frameGap = profile.Int(kSection, "FrameGap", defaults.frameGap);
    settings.showSent = profile.Int(kSection, "ShowSent", defaults.showSent);
    settings.textCodec = profile.String(kSection, "TextCodec", defaults.textCodec, kNameBuffer);
    settings.captureFormat = profile.String(kSection, "CaptureFormat", defaults.captureFormat, kNameBuffer);
    settings.instantReply = profile.Int(kSection, "InstantReply", defaults.instantReply);
    return settings;
}

WindowSettings LoadSettings(const std::string& path)
{
    return LoadSettings(ReadProfileFile(path).value_or(ProfileDocument()));
}

void StoreSettings(ProfileDocument& profile, const WindowSettings& settings)
{
    profile.Set(kSection, {
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
    });
}

void SaveSettings(const std::string& path, const WindowSettings& settings)
{
    std::optional<ProfileDocument> profile = ReadProfileFile(path);
    if (!profile) {
        return;
    }
    StoreSettings(*profile, settings);
    WriteProfileFile(path, *profile);
}
