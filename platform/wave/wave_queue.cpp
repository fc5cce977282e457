#include "platform/wave/wave_queue.h"

#include <algorithm>
#include <atomic>

namespace {

std::atomic_ref<DWORD> shared(const DWORD& field) {
    // The header belongs to the caller; only its two published fields are accessed atomically.
    return std::atomic_ref<DWORD>(const_cast<DWORD&>(field));
}

}  // namespace

DWORD load_bytes_recorded(const WAVEHDR& header) {
    return shared(header.dwBytesRecorded).load(std::memory_order_acquire);
}

DWORD load_flags(const WAVEHDR& header) {
    return shared(header.dwFlags).load(std::memory_order_acquire);
}

void set_flags(WAVEHDR& header, DWORD set, DWORD clear) {
    auto flags = shared(header.dwFlags);
    DWORD old = flags.load(std::memory_order_relaxed);
    while (!flags.compare_exchange_weak(old, (old & ~clear) | set, std::memory_order_release,
                                        std::memory_order_relaxed)) {
    }
}

void HeaderQueue::push(WAVEHDR& header) {
    m_headers.push_back(&header);
}

void HeaderQueue::complete_front() {
    WAVEHDR* header = m_headers.front();
    m_headers.pop_front();
    m_played = 0;
    set_flags(*header, WHDR_DONE, WHDR_INQUEUE);
}

std::span<BYTE> HeaderQueue::capture_room() {
    while (!m_headers.empty()) {
        WAVEHDR& header = *m_headers.front();
        const DWORD used = load_bytes_recorded(header);
        const DWORD room = (header.dwBufferLength - used) / m_block_align * m_block_align;
        if (room > 0) return {reinterpret_cast<BYTE*>(header.lpData) + used, room};
        complete_front();
    }
    return {};
}

void HeaderQueue::commit_capture(std::size_t bytes) {
    if (m_headers.empty() || bytes == 0) return;
    WAVEHDR& header = *m_headers.front();
    const DWORD used = load_bytes_recorded(header) + static_cast<DWORD>(bytes);
    // Release: the bytes written into lpData are visible to whoever sees the new count.
    shared(header.dwBytesRecorded).store(used, std::memory_order_release);
    if (header.dwBufferLength - used < m_block_align) complete_front();
}

void HeaderQueue::complete_partial_capture() {
    if (!m_headers.empty() && load_bytes_recorded(*m_headers.front()) > 0) complete_front();
}

std::span<const BYTE> HeaderQueue::playback_data() {
    while (!m_headers.empty()) {
        const WAVEHDR& header = *m_headers.front();
        if (m_played < header.dwBufferLength)
            return {reinterpret_cast<const BYTE*>(header.lpData) + m_played,
                    header.dwBufferLength - m_played};
        complete_front();
    }
    return {};
}

void HeaderQueue::commit_playback(std::size_t bytes) {
    if (m_headers.empty()) return;
    m_played += bytes;
    if (m_played >= m_headers.front()->dwBufferLength) complete_front();
}

void HeaderQueue::complete_all() {
    while (!m_headers.empty()) complete_front();
}
