#include "platform/mixer/pulse_mixer.h"

#include <algorithm>
#include <mutex>
#include <optional>
#include <string>

#include "platform/mixer/virtual_mixer.h"
#include "platform/wave/level_tap.h"
#include "platform/wave/mmsystem_wave.h"
#include "platform/wave/pulse_connection.h"

namespace {

// The control asks on the GUI thread, once a second at least; a server that does not answer
// within this makes the operation fail (silently, as every mixer failure does).
constexpr std::chrono::milliseconds kMixerAnswerLimit{1000};

// What each control drives; a control's key is one of these.
enum class Binding : int {
    sink_volume = 1,
    sink_mute,
    source_volume,
    meter,
    monitor_volume,
    monitor_mute,
};

MixerControlDesc bound(MixerControlDesc control, Binding binding) {
    control.key = static_cast<int>(binding);
    return control;
}

bool is_left(pa_channel_position_t p) {
    return p == PA_CHANNEL_POSITION_FRONT_LEFT || p == PA_CHANNEL_POSITION_REAR_LEFT ||
           p == PA_CHANNEL_POSITION_FRONT_LEFT_OF_CENTER || p == PA_CHANNEL_POSITION_SIDE_LEFT ||
           p == PA_CHANNEL_POSITION_TOP_FRONT_LEFT || p == PA_CHANNEL_POSITION_TOP_REAR_LEFT;
}

bool is_right(pa_channel_position_t p) {
    return p == PA_CHANNEL_POSITION_FRONT_RIGHT || p == PA_CHANNEL_POSITION_REAR_RIGHT ||
           p == PA_CHANNEL_POSITION_FRONT_RIGHT_OF_CENTER || p == PA_CHANNEL_POSITION_SIDE_RIGHT ||
           p == PA_CHANNEL_POSITION_TOP_FRONT_RIGHT || p == PA_CHANNEL_POSITION_TOP_REAR_RIGHT;
}

// A sink's or source's volumes as the server has them now.
struct DeviceVolume {
    pa_cvolume volume{};
    pa_channel_map map{};
    bool mute = false;
    bool found = false;

    template <typename Info>
    static void take(pa_context*, const Info* info, int eol, void* self) {
        if (eol || !info) return;
        auto& state = *static_cast<DeviceVolume*>(self);
        state.volume = info->volume;
        state.map = info->channel_map;
        state.mute = info->mute != 0;
        state.found = true;
    }
};

bool query(PulseConnection& connection, WaveDirection direction, const std::string& name,
           DeviceVolume& state) {
    PulseConnection::Lock lock(connection);
    pa_context* context = connection.context();
    pa_operation* operation =
        direction == WaveDirection::input
            ? pa_context_get_source_info_by_name(context, name.c_str(),
                                                 &DeviceVolume::take<pa_source_info>, &state)
            : pa_context_get_sink_info_by_name(context, name.c_str(),
                                               &DeviceVolume::take<pa_sink_info>, &state);
    return connection.finish(operation, kMixerAnswerLimit) && state.found;
}

// Runs a set_* call of the server and tells whether it took.
template <typename Call>
bool change(PulseConnection& connection, Call call) {
    PulseConnection::Lock lock(connection);
    PulseOutcome outcome;
    return connection.finish(call(connection.context(), &outcome), kMixerAnswerLimit) && outcome.ok;
}

const char* device_or_default(const std::optional<std::string>& name) {
    return name ? name->c_str() : nullptr;
}

// Monitoring: what a source records, played on a sink, by two streams of our connection. The
// record stream hands each fragment to the playback stream as it comes, unless the playback
// already holds a full buffer (the two devices' clocks drift apart): then the fragment is left
// out, so the delay stays within about 75 ms.
class PulseLoopback {
  public:
    PulseLoopback(std::shared_ptr<PulseConnection> connection, std::optional<std::string> source,
                  std::optional<std::string> sink, LONG volume)
        : m_connection(std::move(connection)), m_sink(std::move(sink)), m_volume(volume) {
        PulseConnection::Lock lock(*m_connection);
        m_play = make_stream("Monitoring");
        if (!m_play) return;
        pa_buffer_attr attr = buffer(50, 0);
        const pa_cvolume initial = channel_volume();
        pa_stream_connect_playback(m_play, device_or_default(m_sink), &attr,
                                   PA_STREAM_ADJUST_LATENCY, &initial, nullptr);
        record_from(std::move(source));
    }

