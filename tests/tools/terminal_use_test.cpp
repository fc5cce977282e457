// kelvane as people who live in a terminal use it, driven through its output and exit status on
// the virtual card: recordings of a given length, the default format, messages that name the
// file and the reason, devices by name, standard input and output in pipes, the conventions
// of the command line, and the installed program with its man page and completion.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "tests/support/process.h"
#include "tests/support/temp_dir.h"
#include "tests/support/tone.h"
#include "tests/support/tools.h"

namespace {

using namespace quillon_test;

bool contains(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

// Only what the command writes to standard output (standard error dropped; run_command would
// join it to standard output after the command).
ProcessResult standard_output(const std::string& arguments, const std::string& environment = {}) {
    return run_command("{ " + environment + " " + QUILLON_BIN_DIR + "/kelvane " + arguments +
                       " 2>/dev/null; }");
}

void write(const std::string& path, const std::vector<unsigned char>& bytes) {
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()), static_cast<long>(bytes.size()));
}

// A WAV file of silence with a plain PCM format chunk.
std::vector<unsigned char> pcm_wav(std::uint32_t rate, std::uint16_t channels, std::uint16_t bits,
                                   std::uint32_t data_bytes) {
    std::vector<unsigned char> f;
    auto u16 = [&](std::uint16_t v) { f.insert(f.end(), {std::uint8_t(v), std::uint8_t(v >> 8)}); };
    auto u32 = [&](std::uint32_t v) { u16(std::uint16_t(v)), u16(std::uint16_t(v >> 16)); };
    auto text = [&](const char* t) { f.insert(f.end(), t, t + 4); };
    const std::uint16_t align = static_cast<std::uint16_t>(channels * bits / 8);
    text("RIFF"), u32(36 + data_bytes), text("WAVE"), text("fmt "), u32(16), u16(1), u16(channels);
    u32(rate), u32(rate * align), u16(align), u16(bits), text("data"), u32(data_bytes);
    f.resize(f.size() + data_bytes, 0);
    return f;
}

// Seconds of audio in a WAV file as sox counts them, reading it to its end.
double sox_seconds(const std::string& path) {
    const auto r = run_command("sox '" + path + "' -n stat 2>&1");
    const auto at = r.output.find("Length (seconds):");
    return r.status == 0 && at != std::string::npos ? std::stod(r.output.substr(at + 17)) : -1;
}

class TerminalUse : public ::testing::Test {
  protected:
    std::string path(const char* name) const { return m_folder.file(name); }
    quillon::test::TempDir m_folder;
};

TEST_F(TerminalUse, SecondsCountTheAudioInTheFile) {
    QUILLON_REQUIRE_TOOL("sox");
    // Virtual time: lengths that are and are not a whole number of buffers.
    for (const char* seconds : {"0.5", "2", "2.5", "7.3"}) {
        const std::string file = path("take.wav");
        const auto r = run_kelvane("record " + file + " --seconds " + seconds + " --clock manual");
        ASSERT_EQ(r.status, 0) << r.output;
        EXPECT_DOUBLE_EQ(sox_seconds(file), std::stod(seconds)) << seconds;
        EXPECT_TRUE(contains(r.output, std::string("Recorded ") + seconds)) << r.output;
    }
    // The real clock, whose device delivers as it pleases: the file still holds the length.
    const auto r = run_kelvane("record " + path("real.wav") + " --seconds 1.5 --buffer 1000");
    ASSERT_EQ(r.status, 0) << r.output;
    EXPECT_DOUBLE_EQ(sox_seconds(path("real.wav")), 1.5);
    // Texts written after the audio survive the cut.
    ASSERT_EQ(run_kelvane("record " + path("texts.wav") +
                          " --seconds 1.25 --buffer 1000 --clock manual --info title=Kept")
                  .status,
              0);
    EXPECT_TRUE(
        contains(run_kelvane("info " + path("texts.wav")).output, "infoName:              Kept"));
    EXPECT_DOUBLE_EQ(sox_seconds(path("texts.wav")), 1.25);

    // 0 is no limit, which the manual clock cannot end; less than a buffer is refused.
    EXPECT_EQ(run_kelvane("record " + path("x.wav") + " --seconds 0 --clock manual").status, 2);
    const auto short_one = run_kelvane("record " + path("x.wav") + " --seconds 0.2");
    EXPECT_EQ(short_one.status, 2);
    EXPECT_TRUE(contains(short_one.output, "--seconds takes 0 (no limit) or at least 0.5"));
}

