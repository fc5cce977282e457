#include "platform/wave/alsa_wave.h"

#include <alsa/asoundlib.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <thread>
#include <vector>

#include "platform/wave/alsa_names.h"
#include "platform/wave/level_tap.h"
#include "platform/wave/mmsystem_wave.h"
#include "platform/wave/wave_queue.h"

namespace {

// Small periods make a sound server work harder: on PulseAudio, 50 ms periods cost the server
// twice what 100 ms periods (arecord's are 125 ms) do.
constexpr unsigned kPeriodUs = 100'000;
constexpr unsigned kPeriods = 4;  // a 400 ms ring

std::mutex g_error_mutex;
std::string g_last_error;
std::atomic<int> g_open_devices{0};
std::atomic<std::uint64_t> g_wakeups{0};
std::atomic<std::uint64_t> g_bytes_moved{0};
std::atomic<std::uint64_t> g_xruns{0};

void note_error(std::string text) {
    std::lock_guard lock(g_error_mutex);
    g_last_error = std::move(text);
}

// ALSA reports to stderr by default; probing devices that do not exist is normal here, so its
// messages are kept for diagnostics instead.
void quiet_handler(const char* file, int line, const char* function, int err, const char* fmt,
                   ...) {
    char text[512];
    va_list args;
    va_start(args, fmt);
    std::vsnprintf(text, sizeof text, fmt, args);
    va_end(args);
    char full[768];
    std::snprintf(full, sizeof full, "%s:%d %s: %s%s%s", file, line, function, text,
                  err ? ": " : "", err ? snd_strerror(err) : "");
    note_error(full);
}

struct PcmCloser {
    void operator()(snd_pcm_t* pcm) const { snd_pcm_close(pcm); }
};
using PcmPtr = std::unique_ptr<snd_pcm_t, PcmCloser>;

struct HwParamsFree {
    void operator()(snd_pcm_hw_params_t* p) const { snd_pcm_hw_params_free(p); }
};
using HwParamsPtr = std::unique_ptr<snd_pcm_hw_params_t, HwParamsFree>;

snd_pcm_stream_t stream_of(WaveDirection direction) {
    return direction == WaveDirection::input ? SND_PCM_STREAM_CAPTURE : SND_PCM_STREAM_PLAYBACK;
}

PcmPtr open_pcm(const std::string& name, WaveDirection direction) {
    snd_pcm_t* pcm = nullptr;
    if (const int err = snd_pcm_open(&pcm, name.c_str(), stream_of(direction), SND_PCM_NONBLOCK);
        err < 0) {
        note_error("open " + name + ": " + snd_strerror(err));
        return nullptr;
    }
    PcmPtr owned(pcm);
    if (snd_pcm_type(pcm) == SND_PCM_TYPE_NULL) return nullptr;
    return owned;
}

int card_of(snd_pcm_t* pcm) {
    snd_pcm_info_t* info = nullptr;
    snd_pcm_info_alloca(&info);
    if (snd_pcm_info(pcm, info) < 0) return kAlsaServerCard;
    const int card = snd_pcm_info_get_card(info);
    return card < 0 ? kAlsaServerCard : card;
}

snd_pcm_format_t sample_format(WORD bits) {
    return bits == 8 ? SND_PCM_FORMAT_U8 : SND_PCM_FORMAT_S16_LE;
}

// The classic format grid this device runs exactly.
DWORD probe_formats(snd_pcm_t* pcm, WORD& channels) {
    HwParamsPtr hw;
    {
        snd_pcm_hw_params_t* p = nullptr;
        if (snd_pcm_hw_params_malloc(&p) < 0) return 0;
        hw.reset(p);
    }
    DWORD formats = 0;
    channels = 1;
    const unsigned rates[] = {11025, 22050, 44100};
    for (int r = 0; r < 3; ++r)
        for (unsigned ch = 1; ch <= 2; ++ch)
            for (WORD bits : {WORD{8}, WORD{16}}) {
                if (snd_pcm_hw_params_any(pcm, hw.get()) < 0) return formats;
                snd_pcm_hw_params_set_rate_resample(pcm, hw.get(), 0);
                if (snd_pcm_hw_params_test_rate(pcm, hw.get(), rates[r], 0) < 0 ||
                    snd_pcm_hw_params_test_channels(pcm, hw.get(), ch) < 0 ||
                    snd_pcm_hw_params_test_format(pcm, hw.get(), sample_format(bits)) < 0)
                    continue;
                // Bits: M08, S08, M16, S16 for 11 kHz, then the same four for 22 and 44 kHz.
                formats |= 1u << (4 * r + 2 * (bits == 16) + (ch == 2));
                channels = std::max<WORD>(channels, static_cast<WORD>(ch));
            }
    return formats;
}

struct Endpoint {
    WaveDeviceInfo info;
    std::string pcm;
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
        const int wake = eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
        if (wake < 0) return MMSYSERR_NOMEM;
        *device = std::make_unique<AlsaDevice>(std::move(pcm), direction, index, format, period,
                                               buffer, can_pause, wake);
        return MMSYSERR_NOERROR;
    }

