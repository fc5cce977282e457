// Settling the sizes of a RIFF file whose writer stopped before it could (killed, crashed, out
// of disk, or writing to a pipe): the sizes such a writer leaves are 0, 0xFFFFFFFF, or what it
// meant to write rather than what is there. The chunk being written when it stopped is the one
// that runs to the end of the file; the RIFF size then counts the file.
#pragma once

#include <cstdint>
#include <vector>

#include "platform/base/win_types.h"

namespace quillon::riff {

struct RiffChunkSizes {
    FOURCC id = 0;
    std::uint64_t data_offset = 0;  // file offset of the chunk's data, bytes
    DWORD found = 0;                // the size its header held
    DWORD settled = 0;              // the size that agrees with the file
};

struct RiffRepair {
    FOURCC form = 0;
    std::uint64_t file_length = 0;  // bytes
    DWORD riff_found = 0;
    DWORD riff_settled = 0;
    std::vector<RiffChunkSizes> chunks;  // the top-level chunks, in file order

    [[nodiscard]] bool changed() const;
};

// Reads the chunk layout of `path` and, when `write` is set, writes every size that disagrees
// with the file in place. 0; MMIOERR_INVALIDFILE when the file does not begin with a RIFF
// header (nothing is touched then); MMIOERR_CANNOTEXPAND when it is too large for RIFF sizes;
// another MMIOERR_ code when it cannot be opened, read or written.
[[nodiscard]] MMRESULT repair_riff_sizes(const char* path, bool write, RiffRepair& report);

}  // namespace quillon::riff
