// Until the wave backends publish their recent peaks, meters read silence.
#include "platform/wave/level_tap.h"

__attribute__((weak)) DWORD wave_recent_peak(WaveDirection, UINT) {
    return 0;
}
