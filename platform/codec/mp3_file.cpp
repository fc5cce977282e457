#include "platform/codec/mp3_file.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <utility>

#include "platform/codec/lame_encoder.h"
#include "platform/riff/replacing_file.h"

namespace quillon::codec {

namespace {

constexpr DWORD kMp3Rates[] = {8000, 11025, 12000, 16000, 22050, 24000, 32000, 44100, 48000};
// Encoded bytes are gathered up to this many before they go to the file.
constexpr std::size_t kWriteBatch = 256 * 1024;

// The bit rates LAME encodes at each MPEG version (MPEG-2.5 stops at 64 kbit/s).
bool carries(DWORD rate, DWORD kbps) {
    if (rate >= 32000) return kbps >= 32 && kbps <= 320;
    if (rate >= 16000) return kbps >= 8 && kbps <= 160;
    return kbps >= 8 && kbps <= 64;
}

struct FdCloser {
    int fd = -1;
    FdCloser() = default;
    FdCloser(const FdCloser&) = delete;
    FdCloser& operator=(const FdCloser&) = delete;
    ~FdCloser() {
        if (fd >= 0) ::close(fd);
    }
    // Closes now and tells whether the system took every byte.
    bool close() {
        const int result = ::close(std::exchange(fd, -1));
        return result == 0;
    }
};

}  // namespace

class Mp3FileWriter::Impl {
  public:
    bool open(const std::filesystem::path& destination, const Mp3FileSettings& settings) {
        m_settings = settings;
        if (!m_file.create(destination)) return fail_with(m_file.error(), m_file.system_error());
        LameSettings lame;
        lame.rate = static_cast<int>(settings.rate);
        lame.channels = settings.channels;
        lame.kbps = static_cast<int>(settings.kbps);
        lame.average = settings.average;
        lame.quality = settings.quality;
        lame.info_frame = true;
        lame.samples = settings.expected_samples;
        m_lame = make_lame(lame);
        if (!m_lame)
            return fail_with("the MP3 encoder refuses " + std::to_string(settings.rate) + " Hz, " +
                                 std::to_string(settings.channels) + " channels at " +
                                 std::to_string(settings.kbps) + " kbit/s",
                             0);
        m_fd.fd = ::open(m_file.path().c_str(), O_WRONLY | O_TRUNC | O_CLOEXEC);
        if (m_fd.fd < 0) return fail_system("cannot write");
        m_out = id3v2_tag(settings.tags);
        m_tag_bytes = m_out.size();
        return true;
    }

    bool write(std::span<const std::int16_t> samples) {
        if (!m_error.empty() || m_finished) return false;
        if (!lame_encode(m_lame.get(), samples, m_settings.channels, m_out))
            return fail_with("the MP3 encoder failed on " + destination().string(), 0);
        return m_out.size() < kWriteBatch || write_out();
    }

    bool finish() {
        if (!m_error.empty() || m_finished) return false;
        if (!lame_flush(m_lame.get(), m_out))
            return fail_with("the MP3 encoder failed on " + destination().string(), 0);
        if (!write_out()) return false;
        // LAME left the first frame empty for the info frame; it goes right after the tag.
        std::vector<BYTE> info(4096);
        const std::size_t size = lame_get_lametag_frame(m_lame.get(), info.data(), info.size());
        if (size == 0 || size > info.size())
            return fail_with("the MP3 encoder made no info frame for " + destination().string(), 0);
        info.resize(size);
        if (!write_at(info, static_cast<off_t>(m_tag_bytes))) return false;
        // On the disk before the rename, so a crash leaves the old file or the whole new one.
        if (::fsync(m_fd.fd) != 0) return fail_system("cannot write");
        if (!m_fd.close()) return fail_system("cannot write");
        if (!m_file.commit()) return fail_with(m_file.error(), m_file.system_error());
        m_finished = true;
        return true;
    }

    std::uint64_t frames() const { return m_lame ? lame_get_frameNum(m_lame.get()) : 0; }
    std::uint64_t expected_frames() const {
        return m_lame && m_settings.expected_samples > 0 ? lame_get_totalframes(m_lame.get()) : 0;
    }
    const std::filesystem::path& destination() const { return m_file.destination(); }
    const std::string& error() const { return m_error; }
    int system_error() const { return m_errno; }

  private:
    bool write_out() {
        const bool ok = write_at(m_out, m_written);
        if (ok) m_written += static_cast<off_t>(m_out.size());
        m_out.clear();
        return ok;
    }

    bool write_at(std::span<const BYTE> bytes, off_t offset) {
        while (!bytes.empty()) {
            const ssize_t n = ::pwrite(m_fd.fd, bytes.data(), bytes.size(), offset);
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) return fail_system("cannot write");
            bytes = bytes.subspan(static_cast<std::size_t>(n));
            offset += n;
        }
        return true;
    }

    bool fail_system(const char* what) {
        const int error = errno;
        return fail_with(
            std::string(what) + " " + destination().string() + ": " + std::strerror(error), error);
    }
    bool fail_with(std::string message, int error) {
        if (m_error.empty()) {
            m_error = std::move(message);
            m_errno = error;
        }
        m_file.abandon();
        return false;
    }

    Mp3FileSettings m_settings;
    riff::ReplacingFile m_file;
    FdCloser m_fd;
    LamePtr m_lame;
    std::vector<BYTE> m_out;  // encoded bytes not yet in the file
    std::size_t m_tag_bytes = 0;
    off_t m_written = 0;
    bool m_finished = false;
    std::string m_error;
    int m_errno = 0;
};

DWORD Mp3FileWriter::rate_for(DWORD source_rate, DWORD kbps) {
    DWORD below = 0, above = 0;
    for (DWORD rate : kMp3Rates) {
        if (!carries(rate, kbps)) continue;
        if (rate == source_rate) return rate;
        if (rate < source_rate) below = rate;
        if (rate > source_rate && above == 0) above = rate;
    }
    return below != 0 ? below : above != 0 ? above : 48000;
}

std::unique_ptr<Mp3FileWriter> Mp3FileWriter::create(const std::filesystem::path& destination,
                                                     const Mp3FileSettings& settings,
                                                     std::string& error) {
    auto impl = std::make_unique<Impl>();
    if (!impl->open(destination, settings)) {
        error = impl->error();
        return nullptr;
    }
    return std::unique_ptr<Mp3FileWriter>(new Mp3FileWriter(std::move(impl)));
}

Mp3FileWriter::Mp3FileWriter(std::unique_ptr<Impl> impl) : m_impl(std::move(impl)) {}
Mp3FileWriter::~Mp3FileWriter() = default;

bool Mp3FileWriter::write(std::span<const std::int16_t> samples) {
    return m_impl->write(samples);
}
bool Mp3FileWriter::finish() {
    return m_impl->finish();
}
std::uint64_t Mp3FileWriter::frames() const {
    return m_impl->frames();
}
std::uint64_t Mp3FileWriter::expected_frames() const {
    return m_impl->expected_frames();
}
const std::filesystem::path& Mp3FileWriter::destination() const {
    return m_impl->destination();
}
const std::string& Mp3FileWriter::error() const {
    return m_impl->error();
}
int Mp3FileWriter::system_error() const {
    return m_impl->system_error();
}

}  // namespace quillon::codec
