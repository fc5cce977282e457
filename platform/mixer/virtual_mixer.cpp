#include "platform/mixer/virtual_mixer.h"

#include <algorithm>

#include "platform/wave/virtual_card.h"

namespace {

constexpr LONG kFaderStart = 0xC000;  // three quarters of 0..65535

bool is_output_side(DWORD component_type) {
    return component_type == MIXERLINE_COMPONENTTYPE_DST_SPEAKERS ||
           component_type == MIXERLINE_COMPONENTTYPE_SRC_WAVEOUT;
}

}  // namespace

class VirtualMixerSession final : public MixerSession {
  public:
    explicit VirtualMixerSession(VirtualMixer& mixer) : m_mixer(mixer) {}

    MMRESULT get_values(const MixerLineDesc&, const MixerControlDesc& control,
                        std::span<LONG> values) override {
        bool meter = false;
        WaveDirection direction = WaveDirection::output;
        {
            std::lock_guard lock(m_mixer.m_mutex);
            if (m_mixer.m_failing) return MMSYSERR_ERROR;
            const auto slot = m_mixer.m_slots.find(control.key);
            if (slot == m_mixer.m_slots.end()) return MIXERR_INVALCONTROL;
            meter = slot->second.meter;
            direction = slot->second.direction;
            if (!meter) {
                std::copy_n(slot->second.values.begin(),
                            std::min(values.size(), slot->second.values.size()), values.begin());
                return MMSYSERR_NOERROR;
            }
        }
        // Outside the lock: the peak source may ask the wave backend, which has its own lock.
        const LONG peak = static_cast<LONG>(std::min<DWORD>(m_mixer.m_peaks(direction), 32768));
        std::fill(values.begin(), values.end(), peak);
        return MMSYSERR_NOERROR;
    }

    MMRESULT set_values(const MixerLineDesc&, const MixerControlDesc& control,
                        std::span<const LONG> values) override {
        std::lock_guard lock(m_mixer.m_mutex);
        if (m_mixer.m_failing) return MMSYSERR_ERROR;
        const auto slot = m_mixer.m_slots.find(control.key);
        if (slot == m_mixer.m_slots.end()) return MIXERR_INVALCONTROL;
        // A meter shows the signal; writing it is accepted and changes nothing.
        if (slot->second.meter) return MMSYSERR_NOERROR;
        std::copy_n(values.begin(), std::min(values.size(), slot->second.values.size()),
                    slot->second.values.begin());
        return MMSYSERR_NOERROR;
    }

  private:
    VirtualMixer& m_mixer;
};

VirtualMixer::VirtualMixer(std::vector<MixerLineDesc> destinations, PeakSource peaks)
    : m_destinations(std::move(destinations)), m_peaks(std::move(peaks)) {
    if (!m_peaks) {
        m_peaks = [](WaveDirection direction) {
            return card_recent_peak(direction, kVirtualMakerId);
        };
    }
    int key = 0;
    auto give_keys = [&](MixerLineDesc& line, bool under_speakers) {
        for (MixerControlDesc& control : line.controls) {
            control.key = ++key;
            Slot slot;
            slot.values.assign(value_count(line, control), 0);
            if (control.type == MIXERCONTROL_CONTROLTYPE_VOLUME) {
                std::fill(slot.values.begin(), slot.values.end(), kFaderStart);
            } else if (control.type == MIXERCONTROL_CONTROLTYPE_MUTE) {
                const bool monitor =
                    under_speakers && line.component_type == MIXERLINE_COMPONENTTYPE_SRC_MICROPHONE;
                std::fill(slot.values.begin(), slot.values.end(), monitor ? 1 : 0);
            } else if (control.type == MIXERCONTROL_CONTROLTYPE_PEAKMETER) {
                slot.meter = true;
                slot.direction = is_output_side(line.component_type) ? WaveDirection::output
                                                                     : WaveDirection::input;
            }
            m_slots[control.key] = std::move(slot);
        }
    };
    for (MixerLineDesc& destination : m_destinations) {
        const bool speakers = destination.component_type == MIXERLINE_COMPONENTTYPE_DST_SPEAKERS;
        give_keys(destination, speakers);
        for (MixerLineDesc& source : destination.sources) give_keys(source, speakers);
    }
}

MixerControlDesc VirtualMixer::volume_control(std::string name) {
    return {MIXERCONTROL_CONTROLTYPE_VOLUME, std::move(name), 0, 0, 65535, 65536, 0};
}

MixerControlDesc VirtualMixer::mute_control(std::string name) {
    return {
        MIXERCONTROL_CONTROLTYPE_MUTE, std::move(name), MIXERCONTROL_CONTROLF_UNIFORM, 0, 1, 2, 0};
}

MixerControlDesc VirtualMixer::meter_control(std::string name) {
    return {MIXERCONTROL_CONTROLTYPE_PEAKMETER,
            std::move(name),
            MIXERCONTROL_CONTROLF_UNIFORM,
            -32768,
            32767,
            0,
            0};
}

std::vector<MixerLineDesc> VirtualMixer::standard_lines() {
    MixerLineDesc wave{MIXERLINE_COMPONENTTYPE_SRC_WAVEOUT,
                       "Wave",
                       2,
                       MIXERLINE_TARGETTYPE_WAVEOUT,
                       {volume_control(), mute_control(), meter_control()},
                       {}};
    MixerLineDesc monitor{MIXERLINE_COMPONENTTYPE_SRC_MICROPHONE,
                          "Microphone",
                          1,
                          MIXERLINE_TARGETTYPE_UNDEFINED,
                          {volume_control(), mute_control()},
                          {}};
    MixerLineDesc speakers{MIXERLINE_COMPONENTTYPE_DST_SPEAKERS, "Speakers", 2,
                           MIXERLINE_TARGETTYPE_WAVEOUT,         {},         {wave, monitor}};
    MixerLineDesc microphone = monitor;
    MixerLineDesc recording{
        MIXERLINE_COMPONENTTYPE_DST_WAVEIN,  "Recording", 2, MIXERLINE_TARGETTYPE_WAVEIN,
        {volume_control(), meter_control()}, {microphone}};
    return {speakers, recording};
}

WORD VirtualMixer::maker_id() const {
    return kVirtualMakerId;
}

WORD VirtualMixer::product_id() const {
    return kVirtualProductId;
}

std::unique_ptr<MixerSession> VirtualMixer::open() {
    return std::make_unique<VirtualMixerSession>(*this);
}

void VirtualMixer::set_failing(bool failing) {
    std::lock_guard lock(m_mutex);
    m_failing = failing;
}