    AlsaDevice(PcmPtr pcm, WaveDirection direction, UINT index, const WAVEFORMATEX& format,
               snd_pcm_uframes_t period, snd_pcm_uframes_t buffer, bool can_pause, int wake)
        : m_pcm(std::move(pcm)),
          m_direction(direction),
          m_format(format),
          m_period(period),
          m_buffer(buffer),
          m_can_pause(can_pause),
          m_wake(wake),
          m_queue(format.nBlockAlign),
          m_tap(direction, index, format),
          m_staging(buffer * format.nBlockAlign) {
        ++g_open_devices;
        m_driver = std::thread([this] { drive(); });
    }

    ~AlsaDevice() override {
        {
            std::lock_guard lock(m_mutex);
            m_quit = true;
        }
        wake();
        m_driver.join();
        snd_pcm_drop(m_pcm.get());
        ::close(m_wake);
        --g_open_devices;
    }

    MMRESULT add(WAVEHDR& header) override {
        std::lock_guard lock(m_mutex);
        m_queue.push(header);
        wake();
        return MMSYSERR_NOERROR;
    }

    MMRESULT start() override {
        std::lock_guard lock(m_mutex);
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
        return MMSYSERR_ERROR;
    }

    void wake() {
        const std::uint64_t one = 1;
        [[maybe_unused]] const auto ignored = ::write(m_wake, &one, sizeof one);
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
        ++g_xruns;
        note_error(std::string("recovering from ") + snd_strerror(err));
        if (err == -ESTRPIPE) {
            while ((err = snd_pcm_resume(m_pcm.get())) == -EAGAIN) std::this_thread::yield();
            if (err == 0) return;
        }
        // An under-run played everything handed over: the position keeps it.
        if (m_direction == WaveDirection::output) m_played = m_handed;
        if (snd_pcm_prepare(m_pcm.get()) < 0) {
            // Gone for good (unplugged, server ended): stop polling it rather than spin.
            m_broken = true;
            return;
        }
        if (m_direction == WaveDirection::input && m_running) snd_pcm_start(m_pcm.get());
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
        g_bytes_moved += data.size();
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
            g_bytes_moved += bytes;
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
            fds[0] = {m_wake, POLLIN, 0};
            const int ready = ::poll(fds.data(), static_cast<nfds_t>(count), timeout_ms);
            if (ready < 0 && errno != EINTR) return;
            if (fds[0].revents & POLLIN) {
                std::uint64_t drained;
                [[maybe_unused]] const auto ignored = ::read(m_wake, &drained, sizeof drained);
            }
            std::lock_guard lock(m_mutex);
            if (m_quit) return;
            if (!active()) continue;
            ++g_wakeups;
            bool device_signalled = false;
            if (count > 1) {
                for (int i = 1; i < count; ++i) device_signalled |= fds[i].revents != 0;
                unsigned short revents = 0;
                snd_pcm_poll_descriptors_revents(m_pcm.get(), &fds[1],
                                                 static_cast<unsigned>(count - 1), &revents);
                if (revents & POLLERR) recover(-EPIPE);
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
    const int m_wake;    // eventfd: the front end wakes the driver with it
    std::mutex m_mutex;  // guards everything below and every call on m_pcm
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
    std::thread m_driver;
};

class AlsaBackend final : public WaveBackend {
  public:
    AlsaBackend() {
        snd_lib_error_set_handler(quiet_handler);
        // The configuration decides at load time whether a sound server is running; load it
        // afresh so that a server started since then is found (never under an open device).
        if (g_open_devices == 0) snd_config_update_free_global();
        for (WaveDirection d : {WaveDirection::input, WaveDirection::output})
            m_endpoints[d == WaveDirection::output] = enumerate(d);
    }

    std::string_view name() const override { return "alsa"; }

    std::vector<WaveDeviceInfo> devices(WaveDirection direction) const override {
        std::vector<WaveDeviceInfo> list;
        for (const Endpoint& e : m_endpoints[direction == WaveDirection::output])
            list.push_back(e.info);
        return list;
    }

    MMRESULT open(WaveDirection direction, UINT index, const WAVEFORMATEX& format,
                  std::unique_ptr<WaveDevice>* device) override {
        const auto& list = m_endpoints[direction == WaveDirection::output];
        if (index >= list.size()) return MMSYSERR_BADDEVICEID;
        return AlsaDevice::open(list[index].pcm, direction, index, format, device);
    }

  private:
    static std::vector<Endpoint> enumerate(WaveDirection direction) {
        std::vector<std::pair<std::string, std::string>> candidates = {{"default", "ALSA Default"}};
        if (has_hint("pulse")) candidates.emplace_back("pulse", "PulseAudio");
        int card = -1;
        while (snd_card_next(&card) == 0 && card >= 0) {
            char* name = nullptr;
            snd_card_get_name(card, &name);
            snd_ctl_t* ctl = nullptr;
            std::string card_id = std::to_string(card);
            if (snd_ctl_open(&ctl, ("hw:" + card_id).c_str(), 0) == 0) {
                snd_ctl_card_info_t* info = nullptr;
                snd_ctl_card_info_alloca(&info);
                if (snd_ctl_card_info(ctl, info) == 0) card_id = snd_ctl_card_info_get_id(info);
                snd_ctl_close(ctl);
            }
            candidates.emplace_back("sysdefault:CARD=" + card_id,
                                    name ? name : "ALSA card " + std::to_string(card));
            std::free(name);
        }

        std::vector<Endpoint> endpoints;
        for (auto& [pcm_name, label] : candidates) {
            PcmPtr pcm = open_pcm(pcm_name, direction);
            if (!pcm) continue;
            Endpoint e;
            e.pcm = pcm_name;
            e.info.native_name = pcm_name;
            e.info.name = unique_name(endpoints, label);
            e.info.maker_id = alsa_maker_id(card_of(pcm.get()));
            e.info.product_id = static_cast<WORD>(endpoints.size() + 1);
            e.info.formats = probe_formats(pcm.get(), e.info.channels);
            endpoints.push_back(std::move(e));
        }
        return endpoints;
    }

    static bool has_hint(const std::string& wanted) {
        void** hints = nullptr;
        if (snd_device_name_hint(-1, "pcm", &hints) < 0) return false;
        bool found = false;
        for (void** h = hints; *h && !found; ++h) {
            char* name = snd_device_name_get_hint(*h, "NAME");
            found = name && wanted == name;
            std::free(name);
        }
        snd_device_name_free_hint(hints);
        return found;
    }

    // Names fit the 31 characters of szPname and stay apart: "USB Audio", "USB Audio #2".
    static std::string unique_name(const std::vector<Endpoint>& taken, std::string name) {
        const std::size_t limit = MAXPNAMELEN - 1;
        auto clash = [&](const std::string& n) {
            return std::any_of(taken.begin(), taken.end(),
                               [&](const Endpoint& e) { return e.info.name == n; });
        };
        std::string candidate = name.substr(0, limit);
        for (int n = 2; clash(candidate); ++n) {
            const std::string suffix = " #" + std::to_string(n);
            candidate = name.substr(0, limit - suffix.size()) + suffix;
        }
        return candidate;
    }

    std::vector<Endpoint> m_endpoints[2];  // input, output
};

}  // namespace

std::unique_ptr<WaveBackend> make_alsa_wave_backend() {
    return std::make_unique<AlsaBackend>();
}

AlsaWaveStats alsa_wave_stats() {
    return {g_wakeups.load(), g_bytes_moved.load(), g_xruns.load()};
}

std::string alsa_last_error() {
    std::lock_guard lock(g_error_mutex);
    return g_last_error;
}
