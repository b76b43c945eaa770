#include "platform/CaptureFile.h"

#include <algorithm>
#include <cerrno>
#include <windows.h>

#include "platform/win32/Win32Text.h"

namespace {

DWORD Disposition(CaptureOpen mode)
{
    switch (mode) {
    case CaptureOpen::CreateNew:
        return CREATE_NEW;
    case CaptureOpen::Truncate:
        return CREATE_ALWAYS;
    case CaptureOpen::Append:
        break;
    }
    return OPEN_ALWAYS;
}

HANDLE HandleOf(std::intptr_t handle) { return reinterpret_cast<HANDLE>(handle); }

bool Identify(HANDLE file, std::uint64_t& volume, std::uint64_t& id, std::uint64_t& size)
{
    BY_HANDLE_FILE_INFORMATION information{};
    if (!::GetFileInformationByHandle(file, &information)) {
        return false;
    }
    volume = information.dwVolumeSerialNumber;
    id = (std::uint64_t{information.nFileIndexHigh} << 32) | information.nFileIndexLow;
    size = (std::uint64_t{information.nFileSizeHigh} << 32) | information.nFileSizeLow;
    return true;
}

}  // namespace

CaptureFile::~CaptureFile() { Close(); }

int CaptureFile::Open(const std::string& path, CaptureOpen mode, std::uint64_t& size)
{
    Close();
    // Appending: every write goes to the end, also when another program wrote meanwhile.
    const DWORD access = mode == CaptureOpen::Append ? FILE_APPEND_DATA : GENERIC_WRITE;
    const HANDLE file = ::CreateFileW(WideFromUtf8(path).c_str(), access, FILE_SHARE_READ | FILE_SHARE_DELETE,
                                      nullptr, Disposition(mode), FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return ErrnoFromLastError();
    }
    if (::GetFileType(file) != FILE_TYPE_DISK) {
        ::CloseHandle(file);
        return EINVAL;
    }
    if (!Identify(file, volumeId_, fileId_, size)) {
        const int error = ErrnoFromLastError();
        ::CloseHandle(file);
        return error;
    }
    handle_ = reinterpret_cast<std::intptr_t>(file);
    path_ = path;
    return 0;
}

bool CaptureFile::IsOpen() const { return handle_ != -1; }

long CaptureFile::Write(const char* bytes, std::size_t count)
{
    DWORD written = 0;
    const DWORD piece = static_cast<DWORD>(std::min<std::size_t>(count, 1u << 30));
    if (!::WriteFile(HandleOf(handle_), bytes, piece, &written, nullptr)) {
        ErrnoFromLastError();
        return -1;
    }
    return static_cast<long>(written);
}

int CaptureFile::Close()
{
    if (handle_ == -1) {
        return 0;
    }
    const int error = ::CloseHandle(HandleOf(handle_)) ? 0 : ErrnoFromLastError();
    handle_ = -1;
    return error;
}

bool CaptureFile::StillThere() const
{
    const HANDLE file = ::CreateFileW(WideFromUtf8(path_).c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                      nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return false;
    }
    std::uint64_t volume = 0;
    std::uint64_t id = 0;
    std::uint64_t size = 0;
    const bool same = Identify(file, volume, id, size) && volume == volumeId_ && id == fileId_;
    ::CloseHandle(file);
    return same;
}
