#include "platform/wave/alsa_device.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
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

class AlsaDevice final : public WaveDevice {
  public:
    static MMRESULT open(const std::string& name, WaveDirection direction, UINT index,
                         const WAVEFORMATEX& format, std::unique_ptr<WaveDevice>* device) {
        PcmPtr pcm = open_pcm(name, direction);
        if (!pcm) return MMSYSERR_ALLOCATED;
        snd_pcm_uframes_t period = 0;
        snd_pcm_uframes_t buffer = 0;
        bool can_pause = false;
        if (const MMRESULT result =
                configure(pcm.get(), direction, format, period, buffer, can_pause))
            return result;
        if (!device) return MMSYSERR_NOERROR;
        EventFd wake(eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC));
        if (!wake) return MMSYSERR_NOMEM;
        // A device whose driver thread cannot start closes again; the caller is told.
        return or_out_of_memory(MMSYSERR_NOMEM, [&]() -> MMRESULT {
            try {
                *device = std::make_unique<AlsaDevice>(std::move(pcm), direction, index, format,
                                                       period, buffer, can_pause, std::move(wake));
            } catch (const std::system_error& e) {
                note_error(std::string("driver thread: ") + e.what());
                return MMSYSERR_NOMEM;
            }
            return MMSYSERR_NOERROR;
        });
    }

    AlsaDevice(PcmPtr pcm, WaveDirection direction, UINT index, const WAVEFORMATEX& format,
               snd_pcm_uframes_t period, snd_pcm_uframes_t buffer, bool can_pause, EventFd wake)
        : m_pcm(std::move(pcm)),
          m_direction(direction),
          m_format(format),
          m_period(period),
          m_buffer(buffer),
          m_can_pause(can_pause),
          m_wake(std::move(wake)),
          m_queue(format.nBlockAlign),
          m_tap(direction, index, format),
          m_staging(buffer * format.nBlockAlign),
          m_driver([this] { drive(); }) {}

    ~AlsaDevice() override {
        {
            std::lock_guard lock(m_mutex);
            m_quit = true;
        }
        wake();
        m_driver.join();
        snd_pcm_drop(m_pcm.get());
    }

    MMRESULT add(WAVEHDR& header) override {
        std::lock_guard lock(m_mutex);
        if (m_broken) return MMSYSERR_NODRIVER;
        m_queue.push(header);
        wake();
        return MMSYSERR_NOERROR;
    }

    MMRESULT start() override {
        std::lock_guard lock(m_mutex);
        if (m_broken) return MMSYSERR_NODRIVER;
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
        std::lock_guard lock(m_mutex);
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
        std::lock_guard lock(m_mutex);
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
        std::lock_guard lock(m_mutex);
        // A paused or drained stream is not polled by the driver: look at it here.
        const snd_pcm_state_t state = snd_pcm_state(m_pcm.get());
        if (!m_broken && (state == SND_PCM_STATE_XRUN || state == SND_PCM_STATE_DISCONNECTED))
            recover(-EPIPE);
        if (m_broken) return MMSYSERR_NODRIVER;
        bytes = played();
        return MMSYSERR_NOERROR;
    }

    bool has_queued() override {
        std::lock_guard lock(m_mutex);
        return !m_queue.empty();
    }

  private:
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

    // The device is gone for good (unplugged, its server ended): everything queued goes back,
    // input buffers with what they hold, and the calls say so from now on. Caller holds m_mutex.
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
            while ((err = snd_pcm_resume(m_pcm.get())) == -EAGAIN) std::this_thread::yield();
            if (err == 0) return;
        }
        // An under-run played everything handed over: the position keeps it.
        if (m_direction == WaveDirection::output) m_played = m_handed;
        if (const int prepared = snd_pcm_prepare(m_pcm.get()); prepared < 0) {
            // Gone for good (unplugged, server ended): stop polling it rather than spin.
            return go_broken(snd_strerror(prepared));
        }
        if (m_direction == WaveDirection::input && m_running) {
            if (const int started = snd_pcm_start(m_pcm.get()); started < 0)
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
        const snd_pcm_sframes_t avail = snd_pcm_avail_update(m_pcm.get());
        if (avail < 0) {
            recover(static_cast<int>(avail));
            return false;
        }
        if (avail == 0) return false;
        const auto frames = std::min<snd_pcm_uframes_t>(avail, m_staging.size() / align);
        const snd_pcm_sframes_t got = snd_pcm_readi(m_pcm.get(), m_staging.data(), frames);
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
            if (snd_pcm_state(m_pcm.get()) == SND_PCM_STATE_XRUN) recover(-EPIPE);
            const snd_pcm_sframes_t put = snd_pcm_writei(m_pcm.get(), m_pending.data(), frames);
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
        const auto period = std::chrono::microseconds(
            std::max<std::uint64_t>(1000, m_period * 1'000'000ull / m_format.nSamplesPerSec));
        std::vector<pollfd> fds(1 + std::max(0, snd_pcm_poll_descriptors_count(m_pcm.get())));
        bool dozing = false;
        Clock::time_point look_again{};  // while dozing: when to look at the device next
        for (;;) {
            int count = 1;
            // The timeout otherwise only guards against a device that stops signalling.
            int timeout_ms = 1000;
            {
                std::lock_guard lock(m_mutex);
                if (m_quit) return;
                if (!active()) {
                    dozing = false;
                } else if (dozing) {
                    const auto left =
                        std::chrono::ceil<std::chrono::milliseconds>(look_again - Clock::now());
                    timeout_ms = static_cast<int>(std::max<std::int64_t>(0, left.count()));
                } else {
                    count += snd_pcm_poll_descriptors(m_pcm.get(), &fds[1],
                                                      static_cast<unsigned>(fds.size() - 1));
                }
            }
            fds[0] = {m_wake.get(), POLLIN, 0};
            const int ready = ::poll(fds.data(), static_cast<nfds_t>(count), timeout_ms);
            if (ready < 0 && errno != EINTR) {
                std::lock_guard lock(m_mutex);
                return go_broken(std::string("poll: ") + std::strerror(errno));
            }
            if (fds[0].revents & POLLIN) {
                std::uint64_t drained;
                [[maybe_unused]] const auto ignored =
                    ::read(m_wake.get(), &drained, sizeof drained);
            }
            std::lock_guard lock(m_mutex);
            if (m_quit) return;
            if (!active()) continue;
            ++alsa_counters().wakeups;
            bool device_signalled = false;
            if (count > 1) {
                for (int i = 1; i < count; ++i) device_signalled |= fds[i].revents != 0;
                unsigned short revents = 0;
                snd_pcm_poll_descriptors_revents(m_pcm.get(), &fds[1],
                                                 static_cast<unsigned>(count - 1), &revents);
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
    std::mutex m_mutex;  // guards everything below but the thread, and every call on m_pcm
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
    bool m_quit = false;
    std::thread m_driver;  // last: it starts once everything above is in place
};

}  // namespace

MMRESULT open_alsa_device(const std::string& pcm_name, WaveDirection direction, UINT index,
                          const WAVEFORMATEX& format, std::unique_ptr<WaveDevice>* device) {
    return AlsaDevice::open(pcm_name, direction, index, format, device);
}
