#include "platform/wave/pulse_wave.h"

#include <algorithm>
#include <atomic>
#include <cstring>
#include <optional>
#include <span>

#include "platform/wave/level_tap.h"
#include "platform/wave/mmsystem_wave.h"
#include "platform/wave/pulse_connection.h"
#include "platform/wave/pulse_play_clock.h"
#include "platform/wave/wave_queue.h"

namespace {

// The engine polls every 100 ms (50 ms after a resume): a fragment per tick keeps its byte
// counts current without waking anyone more often.
constexpr std::uint32_t kFragmentMs = 100;
// What the server holds of ours ahead of the play position; a pause or reset drops it at once.
constexpr std::uint32_t kAheadMs = 400;
// Playback starts, and restarts after running dry, once this much is there.
constexpr std::uint32_t kPrebufferMs = 100;
// The classic format grid: the server carries every one of them.
constexpr DWORD kAllFormats = 0x0FFF;

std::atomic<std::uint64_t> g_deliveries{0};
std::atomic<std::uint64_t> g_requests{0};
std::atomic<std::uint64_t> g_bytes_moved{0};
std::atomic<std::uint64_t> g_failures{0};

pa_sample_spec sample_spec(const WAVEFORMATEX& f) {
    pa_sample_spec spec{};
    spec.format = f.wBitsPerSample == 8 ? PA_SAMPLE_U8 : PA_SAMPLE_S16LE;
    spec.rate = f.nSamplesPerSec;
    spec.channels = static_cast<std::uint8_t>(f.nChannels);
    return spec;
}

// `ms` of the format in bytes, whole blocks, at least one block.
std::uint32_t bytes_for(const WAVEFORMATEX& f, std::uint32_t ms) {
    const std::uint64_t bytes = std::uint64_t{f.nAvgBytesPerSec} * ms / 1000;
    const std::uint64_t blocks = std::max<std::uint64_t>(1, bytes / f.nBlockAlign);
    return static_cast<std::uint32_t>(blocks * f.nBlockAlign);
}

MMRESULT result_of_failure(int error) {
    switch (error) {
        case PA_ERR_NOENTITY:
            return MMSYSERR_BADDEVICEID;
        case PA_ERR_INVALID:
        case PA_ERR_NOTSUPPORTED:
            return WAVERR_BADFORMAT;
        default:
            return MMSYSERR_NODRIVER;
    }
}

// One open device: a server stream and the queue of headers it fills or plays. Everything but
// the published counters is guarded by the connection's lock.
class PulseDevice final : public WaveDevice {
  public:
    PulseDevice(std::shared_ptr<PulseConnection> connection, WaveDirection direction,
                std::optional<std::string> server_device, UINT tap_index,
                const WAVEFORMATEX& format)
        : m_connection(std::move(connection)),
          m_direction(direction),
          m_server_device(std::move(server_device)),
          m_format(format),
          m_spec(sample_spec(format)),
          m_queue(format.nBlockAlign),
          m_tap(direction, tap_index, format),
          m_clock(format.nAvgBytesPerSec, format.nBlockAlign) {}

    ~PulseDevice() override {
        PulseConnection::Lock lock(*m_connection);
        drop_stream();
    }

    // Makes the stream and waits until the server has it; a refusal says why.
    MMRESULT connect() {
        PulseConnection::Lock lock(*m_connection);
        if (!make_stream()) return MMSYSERR_NODRIVER;
        pa_stream* stream = m_stream;
        m_connection->wait_until(
            [stream] { return pa_stream_get_state(stream) != PA_STREAM_CREATING; },
            PulseConnection::kAnswerLimit);
        if (pa_stream_get_state(stream) == PA_STREAM_READY) return MMSYSERR_NOERROR;
        const int error = pa_context_errno(m_connection->context());
        drop_stream();
        return result_of_failure(error);
    }

