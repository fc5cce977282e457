#include "control/engine/durable_append.h"

#include <algorithm>
#include <array>
#include <limits>

namespace kelvane::engine {

bool DurableAppend::start(HMMIO file, std::uint64_t length,
                          std::initializer_list<MMCKINFO*> open_chunks) {
    m_file = file;
    m_committed = length;
    m_chunk_count = std::min(open_chunks.size(), m_chunks.size());
    std::copy_n(open_chunks.begin(), m_chunk_count, m_chunks.begin());
    m_last_sync = std::chrono::steady_clock::now();
    return commit(false);
}

bool DurableAppend::append(std::span<const BYTE> bytes) {
    if (m_file == nullptr ||
        bytes.size() > static_cast<std::size_t>(std::numeric_limits<LONG>::max()))
        return false;
    const auto count = static_cast<LONG>(bytes.size());
    const auto now = std::chrono::steady_clock::now();
    const bool sync = now - m_last_sync >= kSyncIntervalMs;
    if (mmioWrite(m_file, reinterpret_cast<const char*>(bytes.data()), count) == count &&
        commit(sync)) {
        m_committed += bytes.size();
        if (sync) m_last_sync = now;
        return true;
    }
    // Back to the last commit: the sizes on disk then count exactly what the file holds.
    if (m_committed <= std::numeric_limits<DWORD>::max() &&
        mmioTruncate(m_file, static_cast<DWORD>(m_committed)) == 0)
        (void)commit(false);
    return false;
}

bool DurableAppend::commit(bool sync) {
    // Settling a size writes the buffered bytes first: data, then the sizes that count it.
    for (std::size_t i = 0; i < m_chunk_count; ++i)
        if (mmioSettleChunk(m_file, m_chunks[i]) != 0) return false;
    return mmioFlush(m_file, sync ? MMIO_FLUSHSYNC : 0) == 0;
}

}  // namespace kelvane::engine
