// The play position of a stream whose driver learns it now and then (from the server's timing
// reports, a few times a second) while a poller asks for it at any moment. The driver publishes
// an anchor: the bytes played at a moment and whether playback moves on from there; the poller
// extrapolates it at the stream's byte rate. Lock-free: a sequence count makes the three fields
// one value, so the poller never waits on the driver.
#pragma once

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdint>

class PulsePlayClock {
  public:
    using Clock = std::chrono::steady_clock;

    PulsePlayClock(std::uint32_t bytes_per_second, std::uint32_t block_align)
        : m_rate(bytes_per_second), m_align(block_align ? block_align : 1) {}

    // Driver side; one writer at a time (the writers hold the stream's lock).
    void set(std::uint64_t bytes, Clock::time_point at, bool moving) {
        const std::uint32_t sequence = m_sequence.load(std::memory_order_relaxed);
        m_sequence.store(sequence + 1, std::memory_order_relaxed);
        std::atomic_thread_fence(std::memory_order_release);
        m_bytes.store(bytes, std::memory_order_relaxed);
        m_at.store(at.time_since_epoch().count(), std::memory_order_relaxed);
        m_moving.store(moving, std::memory_order_relaxed);
        m_sequence.store(sequence + 2, std::memory_order_release);
    }

    // Any thread: the bytes played by `now`, in whole blocks and never past `limit` (what was
    // handed to the server: nothing plays beyond it).
    std::uint64_t at(Clock::time_point now, std::uint64_t limit) const {
        std::uint64_t bytes = 0;
        Clock::rep at = 0;
        bool moving = false;
        for (;;) {
            const std::uint32_t before = m_sequence.load(std::memory_order_acquire);
            bytes = m_bytes.load(std::memory_order_relaxed);
            at = m_at.load(std::memory_order_relaxed);
            moving = m_moving.load(std::memory_order_relaxed);
            std::atomic_thread_fence(std::memory_order_acquire);
            if (before % 2 == 0 && m_sequence.load(std::memory_order_relaxed) == before) break;
        }
        if (moving) {
            const auto elapsed = now.time_since_epoch() - Clock::duration(at);
            const auto us = std::chrono::duration_cast<std::chrono::microseconds>(elapsed).count();
            if (us > 0) bytes += static_cast<std::uint64_t>(us) * m_rate / 1'000'000;
        }
        return std::min(bytes, limit) / m_align * m_align;
    }

  private:
    const std::uint32_t m_rate;                // bytes per second
    const std::uint32_t m_align;               // bytes per block
    std::atomic<std::uint32_t> m_sequence{0};  // odd while the driver writes
    std::atomic<std::uint64_t> m_bytes{0};     // played at m_at
    std::atomic<Clock::rep> m_at{0};           // steady_clock ticks
    std::atomic<bool> m_moving{false};         // playback goes on from the anchor
};
