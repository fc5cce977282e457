#include "control/mixer_control.h"

#include <algorithm>
#include <cstring>
#include <optional>
#include <string_view>
#include <utility>
#include <vector>

#include "control/open_mixer.h"
#include "platform/mixer/mmsystem_mixer.h"

namespace {

constexpr LONG kMaxMixerValue = 65535;

bool contains(const char* name, std::string_view part) {
    return std::string_view(name).find(part) != std::string_view::npos;
}

// The first half of a device name: mixers often name a line after its device, shortened. An
// empty half (no device name) would match every line, so it matches none.
bool contains_half_name(const char* name, std::string_view device_name) {
    const std::string_view half = device_name.substr(0, device_name.size() / 2);
    return !half.empty() && contains(name, half);
}

// The last control whose name contains any of `parts`; where several match, the last one met
// wins.
const MIXERCONTROLA* last_named(const std::vector<MIXERCONTROLA>& controls,
                                std::initializer_list<std::string_view> parts) {
    const MIXERCONTROLA* found = nullptr;
    for (const MIXERCONTROLA& control : controls)
        for (std::string_view part : parts)
            if (contains(control.szName, part)) {
                found = &control;
                break;
            }
    return found;
}

bool control_values(const OpenMixer& mixer, DWORD control_id, std::span<DWORD> values, bool write) {
    MIXERCONTROLDETAILS details{};
    details.cbStruct = sizeof details;
    details.dwControlID = control_id;
    details.cChannels = static_cast<DWORD>(values.size());
    details.cbDetails = sizeof(MIXERCONTROLDETAILS_UNSIGNED);
    details.paDetails = values.data();
    const DWORD flags = MIXER_OBJECTF_HMIXER |
                        (write ? MIXER_SETCONTROLDETAILSF_VALUE : MIXER_GETCONTROLDETAILSF_VALUE);
    return (write ? mixerSetControlDetails(mixer.object(), &details, flags)
                  : mixerGetControlDetailsA(mixer.object(), &details, flags)) == MMSYSERR_NOERROR;
}

// A line's volume control ("Volume" or "Level" in its name), with the mixer still open.
struct VolumeControl {
    OpenMixer mixer;
    MIXERLINEA line{};
    DWORD control_id = 0;
};

std::optional<VolumeControl> find_volume_control(SHORT mixer_id, DWORD line_id) {
    VolumeControl found;
    if (!found.mixer.open(mixer_id)) return std::nullopt;
    if (!line_by_id(found.mixer, line_id, found.line)) return std::nullopt;
    std::vector<MIXERCONTROLA> controls;
    if (!all_controls(found.mixer, found.line, controls)) return std::nullopt;
    const MIXERCONTROLA* volume = last_named(controls, {"Volume", "Level"});
    if (!volume) return std::nullopt;
    found.control_id = volume->dwControlID;
    return found;
}

// The mixer whose maker id is the wave device's; where several have it, the last one.
SHORT find_mixer_device(WORD maker_id) {
    SHORT found = -1;
    const UINT count = mixerGetNumDevs();
    for (UINT id = 0; id < count && id <= 0x7FFF; ++id) {
        MIXERCAPSA caps{};
        if (mixerGetDevCapsA(id, &caps, sizeof caps) == MMSYSERR_NOERROR && caps.wMid == maker_id)
            found = static_cast<SHORT>(id);
    }
    return found;
}

LONG as_mixer_value(DWORD value) {
    return static_cast<LONG>(std::min<DWORD>(value, 0x7FFFFFFF));
}

// A channel's share of a volume, truncated toward zero and kept within the mixer's range.
DWORD channel_value(LONG volume, double factor) {
    const double value =
        std::clamp(static_cast<double>(volume) * factor, 0.0, static_cast<double>(kMaxMixerValue));
    return static_cast<DWORD>(value);
}

// A running half-average of the buffer's 16-bit sample magnitudes that weights the last non-zero
// samples most; silent samples leave it unchanged.
LONG loudness(std::span<const BYTE> recorded) {
    const std::size_t samples = recorded.size() / 2;
    LONG m = 0;
    for (std::size_t i = 0; i < samples; ++i) {
        const auto sample = static_cast<std::int16_t>(recorded[2 * i] | (recorded[2 * i + 1] << 8));
        const LONG magnitude = sample < 0 ? -static_cast<LONG>(sample) : sample;
        if (magnitude != 0) m = (m + magnitude) / 2;
    }
    return m;
}

}  // namespace

