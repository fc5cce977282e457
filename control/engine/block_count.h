// BlocksCount arithmetic shared by both engines: a count that would pass 2^31 - 1 (a WAV file of
// 8-bit mono holds up to 2^32 blocks) stays there instead of turning negative.
#pragma once

#include <algorithm>
#include <cstdint>
#include <limits>

#include "platform/base/win_types.h"

namespace kelvane::engine {

inline LONG saturated_blocks(std::uint64_t blocks) {
    return static_cast<LONG>(std::min<std::uint64_t>(
        blocks, static_cast<std::uint64_t>(std::numeric_limits<LONG>::max())));
}

inline void add_blocks(LONG& count, std::uint64_t blocks) {
    count = saturated_blocks(static_cast<std::uint64_t>(std::max<LONG>(count, 0)) + blocks);
}

}  // namespace kelvane::engine
