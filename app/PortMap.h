#pragma once

#include <optional>
#include <string>
#include <vector>

#include "platform/ProfileDocument.h"
#include "serial/PortInventory.h"

// What a port of the list stands for.
enum class PortKind {
    Default,     // no entry in [Ports]: the default table's device
    Device,      // a device path
    Network,     // rfc2217://HOST:PORT or tcp://HOST:PORT
    Virtual,     // virtual:NAME
    Monitor,     // monitor:DEVICE,NAME
    Unparsable,  // an entry none of these reads; it is kept as it is
};

// One port as the port map shows it.
struct PortMapRow {
    int number = 0;
    std::string name;                  // "COMn"
    std::optional<std::string> entry;  // its value in [Ports]; none when the port has no key there
    PortKind kind = PortKind::Default;
    std::string target;    // what the port opens: the entry, or the default device ("" for none)
    std::string device;    // the device path or network address behind it ("" for a virtual port)
    std::string linkName;  // Virtual and Monitor: the name of the link
    std::string linkPath;  // Virtual and Monitor: the link other programs open
    std::string problem;   // Unparsable: what is wrong (GBK)
};

// Whether `target` is something a port can be mapped to: an absolute device path, a network
// port or a virtual or monitored port, on one line of at most 4095 bytes without blanks around
// it. On failure `reason` says what is wrong (GBK).
bool CheckPortTarget(const std::string& target, std::string& reason);

// Port `number` with its [Ports] entry (none when it has no key) and the target it resolves to.
PortMapRow DescribePort(int number, const std::optional<std::string>& entry, const std::string& target);

// The entries of [Ports] for COM1 to COMcount as read from the settings, changed one by one and
// written back: the entries that were not changed stay exactly as they were in the file.
class PortMap {
public:
    explicit PortMap(const ProfileDocument& config, int count = kListedPorts);

    const std::vector<PortMapRow>& Rows() const { return rows_; }

    // Maps port `number` to `target` when CheckPortTarget allows it; else `reason` says why and
    // nothing changes.
    bool Set(int number, const std::string& target, std::string& reason);
    // Removes the port's entry: it opens its default device again.
    void Clear(int number);
    // Whether any entry differs from the one read.
    bool Changed() const;
    // Writes the entries that differ from those read into `config`: a set one as "COMn=TARGET",
    // a cleared one's line removed. Every other byte stays as it was.
    void WriteTo(ProfileDocument& config) const;

private:
    PortMapRow& Row(int number);

    std::vector<PortMapRow> rows_;
    std::vector<std::optional<std::string>> read_;  // the entries as read, by port
};
