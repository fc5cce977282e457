// The PCM converter: reads 8/16/24/32-bit integer, 32/64-bit float and extensible PCM of up to
// kMaxPcmChannels channels, writes 8- or 16-bit mono or stereo PCM, and changes channels and rate
// (libsoxr) on the way.
#include <soxr.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <optional>

#include "platform/codec/driver.h"

namespace quillon::codec {

namespace {

constexpr WORD kTags[] = {WAVE_FORMAT_PCM, WAVE_FORMAT_IEEE_FLOAT, WAVE_FORMAT_EXTENSIBLE};
constexpr DWORD kListedRates[] = {8000, 11025, 16000, 22050, 32000, 44100, 48000};
// Files may hold any rate a resampler can take; devices get the rates the list offers.
constexpr DWORD kMinReadRate = 1000;
constexpr DWORD kMaxReadRate = 384000;
constexpr DWORD kMinWriteRate = 8000;
constexpr DWORD kMaxWriteRate = 48000;

struct Layout {
    bool is_float = false;
    WORD bits = 0;        // container bits per sample
    WORD valid_bits = 0;  // for descriptions
    WORD channels = 0;
    DWORD rate = 0;
    WORD block = 0;  // bytes per frame
};

std::optional<Layout> layout_of(const WAVEFORMATEX& wfx) {
    Layout l;
    l.channels = wfx.nChannels;
    l.rate = wfx.nSamplesPerSec;
    l.bits = wfx.wBitsPerSample;
    l.valid_bits = l.bits;
    l.block = wfx.nBlockAlign;
    switch (wfx.wFormatTag) {
        case WAVE_FORMAT_PCM:
            break;
        case WAVE_FORMAT_IEEE_FLOAT:
            l.is_float = true;
            break;
        case WAVE_FORMAT_EXTENSIBLE: {
            if (wfx.cbSize < 22) return std::nullopt;
            WAVEFORMATEXTENSIBLE ext;
            std::memcpy(&ext, &wfx, sizeof ext);
            if (std::memcmp(ext.SubFormat, KSDATAFORMAT_SUBTYPE_IEEE_FLOAT_BYTES, 16) == 0)
                l.is_float = true;
            else if (std::memcmp(ext.SubFormat, KSDATAFORMAT_SUBTYPE_PCM_BYTES, 16) != 0)
                return std::nullopt;
            // Valid bits sit in the top of the container, so reading the container is exact.
            if (ext.Samples.wValidBitsPerSample != 0 && ext.Samples.wValidBitsPerSample <= l.bits)
                l.valid_bits = ext.Samples.wValidBitsPerSample;
            break;
        }
        default:
            return std::nullopt;
    }
    const bool bits_ok = l.is_float ? (l.bits == 32 || l.bits == 64)
                                    : (l.bits == 8 || l.bits == 16 || l.bits == 24 || l.bits == 32);
    if (!bits_ok || l.channels < 1 || l.channels > kMaxPcmChannels ||
        l.block != l.channels * l.bits / 8 || l.rate < kMinReadRate || l.rate > kMaxReadRate)
        return std::nullopt;
    return l;
}

bool writable(const WAVEFORMATEX& wfx) {
    return wfx.wFormatTag == WAVE_FORMAT_PCM &&
           (wfx.wBitsPerSample == 8 || wfx.wBitsPerSample == 16) && wfx.nChannels <= 2 &&
           layout_of(wfx).has_value() && wfx.nSamplesPerSec >= kMinWriteRate &&
           wfx.nSamplesPerSec <= kMaxWriteRate;
}

float read_sample(const BYTE* p, const Layout& l) {
    if (l.is_float) {
        if (l.bits == 32) {
            float f;
            std::memcpy(&f, p, 4);
            return f;
        }
        double d;
        std::memcpy(&d, p, 8);
        return static_cast<float>(d);
    }
    switch (l.bits) {
        case 8:
            return static_cast<float>(static_cast<int>(p[0]) - 128) / 128.0f;
        case 16:
            return static_cast<float>(static_cast<std::int16_t>(p[0] | (p[1] << 8))) / 32768.0f;
        case 24: {
            const std::int32_t v =
                static_cast<std::int32_t>(static_cast<std::uint32_t>(p[0]) << 8 |
                                          static_cast<std::uint32_t>(p[1]) << 16 |
                                          static_cast<std::uint32_t>(p[2]) << 24) >>
                8;
            return static_cast<float>(v) / 8388608.0f;
        }
        default: {
            std::int32_t v;
            std::memcpy(&v, p, 4);
            return static_cast<float>(static_cast<double>(v) / 2147483648.0);
        }
    }
}

void write_sample(BYTE* p, float x, WORD bits) {
    if (bits == 8) {
        const long v = std::clamp(std::lround(x * 128.0f), -128L, 127L);
        p[0] = static_cast<BYTE>(v + 128);
    } else {
        const long v = std::clamp(std::lround(x * 32768.0f), -32768L, 32767L);
        p[0] = static_cast<BYTE>(v & 0xFF);
        p[1] = static_cast<BYTE>((v >> 8) & 0xFF);
    }
}

// Reads frames into float samples with the destination's channel count (1 or 2). Mono takes the
// mean of every channel; stereo keeps the first two and adds each further channel to both at
// half weight, scaled so that a full-scale signal on every channel stays within full scale.
void to_float(std::span<const BYTE> src, const Layout& in, WORD out_channels,
              std::vector<float>& out) {
    const std::size_t frames = src.size() / in.block;
    const std::size_t bytes = in.bits / 8;
    const WORD n = in.channels;
    const float extra_scale = 1.0f / (1.0f + 0.5f * static_cast<float>(n > 2 ? n - 2 : 0));
    out.resize(frames * out_channels);
    for (std::size_t i = 0; i < frames; ++i) {
        const BYTE* p = src.data() + i * in.block;
        const float a = read_sample(p, in);
        const float b = n >= 2 ? read_sample(p + bytes, in) : a;
        float rest = 0;
        for (WORD c = 2; c < n; ++c) rest += read_sample(p + c * bytes, in);
        if (out_channels == 1) {
            out[i] = (a + (n >= 2 ? b : 0.0f) + rest) / static_cast<float>(n);
        } else {
            out[2 * i] = (a + 0.5f * rest) * extra_scale;
            out[2 * i + 1] = (b + 0.5f * rest) * extra_scale;
        }
    }
}

void from_float(std::span<const float> samples, WORD bits, std::vector<BYTE>& out) {
    const std::size_t bytes = bits / 8;
    const std::size_t start = out.size();
    out.resize(start + samples.size() * bytes);
    for (std::size_t i = 0; i < samples.size(); ++i)
        write_sample(out.data() + start + i * bytes, samples[i], bits);
}

// Same rate: every frame converts on its own.
class FrameConverter final : public Converter {
  public:
    FrameConverter(Layout in, Layout out) : m_in(in), m_out(out) {}
    Blocks blocks() const override { return {m_in.block, m_out.block}; }
    bool convert(std::span<const BYTE> src, std::vector<BYTE>& out) override {
        to_float(src, m_in, m_out.channels, m_samples);
        from_float(m_samples, m_out.bits, out);
        return true;
    }
    bool finish(std::span<const BYTE>, std::vector<BYTE>&) override { return true; }
    void reset() override {}

