// The sound server's mixer backend: one mixer per wave device of the pulse wave backend, with the
// wave device's maker id, and one for each direction's wave mapper, which acts on the server's
// default device of the moment. The lines the recorder uses map onto the server:
//
//   a source's mixer:  "Recording" (wave input): "Volume" (the source's volume, one value: the
//                      loudest channel; a write scales every channel alike), "Peak Meter"
//   a sink's mixer:    "Speakers" / "Wave" (wave output): "Volume" (the sink's left and right
//                      channel volumes), "Mute" (the sink's), "Peak Meter"
//                      "Speakers" / "Microphone": "Volume", "Mute": monitoring, the input heard
//                      on this sink through a loopback on the server while "Mute" is off
//
// Volumes are the server's linear 0..100 % (0..65536) as 0..65535; above 100 % reads as 65535.
// Meters read the samples the wave devices moved (level_tap.h). Every read asks the server, so
// a change made in the desktop's mixer shows at the next read.
//
// The loopback records the input the recorder uses: the source whose mixer was opened last (the
// control opens it whenever it chooses the input or reads or writes the gain), else the default
// source; a loopback already running moves to a newly chosen source. Its two streams belong to
// the process's connection, so the server removes them when the program ends, however it ends;
// they are also removed when "Mute" goes on again or the mixer backend is replaced.
#pragma once

#include <pulse/pulseaudio.h>

#include <memory>
#include <span>
#include <vector>

#include "platform/mixer/mixer_backend.h"

std::unique_ptr<MixerBackend> make_pulse_mixer_backend(const WaveBackend& wave);

// Between the server's volumes and the mixer's 0..65535, rounded to nearest so that a value
// written and read back comes back equal.
LONG pulse_to_mixer_volume(pa_volume_t volume);
pa_volume_t mixer_to_pulse_volume(LONG value);

// The values a line of `line_channels` (1 or 2) shows for a device's channel volumes: the
// loudest channel, or the loudest of each side.
std::vector<LONG> pulse_line_values(const pa_cvolume& volume, const pa_channel_map& map,
                                    std::size_t line_channels);
// The device's channel volumes after the line's `values` are written: one value scales every
// channel alike; left and right set their sides, and a channel of neither side (centre, LFE)
// takes the louder of the two.
pa_cvolume pulse_device_volume(pa_cvolume current, const pa_channel_map& map,
                               std::span<const LONG> values);
