#include "platform/codec/mp3_file.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>
#include <utility>

#include "platform/codec/lame_encoder.h"
#include "platform/codec/mpeg_frame.h"
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

// The bit rate of the MPEG table nearest `kbps` (the lower one of two as near), as LAME takes
// it for a constant bit rate.
DWORD table_kbps(DWORD rate, DWORD kbps) {
    const std::span<const DWORD> table =
        rate >= 32000 ? std::span<const DWORD>(kMpeg1Kbps) : std::span<const DWORD>(kMpeg2Kbps);
    DWORD best = table.front();
    for (DWORD k : table)
        if ((k > kbps ? k - kbps : kbps - k) < (best > kbps ? best - kbps : kbps - best)) best = k;
    return best;
}

// CRC-16 as the LAME tag uses it: polynomial 0x8005 with its bits reflected, starting at 0. A
// byte at a time from a table, since it runs over every byte of the file.
constexpr std::array<std::uint16_t, 256> kCrc16Table = [] {
    std::array<std::uint16_t, 256> table{};
    for (unsigned i = 0; i < 256; ++i) {
        std::uint16_t crc = static_cast<std::uint16_t>(i);
        for (int k = 0; k < 8; ++k) crc = (crc & 1) ? (crc >> 1) ^ 0xA001 : crc >> 1;
        table[i] = crc;
    }
    return table;
}();

std::uint16_t crc16(std::uint16_t crc, std::span<const BYTE> bytes) {
    for (BYTE b : bytes) crc = static_cast<std::uint16_t>(crc >> 8 ^ kCrc16Table[(crc ^ b) & 0xFF]);
    return crc;
}

void put_be(BYTE* at, std::uint32_t value, int bytes) {
    for (int i = 0; i < bytes; ++i) at[i] = static_cast<BYTE>(value >> (8 * (bytes - 1 - i)));
}

// The info frame of a constant-bit-rate stream whose own bit rate is too low for one: the frame
// takes the smallest bit rate that holds it, and the same fields LAME writes (frame and byte
// counts, a seek table, delay and padding, CRCs).
struct InfoFrame {
    DWORD rate;
    WORD channels;
    DWORD kbps;  // of the stream

    bool mpeg1() const { return rate >= 32000; }
    std::size_t side_info() const {
        return mpeg1() ? (channels == 1 ? 17 : 32) : (channels == 1 ? 9 : 17);
    }
    std::size_t bytes_at(DWORD k) const { return (mpeg1() ? 144000 : 72000) * k / rate; }
    // The smallest bit rate whose frame holds the tag: readers that seek by the average bit rate
    // count this frame's bytes as audio, so it should be no larger than it must.
    DWORD header_kbps() const {
        const std::span<const DWORD> table =
            mpeg1() ? std::span<const DWORD>(kMpeg1Kbps) : std::span<const DWORD>(kMpeg2Kbps);
        for (DWORD k : table)
            if (bytes_at(k) >= 4 + side_info() + 156) return k;
        return table.back();
    }
    int kbps_index() const {
        const std::span<const DWORD> table =
            mpeg1() ? std::span<const DWORD>(kMpeg1Kbps) : std::span<const DWORD>(kMpeg2Kbps);
        return static_cast<int>(std::find(table.begin(), table.end(), header_kbps()) -
                                table.begin()) +
               1;
    }
    std::size_t size() const { return bytes_at(header_kbps()); }

