// One open ALSA device of the wave backend (alsa_wave.h describes how it runs): a driver thread
// that waits on the device's poll descriptors and moves whole periods between the device and the
// queued buffers.
#pragma once

#include <memory>
#include <string>

#include "platform/wave/wave_backend.h"

// Opens ALSA device `pcm_name` in exactly `format` (WAVERR_BADFORMAT when it cannot run it) as
// wave device `index` of `direction`; with `device` null only answers whether it would.
MMRESULT open_alsa_device(const std::string& pcm_name, WaveDirection direction, UINT index,
                          const WAVEFORMATEX& format, std::unique_ptr<WaveDevice>* device);
