// The command line on the real ALSA backend, through a private PulseAudio server's null sink:
// one kelvane plays a tone into the sink while another records the sink's monitor.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>

#include "tests/support/temp_dir.h"
#include "tests/support/tone.h"

namespace {

using namespace quillon_test;

bool server_answers() {
    const char* server = std::getenv("PULSE_SERVER");
    if (!server || !*server) return false;
    return std::system("timeout 5 pactl info > /dev/null 2>&1") == 0;
}

TEST(AlsaVerbs, ARecordingOfTheSinksMonitorHoldsTheToneThatKelvanePlaysIntoIt) {
    if (!server_answers())
        GTEST_SKIP() << "no PulseAudio test server (PULSE_SERVER unset or not answering); "
                        "scripts/test.sh starts one";
    const quillon::test::TempDir dir;
    const std::string tone = dir.file("tone.wav");
    const std::string take = dir.file("take.wav");
    const std::string kelvane = std::string(QUILLON_BIN_DIR) + "/kelvane";

    // The tone comes from the virtual card, in virtual time.
    std::string command = "KELVANE_AUDIO=virtual KELVANE_VIRTUAL_INPUT=sine:1000:0.5 " + kelvane +
                          " record " + tone +
                          " --seconds 8 --clock manual --format pcm:44100:2:16 > /dev/null";
    ASSERT_EQ(std::system(command.c_str()), 0) << command;

    command = "KELVANE_AUDIO=alsa " + kelvane + " play " + tone + " > /dev/null 2>&1 & sleep 1; " +
              "KELVANE_AUDIO=alsa PULSE_SOURCE=quillon_sink.monitor " + kelvane + " record " +
              take + " --seconds 4 --format pcm:44100:2:16 > " + dir.file("record.log") +
              " 2>&1; status=$?; wait; exit $status";
    ASSERT_EQ(std::system(command.c_str()), 0) << read_all(dir.file("record.log")).data();

    const auto samples = first_channel(wav_audio(take), 16, 2);
    ASSERT_GT(samples.size(), 44100u * 3) << "less than 3 s recorded";
    int peak = 0;
    for (auto s : samples) peak = std::max(peak, std::abs(static_cast<int>(s)));
    EXPECT_GT(peak, 4000) << "the recording is silent";
    EXPECT_NEAR(tone_frequency(samples, 44100), 1000, 20);
}

// Seconds of audio in a WAV file as sox counts them, reading it to its end.
double sox_seconds(const std::string& command) {
    FILE* pipe = popen((command + " | sox -t wav - -n stat 2>&1").c_str(), "r");
    std::string out;
    char buffer[512];
    while (std::size_t n = std::fread(buffer, 1, sizeof buffer, pipe)) out.append(buffer, n);
    pclose(pipe);
    const auto at = out.find("Length (seconds):");
    return at == std::string::npos ? -1 : std::stod(out.substr(at + 17));
}

// The server's first data comes late and then in bursts; the file holds the length asked for
// all the same, to within the engine's tick (0.1 s), found by the name of the device.
TEST(AlsaVerbs, SecondsOnTheSoundServerAreSecondsOfAudio) {
    if (!server_answers()) GTEST_SKIP() << "no PulseAudio test server (scripts/test.sh starts one)";
    const quillon::test::TempDir dir;
    const std::string kelvane = "KELVANE_AUDIO=alsa " + std::string(QUILLON_BIN_DIR) + "/kelvane";
    for (double seconds : {1.0, 2.5, 4.0}) {
        const std::string take = dir.file("take.wav");
        const std::string command = kelvane + " record " + take + " --device pulse --seconds " +
                                    std::to_string(seconds) + " > " + dir.file("log") + " 2>&1";
        const int status = std::system(command.c_str());
        const std::vector<char> bytes = read_all(dir.file("log"));
        const std::string log(bytes.begin(), bytes.end());
        ASSERT_EQ(status, 0) << log;
        EXPECT_NE(log.find("from PulseAudio"), std::string::npos) << log;
        EXPECT_NEAR(sox_seconds("cat " + take), seconds, 0.1) << log;
    }
    // And through a pipe.
    EXPECT_NEAR(sox_seconds(kelvane + " record - --device PULSE --seconds 2 2>/dev/null"), 2.0,
                0.1);
}

}  // namespace