    std::vector<BYTE> build(std::uint32_t frames, std::uint32_t bytes, int delay, int padding,
                            int lowpass_hz, std::uint16_t music_crc) const {
        std::vector<BYTE> f(size(), 0);
        const int version = mpeg1() ? 3 : rate >= 16000 ? 2 : 0;
        const int rate_index = rate % 11025 == 0 ? 0 : rate % 12000 == 0 ? 1 : 2;
        f[0] = 0xFF;
        f[1] = static_cast<BYTE>(0xE0 | version << 3 | 1 << 1 | 1);  // Layer III, no CRC
        f[2] = static_cast<BYTE>(kbps_index() << 4 | rate_index << 2);
        f[3] = channels == 1 ? 0xC0 : 0x40;  // mono, or joint stereo as LAME encodes
        BYTE* t = f.data() + 4 + side_info();
        // "Xing", not "Info": readers take an "Info" stream for one of the bit rate in this
        // frame's header and would seek by that.
        std::memcpy(t, "Xing", 4);
        put_be(t + 4, 0x0F, 4);  // frames, bytes, seek table and quality follow
        put_be(t + 8, frames, 4);
        put_be(t + 12, bytes, 4);
        // Where each hundredth of the time starts, in 256ths of the bytes from this frame on;
        // the frames after this one are all of one size.
        const double audio = static_cast<double>(bytes) - static_cast<double>(size());
        for (int i = 0; i < 100; ++i)
            t[16 + i] = static_cast<BYTE>(
                std::min(255.0, 256.0 * (static_cast<double>(size()) + audio * i / 100) / bytes));
        put_be(t + 116, 0, 4);  // quality: not told
        BYTE* lame = t + 120;
        const std::string version_text = std::string("LAME") + get_lame_short_version();
        std::memcpy(lame, version_text.data(), std::min<std::size_t>(9, version_text.size()));
        lame[9] = 0x01;  // tag revision 0, constant bit rate
        lame[10] = static_cast<BYTE>(std::min(lowpass_hz / 100, 255));
        lame[20] = static_cast<BYTE>(std::min<DWORD>(kbps, 255));
        lame[21] = static_cast<BYTE>(delay >> 4);
        lame[22] = static_cast<BYTE>((delay & 0xF) << 4 | (padding >> 8 & 0xF));
        lame[23] = static_cast<BYTE>(padding & 0xFF);
        put_be(lame + 28, bytes, 4);
        put_be(lame + 32, music_crc, 2);
        const auto covered = static_cast<std::size_t>(lame + 34 - f.data());
        put_be(lame + 34, crc16(0, {f.data(), covered}), 2);
        return f;
    }
};

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
        if (!settings.average) m_settings.kbps = table_kbps(settings.rate, settings.kbps);
        if (!m_file.create(destination)) return fail_with(m_file.error(), m_file.system_error());
        LameSettings lame;
        lame.rate = static_cast<int>(settings.rate);
        lame.channels = settings.channels;
        lame.kbps = static_cast<int>(m_settings.kbps);
        lame.average = settings.average;
        lame.quality = settings.quality;
        m_own_info = !settings.average && !info_frame_fits(lame.rate, lame.channels, lame.kbps);
        lame.info_frame = !m_own_info;
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
        // Room for our own info frame; LAME reserves room for its own in its first frame.
        if (m_own_info) m_out.resize(m_tag_bytes + own_info_frame().size(), 0);
        m_audio_start = m_out.size();
        return true;
    }

    bool write(std::span<const std::int16_t> samples) {
        if (failed() || m_finished) return false;
        if (!lame_encode(m_lame.get(), samples, m_settings.channels, m_out))
            return fail_with("the MP3 encoder failed on " + destination().string(), 0);
        return m_out.size() < kWriteBatch || write_out();
    }

    bool finish() {
        if (failed() || m_finished) return false;
        if (!lame_flush(m_lame.get(), m_out))
            return fail_with("the MP3 encoder failed on " + destination().string(), 0);
        if (!write_out()) return false;
        // The info frame goes right after the tag.
        std::vector<BYTE> info(4096);
        if (m_own_info) {
            info = own_info_frame().build(
                static_cast<std::uint32_t>(frames()),
                static_cast<std::uint32_t>(m_written - static_cast<off_t>(m_tag_bytes)),
                lame_get_encoder_delay(m_lame.get()), lame_get_encoder_padding(m_lame.get()),
                lame_get_lowpassfreq(m_lame.get()), m_music_crc);
        } else {
            // LAME left its first frame empty for it.
            const std::size_t size = lame_get_lametag_frame(m_lame.get(), info.data(), info.size());
            if (size == 0 || size > info.size())
                return fail_with("the MP3 encoder made no info frame for " + destination().string(),
                                 0);
            info.resize(size);
        }
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
    const Failure& failure() const { return m_failure; }

  private:
    InfoFrame own_info_frame() const {
        return {m_settings.rate, m_settings.channels, m_settings.kbps};
    }

    bool write_out() {
        // The music CRC covers the frames after the info frame.
        const auto audio_from = static_cast<std::size_t>(std::clamp<off_t>(
            static_cast<off_t>(m_audio_start) - m_written, 0, static_cast<off_t>(m_out.size())));
        m_music_crc = crc16(m_music_crc, std::span<const BYTE>(m_out).subspan(audio_from));
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
    bool failed() const { return !m_failure.text.empty(); }
    bool fail_with(std::string message, int error) {
        if (!failed()) m_failure = {std::move(message), error};
        m_file.abandon();
        return false;
    }

    Mp3FileSettings m_settings;
    riff::ReplacingFile m_file;
    FdCloser m_fd;
    LamePtr m_lame;
    std::vector<BYTE> m_out;  // encoded bytes not yet in the file
    std::size_t m_tag_bytes = 0;
    std::size_t m_audio_start = 0;  // file offset of the first audio frame
    bool m_own_info = false;        // the info frame is ours, not LAME's
    std::uint16_t m_music_crc = 0;
    off_t m_written = 0;
    bool m_finished = false;
    Failure m_failure;
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
                                                     Failure& failure) {
    auto impl = std::make_unique<Impl>();
    if (!impl->open(destination, settings)) {
        failure = impl->failure();
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
const Mp3FileWriter::Failure& Mp3FileWriter::failure() const {
    return m_impl->failure();
}

}  // namespace quillon::codec
