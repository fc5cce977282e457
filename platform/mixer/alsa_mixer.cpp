#include "platform/mixer/alsa_mixer.h"

#include <alsa/asoundlib.h>

#include <algorithm>
#include <cstdlib>
#include <string_view>

#include "platform/mixer/virtual_mixer.h"
#include "platform/wave/alsa_names.h"

namespace {

struct MixerCloser {
    void operator()(snd_mixer_t* mixer) const { snd_mixer_close(mixer); }
};
using MixerPtr = std::unique_ptr<snd_mixer_t, MixerCloser>;
using SharedMixer = std::shared_ptr<snd_mixer_t>;

// Opens the simple-element view of ALSA control device `ctl` ("hw:0", "default"); null when it
// cannot be opened.
MixerPtr open_alsa_mixer(const std::string& ctl) {
    snd_mixer_t* raw = nullptr;
    if (snd_mixer_open(&raw, 0) < 0) return nullptr;
    MixerPtr mixer(raw);
    if (snd_mixer_attach(raw, ctl.c_str()) < 0) return nullptr;
    if (snd_mixer_selem_register(raw, nullptr, nullptr) < 0) return nullptr;
    if (snd_mixer_load(raw) < 0) return nullptr;
    return mixer;
}

std::vector<AlsaElementInfo> list_elements(snd_mixer_t* mixer) {
    std::vector<AlsaElementInfo> list;
    for (snd_mixer_elem_t* elem = snd_mixer_first_elem(mixer); elem;
         elem = snd_mixer_elem_next(elem)) {
        if (!snd_mixer_selem_is_active(elem)) continue;
        AlsaElementInfo info;
        info.name = snd_mixer_selem_get_name(elem);
        info.index = snd_mixer_selem_get_index(elem);
        info.playback_volume = snd_mixer_selem_has_playback_volume(elem);
        info.playback_switch = snd_mixer_selem_has_playback_switch(elem);
        info.capture_volume = snd_mixer_selem_has_capture_volume(elem);
        info.capture_switch = snd_mixer_selem_has_capture_switch(elem);
        info.playback_mono = snd_mixer_selem_is_playback_mono(elem);
        info.capture_mono = snd_mixer_selem_is_capture_mono(elem);
        list.push_back(std::move(info));
    }
    return list;
}

snd_mixer_elem_t* find_element(snd_mixer_t* mixer, const AlsaBinding& binding) {
    snd_mixer_selem_id_t* id = nullptr;
    snd_mixer_selem_id_alloca(&id);
    snd_mixer_selem_id_set_name(id, binding.element.c_str());
    snd_mixer_selem_id_set_index(id, binding.index);
    return snd_mixer_find_selem(mixer, id);
}

// Channel i of a line: a mono element has only its one channel.
snd_mixer_selem_channel_id_t channel(std::size_t i) {
    return i == 0 ? SND_MIXER_SCHN_FRONT_LEFT : SND_MIXER_SCHN_FRONT_RIGHT;
}

class AlsaMixer;

class AlsaMixerSession final : public MixerSession {
  public:
    AlsaMixerSession(const AlsaMixer& device, SharedMixer mixer)
        : m_device(device), m_mixer(std::move(mixer)) {}

    MMRESULT get_values(const MixerLineDesc& line, const MixerControlDesc& control,
                        std::span<LONG> values) override;
    MMRESULT set_values(const MixerLineDesc& line, const MixerControlDesc& control,
                        std::span<const LONG> values) override;

  private:
    const AlsaMixer& m_device;
    SharedMixer m_mixer;
    int m_last_error = 0;  // ALSA's own code, for diagnostics
};

class AlsaMixer final : public MixerDevice {
  public:
    AlsaMixer(std::string ctl, std::string name, int card, AlsaLinePlan plan)
        : m_ctl(std::move(ctl)),
          m_name(std::move(name)),
          m_maker_id(alsa_maker_id(card)),
          m_plan(std::move(plan)) {}

