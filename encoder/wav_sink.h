// The output of a WAV-to-WAV conversion: a WAV file in any format a recording can be made in,
// written through the codec manager and the sound file object as a recording is, with the
// input's INFO texts and display name.
#pragma once

#include <string>
#include <vector>

#include "encoder/conversion.h"

namespace mp3enc {

struct WavSettings {
    // A format name as the format list gives it; empty: 16-bit PCM at the listed rate nearest
    // the input's, with the input's channels.
    std::string format;
    TextOverrides texts;
};

// `chosen` receives the name of the format the sink writes.
[[nodiscard]] SinkMaker wav_sink(const WavSettings& settings, std::string& chosen);

}  // namespace mp3enc
