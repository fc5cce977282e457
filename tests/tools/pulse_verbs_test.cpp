// The command line on the sound server's own backend, on both servers: `kelvane devices` lists
// the server's devices by their descriptions, and one kelvane plays a tone into a null sink
// (chosen by number) while another records that sink's monitor (chosen by number).
#include <gtest/gtest.h>

#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <sstream>
#include <string>

#include "tests/support/process.h"
#include "tests/support/sound_servers.h"
#include "tests/support/tone.h"

namespace {

using namespace quillon_test;

// The number `kelvane devices` gives `name` under `title` ("Input devices:"), -1 when none.
int listed_number(const std::string& listing, const std::string& title, const std::string& name) {
    std::istringstream lines(listing);
    bool inside = false;
    for (std::string line; std::getline(lines, line);) {
        if (!line.empty() && line[0] != ' ') inside = line == title;
        std::istringstream fields(line);
        int number = -1;
        std::string rest;
        if (inside && fields >> number && std::getline(fields >> std::ws, rest) && rest == name)
            return number;
    }
    return -1;
}

class PulseVerbs : public ::testing::TestWithParam<SoundServer> {
  protected:
    void SetUp() override {
        if (const std::string why = m_scratch.use(GetParam()); !why.empty()) GTEST_SKIP() << why;
        m_environment = "KELVANE_AUDIO=pulse PULSE_SERVER='" + m_scratch.address() + "' ";
        m_dir = std::filesystem::temp_directory_path() /
                ("quillon-pulse-verbs-" + std::to_string(::getpid()));
        std::filesystem::create_directories(m_dir);
    }
    void TearDown() override { std::filesystem::remove_all(m_dir); }

    ServerScratch m_scratch;
    std::string m_environment;
    std::filesystem::path m_dir;
};

TEST_P(PulseVerbs, DevicesListsTheServersDevicesAndARecordingOfAMonitorHoldsWhatIsPlayedIntoIt) {
    m_scratch.load_sink("qtest_verbs", "Quillon Verbs Sink");
    const auto listing = run_kelvane("devices", m_environment);
    ASSERT_EQ(listing.status, 0) << listing.output;
    EXPECT_EQ(listed_number(listing.output, "Input devices:", "Quillon Wave Mapper"), 0);
    EXPECT_EQ(listed_number(listing.output, "Output devices:", "Quillon Wave Mapper"), 0);
    EXPECT_GT(listed_number(listing.output, "Input devices:", "Sine source at 440 Hz"), 0);
    const int sink = listed_number(listing.output, "Output devices:", "Quillon Verbs Sink");
    const int monitor =
        listed_number(listing.output, "Input devices:", "Monitor of Quillon Verbs Sink");
    ASSERT_GT(sink, 0) << listing.output;
    ASSERT_GT(monitor, 0) << listing.output;

    // The tone comes from the virtual card, in virtual time.
    const std::string tone = (m_dir / "tone.wav").string();
    const std::string take = (m_dir / "take.wav").string();
    const auto made =
        run_kelvane("record " + tone + " --seconds 8 --clock manual --format pcm:44100:2:16",
                    "KELVANE_AUDIO=virtual KELVANE_VIRTUAL_INPUT=sine:1000:0.5");
    ASSERT_EQ(made.status, 0) << made.output;

    const std::string kelvane = std::string(QUILLON_BIN_DIR) + "/kelvane";
    const auto recorded =
        run_command(m_environment + kelvane + " play --device " + std::to_string(sink) + " " +
                    tone + " > /dev/null 2>&1 & sleep 1; " + m_environment + kelvane +
                    " record --device " + std::to_string(monitor) + " " + take +
                    " --seconds 4 --format pcm:44100:2:16 2>&1; status=$?; wait; exit $status");
    ASSERT_EQ(recorded.status, 0) << recorded.output;
    EXPECT_NE(recorded.output.find("from Monitor of Quillon Verbs Sink"), std::string::npos)
        << recorded.output;

    const auto samples = first_channel(wav_audio(take), 16, 2);
    ASSERT_GT(samples.size(), 44100u * 3) << "less than 3 s recorded";
    int peak = 0;
    for (auto s : samples) peak = std::max(peak, std::abs(static_cast<int>(s)));
    EXPECT_GT(peak, 8000) << "the recording is silent";
    EXPECT_NEAR(tone_frequency(samples, 44100), 1000, 20);
}

INSTANTIATE_TEST_SUITE_P(OnServer, PulseVerbs,
                         ::testing::Values(SoundServer::pulseaudio, SoundServer::pipewire),
                         ServerName());

}  // namespace
