// The virtual card on the manual clock: buffers fill and play exactly at the byte rate as the
// loop's time moves, and every call can be made to fail.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "platform/loop/message_loop.h"
#include "platform/wave/level_tap.h"
#include "platform/wave/mmsystem_wave.h"
#include "platform/wave/virtual_card.h"
#include "tests/support/temp_dir.h"
#include "tests/platform/wave/wave_test_util.h"

namespace {

using quillon::test::Buffer;
using quillon::test::pcm16;
using quillon::test::pcm_format;
using quillon::test::read_bytes;
using quillon::test::TempDir;
using quillon::test::write_bytes;

constexpr UINT kHdr = sizeof(WAVEHDR);

class VirtualCard : public ::testing::Test {
  protected:
    void SetUp() override {
        MessageLoop::instance().set_clock(ClockKind::manual);
        auto card = std::make_unique<VirtualSoundCard>(2, 2);
        m_card = card.get();
        set_wave_backend(std::move(card));
    }
    void TearDown() override { set_wave_backend(nullptr); }

    static void advance(std::uint64_t ms) { MessageLoop::instance().run_for(ms); }

    HWAVEIN open_input(const WAVEFORMATEX& format, UINT device = 0) {
        HWAVEIN in = nullptr;
        EXPECT_EQ(waveInOpen(&in, device, &format, 0, 0, CALLBACK_NULL), MMSYSERR_NOERROR);
        return in;
    }
    HWAVEOUT open_output(const WAVEFORMATEX& format) {
        HWAVEOUT out = nullptr;
        EXPECT_EQ(waveOutOpen(&out, 0, &format, 0, 0, CALLBACK_NULL), MMSYSERR_NOERROR);
        return out;
    }
    static void queue(HWAVEIN in, Buffer& b) {
        ASSERT_EQ(waveInPrepareHeader(in, &b.header, kHdr), MMSYSERR_NOERROR);
        ASSERT_EQ(waveInAddBuffer(in, &b.header, kHdr), MMSYSERR_NOERROR);
    }
    static void queue(HWAVEOUT out, Buffer& b) {
        ASSERT_EQ(waveOutPrepareHeader(out, &b.header, kHdr), MMSYSERR_NOERROR);
        ASSERT_EQ(waveOutWrite(out, &b.header, kHdr), MMSYSERR_NOERROR);
    }
    static DWORD position(HWAVEOUT out) {
        MMTIME t{};
        t.wType = TIME_BYTES;
        EXPECT_EQ(waveOutGetPosition(out, &t, sizeof t), MMSYSERR_NOERROR);
        return t.u.cb;
    }
    static void close(HWAVEIN in) {
        EXPECT_EQ(waveInReset(in), MMSYSERR_NOERROR);
        EXPECT_EQ(waveInClose(in), MMSYSERR_NOERROR);
    }
    static void close(HWAVEOUT out) {
        EXPECT_EQ(waveOutReset(out), MMSYSERR_NOERROR);
        EXPECT_EQ(waveOutClose(out), MMSYSERR_NOERROR);
    }

