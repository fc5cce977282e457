// The driver of a 4-bit ADPCM codec: the classic rate grid, formats described and accepted by
// their block geometry, and a decoder and an encoder built from that geometry. `Codec` gives:
//   static constexpr WORD kTag; static constexpr const char* kTagName, kShortName;
//   using Format (the codec's wave format structure), Decoder and Encoder (built from a geometry);
//   static std::optional<Geometry> geometry_of(const WAVEFORMATEX&);
//   static WaveFormat format(DWORD rate, WORD channels).
#pragma once

#include <algorithm>
#include <memory>
#include <utility>

#include "platform/codec/driver.h"

namespace quillon::codec {

// Bytes of one block at `rate`: 256 per channel, doubled for every multiple of 11025 Hz.
inline WORD adpcm_block_align(DWORD rate, WORD channels) {
    return static_cast<WORD>(256 * channels * std::max<DWORD>(1, rate / 11025));
}

template <typename Codec>
class AdpcmDriver final : public CodecDriver {
  public:
    std::span<const WORD> tags() const override { return {&Codec::kTag, 1}; }
    const char* tag_name(WORD) const override { return Codec::kTagName; }
    const char* short_name() const override { return Codec::kShortName; }
    DWORD largest_format_size(WORD) const override { return sizeof(typename Codec::Format); }
    std::vector<WaveFormat> formats() const override { return classic_rate_grid(&Codec::format); }
    std::string describe(const WAVEFORMATEX& wfx) const override {
        if (!Codec::geometry_of(wfx)) return "";
        return rate_text(wfx.nSamplesPerSec) + ", 4 bit, " + channels_text(wfx.nChannels);
    }
    bool can_decode(const WAVEFORMATEX& wfx) const override {
        return Codec::geometry_of(wfx).has_value();
    }
    std::unique_ptr<Converter> open_decoder(const WAVEFORMATEX& src,
                                            const WAVEFORMATEX& pcm) override {
        auto g = Codec::geometry_of(src);
        if (!g || !is_pcm16_partner(pcm, src)) return nullptr;
        return std::make_unique<typename Codec::Decoder>(std::move(*g));
    }
    std::unique_ptr<Converter> open_encoder(const WAVEFORMATEX& pcm,
                                            const WAVEFORMATEX& dst) override {
        auto g = Codec::geometry_of(dst);
        if (!g || !is_pcm16_partner(pcm, dst)) return nullptr;
        return std::make_unique<typename Codec::Encoder>(std::move(*g));
    }
};

}  // namespace quillon::codec