TEST_F(TerminalUse, TheDefaultFormatIsSixteenBitStereoAtTheDevicesRate) {
    auto r = run_kelvane("record " + path("d.wav") + " --seconds 1 --clock manual");
    ASSERT_EQ(r.status, 0) << r.output;
    // Said before the recording starts.
    const auto shown =
        r.output.find("Recording " + path("d.wav") + " (PCM 44100 Hz, 16 bit, stereo)");
    ASSERT_NE(shown, std::string::npos) << r.output;
    EXPECT_LT(shown, r.output.find("Recorded"));
    EXPECT_TRUE(contains(r.output, "Recorded 1.0 s (44100 blocks)")) << r.output;
    r = run_kelvane("record " + path("d.mp3") + " --seconds 1 --clock manual");
    ASSERT_EQ(r.status, 0) << r.output;
    EXPECT_TRUE(contains(r.output, "(MPEG Layer-3 44100 Hz, 128 kbit/s, stereo)")) << r.output;
    // The control's own default is untouched: a script's control still starts at 8 kHz mono.
    r = run_command("echo 'get FormatString' | " + std::string(QUILLON_BIN_DIR) +
                    "/kelvane script");
    EXPECT_TRUE(contains(r.output, "8000 Hz, 16 bit, mono")) << r.output;
}

TEST_F(TerminalUse, EachFailureNamesItsFileAndItsReason) {
    write(path("hi96.wav"), pcm_wav(96000, 2, 24, 576));
    write(path("flac.flac"), {'f', 'L', 'a', 'C', 0, 0, 0, 34});
    write(path("empty.wav"), {});
    std::ofstream(path("notes.txt")) << "not a sound at all, just some words in a file";
    std::vector<unsigned char> layer2;
    for (int i = 0; i < 8; ++i) layer2.insert(layer2.end(), {0xFF, 0xFD, 0x90, 0x44, 1, 2, 3, 4});
    write(path("layer2.mp3"), layer2);
    std::filesystem::create_directory(path("folder.wav"));

    struct Case {
        std::string arguments;
        std::string file;
        std::string reason;
    };
    const std::vector<Case> cases = {
        {"play", path("missing.wav"), "No such file or directory"},
        {"play", path("folder.wav"), "Is a directory"},
        {"play", path("hi96.wav"), "24-bit PCM at 96000 Hz is not a format the codec manager"},
        {"play", path("flac.flac"), "a FLAC file; kelvane plays WAV and MP3 files"},
        {"play", path("empty.wav"), "the file is empty"},
        {"info", path("notes.txt"), "neither a WAV file nor an MP3 file"},
        {"info", path("layer2.mp3"), "MPEG Layer I and II audio is not supported"},
        {"record", "/nonexist/dir/x.wav", "folder /nonexist/dir: No such file or directory"},
        {"record", path("folder.wav"), "Is a directory"},
        {"record", path("take.flac"), "the file name must end in .wav or .mp3"},
        {"record --format pcm:8000:1:16", path("pcm.mp3"), "an .mp3 file holds MP3 audio"},
    };
    for (const Case& c : cases) {
        const auto verb = c.arguments.substr(0, c.arguments.find(' '));
        const auto r = run_kelvane(c.arguments + " '" + c.file + "'" +
                                   (verb == "record" ? " --seconds 1 --clock manual"
                                    : verb == "play" ? " --clock manual"
                                                     : ""));
        EXPECT_EQ(r.status, 1) << c.arguments << " " << c.file << "\n" << r.output;
        EXPECT_TRUE(contains(r.output, c.file + ": " + c.reason)) << r.output;
        // The control's own text stays as it is.
        EXPECT_TRUE(contains(r.output, "(File open error)")) << r.output;
    }
}