    VirtualSoundCard* m_card = nullptr;
};

// --- capture -------------------------------------------------------------------------------

TEST_F(VirtualCard, CaptureFillsTheQueuedBuffersInOrderAtTheByteRateBeforeTimersFire) {
    const auto format = pcm_format(8000, 1, 16);  // 16000 bytes/s
    HWAVEIN in = open_input(format);
    Buffer first(3200), second(3200);  // 200 ms each
    queue(in, first);
    queue(in, second);
    ASSERT_EQ(waveInStart(in), MMSYSERR_NOERROR);

    // An engine timer of 100 ms sees exactly 100 ms of bytes on each tick.
    std::vector<DWORD> seen;
    HWND window = CreateMessageWindow([&](HWND, UINT message, WPARAM, LPARAM) -> LRESULT {
        if (message == WM_TIMER)
            seen.push_back(first.done() ? 3200 + second.header.dwBytesRecorded
                                        : first.header.dwBytesRecorded);
        return 0;
    });
    SetTimer(window, 1, 100, nullptr);
    advance(500);
    DestroyWindow(window);

    EXPECT_EQ(seen, (std::vector<DWORD>{1600, 3200, 4800, 6400, 6400}));
    EXPECT_TRUE(first.done());
    EXPECT_FALSE(first.queued());
    EXPECT_TRUE(second.done());
    EXPECT_EQ(second.header.dwBytesRecorded, 3200u);
    close(in);
}

TEST_F(VirtualCard, FractionalFramesPerStepAddUpWithoutDrift) {
    const auto format = pcm_format(11025, 2, 16);  // 110.25 frames per 10 ms
    HWAVEIN in = open_input(format);
    Buffer buffer(11025 * 4 * 2);
    queue(in, buffer);
    ASSERT_EQ(waveInStart(in), MMSYSERR_NOERROR);
    for (int i = 0; i < 100; ++i) advance(10);
    EXPECT_EQ(buffer.header.dwBytesRecorded, 11025u * 4);  // exactly one second
    advance(3);
    EXPECT_EQ(buffer.header.dwBytesRecorded % 4, 0u);  // whole blocks only
    close(in);
}

TEST_F(VirtualCard, StopReturnsThePartlyFilledBufferAndResetReturnsTheRest) {
    const auto format = pcm_format(8000, 2, 16);
    HWAVEIN in = open_input(format);
    Buffer a(32000), b(32000);
    queue(in, a);
    queue(in, b);
    advance(100);
    EXPECT_EQ(a.header.dwBytesRecorded, 0u) << "nothing moves before waveInStart";

    ASSERT_EQ(waveInStart(in), MMSYSERR_NOERROR);
    advance(125);
    ASSERT_EQ(waveInStop(in), MMSYSERR_NOERROR);
    EXPECT_TRUE(a.done());
    EXPECT_EQ(a.header.dwBytesRecorded, 4000u);
    EXPECT_TRUE(b.queued()) << "an empty buffer stays queued over a stop";
    EXPECT_EQ(waveInClose(in), WAVERR_STILLPLAYING);
    EXPECT_EQ(waveInUnprepareHeader(in, &b.header, kHdr), WAVERR_STILLPLAYING);

    advance(100);  // stopped: nothing moves
    ASSERT_EQ(waveInStart(in), MMSYSERR_NOERROR);
    advance(50);
    ASSERT_EQ(waveInReset(in), MMSYSERR_NOERROR);
    EXPECT_TRUE(b.done());
    EXPECT_EQ(b.header.dwBytesRecorded, 1600u) << "reset keeps what was captured";
    advance(100);
    EXPECT_EQ(b.header.dwBytesRecorded, 1600u) << "reset also stops";
    EXPECT_EQ(waveInUnprepareHeader(in, &a.header, kHdr), MMSYSERR_NOERROR);
    EXPECT_FALSE(a.header.dwFlags & WHDR_PREPARED);
    EXPECT_EQ(waveInClose(in), MMSYSERR_NOERROR);
    EXPECT_EQ(waveInStart(in), MMSYSERR_INVALHANDLE) << "a closed handle stays invalid";
}

TEST_F(VirtualCard, ABufferThatIsNotAWholeNumberOfBlocksCompletesAtItsLastWholeBlock) {
    HWAVEIN in = open_input(pcm_format(8000, 2, 16));
    Buffer odd(4003), next(400);
    queue(in, odd);
    queue(in, next);
    ASSERT_EQ(waveInStart(in), MMSYSERR_NOERROR);
    advance(130);  // 4160 bytes due
    EXPECT_TRUE(odd.done());
    EXPECT_EQ(odd.header.dwBytesRecorded, 4000u);
    EXPECT_EQ(next.header.dwBytesRecorded, 160u);
    close(in);
}

// --- what the inputs capture ----------------------------------------------------------------

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

// --- playback -------------------------------------------------------------------------------

TEST_F(VirtualCard, PlaybackPlaysBuffersInOrderAtTheByteRateIntoTheOutputFile) {
    TempDir dir;
    ASSERT_TRUE(m_card->set_output("file:" + dir.file("played.raw")));
    HWAVEOUT out = open_output(pcm_format(8000, 1, 16));
    Buffer a(1600), b(800);
    for (std::size_t i = 0; i < a.data.size(); ++i) a.data[i] = static_cast<unsigned char>(i);
    for (std::size_t i = 0; i < b.data.size(); ++i) b.data[i] = static_cast<unsigned char>(7 * i);
    queue(out, a);
    queue(out, b);
    EXPECT_EQ(position(out), 0u);
    advance(60);
    EXPECT_EQ(position(out), 960u);
    EXPECT_FALSE(a.done());
    advance(40);
    EXPECT_EQ(position(out), 1600u);
    EXPECT_TRUE(a.done());
    EXPECT_FALSE(b.done());
    advance(100);
    EXPECT_EQ(position(out), 2400u) << "ran dry: the position stops at what was played";
    EXPECT_TRUE(b.done());
    close(out);

    auto expected = a.data;
    expected.insert(expected.end(), b.data.begin(), b.data.end());
    EXPECT_EQ(read_bytes(dir.file("played.raw")), expected);
}

TEST_F(VirtualCard, PauseHoldsThePositionResetZeroesItAndABufferAfterADryPatchStartsThen) {
    HWAVEOUT out = open_output(pcm_format(8000, 1, 8));  // 8000 bytes/s
    Buffer a(8000), b(8000);
    queue(out, a);
    advance(250);
    ASSERT_EQ(waveOutPause(out), MMSYSERR_NOERROR);
    advance(500);
    EXPECT_EQ(position(out), 2000u);
    ASSERT_EQ(waveOutRestart(out), MMSYSERR_NOERROR);
    advance(250);
    EXPECT_EQ(position(out), 4000u);

    ASSERT_EQ(waveOutReset(out), MMSYSERR_NOERROR);
    EXPECT_TRUE(a.done());
    EXPECT_EQ(position(out), 0u);

    advance(1000);  // nothing queued: silence is not counted
    queue(out, b);
    advance(100);
    EXPECT_EQ(position(out), 800u) << "no catching up on the time spent dry";

    ASSERT_EQ(waveOutPause(out), MMSYSERR_NOERROR);
    ASSERT_EQ(waveOutReset(out), MMSYSERR_NOERROR);
    queue(out, a);
    advance(100);
    EXPECT_EQ(position(out), 0u) << "a reset leaves a paused device paused";
    ASSERT_EQ(waveOutRestart(out), MMSYSERR_NOERROR);
    advance(100);
    EXPECT_EQ(position(out), 800u);

    MMTIME t{};
    t.wType = TIME_SAMPLES;
    ASSERT_EQ(waveOutGetPosition(out, &t, sizeof t), MMSYSERR_NOERROR);
    EXPECT_EQ(t.u.sample, 800u);
    t.wType = TIME_SMPTE;
    ASSERT_EQ(waveOutGetPosition(out, &t, sizeof t), MMSYSERR_NOERROR);
    EXPECT_EQ(t.wType, TIME_BYTES) << "an unsupported time format is answered in bytes";
    EXPECT_EQ(t.u.cb, 800u);
    close(out);
}

// --- argument checks ------------------------------------------------------------------------

TEST_F(VirtualCard, OpenChecksTheDeviceTheFormatAndTheFlags) {
    HWAVEIN in = nullptr;
    const auto good = pcm_format(22050, 2, 16);
    auto bad = good;
    bad.nBlockAlign = 2;
    EXPECT_EQ(waveInOpen(&in, 0, &bad, 0, 0, 0), WAVERR_BADFORMAT) << "inconsistent block";
    bad = good;
    bad.nAvgBytesPerSec = 1;
    EXPECT_EQ(waveInOpen(&in, 0, &bad, 0, 0, 0), WAVERR_BADFORMAT) << "inconsistent byte rate";
    bad = good;
    bad.wFormatTag = WAVE_FORMAT_ALAW;
    EXPECT_EQ(waveInOpen(&in, 0, &bad, 0, 0, 0), WAVERR_BADFORMAT);
    EXPECT_EQ(waveInOpen(&in, 0, &(bad = pcm_format(8000, 1, 24)), 0, 0, 0), WAVERR_BADFORMAT);
    EXPECT_EQ(waveInOpen(&in, 0, &(bad = pcm_format(8000, 3, 16)), 0, 0, 0), WAVERR_BADFORMAT);
    EXPECT_EQ(waveInOpen(&in, 0, &(bad = pcm_format(7999, 1, 16)), 0, 0, 0), WAVERR_BADFORMAT);
    EXPECT_EQ(waveInOpen(&in, 0, &(bad = pcm_format(96000, 1, 16)), 0, 0, 0), WAVERR_BADFORMAT);
    EXPECT_EQ(in, nullptr);
    EXPECT_EQ(waveInOpen(&in, 0, nullptr, 0, 0, 0), MMSYSERR_INVALPARAM);
    EXPECT_EQ(waveInOpen(&in, 2, &good, 0, 0, 0), MMSYSERR_BADDEVICEID);
    EXPECT_EQ(waveInOpen(&in, 0, &good, 1, 0, CALLBACK_FUNCTION), MMSYSERR_NOTSUPPORTED);
    EXPECT_EQ(waveInOpen(nullptr, 0, &good, 0, 0, 0), MMSYSERR_INVALPARAM);
    EXPECT_EQ(waveInOpen(nullptr, 0, &good, 0, 0, WAVE_FORMAT_QUERY), MMSYSERR_NOERROR);
    EXPECT_EQ(waveOutOpen(nullptr, 0, &(bad = pcm_format(96000, 1, 16)), 0, 0, WAVE_FORMAT_QUERY),
              WAVERR_BADFORMAT);

    ASSERT_EQ(waveInOpen(&in, WAVE_MAPPER, &good, 0, 0, CALLBACK_NULL), MMSYSERR_NOERROR);
    ASSERT_NE(in, nullptr);
    // A handle of the other direction is no handle here.
    EXPECT_EQ(waveOutReset(reinterpret_cast<HWAVEOUT>(in)), MMSYSERR_INVALHANDLE);
    EXPECT_EQ(waveInClose(in), MMSYSERR_NOERROR);

    m_card->set_device_counts(0, 0);
    EXPECT_EQ(waveInOpen(&in, WAVE_MAPPER, &good, 0, 0, 0), MMSYSERR_BADDEVICEID);
}

TEST_F(VirtualCard, HeadersMustBePreparedAndQueuedOnlyOnce) {
    HWAVEOUT out = open_output(pcm_format(8000, 1, 16));
    Buffer b(100);
    EXPECT_EQ(waveOutWrite(out, &b.header, kHdr), WAVERR_UNPREPARED);
    EXPECT_EQ(waveOutPrepareHeader(out, &b.header, kHdr - 1), MMSYSERR_INVALPARAM);
    EXPECT_EQ(waveOutUnprepareHeader(out, &b.header, kHdr), MMSYSERR_NOERROR)
        << "unpreparing an unprepared header does nothing";
    ASSERT_EQ(waveOutPrepareHeader(out, &b.header, kHdr), MMSYSERR_NOERROR);
    ASSERT_EQ(waveOutWrite(out, &b.header, kHdr), MMSYSERR_NOERROR);
    EXPECT_EQ(waveOutWrite(out, &b.header, kHdr), WAVERR_STILLPLAYING);
    EXPECT_EQ(waveOutClose(out), WAVERR_STILLPLAYING);

    Buffer empty(0);
    EXPECT_EQ(waveOutPrepareHeader(out, &empty.header, kHdr), MMSYSERR_INVALPARAM);
    close(out);
}

// --- failure injection ----------------------------------------------------------------------

TEST_F(VirtualCard, InjectedFailuresHitTheNamedCallOnceInTheNamedDirection) {
    const auto format = pcm_format(8000, 1, 16);
    HWAVEIN in = nullptr;
    m_card->fail_next(WaveCall::open, MMSYSERR_ALLOCATED, WaveDirection::input);
    EXPECT_EQ(waveInOpen(&in, 0, &format, 0, 0, 0), MMSYSERR_ALLOCATED);
    EXPECT_EQ(in, nullptr);
    in = open_input(format);

    Buffer a(320), b(320), c(320);
    m_card->fail_next(WaveCall::prepare);
    EXPECT_EQ(waveInPrepareHeader(in, &a.header, kHdr), MMSYSERR_ERROR);
    EXPECT_FALSE(a.header.dwFlags & WHDR_PREPARED);
    // The third add fails: the one an engine makes when it re-queues its first full buffer.
    m_card->fail_next(WaveCall::add, MMSYSERR_NOMEM, std::nullopt, 2);
    queue(in, a);
    queue(in, b);
    ASSERT_EQ(waveInPrepareHeader(in, &c.header, kHdr), MMSYSERR_NOERROR);
    EXPECT_EQ(waveInAddBuffer(in, &c.header, kHdr), MMSYSERR_NOMEM);
    EXPECT_FALSE(c.queued()) << "a failed add queues nothing";
    EXPECT_EQ(waveInAddBuffer(in, &c.header, kHdr), MMSYSERR_NOERROR);

    m_card->fail_next(WaveCall::start);
    EXPECT_EQ(waveInStart(in), MMSYSERR_ERROR);
    advance(10);
    EXPECT_EQ(a.header.dwBytesRecorded, 0u) << "a failed start starts nothing";
    ASSERT_EQ(waveInStart(in), MMSYSERR_NOERROR);

    m_card->fail_next(WaveCall::stop);
    m_card->fail_next(WaveCall::reset, MMSYSERR_ERROR, WaveDirection::output);  // not this one
    EXPECT_EQ(waveInStop(in), MMSYSERR_ERROR);
    advance(20);
    EXPECT_EQ(a.header.dwBytesRecorded, 320u) << "a failed stop leaves capture running";
    m_card->fail_next(WaveCall::reset, MMSYSERR_INVALHANDLE, WaveDirection::input);
    EXPECT_EQ(waveInReset(in), MMSYSERR_INVALHANDLE);
    EXPECT_TRUE(b.queued());
    close(in);

    HWAVEOUT out = nullptr;
    EXPECT_EQ(waveOutOpen(&out, 0, &format, 0, 0, 0), MMSYSERR_NOERROR);
    EXPECT_EQ(waveOutReset(out), MMSYSERR_ERROR) << "the output reset armed above";
    for (WaveCall call : {WaveCall::write, WaveCall::position, WaveCall::pause, WaveCall::restart,
                          WaveCall::unprepare, WaveCall::close})
        m_card->fail_next(call, MMSYSERR_NODRIVER);
    Buffer o(320);
    ASSERT_EQ(waveOutPrepareHeader(out, &o.header, kHdr), MMSYSERR_NOERROR);
    EXPECT_EQ(waveOutWrite(out, &o.header, kHdr), MMSYSERR_NODRIVER);
    MMTIME t{TIME_BYTES, {}};
    EXPECT_EQ(waveOutGetPosition(out, &t, sizeof t), MMSYSERR_NODRIVER);
    EXPECT_EQ(waveOutPause(out), MMSYSERR_NODRIVER);
    EXPECT_EQ(waveOutRestart(out), MMSYSERR_NODRIVER);
    EXPECT_EQ(waveOutUnprepareHeader(out, &o.header, kHdr), MMSYSERR_NODRIVER);
    EXPECT_EQ(waveOutClose(out), MMSYSERR_NODRIVER);
    EXPECT_EQ(waveOutClose(out), MMSYSERR_NOERROR);

    m_card->fail_next(WaveCall::open);
    m_card->clear_failures();
    close(open_input(format));
}

TEST(VirtualCardFailures, TheEnvironmentListNamesCallsDirectionsAndCodes) {
    const auto parsed = VirtualSoundCard::parse_failures("open,in:start,out:write=7,reset=32");
    ASSERT_TRUE(parsed);
    ASSERT_EQ(parsed->size(), 4u);
    EXPECT_EQ((*parsed)[0].call, WaveCall::open);
    EXPECT_FALSE((*parsed)[0].direction);
    EXPECT_EQ((*parsed)[0].result, MMSYSERR_ERROR);
    EXPECT_EQ((*parsed)[1].direction, WaveDirection::input);
    EXPECT_EQ((*parsed)[2].call, WaveCall::write);
    EXPECT_EQ((*parsed)[2].result, MMSYSERR_NOMEM);
    EXPECT_EQ((*parsed)[3].result, WAVERR_BADFORMAT);
    for (const char* bad : {"opne", "in:", "side:open", "open=", "open=0", "open=x", "open,,start"})
        EXPECT_FALSE(VirtualSoundCard::parse_failures(bad)) << bad;

    setenv("KELVANE_VIRTUAL_FAIL", "in:start", 1);
    setenv("KELVANE_AUDIO", "virtual", 1);
    set_wave_backend(nullptr);
    waveInGetNumDevs();  // the backend is chosen on first use
    unsetenv("KELVANE_VIRTUAL_FAIL");
    MessageLoop::instance().set_clock(ClockKind::manual);
    const auto format = pcm_format(8000, 1, 16);
    HWAVEIN in = nullptr;
    ASSERT_EQ(waveInOpen(&in, 0, &format, 0, 0, 0), MMSYSERR_NOERROR);
    EXPECT_EQ(waveInStart(in), MMSYSERR_ERROR);
    EXPECT_EQ(waveInStart(in), MMSYSERR_NOERROR);
    EXPECT_EQ(waveInClose(in), MMSYSERR_NOERROR);
    set_wave_backend(nullptr);
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

// --- the level tap --------------------------------------------------------------------------

TEST_F(VirtualCard, TheTapReportsTheRecentPeakOfEachDeviceUntilItStopsMoving) {
    ASSERT_TRUE(m_card->set_input("sine:250:0.5"));
    HWAVEIN in = open_input(pcm_format(8000, 1, 16), 1);
    Buffer buffer(16000);
    queue(in, buffer);
    EXPECT_EQ(wave_recent_peak(WaveDirection::input, 1), 0u) << "not started";
    ASSERT_EQ(waveInStart(in), MMSYSERR_NOERROR);
    advance(100);
    EXPECT_EQ(wave_recent_peak(WaveDirection::input, 1), 16384u);
    EXPECT_EQ(wave_recent_peak(WaveDirection::input, 0), 0u) << "device 0 is closed";
    EXPECT_EQ(wave_recent_peak(WaveDirection::output, 1), 0u);
    ASSERT_EQ(waveInStop(in), MMSYSERR_NOERROR);
    EXPECT_EQ(wave_recent_peak(WaveDirection::input, 1), 0u);
    close(in);

    // A full-scale negative sample reads 32768, in 16 or 8 bits; 100 ms later it is gone.
    HWAVEOUT out = open_output(pcm_format(8000, 1, 16));
    Buffer loud(16000);
    loud.data[1000] = 0x00;
    loud.data[1001] = 0x80;
    queue(out, loud);
    advance(100);
    EXPECT_EQ(wave_recent_peak(WaveDirection::output, WAVE_MAPPER), 32768u);
    advance(100);
    EXPECT_EQ(wave_recent_peak(WaveDirection::output, 0), 0u);
    close(out);

    HWAVEOUT out8 = open_output(pcm_format(8000, 1, 8));
    Buffer low(800);
    std::fill(low.data.begin(), low.data.end(), 128);
    low.data[10] = 0;
    queue(out8, low);
    advance(50);
    EXPECT_EQ(wave_recent_peak(WaveDirection::output, 0), 32768u);
    close(out8);
    EXPECT_EQ(wave_recent_peak(WaveDirection::output, 0), 0u);
}

}  // namespace
