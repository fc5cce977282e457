// The INFO texts of a WAV file, in the slots of kInfoSlots, and the display name that travels in
// the DISP chunk; the INFO chunk parser.
#pragma once

#include <array>
#include <cstddef>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "control/kelvane_info_slots.h"
#include "platform/base/win_types.h"

namespace kelvane::engine {

using kelvane::InfoSlot;
using kelvane::kDisplayNameProperty;
using kelvane::kInfoSlotCount;
using kelvane::kInfoSlots;

// A text read from an INFO sub-chunk keeps at most this many characters.
inline constexpr std::size_t kMaxInfoTextChars = 199;
// The DISP chunk carries at most this many text bytes.
inline constexpr std::size_t kMaxDisplayNameBytes = 256;

struct InfoTexts {
    std::array<std::string, kInfoSlotCount> slots;  // indexed like kInfoSlots
    std::string display_name;                       // the DISP chunk's text

    bool operator==(const InfoTexts&) const = default;
};

// Index of the slot with this chunk id, or -1.
int info_slot_index(FOURCC id);

// The text that an info property reads and writes, or null for a name that is no info property.
std::string* info_text_for_property(InfoTexts& texts, std::string_view property);

// The slots that one LIST chunk carries; slots it does not name stay empty optionals.
using FoundInfoTexts = std::array<std::optional<std::string>, kInfoSlotCount>;

// Parses the body of a LIST chunk (its list type already consumed) as INFO sub-chunks. Texts are
// cut at their first NUL and at kMaxInfoTextChars; ids that are no slot are ignored; a sub-chunk
// that runs past the body ends the walk. A later sub-chunk with the same id wins.
void parse_info_chunks(std::span<const BYTE> body, FoundInfoTexts& found);

// The same, filling the slots found and leaving the others as they are.
void parse_info_chunks(std::span<const BYTE> body, InfoTexts& texts);

}  // namespace kelvane::engine
