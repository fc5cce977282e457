// An anonymous in-memory file with a path, so fuzz inputs reach the readers through the same
// open/read calls as real files without touching the disk.
#pragma once

#include <sys/mman.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <string>

namespace quillon::fuzz {

class MemFile {
  public:
    explicit MemFile(const char* name) : m_fd(memfd_create(name, 0)) {
        if (m_fd < 0) __builtin_trap();
        m_path = "/proc/self/fd/" + std::to_string(m_fd);
    }
    MemFile(const MemFile&) = delete;
    MemFile& operator=(const MemFile&) = delete;
    ~MemFile() { close(m_fd); }

    void assign(const std::uint8_t* data, std::size_t size) {
        if (ftruncate(m_fd, 0) != 0) __builtin_trap();
        std::size_t done = 0;
        while (done < size) {
            ssize_t n = pwrite(m_fd, data + done, size - done, static_cast<off_t>(done));
            if (n <= 0) __builtin_trap();
            done += static_cast<std::size_t>(n);
        }
    }
    const std::string& path() const { return m_path; }

  private:
    int m_fd;
    std::string m_path;
};

}  // namespace quillon::fuzz
