// The PCM format the wave devices run for a file format, for recording into it and for playing
// it back.
#pragma once

#include <optional>

#include "platform/base/win_types.h"

namespace kelvane::engine {

// `file_format` itself when it is PCM, else the PCM format the codec manager suggests for it
// (asked for PCM, so that the answer fits the 18 bytes of a device format); cbSize is 0. Nothing
// when the codec manager has no PCM partner for it. `file_format` is followed in memory by its
// cbSize extra bytes.
std::optional<WAVEFORMATEX> device_format_for(const WAVEFORMATEX& file_format);

}  // namespace kelvane::engine
