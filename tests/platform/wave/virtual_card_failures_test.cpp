// Failure injection on the virtual card: each named wave call fails once, in the named
// direction, with the named result.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "platform/loop/message_loop.h"
#include "platform/wave/mmsystem_wave.h"
#include "tests/platform/wave/virtual_card_fixture.h"

namespace {

using quillon::test::Buffer;
using quillon::test::pcm_format;
using quillon::test::VirtualCard;

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
    // A failed close still lets the device go: nothing may be left to outlive its loop.
    EXPECT_EQ(waveOutClose(out), MMSYSERR_INVALHANDLE);

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

}  // namespace