    std::string name() const override { return m_name; }
    WORD maker_id() const override { return m_maker_id; }
    WORD product_id() const override { return 1; }
    const std::vector<MixerLineDesc>& destinations() const override { return m_plan.destinations; }
    // The control opens the mixer for every operation, once a second at least; a sound server's
    // mixer costs a new connection (and a thread) each time, so one stays open and each session
    // takes in the changes that arrived since the last one before reading.
    std::unique_ptr<MixerSession> open() override {
        if (m_open && snd_mixer_handle_events(m_open.get()) < 0) m_open.reset();
        if (!m_open) {
            auto mixer = open_alsa_mixer(m_ctl);
            if (!mixer) return nullptr;
            m_open = SharedMixer(mixer.release(), MixerCloser{});
        }
        return std::make_unique<AlsaMixerSession>(*this, m_open);
    }

    const AlsaBinding* binding(int key) const {
        if (key < 0 || static_cast<std::size_t>(key) >= m_plan.bindings.size()) return nullptr;
        return &m_plan.bindings[static_cast<std::size_t>(key)];
    }

  private:
    std::string m_ctl;
    std::string m_name;
    WORD m_maker_id;
    AlsaLinePlan m_plan;
    SharedMixer m_open;  // kept between sessions; reopened when the device goes away
};

MMRESULT AlsaMixerSession::get_values(const MixerLineDesc&, const MixerControlDesc& control,
                                      std::span<LONG> values) {
    const AlsaBinding* binding = m_device.binding(control.key);
    if (!binding) return MIXERR_INVALCONTROL;
    if (binding->kind == AlsaBinding::Kind::meter) {
        const LONG peak =
            static_cast<LONG>(card_recent_peak(binding->meter_direction, m_device.maker_id()));
        std::fill(values.begin(), values.end(), peak);
        return MMSYSERR_NOERROR;
    }
    // Pick up changes made by others (a desktop mixer, pactl) since the session opened.
    snd_mixer_handle_events(m_mixer.get());
    snd_mixer_elem_t* elem = find_element(m_mixer.get(), *binding);
    if (!elem) return MMSYSERR_ERROR;
    for (std::size_t i = 0; i < values.size(); ++i) {
        long raw = 0, minimum = 0, maximum = 0;
        int on = 0, error = 0;
        switch (binding->kind) {
            case AlsaBinding::Kind::playback_volume:
                snd_mixer_selem_get_playback_volume_range(elem, &minimum, &maximum);
                error = snd_mixer_selem_get_playback_volume(elem, channel(i), &raw);
                values[i] = alsa_to_mixer_value(raw, minimum, maximum);
                break;
            case AlsaBinding::Kind::capture_volume:
                snd_mixer_selem_get_capture_volume_range(elem, &minimum, &maximum);
                error = snd_mixer_selem_get_capture_volume(elem, channel(i), &raw);
                values[i] = alsa_to_mixer_value(raw, minimum, maximum);
                break;
            case AlsaBinding::Kind::playback_mute:
                error = snd_mixer_selem_get_playback_switch(elem, channel(i), &on);
                values[i] = on ? 0 : 1;
                break;
            case AlsaBinding::Kind::capture_mute:
                error = snd_mixer_selem_get_capture_switch(elem, channel(i), &on);
                values[i] = on ? 0 : 1;
                break;
            case AlsaBinding::Kind::meter:
                break;
        }
        if (error < 0) {
            m_last_error = error;
            return MMSYSERR_ERROR;
        }
    }
    return MMSYSERR_NOERROR;
}

MMRESULT AlsaMixerSession::set_values(const MixerLineDesc&, const MixerControlDesc& control,
                                      std::span<const LONG> values) {
    const AlsaBinding* binding = m_device.binding(control.key);
    if (!binding) return MIXERR_INVALCONTROL;
    if (binding->kind == AlsaBinding::Kind::meter) return MMSYSERR_NOERROR;
    snd_mixer_elem_t* elem = find_element(m_mixer.get(), *binding);
    if (!elem) return MMSYSERR_ERROR;
    // A uniform control's one value goes to every channel.
    const bool all = values.size() == 1;
    for (std::size_t i = 0; i < values.size(); ++i) {
        long minimum = 0, maximum = 0;
        int error = 0;
        switch (binding->kind) {
            case AlsaBinding::Kind::playback_volume: {
                snd_mixer_selem_get_playback_volume_range(elem, &minimum, &maximum);
                const long raw = mixer_to_alsa_value(values[i], minimum, maximum);
                error = all ? snd_mixer_selem_set_playback_volume_all(elem, raw)
                            : snd_mixer_selem_set_playback_volume(elem, channel(i), raw);
                break;
            }
            case AlsaBinding::Kind::capture_volume: {
                snd_mixer_selem_get_capture_volume_range(elem, &minimum, &maximum);
                const long raw = mixer_to_alsa_value(values[i], minimum, maximum);
                error = all ? snd_mixer_selem_set_capture_volume_all(elem, raw)
                            : snd_mixer_selem_set_capture_volume(elem, channel(i), raw);
                break;
            }
            case AlsaBinding::Kind::playback_mute:
                error =
                    all ? snd_mixer_selem_set_playback_switch_all(elem, values[i] ? 0 : 1)
                        : snd_mixer_selem_set_playback_switch(elem, channel(i), values[i] ? 0 : 1);
                break;
            case AlsaBinding::Kind::capture_mute:
                error =
                    all ? snd_mixer_selem_set_capture_switch_all(elem, values[i] ? 0 : 1)
                        : snd_mixer_selem_set_capture_switch(elem, channel(i), values[i] ? 0 : 1);
                break;
            case AlsaBinding::Kind::meter:
                break;
        }
        if (error < 0) {
            m_last_error = error;
            return MMSYSERR_ERROR;
        }
    }
    return MMSYSERR_NOERROR;
}

class AlsaMixerBackend final : public MixerBackend {
  public:
    void add(std::string ctl, std::string name, int card) {
        auto mixer = open_alsa_mixer(ctl);
        if (!mixer) return;
        const auto elements = list_elements(mixer.get());
        if (name.size() > MAXPNAMELEN - 1) name.resize(MAXPNAMELEN - 1);
        m_devices.push_back(std::make_shared<AlsaMixer>(std::move(ctl), std::move(name), card,
                                                        plan_alsa_lines(elements)));
    }
    std::vector<std::shared_ptr<MixerDevice>> devices() override { return m_devices; }

