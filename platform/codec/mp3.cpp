// MPEG Layer-3 (tag 0x55, the 30-byte format): LAME encodes, mpg123 decodes. Both stream, so
// their output lags their input; the manager buffers what does not fit the caller's room.
#include <mpg123.h>

#include <algorithm>
#include <mutex>
#include <optional>

#include "platform/codec/driver.h"
#include "platform/codec/lame_encoder.h"
#include "platform/codec/mpeg_frame.h"

namespace quillon::codec {

namespace {

constexpr WORD kTag[] = {WAVE_FORMAT_MPEGLAYER3};
constexpr WORD kCodecDelay = 1393;  // samples, as the MP3 stream file announces it
// LAME's quality 5 (its "-q 5") keeps encoding several times faster than real time even at
// 48 kHz stereo inside the engine tick, at a loss the bit rate hides far more than the
// slower searches of 0-4 would win back.
constexpr int kLameQuality = 5;

enum class Version { mpeg1, mpeg2, mpeg25 };

std::optional<Version> version_of(DWORD rate) {
    switch (rate) {
        case 32000:
        case 44100:
        case 48000:
            return Version::mpeg1;
        case 16000:
        case 22050:
        case 24000:
            return Version::mpeg2;
        case 8000:
        case 11025:
        case 12000:
            return Version::mpeg25;
        default:
            return std::nullopt;
    }
}

// The bit rates the MP3 stream file can write a header for.
constexpr DWORD kListedMpeg1Kbps[] = {32, 48, 56, 64, 96, 112, 128};
constexpr DWORD kListedMpeg2Kbps[] = {8, 16, 24, 32, 48, 56, 64, 96, 112, 128};
constexpr DWORD kListedRates[] = {8000, 11025, 12000, 16000, 22050, 24000, 32000, 44100, 48000};

// 80 kbit/s is announced as 10050 bytes per second, every other rate as kbit/s * 125.
DWORD avg_bytes(DWORD kbps) {
    return kbps == 80 ? 10050 : kbps * 125;
}
DWORD kbps_of(DWORD avg) {
    return avg == 10050 ? 80 : (avg % 125 == 0 ? avg / 125 : 0);
}

bool kbps_allowed(Version v, DWORD kbps) {
    const auto& table = v == Version::mpeg1 ? std::span<const DWORD>(kMpeg1Kbps)
                                            : std::span<const DWORD>(kMpeg2Kbps);
    return std::find(table.begin(), table.end(), kbps) != table.end();
}

bool decodable(const WAVEFORMATEX& wfx) {
    return wfx.nChannels >= 1 && wfx.nChannels <= 2 && version_of(wfx.nSamplesPerSec).has_value();
}

bool encodable(const WAVEFORMATEX& wfx) {
    const auto v = version_of(wfx.nSamplesPerSec);
    return decodable(wfx) && kbps_allowed(*v, kbps_of(wfx.nAvgBytesPerSec));
}

LamePtr make_lame(const WAVEFORMATEX& mp3) {
    LameSettings settings;
    settings.rate = static_cast<int>(mp3.nSamplesPerSec);
    settings.channels = mp3.nChannels;
    settings.kbps = static_cast<int>(kbps_of(mp3.nAvgBytesPerSec));
    settings.quality = kLameQuality;
    // The stream is written as it goes; an info frame at its start could never be filled in.
    settings.info_frame = false;
    return quillon::codec::make_lame(settings);
}

class Mp3Encoder final : public Converter {
  public:
    Mp3Encoder(const WAVEFORMATEX& mp3, LamePtr gf) : m_mp3(mp3), m_lame(std::move(gf)) {}
    Blocks blocks() const override { return {DWORD{2} * m_mp3.wfx().nChannels, 1}; }
    bool fixed_ratio() const override { return false; }
    DWORD src_rate() const override {
        return m_mp3.wfx().nSamplesPerSec * 2 * m_mp3.wfx().nChannels;
    }
    DWORD dst_rate() const override { return m_mp3.wfx().nAvgBytesPerSec; }

    bool convert(std::span<const BYTE> src, std::vector<BYTE>& out) override {
        if (!m_lame && !(m_lame = make_lame(m_mp3.wfx()))) return false;
        // The bytes need not be aligned for samples.
        m_pcm.resize(src.size() / 2);
        std::memcpy(m_pcm.data(), src.data(), m_pcm.size() * 2);
        return lame_encode(m_lame.get(), m_pcm, m_mp3.wfx().nChannels, out);
    }
    bool finish(std::span<const BYTE>, std::vector<BYTE>& out) override {
        if (!m_lame) return true;
        const bool flushed = lame_flush(m_lame.get(), out);
        m_lame.reset();  // a flushed encoder cannot go on; a further convert starts afresh
        return flushed;
    }
    void reset() override { m_lame.reset(); }

