// IMA ADPCM (tag 0x11) in the WAV block layout: per channel a 4-byte header (first sample,
// step index, zero), then 4-byte groups of eight 4-bit codes per channel in turn, low nibble first.
// Block sizes follow the usual rule (256 bytes per channel up to 11025 Hz, doubling with the
// rate), which is what other tools write and expect.
#include <algorithm>
#include <optional>

#include "platform/codec/adpcm_driver.h"

namespace quillon::codec {

namespace {

constexpr int kIndexTable[16] = {-1, -1, -1, -1, 2, 4, 6, 8, -1, -1, -1, -1, 2, 4, 6, 8};
constexpr int kStepTable[89] = {
    7,     8,     9,     10,    11,    12,    13,    14,    16,    17,    19,   21,    23,
    25,    28,    31,    34,    37,    41,    45,    50,    55,    60,    66,   73,    80,
    88,    97,    107,   118,   130,   143,   157,   173,   190,   209,   230,  253,   279,
    307,   337,   371,   408,   449,   494,   544,   598,   658,   724,   796,  876,   963,
    1060,  1166,  1282,  1411,  1552,  1707,  1878,  2066,  2272,  2499,  2749, 3024,  3327,
    3660,  4026,  4428,  4871,  5358,  5894,  6484,  7132,  7845,  8630,  9493, 10442, 11487,
    12635, 13899, 15289, 16818, 18500, 20350, 22385, 24623, 27086, 29794, 32767};

struct Channel {
    int predictor = 0;
    int index = 0;

    // Applies one code; both directions use it so encoder and decoder never drift apart.
    int step(int code) {
        const int s = kStepTable[index];
        int diff = s >> 3;
        if (code & 4) diff += s;
        if (code & 2) diff += s >> 1;
        if (code & 1) diff += s >> 2;
        predictor = std::clamp(code & 8 ? predictor - diff : predictor + diff, -32768, 32767);
        index = std::clamp(index + kIndexTable[code], 0, 88);
        return predictor;
    }

    int encode(int sample) {
        int diff = sample - predictor;
        int code = 0;
        if (diff < 0) {
            code = 8;
            diff = -diff;
        }
        int s = kStepTable[index];
        if (diff >= s) {
            code |= 4;
            diff -= s;
        }
        s >>= 1;
        if (diff >= s) {
            code |= 2;
            diff -= s;
        }
        s >>= 1;
        if (diff >= s) code |= 1;
        step(code);
        return code;
    }
};

struct Geometry {
    WORD channels;
    WORD block;    // bytes
    WORD samples;  // per channel per block
};

WORD samples_per_block(WORD block, WORD channels) {
    return static_cast<WORD>((block - 4 * channels) * 2 / channels + 1);
}

std::optional<Geometry> geometry_of(const WAVEFORMATEX& wfx) {
    const WORD ch = wfx.nChannels;
    const WORD block = wfx.nBlockAlign;
    if (wfx.wBitsPerSample != 4 || block <= 4 * ch || (block - 4 * ch) % (4 * ch) != 0 ||
        wfx.nSamplesPerSec < 1000 || wfx.nSamplesPerSec > 192000)
        return std::nullopt;
    const WORD samples = samples_per_block(block, ch);
    if (wfx.cbSize >= 2 && extra_word(wfx, 0) != samples) return std::nullopt;
    return Geometry{ch, block, samples};
}

class ImaDecoder final : public Converter {
  public:
    explicit ImaDecoder(Geometry g) : m_g(g) {}
    Blocks blocks() const override { return {m_g.block, DWORD{2} * m_g.samples * m_g.channels}; }
    bool convert(std::span<const BYTE> src, std::vector<BYTE>& out) override {
        const std::size_t frame = std::size_t{2} * m_g.channels;
        for (std::size_t at = 0; at + m_g.block <= src.size(); at += m_g.block) {
            const BYTE* b = src.data() + at;
            const std::size_t start = out.size();
            out.resize(start + frame * m_g.samples);
            auto put = [&](std::size_t i, int ch, int v) {
                BYTE* p = out.data() + start + i * frame + 2 * ch;
                p[0] = static_cast<BYTE>(v & 0xFF);
                p[1] = static_cast<BYTE>((v >> 8) & 0xFF);
            };
            Channel state[2];
            for (int ch = 0; ch < m_g.channels; ++ch) {
                state[ch].predictor = static_cast<SHORT>(b[4 * ch] | (b[4 * ch + 1] << 8));
                state[ch].index = std::min<int>(b[4 * ch + 2], 88);
                put(0, ch, state[ch].predictor);
            }
            const BYTE* data = b + 4 * m_g.channels;
            const std::size_t groups = (m_g.samples - 1) / 8;
            for (std::size_t g = 0; g < groups; ++g) {
                for (int ch = 0; ch < m_g.channels; ++ch) {
                    const BYTE* group = data + (g * m_g.channels + ch) * 4;
                    for (int k = 0; k < 8; ++k) {
                        const int code = (group[k / 2] >> ((k & 1) * 4)) & 0x0F;
                        put(1 + g * 8 + k, ch, state[ch].step(code));
                    }
                }
            }
        }
        return true;
    }
    bool finish(std::span<const BYTE>, std::vector<BYTE>&) override { return true; }
    void reset() override {}

