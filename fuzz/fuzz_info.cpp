// The INFO parser on arbitrary LIST bodies: it stays inside the body and keeps its text limits.
#include <cstdint>

#include "control/engine/info_slots.h"

using namespace kelvane::engine;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FoundInfoTexts found;
    parse_info_chunks({data, size}, found);
    for (const auto& text : found) {
        if (!text) continue;
        if (text->size() > kMaxInfoTextChars) __builtin_trap();
        if (text->find('\0') != std::string::npos) __builtin_trap();
    }
    InfoTexts texts;
    parse_info_chunks({data, size}, texts);
    for (std::size_t i = 0; i < kInfoSlotCount; ++i)
        if (texts.slots[i] != found[i].value_or(std::string())) __builtin_trap();
    return 0;
}
