#include "platform/wave/alsa_device.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <mutex>
#include <system_error>
#include <thread>
#include <utility>
#include <vector>

#include "platform/base/out_of_memory.h"
#include "platform/wave/alsa_pcm.h"
#include "platform/wave/level_tap.h"
#include "platform/wave/mmsystem_wave.h"
#include "platform/wave/wave_queue.h"

namespace {

// Small periods make a sound server work harder: on PulseAudio, 50 ms periods cost the server
// twice what 100 ms periods (arecord's are 125 ms) do.
constexpr unsigned kPeriodUs = 100'000;
constexpr unsigned kPeriods = 4;  // a 400 ms ring

// How long a front-end call waits for the device at a time before it looks whether the watchdog
// gave the device up.
constexpr auto kHoldSlice = std::chrono::milliseconds(20);

std::mutex g_seam_mutex;
AlsaDriverSeam g_seam;

AlsaDriverSeam current_seam() {
    std::lock_guard lock(g_seam_mutex);
    return g_seam;
}

// Set on a device's driver thread: its calls into ALSA report back to the watchdog.
thread_local bool t_driver_thread = false;

std::int64_t steady_ms() {
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

// The eventfd by which the front end wakes a driver thread; closed when dropped.
class EventFd {
  public:
    explicit EventFd(int fd) : m_fd(fd) {}
    EventFd(EventFd&& other) noexcept : m_fd(std::exchange(other.m_fd, -1)) {}
    EventFd& operator=(EventFd&&) = delete;
    ~EventFd() {
        if (m_fd >= 0) ::close(m_fd);
    }
    explicit operator bool() const { return m_fd >= 0; }
    int get() const { return m_fd; }

  private:
    int m_fd;
};

// An open device and its two threads; only Owner holds one, and destroys it once close() says
// both threads have ended.
class AlsaDevice final : public WaveDevice {
  public:
    static MMRESULT open(const std::string& name, WaveDirection direction, UINT index,
                         const WAVEFORMATEX& format, std::unique_ptr<WaveDevice>* device);

    AlsaDevice(PcmPtr pcm, WaveDirection direction, UINT index, const WAVEFORMATEX& format,
               snd_pcm_uframes_t period, snd_pcm_uframes_t buffer, bool can_pause, EventFd wake,
               AlsaDriverSeam seam)
        : m_pcm(std::move(pcm)),
          m_direction(direction),
          m_format(format),
          m_period(period),
          m_buffer(buffer),
          m_can_pause(can_pause),
          m_wake(std::move(wake)),
          m_seam(std::move(seam)),
          m_queue(format.nBlockAlign),
          m_tap(direction, index, format),
          m_staging(buffer * format.nBlockAlign) {
        // Last: the threads start once everything they use is in place.
        m_watchdog = std::thread([this] { watch(); });
        try {
            m_driver = std::thread([this] {
                drive();
                std::lock_guard lock(m_watch_mutex);
                m_driver_ended = true;
                m_watch_wake.notify_all();
            });
        } catch (...) {
            end_watch();
            throw;
        }
    }

    // Ends both threads; false when the driver thread is stuck inside ALSA and was left to it:
    // this device must then outlive it (see Owner).
    [[nodiscard]] bool close() {
        m_quit = true;
        wake();
        bool ended = false;
        {
            std::unique_lock lock(m_watch_mutex);
            m_watch_wake.wait(lock, [&] { return m_driver_ended || m_given_up; });
            ended = m_driver_ended;
        }
        end_watch();
        if (!ended) {
            m_driver.detach();
            return false;
        }
        m_driver.join();
        snd_pcm_drop(m_pcm.get());
        return true;
    }

    MMRESULT add(WAVEHDR& header) override {
        const auto lock = hold();
        if (!lock || m_broken) return MMSYSERR_NODRIVER;
        m_queue.push(header);
        wake();
        return MMSYSERR_NOERROR;
    }

    MMRESULT start() override {
        const auto lock = hold();
        if (!lock || m_broken) return MMSYSERR_NODRIVER;
        if (m_direction == WaveDirection::input) {
            if (m_running) return MMSYSERR_NOERROR;
            if (const int err = begin_capture(); err < 0) return failed("start", err);
            m_running = true;
        } else {
            if (!m_paused) return MMSYSERR_NOERROR;
            if (m_hw_paused) {
                if (const int err = snd_pcm_pause(m_pcm.get(), 0); err < 0) {
                    // The pause could not be undone: start over from what was not played.
                    note_error(std::string("unpause: ") + snd_strerror(err));
                    snd_pcm_drop(m_pcm.get());
                    snd_pcm_prepare(m_pcm.get());
                }
                m_hw_paused = false;
            }
            m_paused = false;
        }
        wake();
        return MMSYSERR_NOERROR;
    }

    MMRESULT stop() override {
        const auto lock = hold();
        if (!lock) return MMSYSERR_NOERROR;  // given up: nothing is queued any more
        if (m_direction == WaveDirection::input) {
            if (m_running) {
                service();  // what the device already holds belongs to the recording
                m_running = false;
                snd_pcm_drop(m_pcm.get());
                snd_pcm_prepare(m_pcm.get());
            }
            m_queue.complete_partial_capture();
        } else if (!m_paused) {
            m_paused = true;
            // Without a pausing device the buffered ~200 ms play out and then nothing more.
            if (m_can_pause && snd_pcm_state(m_pcm.get()) == SND_PCM_STATE_RUNNING)
                m_hw_paused = snd_pcm_pause(m_pcm.get(), 1) == 0;
        }
        m_tap.clear();
        wake();
        return MMSYSERR_NOERROR;
    }

    MMRESULT reset() override {
        const auto lock = hold();
        if (!lock) return MMSYSERR_NOERROR;
        if (m_direction == WaveDirection::input && m_running) service();
        snd_pcm_drop(m_pcm.get());
        snd_pcm_prepare(m_pcm.get());
        m_running = false;
        m_hw_paused = false;
        m_queue.complete_all();
        m_pending.clear();
        m_handed = 0;
        m_played = 0;
        m_tap.clear();
        wake();
        return MMSYSERR_NOERROR;
    }

    MMRESULT position(std::uint64_t& bytes) override {
        const auto lock = hold();
        if (!lock) return MMSYSERR_NODRIVER;
        // A paused or drained stream is not polled by the driver: look at it here.
        const snd_pcm_state_t state = snd_pcm_state(m_pcm.get());
        if (!m_broken && (state == SND_PCM_STATE_XRUN || state == SND_PCM_STATE_DISCONNECTED))
            recover(-EPIPE);
        if (m_broken) return MMSYSERR_NODRIVER;
        bytes = played();
        return MMSYSERR_NOERROR;
    }

    bool has_queued() override {
        const auto lock = hold();
        return lock && !m_queue.empty();
    }

  private:
    // The driver thread's heartbeat: when it last began a pass or came back from a call into
    // ALSA, in steady milliseconds shifted left by one, the low bit set while it is inside the
    // device (holds it to call into ALSA); kGivenUp once the watchdog took the device from it.
    static constexpr std::int64_t kGivenUp = -1;
    static std::int64_t beat_now(bool inside) { return steady_ms() << 1 | (inside ? 1 : 0); }

    // The driver thread inside the device: holds it, and beats on the way in and out.
    class Inside {
      public:
        explicit Inside(AlsaDevice& device) : m_device(device), m_lock(device.m_mutex) {
            m_device.beat(true);
        }
        ~Inside() { m_device.beat(false); }
        Inside(const Inside&) = delete;
        Inside& operator=(const Inside&) = delete;

      private:
        AlsaDevice& m_device;
        std::lock_guard<std::timed_mutex> m_lock;
    };

    // Driver thread only. Once the watchdog has given the device up, the thread may touch
    // nothing more of it: the buffers went back to their owner. It stays here for good, still
    // holding the device, which its owner keeps allocated for it.
    void beat(bool inside) {
        std::int64_t seen = m_beat.load();
        if (seen != kGivenUp && m_beat.compare_exchange_strong(seen, beat_now(inside))) return;
        ++alsa_counters().parked_threads;
        for (;;) std::this_thread::sleep_for(std::chrono::hours(24));
    }

    // Every call into ALSA returns through here: on the driver thread it beats.
    template <typename Result>
    Result came_back(Result result) {
        if (t_driver_thread) beat(true);
        return result;
    }

    // The device for a front-end call; not held once the watchdog gave the device up (its
    // driver thread may hold it for good by then).
    std::unique_lock<std::timed_mutex> hold() {
        std::unique_lock lock(m_mutex, std::defer_lock);
        while (!m_given_up.load(std::memory_order_acquire))
            if (lock.try_lock_for(kHoldSlice)) break;
        return lock;
    }

    // The watchdog: gives the device up when the driver thread stays inside one call into ALSA
    // past the bound. A thread that is only waiting (on poll, or for the device while a
    // front-end call holds it) is not inside, so an idle or paused device is never taken for
    // stuck.
    void watch() {
        const auto bound = m_seam.stall_after;
        const auto interval =
            std::max<std::chrono::milliseconds>(bound / 6, std::chrono::milliseconds(1));
        std::unique_lock lock(m_watch_mutex);
        while (!m_watch_quit) {
            m_watch_wake.wait_for(lock, interval);
            std::int64_t seen = m_beat.load();
            if (seen == kGivenUp || !(seen & 1) || steady_ms() - (seen >> 1) < bound.count())
                continue;
            // Whoever changes the beat first owns the device: the thread coming back, or this.
            if (!m_beat.compare_exchange_strong(seen, kGivenUp)) continue;
            ++alsa_counters().stalls;
            go_broken("the driver thread is stuck in a call into ALSA");
            m_given_up.store(true, std::memory_order_release);
            m_watch_wake.notify_all();
            return;
        }
    }

    void end_watch() {
        {
            std::lock_guard lock(m_watch_mutex);
            m_watch_quit = true;
        }
        m_watch_wake.notify_all();
        m_watchdog.join();
    }

    static MMRESULT configure(snd_pcm_t* pcm, WaveDirection direction, const WAVEFORMATEX& f,
                              snd_pcm_uframes_t& period, snd_pcm_uframes_t& buffer,
                              bool& can_pause) {
        snd_pcm_hw_params_t* hw = nullptr;
        snd_pcm_hw_params_alloca(&hw);
        if (snd_pcm_hw_params_any(pcm, hw) < 0) return MMSYSERR_ERROR;
        // Exactly the format asked for: no resampling, no nearby rate.
        if (snd_pcm_hw_params_set_rate_resample(pcm, hw, 0) < 0 ||
            snd_pcm_hw_params_set_access(pcm, hw, SND_PCM_ACCESS_RW_INTERLEAVED) < 0 ||
            snd_pcm_hw_params_set_format(pcm, hw, sample_format(f.wBitsPerSample)) < 0 ||
            snd_pcm_hw_params_set_channels(pcm, hw, f.nChannels) < 0 ||
            snd_pcm_hw_params_set_rate(pcm, hw, f.nSamplesPerSec, 0) < 0)
            return WAVERR_BADFORMAT;
        unsigned period_us = kPeriodUs;
        int dir = 0;
        snd_pcm_hw_params_set_period_time_near(pcm, hw, &period_us, &dir);
        unsigned periods = kPeriods;
        dir = 0;
        snd_pcm_hw_params_set_periods_near(pcm, hw, &periods, &dir);
        if (const int err = snd_pcm_hw_params(pcm, hw); err < 0) {
            note_error(std::string("hw params: ") + snd_strerror(err));
            return WAVERR_BADFORMAT;
        }
        snd_pcm_hw_params_get_period_size(hw, &period, &dir);
        snd_pcm_hw_params_get_buffer_size(hw, &buffer);
        can_pause = snd_pcm_hw_params_can_pause(hw) != 0;

        snd_pcm_sw_params_t* sw = nullptr;
        snd_pcm_sw_params_alloca(&sw);
        snd_pcm_sw_params_current(pcm, sw);
        snd_pcm_sw_params_set_avail_min(pcm, sw, period);
        snd_pcm_uframes_t boundary = 0;
        snd_pcm_sw_params_get_boundary(sw, &boundary);
        // Playback starts with the first frame written; capture only on waveInStart.
        snd_pcm_sw_params_set_start_threshold(pcm, sw,
                                              direction == WaveDirection::output ? 1 : boundary);
        if (const int err = snd_pcm_sw_params(pcm, sw); err < 0) {
            note_error(std::string("sw params: ") + snd_strerror(err));
            return MMSYSERR_ERROR;
        }
        return MMSYSERR_NOERROR;
    }

    MMRESULT failed(const char* what, int err) {
        note_error(std::string(what) + ": " + snd_strerror(err));
        return m_broken ? MMSYSERR_NODRIVER : MMSYSERR_ERROR;
    }

    // The device is gone for good (unplugged, its server ended, its driver thread stuck):
    // everything queued goes back, input buffers with what they hold, and the calls say so from
    // now on. Caller holds m_mutex, or is the watchdog that took the device from its driver.
    void go_broken(const std::string& why) {
        note_error("device lost: " + why);
        m_broken = true;
        m_running = false;
        m_queue.complete_all();
        m_pending.clear();
        m_tap.clear();
    }

    void wake() {
        const std::uint64_t one = 1;
        [[maybe_unused]] const auto ignored = ::write(m_wake.get(), &one, sizeof one);
    }

    int begin_capture() {
        const snd_pcm_state_t state = snd_pcm_state(m_pcm.get());
        if (state != SND_PCM_STATE_PREPARED) {
            snd_pcm_drop(m_pcm.get());
            if (const int err = snd_pcm_prepare(m_pcm.get()); err < 0) return err;
        }
        return snd_pcm_start(m_pcm.get());
    }

    // Brings the device back after an over- or under-run or a suspend. Caller holds m_mutex.
    void recover(int err) {
        if (err == -EAGAIN) return;
        ++alsa_counters().xruns;
        note_error(std::string("recovering from ") + snd_strerror(err));
        if (err == -ESTRPIPE) {
            while ((err = came_back(snd_pcm_resume(m_pcm.get()))) == -EAGAIN)
                std::this_thread::yield();
            if (err == 0) return;
        }
        // An under-run played everything handed over: the position keeps it.
        if (m_direction == WaveDirection::output) m_played = m_handed;
        if (const int prepared = came_back(snd_pcm_prepare(m_pcm.get())); prepared < 0) {
            // Gone for good (unplugged, server ended): stop polling it rather than spin.
            return go_broken(snd_strerror(prepared));
        }
        if (m_direction == WaveDirection::input && m_running) {
            if (const int started = came_back(snd_pcm_start(m_pcm.get())); started < 0)
                return go_broken(snd_strerror(started));
        }
    }

    bool active() const {
        if (m_broken) return false;
        if (m_direction == WaveDirection::input) return m_running;
        // A trailing part of a block waits for the next buffer; polling for it would spin.
        return !m_paused && (!m_queue.empty() || m_pending.size() >= m_format.nBlockAlign);
    }

    // Moves what the device can take or give now; false when nothing moved. Caller holds
    // m_mutex.
    bool service() {
        if (m_direction == WaveDirection::input) return capture();
        return play();
    }

    bool capture() {
        const WORD align = m_format.nBlockAlign;
        // One read of everything there: each call into a server's plugin costs a round of
        // locking with its own thread.
        const snd_pcm_sframes_t avail = came_back(snd_pcm_avail_update(m_pcm.get()));
        if (avail < 0) {
            recover(static_cast<int>(avail));
            return false;
        }
        if (avail == 0) return false;
        const auto frames = std::min<snd_pcm_uframes_t>(avail, m_staging.size() / align);
        const snd_pcm_sframes_t got =
            came_back(snd_pcm_readi(m_pcm.get(), m_staging.data(), frames));
        if (got == -EAGAIN || got == 0) return false;
        if (got < 0) {
            recover(static_cast<int>(got));
            return false;
        }
        std::span<const BYTE> data(m_staging.data(), static_cast<std::size_t>(got) * align);
        alsa_counters().bytes_moved += data.size();
        m_tap.feed(data);
        while (!data.empty()) {
            const std::span<BYTE> room = m_queue.capture_room();
            if (room.empty()) break;  // nobody listening: the rest is not recorded
            const std::size_t bytes = std::min(room.size(), data.size());
            std::memcpy(room.data(), data.data(), bytes);
            m_queue.commit_capture(bytes);
            data = data.subspan(bytes);
        }
        return true;
    }

    bool play() {
        const WORD align = m_format.nBlockAlign;
        if (m_paused) return false;
        bool moved = false;
        for (;;) {
            // Top up the bytes waiting to go out from the queued buffers (which complete as
            // soon as all of their bytes are handed over).
            while (m_pending.size() < m_staging.size()) {
                const std::span<const BYTE> data = m_queue.playback_data();
                if (data.empty()) break;
                const std::size_t bytes =
                    std::min(data.size(), m_staging.size() - m_pending.size());
                m_pending.insert(m_pending.end(), data.begin(), data.begin() + bytes);
                m_queue.commit_playback(bytes);
            }
            const snd_pcm_uframes_t frames = m_pending.size() / align;
            if (frames == 0) return moved;
            if (came_back(snd_pcm_state(m_pcm.get())) == SND_PCM_STATE_XRUN) recover(-EPIPE);
            const snd_pcm_sframes_t put =
                came_back(snd_pcm_writei(m_pcm.get(), m_pending.data(), frames));
            if (put == -EAGAIN || put == 0) return moved;
            if (put < 0) {
                recover(static_cast<int>(put));
                return moved;
            }
            const std::size_t bytes = static_cast<std::size_t>(put) * align;
            m_tap.feed({m_pending.data(), bytes});
            m_pending.erase(m_pending.begin(), m_pending.begin() + static_cast<long>(bytes));
            m_handed += bytes;
            alsa_counters().bytes_moved += bytes;
            moved = true;
        }
    }

    std::uint64_t played() {
        if (m_direction == WaveDirection::input) return 0;
        snd_pcm_sframes_t delay = 0;
        const snd_pcm_state_t state = snd_pcm_state(m_pcm.get());
        if (state != SND_PCM_STATE_XRUN && state != SND_PCM_STATE_SETUP) {
            if (snd_pcm_delay(m_pcm.get(), &delay) < 0) delay = 0;
            // What still waits in the ring has not been played, whatever the delay says: a
            // sound server reports no delay at all until its stream has really started.
            const snd_pcm_sframes_t avail = snd_pcm_avail(m_pcm.get());
            if (avail >= 0 && static_cast<snd_pcm_uframes_t>(avail) < m_buffer)
                delay = std::max(delay, static_cast<snd_pcm_sframes_t>(m_buffer - avail));
        }
        const std::uint64_t queued = std::min<std::uint64_t>(
            static_cast<std::uint64_t>(std::max<snd_pcm_sframes_t>(delay, 0)) *
                m_format.nBlockAlign,
            m_handed);
        // Never backwards: a device's delay estimate may jitter.
        m_played = std::max(m_played, m_handed - queued);
        return m_played;
    }

    // A plugin's descriptor may say "ready" when the device has nothing to move: the server
    // plugin raises it as its stream fills and lowers it only when its own code next runs (a
    // transfer, or the next fragment arriving). A drop and prepare replace that stream and
    // leave the descriptor raised, so until the new stream's first fragment arrives (up to
    // seconds on a server) every poll returns at once with nothing to read. After such a
    // wake-up the driver stops polling the device and looks at it once a period instead, until
    // something moves: a transfer makes the plugin set its descriptor right again.
    void drive() {
        using Clock = std::chrono::steady_clock;
        t_driver_thread = true;
        const auto period = std::chrono::microseconds(
            std::max<std::uint64_t>(1000, m_period * 1'000'000ull / m_format.nSamplesPerSec));
        std::vector<pollfd> fds(1);
        {
            const Inside inside(*this);
            fds.resize(1 + std::max(0, came_back(snd_pcm_poll_descriptors_count(m_pcm.get()))));
        }
        bool dozing = false;
        Clock::time_point look_again{};  // while dozing: when to look at the device next
        for (;;) {
            int count = 1;
            // The timeout otherwise only guards against a device that stops signalling.
            int timeout_ms = 1000;
            {
                const Inside inside(*this);
                if (m_quit) return;
                if (!active()) {
                    dozing = false;
                } else if (dozing) {
                    const auto left =
                        std::chrono::ceil<std::chrono::milliseconds>(look_again - Clock::now());
                    timeout_ms = static_cast<int>(std::max<std::int64_t>(0, left.count()));
                } else {
                    count += came_back(snd_pcm_poll_descriptors(
                        m_pcm.get(), &fds[1], static_cast<unsigned>(fds.size() - 1)));
                }
            }
            fds[0] = {m_wake.get(), POLLIN, 0};
            const int ready = ::poll(fds.data(), static_cast<nfds_t>(count), timeout_ms);
            if (ready < 0 && errno != EINTR) {
                const Inside inside(*this);
                return go_broken(std::string("poll: ") + std::strerror(errno));
            }
            if (fds[0].revents & POLLIN) {
                std::uint64_t drained;
                [[maybe_unused]] const auto ignored =
                    ::read(m_wake.get(), &drained, sizeof drained);
            }
            const Inside inside(*this);
            if (m_quit) return;
            if (!active()) continue;
            ++alsa_counters().wakeups;
            if (m_seam.on_pass) {
                m_seam.on_pass();
                came_back(0);
            }
            bool device_signalled = false;
            if (count > 1) {
                for (int i = 1; i < count; ++i) device_signalled |= fds[i].revents != 0;
                unsigned short revents = 0;
                came_back(snd_pcm_poll_descriptors_revents(
                    m_pcm.get(), &fds[1], static_cast<unsigned>(count - 1), &revents));
                if (revents & (POLLERR | POLLHUP | POLLNVAL)) recover(-EPIPE);
            }
            const bool moved = service();
            if (moved) {
                dozing = false;
            } else if (device_signalled || (dozing && Clock::now() >= look_again)) {
                dozing = true;
                look_again = Clock::now() + period;
            }
            if (m_direction == WaveDirection::output && !active()) m_tap.clear();
        }
    }

    PcmPtr m_pcm;
    const WaveDirection m_direction;
    const WAVEFORMATEX m_format;
    const snd_pcm_uframes_t m_period;  // frames
    const snd_pcm_uframes_t m_buffer;  // frames
    const bool m_can_pause;
    const EventFd m_wake;  // the front end wakes the driver with it
    OpenDeviceCount m_counted;
    const AlsaDriverSeam m_seam;
    // Guards everything below but the threads and the watch, and every call on m_pcm. Front-end
    // calls wait for it in slices: a driver thread stuck inside ALSA holds it for good.
    std::timed_mutex m_mutex;
    HeaderQueue m_queue;
    PeakTap m_tap;
    std::vector<BYTE> m_staging;  // the device's whole ring
    std::vector<BYTE> m_pending;  // output bytes taken from the queue, not yet accepted by ALSA
    bool m_running = false;       // input: capturing
    bool m_paused = false;        // output: waveOutPause in force
    bool m_hw_paused = false;     // output: the device itself is paused
    std::uint64_t m_handed = 0;   // output bytes accepted by ALSA since open or reset
    std::uint64_t m_played = 0;   // output bytes played since open or reset
    bool m_broken = false;        // the device failed to recover
    std::atomic<bool> m_quit = false;
    std::atomic<std::int64_t> m_beat = beat_now(false);  // see kGivenUp
    std::atomic<bool> m_given_up = false;  // the watchdog took the device from its driver
    std::mutex m_watch_mutex;              // guards the three below
    std::condition_variable m_watch_wake;
    bool m_watch_quit = false;
    bool m_driver_ended = false;
    std::thread m_watchdog;
    std::thread m_driver;
};

// What the front end holds. Closing ends the device's threads, but a driver thread stuck inside
// ALSA cannot be ended and may yet come back from its call to find its device: the device is then
// left allocated on purpose, its PCM open (closing it under the thread would pull the plugin's
// state from under it) and counted as open (ALSA's configuration must not be reloaded under it).
// That leaks some tens of kilobytes per stuck device, the price of a close that returns.
class Owner final : public WaveDevice {
  public:
    template <typename... Args>
    explicit Owner(Args&&... args)
        : m_device(std::make_unique<AlsaDevice>(std::forward<Args>(args)...)) {}
    ~Owner() override {
        if (!m_device->close()) [[maybe_unused]]
            AlsaDevice* kept = m_device.release();
    }
    Owner(const Owner&) = delete;
    Owner& operator=(const Owner&) = delete;

    MMRESULT add(WAVEHDR& header) override { return m_device->add(header); }
    MMRESULT start() override { return m_device->start(); }
    MMRESULT stop() override { return m_device->stop(); }
    MMRESULT reset() override { return m_device->reset(); }
    MMRESULT position(std::uint64_t& bytes) override { return m_device->position(bytes); }
    bool has_queued() override { return m_device->has_queued(); }

  private:
    std::unique_ptr<AlsaDevice> m_device;
};

MMRESULT AlsaDevice::open(const std::string& name, WaveDirection direction, UINT index,
                          const WAVEFORMATEX& format, std::unique_ptr<WaveDevice>* device) {
    PcmPtr pcm = open_pcm(name, direction);
    if (!pcm) return MMSYSERR_ALLOCATED;
    snd_pcm_uframes_t period = 0;
    snd_pcm_uframes_t buffer = 0;
    bool can_pause = false;
    if (const MMRESULT result = configure(pcm.get(), direction, format, period, buffer, can_pause))
        return result;
    if (!device) return MMSYSERR_NOERROR;
    EventFd wake(eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC));
    if (!wake) return MMSYSERR_NOMEM;
    // A device whose driver thread cannot start closes again; the caller is told.
    return or_out_of_memory(MMSYSERR_NOMEM, [&]() -> MMRESULT {
        try {
            *device = std::make_unique<Owner>(std::move(pcm), direction, index, format, period,
                                              buffer, can_pause, std::move(wake), current_seam());
        } catch (const std::system_error& e) {
            note_error(std::string("driver thread: ") + e.what());
            return MMSYSERR_NOMEM;
        }
        return MMSYSERR_NOERROR;
    });
}

}  // namespace

void set_alsa_driver_seam(AlsaDriverSeam seam) {
    std::lock_guard lock(g_seam_mutex);
    g_seam = std::move(seam);
}

MMRESULT open_alsa_device(const std::string& pcm_name, WaveDirection direction, UINT index,
                          const WAVEFORMATEX& format, std::unique_ptr<WaveDevice>* device) {
    return AlsaDevice::open(pcm_name, direction, index, format, device);
}