  private:
    WaveFormat m_mp3;
    LamePtr m_lame;
    std::vector<std::int16_t> m_pcm;
};

struct Mpg123Deleter {
    void operator()(mpg123_handle* h) const { mpg123_delete(h); }
};
using Mpg123Ptr = std::unique_ptr<mpg123_handle, Mpg123Deleter>;

// Layer III frame length from a 4-byte header, or 0 when the bytes are no usable header of the
// stream's rate (free format and reserved fields included).
std::size_t frame_length(const BYTE* h, DWORD rate) {
    const auto header = parse_mpeg_frame_header({h, 4});
    return header && header->rate == rate ? header->bytes : 0;
}

void init_mpg123() {
    static std::once_flag once;
    std::call_once(once, [] { mpg123_init(); });
}

class Mp3Decoder final : public Converter {
  public:
    static std::unique_ptr<Mp3Decoder> create(const WAVEFORMATEX& mp3) {
        auto d = std::unique_ptr<Mp3Decoder>(new Mp3Decoder(mp3));
        if (!d->open()) return nullptr;
        return d;
    }
    Blocks blocks() const override { return {1, DWORD{2} * m_mp3.wfx().nChannels}; }
    bool fixed_ratio() const override { return false; }
    DWORD src_rate() const override { return m_mp3.wfx().nAvgBytesPerSec; }
    DWORD dst_rate() const override {
        return m_mp3.wfx().nSamplesPerSec * 2 * m_mp3.wfx().nChannels;
    }

    bool convert(std::span<const BYTE> src, std::vector<BYTE>& out) override {
        if (!m_synced) {
            m_hold.insert(m_hold.end(), src.begin(), src.end());
            if (!find_sync()) return true;  // consumed into the hold; nothing to decode yet
            src = m_hold;
        }
        if (!src.empty() && mpg123_feed(m_handle.get(), src.data(), src.size()) != MPG123_OK)
            return reopen();
        m_hold.clear();
        return drain(out);
    }
    bool finish(std::span<const BYTE>, std::vector<BYTE>& out) override {
        if (!m_synced && !m_hold.empty()) {
            // A stream too short to confirm two frames: decode what there is.
            m_synced = true;
            mpg123_feed(m_handle.get(), m_hold.data(), m_hold.size());
            m_hold.clear();
        }
        return drain(out);
    }
    void reset() override { reopen(); }

  private:
    explicit Mp3Decoder(const WAVEFORMATEX& mp3) : m_mp3(mp3) {}

    bool open() {
        init_mpg123();
        int error = MPG123_OK;
        Mpg123Ptr h(mpg123_new(nullptr, &error));
        if (!h) return false;
        mpg123_param(h.get(), MPG123_ADD_FLAGS, MPG123_QUIET, 0);
        // One output format: the PCM partner. mpg123 mixes or duplicates channels to fit.
        mpg123_format_none(h.get());
        const int channels = m_mp3.wfx().nChannels == 1 ? MPG123_MONO : MPG123_STEREO;
        if (mpg123_format(h.get(), static_cast<long>(m_mp3.wfx().nSamplesPerSec), channels,
                          MPG123_ENC_SIGNED_16) != MPG123_OK ||
            mpg123_open_feed(h.get()) != MPG123_OK)
            return false;
        m_handle = std::move(h);
        m_synced = false;
        m_hold.clear();
        return true;
    }
    bool reopen() { return open() || true; }

    // After a start or a seek the bytes may begin anywhere; decoding starts at a header that a
    // second header confirms one frame later, so stray sync patterns in audio data never play.
    bool find_sync() {
        const DWORD rate = m_mp3.wfx().nSamplesPerSec;
        for (std::size_t at = 0; at + 4 <= m_hold.size(); ++at) {
            const std::size_t length = frame_length(&m_hold[at], rate);
            if (length == 0) continue;
            if (at + length + 4 > m_hold.size()) {
                m_hold.erase(m_hold.begin(), m_hold.begin() + static_cast<std::ptrdiff_t>(at));
                return false;  // wait for the confirming header
            }
            if (frame_length(&m_hold[at + length], rate) == 0) continue;
            m_hold.erase(m_hold.begin(), m_hold.begin() + static_cast<std::ptrdiff_t>(at));
            m_synced = true;
            return true;
        }
        // Nothing here; keep the last bytes, which may hold the start of a header.
        if (m_hold.size() > 3) m_hold.erase(m_hold.begin(), m_hold.end() - 3);
        return false;
    }

    bool drain(std::vector<BYTE>& out) {
        for (;;) {
            const std::size_t start = out.size();
            out.resize(start + kChunk);
            std::size_t done = 0;
            const int r = mpg123_read(m_handle.get(), out.data() + start, kChunk, &done);
            out.resize(start + done);
            if (r == MPG123_OK || r == MPG123_NEW_FORMAT) continue;
            if (r == MPG123_NEED_MORE || r == MPG123_DONE) return true;
            // A broken stream: start over at the next good frame rather than stop playback.
            return reopen();
        }
    }

