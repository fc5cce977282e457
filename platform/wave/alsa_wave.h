// The ALSA wave backend: real sound cards and, through ALSA's `default` and `pulse` devices, the
// sound server (PulseAudio or PipeWire).
//
// Devices, in this order, each listed only when it opens in that direction:
//   "ALSA Default"  ALSA's `default` device (the wave mapper's choice)
//   "PulseAudio"    ALSA's `pulse` device, when the plugin is installed and a server answers
//   card names      `sysdefault:CARD=<id>` of each card, named as the card calls itself
// ALSA's `null` device is never listed nor used: it is unpaced and its capture is not a signal.
// The list is taken once, when the backend is created.
//
// Each open device has a driver thread that waits on the device's poll descriptors and moves
// whole periods of about 100 ms (four of them buffered): input into the queued buffers, output
// from them. A descriptor that signals while nothing can move (a plugin's, after a prepare) is
// not polled again until something moves; meanwhile the device is looked at once a period. The
// device runs in exactly the format asked for, without resampling; a format it cannot run is
// refused with WAVERR_BADFORMAT. Over- and under-runs are recovered; a buffer's byte count only
// ever counts bytes that were really captured, and the play position only bytes that were really
// played.
//
// A plugin can block its caller for good (a sound server's client library that deadlocks when the
// server dies). A watchdog thread per device therefore gives the device up when its driver thread
// has been inside one call into ALSA for 3 s: the device then counts as stopped working for good
// (its buffers come back, its calls answer MMSYSERR_NODRIVER), and closing it returns at once,
// leaving the stuck thread and what it may still touch allocated.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "platform/wave/wave_backend.h"

std::unique_ptr<WaveBackend> make_alsa_wave_backend();

// Counters over every ALSA wave device of the process since it started (benchmarks, logs).
struct AlsaWaveStats {
    std::uint64_t wakeups = 0;      // driver wake-ups that found the device running
    std::uint64_t bytes_moved = 0;  // bytes captured or handed to the device
    std::uint64_t xruns = 0;        // over- and under-runs recovered
    std::uint64_t stalls = 0;       // devices given up because their driver thread was stuck
};
AlsaWaveStats alsa_wave_stats();

// Diagnostics for logs: the last error ALSA reported in this process ("" when none).
std::string alsa_last_error();
