// The codes and texts that the Errors event carries: code -(10 + k) with text k.
#pragma once

#include <string_view>

#include "platform/base/win_types.h"

enum class KelvaneError : SHORT {
    file_open = -11,
    output_device = -12,
    input_device = -13,
    playback = -14,
    record = -15,
    memory_out = -16,
};

// The exact text of a code; "Unknow error" for any code outside the table.
std::string_view error_text(SHORT code);
