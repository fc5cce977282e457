#include "control/engine/error_codes.h"

#include <array>

std::string_view error_text(SHORT code) {
    static constexpr std::array<std::string_view, 6> texts{
        "File open error", "Output device error", "Input device error",
        "Playback error",  "Record error",        "Memory out",
    };
    const int k = -code - 10;
    if (k >= 1 && k <= static_cast<int>(texts.size())) return texts[k - 1];
    return "Unknow error";
}
