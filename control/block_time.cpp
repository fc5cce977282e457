#include "control/block_time.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>

namespace {
constexpr double kLongMin = std::numeric_limits<LONG>::min();
constexpr double kLongMax = std::numeric_limits<LONG>::max();
}  // namespace

LONG blocks_to_milliseconds(LONG blocks, DWORD samples_per_sec) {
    if (samples_per_sec == 0) return 0;
    const double ms = std::trunc(static_cast<double>(blocks) / samples_per_sec * 1000.0);
    return static_cast<LONG>(std::clamp(ms, kLongMin, kLongMax));
}

LONG milliseconds_to_blocks(LONG milliseconds, DWORD samples_per_sec) {
    const std::int64_t blocks = std::int64_t{milliseconds} * samples_per_sec / 1000;
    return static_cast<LONG>(std::clamp<std::int64_t>(blocks, std::numeric_limits<LONG>::min(),
                                                      std::numeric_limits<LONG>::max()));
}
