#include "platform/LineSettings.h"

#include <algorithm>
#include <optional>
#include <string_view>
#include <vector>

#include "platform/ProfileText.h"

namespace {

std::string_view Trim(std::string_view text)
{
    const std::size_t first = text.find_first_not_of(" \t");
    if (first == std::string_view::npos) {
        return {};
    }
    return text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

bool Same(std::string_view left, std::string_view right) { return ProfileNamesEqual(left, right); }

std::optional<unsigned> ParseNumber(std::string_view text)
{
    if (text.empty() || text.size() > 9 || !std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; })) {
        return std::nullopt;
    }
    unsigned number = 0;
    for (const char digit : text) {
        number = number * 10 + static_cast<unsigned>(digit - '0');
    }
    return number;
}

std::optional<unsigned> ParseBaud(std::string_view text)
{
    const std::optional<unsigned> number = ParseNumber(text);
    if (!number || *number == 0) {
        return std::nullopt;
    }
    switch (*number) {
    case 11: return 110;
    case 15: return 150;
    case 30: return 300;
    case 60: return 600;
    case 12: return 1200;
    case 24: return 2400;
    case 48: return 4800;
    case 96: return 9600;
    case 19: return 19200;
    default: return *number;
    }
}

std::optional<Parity> ParseParity(std::string_view text)
{
    if (text.size() != 1) {
        return std::nullopt;
    }
    switch (text[0]) {
    case 'n': case 'N': return Parity::None;
    case 'e': case 'E': return Parity::Even;
    case 'o': case 'O': return Parity::Odd;
    case 'm': case 'M': return Parity::Mark;
    case 's': case 'S': return Parity::Space;
    default: return std::nullopt;
    }
}

std::optional<int> ParseDataBits(std::string_view text)
{
    const std::optional<unsigned> number = ParseNumber(text);
    if (!number || *number < 5 || *number > 8) {
        return std::nullopt;
    }
    return static_cast<int>(*number);
}

std::optional<StopBits> ParseStopBits(std::string_view text)
{
    if (text == "1") {
        return StopBits::One;
    }
    if (text == "1.5") {
        return StopBits::OneAndHalf;
    }
    if (text == "2") {
        return StopBits::Two;
    }
    return std::nullopt;
}

std::optional<bool> ParseSwitch(std::string_view text)
{
    if (Same(text, "on")) {
        return true;
    }
    if (Same(text, "off")) {
        return false;
    }
    return std::nullopt;
}

std::optional<LineControl> ParseLineControl(std::string_view text, bool allowToggle)
{
    if (Same(text, "on")) {
        return LineControl::On;
    }
    if (Same(text, "off")) {
        return LineControl::Off;
    }
    if (Same(text, "hs")) {
        return LineControl::Handshake;
    }
    if (allowToggle && Same(text, "tg")) {
        return LineControl::Toggle;
    }
    return std::nullopt;
}

std::vector<std::string_view> Split(std::string_view text, char separator)
{
    std::vector<std::string_view> parts;
    std::size_t start = 0;
    for (;;) {
        const std::size_t end = text.find(separator, start);
        parts.push_back(text.substr(start, end == std::string_view::npos ? std::string_view::npos : end - start));
        if (end == std::string_view::npos) {
            return parts;
        }
        start = end + 1;
    }
}

// Removes a leading "COMn:" (or "COMn" followed by blanks) naming the device.
std::string_view SkipDevicePrefix(std::string_view text)
{
    text = Trim(text);
    if (text.size() < 4 || !Same(text.substr(0, 3), "COM")) {
        return text;
    }
    std::size_t position = 3;
    while (position < text.size() && text[position] >= '0' && text[position] <= '9') {
        ++position;
    }
    if (position == 3) {
        return text;
    }
    if (position < text.size() && text[position] == ':') {
        return Trim(text.substr(position + 1));
    }
    if (position == text.size() || text[position] == ' ' || text[position] == '\t') {
        return Trim(text.substr(position));
    }
    return text;
}

