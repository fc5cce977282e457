// Which ID3v2 frame carries which text of a WAV file's INFO list, so that players show an MP3
// file's title, artist, album, date, genre and comment as they showed the WAV file's.
#pragma once

#include <vector>

#include "control/engine/info_slots.h"
#include "platform/codec/id3v2_tag.h"

namespace mp3enc {

// The tag's texts in the order of the INFO slots, then the display name. Texts without a frame
// of their own go into user text frames (TXXX) named after what they are.
[[nodiscard]] std::vector<quillon::codec::Id3Text> id3_texts(
    const kelvane::engine::InfoTexts& info);

}  // namespace mp3enc