  private:
    Layout m_in, m_out;
    std::vector<float> m_samples;
};

// Identical formats: a copy, so PCM recorded through the stream is bit-exact.
class CopyConverter final : public Converter {
  public:
    explicit CopyConverter(WORD block) : m_block(block) {}
    Blocks blocks() const override { return {m_block, m_block}; }
    bool convert(std::span<const BYTE> src, std::vector<BYTE>& out) override {
        out.insert(out.end(), src.begin(), src.end());
        return true;
    }
    bool finish(std::span<const BYTE>, std::vector<BYTE>&) override { return true; }
    void reset() override {}

  private:
    WORD m_block;
};

struct SoxrDeleter {
    void operator()(soxr_t s) const { soxr_delete(s); }
};
using SoxrPtr = std::unique_ptr<std::remove_pointer_t<soxr_t>, SoxrDeleter>;

class ResampleConverter final : public Converter {
  public:
    static std::unique_ptr<ResampleConverter> create(Layout in, Layout out) {
        const soxr_io_spec_t io = soxr_io_spec(SOXR_FLOAT32_I, SOXR_FLOAT32_I);
        const soxr_quality_spec_t quality = soxr_quality_spec(SOXR_HQ, 0);
        soxr_error_t error = nullptr;
        SoxrPtr s(soxr_create(in.rate, out.rate, out.channels, &error, &io, &quality, nullptr));
        if (error != nullptr || !s) return nullptr;
        return std::unique_ptr<ResampleConverter>(new ResampleConverter(in, out, std::move(s)));
    }
    Blocks blocks() const override { return {m_in.block, m_out.block}; }
    bool fixed_ratio() const override { return false; }
    DWORD src_rate() const override { return m_in.rate * m_in.block; }
    DWORD dst_rate() const override { return m_out.rate * m_out.block; }

