// Other programs read what we write, and we read what they write. Each test skips when its peer
// tool is not installed.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "control/engine/wav_file.h"
#include "tests/control/engine/byte_builder.h"
#include "tests/control/engine/pcm_format.h"
#include "tests/support/temp_dir.h"

namespace {

using namespace kelvane::engine;
using quillon::test::ByteBuilder;
using quillon::test::read_bytes;
using quillon::test::TempDir;
using quillon::test::write_bytes;
using Bytes = std::vector<unsigned char>;

bool have(const char* tool) {
    return std::system(("command -v " + std::string(tool) + " >/dev/null 2>&1").c_str()) == 0;
}

#define REQUIRE_TOOL(tool) \
    if (!have(tool)) GTEST_SKIP() << tool " is not installed; install it to run this test"

// Output of a shell command (stderr dropped), with the trailing newline removed.
std::string run(const std::string& command) {
    std::string out;
    FILE* pipe = popen((command + " 2>/dev/null").c_str(), "r");
    if (pipe == nullptr) return out;
    char buffer[4096];
    std::size_t n;
    while ((n = fread(buffer, 1, sizeof buffer, pipe)) > 0) out.append(buffer, n);
    pclose(pipe);
    while (!out.empty() && (out.back() == '\n' || out.back() == '\r')) out.pop_back();
    return out;
}

std::string quoted(const std::string& path) {
    return "'" + path + "'";
}

using quillon::test::pcm;

Bytes tone(std::size_t bytes) {
    Bytes b(bytes);
    for (std::size_t i = 0; i < bytes; ++i)
        b[i] = static_cast<unsigned char>(128 + 100 * std::sin(static_cast<double>(i) / 5));
    return b;
}

InfoTexts tagged() {
    InfoTexts texts;
    *info_text_for_property(texts, "infoName") = "Morning take";
    *info_text_for_property(texts, "infoArtists") = "Quillon";
    *info_text_for_property(texts, "infoComment") = "odd";
    texts.display_name = "Shown name";
    return texts;
}

void write_wav(const std::string& path, const FileFormat& format, const Bytes& audio,
               const InfoTexts& texts) {
    WavWriter writer;
    ASSERT_EQ(writer.create(path, format), 0);
    ASSERT_EQ(writer.write(audio), static_cast<LONG>(audio.size()));
    ASSERT_EQ(writer.finalize(texts), 0);
}

struct Written {
    WORD channels;
    DWORD rate;
    WORD bits;
    std::size_t bytes;
};
const Written kWritten[] = {{1, 8000, 16, 16000}, {2, 44100, 16, 4000}, {1, 11025, 8, 1001}};

TEST(WavInterop, SoxReadsOurFilesWithTheirFormatAndExactAudio) {
    REQUIRE_TOOL("sox");
    TempDir dir;
    for (const Written& w : kWritten) {
        SCOPED_TRACE(std::to_string(w.channels) + " ch " + std::to_string(w.rate));
        const std::string path = dir.file("ours.wav");
        const Bytes audio = tone(w.bytes);
        write_wav(path, pcm(w.channels, w.rate, w.bits), audio, tagged());
        const std::string q = quoted(path);
        EXPECT_EQ(run("sox --i -c " + q), std::to_string(w.channels));
        EXPECT_EQ(run("sox --i -r " + q), std::to_string(w.rate));
        EXPECT_EQ(run("sox --i -b " + q), std::to_string(w.bits));
        EXPECT_EQ(run("sox --i -s " + q), std::to_string(w.bytes / (w.channels * w.bits / 8)));
        // The audio comes back byte for byte: neither the pad nor LIST/DISP leak into it.
        const std::string raw = dir.file("back.raw");
        ASSERT_EQ(std::system(("sox " + q + " -t raw " + quoted(raw)).c_str()), 0);
        EXPECT_EQ(read_bytes(raw), audio);
    }
}

TEST(WavInterop, FfprobeReadsOurFormatLengthAndTags) {
    REQUIRE_TOOL("ffprobe");
    TempDir dir;
    for (const Written& w : kWritten) {
        SCOPED_TRACE(std::to_string(w.channels) + " ch " + std::to_string(w.rate));
        const std::string path = dir.file("ours.wav");
        write_wav(path, pcm(w.channels, w.rate, w.bits), tone(w.bytes), tagged());
        const std::string probe = "ffprobe -v error -of default=nw=1:nk=1 ";
        const std::string q = quoted(path);
        EXPECT_EQ(run(probe + "-show_entries stream=codec_name " + q),
                  w.bits == 8 ? "pcm_u8" : "pcm_s16le");
        EXPECT_EQ(run(probe + "-show_entries stream=channels " + q), std::to_string(w.channels));
        EXPECT_EQ(run(probe + "-show_entries stream=sample_rate " + q), std::to_string(w.rate));
        EXPECT_EQ(run(probe + "-show_entries stream=duration_ts " + q),
                  std::to_string(w.bytes / (w.channels * w.bits / 8)));
        EXPECT_EQ(run(probe + "-show_entries format_tags=title " + q), "Morning take");
        EXPECT_EQ(run(probe + "-show_entries format_tags=artist " + q), "Quillon");
        EXPECT_EQ(run(probe + "-show_entries format_tags=comment " + q), "odd");
    }
}

// Our reader against what sox says about a file: format and data size agree.
void expect_read_like_sox(const std::string& path, WORD tag) {
    WavHeader header;
    InfoTexts texts;
    ASSERT_EQ(read_wav_header(path, header, texts), 0);
    const std::string q = quoted(path);
    const WAVEFORMATEX& wfx = header.format.wfx;
    EXPECT_EQ(wfx.wFormatTag, tag);
    EXPECT_EQ(std::to_string(wfx.nChannels), run("sox --i -c " + q));
    EXPECT_EQ(std::to_string(wfx.nSamplesPerSec), run("sox --i -r " + q));
    EXPECT_EQ(std::to_string(header.data_size / wfx.nBlockAlign), run("sox --i -s " + q));
}

TEST(WavInterop, WeReadWhatSoxWrites) {
    REQUIRE_TOOL("sox");
    TempDir dir;
    const std::string synth = " synth 0.3 sine 440";
    struct Case {
        const char* options;
        WORD tag;
    };
    const Case cases[] = {
        {"-r 8000 -c 1 -b 16", WAVE_FORMAT_PCM},          // 16-byte fmt
        {"-r 44100 -c 2 -b 16", WAVE_FORMAT_PCM},         //
        {"-r 11025 -c 1 -b 8", WAVE_FORMAT_PCM},          // odd data count
        {"-r 8000 -c 1 -e mu-law", WAVE_FORMAT_MULAW},    // 18-byte fmt and fact
        {"-r 48000 -c 4 -b 24", WAVE_FORMAT_EXTENSIBLE},  // extra format bytes
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.options);
        const std::string path = dir.file("sox.wav");
        ASSERT_EQ(
            std::system(("sox -n " + std::string(c.options) + " " + quoted(path) + synth).c_str()),
            0);
        expect_read_like_sox(path, c.tag);
    }
}

