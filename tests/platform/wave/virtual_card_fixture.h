// The fixture of the virtual card's tests: a card of two inputs and two outputs on the manual
// clock, and the wave calls its tests make again and again.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <memory>

#include "platform/loop/message_loop.h"
#include "platform/wave/mmsystem_wave.h"
#include "platform/wave/virtual_card.h"
#include "tests/platform/wave/wave_test_util.h"

namespace quillon::test {

class VirtualCard : public ::testing::Test {
  protected:
    static constexpr UINT kHdr = sizeof(WAVEHDR);

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

}  // namespace quillon::test
