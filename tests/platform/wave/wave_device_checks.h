// What every backend on a real device must do, checked alike for each (the ALSA backend and the
// sound server's): capture at exactly the rate asked for, and a play position that moves at the
// byte rate, holds while paused and reaches the end. Real devices start when they start, so the
// checks wait in bounded loops and measure rates only once the device moves steadily. Call them
// inside ASSERT_NO_FATAL_FAILURE.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <string>

#include "tests/platform/wave/wave_test_util.h"

namespace quillon::test {

// 8-bit mono at 22050 Hz from input `device` (a device that quietly ran another rate would show
// it here), then waveInStop returns the partly filled buffer and keeps the empty one until the
// reset. `why` says what to look at when it fails.
inline void check_capture_rate_and_stop(UINT device, const std::string& why) {
    constexpr UINT kHdr = sizeof(WAVEHDR);
    const auto format = pcm_format(22050, 1, 8);
    HWAVEIN in = nullptr;
    ASSERT_EQ(waveInOpen(&in, device, &format, 0, 0, CALLBACK_NULL), MMSYSERR_NOERROR);
    Buffer a(format.nAvgBytesPerSec * 20), b(format.nAvgBytesPerSec);
    for (Buffer* x : {&a, &b}) {
        ASSERT_EQ(waveInPrepareHeader(in, &x->header, kHdr), MMSYSERR_NOERROR);
        ASSERT_EQ(waveInAddBuffer(in, &x->header, kHdr), MMSYSERR_NOERROR);
    }
    ASSERT_EQ(waveInStart(in), MMSYSERR_NOERROR);
    // A server may post ahead, in blocks of up to two seconds that hold as much as its clock has
    // run since the last: the count at each delivery lies on a line of the rate, and a delivery
    // that a busy machine sees late lies below that line. So the rate is taken from the first
    // delivery to the highest-lying delivery at least four seconds on; a window as short as a
    // block would hold one block or two by chance.
    ASSERT_TRUE(wait_for([&] { return a.header.dwBytesRecorded > 0; }, 8000)) << why;
    const DWORD first = a.header.dwBytesRecorded;
    const auto start = std::chrono::steady_clock::now();
    DWORD seen = first;
    double rate = 0;
    wait_for(
        [&] {
            const DWORD now = a.header.dwBytesRecorded;
            const double elapsed = seconds_since(start);
            if (now != seen && elapsed >= 4) rate = std::max(rate, (now - first) / elapsed);
            seen = now;
            return elapsed >= 7;
        },
        8000);
    EXPECT_NEAR(rate, format.nAvgBytesPerSec, 0.05 * format.nAvgBytesPerSec);

    ASSERT_EQ(waveInStop(in), MMSYSERR_NOERROR);
    EXPECT_TRUE(a.done()) << "stop returns the partly filled buffer";
    EXPECT_GT(a.header.dwBytesRecorded, first);
    EXPECT_TRUE(b.queued()) << "and keeps the empty one";
    ASSERT_EQ(waveInReset(in), MMSYSERR_NOERROR);
    EXPECT_TRUE(b.done());
    EXPECT_EQ(waveInClose(in), MMSYSERR_NOERROR);
}

// 44.1 kHz stereo to output `device` from a buffer of `first_seconds` and one of 1.5 s: the
// position moves at the byte rate once `settle_seconds` have played, holds while paused, counts
// everything written however long the device ran dry, and so does a short buffer written after
// that (less than a server wants before it starts); a reset puts it back to 0.
inline void check_play_position(UINT device, int first_seconds, double settle_seconds,
                                const std::string& why) {
    constexpr UINT kHdr = sizeof(WAVEHDR);
    const auto format = pcm_format(44100, 2, 16);  // 176400 bytes/s
    HWAVEOUT out = nullptr;
    ASSERT_EQ(waveOutOpen(&out, device, &format, 0, 0, CALLBACK_NULL), MMSYSERR_NOERROR);
    auto position = [&] {
        MMTIME t{};
        t.wType = TIME_BYTES;
        EXPECT_EQ(waveOutGetPosition(out, &t, sizeof t), MMSYSERR_NOERROR);
        return t.u.cb;
    };
    Buffer a(format.nAvgBytesPerSec * first_seconds), b(format.nAvgBytesPerSec * 3 / 2);
    fill_tone(a, format, 440, 0.25, 0);
    for (Buffer* x : {&a, &b}) {
        ASSERT_EQ(waveOutPrepareHeader(out, &x->header, kHdr), MMSYSERR_NOERROR);
        ASSERT_EQ(waveOutWrite(out, &x->header, kHdr), MMSYSERR_NOERROR);
    }
    const auto settled = static_cast<DWORD>(format.nAvgBytesPerSec * settle_seconds);
    ASSERT_TRUE(wait_for([&] { return position() > settled; }, 8000)) << why;
    const DWORD from = position();
    const auto start = std::chrono::steady_clock::now();
    wait_for([] { return false; }, 2000);
    const double rate = (position() - from) / seconds_since(start);
    EXPECT_NEAR(rate, format.nAvgBytesPerSec, 0.05 * format.nAvgBytesPerSec);
    EXPECT_FALSE(b.done()) << "buffers complete in the order written";

    ASSERT_EQ(waveOutPause(out), MMSYSERR_NOERROR);
    const DWORD paused = position();
    wait_for([] { return false; }, 300);
    EXPECT_LT(position() - paused, format.nAvgBytesPerSec / 20) << "held while paused";
    ASSERT_EQ(waveOutRestart(out), MMSYSERR_NOERROR);

    const DWORD written = a.header.dwBufferLength + b.header.dwBufferLength;
    ASSERT_TRUE(wait_for([&] { return position() == written; }, 8000)) << position() << why;
    EXPECT_TRUE(a.done() && b.done());
    wait_for([] { return false; }, 300);
    Buffer c(format.nAvgBytesPerSec / 20);
    ASSERT_EQ(waveOutPrepareHeader(out, &c.header, kHdr), MMSYSERR_NOERROR);
    ASSERT_EQ(waveOutWrite(out, &c.header, kHdr), MMSYSERR_NOERROR);
    ASSERT_TRUE(wait_for([&] { return position() == written + c.header.dwBufferLength; }, 5000))
        << position() << why;

    ASSERT_EQ(waveOutReset(out), MMSYSERR_NOERROR);
    EXPECT_EQ(position(), 0u);
    EXPECT_EQ(waveOutClose(out), MMSYSERR_NOERROR);
}

}  // namespace quillon::test
