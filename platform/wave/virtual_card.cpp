#include "platform/wave/virtual_card.h"

#include <algorithm>
#include <cctype>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <thread>

#include "platform/loop/message_loop.h"
#include "platform/wave/level_tap.h"
#include "platform/wave/mmsystem_wave.h"
#include "platform/wave/virtual_signal.h"
#include "platform/wave/wave_queue.h"

namespace {

constexpr int kMaxVirtualDevices = 32;
constexpr auto kDriverPeriod = std::chrono::milliseconds(10);

using FilePtr = std::unique_ptr<std::FILE, decltype([](std::FILE* f) { std::fclose(f); })>;

std::uint64_t steady_us() {
    return static_cast<std::uint64_t>(std::chrono::duration_cast<std::chrono::microseconds>(
                                          std::chrono::steady_clock::now().time_since_epoch())
                                          .count());
}

// One open virtual device. Data moves in advance_to(): up to a moment in time, whole frames at
// the format's rate, counted from an anchor that start/restart/reset move to "now".
class VirtualDevice final : public WaveDevice {
  public:
    VirtualDevice(WaveDirection direction, UINT index, const WAVEFORMATEX& format,
                  std::unique_ptr<VirtualSignal> signal, FilePtr output,
                  std::optional<std::uint64_t> unplug_ms)
        : m_direction(direction),
          m_format(format),
          m_queue(format.nBlockAlign),
          m_tap(direction, index, format),
          m_signal(std::move(signal)),
          m_output(std::move(output)),
          m_manual(MessageLoop::instance().clock() == ClockKind::manual) {
        if (unplug_ms) m_frames_left = *unplug_ms * format.nSamplesPerSec / 1000;
        m_last_us = m_anchor_us = now_us();
        if (m_manual) {
            m_observer = MessageLoop::instance().add_clock_observer([this](std::uint64_t now_ms) {
                std::lock_guard lock(m_mutex);
                advance_to(now_ms * 1000);
            });
        } else {
            m_driver = std::thread([this] { drive(); });
        }
    }

    ~VirtualDevice() override {
        if (m_manual) {
            MessageLoop::instance().remove_clock_observer(m_observer);
        } else {
            {
                std::lock_guard lock(m_mutex);
                m_quit = true;
            }
            m_wake.notify_all();
            m_driver.join();
        }
        if (m_output) std::fflush(m_output.get());
    }

    MMRESULT add(WAVEHDR& header) override {
        std::lock_guard lock(m_mutex);
        advance_to(now_us());
        if (m_gone) return MMSYSERR_NODRIVER;
        // Time spent with nothing to play is not playing time: the clock starts with the data.
        if (m_direction == WaveDirection::output && m_queue.empty()) reanchor();
        m_queue.push(header);
        return MMSYSERR_NOERROR;
    }

    MMRESULT start() override {
        std::lock_guard lock(m_mutex);
        advance_to(now_us());
        if (m_gone) return MMSYSERR_NODRIVER;
        if (!m_running) {
            m_running = true;
            reanchor();
        }
        return MMSYSERR_NOERROR;
    }

    MMRESULT stop() override {
        std::lock_guard lock(m_mutex);
        advance_to(now_us());
        m_running = false;
        m_tap.clear();
        if (m_direction == WaveDirection::input) m_queue.complete_partial_capture();
        if (m_output) std::fflush(m_output.get());
        return MMSYSERR_NOERROR;
    }

    MMRESULT reset() override {
        std::lock_guard lock(m_mutex);
        advance_to(now_us());
        if (m_direction == WaveDirection::input) m_running = false;
        m_queue.complete_all();
        m_played = 0;
        m_tap.clear();
        reanchor();
        if (m_output) std::fflush(m_output.get());
        return MMSYSERR_NOERROR;
    }

    MMRESULT position(std::uint64_t& bytes) override {
        std::lock_guard lock(m_mutex);
        advance_to(now_us());
        if (m_gone) return MMSYSERR_NODRIVER;
        bytes = m_played;
        return MMSYSERR_NOERROR;
    }

    bool has_queued() override {
        std::lock_guard lock(m_mutex);
        return !m_queue.empty();
    }

  private:
    std::uint64_t now_us() const {
        return m_manual ? MessageLoop::instance().now_ms() * 1000 : steady_us();
    }

    void reanchor() {
        m_anchor_us = m_last_us;
        m_frames_since_anchor = 0;
    }

