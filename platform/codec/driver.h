// The contract between the codec manager (acm.cpp) and its drivers, one file per driver.
//
// What the manager has already checked before calling a driver:
//   - every format pointer is non-null, has 1 or 2 channels (PCM, float and extensible up to
//     kMaxPcmChannels), a nonzero rate and a nonzero nBlockAlign, and its cbSize extra bytes
//     are readable;
//   - open_decoder() is only called with a source of one of the driver's tags and a destination
//     that is PCM; open_encoder() with a PCM source and a destination of the driver's tag.
// What every driver must do:
//   - check the rest of its own formats (bits, rates, block sizes, extra bytes) and return null
//     from open_*() when it cannot convert between the two formats;
//   - convert whole source blocks only, in the sizes that blocks() reports;
//   - never throw except std::bad_alloc, which the manager maps to MMSYSERR_NOMEM.
// What a driver may leave out: encoding (decode-only tags return null from open_encoder) and an
// enumeration (formats() may be empty for tags nobody records into).
#pragma once

#include <cstring>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "platform/codec/acm.h"

namespace quillon::codec {

// Files may carry more channels than devices play; the PCM converter folds them into two.
inline constexpr WORD kMaxPcmChannels = 8;

// A wave format held by value: the 18-byte header and its extra bytes.
class WaveFormat {
  public:
    WaveFormat() : m_bytes(sizeof(WAVEFORMATEX), 0) {}
    // Copies 18 + cbSize bytes; a PCM format's cbSize means nothing (files often leave it out
    // or hold junk there), so only its 16 defined bytes are read and cbSize becomes 0.
    explicit WaveFormat(const WAVEFORMATEX& wfx) {
        if (wfx.wFormatTag == WAVE_FORMAT_PCM) {
            m_bytes.assign(sizeof(WAVEFORMATEX), 0);
            std::memcpy(m_bytes.data(), &wfx, 16);
            return;
        }
        const std::size_t size = sizeof(WAVEFORMATEX) + wfx.cbSize;
        m_bytes.resize(size);
        std::memcpy(m_bytes.data(), &wfx, size);
    }
    template <typename T>
    static WaveFormat of(const T& structure) {
        WaveFormat f;
        f.m_bytes.resize(sizeof(T));
        std::memcpy(f.m_bytes.data(), &structure, sizeof(T));
        return f;
    }

    [[nodiscard]] const WAVEFORMATEX& wfx() const {
        return *reinterpret_cast<const WAVEFORMATEX*>(m_bytes.data());
    }
    [[nodiscard]] std::span<const BYTE> bytes() const { return m_bytes; }

  private:
    std::vector<BYTE> m_bytes;
};

// Reads a WORD/DWORD of extra format bytes without alignment assumptions.
inline WORD extra_word(const WAVEFORMATEX& wfx, std::size_t offset) {
    WORD value;
    std::memcpy(&value, reinterpret_cast<const BYTE*>(&wfx) + sizeof(WAVEFORMATEX) + offset, 2);
    return value;
}

// The plain PCM format with these fields (nBlockAlign and nAvgBytesPerSec follow from them).
WaveFormat pcm_format(DWORD rate, WORD channels, WORD bits);

// True when `pcm` is the 16-bit PCM format with the rate and channels of `coded`: the only PCM
// side the compressing drivers convert to and from.
bool is_pcm16_partner(const WAVEFORMATEX& pcm, const WAVEFORMATEX& coded);

// The formats of a driver that offers the four classic rates in mono and stereo, each built by
// `make(rate, channels)`.
template <typename Make>
std::vector<WaveFormat> classic_rate_grid(Make make) {
    std::vector<WaveFormat> list;
    for (DWORD rate : {8000, 11025, 22050, 44100})
        for (WORD channels : {1, 2}) list.push_back(make(rate, channels));
    return list;
}

// Text helpers shared by the drivers' descriptions: "44100 Hz", "mono"/"stereo".
std::string rate_text(DWORD rate);
std::string channels_text(WORD channels);

// One open conversion between a driver's format and PCM.
class Converter {
  public:
    virtual ~Converter() = default;

