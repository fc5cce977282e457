// Formats by name, for people who script recordings: `TAG:RATE:CHANNELS` with a fourth field for
// PCM (bits per sample) and MP3 (kbit/s). TAG is pcm, alaw, mulaw, ima-adpcm, ms-adpcm, gsm610 or
// mp3; for example pcm:44100:2:16, alaw:8000:1, ima-adpcm:22050:1, mp3:44100:2:128. The names
// are exactly those of the formats the chooser offers.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "platform/codec/acm.h"

namespace quillon::codec {

// Every format PCM can be recorded into, grouped by tag in the order of the driver list.
[[nodiscard]] std::vector<AcmFormatChoice> format_choices();

// The list above as text, one format a line: name, tag name and description separated by
// two or more blanks so the columns line up.
[[nodiscard]] std::string format_list_text();

struct ParsedFormat {
    std::vector<BYTE> format;  // WAVEFORMATEX and its extra bytes; empty when refused
    std::string error;         // why the name was refused; empty on success

    [[nodiscard]] bool ok() const { return error.empty(); }
    [[nodiscard]] const WAVEFORMATEX& wfx() const {
        return *reinterpret_cast<const WAVEFORMATEX*>(format.data());
    }
};

// Looks a name up in the format list; names are not case-sensitive. A name that is no listed
// format is refused with a message saying why.
[[nodiscard]] ParsedFormat parse_format_name(std::string_view name);

// The name of a format in the syntax above, whether listed or not (pcm:96000:2:24 for a file's
// format), or "" when its tag has no name (float, extensible) or no driver accepts it.
[[nodiscard]] std::string format_name(const WAVEFORMATEX& wfx);

}  // namespace quillon::codec
