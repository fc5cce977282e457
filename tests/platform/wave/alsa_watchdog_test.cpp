// The ALSA devices' watchdog, on ALSA's file device over its null device (no card, no server):
// the driver seam stands in for a call into a plugin that does not return until the test says.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <thread>

#include "platform/wave/alsa_device.h"
#include "platform/wave/alsa_pcm.h"
#include "platform/wave/alsa_wave.h"
#include "platform/wave/mmsystem_wave.h"
#include "platform/wave/wave_queue.h"
#include "tests/platform/wave/wave_test_util.h"

namespace {

using quillon::test::Buffer;
using quillon::test::pcm_format;
using namespace std::chrono_literals;

constexpr const char* kPcm = "file:FILE=/dev/null";

// A generous bound on waits that succeed at once when the code is right: never a timing claim.
template <typename Done>
bool eventually(Done done) {
    const auto end = std::chrono::steady_clock::now() + 20s;
    while (!done()) {
        if (std::chrono::steady_clock::now() > end) return false;
        std::this_thread::sleep_for(1ms);
    }
    return true;
}

// From the `stuck_at`-th pass of a driver thread on, the pass does not return until released.
struct Gate {
    void pass() {
        std::unique_lock lock(mutex);
        if (++passes < stuck_at) return;
        entered = true;
        changed.notify_all();
        changed.wait(lock, [&] { return released; });
    }
    void release() {
        std::lock_guard lock(mutex);
        released = true;
        changed.notify_all();
    }
    bool wait_entered() {
        std::unique_lock lock(mutex);
        return changed.wait_for(lock, 20s, [&] { return entered; });
    }

    int stuck_at = 1;
    std::mutex mutex;
    std::condition_variable changed;
    int passes = 0;
    bool entered = false;
    bool released = false;
};

std::unique_ptr<WaveDevice> open_file_device(WaveDirection direction) {
    const WAVEFORMATEX format = pcm_format(44100, 2, 16);
    std::unique_ptr<WaveDevice> device;
    if (open_alsa_device(kPcm, direction, 0, format, &device) != MMSYSERR_NOERROR) return nullptr;
    return device;
}

// Queues `b` as the front end does.
MMRESULT queue(WaveDevice& device, Buffer& b) {
    set_flags(b.header, WHDR_PREPARED | WHDR_INQUEUE, WHDR_DONE);
    return device.add(b.header);
}

class AlsaWatchdog : public ::testing::TestWithParam<WaveDirection> {
  protected:
    void TearDown() override {
        if (m_gate) m_gate->release();
        set_alsa_driver_seam({});
    }

    // Devices opened from now on: given up after `bound` inside a call, stuck on the gate.
    void use_seam(std::chrono::milliseconds bound, int stuck_at) {
        m_gate = std::make_shared<Gate>();
        m_gate->stuck_at = stuck_at;
        set_alsa_driver_seam({bound, [gate = m_gate] { gate->pass(); }});
    }

