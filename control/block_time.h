// Block and time arithmetic: a block is one sample frame of the device format.
#pragma once

#include "platform/base/win_types.h"

// Blocks to milliseconds, truncated toward zero; 0 when the rate is 0. Saturates at the 32-bit
// range instead of overflowing.
LONG blocks_to_milliseconds(LONG blocks, DWORD samples_per_sec);
// Milliseconds to blocks, computed in 64 bits, truncated toward zero and saturated at the 32-bit
// range (a 32-bit product would wrap above about 97 seconds at 44100 Hz).
LONG milliseconds_to_blocks(LONG milliseconds, DWORD samples_per_sec);
