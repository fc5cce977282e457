// The INFO list of a recorded WAV file as the control fills it from its info properties: 23
// slots in the order they are written, which info property feeds each one, and the property of
// the display name that travels in the DISP chunk. Published for hosts that name the texts by
// their chunk ids.
#pragma once

#include <array>
#include <cstddef>
#include <string_view>

namespace kelvane {

inline constexpr std::size_t kInfoSlotCount = 23;

struct InfoSlot {
    char id[5];            // INFO sub-chunk id
    const char* property;  // info property that fills the slot; null for slots only a file fills
};

// Written in this order; a slot's index is its position here.
inline constexpr std::array<InfoSlot, kInfoSlotCount> kInfoSlots = {{
    {"IARL", nullptr},
    {"IART", "infoArtists"},
    {"ICMS", nullptr},
    {"ICMT", "infoComment"},
    {"ICOP", "infoCopyright"},
    {"ICRD", "infoCreationDate"},
    {"ICRP", nullptr},
    {"IDIM", nullptr},
    {"IDPI", nullptr},
    {"IENG", "infoEngineers"},
    {"IGNR", "infoGenre"},
    {"IKEY", "infoKeyWords"},
    {"ILGT", nullptr},
    {"IMED", "infoMedium"},
    {"INAM", "infoName"},
    {"IPLT", nullptr},
    {"IPRD", "infoProduct"},
    {"ISBJ", "infoSubject"},
    {"ISFT", "infoSoftware"},
    {"ISHP", nullptr},
    {"ISRC", "infoSourceSuppler"},
    {"ISRF", "infoDigitizationSource"},
    {"ITCH", "infoDigitizer"},
}};

// The one info property that is not an INFO slot.
inline constexpr std::string_view kDisplayNameProperty = "infoDisplayName";

}  // namespace kelvane