namespace {

// Walks the lines of mixer `id` in order: each destination (with a null source), then each of
// its sources. The walk stops at the first line that cannot be read.
template <typename Visit>
void walk_lines(SHORT id, Visit visit) {
    OpenMixer mixer;
    if (!mixer.open(id)) return;
    MIXERCAPSA caps{};
    if (mixerGetDevCapsA(reinterpret_cast<UINT_PTR>(mixer.handle()), &caps, sizeof caps) !=
        MMSYSERR_NOERROR)
        return;
    for (DWORD d = 0; d < caps.cDestinations; ++d) {
        MIXERLINEA destination{};
        destination.cbStruct = sizeof destination;
        destination.dwDestination = d;
        if (mixerGetLineInfoA(mixer.object(), &destination,
                              MIXER_OBJECTF_HMIXER | MIXER_GETLINEINFOF_DESTINATION) !=
            MMSYSERR_NOERROR)
            return;
        visit(destination, static_cast<const MIXERLINEA*>(nullptr));
        for (DWORD s = 0; s < destination.cConnections; ++s) {
            MIXERLINEA source{};
            source.cbStruct = sizeof source;
            source.dwDestination = d;
            source.dwSource = s;
            if (mixerGetLineInfoA(mixer.object(), &source,
                                  MIXER_OBJECTF_HMIXER | MIXER_GETLINEINFOF_SOURCE) !=
                MMSYSERR_NOERROR)
                return;
            visit(destination, &source);
        }
    }
}

}  // namespace

void MixerControl::find_output_lines(std::string_view device_name, WORD maker_id) {
    m_output_line = kNoLine;
    m_monitor_line = kNoLine;
    // A device whose card has no mixer gets none: another card's lines would steer the wrong
    // speakers.
    m_output_mixer = find_mixer_device(maker_id);
    walk_lines(m_output_mixer, [&](const MIXERLINEA& destination, const MIXERLINEA* source) {
        if (!source || destination.dwComponentType != MIXERLINE_COMPONENTTYPE_DST_SPEAKERS) return;
        if (source->dwComponentType == MIXERLINE_COMPONENTTYPE_SRC_WAVEOUT &&
            (contains(source->szName, "Wave") || contains_half_name(source->szName, device_name)))
            m_output_line = source->dwLineID;
        else if (source->dwComponentType == MIXERLINE_COMPONENTTYPE_SRC_MICROPHONE &&
                 source->cControls > 1)
            m_monitor_line = source->dwLineID;
    });
}

void MixerControl::find_input_lines(std::string_view device_name, WORD maker_id) {
    m_input_line = kNoLine;
    m_microphone_line = kNoLine;
    m_input_mixer = find_mixer_device(maker_id);
    walk_lines(m_input_mixer, [&](const MIXERLINEA& destination, const MIXERLINEA* source) {
        if (destination.dwComponentType != MIXERLINE_COMPONENTTYPE_DST_WAVEIN) return;
        if (!source) {
            m_input_line = destination.dwLineID;
            return;
        }
        if (source->dwComponentType == MIXERLINE_COMPONENTTYPE_SRC_MICROPHONE ||
            contains_half_name(source->szName, device_name))
            m_microphone_line = source->dwLineID;
    });
}

bool MixerControl::read_volume(LONG& volume, LONG& balance) {
    if (m_output_line == kNoLine) return false;
    auto control = find_volume_control(m_output_mixer, m_output_line);
    if (!control || control->line.cChannels == 0) return false;
    std::vector<DWORD> values(control->line.cChannels);
    if (!control_values(control->mixer, control->control_id, values, false)) return false;
    const LONG left = as_mixer_value(values[0]);
    const bool stereo = values.size() >= 2;
    const LONG right = stereo ? as_mixer_value(values[1]) : -1;
    if (!control->mixer.close()) return false;

    volume = std::max(left, right);
    if (!stereo)
        balance = 50;  // one channel has no balance: say centre
    else if (right < left)
        balance = static_cast<LONG>(static_cast<double>(right) / left * 50);
    else if (right == left)
        balance = 50;
    else
        balance = static_cast<LONG>(100 - static_cast<double>(left) / right * 50);
    return true;
}

