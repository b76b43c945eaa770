#include "platform/NetworkTarget.h"

#include <string_view>

namespace {

constexpr std::string_view kSeparator = "://";
constexpr std::size_t kMaxHostName = 253;
constexpr std::size_t kMaxLabel = 63;

bool IsDigit(char c) { return c >= '0' && c <= '9'; }
bool IsLetter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
bool IsHexDigit(char c) { return IsDigit(c) || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F'); }

char Lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

bool EqualsIgnoringCase(std::string_view a, std::string_view b)
{
    if (a.size() != b.size()) {
        return false;
    }
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (Lower(a[i]) != Lower(b[i])) {
            return false;
        }
    }
    return true;
}

// The scheme of "scheme://...": a letter, then letters, digits, '+', '-' or '.'.
bool HasScheme(std::string_view target, std::size_t& schemeEnd)
{
    schemeEnd = target.find(kSeparator);
    if (schemeEnd == std::string_view::npos || schemeEnd == 0 || !IsLetter(target[0])) {
        return false;
    }
    for (const char c : target.substr(0, schemeEnd)) {
        if (!IsLetter(c) && !IsDigit(c) && c != '+' && c != '-' && c != '.') {
            return false;
        }
    }
    return true;
}

bool IsIpv4Address(std::string_view text)
{
    int parts = 0;
    while (true) {
        std::size_t digits = 0;
        unsigned value = 0;
        while (digits < text.size() && IsDigit(text[digits])) {
            value = value * 10 + static_cast<unsigned>(text[digits] - '0');
            if (++digits > 3) {
                return false;
            }
        }
        if (digits == 0 || value > 255) {
            return false;
        }
        ++parts;
        text.remove_prefix(digits);
        if (text.empty()) {
            return parts == 4;
        }
        if (text[0] != '.' || parts == 4) {
            return false;
        }
        text.remove_prefix(1);
    }
}

// Groups of one to four hex digits separated by ':', at most one "::" standing for the
// missing groups, and an IPv4 address as the last two groups.
bool IsIpv6Address(std::string_view text)
{
    const std::size_t gap = text.find("::");
    const bool hasGap = gap != std::string_view::npos;
    if (hasGap && text.find("::", gap + 1) != std::string_view::npos) {
        return false;
    }
    int groups = 0;
    auto countGroups = [&groups](std::string_view part, bool mayEndInIpv4) {
        if (part.empty()) {
            return true;
        }
        while (true) {
            const std::size_t colon = part.find(':');
            const std::string_view group = part.substr(0, colon);
            if (colon == std::string_view::npos && mayEndInIpv4 && group.find('.') != std::string_view::npos) {
                groups += 2;
                return IsIpv4Address(group);
            }
            if (group.empty() || group.size() > 4) {
                return false;
            }
            for (const char c : group) {
                if (!IsHexDigit(c)) {
                    return false;
                }
            }
            ++groups;
            if (colon == std::string_view::npos) {
                return true;
            }
            part.remove_prefix(colon + 1);
        }
    };
    if (!hasGap) {
        return countGroups(text, true) && groups == 8;
    }
    return countGroups(text.substr(0, gap), false) && countGroups(text.substr(gap + 2), true) && groups <= 7;
}

bool IsZone(std::string_view zone)
{
    if (zone.empty()) {
        return false;
    }
    for (const char c : zone) {
        if (!IsLetter(c) && !IsDigit(c) && c != '.' && c != '_' && c != '-') {
            return false;
        }
    }
    return true;
}

bool IsBracketedAddress(std::string_view text)
{
    const std::size_t percent = text.find('%');
    if (percent == std::string_view::npos) {
        return IsIpv6Address(text);
    }
    return IsIpv6Address(text.substr(0, percent)) && IsZone(text.substr(percent + 1));
}

// Labels of letters, digits, '-' and '_' separated by dots, none empty or starting or ending
// with '-'; one dot may end the name.
bool IsHostName(std::string_view name)
{
    if (!name.empty() && name.back() == '.') {
        name.remove_suffix(1);
    }
    if (name.empty() || name.size() > kMaxHostName) {
        return false;
    }
    while (true) {
        const std::size_t dot = name.find('.');
        const std::string_view label = name.substr(0, dot);
        if (label.empty() || label.size() > kMaxLabel || label.front() == '-' || label.back() == '-') {
            return false;
        }
        for (const char c : label) {
            if (!IsLetter(c) && !IsDigit(c) && c != '-' && c != '_') {
                return false;
            }
        }
        if (dot == std::string_view::npos) {
            return true;
        }
        name.remove_prefix(dot + 1);
    }
}

bool LooksNumeric(std::string_view host)
{
    for (const char c : host) {
        if (!IsDigit(c) && c != '.') {
            return false;
        }
    }
    return true;
}

bool ParseHost(std::string_view host, bool bracketed, std::string& reason)
{
    if (host.empty()) {
        reason = "no host";
        return false;
    }
    if (bracketed) {
        if (!IsBracketedAddress(host)) {
            reason = "\"" + std::string(host) + "\" in brackets is not an IPv6 address";
            return false;
        }
        return true;
    }
    if (LooksNumeric(host)) {
        if (!IsIpv4Address(host)) {
            reason = "\"" + std::string(host) + "\" is not an IPv4 address";
            return false;
        }
        return true;
    }
    if (!IsHostName(host)) {
        reason = "\"" + std::string(host) + "\" is not a host name";
        return false;
    }
    return true;
}

bool ParsePort(std::string_view text, std::uint16_t& port, std::string& reason)
{
    if (text.empty()) {
        reason = "no port (write HOST:PORT)";
        return false;
    }
    unsigned long value = 0;
    for (const char c : text) {
        if (!IsDigit(c)) {
            reason = "the port \"" + std::string(text) + "\" is not a number";
            return false;
        }
        value = value * 10 + static_cast<unsigned long>(c - '0');
        if (value > 65535) {
            break;
        }
    }
    if (value == 0 || value > 65535) {
        reason = "the port " + std::string(text) + " is not within 1 to 65535";
        return false;
    }
    port = static_cast<std::uint16_t>(value);
    return true;
}

}  // namespace

