// The buffers both engines allocate once per Record or Play.
#pragma once

#include <array>
#include <vector>

#include "control/engine/sound_file.h"

namespace kelvane::engine {

using DeviceBuffers = std::array<std::vector<BYTE>, 2>;

// `milliseconds` of audio at `bytes_per_second`, times `factor`: computed in 64 bits (a 32-bit
// product wraps above about 24 s of 44.1 kHz stereo) and capped well below 2 GiB.
DWORD buffer_bytes(DWORD bytes_per_second, LONG milliseconds, DWORD factor);

// Both device buffers and the sound file's work buffer, each twice `length` and zero-filled.
// False, with nothing allocated, when `length` holds no whole block or memory runs out.
bool allocate_buffers(DeviceBuffers& buffers, SoundFile& file, DWORD length, WORD block_align);
void free_buffers(DeviceBuffers& buffers, SoundFile& file);

}  // namespace kelvane::engine
