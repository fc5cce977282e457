// The virtual card's mixer: the four lines the recorder uses, with values that live in the
// process, and meters that read the virtual card's live signal.
//
//   destination "Speakers" (speakers, 2 channels)
//       source "Wave" (wave output, 2 channels): "Volume", "Mute", "Peak Meter"
//       source "Microphone" (microphone, 1 channel): "Volume", "Mute"
//   destination "Recording" (wave input, 2 channels): "Volume", "Peak Meter"
//       source "Microphone" (microphone, 1 channel): "Volume", "Mute"
//
// Faders start at three quarters, mutes off, except the microphone under the speakers: nobody
// wants to hear their own microphone the first time the program starts.
#pragma once

#include <functional>
#include <map>
#include <mutex>

#include "platform/mixer/mixer_backend.h"

class VirtualMixer final : public MixerDevice {
  public:
    // Where the meters' values come from: by default the peaks of the virtual card's devices.
    using PeakSource = std::function<DWORD(WaveDirection)>;

    // `destinations` gives the lines and controls (keys are assigned here); tests pass a changed
    // copy of standard_lines() to build the mixers that real cards have.
    explicit VirtualMixer(std::vector<MixerLineDesc> destinations = standard_lines(),
                          PeakSource peaks = {});
    static std::vector<MixerLineDesc> standard_lines();
    // Helpers for building layouts.
    static MixerControlDesc volume_control(std::string name = "Volume");
    static MixerControlDesc mute_control(std::string name = "Mute");
    static MixerControlDesc meter_control(std::string name = "Peak Meter");

    std::string name() const override { return "Quillon Virtual Mixer"; }
    WORD maker_id() const override;
    WORD product_id() const override;
    const std::vector<MixerLineDesc>& destinations() const override { return m_destinations; }
    std::unique_ptr<MixerSession> open() override;

    // Makes every later value read or write fail (tests of the silent failure paths).
    void set_failing(bool failing);

  private:
    friend class VirtualMixerSession;
    struct Slot {
        std::vector<LONG> values;  // one per channel, or one for a uniform control
        bool meter = false;
        WaveDirection direction = WaveDirection::output;  // which signal a meter shows
    };

    std::vector<MixerLineDesc> m_destinations;
    PeakSource m_peaks;
    std::mutex m_mutex;  // meters may be read while another thread writes a volume
    std::map<int, Slot> m_slots;
    bool m_failing = false;
};

// One virtual mixer for the one virtual card, kept for the backend's lifetime.
class VirtualMixerBackend final : public MixerBackend {
  public:
    explicit VirtualMixerBackend(
        std::shared_ptr<VirtualMixer> mixer = std::make_shared<VirtualMixer>())
        : m_mixer(std::move(mixer)) {}
    std::vector<std::shared_ptr<MixerDevice>> devices() override { return {m_mixer}; }
    VirtualMixer& mixer() { return *m_mixer; }

  private:
    std::shared_ptr<VirtualMixer> m_mixer;
};