TEST_F(TerminalUse, DevicesAreChosenByNumberOrName) {
    const std::string env = "KELVANE_VIRTUAL_DEVICES=2,2";
    auto r = run_kelvane(
        "record " + path("a.wav") + " --seconds 1 --clock manual --device 'INPUT 2'", env);
    ASSERT_EQ(r.status, 0) << r.output;
    EXPECT_TRUE(contains(r.output, "from Quillon Virtual Input 2")) << r.output;
    r = run_kelvane("play " + path("a.wav") + " --clock manual --device 'output 2'", env);
    ASSERT_EQ(r.status, 0) << r.output;
    EXPECT_TRUE(contains(r.output, "on Quillon Virtual Output 2")) << r.output;
    r = run_kelvane("record " + path("b.wav") + " --seconds 1 --clock manual --device 0", env);
    EXPECT_TRUE(contains(r.output, "from Quillon Wave Mapper")) << r.output;

    // Several fit, none fits, a number past the last: each an error that lists the candidates.
    r = run_kelvane("record " + path("c.wav") + " --seconds 1 --clock manual --device virtual",
                    env);
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(contains(r.output, "\"virtual\" fits several input devices")) << r.output;
    EXPECT_TRUE(contains(r.output, "  2  Quillon Virtual Input 2")) << r.output;
    r = run_kelvane("play " + path("a.wav") + " --clock manual --device headphones", env);
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(contains(r.output, "no output device is named like \"headphones\"")) << r.output;
    r = run_kelvane("record " + path("c.wav") + " --seconds 1 --clock manual --device 9", env);
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(contains(r.output,
                         "there is no input device 9; the input devices are:\n"
                         "  0  Quillon Wave Mapper\n  1  Quillon Virtual Input 1\n"))
        << r.output;
    EXPECT_FALSE(std::filesystem::exists(path("c.wav")));

    // A value the control brings into its range is said.
    r = run_kelvane("record " + path("d.wav") + " --buffer 10 --seconds 1 --clock manual");
    EXPECT_EQ(r.status, 0);
    EXPECT_TRUE(contains(r.output, "--buffer 10 is outside 500..100000; using 500 ms")) << r.output;
}

TEST_F(TerminalUse, TheVirtualCardStandingInIsSaid) {
    // No sound server and an ALSA without devices: `auto` falls back to the virtual card.
    const std::string nothing =
        "env -u PULSE_SERVER KELVANE_AUDIO=auto ALSA_CONFIG_PATH=" + path("empty.conf");
    std::ofstream(path("empty.conf")) << "\n";
    auto r = run_kelvane("record " + path("f.wav") + " --seconds 1 --clock manual", nothing);
    EXPECT_EQ(r.status, 0) << r.output;
    EXPECT_TRUE(contains(r.output,
                         "kelvane record: no sound server or sound card found; "
                         "recording from the virtual card"))
        << r.output;
    r = run_kelvane("play " + path("f.wav") + " --clock manual", nothing);
    EXPECT_TRUE(contains(r.output,
                         "kelvane play: no sound server or sound card found; playing "
                         "to the virtual card, where nobody hears it"))
        << r.output;
    // Chosen on purpose, it is not worth a word.
    r = run_kelvane("play " + path("f.wav") + " --clock manual", "KELVANE_AUDIO=virtual");
    EXPECT_FALSE(contains(r.output, "no sound server")) << r.output;
}

