// What the virtual card's inputs capture and its outputs keep: the signals, an input file, and
// the choice the environment makes.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "platform/loop/message_loop.h"
#include "platform/wave/mmsystem_wave.h"
#include "tests/platform/wave/virtual_card_fixture.h"
#include "tests/support/temp_dir.h"

namespace {

using quillon::test::Buffer;
using quillon::test::pcm16;
using quillon::test::pcm_format;
using quillon::test::read_bytes;
using quillon::test::TempDir;
using quillon::test::VirtualCard;
using quillon::test::write_bytes;

TEST_F(VirtualCard, SineIsRenderedFromTheFrameNumberInEveryFormat) {
    ASSERT_TRUE(m_card->set_input("sine:1000:0.5"));
    HWAVEIN in = open_input(pcm_format(8000, 1, 16));
    Buffer buffer(1600);
    queue(in, buffer);
    ASSERT_EQ(waveInStart(in), MMSYSERR_NOERROR);
    advance(100);
    ASSERT_TRUE(buffer.done());
    for (int n : {0, 1, 2, 3, 6, 8, 9, 799}) {
        const double expected = 0.5 * 32767 * std::sin(2 * M_PI * 1000 * n / 8000);
        EXPECT_EQ(buffer.sample16(n), static_cast<std::int16_t>(std::lround(expected))) << n;
    }
    close(in);

    // 8-bit stereo: both channels carry it, offset by 128.
    HWAVEIN in8 = open_input(pcm_format(8000, 2, 8));
    Buffer small(16);
    queue(in8, small);
    ASSERT_EQ(waveInStart(in8), MMSYSERR_NOERROR);
    advance(1);
    EXPECT_EQ(small.data[0], 128);
    EXPECT_EQ(small.data[2], small.data[3]);
    EXPECT_EQ(small.data[4], 128 + 64) << "sin(90 degrees) at half scale";
    close(in8);
}

TEST_F(VirtualCard, NoiseRepeatsFromOneOpenToTheNextAndStaysWithinItsAmplitude) {
    ASSERT_TRUE(m_card->set_input("noise:0.25"));
    std::vector<unsigned char> runs[2];
    for (auto& run : runs) {
        HWAVEIN in = open_input(pcm_format(8000, 1, 16));
        Buffer buffer(800);
        queue(in, buffer);
        ASSERT_EQ(waveInStart(in), MMSYSERR_NOERROR);
        advance(50);
        ASSERT_TRUE(buffer.done());
        int peak = 0;
        for (int i = 0; i < 400; ++i) peak = std::max(peak, std::abs(int{buffer.sample16(i)}));
        EXPECT_LE(peak, 8192);
        EXPECT_GT(peak, 6000) << "noise, not silence";
        run = buffer.data;
        close(in);
    }
    EXPECT_EQ(runs[0], runs[1]);
}

TEST_F(VirtualCard, AFileInputLoopsAndFollowsTheDeviceFormat) {
    TempDir dir;
    // A 4-frame stereo 16-bit file at 8000 Hz; the right channel is three times the left.
    std::vector<unsigned char> wav = {'R', 'I', 'F',  'F',  52,  0,   0,   0,    'W', 'A', 'V',
                                      'E', 'f', 'm',  't',  ' ', 16,  0,   0,    0,   1,   0,
                                      2,   0,   0x40, 0x1F, 0,   0,   0,   0x7D, 0,   0,   4,
                                      0,   16,  0,    'd',  'a', 't', 'a', 16,   0,   0,   0};
    const auto samples = pcm16({100, 300, 200, 600, 300, 900, 400, 1200});
    wav.insert(wav.end(), samples.begin(), samples.end());
    write_bytes(dir.file("loop.wav"), wav);
    ASSERT_TRUE(m_card->set_input("file:" + dir.file("loop.wav")));

    HWAVEIN in = open_input(pcm_format(8000, 2, 16));
    Buffer buffer(4 * 10);
    queue(in, buffer);
    ASSERT_EQ(waveInStart(in), MMSYSERR_NOERROR);
    advance(2);
    ASSERT_TRUE(buffer.done());
    const std::vector<int> left = {100, 200, 300, 400, 100, 200, 300, 400, 100, 200};
    for (int i = 0; i < 10; ++i) {
        EXPECT_EQ(buffer.sample16(2 * i), left[i]) << i;
        EXPECT_EQ(buffer.sample16(2 * i + 1), 3 * left[i]) << i;
    }
    close(in);

    // At twice the file's rate each file frame is held for two device frames; mono mixes down.
    HWAVEIN mono = open_input(pcm_format(16000, 1, 16));
    Buffer slow(2 * 4);
    queue(mono, slow);
    ASSERT_EQ(waveInStart(mono), MMSYSERR_NOERROR);
    advance(1);
    EXPECT_EQ(slow.data, pcm16({200, 200, 400, 400}));
    close(mono);
}

TEST_F(VirtualCard, UnusableInputsAreRefusedAndLeaveTheSignalAsItWas) {
    TempDir dir;
    write_bytes(dir.file("short.wav"), {'R', 'I', 'F', 'F', 200, 0,   0,   0,   'W', 'A',
                                        'V', 'E', 'd', 'a', 't', 'a', 255, 255, 255, 255});
    for (const char* bad : {"sine:440", "sine:0:0.5", "sine:440:1.5", "noise:-1", "noise:x",
                            "square:1", "file:", "file:/nonexistent.wav"})
        EXPECT_FALSE(m_card->set_input(bad)) << bad;
    EXPECT_FALSE(m_card->set_input("file:" + dir.file("short.wav"))) << "data before fmt";
    EXPECT_TRUE(m_card->set_input("sine:440:1"));
    EXPECT_TRUE(m_card->set_input("noise:0"));
    EXPECT_FALSE(m_card->set_output("pipe:x"));
}

TEST_F(VirtualCard, TheEnvironmentChoosesSignalAndOutput) {
    TempDir dir;
    setenv("KELVANE_VIRTUAL_INPUT", "sine:2000:1", 1);
    setenv("KELVANE_VIRTUAL_OUTPUT", ("file:" + dir.file("out.raw")).c_str(), 1);
    set_wave_backend(nullptr);
    waveInGetNumDevs();  // the backend is chosen on first use
    unsetenv("KELVANE_VIRTUAL_INPUT");
    unsetenv("KELVANE_VIRTUAL_OUTPUT");

    HWAVEIN in = open_input(pcm_format(8000, 1, 16));
    Buffer captured(8);
    queue(in, captured);
    ASSERT_EQ(waveInStart(in), MMSYSERR_NOERROR);
    advance(1);
    EXPECT_EQ(captured.data, pcm16({0, 32767, 0, -32767}));
    close(in);

    HWAVEOUT out = open_output(pcm_format(8000, 1, 16));
    queue(out, captured);
    advance(1);
    close(out);
    EXPECT_EQ(read_bytes(dir.file("out.raw")), captured.data);
}

}  // namespace
