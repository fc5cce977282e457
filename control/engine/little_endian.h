// Little-endian fields of RIFF and MPEG headers, independent of the host's byte order.
#pragma once

#include <cstddef>

#include "platform/base/win_types.h"

namespace kelvane::engine {

inline WORD get_u16(const BYTE* in) {
    return static_cast<WORD>(in[0] | in[1] << 8);
}

inline DWORD get_u32(const BYTE* in) {
    return static_cast<DWORD>(in[0]) | static_cast<DWORD>(in[1]) << 8 |
           static_cast<DWORD>(in[2]) << 16 | static_cast<DWORD>(in[3]) << 24;
}

inline void put_u16(BYTE* out, WORD value) {
    out[0] = static_cast<BYTE>(value);
    out[1] = static_cast<BYTE>(value >> 8);
}

inline void put_u32(BYTE* out, DWORD value) {
    for (std::size_t i = 0; i < 4; ++i) out[i] = static_cast<BYTE>(value >> (8 * i));
}

}  // namespace kelvane::engine
