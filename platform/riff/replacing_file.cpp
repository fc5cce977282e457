#include "platform/riff/replacing_file.h"

#include <fcntl.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <utility>

namespace quillon::riff {

namespace {

// ".~NAME-PID-N.EXT": hidden, unlikely to clash, and with the destination's extension.
std::filesystem::path temporary_name(const std::filesystem::path& destination, unsigned attempt) {
    static std::atomic<unsigned> counter{0};
    const auto name = ".~" + destination.stem().string() + "-" + std::to_string(::getpid()) + "-" +
                      std::to_string(counter++) + "-" + std::to_string(attempt) +
                      destination.extension().string();
    return destination.parent_path() / name;
}

}  // namespace

ReplacingFile::ReplacingFile(ReplacingFile&& other) noexcept
    : m_destination(std::move(other.m_destination)),
      m_temporary(std::exchange(other.m_temporary, {})),
      m_error(std::move(other.m_error)),
      m_errno(other.m_errno) {}

ReplacingFile& ReplacingFile::operator=(ReplacingFile&& other) noexcept {
    if (this != &other) {
        abandon();
        m_destination = std::move(other.m_destination);
        m_temporary = std::exchange(other.m_temporary, {});
        m_error = std::move(other.m_error);
        m_errno = other.m_errno;
    }
    return *this;
}

ReplacingFile::~ReplacingFile() {
    abandon();
}

bool ReplacingFile::create(const std::filesystem::path& destination) {
    abandon();
    m_error.clear();
    m_errno = 0;
    m_destination = destination;
    for (unsigned attempt = 0; attempt < 100; ++attempt) {
        const auto candidate = temporary_name(destination, attempt);
        // 0666 so that the finished file gets the permissions the umask gives any new file.
        const int fd = ::open(candidate.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd >= 0) {
            if (::close(fd) != 0) {
                fail("cannot create " + candidate.string());
                ::unlink(candidate.c_str());
                return false;
            }
            m_temporary = candidate;
            return true;
        }
        if (errno != EEXIST) {
            const auto folder =
                destination.has_parent_path() ? destination.parent_path().string() : ".";
            fail("cannot write into " + folder);
            return false;
        }
    }
    errno = EEXIST;
    fail("cannot find a free temporary name beside " + destination.string());
    return false;
}

bool ReplacingFile::commit() {
    if (m_temporary.empty()) {
        m_error = "nothing was written for " + m_destination.string();
        return false;
    }
    if (::rename(m_temporary.c_str(), m_destination.c_str()) != 0) {
        fail("cannot replace " + m_destination.string());
        abandon();
        return false;
    }
    m_temporary.clear();
    return true;
}

void ReplacingFile::fail(const std::string& what) {
    m_errno = errno;
    m_error = what + ": " + std::strerror(m_errno);
}

void ReplacingFile::abandon() {
    if (m_temporary.empty()) return;
    ::unlink(m_temporary.c_str());
    m_temporary.clear();
}

}  // namespace quillon::riff
