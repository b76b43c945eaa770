#include "app/PortListing.h"

#include <algorithm>
#include <array>
#include <vector>

#include "platform/NetworkTarget.h"
#include "serial/PortInventory.h"

namespace {

using Row = std::array<std::string, 5>;

std::string OrDash(const std::string& text) { return text.empty() ? "-" : text; }

// A network port is not looked for: whether its server answers is known only by connecting.
std::string Presence(const PortEntry& entry)
{
    if (IsNetworkTarget(entry.device)) {
        return "network";
    }
    return entry.description.present ? "yes" : "no";
}

}  // namespace

void PrintPortList(std::ostream& out, const std::string& configPath) { PrintPortList(out, configPath, {}); }

void PrintPortList(std::ostream& out, const std::string& configPath, const DeviceDirectories& directories)
{
    std::vector<Row> rows{{"PORT", "DEVICE", "PRESENT", "BY-ID", "PRODUCT"}};
    for (const PortEntry& entry : TakePortInventory(configPath, kListedPorts, directories)) {
        rows.push_back({entry.name, OrDash(entry.device), Presence(entry),
                        OrDash(entry.description.byIdName), OrDash(entry.description.usbProduct)});
    }
    std::array<std::size_t, 5> widths{};
    for (const Row& row : rows) {
        for (std::size_t column = 0; column < row.size(); ++column) {
            widths[column] = std::max(widths[column], row[column].size());
        }
    }
    for (const Row& row : rows) {
        std::string line;
        for (std::size_t column = 0; column < row.size(); ++column) {
            line += row[column];
            if (column + 1 < row.size()) {
                line.append(widths[column] - row[column].size() + 2, ' ');
            }
        }
        out << line << '\n';
    }
}