bool ApplyCommaForm(std::string_view text, LineSettings& settings)
{
    const std::vector<std::string_view> fields = Split(text, ',');
    if (fields.size() > 5) {
        return false;
    }
    const std::optional<unsigned> baud = ParseBaud(Trim(fields[0]));
    if (!baud) {
        return false;
    }
    LineSettings result = settings;
    result.baudRate = *baud;
    if (fields.size() > 1) {
        const std::optional<Parity> parity = ParseParity(Trim(fields[1]));
        if (!parity) {
            return false;
        }
        result.parity = *parity;
    }
    if (fields.size() > 2) {
        const std::optional<int> dataBits = ParseDataBits(Trim(fields[2]));
        if (!dataBits) {
            return false;
        }
        result.dataBits = *dataBits;
    }
    if (fields.size() > 3) {
        const std::optional<StopBits> stopBits = ParseStopBits(Trim(fields[3]));
        if (!stopBits) {
            return false;
        }
        result.stopBits = *stopBits;
    }
    const std::string_view flow = fields.size() > 4 ? Trim(fields[4]) : std::string_view();
    if (!flow.empty() && !Same(flow, "x") && !Same(flow, "p")) {
        return false;
    }
    result.xonXoff = Same(flow, "x");
    result.ctsHandshake = result.dsrHandshake = Same(flow, "p");
    result.dtr = Same(flow, "p") ? LineControl::Handshake : LineControl::On;
    result.rts = Same(flow, "p") ? LineControl::Handshake : LineControl::On;
    settings = result;
    return true;
}

bool ApplyKeyword(std::string_view name, std::string_view value, LineSettings& settings)
{
    if (Same(name, "baud")) {
        const std::optional<unsigned> baud = ParseBaud(value);
        return baud && (settings.baudRate = *baud, true);
    }
    if (Same(name, "parity")) {
        const std::optional<Parity> parity = ParseParity(value);
        return parity && (settings.parity = *parity, true);
    }
    if (Same(name, "data")) {
        const std::optional<int> dataBits = ParseDataBits(value);
        return dataBits && (settings.dataBits = *dataBits, true);
    }
    if (Same(name, "stop")) {
        const std::optional<StopBits> stopBits = ParseStopBits(value);
        return stopBits && (settings.stopBits = *stopBits, true);
    }
    if (Same(name, "dtr") || Same(name, "rts")) {
        const bool isRts = Same(name, "rts");
        const std::optional<LineControl> level = ParseLineControl(value, isRts);
        return level && ((isRts ? settings.rts : settings.dtr) = *level, true);
    }
    const std::optional<bool> on = ParseSwitch(value);
    if (!on) {
        return false;
    }
    if (Same(name, "to")) {
        settings.timeoutRetry = *on;
    } else if (Same(name, "xon")) {
        settings.xonXoff = *on;
    } else if (Same(name, "octs")) {
        settings.ctsHandshake = *on;
    } else if (Same(name, "odsr")) {
        settings.dsrHandshake = *on;
    } else if (Same(name, "idsr")) {
        settings.dsrSensitive = *on;
    } else {
        return false;
    }
    return true;
}

bool ApplyKeywordForm(std::string_view text, LineSettings& settings)
{
    LineSettings result = settings;
    bool any = false;
    for (const std::string_view word : Split(text, ' ')) {
        const std::string_view item = Trim(word);
        if (item.empty()) {
            continue;
        }
        const std::size_t equals = item.find('=');
        if (equals == std::string_view::npos || !ApplyKeyword(item.substr(0, equals), item.substr(equals + 1), result)) {
            return false;
        }
        any = true;
    }
    if (!any) {
        return false;
    }
    settings = result;
    return true;
}

}  // namespace

bool BuildLineSettings(const std::string& text, LineSettings& settings)
{
    if (text.find('\0') != std::string::npos) {
        return false;
    }
    const std::string_view body = SkipDevicePrefix(text);
    if (body.empty()) {
        return false;
    }
    return body.find('=') != std::string_view::npos ? ApplyKeywordForm(body, settings) : ApplyCommaForm(body, settings);
}

bool LineSettingsConsistent(const LineSettings& settings)
{
    if (settings.baudRate == 0 || settings.dataBits < 5 || settings.dataBits > 8) {
        return false;
    }
    if (settings.stopBits == StopBits::OneAndHalf) {
        return settings.dataBits == 5;
    }
    return settings.stopBits != StopBits::Two || settings.dataBits > 5;
}

std::string DescribeLineSettings(const LineSettings& settings)
{
    static constexpr char kParityLetters[] = {'N', 'O', 'E', 'M', 'S'};
    const char* stopBits = settings.stopBits == StopBits::One ? "1" : settings.stopBits == StopBits::Two ? "2" : "1.5";
    return std::to_string(settings.baudRate) + "," + kParityLetters[static_cast<int>(settings.parity)] + "," +
           std::to_string(settings.dataBits) + "," + stopBits;
}
