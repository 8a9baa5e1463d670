// file_stamp_posix.cpp - a file's stamp from stat().
#include <sys/stat.h>

#include "file_stamp.h"

namespace qmdc::iviconfig {
namespace {

std::int64_t nanoseconds(const timespec& time) {
    return static_cast<std::int64_t>(time.tv_sec) * 1'000'000'000 + time.tv_nsec;
}

}  // namespace

bool stampOf(const std::string& path, FileStamp& stamp) {
    struct stat st;
    if (::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return false;
    stamp = {static_cast<std::uint64_t>(st.st_dev), static_cast<std::uint64_t>(st.st_ino),
             static_cast<std::int64_t>(st.st_size), nanoseconds(st.st_mtim),
             nanoseconds(st.st_ctim)};
    return true;
}

}  // namespace qmdc::iviconfig
