#pragma once

#include <string>

#include "platform/SerialDevice.h"

// The folder of the virtual ports' links: $XDG_RUNTIME_DIR/serialdebug, or /tmp/serialdebug-UID
// (the user's own, mode 0700) when that variable is unset or not an absolute path.
std::string VirtualPortFolder();
// The link another program opens as the serial port of the virtual port `name`.
std::string VirtualPortLink(const std::string& name);

// The device end of a virtual port: a pseudo-terminal whose other end another program opens by
// a link in VirtualPortFolder. What is written here that program reads; what it writes is read
// here. The device keeps the other end open itself, so the program may close and open it again
// without a hang-up, and the line is raw until the program sets it otherwise.
//
// The line settings are the program's: GetLineSettings gives what it set (a pseudo-terminal
// keeps 8 data bits and no parity whatever is asked), and SetLineSettings changes nothing.
// A lock file beside the link keeps a name to one running device; a link whose lock nobody
// holds is left by a run that ended without removing it, and is replaced.
class VirtualDevice : public SerialDevice {
public:
    VirtualDevice() = default;
    ~VirtualDevice() override;

    // `target` is "virtual:NAME".
    bool Open(const std::string& target) override;
    void Close() override;
    bool CheckPresence() override;
    bool SetLineSettings(const LineSettings& settings) override;

    // The link made by the last Open.
    const std::string& LinkPath() const { return link_; }

private:
    bool OpenPseudoTerminal(const std::string& name);
    bool Fail(OpenFailure failure, int error);
    void RemoveLink();

    std::string link_;
    int lockFd_ = -1;
    int otherEndFd_ = -1;
};