  private:
    std::vector<std::shared_ptr<MixerDevice>> m_devices;
};

// The first element that `wanted` accepts, preferring the one named `preferred`.
template <typename Wanted>
const AlsaElementInfo* pick(std::span<const AlsaElementInfo> elements,
                            std::initializer_list<std::string_view> preferred, Wanted wanted) {
    for (std::string_view name : preferred)
        for (const AlsaElementInfo& e : elements)
            if (e.name == name && wanted(e)) return &e;
    for (const AlsaElementInfo& e : elements)
        if (wanted(e)) return &e;
    return nullptr;
}

bool is_microphone(const AlsaElementInfo& e) {
    // "Mic Boost" is a gain stage, not the microphone's own switch and volume.
    return e.name.find("Mic") != std::string::npos && e.name.find("Boost") == std::string::npos;
}

}  // namespace

LONG alsa_to_mixer_value(long raw, long minimum, long maximum) {
    if (maximum <= minimum) return 0;
    const long long range = static_cast<long long>(maximum) - minimum;
    const long long offset = std::clamp<long long>(static_cast<long long>(raw) - minimum, 0, range);
    return static_cast<LONG>((offset * 65535 + range / 2) / range);
}

long mixer_to_alsa_value(LONG value, long minimum, long maximum) {
    if (maximum <= minimum) return minimum;
    const long long range = static_cast<long long>(maximum) - minimum;
    const long long v = std::clamp<LONG>(value, 0, 65535);
    return static_cast<long>(minimum + (v * range + 65535 / 2) / 65535);
}

