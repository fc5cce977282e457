// MS ADPCM (tag 2) in the WAV block layout: a header of predictor numbers, deltas and the two
// starting samples (per channel in turn), then 4-bit codes high nibble first, channels
// interleaved. The format carries the seven standard coefficient pairs; decoding uses whatever
// pairs a file announces.
#include <algorithm>
#include <cstdint>
#include <limits>
#include <optional>

#include "platform/codec/adpcm_driver.h"

namespace quillon::codec {

namespace {

constexpr int kAdaptation[16] = {230, 230, 230, 230, 307, 409, 512, 614,
                                 768, 614, 512, 409, 307, 230, 230, 230};
constexpr ADPCMCOEFSET kStandardCoefs[7] = {{256, 0}, {512, -256}, {0, 0},     {192, 64},
                                            {240, 0}, {460, -208}, {392, -232}};
constexpr int kMaxCoefs = 256;
// The largest step: the adaptation can still multiply it by 768/256 without overflow.
constexpr int kMaxDelta = std::numeric_limits<int>::max() / 768;

struct Geometry {
    WORD channels;
    WORD block;    // bytes
    WORD samples;  // per channel per block
    std::vector<ADPCMCOEFSET> coefs;
};

WORD samples_per_block(WORD block, WORD channels) {
    return static_cast<WORD>((block - 7 * channels) * 2 / channels + 2);
}

std::optional<Geometry> geometry_of(const WAVEFORMATEX& wfx) {
    const WORD ch = wfx.nChannels;
    const WORD block = wfx.nBlockAlign;
    if (wfx.wBitsPerSample != 4 || block <= 7 * ch || wfx.cbSize < 4 || wfx.nSamplesPerSec < 1000 ||
        wfx.nSamplesPerSec > 192000)
        return std::nullopt;
    const WORD samples = extra_word(wfx, 0);
    const WORD count = extra_word(wfx, 2);
    // Codes fill whole bytes, so the samples after the two in the header must fit the block.
    if (samples < 2 || samples > samples_per_block(block, ch) || count < 1 || count > kMaxCoefs ||
        wfx.cbSize < 4 + 4 * count)
        return std::nullopt;
    Geometry g{ch, block, samples, {}};
    for (WORD i = 0; i < count; ++i)
        g.coefs.push_back({static_cast<SHORT>(extra_word(wfx, 4 + 4 * i)),
                           static_cast<SHORT>(extra_word(wfx, 6 + 4 * i))});
    return g;
}

struct Channel {
    int coef1 = 256;
    int coef2 = 0;
    int delta = 16;
    int sample1 = 0;  // the latest sample
    int sample2 = 0;  // the one before

    // In 64 bits: two full-scale samples times full-scale coefficients pass 2^31.
    int predict() const {
        return static_cast<int>((std::int64_t{sample1} * coef1 + std::int64_t{sample2} * coef2) >>
                                8);
    }
    // Applies one code; both directions use it so encoder and decoder never drift apart.
    int step(int code) {
        const int signed_code = code & 8 ? code - 16 : code;
        const int sample = std::clamp(predict() + signed_code * delta, -32768, 32767);
        sample2 = sample1;
        sample1 = sample;
        // Damaged or hostile codes would grow the step without bound; a step this large
        // already spans every sample value.
        delta = std::clamp((kAdaptation[code] * delta) >> 8, 16, kMaxDelta);
        return sample;
    }
    int choose(int target) const {
        const int error = target - predict();
        const int rounded = error >= 0 ? (error + delta / 2) / delta : (error - delta / 2) / delta;
        return std::clamp(rounded, -8, 7) & 0x0F;
    }
};

SHORT le16(const BYTE* p) {
    return static_cast<SHORT>(p[0] | (p[1] << 8));
}

void put16(BYTE* p, int v) {
    p[0] = static_cast<BYTE>(v & 0xFF);
    p[1] = static_cast<BYTE>((v >> 8) & 0xFF);
}

class MsDecoder final : public Converter {
  public:
    explicit MsDecoder(Geometry g) : m_g(std::move(g)) {}
    Blocks blocks() const override { return {m_g.block, DWORD{2} * m_g.samples * m_g.channels}; }
    bool convert(std::span<const BYTE> src, std::vector<BYTE>& out) override {
        const int channels = m_g.channels;
        for (std::size_t at = 0; at + m_g.block <= src.size(); at += m_g.block) {
            const BYTE* b = src.data() + at;
            const std::size_t start = out.size();
            out.resize(start + std::size_t{2} * channels * m_g.samples);
            BYTE* pcm = out.data() + start;
            Channel st[2];
            for (int ch = 0; ch < channels; ++ch) {
                // A predictor number beyond the table is a damaged block; the first pair serves.
                const BYTE p = b[ch] < m_g.coefs.size() ? b[ch] : 0;
                st[ch].coef1 = m_g.coefs[p].iCoef1;
                st[ch].coef2 = m_g.coefs[p].iCoef2;
                st[ch].delta = le16(b + channels + 2 * ch);
                st[ch].sample1 = le16(b + 3 * channels + 2 * ch);
                st[ch].sample2 = le16(b + 5 * channels + 2 * ch);
                put16(pcm + 2 * ch, st[ch].sample2);
                put16(pcm + 2 * (channels + ch), st[ch].sample1);
            }
            const BYTE* data = b + 7 * channels;
            const std::size_t codes = std::size_t{m_g.samples - 2u} * channels;
            for (std::size_t n = 0; n < codes; ++n) {
                const int code = n & 1 ? data[n / 2] & 0x0F : data[n / 2] >> 4;
                const int ch = static_cast<int>(n % channels);
                put16(pcm + 2 * (2 * channels + n), st[ch].step(code));
            }
        }
        return true;
    }
    bool finish(std::span<const BYTE>, std::vector<BYTE>&) override { return true; }
    void reset() override {}

