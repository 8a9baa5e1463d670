// file_stamp_win32.cpp - a file's stamp from its handle: the volume serial
// number and file index stand for device and inode.
#include <windows.h>

#include "file_stamp.h"

namespace qmdc::iviconfig {
namespace {

// FILETIME counts 100 ns ticks since 1601.
constexpr std::int64_t kTicksFrom1601To1970 = 116'444'736'000'000'000;

std::int64_t nanoseconds(std::int64_t ticks) {
    return (ticks - kTicksFrom1601To1970) * 100;
}

std::uint64_t joined(DWORD high, DWORD low) {
    return (static_cast<std::uint64_t>(high) << 32) | low;
}

}  // namespace

bool stampOf(const std::string& path, FileStamp& stamp) {
    // No access to the data is asked for, and others may go on writing,
    // renaming or deleting the file meanwhile.
    const HANDLE file = ::CreateFileA(path.c_str(), FILE_READ_ATTRIBUTES,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                      nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    BY_HANDLE_FILE_INFORMATION info{};
    FILE_BASIC_INFO times{};
    const bool known =
        ::GetFileInformationByHandle(file, &info) &&
        ::GetFileInformationByHandleEx(file, FileBasicInfo, &times, sizeof times) &&
        (info.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_DEVICE)) == 0;
    ::CloseHandle(file);
    if (!known) return false;
    stamp = {info.dwVolumeSerialNumber, joined(info.nFileIndexHigh, info.nFileIndexLow),
             static_cast<std::int64_t>(joined(info.nFileSizeHigh, info.nFileSizeLow)),
             nanoseconds(times.LastWriteTime.QuadPart), nanoseconds(times.ChangeTime.QuadPart)};
    return true;
}

}  // namespace qmdc::iviconfig