bool IsNetworkTarget(const std::string& target)
{
    std::size_t schemeEnd = 0;
    return HasScheme(target, schemeEnd);
}

bool ParseNetworkTarget(const std::string& target, NetworkTarget& parsed, std::string& reason)
{
    std::size_t schemeEnd = 0;
    if (!HasScheme(target, schemeEnd)) {
        reason = "not a network address (write rfc2217://HOST:PORT or tcp://HOST:PORT)";
        return false;
    }
    const std::string_view view(target);
    const std::string_view scheme = view.substr(0, schemeEnd);
    NetworkTarget result;
    if (EqualsIgnoringCase(scheme, "rfc2217")) {
        result.protocol = NetworkProtocol::Rfc2217;
    } else if (EqualsIgnoringCase(scheme, "tcp")) {
        result.protocol = NetworkProtocol::RawTcp;
    } else {
        reason = "unknown scheme \"" + std::string(scheme) + "\" (use rfc2217:// or tcp://)";
        return false;
    }

    std::string_view rest = view.substr(schemeEnd + kSeparator.size());
    std::string_view host;
    const bool bracketed = !rest.empty() && rest.front() == '[';
    if (bracketed) {
        const std::size_t close = rest.find(']');
        if (close == std::string_view::npos) {
            reason = "no \"]\" after the IPv6 address";
            return false;
        }
        host = rest.substr(1, close - 1);
        rest.remove_prefix(close + 1);
        if (!rest.empty() && rest.front() != ':') {
            reason = "\"" + std::string(rest) + "\" after the address";
            return false;
        }
    } else {
        const std::size_t colon = rest.find(':');
        if (colon != std::string_view::npos && rest.find(':', colon + 1) != std::string_view::npos) {
            reason = "an IPv6 address must stand in brackets, as in [::1]:PORT";
            return false;
        }
        host = rest.substr(0, colon);
        rest.remove_prefix(colon == std::string_view::npos ? rest.size() : colon);
    }
    if (!ParseHost(host, bracketed, reason)) {
        return false;
    }
    if (rest.empty()) {
        reason = "no port (write HOST:PORT)";
        return false;
    }
    if (!ParsePort(rest.substr(1), result.port, reason)) {
        return false;
    }
    result.host = std::string(host);
    parsed = result;
    return true;
}