    ~PulseLoopback() {
        PulseConnection::Lock lock(*m_connection);
        drop(m_record);
        drop(m_play);
    }

    PulseLoopback(const PulseLoopback&) = delete;
    PulseLoopback& operator=(const PulseLoopback&) = delete;

    // The streams run (or are on their way) on a live connection.
    bool alive() const {
        PulseConnection::Lock lock(*m_connection);
        return m_connection->alive() && running(m_play) && running(m_record);
    }

    void move_to(std::optional<std::string> source) {
        PulseConnection::Lock lock(*m_connection);
        drop(m_record);
        record_from(std::move(source));
    }

    void set_volume(LONG volume) {
        PulseConnection::Lock lock(*m_connection);
        m_volume = volume;
        if (!m_play || pa_stream_get_state(m_play) != PA_STREAM_READY) return;
        const pa_cvolume cv = channel_volume();
        if (pa_operation* operation = pa_context_set_sink_input_volume(
                m_connection->context(), pa_stream_get_index(m_play), &cv, nullptr, nullptr))
            pa_operation_unref(operation);
    }

  private:
    static constexpr pa_sample_spec kSpec{PA_SAMPLE_S16LE, 48000, 2};

    static pa_buffer_attr buffer(std::uint32_t play_ms, std::uint32_t fragment_ms) {
        const auto bytes = [](std::uint32_t ms) {
            return static_cast<std::uint32_t>(pa_usec_to_bytes(ms * PA_USEC_PER_MSEC, &kSpec));
        };
        pa_buffer_attr attr;
        attr.maxlength = static_cast<std::uint32_t>(-1);
        attr.tlength = play_ms ? bytes(play_ms) : static_cast<std::uint32_t>(-1);
        attr.prebuf = static_cast<std::uint32_t>(-1);
        attr.minreq = static_cast<std::uint32_t>(-1);
        attr.fragsize = fragment_ms ? bytes(fragment_ms) : static_cast<std::uint32_t>(-1);
        return attr;
    }

    static bool running(pa_stream* stream) {
        if (!stream) return false;
        const pa_stream_state_t state = pa_stream_get_state(stream);
        return state == PA_STREAM_READY || state == PA_STREAM_CREATING;
    }

    pa_cvolume channel_volume() const {
        pa_cvolume cv;
        pa_cvolume_set(&cv, kSpec.channels, mixer_to_pulse_volume(m_volume));
        return cv;
    }

    pa_stream* make_stream(const char* name) {
        return pa_stream_new(m_connection->context(), name, &kSpec, nullptr);
    }

    void record_from(std::optional<std::string> source) {
        m_record = make_stream("Monitoring");
        if (!m_record) return;
        pa_stream_set_read_callback(m_record, &PulseLoopback::on_read, this);
        pa_buffer_attr attr = buffer(0, 25);
        pa_stream_connect_record(m_record, device_or_default(source), &attr,
                                 PA_STREAM_ADJUST_LATENCY);
    }

    static void drop(pa_stream*& stream) {
        if (!stream) return;
        pa_stream_set_read_callback(stream, nullptr, nullptr);
        if (pa_stream_get_state(stream) != PA_STREAM_UNCONNECTED) pa_stream_disconnect(stream);
        pa_stream_unref(stream);
        stream = nullptr;
    }

    static void on_read(pa_stream* stream, std::size_t, void* self) {
        auto& loopback = *static_cast<PulseLoopback*>(self);
        const void* data = nullptr;
        std::size_t bytes = 0;
        while (pa_stream_peek(stream, &data, &bytes) == 0 && bytes > 0) {
            pa_stream* play = loopback.m_play;
            if (data && play && pa_stream_get_state(play) == PA_STREAM_READY &&
                pa_stream_writable_size(play) > 0)
                pa_stream_write(play, data, bytes, nullptr, 0, PA_SEEK_RELATIVE);
            pa_stream_drop(stream);
        }
    }

