#include "tools/verbs/standard_streams.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <iostream>

#include "control/engine/info_slots.h"
#include "control/engine/wav_file.h"

namespace {

constexpr DWORD kUnknownSize = 0xFFFFFFFF;

void put_u32(std::vector<BYTE>& out, DWORD v) {
    for (int i = 0; i < 4; ++i) out.push_back(static_cast<BYTE>(v >> (8 * i)));
}

DWORD get_u32(const BYTE* p) {
    return DWORD{p[0]} | DWORD{p[1]} << 8 | DWORD{p[2]} << 16 | DWORD{p[3]} << 24;
}

bool write_all(int fd, const BYTE* bytes, std::size_t count) {
    while (count > 0) {
        const ssize_t n = ::write(fd, bytes, count);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        bytes += n;
        count -= static_cast<std::size_t>(n);
    }
    return true;
}

}  // namespace

std::string shown_name(const std::string& path, bool output) {
    if (path != "-") return path;
    return output ? "standard output" : "standard input";
}

TemporaryFile::~TemporaryFile() {
    if (!m_path.empty()) ::unlink(m_path.c_str());
}

bool TemporaryFile::create(const std::string& suffix, std::string& error) {
    const char* folder = std::getenv("TMPDIR");
    std::string name =
        std::string(folder && *folder ? folder : "/tmp") + "/kelvane-XXXXXX" + suffix;
    const int fd = ::mkstemps(name.data(), static_cast<int>(suffix.size()));
    if (fd < 0) {
        error = "cannot make a temporary file in " + name.substr(0, name.rfind('/')) + ": " +
                std::strerror(errno);
        return false;
    }
    ::close(fd);
    m_path = name;
    return true;
}

namespace {

bool copy_standard_input(TemporaryFile& file, std::string& error) {
    if (!file.create(".in", error)) return false;
    const int out = ::open(file.path().c_str(), O_WRONLY | O_TRUNC | O_CLOEXEC);
    if (out < 0) {
        error = file.path() + ": " + std::strerror(errno);
        return false;
    }
    std::vector<BYTE> buffer(1 << 16);
    bool ok = true;
    for (;;) {
        const ssize_t n = ::read(STDIN_FILENO, buffer.data(), buffer.size());
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            error = std::string("standard input: ") + std::strerror(errno);
            ok = false;
            break;
        }
        if (n == 0) break;
        if (!write_all(out, buffer.data(), static_cast<std::size_t>(n))) {
            error = file.path() + ": " + std::strerror(errno);
            ok = false;
            break;
        }
    }
    if (::close(out) != 0 && ok) {
        error = file.path() + ": " + std::strerror(errno);
        ok = false;
    }
    return ok;
}

}  // namespace

std::string readable_path(const std::string& file, TemporaryFile& copy, std::string_view verb) {
    if (file != "-") return file;
    std::string error;
    if (copy_standard_input(copy, error)) return copy.path();
    std::cerr << "kelvane " << verb << ": " << error << "\n";
    return {};
}

WavPipe::~WavPipe() {
    if (m_fd >= 0) ::close(m_fd);
}

bool WavPipe::create(std::string& error) {
    return m_file.create(".wav", error);
}

void WavPipe::expect(std::optional<std::uint64_t> data_bytes, DWORD tail_bytes, BYTE silence) {
    m_expected = data_bytes;
    m_tail_bytes = tail_bytes;
    m_silence = silence;
}

bool WavPipe::send(const BYTE* bytes, std::size_t count) {
    return write_all(STDOUT_FILENO, bytes, count);
}

bool WavPipe::send_file(std::uint64_t from, std::uint64_t count) {
    std::vector<BYTE> buffer(std::min<std::uint64_t>(count, 1 << 16));
    while (count > 0) {
        const std::size_t want =
            static_cast<std::size_t>(std::min<std::uint64_t>(count, buffer.size()));
        const ssize_t n = ::pread(m_fd, buffer.data(), want, static_cast<off_t>(from));
        if (n <= 0) return n == 0;  // not on disk yet
        if (!send(buffer.data(), static_cast<std::size_t>(n))) return false;
        from += static_cast<std::uint64_t>(n);
        count -= static_cast<std::uint64_t>(n);
    }
    return true;
}