    MMRESULT add(WAVEHDR& header) override {
        PulseConnection::Lock lock(*m_connection);
        if (broken()) return MMSYSERR_NODRIVER;
        m_queue.push(header);
        if (!m_stream && !make_stream()) return MMSYSERR_NODRIVER;
        if (m_direction == WaveDirection::input)
            capture();
        else
            play();
        return MMSYSERR_NOERROR;
    }

    MMRESULT start() override {
        PulseConnection::Lock lock(*m_connection);
        if (broken()) return MMSYSERR_NODRIVER;
        if (m_direction == WaveDirection::input) {
            if (m_running) return MMSYSERR_NOERROR;
            m_running = true;
        } else {
            if (!m_paused) return MMSYSERR_NOERROR;
            m_paused = false;
            // It plays on from where it was held.
            m_clock.set(played(), PulsePlayClock::Clock::now(), true);
        }
        m_used = true;
        if (!m_stream && !make_stream()) return MMSYSERR_NODRIVER;
        if (ready()) cork(false);
        if (m_direction == WaveDirection::input) capture();
        return MMSYSERR_NOERROR;
    }

    MMRESULT stop() override {
        PulseConnection::Lock lock(*m_connection);
        if (m_direction == WaveDirection::input) {
            // What the server delivered already belongs to the recording.
            if (m_running) capture();
            m_running = false;
            if (ready()) cork(true);
            m_queue.complete_partial_capture();
        } else {
            if (broken()) return MMSYSERR_NODRIVER;
            if (!m_paused) {
                m_paused = true;
                m_clock.set(played(), PulsePlayClock::Clock::now(), false);
                if (ready()) cork(true);
            }
        }
        m_tap.clear();
        return MMSYSERR_NOERROR;
    }

    MMRESULT reset() override {
        PulseConnection::Lock lock(*m_connection);
        m_running = false;
        // A fresh stream drops what the server holds and starts its position at 0; one that
        // never moved anything is as good as fresh.
        if (m_used) drop_stream();
        m_used = false;
        m_offset = 0;
        m_dry = false;
        m_carry.clear();
        m_queue.complete_all();
        m_handed.store(0, std::memory_order_release);
        m_clock.set(0, PulsePlayClock::Clock::now(), false);
        m_reported = 0;
        m_tap.clear();
        return MMSYSERR_NOERROR;
    }

    MMRESULT position(std::uint64_t& bytes) override {
        if (broken()) return MMSYSERR_NODRIVER;
        const std::uint64_t now =
            m_clock.at(PulsePlayClock::Clock::now(), m_handed.load(std::memory_order_acquire));
        // Never backwards: a new timing report may put the position a little behind the
        // extrapolation of the last one.
        m_reported = std::max(m_reported, now);
        bytes = m_reported;
        return MMSYSERR_NOERROR;
    }

    bool has_queued() override {
        PulseConnection::Lock lock(*m_connection);
        return !m_queue.empty();
    }

  private:
    bool broken() const { return m_broken.load(std::memory_order_acquire); }
    bool ready() const { return m_stream && pa_stream_get_state(m_stream) == PA_STREAM_READY; }