    const std::shared_ptr<PulseConnection> m_connection;
    const std::optional<std::string> m_sink;  // none: the default sink
    LONG m_volume;
    pa_stream* m_record = nullptr;  // owned, like m_play; guarded by the connection's lock
    pa_stream* m_play = nullptr;
};

// What the mixers of one backend share: which input the recorder uses, and the loopbacks that
// play it.
class MonitorSource {
  public:
    std::optional<std::string> current() {
        std::lock_guard lock(m_mutex);
        return m_source;
    }

    void choose(const std::optional<std::string>& source) {
        std::lock_guard lock(m_mutex);
        if (source == m_source) return;
        m_source = source;
        for (PulseLoopback* loopback : m_loopbacks) loopback->move_to(m_source);
    }

    void attach(PulseLoopback* loopback) {
        std::lock_guard lock(m_mutex);
        m_loopbacks.push_back(loopback);
    }

    void detach(PulseLoopback* loopback) {
        std::lock_guard lock(m_mutex);
        std::erase(m_loopbacks, loopback);
    }

  private:
    std::mutex m_mutex;
    std::optional<std::string> m_source;  // none: the default source
    std::vector<PulseLoopback*> m_loopbacks;
};

class PulseMixer final : public MixerDevice {
  public:
    PulseMixer(std::shared_ptr<MonitorSource> monitor, WaveDirection direction,
               WaveDeviceInfo device, UINT tap_index)
        : m_monitor(std::move(monitor)),
          m_direction(direction),
          m_device(std::move(device)),
          m_tap_index(tap_index),
          m_destinations(lines(direction, m_device.channels)) {}

    ~PulseMixer() override { stop_monitoring(); }

    std::string name() const override { return m_device.name; }
    WORD maker_id() const override { return m_device.maker_id; }
    WORD product_id() const override { return 1; }
    const std::vector<MixerLineDesc>& destinations() const override { return m_destinations; }
    std::unique_ptr<MixerSession> open() override;

    MMRESULT get(PulseConnection& connection, const MixerControlDesc& control,
                 std::span<LONG> values);
    MMRESULT set(const std::shared_ptr<PulseConnection>& connection,
                 const MixerControlDesc& control, std::span<const LONG> values);

  private:
    bool mapper() const { return m_tap_index == WAVE_MAPPER; }
    // The server's name for what this mixer acts on; "@DEFAULT_SINK@" and the like for a
    // mapper's.
    const std::string& server_name() const { return m_device.native_name; }

    static std::vector<MixerLineDesc> lines(WaveDirection direction, WORD channels) {
        const DWORD line_channels = channels == 1 ? 1 : 2;
        if (direction == WaveDirection::input) {
            MixerControlDesc volume = bound(VirtualMixer::volume_control(), Binding::source_volume);
            volume.flags |= MIXERCONTROL_CONTROLF_UNIFORM;
            return {{MIXERLINE_COMPONENTTYPE_DST_WAVEIN,
                     "Recording",
                     line_channels,
                     MIXERLINE_TARGETTYPE_WAVEIN,
                     {volume, bound(VirtualMixer::meter_control(), Binding::meter)},
                     {}}};
        }
        MixerLineDesc wave{MIXERLINE_COMPONENTTYPE_SRC_WAVEOUT,
                           "Wave",
                           line_channels,
                           MIXERLINE_TARGETTYPE_WAVEOUT,
                           {bound(VirtualMixer::volume_control(), Binding::sink_volume),
                            bound(VirtualMixer::mute_control(), Binding::sink_mute),
                            bound(VirtualMixer::meter_control(), Binding::meter)},
                           {}};
        MixerLineDesc monitor{MIXERLINE_COMPONENTTYPE_SRC_MICROPHONE,
                              "Microphone",
                              1,
                              MIXERLINE_TARGETTYPE_UNDEFINED,
                              {bound(VirtualMixer::volume_control(), Binding::monitor_volume),
                               bound(VirtualMixer::mute_control(), Binding::monitor_mute)},
                              {}};
        return {{MIXERLINE_COMPONENTTYPE_DST_SPEAKERS,
                 "Speakers",
                 line_channels,
                 MIXERLINE_TARGETTYPE_WAVEOUT,
                 {},
                 {wave, monitor}}};
    }

    void start_monitoring(const std::shared_ptr<PulseConnection>& connection) {
        if (m_loopback && m_loopback->alive()) return;
        stop_monitoring();
        m_loopback = std::make_unique<PulseLoopback>(
            connection, m_monitor->current(),
            mapper() ? std::nullopt : std::optional<std::string>(server_name()), m_monitor_volume);
        m_monitor->attach(m_loopback.get());
    }

