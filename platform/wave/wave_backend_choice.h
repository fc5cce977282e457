// Which wave backend the wave calls use, for programs that tell their user where sound goes.
#pragma once

#include <string>

struct WaveBackendChoice {
    std::string name;  // "virtual", "alsa", ...: the names KELVANE_AUDIO selects by
    // The virtual card stands in only because nothing else was found: KELVANE_AUDIO is `auto`
    // (or unset) and no other backend lists a device, or it names a backend that is not here.
    bool fallback = false;
};

WaveBackendChoice wave_backend_choice();
