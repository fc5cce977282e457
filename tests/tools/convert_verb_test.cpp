// kelvane convert as a script uses it: its usage errors, its WAV-to-WAV path through the WAV
// converter component, failures that name the file and keep what was there, and the encoder
// library's registration through kelvane register.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "tests/support/process.h"
#include "tests/support/temp_dir.h"

namespace {

using namespace quillon_test;

bool contains(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

class Convert : public ::testing::Test {
  protected:
    std::string path(const char* name) const { return m_folder.file(name); }
    // A recording made by the recorder itself, with a title.
    void record(const std::string& file) {
        const auto r = run_kelvane("record " + file +
                                       " --seconds 2 --clock manual --format pcm:22050:2:16"
                                       " --info INAM=Take",
                                   "KELVANE_VIRTUAL_INPUT=sine:440:0.5");
        ASSERT_EQ(r.status, 0) << r.output;
    }
    quillon::test::TempDir m_folder;
};

TEST_F(Convert, UsageErrorsExitWithTwo) {
    for (const std::string args :
         {"convert", "convert in.wav", "convert a.wav b.ogg",
          "convert a.wav b.mp3 --format "
          "pcm:8000:1:16",
          "convert a.wav b.wav --bitrate 128", "convert a.wav b.mp3 --bitrate 999",
          "convert a.wav b.mp3 --info NOPE=1"}) {
        const auto r = run_kelvane(args);
        EXPECT_EQ(r.status, 2) << args << "\n" << r.output;
        EXPECT_TRUE(contains(r.output, "usage: kelvane convert")) << args;
    }
    EXPECT_EQ(run_kelvane("convert --help").status, 0);
}

TEST_F(Convert, FailuresNameTheFileAndKeepTheOutput) {
    std::ofstream(path("out.mp3")) << "mine";
    auto r = run_kelvane("convert " + path("none.wav") + " " + path("out.mp3"));
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(contains(r.output, path("none.wav") + ": No such file or directory")) << r.output;
    std::ofstream(path("text.wav")) << "not audio";
    r = run_kelvane("convert " + path("text.wav") + " " + path("out.mp3"));
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(contains(r.output, "not a WAV file")) << r.output;
    r = run_kelvane("convert " + path("text.wav") + " " + path("out.wav"));
    EXPECT_EQ(r.status, 1);
    std::ifstream in(path("out.mp3"));
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), "mine");
    EXPECT_FALSE(std::filesystem::exists(path("out.wav")));
}

TEST_F(Convert, IntoAnotherWavFormatKeepsTheTexts) {
    record(path("take.wav"));
    auto r = run_kelvane("convert " + path("take.wav") + " " + path("small.wav") +
                         " --format ima-adpcm:11025:1 --info IART=Me");
    ASSERT_EQ(r.status, 0) << r.output;
    EXPECT_TRUE(contains(r.output, "(ima-adpcm:11025:1)")) << r.output;
    r = run_kelvane("info " + path("small.wav"));
    ASSERT_EQ(r.status, 0) << r.output;
    EXPECT_TRUE(contains(r.output, "IMA ADPCM 11025 Hz, 4 bit, mono")) << r.output;
    EXPECT_TRUE(contains(r.output, "infoName:              Take")) << r.output;
    EXPECT_TRUE(contains(r.output, "infoArtists:           Me")) << r.output;
    EXPECT_TRUE(contains(r.output, "Duration:")) << r.output;
    // Without --format: 16-bit PCM of the input's rate and channels.
    r = run_kelvane("convert " + path("small.wav") + " " + path("back.wav"));
    ASSERT_EQ(r.status, 0) << r.output;
    EXPECT_TRUE(contains(r.output, "(pcm:11025:1:16)")) << r.output;
}

TEST_F(Convert, IntoMp3ThroughTheEncoder) {
    record(path("take.wav"));
    const auto r =
        run_kelvane("convert " + path("take.wav") + " " + path("take.mp3") + " --bitrate 64 --vbr");
    ASSERT_EQ(r.status, 0) << r.output;
    EXPECT_TRUE(contains(r.output, "Converted " + path("take.wav") + " into " + path("take.mp3")))
        << r.output;
    EXPECT_TRUE(contains(r.output, "at 64 kbit/s on average")) << r.output;
    EXPECT_GT(std::filesystem::file_size(path("take.mp3")), 2000u);
}

TEST_F(Convert, TheEncoderRegistersItself) {
    const std::string home = "XDG_CONFIG_HOME=" + path("home");
    const std::string library = std::string(QUILLON_BIN_DIR) + "/libmp3enc.so";
    auto r = run_kelvane("register " + library, home);
    ASSERT_EQ(r.status, 0) << r.output;
    std::ifstream registry(path("home") + "/quillon/registry");
    const std::string text(std::istreambuf_iterator<char>(registry), {});
    EXPECT_TRUE(contains(text, "MP3ENCLib.Mp3Enc\\CLSID")) << text;
    EXPECT_TRUE(contains(text, "{F895ACA3-796A-4AEC-B71B-AC9A9D3B659B}")) << text;
    EXPECT_TRUE(contains(text, "MP3ENCLib.WavConv\\CLSID")) << text;
    EXPECT_TRUE(contains(text, "{F895ACA6-796A-4AEC-B71B-AC9A9D3B659B}")) << text;
    EXPECT_TRUE(contains(text, library)) << text;
    r = run_kelvane("unregister " + library, home);
    ASSERT_EQ(r.status, 0) << r.output;
    std::ifstream after(path("home") + "/quillon/registry");
    EXPECT_FALSE(contains(std::string(std::istreambuf_iterator<char>(after), {}), "MP3ENCLib"));
}

}  // namespace