    void stop_monitoring() {
        if (!m_loopback) return;
        m_monitor->detach(m_loopback.get());
        m_loopback.reset();
    }

    const std::shared_ptr<MonitorSource> m_monitor;
    const WaveDirection m_direction;
    const WaveDeviceInfo m_device;
    const UINT m_tap_index;  // the wave device's number, or WAVE_MAPPER
    const std::vector<MixerLineDesc> m_destinations;
    std::mutex m_mutex;  // guards the monitoring state below
    std::unique_ptr<PulseLoopback> m_loopback;
    LONG m_monitor_volume = 65535;
};

class PulseMixerSession final : public MixerSession {
  public:
    PulseMixerSession(PulseMixer& device, std::shared_ptr<PulseConnection> connection)
        : m_device(device), m_connection(std::move(connection)) {}

    MMRESULT get_values(const MixerLineDesc&, const MixerControlDesc& control,
                        std::span<LONG> values) override {
        return m_device.get(*m_connection, control, values);
    }
    MMRESULT set_values(const MixerLineDesc&, const MixerControlDesc& control,
                        std::span<const LONG> values) override {
        return m_device.set(m_connection, control, values);
    }

  private:
    PulseMixer& m_device;
    std::shared_ptr<PulseConnection> m_connection;
};

std::unique_ptr<MixerSession> PulseMixer::open() {
    auto connection = PulseConnection::shared();
    if (!connection) return nullptr;
    // Opening an input's mixer is choosing that input: it is what monitoring plays.
    if (m_direction == WaveDirection::input)
        m_monitor->choose(mapper() ? std::nullopt : std::optional<std::string>(server_name()));
    return std::make_unique<PulseMixerSession>(*this, std::move(connection));
}

MMRESULT PulseMixer::get(PulseConnection& connection, const MixerControlDesc& control,
                         std::span<LONG> values) {
    DeviceVolume state;
    switch (static_cast<Binding>(control.key)) {
        case Binding::meter:
            std::fill(values.begin(), values.end(),
                      static_cast<LONG>(
                          std::min<DWORD>(wave_recent_peak(m_direction, m_tap_index), 32768)));
            return MMSYSERR_NOERROR;
        case Binding::monitor_mute: {
            std::lock_guard lock(m_mutex);
            std::fill(values.begin(), values.end(), m_loopback && m_loopback->alive() ? 0 : 1);
            return MMSYSERR_NOERROR;
        }
        case Binding::monitor_volume: {
            std::lock_guard lock(m_mutex);
            std::fill(values.begin(), values.end(), m_monitor_volume);
            return MMSYSERR_NOERROR;
        }
        case Binding::sink_volume:
        case Binding::source_volume: {
            if (!query(connection, m_direction, server_name(), state)) return MMSYSERR_ERROR;
            const auto shown = pulse_line_values(state.volume, state.map, values.size());
            std::copy(shown.begin(), shown.end(), values.begin());
            return MMSYSERR_NOERROR;
        }
        case Binding::sink_mute:
            if (!query(connection, m_direction, server_name(), state)) return MMSYSERR_ERROR;
            std::fill(values.begin(), values.end(), state.mute ? 1 : 0);
            return MMSYSERR_NOERROR;
    }
    return MIXERR_INVALCONTROL;
}

MMRESULT PulseMixer::set(const std::shared_ptr<PulseConnection>& connection,
                         const MixerControlDesc& control, std::span<const LONG> values) {
    if (values.empty()) return MMSYSERR_INVALPARAM;
    const char* name = server_name().c_str();
    switch (static_cast<Binding>(control.key)) {
        case Binding::meter:
            return MMSYSERR_NOERROR;
        case Binding::monitor_mute: {
            std::lock_guard lock(m_mutex);
            if (values[0])
                stop_monitoring();
            else
                start_monitoring(connection);
            return MMSYSERR_NOERROR;
        }
        case Binding::monitor_volume: {
            std::lock_guard lock(m_mutex);
            m_monitor_volume = values[0];
            if (m_loopback) m_loopback->set_volume(m_monitor_volume);
            return MMSYSERR_NOERROR;
        }
        case Binding::sink_volume:
        case Binding::source_volume: {
            DeviceVolume state;
            if (!query(*connection, m_direction, server_name(), state)) return MMSYSERR_ERROR;
            const pa_cvolume volume = pulse_device_volume(state.volume, state.map, values);
            const bool sink = m_direction == WaveDirection::output;
            return change(
                       *connection,
                       [&](pa_context* context, PulseOutcome* outcome) {
                           return sink
                                      ? pa_context_set_sink_volume_by_name(
                                            context, name, &volume, &PulseOutcome::record, outcome)
                                      : pa_context_set_source_volume_by_name(
                                            context, name, &volume, &PulseOutcome::record, outcome);
                       })
                       ? MMSYSERR_NOERROR
                       : MMSYSERR_ERROR;
        }
        case Binding::sink_mute:
            return change(*connection,
                          [&](pa_context* context, PulseOutcome* outcome) {
                              return pa_context_set_sink_mute_by_name(
                                  context, name, values[0] ? 1 : 0, &PulseOutcome::record, outcome);
                          })
                       ? MMSYSERR_NOERROR
                       : MMSYSERR_ERROR;
    }
    return MIXERR_INVALCONTROL;
}

class PulseMixerBackend final : public MixerBackend {
  public:
    explicit PulseMixerBackend(const WaveBackend& wave) {
        auto monitor = std::make_shared<MonitorSource>();
        for (WaveDirection direction : {WaveDirection::input, WaveDirection::output}) {
            if (auto mapper = wave.mapper(direction))
                m_devices.push_back(
                    std::make_shared<PulseMixer>(monitor, direction, *mapper, WAVE_MAPPER));
            const auto list = wave.devices(direction);
            for (std::size_t i = 0; i < list.size(); ++i)
                m_devices.push_back(std::make_shared<PulseMixer>(monitor, direction, list[i],
                                                                 static_cast<UINT>(i)));
        }
    }
    std::vector<std::shared_ptr<MixerDevice>> devices() override { return m_devices; }