    bool make_stream() {
        const bool input = m_direction == WaveDirection::input;
        pa_channel_map map;
        pa_channel_map_init_auto(&map, m_spec.channels, PA_CHANNEL_MAP_DEFAULT);
        PulseProplistPtr properties = pulse_media_name(input ? "Recording" : "Playback");
        m_stream = pa_stream_new_with_proplist(m_connection->context(), "Quillon", &m_spec, &map,
                                               properties.get());
        if (!m_stream) return false;
        pa_stream_set_state_callback(m_stream, &PulseDevice::on_state, this);
        pa_buffer_attr attr;
        attr.maxlength = static_cast<std::uint32_t>(-1);
        attr.tlength = static_cast<std::uint32_t>(-1);
        attr.prebuf = static_cast<std::uint32_t>(-1);
        attr.minreq = static_cast<std::uint32_t>(-1);
        attr.fragsize = static_cast<std::uint32_t>(-1);
        // A device chosen by number stays on it; the mapper's stream follows the default.
        auto flags = m_server_device ? PA_STREAM_DONT_MOVE : PA_STREAM_NOFLAGS;
        const char* device = m_server_device ? m_server_device->c_str() : nullptr;
        int connected = 0;
        if (input) {
            pa_stream_set_read_callback(m_stream, &PulseDevice::on_read, this);
            attr.fragsize = bytes_for(m_format, kFragmentMs);
            flags = static_cast<pa_stream_flags_t>(flags | PA_STREAM_START_CORKED |
                                                   PA_STREAM_ADJUST_LATENCY);
            connected = pa_stream_connect_record(m_stream, device, &attr, flags);
        } else {
            pa_stream_set_write_callback(m_stream, &PulseDevice::on_write, this);
            pa_stream_set_latency_update_callback(m_stream, &PulseDevice::on_timing, this);
            pa_stream_set_underflow_callback(m_stream, &PulseDevice::on_dry, this);
            attr.tlength = bytes_for(m_format, kAheadMs);
            attr.minreq = bytes_for(m_format, kFragmentMs);
            attr.prebuf = bytes_for(m_format, kPrebufferMs);
            // The whole way to the speaker is what tlength says, so that a pause, a seek and the
            // position all act within that much of what is heard.
            flags = static_cast<pa_stream_flags_t>(flags | PA_STREAM_INTERPOLATE_TIMING |
                                                   PA_STREAM_AUTO_TIMING_UPDATE |
                                                   PA_STREAM_ADJUST_LATENCY);
            if (m_paused) flags = static_cast<pa_stream_flags_t>(flags | PA_STREAM_START_CORKED);
            connected =
                pa_stream_connect_playback(m_stream, device, &attr, flags, nullptr, nullptr);
        }
        if (connected < 0) {
            drop_stream();
            return false;
        }
        return true;
    }

    // Our own disconnect is no failure: the callbacks go first.
    void drop_stream() {
        if (!m_stream) return;
        pa_stream_set_state_callback(m_stream, nullptr, nullptr);
        pa_stream_set_read_callback(m_stream, nullptr, nullptr);
        pa_stream_set_write_callback(m_stream, nullptr, nullptr);
        pa_stream_set_latency_update_callback(m_stream, nullptr, nullptr);
        pa_stream_set_underflow_callback(m_stream, nullptr, nullptr);
        if (pa_stream_get_state(m_stream) != PA_STREAM_UNCONNECTED) pa_stream_disconnect(m_stream);
        pa_stream_unref(m_stream);
        m_stream = nullptr;
    }

    void cork(bool on) {
        if (pa_operation* operation = pa_stream_cork(m_stream, on ? 1 : 0, nullptr, nullptr))
            pa_operation_unref(operation);
    }

    // The device stops working for good; whatever was queued comes back with what it holds.
    void fail() {
        if (broken()) return;
        m_broken.store(true, std::memory_order_release);
        ++g_failures;
        m_running = false;
        m_queue.complete_all();
        m_clock.set(played(), PulsePlayClock::Clock::now(), false);
        m_tap.clear();
    }

    // Input: moves what the server delivered into the queued buffers; what finds no buffer stays
    // with the stream until one is added.
    void capture() {
        if (!m_running || !ready()) return;
        for (;;) {
            const void* data = nullptr;
            std::size_t bytes = 0;
            if (pa_stream_peek(m_stream, &data, &bytes) < 0 || bytes == 0) return;
            while (m_offset < bytes) {
                const std::span<BYTE> room = m_queue.capture_room();
                if (room.empty()) return;
                const std::size_t n = std::min(room.size(), bytes - m_offset);
                // A hole is audio the server lost: silence keeps the recording's length.
                if (data)
                    std::memcpy(room.data(), static_cast<const BYTE*>(data) + m_offset, n);
                else
                    std::memset(room.data(), m_format.wBitsPerSample == 8 ? 0x80 : 0, n);
                m_tap.feed(room.first(n));
                m_queue.commit_capture(n);
                m_offset += n;
                g_bytes_moved += n;
            }
            pa_stream_drop(m_stream);
            m_offset = 0;
        }
    }

