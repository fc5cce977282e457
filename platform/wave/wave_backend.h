// The contract between the wave-device front end (the wave* calls) and a backend.
//
// The front end has already checked every argument: device numbers are in range, pointers are
// valid, structure sizes are handled. A backend:
//   - reports its devices in a stable order, each with a readable name (at most 31 characters)
//     and the maker id that its mixer also reports, so a device and its mixer can be matched;
//   - answers device queries from any thread;
//   - keeps its native error codes to itself and answers with MMSYSERR_ results.
// The wave mapper (device -1) is the front end's: it reports the first device's capabilities
// under its own name.
#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/base/win_types.h"

enum class WaveDirection { input, output };

struct WaveDeviceInfo {
    std::string name;
    WORD maker_id = 0;    // wMid
    WORD product_id = 0;  // wPid
    DWORD formats = 0;    // WAVE_FORMAT_* bits
    WORD channels = 2;
};

class WaveBackend {
  public:
    virtual ~WaveBackend() = default;
    // "virtual", "alsa": the names KELVANE_AUDIO selects by.
    virtual std::string_view name() const = 0;
    virtual std::vector<WaveDeviceInfo> devices(WaveDirection direction) const = 0;
};

// The backend in use, chosen once per process from KELVANE_AUDIO (auto, alsa or virtual; auto
// takes the first backend of the list that has a device, else the virtual card).
WaveBackend& wave_backend();
// Replaces the backend in use, or with null chooses again from the environment (tests).
void set_wave_backend(std::unique_ptr<WaveBackend> backend);

// The wave mapper's name as device -1 reports it.
inline constexpr std::string_view kWaveMapperName = "Quillon Wave Mapper";
