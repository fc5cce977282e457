// The everyday verbs run as processes on the virtual card's manual clock.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "tests/support/process.h"
#include "tests/support/temp_dir.h"

namespace {

using namespace quillon_test;

ProcessResult kelvane(const std::string& arguments, const std::string& environment = {}) {
    return run_kelvane(arguments, environment);
}

bool contains(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

class Verbs : public ::testing::Test {
  protected:
    std::string path(const char* name) const { return m_folder.file(name); }
    quillon::test::TempDir m_folder;
};

TEST_F(Verbs, RecordInfoAndPlayAgreeOnTheFile) {
    const std::string file = path("take.wav");
    auto r = kelvane("record " + file +
                         " --seconds 3 --clock manual --format pcm:22050:2:16 --info INAM='My take'"
                         " --info infoartists=Me --info DISP=Shown",
                     "KELVANE_VIRTUAL_INPUT=sine:1000:0.5");
    ASSERT_EQ(r.status, 0) << r.output;
    EXPECT_TRUE(contains(r.output, "Recorded 3.0 s (66150 blocks) into " + file)) << r.output;
    // Header, 3 s of 22050 Hz stereo, LIST/INFO with IART and INAM, DISP with its text.
    EXPECT_EQ(std::filesystem::file_size(file), 58u + 264600 + 40 + 18);

    r = kelvane("info " + file);
    ASSERT_EQ(r.status, 0) << r.output;
    for (const char* line :
         {"Format:                PCM 22050 Hz, 16 bit, stereo", "Blocks:                66150",
          "Duration:              3.000 s", "infoName:              My take",
          "infoArtists:           Me", "infoDisplayName:       Shown"})
        EXPECT_TRUE(contains(r.output, line)) << line << "\n" << r.output;

    r = kelvane("play " + file + " --clock manual --start 2");
    EXPECT_EQ(r.status, 0) << r.output;
    EXPECT_TRUE(contains(r.output, "Playing " + file)) << r.output;
    EXPECT_TRUE(contains(r.output, "3.0 s / 3.0 s")) << r.output;
    EXPECT_FALSE(contains(r.output, "1.0 s / 3.0 s")) << r.output;
}

TEST_F(Verbs, ListsComeFromTheCodecManagerAndTheDevices) {
    auto r = kelvane("formats");
    ASSERT_EQ(r.status, 0);
    EXPECT_TRUE(contains(r.output, "pcm:44100:2:16")) << r.output;
    EXPECT_TRUE(contains(r.output, "gsm610:8000:1")) << r.output;
    EXPECT_TRUE(contains(r.output, "mp3:44100:2:128")) << r.output;
    r = kelvane("devices", "KELVANE_VIRTUAL_DEVICES=2,0");
    ASSERT_EQ(r.status, 0);
    EXPECT_EQ(r.output,
              "Input devices:\n  0  Quillon Wave Mapper\n  1  Quillon Virtual Input 1\n"
              "  2  Quillon Virtual Input 2\nOutput devices:\n  (none)\n");
}

TEST_F(Verbs, MistakesGetAClearMessageAndAFailingStatus) {
    const std::string file = path("x.wav");
    auto r = kelvane("record " + file + " --format pcm:1:1:1");
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(contains(r.output, "no format named 'pcm:1:1:1'")) << r.output;
    r = kelvane("record " + file + " --info NOPE=1 --seconds 1 --clock manual");
    EXPECT_EQ(r.status, 2);
    EXPECT_TRUE(contains(r.output, "--info takes KEY=TEXT")) << r.output;
    r = kelvane("record " + file + " --clock manual");
    EXPECT_EQ(r.status, 2);
    r = kelvane("record " + file + " --seconds 1", "KELVANE_VIRTUAL_DEVICES=0,1");
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(contains(r.output, "there is no input device")) << r.output;
    r = kelvane("record " + path("no/such/dir/x.wav") + " --seconds 1 --clock manual");
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(contains(r.output, "File open error")) << r.output;
    r = kelvane("record " + file + " --seconds 1 --clock manual", "KELVANE_VIRTUAL_FAIL=in:open");
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(contains(r.output, "Input device error")) << r.output;
    r = kelvane("play " + path("missing.wav") + " --clock manual");
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(contains(r.output, "File open error")) << r.output;
    r = kelvane("info");
    EXPECT_EQ(r.status, 2);
    r = kelvane("formats extra");
    EXPECT_EQ(r.status, 2);
    for (const char* verb : {"record", "play", "info", "formats", "devices", "script"}) {
        r = kelvane(std::string(verb) + " --help");
        EXPECT_EQ(r.status, 0) << verb;
        EXPECT_TRUE(contains(r.output, std::string("usage: kelvane ") + verb)) << r.output;
    }
}

TEST_F(Verbs, AnInterruptedRecordingIsStillAFinishedFile) {
    // The real clock, stopped after about a second by SIGTERM, or by SIGHUP as when the
    // terminal it runs in is closed.
    for (const char* signal : {"TERM", "HUP"}) {
        const std::string file = path("interrupted.wav");
        const auto r =
            kelvane("record " + file + " 2>&1 & sleep 1.2; kill -" + signal + " $!; wait $!",
                    "KELVANE_VIRTUAL_INPUT=sine:440:0.5");
        EXPECT_EQ(r.status, 0) << "an interrupted recording is a successful one: " << r.output;
        EXPECT_TRUE(contains(r.output, "Recorded ")) << r.output;
        const auto info = kelvane("info " + file);
        ASSERT_EQ(info.status, 0) << info.output;
        EXPECT_TRUE(contains(info.output, "PCM 44100 Hz, 16 bit, stereo")) << info.output;
        EXPECT_FALSE(contains(info.output, "Blocks:                0\n")) << signal << info.output;
    }
}

}  // namespace
