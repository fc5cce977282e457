// GSM 6.10 (tag 0x31) with libgsm: 8000 Hz mono, 65-byte blocks holding two 160-sample frames in
// the packing WAV files use (libgsm's WAV49 option).
#include <gsm.h>

#include <algorithm>

#include "platform/codec/driver.h"

namespace quillon::codec {

namespace {

constexpr WORD kTag[] = {WAVE_FORMAT_GSM610};
constexpr WORD kBlockBytes = 65;
constexpr WORD kBlockSamples = 320;
constexpr DWORD kRate = 8000;

struct GsmDeleter {
    void operator()(gsm g) const { gsm_destroy(g); }
};
using GsmPtr = std::unique_ptr<std::remove_pointer_t<gsm>, GsmDeleter>;

GsmPtr make_gsm() {
    GsmPtr g(gsm_create());
    if (!g) return nullptr;
    int one = 1;
    gsm_option(g.get(), GSM_OPT_WAV49, &one);
    return g;
}

bool valid(const WAVEFORMATEX& wfx) {
    return wfx.nChannels == 1 && wfx.nSamplesPerSec == kRate && wfx.nBlockAlign == kBlockBytes &&
           (wfx.cbSize < 2 || extra_word(wfx, 0) == kBlockSamples);
}

class GsmConverter final : public Converter {
  public:
    GsmConverter(bool encode, GsmPtr g) : m_encode(encode), m_gsm(std::move(g)) {}

    Blocks blocks() const override {
        return m_encode ? Blocks{2 * kBlockSamples, kBlockBytes}
                        : Blocks{kBlockBytes, 2 * kBlockSamples};
    }
    bool convert(std::span<const BYTE> src, std::vector<BYTE>& out) override {
        const std::size_t in_block = blocks().src;
        for (std::size_t at = 0; at + in_block <= src.size(); at += in_block)
            if (!(m_encode ? encode_block(src.data() + at, out)
                           : decode_block(src.data() + at, out)))
                return false;
        return true;
    }
    bool finish(std::span<const BYTE> partial, std::vector<BYTE>& out) override {
        if (!m_encode || partial.empty()) return true;
        std::vector<BYTE> padded(blocks().src, 0);  // the last block is filled with silence
        std::copy(partial.begin(), partial.end(), padded.begin());
        return encode_block(padded.data(), out);
    }
    void reset() override {
        // libgsm has no reset; a fresh state also restarts the frame pairing.
        if (GsmPtr fresh = make_gsm()) m_gsm = std::move(fresh);
    }

  private:
    bool encode_block(const BYTE* pcm, std::vector<BYTE>& out) {
        gsm_signal samples[kBlockSamples];
        for (int i = 0; i < kBlockSamples; ++i)
            samples[i] = static_cast<gsm_signal>(pcm[2 * i] | (pcm[2 * i + 1] << 8));
        const std::size_t start = out.size();
        out.resize(start + kBlockBytes);
        // The first frame takes 32 bytes and a half; the second begins inside byte 32.
        gsm_encode(m_gsm.get(), samples, out.data() + start);
        gsm_encode(m_gsm.get(), samples + 160, out.data() + start + 32);
        return true;
    }
    bool decode_block(const BYTE* block, std::vector<BYTE>& out) {
        gsm_signal samples[kBlockSamples];
        // Damaged frames decode to silence rather than stopping the stream.
        auto* data = const_cast<gsm_byte*>(block);
        if (gsm_decode(m_gsm.get(), data, samples) < 0) std::fill_n(samples, 160, 0);
        if (gsm_decode(m_gsm.get(), data + 33, samples + 160) < 0)
            std::fill_n(samples + 160, 160, 0);
        const std::size_t start = out.size();
        out.resize(start + 2 * kBlockSamples);
        for (int i = 0; i < kBlockSamples; ++i) {
            const auto v = static_cast<std::uint16_t>(samples[i]);
            out[start + 2 * i] = static_cast<BYTE>(v & 0xFF);
            out[start + 2 * i + 1] = static_cast<BYTE>(v >> 8);
        }
        return true;
    }

    bool m_encode;
    GsmPtr m_gsm;
};

class Gsm610Driver final : public CodecDriver {
  public:
    std::span<const WORD> tags() const override { return kTag; }
    const char* tag_name(WORD) const override { return "GSM 6.10"; }
    const char* short_name() const override { return "gsm610"; }
    DWORD largest_format_size(WORD) const override { return sizeof(GSM610WAVEFORMAT); }
    std::vector<WaveFormat> formats() const override {
        GSM610WAVEFORMAT f{};
        f.wfx.wFormatTag = WAVE_FORMAT_GSM610;
        f.wfx.nChannels = 1;
        f.wfx.nSamplesPerSec = kRate;
        f.wfx.nAvgBytesPerSec = kRate * kBlockBytes / kBlockSamples;  // 1625
        f.wfx.nBlockAlign = kBlockBytes;
        f.wfx.wBitsPerSample = 0;
        f.wfx.cbSize = 2;
        f.wSamplesPerBlock = kBlockSamples;
        return {WaveFormat::of(f)};
    }
    std::string describe(const WAVEFORMATEX& wfx) const override {
        if (!valid(wfx)) return "";
        return rate_text(kRate) + ", 13 kbit/s, mono";
    }
    bool can_decode(const WAVEFORMATEX& wfx) const override { return valid(wfx); }
    std::unique_ptr<Converter> open_decoder(const WAVEFORMATEX& src,
                                            const WAVEFORMATEX& pcm) override {
        if (!valid(src) || !is_pcm16_partner(pcm, src)) return nullptr;
        GsmPtr g = make_gsm();
        return g ? std::make_unique<GsmConverter>(false, std::move(g)) : nullptr;
    }
    std::unique_ptr<Converter> open_encoder(const WAVEFORMATEX& pcm,
                                            const WAVEFORMATEX& dst) override {
        if (!valid(dst) || !is_pcm16_partner(pcm, dst)) return nullptr;
        GsmPtr g = make_gsm();
        return g ? std::make_unique<GsmConverter>(true, std::move(g)) : nullptr;
    }
};

}  // namespace

std::unique_ptr<CodecDriver> make_gsm610_driver() {
    return std::make_unique<Gsm610Driver>();
}

}  // namespace quillon::codec
