#include "encoder/info_tags.h"

#include <cctype>
#include <string_view>

namespace mp3enc {

namespace {

struct Mapping {
    std::string_view id;           // INFO sub-chunk id
    std::string_view frame;        // ID3v2.3 frame
    std::string_view description;  // for TXXX frames
};

// The standard frames where ID3 has one for the same thing; a user text frame otherwise.
constexpr Mapping kMappings[] = {
    {"IARL", "TXXX", "Archival location"},
    {"IART", "TPE1", ""},
    {"ICMS", "TXXX", "Commissioned"},
    {"ICMT", "COMM", ""},
    {"ICOP", "TCOP", ""},
    {"ICRD", "TYER", ""},  // see year_frames()
    {"ICRP", "TXXX", "Cropped"},
    {"IDIM", "TXXX", "Dimensions"},
    {"IDPI", "TXXX", "Dots per inch"},
    {"IENG", "TXXX", "Engineer"},
    {"IGNR", "TCON", ""},
    {"IKEY", "TXXX", "Keywords"},
    {"ILGT", "TXXX", "Lightness"},
    {"IMED", "TMED", ""},
    {"INAM", "TIT2", ""},
    {"IPLT", "TXXX", "Palette setting"},
    {"IPRD", "TALB", ""},
    {"ISBJ", "TIT3", ""},
    {"ISFT", "TSSE", ""},
    {"ISHP", "TXXX", "Sharpness"},
    {"ISRC", "TXXX", "Source"},
    {"ISRF", "TXXX", "Digitization source"},
    {"ITCH", "TENC", ""},
};
static_assert(std::size(kMappings) == kelvane::engine::kInfoSlotCount);
static_assert([] {
    for (std::size_t i = 0; i < std::size(kMappings); ++i)
        if (kMappings[i].id != std::string_view(kelvane::engine::kInfoSlots[i].id)) return false;
    return true;
}());

bool digits(std::string_view text) {
    for (char c : text)
        if (!std::isdigit(static_cast<unsigned char>(c))) return false;
    return !text.empty();
}

// A creation date "YYYY" or "YYYY-MM-DD..." becomes the year frame (TYER, exactly four digits)
// and, with a month and day, the date frame (TDAT, "DDMM"); any other text stays whole in a
// user text frame, so nothing is lost to a frame that could not hold it.
void year_frames(const std::string& date, std::vector<quillon::codec::Id3Text>& out) {
    const std::string_view text(date);
    if (text.size() < 4 || !digits(text.substr(0, 4))) {
        out.push_back({"TXXX", "Creation date", date});
        return;
    }
    out.push_back({"TYER", "", date.substr(0, 4)});
    if (text.size() >= 10 && text[4] == '-' && text[7] == '-' && digits(text.substr(5, 2)) &&
        digits(text.substr(8, 2)))
        out.push_back({"TDAT", "", date.substr(8, 2) + date.substr(5, 2)});
    if (text.size() > 4 && !(text.size() == 10 && text[4] == '-'))
        out.push_back({"TXXX", "Creation date", date});
}

}  // namespace

std::vector<quillon::codec::Id3Text> id3_texts(const kelvane::engine::InfoTexts& info) {
    std::vector<quillon::codec::Id3Text> out;
    for (std::size_t i = 0; i < kelvane::engine::kInfoSlotCount; ++i) {
        const std::string& text = info.slots[i];
        if (text.empty()) continue;
        const Mapping& m = kMappings[i];
        if (m.frame == "TYER")
            year_frames(text, out);
        else
            out.push_back({std::string(m.frame), std::string(m.description), text});
    }
    if (!info.display_name.empty()) out.push_back({"TXXX", "Display name", info.display_name});
    return out;
}

}  // namespace mp3enc