    static constexpr std::size_t kChunk = 16384;
    WaveFormat m_mp3;
    Mpg123Ptr m_handle;
    bool m_synced = false;
    std::vector<BYTE> m_hold;  // bytes before the first confirmed frame
};

class Mp3Driver final : public CodecDriver {
  public:
    std::span<const WORD> tags() const override { return kTag; }
    const char* tag_name(WORD) const override { return "MPEG Layer-3"; }
    const char* short_name() const override { return "mp3"; }
    DWORD largest_format_size(WORD) const override { return sizeof(MPEGLAYER3WAVEFORMAT); }
    std::vector<WaveFormat> formats() const override {
        std::vector<WaveFormat> list;
        for (DWORD rate : kListedRates) {
            const bool mpeg1 = *version_of(rate) == Version::mpeg1;
            const auto kbps_list = mpeg1 ? std::span<const DWORD>(kListedMpeg1Kbps)
                                         : std::span<const DWORD>(kListedMpeg2Kbps);
            for (WORD channels : {1, 2})
                for (DWORD kbps : kbps_list)
                    if (mp3_block_size(channels, rate, kbps) != 0)
                        list.push_back(format(rate, channels, kbps));
        }
        return list;
    }
    std::string name_detail(const WAVEFORMATEX& wfx) const override {
        return std::to_string(kbps_of(wfx.nAvgBytesPerSec));
    }
    std::string describe(const WAVEFORMATEX& wfx) const override {
        if (!decodable(wfx)) return "";
        const DWORD kbps = kbps_of(wfx.nAvgBytesPerSec);
        const std::string rate = kbps != 0 ? std::to_string(kbps) + " kbit/s"
                                           : std::to_string(wfx.nAvgBytesPerSec) + " bytes/s";
        return rate_text(wfx.nSamplesPerSec) + ", " + rate + ", " + channels_text(wfx.nChannels);
    }
    bool can_decode(const WAVEFORMATEX& wfx) const override { return decodable(wfx); }
    std::unique_ptr<Converter> open_decoder(const WAVEFORMATEX& src,
                                            const WAVEFORMATEX& pcm) override {
        if (!decodable(src) || !is_pcm16_partner(pcm, src)) return nullptr;
        return Mp3Decoder::create(src);
    }
    std::unique_ptr<Converter> open_encoder(const WAVEFORMATEX& pcm,
                                            const WAVEFORMATEX& dst) override {
        if (!encodable(dst) || !is_pcm16_partner(pcm, dst)) return nullptr;
        LamePtr gf = make_lame(dst);
        if (!gf) return nullptr;
        return std::make_unique<Mp3Encoder>(dst, std::move(gf));
    }

    static WaveFormat format(DWORD rate, WORD channels, DWORD kbps) {
        MPEGLAYER3WAVEFORMAT f{};
        f.wfx.wFormatTag = WAVE_FORMAT_MPEGLAYER3;
        f.wfx.nChannels = channels;
        f.wfx.nSamplesPerSec = rate;
        f.wfx.nAvgBytesPerSec = avg_bytes(kbps);
        f.wfx.nBlockAlign = 1;
        f.wfx.wBitsPerSample = 0;
        f.wfx.cbSize = MPEGLAYER3_WFX_EXTRA_BYTES;
        f.wID = MPEGLAYER3_ID_MPEG;
        f.fdwFlags = MPEGLAYER3_FLAG_PADDING_OFF;
        f.nBlockSize = mp3_block_size(channels, rate, kbps);
        f.nFramesPerBlock = 1;
        f.nCodecDelay = kCodecDelay;
        return WaveFormat::of(f);
    }
};

}  // namespace

WORD mp3_block_size(WORD channels, DWORD rate, DWORD kbps) {
    if (channels < 1 || channels > 2) return 0;
    DWORD key = rate / (3 - channels);
    if (key < 16000) key *= 2;
    auto pick = [&](std::initializer_list<DWORD> rates, WORD size) -> WORD {
        return std::find(rates.begin(), rates.end(), kbps) != rates.end() ? size : 0;
    };
    auto low = [&](WORD a, WORD b, WORD c) -> WORD {  // rows of the low sampling rates
        if (WORD s = pick({24, 48}, a)) return s;
        if (WORD s = pick({32, 64}, b)) return s;
        return pick({56}, c);
    };
    switch (key) {
        case 16000:
            return low(216, 288, 252);
        case 22050:
            return low(156, 208, 182);
        case 24000:
            return low(144, 192, 168);
        case 32000:
            if (WORD s = pick({32, 40, 48, 56, 64, 80, 96, 112}, 503)) return s;
            return pick({128, 160, 192, 224, 256, 320}, 576);
        case 44100:
            if (WORD s = pick({32, 40, 48, 56, 64, 80, 96}, 313)) return s;
            if (WORD s = pick({112}, 365)) return s;
            return pick({128, 160, 192, 224, 256, 320}, 417);
        case 48000:
            if (WORD s = pick({32, 40, 48, 56, 64, 80, 96}, 288)) return s;
            if (WORD s = pick({112}, 336)) return s;
            return pick({128, 160, 192, 224, 256, 320}, 384);
        default:
            return 0;
    }
}

std::unique_ptr<CodecDriver> make_mp3_driver() {
    return std::make_unique<Mp3Driver>();
}

}  // namespace quillon::codec
