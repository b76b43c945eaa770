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

void WriteInt(const std::string& path, const char* key, int value)
{
    WritePrivateProfileString(kSection, key, std::to_string(value), path);
}

}  // namespace

WindowSettings LoadSettings(const std::string& path)
{
    const WindowSettings defaults;
    WindowSettings settings;
    settings.port = GetPrivateProfileInt(kSection, "Port", defaults.port, path);
    settings.bordRate = GetPrivateProfileString(kSection, "BordRate", defaults.bordRate, kSettingsStringBuffer, path);
    settings.autoClear = GetPrivateProfileInt(kSection, "AutoClear", defaults.autoClear, path);
    settings.autoRecive = GetPrivateProfileInt(kSection, "AutoRecive", defaults.autoRecive, path);
    settings.interval = GetPrivateProfileInt(kSection, "InterVal", defaults.interval, path);
    settings.hexDisplay = GetPrivateProfileInt(kSection, "HexDisplay", defaults.hexDisplay, path);
    settings.hexSend = GetPrivateProfileInt(kSection, "HexSend", defaults.hexSend, path);
    settings.sendData = GetPrivateProfileString(kSection, "SendData", defaults.sendData, kSendTextBuffer, path);
    settings.timeStamp = GetPrivateProfileInt(kSection, "TimeStamp", defaults.timeStamp, path);
    settings.frameGap = GetPrivateProfileInt(kSection, "FrameGap", defaults.frameGap, path);
    settings.showSent = GetPrivateProfileInt(kSection, "ShowSent", defaults.showSent, path);
    settings.textCodec = GetPrivateProfileString(kSection, "TextCodec", defaults.textCodec, kNameBuffer, path);
    settings.captureFormat =
        GetPrivateProfileString(kSection, "CaptureFormat", defaults.captureFormat, kNameBuffer, path);
    return settings;
}

void SaveSettings(const std::string& path, const WindowSettings& settings)
{
    WriteInt(path, "Port", settings.port);
    WritePrivateProfileString(kSection, "BordRate", FirstLine(settings.bordRate), path);
    WriteInt(path, "AutoClear", settings.autoClear);
    WriteInt(path, "AutoRecive", settings.autoRecive);
    WriteInt(path, "InterVal", settings.interval);
    WriteInt(path, "HexDisplay", settings.hexDisplay);
    WriteInt(path, "HexSend", settings.hexSend);
    WritePrivateProfileString(kSection, "SendData", FirstLine(settings.sendData), path);
    WriteInt(path, "TimeStamp", settings.timeStamp);
    WriteInt(path, "FrameGap", settings.frameGap);
    WriteInt(path, "ShowSent", settings.showSent);
    WritePrivateProfileString(kSection, "TextCodec", FirstLine(settings.textCodec), path);
    WritePrivateProfileString(kSection, "CaptureFormat", FirstLine(settings.captureFormat), path);
}