    // Output: hands the server what it asked for, in whole blocks (a buffer that ends inside a
    // block waits for the next one to complete it).
    void play() {
        if (m_paused || !ready()) return;
        const std::size_t align = m_format.nBlockAlign;
        bool wrote = false;
        for (;;) {
            std::size_t room = pa_stream_writable_size(m_stream);
            if (room == static_cast<std::size_t>(-1)) return;
            room = room / align * align;
            if (room == 0 || (m_carry.empty() && m_queue.playback_data().empty())) break;
            void* target = nullptr;
            if (pa_stream_begin_write(m_stream, &target, &room) < 0 || !target) return;
            auto* out = static_cast<BYTE*>(target);
            std::size_t filled = std::min(m_carry.size(), room);
            std::copy_n(m_carry.begin(), filled, out);
            m_carry.erase(m_carry.begin(), m_carry.begin() + static_cast<long>(filled));
            while (filled < room) {
                const std::span<const BYTE> data = m_queue.playback_data();
                if (data.empty()) break;
                const std::size_t n = std::min(data.size(), room - filled);
                std::memcpy(out + filled, data.data(), n);
                m_queue.commit_playback(n);
                filled += n;
            }
            const std::size_t whole = filled / align * align;
            m_carry.insert(m_carry.begin(), out + whole, out + filled);
            if (whole == 0) {
                pa_stream_cancel_write(m_stream);
                break;
            }
            if (pa_stream_write(m_stream, out, whole, nullptr, 0, PA_SEEK_RELATIVE) < 0) return;
            m_tap.feed({out, whole});
            m_handed.fetch_add(whole, std::memory_order_acq_rel);
            g_bytes_moved += whole;
            wrote = true;
            m_used = true;
            m_dry = false;
        }
        // The last bytes may be fewer than the pre-buffer: they play now, not when more come.
        if (wrote && m_queue.empty()) {
            if (pa_operation* operation = pa_stream_trigger(m_stream, nullptr, nullptr))
                pa_operation_unref(operation);
        }
        if (wrote) note_timing();
    }

    // Output: the bytes played now, as the server's last timing report puts it.
    std::uint64_t played() const {
        return m_clock.at(PulsePlayClock::Clock::now(), m_handed.load(std::memory_order_acquire));
    }

    void note_timing() {
        // Run dry, the server's time stays short of the end by its own latency for good, since
        // it counts that latency as still to play: the clock plays out the rest instead.
        if (m_dry) return;
        pa_usec_t usec = 0;
        if (!ready() || pa_stream_get_time(m_stream, &usec) < 0) return;
        const pa_timing_info* timing = pa_stream_get_timing_info(m_stream);
        const bool moving = !m_paused && timing && timing->playing;
        m_clock.set(pa_usec_to_bytes(usec, &m_spec), PulsePlayClock::Clock::now(), moving);
    }

    // Everything handed over is on its way to the speaker: it plays out at the byte rate.
    void note_dry() {
        pa_usec_t usec = 0;
        if (!ready() || pa_stream_get_time(m_stream, &usec) < 0) return;
        m_dry = true;
        m_clock.set(pa_usec_to_bytes(usec, &m_spec), PulsePlayClock::Clock::now(), !m_paused);
    }

