// The codes and texts that the Errors event carries: code -(10 + k) with text k.
#pragma once

#include <string_view>

#include "control/kelvane_ids.h"
#include "platform/base/win_types.h"

// The exact text of a code; "Unknow error" for any code outside the table.
std::string_view error_text(SHORT code);