    bool convert(std::span<const BYTE> src, std::vector<BYTE>& out) override {
        if (m_ended) reset();  // a drained resampler takes no more input until cleared
        to_float(src, m_in, m_out.channels, m_samples);
        return process(m_samples.data(), m_samples.size() / m_out.channels, out);
    }
    bool finish(std::span<const BYTE>, std::vector<BYTE>& out) override {
        if (m_ended) return true;
        m_ended = true;
        return process(nullptr, 0, out);  // no input: soxr drains what it holds
    }
    void reset() override {
        soxr_clear(m_soxr.get());
        m_ended = false;
    }

  private:
    ResampleConverter(Layout in, Layout out, SoxrPtr s)
        : m_in(in), m_out(out), m_soxr(std::move(s)) {}

    bool process(const float* in, std::size_t frames, std::vector<BYTE>& out) {
        const std::size_t room = frames * m_out.rate / m_in.rate + 256;
        m_resampled.resize(room * m_out.channels);
        std::size_t consumed = 0;
        for (;;) {
            std::size_t used = 0;
            std::size_t produced = 0;
            const float* from = in ? in + consumed * m_out.channels : nullptr;
            if (soxr_process(m_soxr.get(), from, in ? frames - consumed : 0, &used,
                             m_resampled.data(), room, &produced) != nullptr)
                return false;
            consumed += used;
            from_float({m_resampled.data(), produced * m_out.channels}, m_out.bits, out);
            // Done when the input is in and soxr had no more output than room for.
            if (consumed >= frames && produced < room) return true;
            if (used == 0 && produced == 0) return true;
        }
    }

    Layout m_in, m_out;
    SoxrPtr m_soxr;
    bool m_ended = false;
    std::vector<float> m_samples;
    std::vector<float> m_resampled;
};

class PcmDriver final : public CodecDriver {
  public:
    std::span<const WORD> tags() const override { return kTags; }
    const char* tag_name(WORD tag) const override {
        switch (tag) {
            case WAVE_FORMAT_PCM:
                return "PCM";
            case WAVE_FORMAT_IEEE_FLOAT:
                return "PCM float";
            default:
                return "PCM extensible";
        }
    }
    const char* short_name() const override { return "pcm"; }
    DWORD largest_format_size(WORD tag) const override {
        return tag == WAVE_FORMAT_PCM          ? 16
               : tag == WAVE_FORMAT_IEEE_FLOAT ? sizeof(WAVEFORMATEX)
                                               : sizeof(WAVEFORMATEXTENSIBLE);
    }
    std::vector<WaveFormat> formats() const override {
        std::vector<WaveFormat> list;
        for (DWORD rate : kListedRates)
            for (WORD bits : {8, 16})
                for (WORD channels : {1, 2}) list.push_back(pcm_format(rate, channels, bits));
        return list;
    }
    std::string name_detail(const WAVEFORMATEX& wfx) const override {
        return std::to_string(wfx.wBitsPerSample);
    }
    std::string describe(const WAVEFORMATEX& wfx) const override {
        const auto l = layout_of(wfx);
        if (!l) return "";
        std::string bits = std::to_string(l->valid_bits) + " bit";
        if (l->is_float) bits += " float";
        return rate_text(l->rate) + ", " + bits + ", " + channels_text(l->channels);
    }
    bool can_decode(const WAVEFORMATEX& wfx) const override { return layout_of(wfx).has_value(); }
    WaveFormat suggest_pcm(const WAVEFORMATEX& wfx) const override {
        const DWORD rate = std::clamp(wfx.nSamplesPerSec, kMinWriteRate, kMaxWriteRate);
        const WORD bits = wfx.wFormatTag == WAVE_FORMAT_PCM && wfx.wBitsPerSample == 8 ? 8 : 16;
        return pcm_format(rate, std::min<WORD>(wfx.nChannels, 2), bits);
    }

    std::unique_ptr<Converter> open_decoder(const WAVEFORMATEX& src,
                                            const WAVEFORMATEX& dst) override {
        const auto in = layout_of(src);
        if (!in || !writable(dst)) return nullptr;
        const Layout out = *layout_of(dst);
        if (in->rate != out.rate) return ResampleConverter::create(*in, out);
        if (src.wFormatTag == WAVE_FORMAT_PCM && in->bits == out.bits &&
            in->channels == out.channels)
            return std::make_unique<CopyConverter>(in->block);
        return std::make_unique<FrameConverter>(*in, out);
    }
    std::unique_ptr<Converter> open_encoder(const WAVEFORMATEX& src,
                                            const WAVEFORMATEX& dst) override {
        return open_decoder(src, dst);
    }
};

}  // namespace

std::unique_ptr<CodecDriver> make_pcm_driver() {
    return std::make_unique<PcmDriver>();
}

}  // namespace quillon::codec
