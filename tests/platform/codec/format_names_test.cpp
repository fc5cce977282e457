// Format names: the list the command line prints and the parser it uses agree, and names that
// are no listed format are refused with a reason.
#include <gtest/gtest.h>

#include <cstring>
#include <set>
#include <sstream>

#include "platform/codec/format_names.h"

namespace qc = quillon::codec;

namespace {

TEST(FormatNames, EveryListedNameParsesBackToItsFormat) {
    const auto choices = qc::format_choices();
    std::set<std::string> names;
    for (const auto& c : choices) {
        EXPECT_TRUE(names.insert(c.name).second) << "duplicate " << c.name;
        const auto parsed = qc::parse_format_name(c.name);
        ASSERT_TRUE(parsed.ok()) << c.name << ": " << parsed.error;
        EXPECT_EQ(parsed.format, c.format) << c.name;
        EXPECT_EQ(qc::format_name(parsed.wfx()), c.name);
        EXPECT_EQ(parsed.format.size(), sizeof(WAVEFORMATEX) + parsed.wfx().cbSize);
    }
    for (const char* example :
         {"pcm:44100:2:16", "alaw:8000:1", "mulaw:8000:1", "ima-adpcm:22050:1", "ms-adpcm:44100:2",
          "gsm610:8000:1", "mp3:44100:2:128"})
        EXPECT_TRUE(names.count(example)) << example;
}

TEST(FormatNames, ListedFieldsMatchTheName) {
    const auto pcm = qc::parse_format_name("PCM:22050:2:8");  // case does not matter
    ASSERT_TRUE(pcm.ok());
    EXPECT_EQ(pcm.wfx().wFormatTag, WAVE_FORMAT_PCM);
    EXPECT_EQ(pcm.wfx().nSamplesPerSec, 22050u);
    EXPECT_EQ(pcm.wfx().nChannels, 2);
    EXPECT_EQ(pcm.wfx().wBitsPerSample, 8);
    EXPECT_EQ(pcm.wfx().nBlockAlign, 2);
    EXPECT_EQ(pcm.wfx().nAvgBytesPerSec, 44100u);

    const auto mp3 = qc::parse_format_name("mp3:44100:2:128");
    ASSERT_TRUE(mp3.ok());
    MPEGLAYER3WAVEFORMAT m;
    ASSERT_EQ(mp3.format.size(), sizeof m);
    std::memcpy(&m, mp3.format.data(), sizeof m);
    EXPECT_EQ(m.wfx.nAvgBytesPerSec, 16000u);
    EXPECT_EQ(m.wfx.nBlockAlign, 1);
    EXPECT_EQ(m.wfx.cbSize, 12);
    EXPECT_EQ(m.wID, 1);
    EXPECT_EQ(m.fdwFlags, 2u);
    EXPECT_EQ(m.nBlockSize, 417);
    EXPECT_EQ(m.nFramesPerBlock, 1);
    EXPECT_EQ(m.nCodecDelay, 1393);

    const auto ima = qc::parse_format_name("ima-adpcm:22050:1");
    ASSERT_TRUE(ima.ok());
    EXPECT_EQ(ima.wfx().nBlockAlign, 512);
    EXPECT_EQ(ima.wfx().cbSize, 2);
    EXPECT_EQ(ima.format[18] | ima.format[19] << 8, 1017);  // samples per block
    EXPECT_EQ(ima.wfx().nAvgBytesPerSec, 22050u * 512 / 1017);
}

TEST(FormatNames, Mp3FormatsAreThoseTheStreamFileCanWriteAndRead) {
    EXPECT_TRUE(qc::parse_format_name("mp3:44100:1:64").ok());
    EXPECT_FALSE(qc::parse_format_name("mp3:44100:1:128").ok()) << "no block size for mono 128";
    EXPECT_FALSE(qc::parse_format_name("mp3:8000:1:24").ok()) << "mono MPEG-2.5 has no block size";
    EXPECT_FALSE(qc::parse_format_name("mp3:44100:2:320").ok()) << "no header byte rate for 320";
    EXPECT_TRUE(qc::parse_format_name("mp3:22050:1:32").ok());
    EXPECT_TRUE(qc::parse_format_name("mp3:8000:2:24").ok());
}

TEST(FormatNames, RefusalsSayWhy) {
    struct Case {
        const char* name;
        const char* says;
    };
    for (auto [name, says] :
         {Case{"", "TAG:RATE:CHANNELS"}, Case{"pcm:44100", "TAG:RATE:CHANNELS"},
          Case{"wav:44100:2:16", "unknown format tag 'wav'"},
          Case{"pcm:44100:two:16", "'two' is not a number"},
          Case{"pcm:44100:2:16:1", "TAG:RATE:CHANNELS"}, Case{"pcm:44100:2:24", "no format named"},
          Case{"gsm610:16000:1", "no format named"}, Case{"alaw:8000:1:8", "no format named"}}) {
        const auto parsed = qc::parse_format_name(name);
        EXPECT_FALSE(parsed.ok()) << name;
        EXPECT_TRUE(parsed.format.empty());
        EXPECT_NE(parsed.error.find(says), std::string::npos) << name << ": " << parsed.error;
    }
}

TEST(FormatNames, ListTextHasOneAlignedLinePerFormat) {
    const std::string text = qc::format_list_text();
    std::istringstream lines(text);
    std::string line;
    const auto choices = qc::format_choices();
    std::size_t count = 0, column = std::string::npos;
    while (std::getline(lines, line)) {
        ASSERT_LT(count, choices.size());
        const auto& c = choices[count++];
        EXPECT_EQ(line.rfind(c.name, 0), 0u) << line;
        const std::size_t at = line.find(c.tag_name, c.name.size());
        ASSERT_NE(at, std::string::npos) << line;
        if (column == std::string::npos) column = at;
        EXPECT_EQ(at, column) << "tag names line up: " << line;
        EXPECT_NE(line.find(c.description, at + c.tag_name.size()), std::string::npos) << line;
    }
    EXPECT_EQ(count, choices.size());
}

TEST(FormatNames, DecodeOnlyFormatsHaveNoName) {
    WAVEFORMATEX f{WAVE_FORMAT_IEEE_FLOAT, 2, 44100, 352800, 8, 32, 0};
    EXPECT_EQ(qc::format_name(f), "");
    WAVEFORMATEX odd{0x1234, 1, 8000, 8000, 1, 8, 0};
    EXPECT_EQ(qc::format_name(odd), "");
    WAVEFORMATEX wide{WAVE_FORMAT_PCM, 2, 96000, 576000, 6, 24, 0};
    EXPECT_EQ(qc::format_name(wide), "pcm:96000:2:24") << "a real PCM format keeps its name";
}

}  // namespace
