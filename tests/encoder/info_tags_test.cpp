// Which ID3v2 frame each INFO text lands in, and how a creation date is split for version 2.3.
#include <gtest/gtest.h>

#include "encoder/info_tags.h"

using kelvane::engine::info_slot_index;
using kelvane::engine::InfoTexts;
using quillon::codec::Id3Text;

namespace {

InfoTexts texts(std::initializer_list<std::pair<const char*, const char*>> slots) {
    InfoTexts t;
    for (const auto& [id, text] : slots)
        t.slots[static_cast<std::size_t>(info_slot_index(mmioFOURCC(id[0], id[1], id[2], id[3])))] =
            text;
    return t;
}

std::vector<std::string> lines(const std::vector<Id3Text>& frames) {
    std::vector<std::string> out;
    for (const auto& f : frames)
        out.push_back(f.frame + (f.description.empty() ? "" : "(" + f.description + ")") + "=" +
                      f.text);
    return out;
}

}  // namespace

TEST(InfoTags, TheUsualTextsGetTheFramesPlayersShow) {
    InfoTexts t = texts({{"INAM", "Song"},
                         {"IART", "Band"},
                         {"IPRD", "Album"},
                         {"ICMT", "Nice"},
                         {"IGNR", "Jazz"},
                         {"ICOP", "(c) us"},
                         {"ISFT", "Quillon"},
                         {"IKEY", "a; b"}});
    t.display_name = "Shown";
    // In the order of the INFO slots, the display name last.
    EXPECT_EQ(lines(mp3enc::id3_texts(t)),
              (std::vector<std::string>{"TPE1=Band", "COMM=Nice", "TCOP=(c) us", "TCON=Jazz",
                                        "TXXX(Keywords)=a; b", "TIT2=Song", "TALB=Album",
                                        "TSSE=Quillon", "TXXX(Display name)=Shown"}));
}

TEST(InfoTags, CreationDatesSplitIntoYearAndDay) {
    EXPECT_EQ(lines(mp3enc::id3_texts(texts({{"ICRD", "2024-05-17"}}))),
              (std::vector<std::string>{"TYER=2024", "TDAT=1705"}));
    EXPECT_EQ(lines(mp3enc::id3_texts(texts({{"ICRD", "1999"}}))),
              (std::vector<std::string>{"TYER=1999"}));
    // What the two frames cannot hold is kept whole beside them.
    EXPECT_EQ(lines(mp3enc::id3_texts(texts({{"ICRD", "2024-05-17 10:30"}}))),
              (std::vector<std::string>{"TYER=2024", "TDAT=1705",
                                        "TXXX(Creation date)=2024-05-17 10:30"}));
    EXPECT_EQ(lines(mp3enc::id3_texts(texts({{"ICRD", "May 1999"}}))),
              (std::vector<std::string>{"TXXX(Creation date)=May 1999"}));
}

TEST(InfoTags, EmptyTextsMakeNoFrames) {
    EXPECT_TRUE(mp3enc::id3_texts(InfoTexts{}).empty());
}
