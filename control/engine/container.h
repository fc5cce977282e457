// Which kind of sound file a destination name asks for.
#pragma once

#include <string_view>

namespace kelvane::engine {

enum class Container { none, wav, mp3 };

// Decided by the text after the last "." of the name, in any case; a name without "." or with
// another text there has no container, which the caller reports as a failed open.
Container container_for_path(std::string_view path);

}  // namespace kelvane::engine
