// A recording in every format the codec manager lists, on the virtual card with a 440 Hz tone:
// played back by us and decoded by ffmpeg, the tone's frequency must be found in both.
#include <array>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "tests/control/control_fixture.h"
#include "tests/support/temp_dir.h"
#include "tests/support/tone.h"

using namespace quillon_test;
#include "platform/codec/format_names.h"
#include "platform/wave/virtual_card.h"

namespace {

constexpr double kToneHz = 440;

bool have_ffmpeg() {
    return std::system("ffmpeg -version > /dev/null 2>&1") == 0;
}

class EveryFormat : public ControlFixture {
  protected:
    void SetUp() override {
        setenv("KELVANE_VIRTUAL_INPUT", "sine:440:0.5", 1);
        ControlFixture::SetUp();
    }
    void TearDown() override {
        acm_set_format_chooser({});
        ControlFixture::TearDown();
        unsetenv("KELVANE_VIRTUAL_INPUT");
    }
    quillon::test::TempDir m_dir;
};

TEST_F(EveryFormat, RecordingsKeepTheToneForUsAndForFfmpeg) {
    if (!have_ffmpeg())
        GTEST_SKIP() << "ffmpeg is not installed; the formats are not cross-checked";
    create(/*user_mode=*/false);
    put("BufferSize", Variant::i4(500));
    auto& card = dynamic_cast<VirtualSoundCard&>(wave_backend());
    const auto choices = quillon::codec::format_choices();
    ASSERT_GT(choices.size(), 100u);
    int checked = 0;
    for (const auto& choice : choices) {
        SCOPED_TRACE(choice.name);
        acm_set_format_chooser(
            [&](const ACMFORMATCHOOSEA&, std::span<const AcmFormatChoice> offered) {
                for (std::size_t i = 0; i < offered.size(); ++i)
                    if (offered[i].name == choice.name) return static_cast<int>(i);
                return -1;
            });
        ASSERT_EQ(call("SetFormatFromMenu").as_i4(), 0);
        const bool mp3 = choice.name.rfind("mp3", 0) == 0;
        const std::string stem = m_dir.file(std::to_string(checked));
        const std::string file = stem + (mp3 ? ".mp3" : ".wav");
        call("Record", {Variant::string(file)});
        MessageLoop::instance().run_for(2000);
        call("Stop");

        // What we play, captured from the virtual output.
        const std::string played = stem + ".played";
        ASSERT_TRUE(card.set_output("file:" + played));
        call("Play", {Variant::string(file)});
        MessageLoop::instance().run_for(3000);
        call("Stop");
        card.set_output("");
        const LONG rate = get_long("nSamplesPerSec");
        const LONG channels = get_long("nChannels");
        const int bits = get_long("wFormatTag") == 1 ? get_long("wBitsPerSample") : 16;
        const double ours = tone_frequency(first_channel(read_all(played), bits, channels), rate);
        EXPECT_NEAR(ours, kToneHz, kToneHz * 0.02);

        const std::string decoded = stem + ".ffmpeg";
        // The raw stream is named as such: ffmpeg's guess stumbles on the lone 4-byte header at
        // some rates.
        const std::string command = std::string("ffmpeg -v error -y ") + (mp3 ? "-f mp3 " : "") +
                                    "-i '" + file + "' -f s16le -ac 1 -ar 16000 '" + decoded + "'";
        ASSERT_EQ(std::system(command.c_str()), 0) << command;
        const double theirs = tone_frequency(first_channel(read_all(decoded), 16, 1), 16000);
        EXPECT_NEAR(theirs, kToneHz, kToneHz * 0.02);
        take_events();
        ++checked;
    }
    EXPECT_EQ(checked, static_cast<int>(choices.size()));
}

}  // namespace
