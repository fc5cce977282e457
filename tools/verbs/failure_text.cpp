#include "tools/verbs/failure_text.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstring>
#include <filesystem>

namespace {

// Less free space than this cannot take another capture buffer.
constexpr std::uint64_t kFullBelowBytes = 1u << 20;
// A WAV file ends where its 32-bit sizes end; the last buffer of a recording ends up to one
// buffer (at most 100 s at 192000 bytes per second) short of it.
constexpr std::uint64_t kWavLimitBytes = 0xFFFFFFFFull;
constexpr std::uint64_t kWavLimitSlackBytes = 32ull << 20;

std::string folder_of(const std::string& path) {
    const auto parent = std::filesystem::path(path).parent_path();
    return parent.empty() ? "." : parent.string();
}

}  // namespace

std::string write_failure_reason(const std::string& path) {
    struct stat info {};
    const bool exists = ::stat(path.c_str(), &info) == 0;
    if (exists && !S_ISREG(info.st_mode) && !S_ISDIR(info.st_mode)) {
        // A device or pipe has no free space to ask about: one byte tells what it does.
        const int fd = ::open(path.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
        if (fd < 0) return std::strerror(errno);
        const char zero = 0;
        const bool written = ::write(fd, &zero, 1) == 1;
        const int error = errno;
        ::close(fd);
        return written ? "" : std::strerror(error);
    }
    struct statvfs space {};
    const std::string where = exists ? path : folder_of(path);
    if (::statvfs(where.c_str(), &space) == 0 &&
        std::uint64_t{space.f_bavail} * space.f_frsize < kFullBelowBytes)
        return "the disk is full";
    if (!exists && ::access(folder_of(path).c_str(), W_OK) != 0) return std::strerror(errno);
    return "";
}

bool at_wav_size_limit(const std::string& path) {
    std::error_code error;
    const auto size = std::filesystem::file_size(path, error);
    return !error && size + kWavLimitSlackBytes >= kWavLimitBytes;
}