    static void on_state(pa_stream* stream, void* self) {
        auto& device = *static_cast<PulseDevice*>(self);
        switch (pa_stream_get_state(stream)) {
            case PA_STREAM_READY:
                // A stream made after a reset takes up the state the caller asked for meanwhile.
                if (device.m_direction == WaveDirection::input) {
                    if (device.m_running) device.cork(false);
                } else {
                    device.play();
                }
                break;
            case PA_STREAM_FAILED:
            case PA_STREAM_TERMINATED:
                device.fail();
                break;
            default:
                break;
        }
        device.m_connection->signal();
    }

    static void on_read(pa_stream*, std::size_t, void* self) {
        ++g_deliveries;
        static_cast<PulseDevice*>(self)->capture();
    }

    static void on_write(pa_stream*, std::size_t, void* self) {
        ++g_requests;
        static_cast<PulseDevice*>(self)->play();
    }

    static void on_timing(pa_stream*, void* self) {
        static_cast<PulseDevice*>(self)->note_timing();
    }
    static void on_dry(pa_stream*, void* self) { static_cast<PulseDevice*>(self)->note_dry(); }

    const std::shared_ptr<PulseConnection> m_connection;
    const WaveDirection m_direction;
    const std::optional<std::string> m_server_device;  // none: the server's default
    const WAVEFORMATEX m_format;
    const pa_sample_spec m_spec;

    pa_stream* m_stream = nullptr;  // owned; none between a reset and the next use
    HeaderQueue m_queue;
    PeakTap m_tap;
    std::size_t m_offset = 0;   // input: bytes of the fragment at hand already moved
    std::vector<BYTE> m_carry;  // output: the start of a block that a buffer ended inside
    bool m_running = false;     // input: waveInStart in force
    bool m_paused = false;      // output: waveOutPause in force
    bool m_used = false;        // the stream was started or given data since it was made
    bool m_dry = false;         // output: the server ran out of what we handed it
    std::atomic<bool> m_broken{false};

    std::atomic<std::uint64_t> m_handed{0};  // output bytes given to the stream since reset
    PulsePlayClock m_clock;
    std::uint64_t m_reported = 0;  // the last position answered (the caller's thread only)
};

MMRESULT open_device(WaveDirection direction, std::optional<std::string> server_device,
                     UINT tap_index, const WAVEFORMATEX& format,
                     std::unique_ptr<WaveDevice>* device) {
    const pa_sample_spec spec = sample_spec(format);
    if (!pa_sample_spec_valid(&spec)) return WAVERR_BADFORMAT;
    auto connection = PulseConnection::shared();
    if (!connection) return MMSYSERR_NODRIVER;
    if (!device) return MMSYSERR_NOERROR;
    auto opened = std::make_unique<PulseDevice>(std::move(connection), direction,
                                                std::move(server_device), tap_index, format);
    if (const MMRESULT result = opened->connect()) return result;
    *device = std::move(opened);
    return MMSYSERR_NOERROR;
}

struct ServerDevices {
    std::vector<PulseEndpoint> sources;
    std::vector<PulseEndpoint> sinks;
};

bool list_server_devices(PulseConnection& connection, ServerDevices& found) {
    PulseConnection::Lock lock(connection);
    auto* sources = pa_context_get_source_info_list(
        connection.context(),
        [](pa_context*, const pa_source_info* info, int eol, void* list) {
            if (eol || !info) return;
            static_cast<ServerDevices*>(list)->sources.push_back(
                {info->name, info->description ? info->description : info->name,
                 info->sample_spec.channels, info->monitor_of_sink != PA_INVALID_INDEX});
        },
        &found);
    if (!connection.finish(sources, PulseConnection::kAnswerLimit)) return false;
    auto* sinks = pa_context_get_sink_info_list(
        connection.context(),
        [](pa_context*, const pa_sink_info* info, int eol, void* list) {
            if (eol || !info) return;
            static_cast<ServerDevices*>(list)->sinks.push_back(
                {info->name, info->description ? info->description : info->name,
                 info->sample_spec.channels, false});
        },
        &found);
    return connection.finish(sinks, PulseConnection::kAnswerLimit);
}

class PulseWaveBackend final : public WaveBackend {
  public:
    explicit PulseWaveBackend(ServerDevices found)
        : m_devices{pulse_device_list(WaveDirection::input, std::move(found.sources)),
                    pulse_device_list(WaveDirection::output, std::move(found.sinks))} {}