TEST_F(TerminalUse, StandardInputAndOutputServePipes) {
    QUILLON_REQUIRE_TOOL("sox");
    // A WAV stream to sox, whose sizes say exactly what comes.
    auto r = run_command(std::string(QUILLON_BIN_DIR) + "/kelvane record - --seconds 2 " +
                         "--clock manual --info title=Piped 2>/dev/null | sox -t wav - -n stat");
    ASSERT_EQ(r.status, 0) << r.output;
    EXPECT_TRUE(contains(r.output, "Length (seconds):      2.000000")) << r.output;
    EXPECT_FALSE(contains(r.output, "WARN")) << r.output;
    r = standard_output("record - --seconds 2 --clock manual --info title=Piped > '" +
                        path("piped.wav") + "'");
    ASSERT_EQ(r.status, 0);
    // The texts followed the audio.
    const auto info = run_kelvane("info " + path("piped.wav"));
    EXPECT_TRUE(contains(info.output, "infoName:              Piped")) << info.output;
    EXPECT_TRUE(contains(info.output, "Duration:              2.000 s")) << info.output;

    // Standard input for info and play: the same as the file, under the name "standard input".
    const auto direct = standard_output("info " + path("piped.wav"));
    const auto piped =
        run_command("cat '" + path("piped.wav") + "' | " + QUILLON_BIN_DIR + "/kelvane info -");
    ASSERT_EQ(piped.status, 0) << piped.output;
    EXPECT_EQ(piped.output.substr(piped.output.find('\n')),
              direct.output.substr(direct.output.find('\n')));
    EXPECT_TRUE(contains(piped.output, "File:                  standard input"));
    r = run_command("cat '" + path("piped.wav") + "' | KELVANE_VIRTUAL_OUTPUT=file:" +
                    path("out.raw") + " " + QUILLON_BIN_DIR + "/kelvane play - --clock manual");
    EXPECT_EQ(r.status, 0) << r.output;
    EXPECT_EQ(std::filesystem::file_size(path("out.raw")), 2u * 44100 * 4);

    // A recording that Ctrl+C ends: a stream of unknown length, which sox reads to its end.
    r = run_command("{ " + std::string(QUILLON_BIN_DIR) + "/kelvane record - -q > '" +
                    path("open.wav") + "' & sleep 1.5; kill -INT $!; wait $!; }");
    EXPECT_EQ(r.status, 0) << r.output;
    EXPECT_GT(sox_seconds(path("open.wav")), 0.3);
}

TEST_F(TerminalUse, AnMp3FileOfAnotherProgramPlaysAsMpg123DecodesIt) {
    for (const char* tool : {"sox", "lame", "mpg123"}) QUILLON_REQUIRE_TOOL(tool);
    // Variable bit rate, an ID3v2 tag before the first frame, an Info frame with the delay.
    const std::string mp3 = path("song.mp3");
    ASSERT_EQ(run_command("sox -n -r 44100 -c 2 -b 16 '" + path("in.wav") +
                          "' synth 2.5 sine 300-3000 gain -3 && lame --quiet -V 3 --add-id3v2 "
                          "--tt Song '" +
                          path("in.wav") + "' '" + mp3 + "'")
                  .status,
              0);
    ASSERT_EQ(run_command("mpg123 -q -s '" + mp3 + "' > '" + path("mpg123.raw") + "'").status, 0);
    const auto r = run_kelvane("play '" + mp3 + "' --clock manual",
                               "KELVANE_VIRTUAL_OUTPUT=file:" + path("ours.raw"));
    ASSERT_EQ(r.status, 0) << r.output;
    EXPECT_TRUE(contains(r.output, "2.5 s / 2.5 s")) << r.output;
    EXPECT_EQ(read_all(path("ours.raw")), read_all(path("mpg123.raw")));
    const auto info = run_kelvane("info '" + mp3 + "'");
    EXPECT_TRUE(contains(info.output, "Duration:              2.500 s")) << info.output;
    EXPECT_TRUE(contains(info.output, "kbit/s on average (variable bit rate)")) << info.output;
    // Asked to start past its end, it says so.
    EXPECT_TRUE(contains(run_kelvane("play '" + mp3 + "' --clock manual --start 9").output,
                         "--start 9 is past the end (2.5 s)"));
}

