#include "platform/wave/level_tap.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstring>
#include <mutex>

#include "platform/wave/mmsystem_wave.h"

namespace {

constexpr int kTrackedDevices = 32;  // per direction
// Each direction also has a slot for a device that the wave mapper opened as a device of its
// own (a sound server's default); other backends' mappers open device 0 and feed its slot.
constexpr int kSlotsPerDirection = kTrackedDevices + 1;
constexpr int kMapperSlot = kTrackedDevices;

struct Slot {
    std::mutex mutex;
    DWORD previous = 0;        // peak of the last full bin
    DWORD current = 0;         // peak of the bin being filled
    std::uint32_t filled = 0;  // samples in the current bin
};

std::array<Slot, 2 * kSlotsPerDirection>& slots() {
    static std::array<Slot, 2 * kSlotsPerDirection> all;
    return all;
}

int slot_of(WaveDirection direction, UINT index) {
    const int base = direction == WaveDirection::input ? 0 : kSlotsPerDirection;
    if (index == WAVE_MAPPER) return base + kMapperSlot;
    if (index >= static_cast<UINT>(kTrackedDevices)) return -1;
    return base + static_cast<int>(index);
}

DWORD slot_peak(int slot) {
    if (slot < 0) return 0;
    Slot& s = slots()[slot];
    std::lock_guard lock(s.mutex);
    return std::max(s.previous, s.current);
}

// The peaks of `count` samples at `p`, in 16-bit units. Every sample a device moves passes here,
// so the loops keep to locals (and vectorise) instead of updating the shared slot per sample.
DWORD peak16(const BYTE* p, std::size_t count) {
    int high = 0;
    int low = 0;
    for (std::size_t i = 0; i < count; ++i) {
        std::uint16_t raw;
        std::memcpy(&raw, p + 2 * i, 2);
        if constexpr (std::endian::native == std::endian::big)
            raw = static_cast<std::uint16_t>(raw << 8 | raw >> 8);
        const int value = static_cast<std::int16_t>(raw);
        high = std::max(high, value);
        low = std::min(low, value);
    }
    return static_cast<DWORD>(std::max(high, -low));
}

DWORD peak8(const BYTE* p, std::size_t count) {
    int high = 128;
    int low = 128;
    for (std::size_t i = 0; i < count; ++i) {
        high = std::max<int>(high, p[i]);
        low = std::min<int>(low, p[i]);
    }
    return static_cast<DWORD>(std::max(high - 128, 128 - low) * 256);
}

}  // namespace

DWORD wave_recent_peak(WaveDirection direction, UINT index) {
    const DWORD own = slot_peak(slot_of(direction, index));
    if (index != WAVE_MAPPER) return own;
    return std::max(own, slot_peak(slot_of(direction, 0)));
}

PeakTap::PeakTap(WaveDirection direction, UINT index, const WAVEFORMATEX& format)
    : m_slot(slot_of(direction, index)),
      m_bits(format.wBitsPerSample),
      m_bin_samples(std::max<std::uint32_t>(1, format.nSamplesPerSec * format.nChannels / 20)) {
    clear();
}

PeakTap::~PeakTap() {
    clear();
}

void PeakTap::clear() {
    if (m_slot < 0) return;
    Slot& s = slots()[m_slot];
    std::lock_guard lock(s.mutex);
    s.previous = s.current = 0;
    s.filled = 0;
}

void PeakTap::feed(std::span<const BYTE> bytes) {
    if (m_slot < 0) return;
    const std::size_t width = m_bits == 8 ? 1 : 2;
    const BYTE* p = bytes.data();
    std::size_t samples = bytes.size() / width;
    Slot& s = slots()[m_slot];
    std::lock_guard lock(s.mutex);
    while (samples > 0) {
        // Up to the end of the bin being filled.
        const std::size_t n = std::min<std::size_t>(samples, m_bin_samples - s.filled);
        s.current = std::max(s.current, width == 1 ? peak8(p, n) : peak16(p, n));
        s.filled += static_cast<std::uint32_t>(n);
        p += n * width;
        samples -= n;
        if (s.filled >= m_bin_samples) {
            s.previous = s.current;
            s.current = 0;
            s.filled = 0;
        }
    }
}
