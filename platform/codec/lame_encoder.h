// LAME as the codec drivers and the MP3 file writer use it: one set-up and one way of feeding
// samples in and taking frames out, so both make the same frames of the same input.
#pragma once

#include <lame/lame.h>

#include <cstdint>
#include <memory>
#include <span>
#include <vector>

#include "platform/base/win_types.h"

namespace quillon::codec {

struct LameDeleter {
    void operator()(lame_global_flags* gf) const { lame_close(gf); }
};
using LamePtr = std::unique_ptr<lame_global_flags, LameDeleter>;

struct LameSettings {
    int rate = 44100;  // of the input and the output: LAME never resamples here
    int channels = 2;
    int kbps = 128;             // the bit rate, or with `average` the mean of frames that vary
    bool average = false;       // LAME's average bit rate mode
    int quality = 5;            // LAME's quality, 0 (best, slowest) to 9
    bool info_frame = false;    // reserve the first frame for the Xing/LAME info frame
    std::uint64_t samples = 0;  // per channel, when known (for LAME's frame estimate)
};

// Whether LAME's own info frame fits a constant-bit-rate stream: it gives that frame the
// stream's bit rate and leaves it out when the frame is too small for it.
[[nodiscard]] bool info_frame_fits(int rate, int channels, int kbps);

// A configured encoder, or null when LAME refuses the settings. Its messages are silenced.
[[nodiscard]] LamePtr make_lame(const LameSettings& settings);

// Encodes interleaved 16-bit samples and appends the frames that are ready to `out`.
[[nodiscard]] bool lame_encode(lame_global_flags* gf, std::span<const std::int16_t> samples,
                               int channels, std::vector<BYTE>& out);
// Appends the frames LAME still holds; the encoder takes no more samples afterwards.
[[nodiscard]] bool lame_flush(lame_global_flags* gf, std::vector<BYTE>& out);

}  // namespace quillon::codec