TEST(WavInterop, WeReadWhatFfmpegWritesWithListAndExtraChunks) {
    REQUIRE_TOOL("ffmpeg");
    TempDir dir;
    const std::string path = dir.file("ffmpeg.wav");
    const std::string source = "ffmpeg -v error -y -f lavfi -i sine=frequency=300:duration=0.3 ";
    struct Case {
        const char* options;
        WORD channels;
        DWORD rate;
        const char* title;
    };
    const Case cases[] = {
        {"-ar 22050 -ac 2 -metadata title=Kitchen -metadata artist=Me", 2, 22050, "Kitchen"},
        {"-ar 8000 -ac 1 -write_bext 1 -metadata title=Bext", 1, 8000, "Bext"},
        {"-ar 16000 -ac 1 -bitexact", 1, 16000, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.options);
        ASSERT_EQ(std::system((source + c.options + " " + quoted(path)).c_str()), 0);
        WavHeader header;
        InfoTexts texts;
        ASSERT_EQ(read_wav_header(path, header, texts), 0);
        EXPECT_EQ(header.format.wfx.wFormatTag, WAVE_FORMAT_PCM);
        EXPECT_EQ(header.format.wfx.nChannels, c.channels);
        EXPECT_EQ(header.format.wfx.nSamplesPerSec, c.rate);
        EXPECT_EQ(header.data_size, c.rate * 3 / 10 * c.channels * 2);
        EXPECT_EQ(*info_text_for_property(texts, "infoName"), c.title);
    }
}

TEST(WavInterop, ChunksAppendedAfterDataChangeNeitherReader) {
    REQUIRE_TOOL("sox");
    TempDir dir;
    const std::string path = dir.file("tail.wav");
    ASSERT_EQ(
        std::system(("sox -n -r 8000 -c 1 -b 8 " + quoted(path) + " synth 0.1 sine 440").c_str()),
        0);
    Bytes file = read_bytes(path);
    ASSERT_GT(file.size(), 12u);
    const Bytes tail = ByteBuilder()
                           .chunk("junk", {1, 2, 3})
                           .text("LIST")
                           .u32(4 + 12)
                           .text("INFO")
                           .chunk("INAM", {'t', 'a', 'i', 0})
                           .chunk("smpl", Bytes(9, 7));
    if (file.size() % 2) file.push_back(0);
    file.insert(file.end(), tail.begin(), tail.end());
    const DWORD riff_size = static_cast<DWORD>(file.size() - 8);
    for (int i = 0; i < 4; ++i) file[4 + i] = static_cast<unsigned char>(riff_size >> (8 * i));
    write_bytes(path, file);

    WavHeader header;
    InfoTexts texts;
    ASSERT_EQ(read_wav_header(path, header, texts), 0);
    EXPECT_EQ(header.data_size, 800u);
    EXPECT_EQ(*info_text_for_property(texts, "infoName"), "tai");
    EXPECT_EQ(run("sox --i -s " + quoted(path)), "800");
}

}  // namespace
