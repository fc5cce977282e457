// Appending to a file being recorded so that it survives its writer being killed: what append()
// returns from is in the file (not in a buffer of ours) and the sizes of the chunks still open
// count it, so a file cut off at any moment holds everything up to its last append. The storage
// itself is waited for at most every kSyncIntervalMs, which bounds what a power cut can take.
#pragma once

#include <chrono>
#include <cstdint>
#include <initializer_list>
#include <span>

#include "platform/riff/mmio.h"

namespace kelvane::engine {

inline constexpr std::chrono::milliseconds kSyncIntervalMs{5000};

class DurableAppend {
  public:
    // `file` is positioned at its end, `length` bytes long, with `open_chunks` created and not
    // ascended (RIFF and data for a WAV file, none for a raw stream). Settles them at once, so an
    // empty recording is already a valid file. False when that cannot be written.
    [[nodiscard]] bool start(HMMIO file, std::uint64_t length,
                             std::initializer_list<MMCKINFO*> open_chunks);

    // Appends `bytes` and commits them. On failure the file is cut back to what the last commit
    // left, so it never holds half a buffer, and false is returned.
    [[nodiscard]] bool append(std::span<const BYTE> bytes);

    // File length up to which everything is committed, in bytes.
    [[nodiscard]] std::uint64_t committed() const { return m_committed; }

  private:
    bool commit(bool sync);

    HMMIO m_file = nullptr;
    std::uint64_t m_committed = 0;
    std::array<MMCKINFO*, 2> m_chunks{};  // outermost last, so inner sizes reach the disk first
    std::size_t m_chunk_count = 0;
    std::chrono::steady_clock::time_point m_last_sync{};
};

}  // namespace kelvane::engine