AlsaLinePlan plan_alsa_lines(std::span<const AlsaElementInfo> elements) {
    AlsaLinePlan plan;
    auto bind = [&](MixerControlDesc control, AlsaBinding::Kind kind, const AlsaElementInfo* e,
                    WaveDirection meter_direction = WaveDirection::output) {
        control.key = static_cast<int>(plan.bindings.size());
        plan.bindings.push_back(
            {kind, e ? e->name : std::string(), e ? e->index : 0u, meter_direction});
        return control;
    };
    using Kind = AlsaBinding::Kind;

    const AlsaElementInfo* wave = pick(elements, {"PCM", "Master"},
                                       [](const AlsaElementInfo& e) { return e.playback_volume; });
    const AlsaElementInfo* capture =
        pick(elements, {"Capture"}, [](const AlsaElementInfo& e) { return e.capture_volume; });
    const AlsaElementInfo* microphone =
        pick(elements, {"Mic"}, [](const AlsaElementInfo& e) { return is_microphone(e); });

    MixerLineDesc wave_line{
        MIXERLINE_COMPONENTTYPE_SRC_WAVEOUT, "Wave", wave && wave->playback_mono ? 1u : 2u,
        MIXERLINE_TARGETTYPE_WAVEOUT,        {},     {}};
    if (wave) {
        wave_line.controls.push_back(
            bind(VirtualMixer::volume_control(), Kind::playback_volume, wave));
        if (wave->playback_switch)
            wave_line.controls.push_back(
                bind(VirtualMixer::mute_control(), Kind::playback_mute, wave));
    }
    wave_line.controls.push_back(
        bind(VirtualMixer::meter_control(), Kind::meter, nullptr, WaveDirection::output));

    MixerLineDesc speakers{MIXERLINE_COMPONENTTYPE_DST_SPEAKERS, "Speakers", 2,
                           MIXERLINE_TARGETTYPE_WAVEOUT,         {},         {wave_line}};
    if (microphone && (microphone->playback_volume || microphone->playback_switch)) {
        MixerLineDesc monitor{MIXERLINE_COMPONENTTYPE_SRC_MICROPHONE,
                              "Microphone",
                              microphone->playback_mono ? 1u : 2u,
                              MIXERLINE_TARGETTYPE_UNDEFINED,
                              {},
                              {}};
        if (microphone->playback_volume)
            monitor.controls.push_back(
                bind(VirtualMixer::volume_control(), Kind::playback_volume, microphone));
        if (microphone->playback_switch)
            monitor.controls.push_back(
                bind(VirtualMixer::mute_control(), Kind::playback_mute, microphone));
        speakers.sources.push_back(std::move(monitor));
    }

    MixerLineDesc recording{
        MIXERLINE_COMPONENTTYPE_DST_WAVEIN, "Recording", capture && capture->capture_mono ? 1u : 2u,
        MIXERLINE_TARGETTYPE_WAVEIN,        {},          {}};
    if (capture)
        recording.controls.push_back(
            bind(VirtualMixer::volume_control(), Kind::capture_volume, capture));
    recording.controls.push_back(
        bind(VirtualMixer::meter_control(), Kind::meter, nullptr, WaveDirection::input));
    if (microphone && (microphone->capture_volume || microphone->capture_switch)) {
        MixerLineDesc source{MIXERLINE_COMPONENTTYPE_SRC_MICROPHONE,
                             "Microphone",
                             microphone->capture_mono ? 1u : 2u,
                             MIXERLINE_TARGETTYPE_WAVEIN,
                             {},
                             {}};
        if (microphone->capture_volume)
            source.controls.push_back(
                bind(VirtualMixer::volume_control(), Kind::capture_volume, microphone));
        if (microphone->capture_switch)
            source.controls.push_back(
                bind(VirtualMixer::mute_control(), Kind::capture_mute, microphone));
        recording.sources.push_back(std::move(source));
    }

    plan.destinations = {std::move(speakers), std::move(recording)};
    return plan;
}

std::unique_ptr<MixerBackend> make_alsa_mixer_backend() {
    auto backend = std::make_unique<AlsaMixerBackend>();
    int card = -1;
    while (snd_card_next(&card) == 0 && card >= 0) {
        char* name = nullptr;
        std::string text = "ALSA card " + std::to_string(card);
        if (snd_card_get_name(card, &name) == 0 && name) {
            text = name;
            std::free(name);
        }
        backend->add("hw:" + std::to_string(card), text, card);
    }
    // A sound server shows itself as a default control device that is not a card of its own, or,
    // where the default is a card, as the `pulse` device that the wave backend also lists.
    for (const char* name : {"default", "pulse"}) {
        snd_ctl_t* ctl = nullptr;
        if (snd_ctl_open(&ctl, name, 0) < 0) continue;
        const bool server = snd_ctl_type(ctl) != SND_CTL_TYPE_HW;
        snd_ctl_close(ctl);
        if (server) {
            backend->add(name, "Sound server", kAlsaServerCard);
            break;
        }
    }
    return backend;
}
