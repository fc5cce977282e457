// One open ALSA device of the wave backend (alsa_wave.h describes how it runs): a driver thread
// that waits on the device's poll descriptors and moves whole periods between the device and the
// queued buffers, and a watchdog that gives the device up when that thread is stuck inside ALSA.
#pragma once

#include <chrono>
#include <functional>
#include <memory>
#include <string>

#include "platform/wave/wave_backend.h"

// Opens ALSA device `pcm_name` in exactly `format` (WAVERR_BADFORMAT when it cannot run it) as
// wave device `index` of `direction`; with `device` null only answers whether it would.
MMRESULT open_alsa_device(const std::string& pcm_name, WaveDirection direction, UINT index,
                          const WAVEFORMATEX& format, std::unique_ptr<WaveDevice>* device);

// How the watchdog judges a driver thread, and a stand-in for a call into ALSA (tests: a call
// that does not return). Devices opened afterwards use it.
struct AlsaDriverSeam {
    // A driver thread that has been inside one call into ALSA for this long is stuck for good:
    // a live device answers within milliseconds and a server's round trip within a fraction of
    // a second, while a recording should end within a few seconds of its device's end.
    std::chrono::milliseconds stall_after{3000};
    // Called by the driver thread on each pass while its device runs, inside the device as its
    // calls into ALSA are.
    std::function<void()> on_pass;
};
void set_alsa_driver_seam(AlsaDriverSeam seam);
