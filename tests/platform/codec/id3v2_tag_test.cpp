// ID3v2.3 tags byte for byte: header and sizes, the frame layouts readers depend on, and the
// choice between Latin-1 and UTF-16 for each frame.
#include <gtest/gtest.h>

#include "platform/codec/id3v2_tag.h"

namespace qc = quillon::codec;

namespace {

using Bytes = std::vector<BYTE>;

Bytes tag_of(std::vector<qc::Id3Text> texts) {
    return qc::id3v2_tag(texts);
}

// The body of the only frame of a tag.
Bytes body(const Bytes& tag) {
    return Bytes(tag.begin() + 20, tag.end());
}

}  // namespace

TEST(Id3v2Tag, HeaderAndFrameSizes) {
    const Bytes tag = tag_of({{"TIT2", "", "abc"}});
    const Bytes expected = {'I', 'D', '3', 3,   0, 0, 0, 0, 0, 14,  // 14 bytes follow
                            'T', 'I', 'T', '2', 0, 0, 0, 4, 0, 0,   // 4-byte body
                            0,   'a', 'b', 'c'};
    EXPECT_EQ(tag, expected);
}

TEST(Id3v2Tag, SizeIsStoredSevenBitsAByte) {
    const Bytes tag = tag_of({{"TIT2", "", std::string(300, 'x')}});
    ASSERT_EQ(tag.size(), 10u + 10 + 301);
    EXPECT_EQ(tag[8], 311 >> 7);
    EXPECT_EQ(tag[9], 311 & 0x7F);
    EXPECT_EQ(tag[10 + 7], 301 & 0xFF);  // frame sizes are plain big-endian in version 2.3
    EXPECT_EQ(tag[10 + 6], 301 >> 8);
}

TEST(Id3v2Tag, NoTextsMakeNoTag) {
    EXPECT_TRUE(tag_of({}).empty());
    EXPECT_TRUE(tag_of({{"TIT2", "", ""}, {"TPE1", "", ""}}).empty());
}

TEST(Id3v2Tag, TextsLatin1HoldsStayLatin1) {
    // "é" in UTF-8 is one Latin-1 byte.
    EXPECT_EQ(body(tag_of({{"TPE1", "", "caf\xC3\xA9"}})), (Bytes{0, 'c', 'a', 'f', 0xE9}));
    // Bytes that are no valid UTF-8 are taken as Latin-1 as they stand.
    EXPECT_EQ(body(tag_of({{"TPE1", "", "caf\xE9"}})), (Bytes{0, 'c', 'a', 'f', 0xE9}));
}

TEST(Id3v2Tag, OtherTextsGoToUtf16WithByteOrderMark) {
    // The euro sign, then a character outside the basic plane as a surrogate pair.
    EXPECT_EQ(body(tag_of({{"TIT2", "", "\xE2\x82\xAC\xF0\x9F\x8E\xB5"}})),
              (Bytes{1, 0xFF, 0xFE, 0xAC, 0x20, 0x3C, 0xD8, 0xB5, 0xDF}));
}

TEST(Id3v2Tag, CommentAndUserTextCarryTheirDescriptions) {
    EXPECT_EQ(body(tag_of({{"COMM", "", "hi"}})), (Bytes{0, 'e', 'n', 'g', 0, 'h', 'i'}));
    EXPECT_EQ(body(tag_of({{"TXXX", "Key", "v"}})), (Bytes{0, 'K', 'e', 'y', 0, 'v'}));
    // One non-Latin-1 string makes the whole frame UTF-16, each string with its own mark.
    EXPECT_EQ(body(tag_of({{"TXXX", "\xE2\x82\xAC", "v"}})),
              (Bytes{1, 0xFF, 0xFE, 0xAC, 0x20, 0, 0, 0xFF, 0xFE, 'v', 0}));
}

TEST(Id3v2Tag, FramesKeepTheirOrder) {
    const Bytes tag = tag_of({{"TIT2", "", "a"}, {"TPE1", "", "b"}});
    ASSERT_EQ(tag.size(), 10u + 2 * 12);
    EXPECT_EQ(std::string(tag.begin() + 10, tag.begin() + 14), "TIT2");
    EXPECT_EQ(std::string(tag.begin() + 22, tag.begin() + 26), "TPE1");
}
