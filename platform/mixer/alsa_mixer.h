// The ALSA mixer backend: one mixer per sound card, and one for the sound server (PulseAudio or
// PipeWire behind ALSA's default device) when one runs, each mapping the card's simple mixer
// elements onto the four lines the recorder uses:
//
//   "Speakers" / "Wave":        playback volume and switch of "PCM" (else "Master", else the first
//                               element with a playback volume); "Peak Meter" from the wave backend
//   "Speakers" / "Microphone":  playback volume and switch of the microphone element (monitoring)
//   "Recording":                capture volume of "Capture" (else the first element with one);
//                               "Peak Meter" from the wave backend
//   "Recording" / "Microphone": capture volume and switch of the microphone element
//
// A switch that is on means sound, so "Mute" reads and writes its inverse. Volumes are scaled
// from the element's own range to 0..65535. Each mixer carries alsa_maker_id() of its card, as the
// card's wave devices do.
#pragma once

#include <memory>
#include <span>
#include <string>
#include <vector>

#include "platform/mixer/mixer_backend.h"

std::unique_ptr<MixerBackend> make_alsa_mixer_backend();

// What the mapping needs to know of one simple mixer element.
struct AlsaElementInfo {
    std::string name;
    unsigned index = 0;
    bool playback_volume = false;
    bool playback_switch = false;
    bool capture_volume = false;
    bool capture_switch = false;
    bool playback_mono = false;
    bool capture_mono = false;
};

// What one mixer control drives; a control's key is its position in `bindings`.
struct AlsaBinding {
    enum class Kind { playback_volume, playback_mute, capture_volume, capture_mute, meter };
    Kind kind = Kind::meter;
    std::string element;
    unsigned index = 0;
    WaveDirection meter_direction = WaveDirection::output;
};

struct AlsaLinePlan {
    std::vector<MixerLineDesc> destinations;
    std::vector<AlsaBinding> bindings;
};

AlsaLinePlan plan_alsa_lines(std::span<const AlsaElementInfo> elements);

// Scaling between an element's range [minimum, maximum] and 0..65535, rounded to nearest so that
// a value written and read back through a range at least as fine as 0..65535 comes back equal.
LONG alsa_to_mixer_value(long raw, long minimum, long maximum);
long mixer_to_alsa_value(LONG value, long minimum, long maximum);
