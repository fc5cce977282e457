// The virtual card on the manual clock: buffers fill and play exactly at the byte rate as the
// loop's time moves, the calls check their arguments, and the level tap meters what moved.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/loop/message_loop.h"
#include "platform/wave/level_tap.h"
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