    std::string_view name() const override { return "pulse"; }

    std::vector<WaveDeviceInfo> devices(WaveDirection direction) const override {
        return m_devices[direction == WaveDirection::output];
    }

    MMRESULT open(WaveDirection direction, UINT index, const WAVEFORMATEX& format,
                  std::unique_ptr<WaveDevice>* device) override {
        const auto& list = m_devices[direction == WaveDirection::output];
        if (index >= list.size()) return MMSYSERR_BADDEVICEID;
        return open_device(direction, list[index].native_name, index, format, device);
    }

    std::optional<WaveDeviceInfo> mapper(WaveDirection direction) const override {
        if (m_devices[direction == WaveDirection::output].empty()) return std::nullopt;
        WaveDeviceInfo info;
        info.name = std::string(kWaveMapperName);
        info.maker_id = pulse_mapper_maker_id(direction);
        info.formats = kAllFormats;
        info.channels = 2;
        info.native_name =
            direction == WaveDirection::input ? kPulseDefaultSource : kPulseDefaultSink;
        return info;
    }

    MMRESULT open_mapper(WaveDirection direction, const WAVEFORMATEX& format,
                         std::unique_ptr<WaveDevice>* device) override {
        return open_device(direction, std::nullopt, WAVE_MAPPER, format, device);
    }

  private:
    std::vector<WaveDeviceInfo> m_devices[2];  // input, output
};

}  // namespace

std::unique_ptr<WaveBackend> make_pulse_wave_backend() {
    ServerDevices found;
    if (auto connection = PulseConnection::shared();
        !connection || !list_server_devices(*connection, found))
        found = {};
    return std::make_unique<PulseWaveBackend>(std::move(found));
}

std::vector<WaveDeviceInfo> pulse_device_list(WaveDirection direction,
                                              std::vector<PulseEndpoint> endpoints) {
    // Hardware before monitors, then by the server's names, which do not change between runs.
    std::stable_sort(endpoints.begin(), endpoints.end(),
                     [](const PulseEndpoint& a, const PulseEndpoint& b) {
                         if (a.monitor != b.monitor) return b.monitor;
                         return a.name < b.name;
                     });
    std::vector<WaveDeviceInfo> list;
    for (const PulseEndpoint& e : endpoints) {
        WaveDeviceInfo info;
        info.name = unique_device_name(
            e.description.empty() ? e.name : e.description, [&](const std::string& n) {
                return std::any_of(list.begin(), list.end(),
                                   [&](const WaveDeviceInfo& i) { return i.name == n; });
            });
        info.maker_id = pulse_device_maker_id(direction, list.size());
        info.product_id = static_cast<WORD>(list.size() + 1);
        info.formats = kAllFormats;
        info.channels = static_cast<WORD>(std::clamp(e.channels, 1u, 2u));
        info.native_name = e.name;
        list.push_back(std::move(info));
    }
    return list;
}

WORD pulse_mapper_maker_id(WaveDirection direction) {
    return direction == WaveDirection::input ? kPulseInputMakerBase : kPulseOutputMakerBase;
}

WORD pulse_device_maker_id(WaveDirection direction, std::size_t index) {
    // Past 254 devices the ids would run into the other direction's: the last ones share one.
    return static_cast<WORD>(pulse_mapper_maker_id(direction) + 1 +
                             std::min<std::size_t>(index, 0xFE));
}

PulseWaveStats pulse_wave_stats() {
    return {g_deliveries.load(), g_requests.load(), g_bytes_moved.load(), g_failures.load()};
}
