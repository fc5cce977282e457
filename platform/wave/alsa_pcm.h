// What the ALSA wave backend's enumeration (alsa_wave.cpp) and its devices (alsa_device.cpp)
// share: owned PCM handles, the last error ALSA reported and the counters over every device.
#pragma once

#include <alsa/asoundlib.h>

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>

#include "platform/base/win_types.h"
#include "platform/wave/wave_backend.h"

struct PcmCloser {
    void operator()(snd_pcm_t* pcm) const { snd_pcm_close(pcm); }
};
using PcmPtr = std::unique_ptr<snd_pcm_t, PcmCloser>;

// Opens ALSA device `name` without blocking; null when it does not open, and for ALSA's `null`
// device, which is unpaced and whose capture is not a signal.
PcmPtr open_pcm(const std::string& name, WaveDirection direction);

// The ALSA sample format of a wave format's sample size (8-bit unsigned, 16-bit signed).
snd_pcm_format_t sample_format(WORD bits);

// Keeps `text` as the last error, for alsa_last_error().
void note_error(std::string text);
// ALSA reports to stderr by default; probing devices that do not exist is normal here, so its
// messages go to note_error() instead.
void keep_alsa_messages();

struct AlsaCounters {
    std::atomic<std::uint64_t> wakeups{0};
    std::atomic<std::uint64_t> bytes_moved{0};
    std::atomic<std::uint64_t> xruns{0};
    std::atomic<std::uint64_t> stalls{0};          // devices given up with their driver stuck
    std::atomic<std::uint64_t> parked_threads{0};  // stuck drivers that came back, stopped
    std::atomic<int> open_devices{0};
};
AlsaCounters& alsa_counters();

// Counts one open device for as long as it lives: ALSA's configuration may be reloaded only
// while none is open.
class OpenDeviceCount {
  public:
    OpenDeviceCount() { ++alsa_counters().open_devices; }
    ~OpenDeviceCount() { --alsa_counters().open_devices; }
    OpenDeviceCount(const OpenDeviceCount&) = delete;
    OpenDeviceCount& operator=(const OpenDeviceCount&) = delete;
};
