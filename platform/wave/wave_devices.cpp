// The enumeration calls of the wave front end.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iterator>
#include <mutex>
#include <optional>
#include <string_view>

#include "platform/wave/alsa_wave.h"
#include "platform/wave/mmsystem_wave.h"
#include "platform/wave/pulse_wave.h"
#include "platform/wave/virtual_card.h"
#include "platform/wave/wave_backend.h"

namespace {

std::mutex g_backend_mutex;
std::shared_ptr<WaveBackend> g_backend;

std::unique_ptr<WaveBackend> make_virtual_card() {
    return VirtualSoundCard::from_environment();
}

// The wave backends by the names KELVANE_AUDIO selects them by, in the order `auto` tries them:
// `auto` takes the first that lists a device. The last, the virtual card, is the fallback of last
// resort; it is taken whatever it lists.
struct WaveBackendEntry {
    std::string_view name;
    std::unique_ptr<WaveBackend> (*make)();
};
// The sound server comes first: where it runs, it owns the cards.
constexpr WaveBackendEntry kWaveBackends[] = {
    {"pulse", make_pulse_wave_backend},
    {"alsa", make_alsa_wave_backend},
    {"virtual", make_virtual_card},
};
constexpr const WaveBackendEntry& kFallback = kWaveBackends[std::size(kWaveBackends) - 1];

bool lists_a_device(const WaveBackend& backend) {
    return !backend.devices(WaveDirection::input).empty() ||
           !backend.devices(WaveDirection::output).empty();
}

std::unique_ptr<WaveBackend> backend_from_environment() {
    const char* choice = std::getenv("KELVANE_AUDIO");
    const std::string_view wanted = choice && *choice ? choice : "auto";
    if (wanted == "auto") {
        for (const WaveBackendEntry& entry : kWaveBackends) {
            if (&entry == &kFallback) break;
            if (auto backend = entry.make(); lists_a_device(*backend)) return backend;
        }
        return kFallback.make();
    }
    for (const WaveBackendEntry& entry : kWaveBackends)
        if (entry.name == wanted) return entry.make();
    std::fprintf(stderr, "KELVANE_AUDIO=%s: no such backend here; using the virtual card\n",
                 choice);
    return kFallback.make();
}

template <typename Caps>
MMRESULT device_caps(WaveDirection direction, UINT_PTR device, Caps* caps, UINT size) {
    if (!caps || size == 0) return MMSYSERR_INVALPARAM;
    const WaveBackend& backend = wave_backend();
    const bool mapper = device == WAVE_MAPPER || device == static_cast<UINT_PTR>(-1);
    std::optional<WaveDeviceInfo> found;
    if (mapper) {
        found = backend.mapper(direction);
    } else if (auto list = backend.devices(direction); device < list.size()) {
        found = std::move(list[device]);
    }
    if (!found) return MMSYSERR_BADDEVICEID;
    const WaveDeviceInfo& info = *found;

    Caps full{};
    full.wMid = info.maker_id;
    full.wPid = info.product_id;
    full.vDriverVersion = 0x0100;
    const std::string_view name = mapper ? kWaveMapperName : std::string_view(info.name);
    const std::size_t length = std::min<std::size_t>(name.size(), MAXPNAMELEN - 1);
    std::memcpy(full.szPname, name.data(), length);
    full.szPname[length] = '\0';
    full.dwFormats = info.formats;
    full.wChannels = info.channels;
    std::memcpy(caps, &full, std::min<std::size_t>(size, sizeof full));
    return MMSYSERR_NOERROR;
}

}  // namespace

std::shared_ptr<WaveBackend> shared_wave_backend() {
    std::lock_guard lock(g_backend_mutex);
    if (!g_backend) g_backend = backend_from_environment();
    return g_backend;
}

WaveBackend& wave_backend() {
    return *shared_wave_backend();
}

void set_wave_backend(std::unique_ptr<WaveBackend> backend) {
    std::lock_guard lock(g_backend_mutex);
    g_backend = std::move(backend);
}

UINT waveInGetNumDevs() {
    return static_cast<UINT>(wave_backend().devices(WaveDirection::input).size());
}

UINT waveOutGetNumDevs() {
    return static_cast<UINT>(wave_backend().devices(WaveDirection::output).size());
}

MMRESULT waveInGetDevCapsA(UINT_PTR device, WAVEINCAPSA* caps, UINT size) {
    return device_caps(WaveDirection::input, device, caps, size);
}

MMRESULT waveOutGetDevCapsA(UINT_PTR device, WAVEOUTCAPSA* caps, UINT size) {
    const MMRESULT result = device_caps(WaveDirection::output, device, caps, size);
    if (result == MMSYSERR_NOERROR && size >= sizeof(WAVEOUTCAPSA))
        caps->dwSupport = WAVECAPS_VOLUME | WAVECAPS_LRVOLUME;
    return result;
}
