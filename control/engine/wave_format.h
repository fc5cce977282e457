// The file format buffer shared by the WAV and MP3 file code and the sound file object.
#pragma once

#include <array>
#include <cstddef>

#include "platform/base/win_types.h"

namespace kelvane::engine {

// Bytes of room for a file format: the header plus every extra byte a codec may need.
inline constexpr std::size_t kFormatBufferBytes = 180;
inline constexpr std::size_t kMaxExtraFormatBytes = kFormatBufferBytes - sizeof(WAVEFORMATEX);

// Longest path the file code accepts, in characters.
inline constexpr std::size_t kMaxPathChars = 1023;

#pragma pack(push, 1)
// A WAVEFORMATEX followed by room for its `cbSize` extra bytes, so `&wfx` can be handed to any
// call that reads `cbSize` bytes past the header.
struct FileFormat {
    WAVEFORMATEX wfx{};
    std::array<BYTE, kMaxExtraFormatBytes> extra{};
};
#pragma pack(pop)
static_assert(sizeof(FileFormat) == kFormatBufferBytes);

}  // namespace kelvane::engine
