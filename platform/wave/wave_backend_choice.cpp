#include "platform/wave/wave_backend_choice.h"

#include <cstdlib>
#include <string_view>

#include "platform/wave/wave_backend.h"

WaveBackendChoice wave_backend_choice() {
    WaveBackendChoice choice;
    choice.name = std::string(wave_backend().name());
    const char* asked = std::getenv("KELVANE_AUDIO");
    choice.fallback = choice.name == "virtual" && !(asked && std::string_view(asked) == "virtual");
    return choice;
}