bool WavPipe::read_header() {
    if (m_fd < 0) m_fd = ::open(path().c_str(), O_RDONLY | O_CLOEXEC);
    if (m_fd < 0) return false;
    BYTE head[4096];
    const ssize_t got = ::pread(m_fd, head, sizeof head, 0);
    if (got < 12) return false;
    for (std::size_t at = 12; at + 8 <= static_cast<std::size_t>(got);) {
        const DWORD size = get_u32(head + at + 4);
        if (std::memcmp(head + at, "data", 4) == 0) {
            m_chunks.assign(head + 12, head + at);
            m_data_at = at + 8;
            return true;
        }
        at += 8 + size + (size & 1);
    }
    return false;
}

bool WavPipe::pump() {
    if (!m_header_sent) {
        if (!read_header()) return true;  // the header is not on disk yet
        std::vector<BYTE> header = {'R', 'I', 'F', 'F'};
        const std::uint64_t data = m_expected.value_or(kUnknownSize);
        const std::uint64_t riff = 4 + m_chunks.size() + 8 + data + (data & 1) + m_tail_bytes;
        put_u32(header,
                m_expected && riff <= kUnknownSize ? static_cast<DWORD>(riff) : kUnknownSize);
        header.insert(header.end(), {'W', 'A', 'V', 'E'});
        header.insert(header.end(), m_chunks.begin(), m_chunks.end());
        header.insert(header.end(), {'d', 'a', 't', 'a'});
        put_u32(header, static_cast<DWORD>(std::min<std::uint64_t>(data, kUnknownSize)));
        if (!send(header.data(), header.size())) return false;
        m_header_sent = true;
    }
    struct stat st {};
    if (::fstat(m_fd, &st) != 0) return false;
    std::uint64_t available =
        static_cast<std::uint64_t>(st.st_size) > m_data_at ? st.st_size - m_data_at : 0;
    if (m_expected) available = std::min(available, *m_expected);
    if (available <= m_sent) return true;
    const std::uint64_t from = m_sent;
    m_sent = available;
    return send_file(m_data_at + from, available - from);
}

bool WavPipe::finish() {
    if (!pump()) return false;
    if (!m_header_sent) return false;  // the control never wrote the file
    BYTE size[4];
    if (::pread(m_fd, size, 4, static_cast<off_t>(m_data_at - 4)) != 4) return false;
    const std::uint64_t recorded = get_u32(size);
    m_recorded = recorded;
    const std::uint64_t wanted = m_expected.value_or(recorded);
    const std::uint64_t end = std::min(recorded, wanted);
    if (end > m_sent && !send_file(m_data_at + m_sent, end - m_sent)) return false;
    m_sent = std::max(m_sent, end);
    if (!m_expected) return true;
    // A recording that ended early is padded with silence to the length announced.
    std::vector<BYTE> pad(1 << 16, m_silence);
    while (m_sent < wanted) {
        const std::size_t n =
            static_cast<std::size_t>(std::min<std::uint64_t>(wanted - m_sent, pad.size()));
        if (!send(pad.data(), n)) return false;
        m_sent += n;
    }
    if (wanted & 1) {
        const BYTE zero = 0;
        if (!send(&zero, 1)) return false;
    }
    const std::uint64_t tail = m_data_at + recorded + (recorded & 1);
    struct stat st {};
    if (::fstat(m_fd, &st) != 0) return false;
    if (static_cast<std::uint64_t>(st.st_size) != tail + m_tail_bytes) {
        // The texts are not what the header announced: leave them out rather than send a
        // stream whose sizes lie. (Readers take a short RIFF chunk as it comes.)
        return true;
    }
    return send_file(tail, m_tail_bytes);
}

DWORD info_chunk_bytes(const std::vector<std::pair<std::string, std::string>>& texts) {
    kelvane::engine::InfoTexts info;
    for (const auto& [id, text] : texts) {
        if (id == "DISP") {
            info.display_name = text;
            continue;
        }
        const int slot = kelvane::engine::info_slot_index(mmioFOURCC(id[0], id[1], id[2], id[3]));
        if (slot >= 0) info.slots[static_cast<std::size_t>(slot)] = text;
    }
    TemporaryFile scratch;
    std::string error;
    if (!scratch.create(".chunks", error)) return 0;
    MMIOINFO mmio{};
    UniqueHmmio file(mmioOpen(scratch.path().c_str(), &mmio, MMIO_CREATE | MMIO_READWRITE));
    if (!file) return 0;
    kelvane::engine::write_info_chunks(file.get(), info);
    const LONG size = mmioSeek(file.get(), 0, SEEK_END);
    return size > 0 ? static_cast<DWORD>(size) : 0;
}
