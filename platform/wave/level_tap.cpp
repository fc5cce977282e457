#include "platform/wave/level_tap.h"

#include <algorithm>
#include <array>
#include <mutex>

#include "platform/wave/mmsystem_wave.h"

namespace {

constexpr int kTrackedDevices = 32;  // per direction

struct Slot {
    std::mutex mutex;
    DWORD previous = 0;        // peak of the last full bin
    DWORD current = 0;         // peak of the bin being filled
    std::uint32_t filled = 0;  // samples in the current bin
};

std::array<Slot, 2 * kTrackedDevices>& slots() {
    static std::array<Slot, 2 * kTrackedDevices> all;
    return all;
}

int slot_of(WaveDirection direction, UINT index) {
    if (index == WAVE_MAPPER) index = 0;
    if (index >= static_cast<UINT>(kTrackedDevices)) return -1;
    return (direction == WaveDirection::input ? 0 : kTrackedDevices) + static_cast<int>(index);
}

}  // namespace

DWORD wave_recent_peak(WaveDirection direction, UINT index) {
    const int slot = slot_of(direction, index);
    if (slot < 0) return 0;
    Slot& s = slots()[slot];
    std::lock_guard lock(s.mutex);
    return std::max(s.previous, s.current);
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
    Slot& s = slots()[m_slot];
    std::lock_guard lock(s.mutex);
    const std::size_t step = m_bits == 8 ? 1 : 2;
    for (std::size_t i = 0; i + step <= bytes.size(); i += step) {
        int value;
        if (step == 1)
            value = (static_cast<int>(bytes[i]) - 128) * 256;
        else
            value = static_cast<std::int16_t>(bytes[i] | (bytes[i + 1] << 8));
        const auto magnitude = static_cast<DWORD>(value < 0 ? -value : value);
        s.current = std::max(s.current, magnitude);
        if (++s.filled >= m_bin_samples) {
            s.previous = s.current;
            s.current = 0;
            s.filled = 0;
        }
    }
}
