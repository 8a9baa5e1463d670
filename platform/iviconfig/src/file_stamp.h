// file_stamp.h - what tells one version of a file from another without
// reading it. Each platform fills it in its own file (file_stamp_*.cpp).
#pragma once

#include <cstdint>
#include <string>

namespace qmdc::iviconfig {

// Times are nanoseconds since 1970 (UTC), as the system clock counts them.
struct FileStamp {
    std::uint64_t device = 0;  // the file system
    std::uint64_t file = 0;    // the file on it (a replaced file is another)
    std::int64_t size = 0;
    std::int64_t modifiedNs = 0;
    std::int64_t changedNs = 0;  // the last change of its data or attributes

    bool operator==(const FileStamp& other) const {
        return device == other.device && file == other.file && size == other.size &&
               modifiedNs == other.modifiedNs && changedNs == other.changedNs;
    }
};

// The stamp of the regular file at `path`; false when there is none.
bool stampOf(const std::string& path, FileStamp& stamp);

}  // namespace qmdc::iviconfig