  private:
    std::vector<std::shared_ptr<MixerDevice>> m_devices;
};

}  // namespace

std::unique_ptr<MixerBackend> make_pulse_mixer_backend(const WaveBackend& wave) {
    return std::make_unique<PulseMixerBackend>(wave);
}

LONG pulse_to_mixer_volume(pa_volume_t volume) {
    const std::uint64_t scaled =
        (std::uint64_t{volume} * 65535 + PA_VOLUME_NORM / 2) / PA_VOLUME_NORM;
    return static_cast<LONG>(std::min<std::uint64_t>(scaled, 65535));
}

pa_volume_t mixer_to_pulse_volume(LONG value) {
    const auto v = static_cast<std::uint64_t>(std::clamp<LONG>(value, 0, 65535));
    return static_cast<pa_volume_t>((v * PA_VOLUME_NORM + 65535 / 2) / 65535);
}

std::vector<LONG> pulse_line_values(const pa_cvolume& volume, const pa_channel_map& map,
                                    std::size_t line_channels) {
    const LONG loudest = pulse_to_mixer_volume(pa_cvolume_max(&volume));
    if (line_channels < 2) return {loudest};
    std::optional<LONG> left, right;
    for (unsigned i = 0; i < volume.channels && i < map.channels; ++i) {
        const LONG value = pulse_to_mixer_volume(volume.values[i]);
        if (is_left(map.map[i])) left = std::max(left.value_or(0), value);
        if (is_right(map.map[i])) right = std::max(right.value_or(0), value);
    }
    return {left.value_or(loudest), right.value_or(loudest)};
}

pa_cvolume pulse_device_volume(pa_cvolume current, const pa_channel_map& map,
                               std::span<const LONG> values) {
    if (values.size() < 2) {
        pa_cvolume_scale(&current, mixer_to_pulse_volume(values.empty() ? 0 : values[0]));
        return current;
    }
    const pa_volume_t left = mixer_to_pulse_volume(values[0]);
    const pa_volume_t right = mixer_to_pulse_volume(values[1]);
    for (unsigned i = 0; i < current.channels && i < map.channels; ++i)
        current.values[i] = is_left(map.map[i])    ? left
                            : is_right(map.map[i]) ? right
                                                   : std::max(left, right);
    return current;
}