    struct Blocks {
        DWORD src;  // source bytes per block
        DWORD dst;  // destination bytes one source block turns into (nominal for streaming)
    };
    // Block sizes. When fixed_ratio() is true every source block becomes exactly one destination
    // block at once; otherwise the converter streams (resampling, MP3): its output lags its input
    // and only the long-run ratio src_rate : dst_rate holds.
    [[nodiscard]] virtual Blocks blocks() const = 0;
    [[nodiscard]] virtual bool fixed_ratio() const { return true; }
    // Byte rates of the two sides (bytes per second), for the size answers of streaming
    // converters.
    [[nodiscard]] virtual DWORD src_rate() const { return blocks().src; }
    [[nodiscard]] virtual DWORD dst_rate() const { return blocks().dst; }

    // Converts `src` (a whole number of source blocks) and appends the output to `out`.
    [[nodiscard]] virtual bool convert(std::span<const BYTE> src, std::vector<BYTE>& out) = 0;
    // Ends the stream: `partial` holds less than one source block (maybe none); encoders pad it
    // with silence and flush whatever they still hold; decoders may drop it.
    [[nodiscard]] virtual bool finish(std::span<const BYTE> partial, std::vector<BYTE>& out) = 0;
    // Forgets the history of the stream, as after a seek.
    virtual void reset() = 0;
};

class CodecDriver {
  public:
    virtual ~CodecDriver() = default;

    // The tags this driver decodes; the first is the one its formats() and format names use.
    [[nodiscard]] virtual std::span<const WORD> tags() const = 0;
    [[nodiscard]] bool handles(WORD tag) const {
        for (WORD t : tags())
            if (t == tag) return true;
        return false;
    }
    [[nodiscard]] virtual const char* tag_name(WORD tag) const = 0;
    // The TAG field of format names ("ima-adpcm").
    [[nodiscard]] virtual const char* short_name() const = 0;
    // Largest format of a tag, bytes (16 for PCM, which needs no cbSize).
    [[nodiscard]] virtual DWORD largest_format_size(WORD tag) const = 0;
    // Formats PCM can be converted into, for the chooser and the format list.
    [[nodiscard]] virtual std::vector<WaveFormat> formats() const = 0;
    // The name's fourth field ("16" bits, "128" kbit/s), or "" when the name has three fields.
    [[nodiscard]] virtual std::string name_detail(const WAVEFORMATEX&) const { return ""; }
    // Rate, channels and bits or bit rate, told apart; "" when the format is not one of ours.
    [[nodiscard]] virtual std::string describe(const WAVEFORMATEX& wfx) const = 0;
    // Can this format be decoded (and so be suggested a PCM partner)?
    [[nodiscard]] virtual bool can_decode(const WAVEFORMATEX& wfx) const = 0;
    // The PCM format this format decodes into best.
    [[nodiscard]] virtual WaveFormat suggest_pcm(const WAVEFORMATEX& wfx) const {
        return pcm_format(wfx.nSamplesPerSec, wfx.nChannels, 16);
    }

    [[nodiscard]] virtual std::unique_ptr<Converter> open_decoder(const WAVEFORMATEX& src,
                                                                  const WAVEFORMATEX& pcm) = 0;
    [[nodiscard]] virtual std::unique_ptr<Converter> open_encoder(const WAVEFORMATEX& pcm,
                                                                  const WAVEFORMATEX& dst) = 0;
};

// The drivers in the order they are asked; the PCM converter comes first.
std::span<const std::unique_ptr<CodecDriver>> drivers();
CodecDriver* driver_for(WORD tag);

// Factories, one per driver file.
std::unique_ptr<CodecDriver> make_pcm_driver();
std::unique_ptr<CodecDriver> make_alaw_driver();
std::unique_ptr<CodecDriver> make_mulaw_driver();
std::unique_ptr<CodecDriver> make_ima_adpcm_driver();
std::unique_ptr<CodecDriver> make_ms_adpcm_driver();
std::unique_ptr<CodecDriver> make_gsm610_driver();
std::unique_ptr<CodecDriver> make_mp3_driver();

// G.711 tables, shared with the tests that check them exactly.
BYTE linear_to_alaw(SHORT sample);
SHORT alaw_to_linear(BYTE code);
BYTE linear_to_mulaw(SHORT sample);
SHORT mulaw_to_linear(BYTE code);

// The block size an MPEG Layer-3 format announces for its rate, channels and bit rate, or 0 when
// the combination is not one the MP3 stream file accepts.
WORD mp3_block_size(WORD channels, DWORD rate, DWORD kbps);

}  // namespace quillon::codec