    // Moves the data of the time between the last call and `now_us`. Caller holds m_mutex.
    void advance_to(std::uint64_t now_us) {
        if (now_us <= m_last_us) return;
        m_last_us = now_us;
        const std::uint64_t due =
            (now_us - m_anchor_us) * m_format.nSamplesPerSec / 1'000'000 - m_frames_since_anchor;
        if (due == 0) return;
        m_frames_since_anchor += due;
        if (!m_running || m_gone) return;
        const std::uint64_t frames = m_frames_left ? std::min(due, *m_frames_left) : due;
        if (m_direction == WaveDirection::input)
            capture(frames);
        else
            play(frames);
        if (m_frames_left && (*m_frames_left -= frames) == 0) unplug();
    }

    // The device stops working for good, as an unplugged one does: what is queued comes back.
    void unplug() {
        m_gone = true;
        m_running = false;
        m_queue.complete_all();
        m_tap.clear();
    }

    void capture(std::uint64_t frames) {
        const WORD align = m_format.nBlockAlign;
        while (frames > 0) {
            const std::span<BYTE> room = m_queue.capture_room();
            if (room.empty()) {
                // Nobody is listening: the signal goes on regardless, as a live input would.
                m_signal->skip(frames);
                return;
            }
            const std::size_t bytes = std::min<std::uint64_t>(frames, room.size() / align) * align;
            m_signal->render(room.first(bytes));
            m_tap.feed(room.first(bytes));
            m_queue.commit_capture(bytes);
            frames -= bytes / align;
        }
    }

    void play(std::uint64_t frames) {
        std::uint64_t budget = frames * m_format.nBlockAlign;
        while (budget > 0) {
            const std::span<const BYTE> data = m_queue.playback_data();
            if (data.empty()) {
                // Ran dry: the next buffer starts playing when it arrives, not in the past.
                m_tap.clear();
                reanchor();
                return;
            }
            const std::size_t bytes = std::min<std::uint64_t>(budget, data.size());
            if (m_output) std::fwrite(data.data(), 1, bytes, m_output.get());
            m_tap.feed(data.first(bytes));
            m_queue.commit_playback(bytes);
            m_played += bytes;
            budget -= bytes;
        }
    }

    void drive() {
        std::unique_lock lock(m_mutex);
        while (!m_quit) {
            m_wake.wait_for(lock, kDriverPeriod);
            if (!m_quit) advance_to(steady_us());
        }
    }

    const WaveDirection m_direction;
    const WAVEFORMATEX m_format;
    std::mutex m_mutex;  // guards everything below against the driver thread
    HeaderQueue m_queue;
    PeakTap m_tap;
    std::unique_ptr<VirtualSignal> m_signal;  // input
    FilePtr m_output;                         // output; null discards
    const bool m_manual;
    // Inputs start stopped; outputs start playing (waveOutPause stops them).
    bool m_running = m_direction == WaveDirection::output;
    std::uint64_t m_last_us = 0;    // the time data has moved up to, microseconds
    std::uint64_t m_anchor_us = 0;  // microseconds
    std::uint64_t m_frames_since_anchor = 0;
    std::uint64_t m_played = 0;                  // bytes since open or reset
    std::optional<std::uint64_t> m_frames_left;  // frames until the device is unplugged
    bool m_gone = false;                         // unplugged: it answers MMSYSERR_NODRIVER
    int m_observer = 0;
    std::thread m_driver;
    std::condition_variable m_wake;
    bool m_quit = false;
};

// The optional "in:" or "out:" in front of an item of the failure and unplug lists.
std::string_view take_direction(std::string_view item, std::optional<WaveDirection>& direction) {
    if (item.starts_with("in:")) {
        direction = WaveDirection::input;
        item.remove_prefix(3);
    } else if (item.starts_with("out:")) {
        direction = WaveDirection::output;
        item.remove_prefix(4);
    }
    return item;
}

// A comma-separated list of `[in:|out:]ITEM`, each ITEM read by `read` with its direction;
// nullopt when any item is malformed.
template <typename T, typename Read>
std::optional<std::vector<T>> parse_directed_list(std::string_view text, Read read) {
    std::vector<T> list;
    while (!text.empty()) {
        const auto comma = text.find(',');
        std::string_view item = text.substr(0, comma);
        text = comma == std::string_view::npos ? std::string_view() : text.substr(comma + 1);
        std::optional<WaveDirection> direction;
        item = take_direction(item, direction);
        std::optional<T> value = read(item, direction);
        if (!value) return std::nullopt;
        list.push_back(*value);
    }
    return list;
}

struct CallName {
    std::string_view name;
    WaveCall call;
};
constexpr CallName kCallNames[] = {
    {"open", WaveCall::open},           {"close", WaveCall::close}, {"prepare", WaveCall::prepare},
    {"unprepare", WaveCall::unprepare}, {"add", WaveCall::add},     {"start", WaveCall::start},
    {"stop", WaveCall::stop},           {"reset", WaveCall::reset}, {"write", WaveCall::write},
    {"position", WaveCall::position},   {"pause", WaveCall::pause}, {"restart", WaveCall::restart},
};

}  // namespace

