#include "platform/VirtualDevice.h"

#include <cerrno>
#include <climits>
#include <cstdio>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include "platform/UserFolders.h"
#include "platform/VirtualTarget.h"

namespace {

constexpr const char* kLinkFolderName = "serialdebug";

// A folder under /tmp is used only when it is a real folder of the user's that nobody else may
// write to; one made by someone else first would let them swap the links.
bool IsPrivateFolder(const std::string& folder)
{
    struct stat node {};
    return ::lstat(folder.c_str(), &node) == 0 && S_ISDIR(node.st_mode) && node.st_uid == ::getuid() &&
           (node.st_mode & (S_IWGRP | S_IWOTH)) == 0;
}

int MakeLinkFolder(const std::string& folder)
{
    if (const int error = CreateFolderPath(folder)) {
        return error;
    }
    if (!IsPrivateFolder(folder)) {
        return EPERM;
    }
    return IsWritableFolder(folder) ? 0 : EACCES;
}

bool MakeRawAtOtherEnd(int fd)
{
    termios settings {};
    if (::tcgetattr(fd, &settings) != 0) {
        return false;
    }
    ::cfmakeraw(&settings);
    return ::tcsetattr(fd, TCSANOW, &settings) == 0;
}

}  // namespace

std::string VirtualPortFolder()
{
    const std::string runtime = EnvironmentValue("XDG_RUNTIME_DIR");
    if (!runtime.empty() && runtime.front() == '/') {
        return runtime + "/" + kLinkFolderName;
    }
    return "/tmp/" + std::string(kLinkFolderName) + "-" + std::to_string(::getuid());
}

std::string VirtualPortLink(const std::string& name) { return VirtualPortFolder() + "/" + name; }

VirtualDevice::~VirtualDevice() { Close(); }

bool VirtualDevice::Fail(OpenFailure failure, int error)
{
    Close();
    SetOpenError({failure, error});
    errno = error;
    return false;
}

bool VirtualDevice::Open(const std::string& target)
{
    Close();
    SetOpenError({});
    VirtualTarget parsed;
    std::string reason;
    if (!ParseVirtualTarget(target, parsed, reason) || parsed.IsMonitor()) {
        return Fail(OpenFailure::BadVirtualPort, EINVAL);
    }
    const std::string folder = VirtualPortFolder();
    if (const int error = MakeLinkFolder(folder)) {
        return Fail(OpenFailure::LinkFolder, error);
    }
    // '~' is in no name, so these never meet another port's link.
    const std::string lockPath = folder + "/" + parsed.name + "~lock";
    lockFd_ = ::open(lockPath.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (lockFd_ < 0) {
        return Fail(OpenFailure::LinkFolder, errno);
    }
    if (::flock(lockFd_, LOCK_EX | LOCK_NB) != 0) {
        return Fail(errno == EWOULDBLOCK ? OpenFailure::NameInUse : OpenFailure::LinkFolder, errno == EWOULDBLOCK ? EBUSY : errno);
    }
    return OpenPseudoTerminal(folder + "/" + parsed.name);
}

// The link is made beside its final name and renamed over it, which replaces a link a run that
// was killed left behind.
bool VirtualDevice::OpenPseudoTerminal(const std::string& link)
{
    const int master = ::open("/dev/ptmx", O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    char otherEnd[PATH_MAX] = {};
    if (master < 0 || ::grantpt(master) != 0 || ::unlockpt(master) != 0 || ::ptsname_r(master, otherEnd, sizeof otherEnd) != 0) {
        const int error = errno;
        if (master >= 0) {
            ::close(master);
        }
        return Fail(OpenFailure::Other, error);
    }
    otherEndFd_ = ::open(otherEnd, O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (otherEndFd_ < 0 || !MakeRawAtOtherEnd(otherEndFd_)) {
        const int error = errno;
        ::close(master);
        return Fail(OpenFailure::Other, error);
    }
    if (!TakeDescriptor(master, "/dev/ptmx", false)) {
        return Fail(LastOpenError().failure, LastOpenError().systemError);
    }
    const std::string staged = link + "~new";
    ::unlink(staged.c_str());
    if (::symlink(otherEnd, staged.c_str()) != 0 || ::rename(staged.c_str(), link.c_str()) != 0) {
        const int error = errno;
        ::unlink(staged.c_str());
        return Fail(OpenFailure::LinkFolder, error);
    }
    link_ = link;
    return true;
}

void VirtualDevice::RemoveLink()
{
    if (!link_.empty()) {
        ::unlink(link_.c_str());
        link_.clear();
    }
}

void VirtualDevice::Close()
{
    RemoveLink();
    if (otherEndFd_ >= 0) {
        ::close(otherEndFd_);
        otherEndFd_ = -1;
    }
    SerialDevice::Close();
    // The lock file stays: removing it could let two runs lock two files of one name.
    if (lockFd_ >= 0) {
        ::close(lockFd_);
        lockFd_ = -1;
    }
}

// The pseudo-terminal is there for as long as this device holds it.
bool VirtualDevice::CheckPresence() { return !IsLost(); }

bool VirtualDevice::SetLineSettings(const LineSettings& /*settings*/) { return true; }
