// Devices as the command line names them: by the numbers `kelvane devices` lists (0 is the wave
// mapper, N device N) or by a part of the name it shows, in any case.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/base/win_types.h"

class ControlSession;

enum class DeviceDirection { input, output };

// The devices' names by their numbers (index 0: the wave mapper), as the control reports them;
// empty when there is none. Leaves the control's device at `keep`.
std::vector<std::string> device_names(ControlSession& session, DeviceDirection direction,
                                      LONG keep);

// The number that `spec` names among `names`: a number in range, a name in full, or the one
// name that holds `spec`. Nothing, with `error` saying why and listing the candidates, when it
// names no device or several.
std::optional<LONG> find_device(const std::vector<std::string>& names, const std::string& spec,
                                DeviceDirection direction, std::string& error);

// Says on standard error, under the verb's name, when the virtual card stands in because no
// sound server or card was found: what is recorded is then the virtual card's signal and what is
// played is heard by nobody.
void warn_about_fallback(std::string_view verb, DeviceDirection direction);

// What the control's device `number` (0 the wave mapper) prefers for 16-bit PCM: the highest of
// the classic rates it reports (44100, 22050, 11025 Hz), else the first of 48000, 32000, 16000 and
// 8000 Hz it opens in; two channels when it has two.
struct PreferredPcm {
    DWORD rate = 44100;
    WORD channels = 2;
};
PreferredPcm preferred_pcm(LONG number);
