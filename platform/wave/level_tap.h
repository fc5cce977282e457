// What the wave backends tell the mixers about the signal: the peak of the samples a device moved
// recently, so that "Peak Meter" controls can report it without opening the device themselves.
#pragma once

#include "platform/wave/wave_backend.h"

// Peak magnitude (0..32768, in 16-bit sample units, whatever the device format) of the samples
// that device `index` of `direction` captured or played in about the last 100 ms; 0 when the
// device is closed or moved nothing. Callable from any thread.
DWORD wave_recent_peak(WaveDirection direction, UINT index);
