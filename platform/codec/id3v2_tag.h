// ID3v2 tags: the texts (title, artist, comment, ...) that players show for an MP3 file, in the
// block of bytes that goes before its first frame.
#pragma once

#include <span>
#include <string>
#include <vector>

#include "platform/base/win_types.h"

namespace quillon::codec {

struct Id3Text {
    std::string frame;        // frame id: "TIT2", "TPE1", "COMM", "TXXX", ...
    std::string description;  // COMM and TXXX only: what the text is
    std::string text;         // UTF-8; bytes that are no valid UTF-8 are read as Latin-1
};

// An ID3v2.3 tag holding the texts in order, or nothing when none has a text. A frame whose
// strings Latin-1 can hold is stored in it, any other in UTF-16 with a byte-order mark: the two
// encodings every reader of version 2.3 knows.
[[nodiscard]] std::vector<BYTE> id3v2_tag(std::span<const Id3Text> texts);

}  // namespace quillon::codec
