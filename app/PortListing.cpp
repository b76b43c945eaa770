#include "app/PortListing.h"

#include <algorithm>
#include <array>
#include <vector>

#include "app/PortMap.h"
#include "serial/PortInventory.h"

namespace {

using Row = std::array<std::string, 6>;

std::string OrDash(const std::string& text) { return text.empty() ? "-" : text; }

// East Asian wide and fullwidth characters, which a terminal shows two columns wide.
bool IsWide(char32_t code)
{
    return (code >= 0x1100 && code <= 0x115F) || (code >= 0x2E80 && code <= 0x303E) ||
           (code >= 0x3041 && code <= 0x33FF) || (code >= 0x3400 && code <= 0x4DBF) ||
           (code >= 0x4E00 && code <= 0x9FFF) || (code >= 0xA000 && code <= 0xA4CF) ||
           (code >= 0xAC00 && code <= 0xD7A3) || (code >= 0xF900 && code <= 0xFAFF) ||
           (code >= 0xFE30 && code <= 0xFE4F) || (code >= 0xFF00 && code <= 0xFF60) ||
           (code >= 0xFFE0 && code <= 0xFFE6) || (code >= 0x20000 && code <= 0x3FFFD);
}

// Bytes of the UTF-8 sequence that `lead` begins; 0 for a byte that begins none.
std::size_t SequenceLength(unsigned char lead)
{
    if (lead < 0x80) {
        return 1;
    }
    if (lead < 0xC2) {
        return 0;
    }
    if (lead < 0xE0) {
        return 2;
    }
    if (lead < 0xF0) {
        return 3;
    }
    return lead < 0xF5 ? 4 : 0;
}

// The columns `text` takes on a UTF-8 terminal: two for a wide character, one for any other
// character and for each byte that is no part of a UTF-8 character.
std::size_t DisplayWidth(const std::string& text)
{
    std::size_t width = 0;
    for (std::size_t i = 0; i < text.size();) {
        const auto lead = static_cast<unsigned char>(text[i]);
        const std::size_t length = SequenceLength(lead);
        char32_t code = length == 1 ? lead : lead & (0x3F >> (length - 1));
        bool whole = length > 0 && i + length <= text.size();
        for (std::size_t k = 1; whole && k < length; ++k) {
            const auto next = static_cast<unsigned char>(text[i + k]);
            whole = (next & 0xC0) == 0x80;
            code = (code << 6) | (next & 0x3F);
        }
        width += whole && IsWide(code) ? 2 : 1;
        i += whole ? length : 1;
    }
    return width;
}

// A network port is not looked for: whether its server answers is known only by connecting.
// A virtual or monitored port is made when it opens.
std::string Presence(const PortEntry& entry, PortKind kind)
{
    switch (kind) {
    case PortKind::Network:
        return "network";
    case PortKind::Virtual:
    case PortKind::Monitor:
        return "virtual";
    case PortKind::Unparsable:
        return "invalid";
    case PortKind::Default:
    case PortKind::Device:
        break;
    }
    return entry.description.present ? "yes" : "no";
}

}  // namespace

void PrintPortList(std::ostream& out, const std::string& configPath) { PrintPortList(out, configPath, {}); }

void PrintPortList(std::ostream& out, const std::string& configPath, const DeviceDirectories& directories)
{
    std::vector<Row> rows{{"PORT", "DEVICE", "PRESENT", "BY-ID", "PRODUCT", "LINK"}};
    for (const PortEntry& entry : TakePortInventory(configPath, kListedPorts, directories)) {
        const PortMapRow port = DescribePort(entry.number, entry.device, entry.device);
        rows.push_back({entry.name, OrDash(entry.device), Presence(entry, port.kind),
                        OrDash(entry.description.byIdName), OrDash(entry.description.usbProduct),
                        OrDash(port.linkPath)});
    }
    std::array<std::size_t, 6> widths{};
    for (const Row& row : rows) {
        for (std::size_t column = 0; column < row.size(); ++column) {
            widths[column] = std::max(widths[column], DisplayWidth(row[column]));
        }
    }
    for (const Row& row : rows) {
        std::string line;
        for (std::size_t column = 0; column < row.size(); ++column) {
            line += row[column];
            if (column + 1 < row.size()) {
                line.append(widths[column] - DisplayWidth(row[column]) + 2, ' ');
            }
        }
        out << line << '\n';
    }
}
