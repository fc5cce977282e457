// What the wave backends tell the mixers about the signal: the peak of the samples a device moved
// recently, so that "Peak Meter" controls can report it without opening the device themselves.
#pragma once

#include <cstdint>
#include <span>

#include "platform/wave/wave_backend.h"

// Peak magnitude (0..32768, in 16-bit sample units, whatever the device format) of the samples
// that device `index` of `direction` captured or played in about the last 100 ms; 0 when the
// device is closed or moved nothing. WAVE_MAPPER reads what the mapper opened: device 0, or the
// device a backend opened for the mapper itself. Callable from any thread.
DWORD wave_recent_peak(WaveDirection direction, UINT index);

// The backends' side: one tap per open device. "Recent" is counted in the device's own samples
// (two bins of 50 ms each), so the manual clock meters exactly what it moved; a device that
// stops moving data clears its tap.
class PeakTap {
  public:
    // `index` is the device's number, or WAVE_MAPPER for a device the mapper opened as such.
    PeakTap(WaveDirection direction, UINT index, const WAVEFORMATEX& format);
    ~PeakTap();  // clears the device's reading
    PeakTap(const PeakTap&) = delete;
    PeakTap& operator=(const PeakTap&) = delete;

    // Samples the device moved, in its format.
    void feed(std::span<const BYTE> bytes);
    // The device stopped, paused, was reset or ran dry.
    void clear();

  private:
    int m_slot;                   // -1: the index is beyond what the taps track
    WORD m_bits;                  // 8 or 16
    std::uint32_t m_bin_samples;  // samples (not frames) per 50 ms bin
};