void MixerControl::write_volume(LONG volume, LONG balance) {
    // In floating point: any LONG balance gives a factor without overflow.
    double left_factor = 1;
    double right_factor = 1;
    if (balance < 50)
        right_factor = 1 - (50.0 - balance) * 0.02;
    else if (balance > 50)
        left_factor = 1 - (static_cast<double>(balance) - 50) * 0.02;

    if (m_output_line == kNoLine) return;
    auto control = find_volume_control(m_output_mixer, m_output_line);
    if (!control || control->line.cChannels == 0) return;
    std::vector<DWORD> values(control->line.cChannels);
    if (!control_values(control->mixer, control->control_id, values, false)) return;
    values[0] = channel_value(volume, left_factor);
    if (values.size() >= 2) values[1] = channel_value(volume, right_factor);
    if (!control_values(control->mixer, control->control_id, values, true)) return;
    control->mixer.close();
}

bool MixerControl::read_gain(LONG& gain) {
    for (;;) {
        if (m_input_line == kNoLine) return false;
        OpenMixer mixer;
        if (!mixer.open(m_input_mixer)) return false;
        MIXERLINEA line;
        if (!line_by_id(mixer, m_input_line, line)) return false;
        std::vector<MIXERCONTROLA> controls;
        const MIXERCONTROLA* volume = nullptr;
        if (all_controls(mixer, line, controls)) volume = last_named(controls, {"Volume", "Level"});
        if (!volume) {
            // The gain lives on the microphone line on cards whose recording destination has no
            // volume of its own; from now on every gain operation and the meter use that line.
            m_input_line = m_microphone_line == m_input_line ? kNoLine : m_microphone_line;
            continue;
        }
        DWORD value = 0;
        if (!control_values(mixer, volume->dwControlID, {&value, 1}, false)) return false;
        if (!mixer.close()) return false;
        gain = as_mixer_value(value);
        return true;
    }
}

bool MixerControl::write_gain(LONG gain) {
    if (m_input_line == kNoLine) return false;
    auto control = find_volume_control(m_input_mixer, m_input_line);
    if (!control) return false;
    DWORD value = 0;
    if (!control_values(control->mixer, control->control_id, {&value, 1}, false)) return false;
    value = static_cast<DWORD>(std::clamp<LONG>(gain, 0, kMaxMixerValue));
    if (!control_values(control->mixer, control->control_id, {&value, 1}, true)) return false;
    return control->mixer.close();
}

void MixerControl::set_monitor_mute(bool mute) {
    if (m_monitor_line == kNoLine) return;
    OpenMixer mixer;
    if (!mixer.open(m_output_mixer)) return;
    MIXERLINEA line;
    if (!line_by_id(mixer, m_monitor_line, line)) return;
    std::vector<MIXERCONTROLA> controls;
    if (!all_controls(mixer, line, controls)) return;
    const MIXERCONTROLA* control = last_named(controls, {"Mute"});
    if (!control) return;
    DWORD value = 0;
    if (!control_values(mixer, control->dwControlID, {&value, 1}, false)) return;
    value = mute ? 1 : 0;
    if (!control_values(mixer, control->dwControlID, {&value, 1}, true)) return;
    mixer.close();
}

MixerControl::AutoGainStep MixerControl::auto_gain_step(std::span<const BYTE> recorded,
                                                        LONG& gain_value) {
    const LONG m = loudness(recorded);
    const LONG gain = std::clamp<LONG>(gain_value, 0, kMaxMixerValue);
    LONG next = gain;
    if (m > 2000) {
        next = static_cast<LONG>(gain * 0.95);
    } else if (m < 700) {
        // 5 % of a small gain truncates to nothing, which would leave it stuck below 20 for
        // ever; it grows by at least one step instead.
        next = gain == 0 ? 100 : std::max(static_cast<LONG>(gain * 1.05), gain + 1);
    } else {
        return {};
    }
    gain_value = std::clamp<LONG>(next, 0, kMaxMixerValue);
    return {true, write_gain(gain_value)};
}
