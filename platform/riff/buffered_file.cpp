#include "platform/riff/buffered_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "platform/base/out_of_memory.h"
#include "platform/riff/mmio.h"

namespace quillon::riff {
namespace {

MMRESULT open_error(int error) {
    switch (error) {
        case ENOENT:
            return MMIOERR_FILENOTFOUND;
        case ENOTDIR:
            return MMIOERR_PATHNOTFOUND;
        case EACCES:
        case EPERM:
        case EROFS:
            return MMIOERR_ACCESSDENIED;
        case EMFILE:
        case ENFILE:
            return MMIOERR_TOOMANYOPENFILES;
        case ENOMEM:
            return MMIOERR_OUTOFMEMORY;
        default:
            return MMIOERR_CANNOTOPEN;
    }
}

// pread/pwrite until done, end of file or a real error; EINTR and short transfers are retried.
std::int64_t pread_all(int fd, char* bytes, std::size_t count, std::int64_t offset) {
    std::size_t done = 0;
    while (done < count) {
        ssize_t got = ::pread(fd, bytes + done, count - done, offset + done);
        if (got < 0) {
            if (errno == EINTR) continue;
            return -1;
        }
        if (got == 0) break;
        done += static_cast<std::size_t>(got);
    }
    return static_cast<std::int64_t>(done);
}

bool pwrite_all(int fd, const char* bytes, std::size_t count, std::int64_t offset) {
    std::size_t done = 0;
    while (done < count) {
        ssize_t put = ::pwrite(fd, bytes + done, count - done, offset + done);
        if (put < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        if (put == 0) return false;
        done += static_cast<std::size_t>(put);
    }
    return true;
}

}  // namespace

MMRESULT BufferedFile::open(const char* path, Access access, bool create, std::size_t buffer_bytes,
                            std::unique_ptr<BufferedFile>& out) {
    out.reset();
    if (path == nullptr || *path == '\0') return MMIOERR_CANNOTOPEN;
    int flags = O_CLOEXEC;
    switch (access) {
        case Access::read:
            flags |= O_RDONLY;
            break;
        case Access::write:
            flags |= O_WRONLY;
            break;
        case Access::read_write:
            flags |= O_RDWR;
            break;
    }
    if (create) flags |= O_CREAT | O_TRUNC;
    int fd = ::open(path, flags, 0666);
    if (fd < 0) return open_error(errno);
    struct stat info {};
    if (::fstat(fd, &info) != 0 || S_ISDIR(info.st_mode)) {
        ::close(fd);
        return MMIOERR_CANNOTOPEN;
    }
    const bool made = or_out_of_memory(false, [&] {
        out.reset(new BufferedFile(fd, access, buffer_bytes));
        return true;
    });
    if (!made) {
        ::close(fd);
        return MMIOERR_OUTOFMEMORY;
    }
    return 0;
}

BufferedFile::BufferedFile(int fd, Access access, std::size_t buffer_bytes)
    : m_fd(fd), m_access(access), m_buffer(buffer_bytes) {}

BufferedFile::~BufferedFile() {
    if (m_fd >= 0) {
        write_buffer();
        ::close(m_fd);
    }
}

std::int64_t BufferedFile::read(std::span<char> bytes) {
    if (m_access == Access::write) return -1;
    std::size_t done = 0;
    while (done < bytes.size()) {
        if (m_position >= m_buffer_start &&
            m_position < m_buffer_start + static_cast<std::int64_t>(m_valid)) {
            std::size_t offset = static_cast<std::size_t>(m_position - m_buffer_start);
            std::size_t take = std::min(m_valid - offset, bytes.size() - done);
            std::memcpy(bytes.data() + done, m_buffer.data() + offset, take);
            done += take;
            m_position += static_cast<std::int64_t>(take);
            continue;
        }
        if (!write_buffer()) return -1;
        std::size_t left = bytes.size() - done;
        if (left >= m_buffer.size()) {
            // A large read goes straight to the caller's memory.
            std::int64_t got = pread_all(m_fd, bytes.data() + done, left, m_position);
            if (got < 0) return -1;
            done += static_cast<std::size_t>(got);
            m_position += got;
            break;
        }
        std::int64_t got = pread_all(m_fd, m_buffer.data(), m_buffer.size(), m_position);
        if (got < 0) return -1;
        m_buffer_start = m_position;
        m_valid = static_cast<std::size_t>(got);
        if (got == 0) break;
    }
    return static_cast<std::int64_t>(done);
}

std::int64_t BufferedFile::write(std::span<const char> bytes) {
    if (m_access == Access::read) return -1;
    std::size_t done = 0;
    const auto capacity = static_cast<std::int64_t>(m_buffer.size());
    while (done < bytes.size()) {
        // The buffer takes bytes that continue or overwrite what it mirrors, so it never holds
        // a gap of unknown file contents.
        if (m_position >= m_buffer_start &&
            m_position <= m_buffer_start + static_cast<std::int64_t>(m_valid) &&
            m_position < m_buffer_start + capacity) {
            std::size_t offset = static_cast<std::size_t>(m_position - m_buffer_start);
            std::size_t take = std::min(m_buffer.size() - offset, bytes.size() - done);
            std::memcpy(m_buffer.data() + offset, bytes.data() + done, take);
            mark_dirty(offset, offset + take);
            m_valid = std::max(m_valid, offset + take);
            done += take;
            m_position += static_cast<std::int64_t>(take);
            continue;
        }
        if (!write_buffer()) return -1;
        std::size_t left = bytes.size() - done;
        if (left >= m_buffer.size()) {
            m_valid = 0;  // the buffer's copy of this region would go stale
            if (!pwrite_all(m_fd, bytes.data() + done, left, m_position)) {
                lost(m_position + static_cast<std::int64_t>(done));
                return -1;
            }
            done += left;
            m_position += static_cast<std::int64_t>(left);
            break;
        }
        m_buffer_start = m_position;
        m_valid = 0;
    }
    return static_cast<std::int64_t>(done);
}

bool BufferedFile::seek(std::int64_t position) {
    if (position < 0) return false;
    m_position = position;
    return true;
}

std::int64_t BufferedFile::size() const {
    struct stat info {};
    if (::fstat(m_fd, &info) != 0) return -1;
    std::int64_t size = info.st_size;
    if (m_dirty_end > m_dirty_begin)
        size = std::max(size, m_buffer_start + static_cast<std::int64_t>(m_dirty_end));
    return size;
}

MMRESULT BufferedFile::close() {
    bool flushed = write_buffer();
    int closed = ::close(m_fd);
    m_fd = -1;
    if (!flushed || m_lost_from >= 0) return MMIOERR_CANNOTWRITE;
    return closed == 0 ? 0 : MMIOERR_CANNOTCLOSE;
}

bool BufferedFile::write_buffer() {
    if (m_dirty_end > m_dirty_begin) {
        const std::int64_t offset = m_buffer_start + static_cast<std::int64_t>(m_dirty_begin);
        bool ok =
            pwrite_all(m_fd, m_buffer.data() + m_dirty_begin, m_dirty_end - m_dirty_begin, offset);
        m_dirty_begin = m_dirty_end = 0;
        if (!ok) {
            lost(offset);
            m_valid = 0;  // what the file holds there is now unknown
            return false;
        }
    }
    return true;
}

bool BufferedFile::flush(bool sync) {
    if (!write_buffer()) return false;
    if (!sync) return true;
    int result;
    do result = ::fdatasync(m_fd);
    while (result != 0 && errno == EINTR);
    // A descriptor that cannot be synced (a pipe, a character device) has nothing to wait for.
    if (result != 0 && errno != EINVAL && errno != EROFS) {
        lost(0);  // which bytes did not make it is unknown
        return false;
    }
    return true;
}

bool BufferedFile::write_at(std::int64_t offset, std::span<const char> bytes) {
    if (m_access == Access::read || offset < 0) return false;
    if (!write_buffer()) return false;
    if (!pwrite_all(m_fd, bytes.data(), bytes.size(), offset)) {
        lost(offset);
        m_valid = 0;
        return false;
    }
    // Keep the buffer's copy of that region, if it has one, in step with the file.
    const std::int64_t begin = std::max(offset, m_buffer_start);
    const std::int64_t end =
        std::min<std::int64_t>(offset + static_cast<std::int64_t>(bytes.size()),
                               m_buffer_start + static_cast<std::int64_t>(m_valid));
    if (begin < end)
        std::memcpy(m_buffer.data() + (begin - m_buffer_start), bytes.data() + (begin - offset),
                    static_cast<std::size_t>(end - begin));
    return true;
}

bool BufferedFile::truncate(std::int64_t length) {
    if (m_access == Access::read || length < 0) return false;
    const std::int64_t buffer_end = m_buffer_start + static_cast<std::int64_t>(m_dirty_end);
    if (m_dirty_end > m_dirty_begin && buffer_end > length) {
        // Only what lies before the cut still needs writing.
        m_dirty_end = static_cast<std::size_t>(std::max(length - m_buffer_start, std::int64_t{0}));
        if (m_dirty_end <= m_dirty_begin) m_dirty_begin = m_dirty_end = 0;
    }
    if (!write_buffer()) return false;
    m_valid = std::min<std::size_t>(
        m_valid, static_cast<std::size_t>(std::max(length - m_buffer_start, std::int64_t{0})));
    int result;
    do result = ::ftruncate(m_fd, length);
    while (result != 0 && errno == EINTR);
    if (result != 0) return false;
    if (m_lost_from >= length) m_lost_from = -1;
    m_position = std::min(m_position, length);
    return true;
}

void BufferedFile::lost(std::int64_t offset) {
    m_lost_from = m_lost_from < 0 ? offset : std::min(m_lost_from, offset);
}

void BufferedFile::mark_dirty(std::size_t begin, std::size_t end) {
    if (m_dirty_end <= m_dirty_begin) {
        m_dirty_begin = begin;
        m_dirty_end = end;
    } else {
        m_dirty_begin = std::min(m_dirty_begin, begin);
        m_dirty_end = std::max(m_dirty_end, end);
    }
}

}  // namespace quillon::riff