  private:
    Geometry m_g;
};

class ImaEncoder final : public Converter {
  public:
    explicit ImaEncoder(Geometry g) : m_g(g) {}
    Blocks blocks() const override { return {DWORD{2} * m_g.samples * m_g.channels, m_g.block}; }
    bool convert(std::span<const BYTE> src, std::vector<BYTE>& out) override {
        const std::size_t in_block = blocks().src;
        for (std::size_t at = 0; at + in_block <= src.size(); at += in_block)
            encode_block(src.data() + at, out);
        return true;
    }
    bool finish(std::span<const BYTE> partial, std::vector<BYTE>& out) override {
        if (partial.empty()) return true;
        std::vector<BYTE> padded(blocks().src, 0);  // the last block is filled with silence
        std::copy(partial.begin(), partial.end(), padded.begin());
        encode_block(padded.data(), out);
        return true;
    }
    void reset() override { m_state[0] = m_state[1] = Channel{}; }

  private:
    void encode_block(const BYTE* pcm, std::vector<BYTE>& out) {
        const int channels = m_g.channels;
        auto sample = [&](std::size_t i, int ch) {
            const BYTE* p = pcm + (i * channels + ch) * 2;
            return static_cast<int>(static_cast<SHORT>(p[0] | (p[1] << 8)));
        };
        const std::size_t start = out.size();
        out.resize(start + m_g.block, 0);
        BYTE* b = out.data() + start;
        for (int ch = 0; ch < channels; ++ch) {
            // The block restarts from its exact first sample; the step index carries over.
            Channel& st = m_state[ch];
            st.predictor = sample(0, ch);
            b[4 * ch] = static_cast<BYTE>(st.predictor & 0xFF);
            b[4 * ch + 1] = static_cast<BYTE>((st.predictor >> 8) & 0xFF);
            b[4 * ch + 2] = static_cast<BYTE>(st.index);
        }
        BYTE* data = b + 4 * channels;
        const std::size_t groups = (m_g.samples - 1) / 8;
        for (std::size_t g = 0; g < groups; ++g) {
            for (int ch = 0; ch < channels; ++ch) {
                BYTE* group = data + (g * channels + ch) * 4;
                for (int k = 0; k < 8; ++k) {
                    const int code = m_state[ch].encode(sample(1 + g * 8 + k, ch));
                    group[k / 2] |= static_cast<BYTE>(code << ((k & 1) * 4));
                }
            }
        }
    }

    Geometry m_g;
    Channel m_state[2];
};

struct ImaAdpcm {
    static constexpr WORD kTag = WAVE_FORMAT_IMA_ADPCM;
    static constexpr const char* kTagName = "IMA ADPCM";
    static constexpr const char* kShortName = "ima-adpcm";
    using Format = IMAADPCMWAVEFORMAT;
    using Decoder = ImaDecoder;
    using Encoder = ImaEncoder;
    static std::optional<Geometry> geometry_of(const WAVEFORMATEX& wfx) {
        return ::quillon::codec::geometry_of(wfx);
    }

    static WaveFormat format(DWORD rate, WORD channels) {
        IMAADPCMWAVEFORMAT f{};
        f.wfx.wFormatTag = WAVE_FORMAT_IMA_ADPCM;
        f.wfx.nChannels = channels;
        f.wfx.nSamplesPerSec = rate;
        f.wfx.nBlockAlign = adpcm_block_align(rate, channels);
        f.wfx.wBitsPerSample = 4;
        f.wfx.cbSize = 2;
        f.wSamplesPerBlock = samples_per_block(f.wfx.nBlockAlign, channels);
        f.wfx.nAvgBytesPerSec = rate * f.wfx.nBlockAlign / f.wSamplesPerBlock;
        return WaveFormat::of(f);
    }
};

}  // namespace

std::unique_ptr<CodecDriver> make_ima_adpcm_driver() {
    return std::make_unique<AdpcmDriver<ImaAdpcm>>();
}

}  // namespace quillon::codec
