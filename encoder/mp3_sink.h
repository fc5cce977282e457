// The output of a WAV-to-MP3 conversion: the platform's MP3 file writer fed at an MP3 rate that
// carries the bit rate, with the input's texts in its tag.
#pragma once

#include <memory>
#include <string>

#include "encoder/conversion.h"

namespace mp3enc {

struct Mp3Settings {
    DWORD kbps = 128;
    bool average = false;  // average bit rate instead of a constant one
    bool tags = true;      // the input's texts into an ID3v2 tag
    TextOverrides texts;
};

[[nodiscard]] SinkMaker mp3_sink(const Mp3Settings& settings);

}  // namespace mp3enc
