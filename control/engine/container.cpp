#include "control/engine/container.h"

#include <algorithm>
#include <cctype>
#include <string>

namespace kelvane::engine {

Container container_for_path(std::string_view path) {
    const auto dot = path.rfind('.');
    if (dot == std::string_view::npos) return Container::none;
    std::string extension(path.substr(dot + 1));
    std::transform(extension.begin(), extension.end(), extension.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    if (extension == "wav") return Container::wav;
    if (extension == "mp3") return Container::mp3;
    return Container::none;
}

}  // namespace kelvane::engine