VirtualSoundCard::VirtualSoundCard(int inputs, int outputs) {
    set_device_counts(inputs, outputs);
}

std::unique_ptr<VirtualSoundCard> VirtualSoundCard::from_environment() {
    int inputs = 1;
    int outputs = 1;
    if (const char* text = std::getenv("KELVANE_VIRTUAL_DEVICES")) {
        int in = 0, out = 0;
        char rest = 0;
        if (std::sscanf(text, "%d,%d%c", &in, &out, &rest) == 2 && in >= 0 && out >= 0) {
            inputs = in;
            outputs = out;
        } else {
            std::fprintf(stderr, "KELVANE_VIRTUAL_DEVICES=\"%s\" is not IN,OUT; using 1,1\n", text);
        }
    }
    auto card = std::make_unique<VirtualSoundCard>(inputs, outputs);
    if (const char* text = std::getenv("KELVANE_VIRTUAL_INPUT"); text && *text) {
        std::string why;
        if (!valid_signal_spec(text, &why))
            std::fprintf(stderr, "KELVANE_VIRTUAL_INPUT=\"%s\": %s; using silence\n", text,
                         why.c_str());
        else
            card->m_input = text;
    }
    if (const char* text = std::getenv("KELVANE_VIRTUAL_OUTPUT"); text && *text) {
        if (!card->set_output(text))
            std::fprintf(stderr, "KELVANE_VIRTUAL_OUTPUT=\"%s\" is not file:PATH; discarding\n",
                         text);
    }
    if (const char* text = std::getenv("KELVANE_VIRTUAL_UNPLUG"); text && *text) {
        if (auto unplugs = parse_unplugs(text))
            card->m_unplugs = std::move(*unplugs);
        else
            std::fprintf(stderr, "KELVANE_VIRTUAL_UNPLUG=\"%s\" is not [in:|out:]MS,...\n", text);
    }
    if (const char* text = std::getenv("KELVANE_VIRTUAL_FAIL"); text && *text) {
        if (auto failures = parse_failures(text))
            card->m_failures = std::move(*failures);
        else
            std::fprintf(stderr, "KELVANE_VIRTUAL_FAIL=\"%s\" is not [in:|out:]CALL[=CODE],...\n",
                         text);
    }
    return card;
}

void VirtualSoundCard::set_device_counts(int inputs, int outputs) {
    m_inputs = std::clamp(inputs, 0, kMaxVirtualDevices);
    m_outputs = std::clamp(outputs, 0, kMaxVirtualDevices);
}

bool VirtualSoundCard::set_input(const std::string& spec) {
    if (!valid_signal_spec(spec, nullptr)) return false;
    m_input = spec;
    return true;
}

bool VirtualSoundCard::set_output(const std::string& spec) {
    if (!spec.empty() && (!spec.starts_with("file:") || spec.size() == 5)) return false;
    m_output = spec;
    return true;
}

std::vector<WaveDeviceInfo> VirtualSoundCard::devices(WaveDirection direction) const {
    const int count = direction == WaveDirection::input ? m_inputs : m_outputs;
    std::vector<WaveDeviceInfo> list;
    for (int i = 0; i < count; ++i) {
        WaveDeviceInfo info;
        info.name = virtual_device_name(direction, i);
        info.maker_id = kVirtualMakerId;
        info.product_id = kVirtualProductId;
        // Every classic rate, 8 and 16 bits, mono and stereo.
        info.formats = WAVE_FORMAT_1M08 | WAVE_FORMAT_1S08 | WAVE_FORMAT_1M16 | WAVE_FORMAT_1S16 |
                       WAVE_FORMAT_2M08 | WAVE_FORMAT_2S08 | WAVE_FORMAT_2M16 | WAVE_FORMAT_2S16 |
                       WAVE_FORMAT_4M08 | WAVE_FORMAT_4S08 | WAVE_FORMAT_4M16 | WAVE_FORMAT_4S16;
        info.channels = 2;
        list.push_back(std::move(info));
    }
    return list;
}

