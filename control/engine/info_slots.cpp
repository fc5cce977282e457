#include "control/engine/info_slots.h"

#include <algorithm>

#include "control/engine/little_endian.h"

namespace kelvane::engine {

int info_slot_index(FOURCC id) {
    for (std::size_t i = 0; i < kInfoSlots.size(); ++i) {
        const char* text = kInfoSlots[i].id;
        if (mmioFOURCC(text[0], text[1], text[2], text[3]) == id) return static_cast<int>(i);
    }
    return -1;
}

std::string* info_text_for_property(InfoTexts& texts, std::string_view property) {
    if (property == kDisplayNameProperty) return &texts.display_name;
    for (std::size_t i = 0; i < kInfoSlots.size(); ++i) {
        if (kInfoSlots[i].property != nullptr && property == kInfoSlots[i].property)
            return &texts.slots[i];
    }
    return nullptr;
}

void parse_info_chunks(std::span<const BYTE> body, FoundInfoTexts& found) {
    std::size_t offset = 0;
    while (offset < body.size()) {
        if (body[offset] == 0) {  // the pad byte after an odd-sized sub-chunk
            ++offset;
            continue;
        }
        const std::size_t left = body.size() - offset;
        if (left < 8) break;
        const FOURCC id = get_u32(body.data() + offset);
        const std::size_t size = get_u32(body.data() + offset + 4);
        if (size > left - 8) break;

        const auto text = body.subspan(offset + 8, size);
        const auto end = std::find(text.begin(), text.end(), BYTE{0});
        const auto length = std::min<std::size_t>(end - text.begin(), kMaxInfoTextChars);
        if (int slot = info_slot_index(id); slot >= 0)
            found[slot].emplace(reinterpret_cast<const char*>(text.data()), length);
        offset += 8 + size;
    }
}

void parse_info_chunks(std::span<const BYTE> body, InfoTexts& texts) {
    FoundInfoTexts found;
    parse_info_chunks(body, found);
    for (std::size_t i = 0; i < kInfoSlotCount; ++i)
        if (found[i]) texts.slots[i] = std::move(*found[i]);
}

}  // namespace kelvane::engine