  private:
    Geometry m_g;
};

class MsEncoder final : public Converter {
  public:
    explicit MsEncoder(Geometry g) : m_g(std::move(g)) {}
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
    void reset() override { m_delta[0] = m_delta[1] = 16; }

  private:
    // Squared error of predicting each input sample from the two before it.
    long long residual(const BYTE* pcm, int ch, std::size_t p) const {
        const int channels = m_g.channels;
        auto sample = [&](std::size_t i) { return int{le16(pcm + 2 * (i * channels + ch))}; };
        const int c1 = m_g.coefs[p].iCoef1, c2 = m_g.coefs[p].iCoef2;
        long long error = 0;
        int s2 = sample(0), s1 = sample(1);
        for (std::size_t i = 2; i < m_g.samples; ++i) {
            const int s = sample(i);
            const long long e = s - ((s1 * c1 + s2 * c2) >> 8);
            error += e * e;
            s2 = s1;
            s1 = s;
        }
        return error;
    }

    // Encodes one channel of a block with one predictor; returns the squared error.
    long long trial(const BYTE* pcm, int ch, std::size_t p, std::vector<int>& codes) const {
        const int channels = m_g.channels;
        auto sample = [&](std::size_t i) { return int{le16(pcm + 2 * (i * channels + ch))}; };
        Channel st{m_g.coefs[p].iCoef1, m_g.coefs[p].iCoef2, m_delta[ch], sample(1), sample(0)};
        long long error = 0;
        codes.clear();
        for (std::size_t i = 2; i < m_g.samples; ++i) {
            const int code = st.choose(sample(i));
            const long long e = st.step(code) - sample(i);
            error += e * e;
            codes.push_back(code);
        }
        return error;
    }

    void encode_block(const BYTE* pcm, std::vector<BYTE>& out) {
        const int channels = m_g.channels;
        const std::size_t start = out.size();
        out.resize(start + m_g.block, 0);
        BYTE* b = out.data() + start;
        std::vector<int> codes[2];
        for (int ch = 0; ch < channels; ++ch) {
            // Each block picks the predictor that follows this stretch of the input best; judged
            // on the input itself, so only the chosen one is encoded.
            long long best = LLONG_MAX;
            std::size_t best_p = 0;
            for (std::size_t p = 0; p < m_g.coefs.size(); ++p) {
                const long long e = residual(pcm, ch, p);
                if (e < best) {
                    best = e;
                    best_p = p;
                }
            }
            trial(pcm, ch, best_p, codes[ch]);
            b[ch] = static_cast<BYTE>(best_p);
            put16(b + channels + 2 * ch, m_delta[ch]);
            put16(b + 3 * channels + 2 * ch, le16(pcm + 2 * (channels + ch)));
            put16(b + 5 * channels + 2 * ch, le16(pcm + 2 * ch));
            // The delta the decoder ends the block with starts the next one.
            Channel st{m_g.coefs[best_p].iCoef1, m_g.coefs[best_p].iCoef2, m_delta[ch], 0, 0};
            for (int code : codes[ch]) st.step(code);
            m_delta[ch] = st.delta;
        }
        BYTE* data = b + 7 * channels;
        const std::size_t count = std::size_t{m_g.samples - 2u} * channels;
        for (std::size_t n = 0; n < count; ++n) {
            const int code = codes[n % channels][n / channels];
            data[n / 2] |= static_cast<BYTE>(n & 1 ? code : code << 4);
        }
    }

    Geometry m_g;
    int m_delta[2] = {16, 16};
};

struct MsAdpcm {
    static constexpr WORD kTag = WAVE_FORMAT_ADPCM;
    static constexpr const char* kTagName = "MS ADPCM";
    static constexpr const char* kShortName = "ms-adpcm";
    using Format = ADPCMWAVEFORMAT;
    using Decoder = MsDecoder;
    using Encoder = MsEncoder;
    static std::optional<Geometry> geometry_of(const WAVEFORMATEX& wfx) {
        return ::quillon::codec::geometry_of(wfx);
    }

    static WaveFormat format(DWORD rate, WORD channels) {
        ADPCMWAVEFORMAT f{};
        f.wfx.wFormatTag = WAVE_FORMAT_ADPCM;
        f.wfx.nChannels = channels;
        f.wfx.nSamplesPerSec = rate;
        f.wfx.nBlockAlign = adpcm_block_align(rate, channels);
        f.wfx.wBitsPerSample = 4;
        f.wfx.cbSize = 32;
        f.wSamplesPerBlock = samples_per_block(f.wfx.nBlockAlign, channels);
        f.wfx.nAvgBytesPerSec = rate * f.wfx.nBlockAlign / f.wSamplesPerBlock;
        f.wNumCoef = 7;
        std::copy(std::begin(kStandardCoefs), std::end(kStandardCoefs), f.aCoef);
        return WaveFormat::of(f);
    }
};

}  // namespace

std::unique_ptr<CodecDriver> make_ms_adpcm_driver() {
    return std::make_unique<AdpcmDriver<MsAdpcm>>();
}

}  // namespace quillon::codec
