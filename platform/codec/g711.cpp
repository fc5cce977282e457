// G.711 A-law (tag 6) and mu-law (tag 7): one byte per sample, decoded through the standard
// segment tables, so every code decodes to exactly the value other tools give it.
#include "platform/codec/driver.h"

namespace quillon::codec {

namespace {

constexpr int kSegAEnd[8] = {0x1F, 0x3F, 0x7F, 0xFF, 0x1FF, 0x3FF, 0x7FF, 0xFFF};
constexpr int kSegUEnd[8] = {0x3F, 0x7F, 0xFF, 0x1FF, 0x3FF, 0x7FF, 0xFFF, 0x1FFF};
constexpr int kULawBias = 0x84;
constexpr int kULawClip = 8159;

int segment(int value, const int (&ends)[8]) {
    for (int i = 0; i < 8; ++i)
        if (value <= ends[i]) return i;
    return 8;
}

}  // namespace

BYTE linear_to_alaw(SHORT sample) {
    int value = sample >> 3;
    int mask = 0xD5;
    if (value < 0) {
        mask = 0x55;
        value = -value - 1;
    }
    const int seg = segment(value, kSegAEnd);
    if (seg >= 8) return static_cast<BYTE>(0x7F ^ mask);
    int code = seg << 4;
    code |= seg < 2 ? (value >> 1) & 0x0F : (value >> seg) & 0x0F;
    return static_cast<BYTE>(code ^ mask);
}

SHORT alaw_to_linear(BYTE code) {
    code ^= 0x55;
    int t = (code & 0x0F) << 4;
    const int seg = (code & 0x70) >> 4;
    if (seg == 0) {
        t += 8;
    } else {
        t += 0x108;
        t <<= seg - 1;
    }
    return static_cast<SHORT>((code & 0x80) ? t : -t);
}

BYTE linear_to_mulaw(SHORT sample) {
    int value = sample >> 2;
    int mask = 0xFF;
    if (value < 0) {
        value = -value;
        mask = 0x7F;
    }
    if (value > kULawClip) value = kULawClip;
    value += kULawBias >> 2;
    const int seg = segment(value, kSegUEnd);
    if (seg >= 8) return static_cast<BYTE>(0x7F ^ mask);
    const int code = (seg << 4) | ((value >> (seg + 1)) & 0x0F);
    return static_cast<BYTE>(code ^ mask);
}

SHORT mulaw_to_linear(BYTE code) {
    code = static_cast<BYTE>(~code);
    int t = ((code & 0x0F) << 3) + kULawBias;
    t <<= (code & 0x70) >> 4;
    return static_cast<SHORT>((code & 0x80) ? kULawBias - t : t - kULawBias);
}

namespace {

using Encode = BYTE (*)(SHORT);
using Decode = SHORT (*)(BYTE);

class G711Decoder final : public Converter {
  public:
    G711Decoder(Decode decode, WORD channels) : m_decode(decode), m_channels(channels) {}
    Blocks blocks() const override { return {m_channels, DWORD{2} * m_channels}; }
    bool convert(std::span<const BYTE> src, std::vector<BYTE>& out) override {
        const std::size_t start = out.size();
        out.resize(start + 2 * src.size());
        BYTE* p = out.data() + start;
        for (BYTE code : src) {
            const auto v = static_cast<std::uint16_t>(m_decode(code));
            *p++ = static_cast<BYTE>(v & 0xFF);
            *p++ = static_cast<BYTE>(v >> 8);
        }
        return true;
    }
    bool finish(std::span<const BYTE>, std::vector<BYTE>&) override { return true; }
    void reset() override {}

  private:
    Decode m_decode;
    WORD m_channels;
};

class G711Encoder final : public Converter {
  public:
    G711Encoder(Encode encode, WORD channels) : m_encode(encode), m_channels(channels) {}
    Blocks blocks() const override { return {DWORD{2} * m_channels, m_channels}; }
    bool convert(std::span<const BYTE> src, std::vector<BYTE>& out) override {
        const std::size_t start = out.size();
        out.resize(start + src.size() / 2);
        BYTE* p = out.data() + start;
        for (std::size_t i = 0; i + 1 < src.size(); i += 2)
            *p++ = m_encode(static_cast<SHORT>(src[i] | (src[i + 1] << 8)));
        return true;
    }
    bool finish(std::span<const BYTE>, std::vector<BYTE>&) override { return true; }
    void reset() override {}

  private:
    Encode m_encode;
    WORD m_channels;
};

class G711Driver final : public CodecDriver {
  public:
    G711Driver(WORD tag, const char* tag_name, const char* short_name, Encode encode, Decode decode)
        : m_tag{tag},
          m_tag_name(tag_name),
          m_short_name(short_name),
          m_encode(encode),
          m_decode(decode) {}

    std::span<const WORD> tags() const override { return m_tag; }
    const char* tag_name(WORD) const override { return m_tag_name; }
    const char* short_name() const override { return m_short_name; }
    DWORD largest_format_size(WORD) const override { return sizeof(WAVEFORMATEX); }
    std::vector<WaveFormat> formats() const override {
        return classic_rate_grid(
            [this](DWORD rate, WORD channels) { return format(rate, channels); });
    }
    std::string describe(const WAVEFORMATEX& wfx) const override {
        if (!valid(wfx)) return "";
        return rate_text(wfx.nSamplesPerSec) + ", 8 bit, " + channels_text(wfx.nChannels);
    }
    bool can_decode(const WAVEFORMATEX& wfx) const override { return valid(wfx); }
    std::unique_ptr<Converter> open_decoder(const WAVEFORMATEX& src,
                                            const WAVEFORMATEX& pcm) override {
        if (!valid(src) || !is_pcm16_partner(pcm, src)) return nullptr;
        return std::make_unique<G711Decoder>(m_decode, src.nChannels);
    }
    std::unique_ptr<Converter> open_encoder(const WAVEFORMATEX& pcm,
                                            const WAVEFORMATEX& dst) override {
        if (!valid(dst) || !is_pcm16_partner(pcm, dst)) return nullptr;
        return std::make_unique<G711Encoder>(m_encode, dst.nChannels);
    }

  private:
    WaveFormat format(DWORD rate, WORD channels) const {
        WAVEFORMATEX wfx{};
        wfx.wFormatTag = m_tag[0];
        wfx.nChannels = channels;
        wfx.nSamplesPerSec = rate;
        wfx.nBlockAlign = channels;
        wfx.nAvgBytesPerSec = rate * channels;
        wfx.wBitsPerSample = 8;
        return WaveFormat(wfx);
    }
    static bool valid(const WAVEFORMATEX& wfx) {
        return wfx.wBitsPerSample == 8 && wfx.nBlockAlign == wfx.nChannels &&
               wfx.nSamplesPerSec >= 1000 && wfx.nSamplesPerSec <= 192000;
    }

    WORD m_tag[1];
    const char* m_tag_name;
    const char* m_short_name;
    Encode m_encode;
    Decode m_decode;
};

}  // namespace

std::unique_ptr<CodecDriver> make_alaw_driver() {
    return std::make_unique<G711Driver>(WAVE_FORMAT_ALAW, "G.711 A-law", "alaw", linear_to_alaw,
                                        alaw_to_linear);
}

std::unique_ptr<CodecDriver> make_mulaw_driver() {
    return std::make_unique<G711Driver>(WAVE_FORMAT_MULAW, "G.711 mu-law", "mulaw", linear_to_mulaw,
                                        mulaw_to_linear);
}

}  // namespace quillon::codec
