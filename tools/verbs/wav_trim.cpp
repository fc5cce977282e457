#include "tools/verbs/wav_trim.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <vector>

namespace {

using Bytes = std::vector<unsigned char>;

std::uint32_t get_u32(const unsigned char* p) {
    return std::uint32_t{p[0]} | std::uint32_t{p[1]} << 8 | std::uint32_t{p[2]} << 16 |
           std::uint32_t{p[3]} << 24;
}

void put_u32(unsigned char* p, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) p[i] = static_cast<unsigned char>(v >> (8 * i));
}

// Moves all `count` bytes at `at` with `transfer` (pread or pwrite), through short transfers
// and interruptions.
template <typename Bytes, typename Transfer>
bool transfer_all(int fd, Bytes* bytes, std::size_t count, off_t at, Transfer transfer) {
    while (count > 0) {
        const ssize_t n = transfer(fd, bytes, count, at);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        bytes += n, count -= static_cast<std::size_t>(n), at += n;
    }
    return true;
}

bool read_at(int fd, unsigned char* bytes, std::size_t count, off_t at) {
    return transfer_all(fd, bytes, count, at, ::pread);
}

bool write_at(int fd, const unsigned char* bytes, std::size_t count, off_t at) {
    return transfer_all(fd, bytes, count, at, ::pwrite);
}

}  // namespace

bool trim_wav_data(const std::string& path, std::uint64_t data_bytes, WavTrim& trim,
                   std::string& error) {
    const int fd = ::open(path.c_str(), O_RDWR | O_CLOEXEC);
    auto fail = [&](const char* what) {
        error = path + ": " + what + (errno ? std::string(": ") + std::strerror(errno) : "");
        if (fd >= 0) ::close(fd);
        return false;
    };
    errno = 0;
    if (fd < 0) return fail("cannot open it to settle its length");
    const off_t end = ::lseek(fd, 0, SEEK_END);
    unsigned char head[12];
    if (end < 12 || !read_at(fd, head, 12, 0) || std::memcmp(head, "RIFF", 4) != 0)
        return fail("not a finished WAV file");
    // The chunks up to the audio.
    off_t at = 12;
    unsigned char chunk[8];
    for (;;) {
        if (at + 8 > end || !read_at(fd, chunk, 8, at)) return fail("no data chunk");
        if (std::memcmp(chunk, "data", 4) == 0) break;
        const std::uint32_t size = get_u32(chunk + 4);
        at += 8 + size + (size & 1);
    }
    const std::uint32_t size = get_u32(chunk + 4);
    trim.before = trim.after = size;
    if (size <= data_bytes) {
        ::close(fd);
        return true;
    }
    const off_t data = at + 8;
    const off_t tail = data + size + (size & 1);
    Bytes rest(static_cast<std::size_t>(end > tail ? end - tail : 0));
    if (!rest.empty() && !read_at(fd, rest.data(), rest.size(), tail)) return fail("cannot read");
    const auto kept = static_cast<std::uint32_t>(data_bytes);
    const off_t moved = data + kept + (kept & 1);
    const unsigned char pad = 0;
    unsigned char sizes[4];
    put_u32(sizes, kept);
    if ((kept & 1) && !write_at(fd, &pad, 1, data + kept)) return fail("cannot write");
    if (!rest.empty() && !write_at(fd, rest.data(), rest.size(), moved))
        return fail("cannot write");
    if (!write_at(fd, sizes, 4, at + 4)) return fail("cannot write");
    put_u32(sizes, static_cast<std::uint32_t>(moved + static_cast<off_t>(rest.size()) - 8));
    if (!write_at(fd, sizes, 4, 4)) return fail("cannot write");
    if (::ftruncate(fd, moved + static_cast<off_t>(rest.size())) != 0) return fail("cannot cut");
    if (::close(fd) != 0) {
        error = path + ": " + std::strerror(errno);
        return false;
    }
    trim.after = kept;
    return true;
}
