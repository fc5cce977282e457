#include "control/engine/engine_buffers.h"

#include <algorithm>
#include <cstdint>

#include "platform/base/out_of_memory.h"

namespace kelvane::engine {

DWORD buffer_bytes(DWORD bytes_per_second, LONG milliseconds, DWORD factor) {
    const std::uint64_t bytes = std::uint64_t{factor} * bytes_per_second *
                                static_cast<std::uint64_t>(std::max<LONG>(milliseconds, 0)) / 1000;
    return static_cast<DWORD>(std::min<std::uint64_t>(bytes, 0x3FFFFFFF));
}

bool allocate_buffers(DeviceBuffers& buffers, SoundFile& file, DWORD length, WORD block_align) {
    const bool allocated =
        length >= std::max<DWORD>(block_align, 1) && or_out_of_memory(false, [&] {
            for (auto& buffer : buffers) buffer.assign(std::size_t{length} * 2, 0);
            return file.allocate_work_buffer(length * 2);
        });
    if (!allocated) free_buffers(buffers, file);
    return allocated;
}

void free_buffers(DeviceBuffers& buffers, SoundFile& file) {
    for (auto& buffer : buffers) std::vector<BYTE>().swap(buffer);
    file.free_work_buffer();
}

}  // namespace kelvane::engine