TEST_F(TerminalUse, TheConventionsOfTheCommandLineHold) {
    auto r = run_kelvane("--version");
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.output.rfind("kelvane ", 0), 0u) << r.output;
    r = run_kelvane("--help");
    EXPECT_TRUE(contains(r.output, "  unregister  remove the control library's registration"))
        << r.output;
    for (const char* verb : {"record", "play", "info", "convert", "formats", "devices", "script",
                             "register", "unregister"}) {
        const auto help = run_kelvane(std::string("help ") + verb);
        EXPECT_EQ(help.status, 0) << verb;
        EXPECT_EQ(help.output.rfind(std::string("usage: kelvane ") + verb, 0), 0u) << help.output;
        EXPECT_EQ(help.output, run_kelvane(std::string(verb) + " --help").output) << verb;
    }
    EXPECT_EQ(run_kelvane("help nosuchverb").status, 2);

    // Standard output carries only what was asked for; -q leaves only warnings and errors.
    r = standard_output("record " + path("q.wav") + " --seconds 1 --clock manual");
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.output, "");
    r = run_kelvane("record " + path("q.wav") + " --seconds 1 --clock manual -q");
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.output, "");
    r = run_kelvane("play " + path("q.wav") + " --clock manual --quiet");
    EXPECT_EQ(r.output, "");

    // `--` before a name that starts with "-".
    std::filesystem::copy_file(path("q.wav"), path("-dash.wav"));
    r = run_command("cd '" + m_folder.path().string() + "' && " + QUILLON_BIN_DIR +
                    "/kelvane info -- -dash.wav");
    EXPECT_EQ(r.status, 0) << r.output;
    EXPECT_EQ(run_command("cd '" + m_folder.path().string() + "' && " + QUILLON_BIN_DIR +
                          "/kelvane info -dash.wav 2>&1")
                  .status,
              2);

    // 2 only for usage errors.
    EXPECT_EQ(run_kelvane("record " + path("e.wav") + " --format ''").status, 2);
    EXPECT_EQ(run_kelvane("record " + path("e.wav") + " --seconds soon").status, 2);
    EXPECT_EQ(run_kelvane("frobnicate").status, 2);
    EXPECT_EQ(run_kelvane("info " + path("absent.wav")).status, 1);
    EXPECT_EQ(run_kelvane("script " + path("absent.kvs")).status, 1);
}

TEST_F(TerminalUse, InfoKeysTakeTheNamesPeopleKnow) {
    auto r = run_kelvane("record " + path("t.wav") +
                         " --seconds 1 --clock manual --info title=Song --info Artist=Band"
                         " --info comment=Live --info date=2024-05-01 --info GENRE=Folk"
                         " --info album=Tour --info INAM=Later");
    ASSERT_EQ(r.status, 0) << r.output;
    r = run_kelvane("info " + path("t.wav"));
    for (const char* line : {"infoName:              Later", "infoArtists:           Band",
                             "infoComment:           Live", "infoCreationDate:      2024-05-01",
                             "infoGenre:             Folk", "infoProduct:           Tour"})
        EXPECT_TRUE(contains(r.output, line)) << line << "\n" << r.output;
}

TEST_F(TerminalUse, TheInstalledProgramBringsItsManPageAndCompletion) {
    const std::string root = path("root");
    auto r = run_command("DESTDIR='" + root + "' '" + CMAKE_COMMAND + "' --install '" +
                         QUILLON_BUILD_DIR + "' --prefix /usr/local");
    ASSERT_EQ(r.status, 0) << r.output;
    const std::string kelvane = root + "/usr/local/bin/kelvane";
    r = run_command("'" + kelvane + "' --version");
    EXPECT_EQ(r.status, 0) << r.output;
    // Installed, it finds the control beside itself.
    r = run_command("'" + kelvane + "' record '" + path("i.wav") + "' --seconds 1 --clock manual");
    EXPECT_EQ(r.status, 0) << r.output;

    const std::string man = root + "/usr/local/share/man/man1/kelvane.1";
    ASSERT_TRUE(std::filesystem::exists(man));
    if (have_tool("man")) {
        r = run_command("MANWIDTH=100 man -l '" + man + "'");
        EXPECT_TRUE(contains(r.output, "DEVICES AND THE WAVE MAPPER")) << r.output;
        EXPECT_TRUE(contains(r.output, "INFO TEXTS")) << r.output;
    }

    // Completion: verbs, options, format names and device names.
    const std::string completion = root + "/usr/local/share/bash-completion/completions/kelvane";
    const auto complete = [&](const std::string& words) {
        return run_command("bash -c 'source \"" + completion + "\"; COMP_WORDS=(\"" + kelvane +
                           "\" " + words +
                           "); COMP_CWORD=$((${#COMP_WORDS[@]}-1)); _kelvane; "
                           "printf \"%s|\" \"${COMPREPLY[@]}\"'")
            .output;
    };
    EXPECT_EQ(complete("unr"), "unregister|");
    EXPECT_TRUE(contains(complete("record x.wav --se"), "--seconds|"));
    EXPECT_TRUE(contains(complete("record x.wav --format mp3:441"), "mp3:44100:2:128|"));
    EXPECT_TRUE(contains(complete("play x.wav --device \"\""), "Quillon Virtual Output 1|"));
}

}  // namespace