MMRESULT VirtualSoundCard::open(WaveDirection direction, UINT index, const WAVEFORMATEX& format,
                                std::unique_ptr<WaveDevice>* device) {
    if (format.nSamplesPerSec < kVirtualMinRate || format.nSamplesPerSec > kVirtualMaxRate)
        return WAVERR_BADFORMAT;
    if (!device) return MMSYSERR_NOERROR;
    std::unique_ptr<VirtualSignal> signal;
    FilePtr output;
    if (direction == WaveDirection::input) {
        signal = make_signal(m_input, format);
    } else if (!m_output.empty()) {
        output.reset(std::fopen(m_output.c_str() + 5, "ab"));
        // A file that cannot be written would lose what the caller plays without a word.
        if (!output) return MMSYSERR_ERROR;
    }
    std::optional<std::uint64_t> unplug_ms;
    {
        std::lock_guard lock(m_failures_mutex);
        for (const Unplug& unplug : m_unplugs)
            if (!unplug.direction || *unplug.direction == direction) unplug_ms = unplug.after_ms;
    }
    *device = std::make_unique<VirtualDevice>(direction, index, format, std::move(signal),
                                              std::move(output), unplug_ms);
    return MMSYSERR_NOERROR;
}

void VirtualSoundCard::fail_next(WaveCall call, MMRESULT result,
                                 std::optional<WaveDirection> direction, unsigned after) {
    std::lock_guard lock(m_failures_mutex);
    m_failures.push_back({call, result, direction, after});
}

void VirtualSoundCard::clear_failures() {
    std::lock_guard lock(m_failures_mutex);
    m_failures.clear();
    m_unplugs.clear();
}

void VirtualSoundCard::unplug_after(std::uint64_t ms, std::optional<WaveDirection> direction) {
    std::lock_guard lock(m_failures_mutex);
    m_unplugs.push_back({direction, ms});
}

MMRESULT VirtualSoundCard::injected_failure(WaveDirection direction, WaveCall call) {
    std::lock_guard lock(m_failures_mutex);
    for (auto it = m_failures.begin(); it != m_failures.end(); ++it) {
        if (it->call != call || (it->direction && *it->direction != direction)) continue;
        if (it->after > 0) {
            --it->after;
            return MMSYSERR_NOERROR;
        }
        const MMRESULT result = it->result;
        m_failures.erase(it);
        return result;
    }
    return MMSYSERR_NOERROR;
}

std::optional<std::vector<VirtualSoundCard::Failure>> VirtualSoundCard::parse_failures(
    std::string_view text) {
    return parse_directed_list<Failure>(
        text,
        [](std::string_view item,
           std::optional<WaveDirection> direction) -> std::optional<Failure> {
            Failure failure{WaveCall::open, MMSYSERR_ERROR, direction, 0};
            if (const auto equals = item.find('='); equals != std::string_view::npos) {
                const std::string code(item.substr(equals + 1));
                char* end = nullptr;
                const unsigned long value = std::strtoul(code.c_str(), &end, 10);
                if (code.empty() || *end != '\0' || value == 0 || value > 0xFFFF)
                    return std::nullopt;
                failure.result = static_cast<MMRESULT>(value);
                item = item.substr(0, equals);
            }
            const auto known = std::find_if(std::begin(kCallNames), std::end(kCallNames),
                                            [&](const CallName& c) { return c.name == item; });
            if (known == std::end(kCallNames)) return std::nullopt;
            failure.call = known->call;
            return failure;
        });
}

std::optional<std::vector<VirtualSoundCard::Unplug>> VirtualSoundCard::parse_unplugs(
    std::string_view text) {
    return parse_directed_list<Unplug>(
        text,
        [](std::string_view item, std::optional<WaveDirection> direction) -> std::optional<Unplug> {
            const std::string ms(item);
            char* end = nullptr;
            const std::uint64_t after = std::strtoull(ms.c_str(), &end, 10);
            if (ms.empty() || *end != '\0' || !std::isdigit(static_cast<unsigned char>(ms[0])))
                return std::nullopt;
            return Unplug{direction, after};
        });
}

std::string virtual_device_name(WaveDirection direction, int index) {
    return std::string(direction == WaveDirection::input ? "Quillon Virtual Input "
                                                         : "Quillon Virtual Output ") +
           std::to_string(index + 1);
}
