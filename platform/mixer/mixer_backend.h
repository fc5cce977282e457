// The contract between the mixer front end (the mixer* calls) and a backend.
//
// A backend describes each mixer device once, as a tree: destinations, their source lines, and
// each line's controls. The front end numbers lines and controls, fills the callers' structures,
// and keeps the handles. It has already checked everything a caller can get wrong: handles and
// ids, flags, structure sizes, channel counts; it clamps values written to a control into the
// control's bounds and turns a value written to one channel into one value per channel.
//
// A backend therefore only:
//   - gives each device the maker id that the wave devices of the same card report, so that a
//     wave device and its mixer can be matched;
//   - keeps a device's tree fixed for the device's lifetime (ids must not move under a caller);
//   - opens a session per open handle and, in it, reads and writes control values, exactly
//     `value_count(line, control)` of them, as 0..65535 for faders, 0 or 1 for mutes, and
//     0..32768 (a peak magnitude in 16-bit sample units) for meters;
//   - keeps its native error codes to itself and answers with MMSYSERR_ results.
#pragma once

#include <functional>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "platform/base/win_types.h"
#include "platform/mixer/mmsystem_mixer.h"
#include "platform/wave/wave_backend.h"

struct MixerControlDesc {
    DWORD type = 0;    // MIXERCONTROL_CONTROLTYPE_*
    std::string name;  // what callers search for: "Volume", "Mute", "Peak Meter"
    DWORD flags = 0;   // MIXERCONTROL_CONTROLF_*; a uniform control has one value for all channels
    LONG minimum = 0;
    LONG maximum = 0;
    DWORD steps = 0;
    int key = 0;  // the backend's own reference to what the control drives
};

struct MixerLineDesc {
    DWORD component_type = 0;  // MIXERLINE_COMPONENTTYPE_*
    std::string name;
    DWORD channels = 1;
    DWORD target_type = MIXERLINE_TARGETTYPE_UNDEFINED;
    std::vector<MixerControlDesc> controls;
    std::vector<MixerLineDesc> sources;  // a destination's source lines; empty for a source
};

// Values a session exchanges for one control of one line.
inline std::size_t value_count(const MixerLineDesc& line, const MixerControlDesc& control) {
    return (control.flags & MIXERCONTROL_CONTROLF_UNIFORM) ? 1 : line.channels;
}

class MixerSession {
  public:
    virtual ~MixerSession() = default;
    virtual MMRESULT get_values(const MixerLineDesc& line, const MixerControlDesc& control,
                                std::span<LONG> values) = 0;
    virtual MMRESULT set_values(const MixerLineDesc& line, const MixerControlDesc& control,
                                std::span<const LONG> values) = 0;
};

class MixerDevice {
  public:
    virtual ~MixerDevice() = default;
    virtual std::string name() const = 0;  // at most 31 characters
    virtual WORD maker_id() const = 0;
    virtual WORD product_id() const = 0;
    virtual const std::vector<MixerLineDesc>& destinations() const = 0;
    // Null when the device cannot be reached any more.
    virtual std::unique_ptr<MixerSession> open() = 0;
};

class MixerBackend {
  public:
    virtual ~MixerBackend() = default;
    virtual std::vector<std::shared_ptr<MixerDevice>> devices() = 0;
};

// The backend that goes with the wave backend in use: the virtual card's mixer, or one mixer per
// ALSA card (and one for the sound server). Chosen again, with fresh state, whenever the wave
// backend is replaced, unless one was installed with set_mixer_backend.
MixerBackend& mixer_backend();
// Installs a backend (tests), or with null forgets it and its state and chooses again.
void set_mixer_backend(std::unique_ptr<MixerBackend> backend);

// The peak (0..32768) that the wave devices of one card moved recently, for "Peak Meter"
// controls: the largest over the devices of `direction` that carry `maker_id`.
DWORD card_recent_peak(WaveDirection direction, WORD maker_id);