    std::shared_ptr<Gate> m_gate;
};

TEST_P(AlsaWatchdog, AStuckDriverGivesTheDeviceUpItsBuffersComeBackAndCloseLeavesItAlone) {
    const WaveDirection direction = GetParam();
    // Input sticks on the third pass, when a buffer holds what two passes captured; output on
    // the first, as one pass hands the unpaced device all there is.
    use_seam(200ms, direction == WaveDirection::input ? 3 : 1);
    auto device = open_file_device(direction);
    if (!device) GTEST_SKIP() << "ALSA cannot open " << kPcm << ": " << alsa_last_error();
    const std::uint64_t stalls_before = alsa_wave_stats().stalls;
    const std::uint64_t parked_before = alsa_counters().parked_threads;

    // Large enough that two passes (a ring each) never fill one.
    Buffer first(44100 * 4 * 30), second(44100 * 4 * 30), refused(4096);
    // Output paused until both are queued, as input is not started: the driver sticks only then.
    if (direction == WaveDirection::output) {
        ASSERT_EQ(device->stop(), MMSYSERR_NOERROR);
    }
    ASSERT_EQ(queue(*device, first), MMSYSERR_NOERROR);
    ASSERT_EQ(queue(*device, second), MMSYSERR_NOERROR);
    ASSERT_EQ(device->start(), MMSYSERR_NOERROR);
    ASSERT_TRUE(m_gate->wait_entered());

    // A call made while the driver is stuck holding the device waits for the watchdog, and no
    // longer.
    set_flags(refused.header, WHDR_PREPARED | WHDR_INQUEUE, WHDR_DONE);
    EXPECT_EQ(device->add(refused.header), MMSYSERR_NODRIVER);
    EXPECT_EQ(alsa_wave_stats().stalls, stalls_before + 1);
    for (const Buffer* b : {&first, &second}) {
        EXPECT_TRUE(b->done());
        EXPECT_FALSE(b->queued());
    }
    if (direction == WaveDirection::input) {
        EXPECT_GT(first.header.dwBytesRecorded, 0u);
        EXPECT_LT(first.header.dwBytesRecorded, first.header.dwBufferLength);
        EXPECT_EQ(first.header.dwBytesRecorded % 4, 0u);
        EXPECT_EQ(second.header.dwBytesRecorded, 0u);
    }
    std::uint64_t bytes = 0;
    EXPECT_EQ(device->position(bytes), MMSYSERR_NODRIVER);
    EXPECT_EQ(device->start(), MMSYSERR_NODRIVER);
    EXPECT_EQ(device->stop(), MMSYSERR_NOERROR);
    EXPECT_EQ(device->reset(), MMSYSERR_NOERROR);
    EXPECT_FALSE(device->has_queued());

    std::atomic<bool> closed = false;
    std::thread closer([&] {
        device.reset();
        closed = true;
    });
    const bool close_returned = eventually([&] { return closed.load(); });
    if (!close_returned) {
        closer.detach();
        FAIL() << "closing a device whose driver is stuck does not return";
    }
    closer.join();

    // The thread comes back from its call to a device that is no longer its own: it stops
    // there, touching neither the buffers it gave back nor anything else.
    const DWORD recorded = first.header.dwBytesRecorded;
    const DWORD flags = first.header.dwFlags;
    m_gate->release();
    ASSERT_TRUE(eventually([&] { return alsa_counters().parked_threads > parked_before; }));
    EXPECT_EQ(load_bytes_recorded(first.header), recorded);
    EXPECT_EQ(load_flags(first.header), flags);
    EXPECT_EQ(load_bytes_recorded(second.header), 0u);
}

TEST_P(AlsaWatchdog, AnIdleOrPausedDeviceIsNeverTakenForStuckAndRunsOnAfterwards) {
    const WaveDirection direction = GetParam();
    use_seam(100ms, 1'000'000);  // the gate never holds
    auto device = open_file_device(direction);
    if (!device) GTEST_SKIP() << "ALSA cannot open " << kPcm << ": " << alsa_last_error();
    const std::uint64_t stalls_before = alsa_wave_stats().stalls;

    Buffer buffer(44100 * 4);
    if (direction == WaveDirection::output) {
        ASSERT_EQ(device->stop(), MMSYSERR_NOERROR);
    }
    ASSERT_EQ(queue(*device, buffer), MMSYSERR_NOERROR);
    // Idle (input not started) or paused (output) for many times the bound, its driver waiting
    // on poll all along.
    std::this_thread::sleep_for(400ms);
    EXPECT_FALSE(buffer.done());
    EXPECT_EQ(device->start(), MMSYSERR_NOERROR);
    ASSERT_TRUE(eventually([&] { return buffer.done(); }));
    if (direction == WaveDirection::input) {
        EXPECT_EQ(buffer.header.dwBytesRecorded, buffer.header.dwBufferLength);
    }
    EXPECT_EQ(alsa_wave_stats().stalls, stalls_before);
    EXPECT_EQ(device->reset(), MMSYSERR_NOERROR);
}

INSTANTIATE_TEST_SUITE_P(BothDirections, AlsaWatchdog,
                         ::testing::Values(WaveDirection::input, WaveDirection::output),
                         [](const auto& info) {
                             return info.param == WaveDirection::input ? "Input" : "Output";
                         });

}  // namespace
