#include "tools/verbs/devices.h"

#include <cctype>
#include <iostream>

#include "platform/wave/mmsystem_wave.h"
#include "platform/wave/wave_backend_choice.h"
#include "tools/verbs/control_session.h"

namespace {

struct DirectionNames {
    const char* number;  // the control's property
    const char* name;
    const char* count;
    const char* noun;
};

DirectionNames names_of(DeviceDirection direction) {
    return direction == DeviceDirection::input
               ? DirectionNames{"devInput", "devInputName", "devInputMax", "input device"}
               : DirectionNames{"devOutput", "devOutputName", "devOutputMax", "output device"};
}

std::string lowered(std::string_view text) {
    std::string out(text);
    for (char& c : out) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return out;
}

std::string listed(const std::vector<std::string>& names, const std::vector<LONG>& which) {
    std::string out;
    for (LONG n : which) out += "\n  " + std::to_string(n) + "  " + names[n];
    return out;
}

std::vector<LONG> all_of(const std::vector<std::string>& names) {
    std::vector<LONG> all;
    for (LONG n = 0; n < static_cast<LONG>(names.size()); ++n) all.push_back(n);
    return all;
}

}  // namespace

std::vector<std::string> device_names(ControlSession& session, DeviceDirection direction,
                                      LONG keep) {
    const DirectionNames p = names_of(direction);
    const LONG count = session.get_long(p.count);
    std::vector<std::string> names;
    if (count < 1) return names;
    for (LONG n = 0; n <= count; ++n) {
        session.put(p.number, Variant::i4(n));
        names.push_back(session.get_string(p.name));
    }
    session.put(p.number, Variant::i4(keep));
    return names;
}

std::optional<LONG> find_device(const std::vector<std::string>& names, const std::string& spec,
                                DeviceDirection direction, std::string& error) {
    const std::string noun = names_of(direction).noun;
    if (names.empty()) {
        error = "there is no " + noun;
        return std::nullopt;
    }
    const bool number = !spec.empty() && spec.find_first_not_of("0123456789") == spec.npos;
    if (number) {
        if (spec.size() < 10) {
            const LONG n = std::stol(spec);
            if (n < static_cast<LONG>(names.size())) return n;
        }
        error = "there is no " + noun + " " + spec + "; the " + noun +
                "s are:" + listed(names, all_of(names));
        return std::nullopt;
    }
    const std::string wanted = lowered(spec);
    std::vector<LONG> exact, partial;
    for (LONG n = 0; n < static_cast<LONG>(names.size()); ++n) {
        const std::string name = lowered(names[n]);
        if (name == wanted) exact.push_back(n);
        if (name.find(wanted) != name.npos) partial.push_back(n);
    }
    if (exact.size() == 1) return exact.front();
    if (partial.size() == 1) return partial.front();
    if (partial.empty())
        error = "no " + noun + " is named like \"" + spec + "\"; the " + noun +
                "s are:" + listed(names, all_of(names));
    else
        error = "\"" + spec + "\" fits several " + noun +
                "s; give more of the name or a number:" + listed(names, partial);
    return std::nullopt;
}

void warn_about_fallback(std::string_view verb, DeviceDirection direction) {
    if (!wave_backend_choice().fallback) return;
    std::cerr << "kelvane " << verb << ": no sound server or sound card found; "
              << (direction == DeviceDirection::input
                      ? "recording from the virtual card's input (KELVANE_VIRTUAL_INPUT, "
                        "silence by default)"
                      : "playing to the virtual card, where nobody hears it")
              << " (set KELVANE_AUDIO=virtual to choose it)\n";
}

PreferredPcm preferred_pcm(LONG number) {
    const UINT_PTR device = number == 0 ? WAVE_MAPPER : static_cast<UINT_PTR>(number - 1);
    WAVEINCAPSA caps{};
    PreferredPcm preferred;
    if (waveInGetDevCapsA(device, &caps, sizeof caps) != MMSYSERR_NOERROR) return preferred;
    preferred.channels = caps.wChannels >= 2 ? 2 : 1;
    const bool stereo = preferred.channels == 2;
    struct Classic {
        DWORD rate;
        DWORD mono, stereo;
    };
    for (const Classic c : {Classic{44100, WAVE_FORMAT_4M16, WAVE_FORMAT_4S16},
                            Classic{22050, WAVE_FORMAT_2M16, WAVE_FORMAT_2S16},
                            Classic{11025, WAVE_FORMAT_1M16, WAVE_FORMAT_1S16}})
        if (caps.dwFormats & (stereo ? c.stereo : c.mono)) {
            preferred.rate = c.rate;
            return preferred;
        }
    for (DWORD rate : {48000, 32000, 16000, 8000}) {
        WAVEFORMATEX f{WAVE_FORMAT_PCM,
                       preferred.channels,
                       rate,
                       rate * 2 * preferred.channels,
                       static_cast<WORD>(2 * preferred.channels),
                       16,
                       0};
        if (waveInOpen(nullptr, static_cast<UINT>(device), &f, 0, 0, WAVE_FORMAT_QUERY) ==
            MMSYSERR_NOERROR) {
            preferred.rate = rate;
            return preferred;
        }
    }
    return preferred;
}
