// One conversion of a WAV file into another file: the input and the output are opened on the
// caller's thread, so that what cannot even start fails at once, and a worker thread then reads
// and decodes the input piece by piece and hands the PCM to the output until the input ends or
// stop() is asked. Between pieces (an eighth of a second of audio each) the worker looks for the
// stop request and publishes its progress; the caller learns of each change through `notify`,
// which the worker calls from its own thread. What the output is (an MP3 file, a WAV file of
// some format) is the sink's matter.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "control/engine/info_slots.h"
#include "control/engine/wav_source.h"
#include "platform/com/hresult.h"

namespace mp3enc {

struct ConversionFailure {
    HRESULT code = S_OK;
    std::string description;  // names the file and the reason
};

// Texts that take the place of the input's own (an empty one removes it).
struct TextOverrides {
    std::vector<std::pair<int, std::string>> slot_texts;  // slot index, text
    std::optional<std::string> display_name;

    // Sets the text of an INFO id ("INAM", ... in any case, or "DISP"); false for another id.
    [[nodiscard]] bool set(const std::string& id, const std::string& text);
    [[nodiscard]] kelvane::engine::InfoTexts applied_to(kelvane::engine::InfoTexts texts) const;
};

// Where the PCM of a conversion goes: one output file, written on the worker thread.
class ConversionSink {
  public:
    virtual ~ConversionSink() = default;
    // The PCM the sink takes: 16-bit, interleaved.
    [[nodiscard]] virtual DWORD rate() const = 0;
    [[nodiscard]] virtual WORD channels() const = 0;
    [[nodiscard]] virtual bool write(std::span<const std::int16_t> samples) = 0;
    // Completes the file and puts it in place of the destination.
    [[nodiscard]] virtual bool finish() = 0;
    // The units progress counts in (MP3 frames, sample frames): made so far, and for the whole
    // input (an estimate until finish()).
    [[nodiscard]] virtual std::uint64_t frames() const = 0;
    [[nodiscard]] virtual std::uint64_t expected_frames() const = 0;
    // Why write() or finish() failed.
    [[nodiscard]] virtual ConversionFailure failure() const = 0;
};

// Makes the sink for an opened input: picks the PCM it takes, starts the input's conversion into
// it and reserves the output. Null, with `failure`, when either is refused.
using SinkMaker = std::function<std::unique_ptr<ConversionSink>(
    kelvane::engine::WavSource& source, const std::string& output, ConversionFailure& failure)>;

class Conversion {
  public:
    enum class State { running, complete, stopped, failed };

    // Null with `failure` when the input cannot be read or decoded, or the output not written.
    [[nodiscard]] static std::unique_ptr<Conversion> start(const std::string& input,
                                                           const std::string& output,
                                                           const SinkMaker& make_sink,
                                                           std::function<void()> notify,
                                                           ConversionFailure& failure);
    // Stops and waits: the file is finished as after stop().
    ~Conversion();
    Conversion(const Conversion&) = delete;
    Conversion& operator=(const Conversion&) = delete;

    // Asks the worker to end after its current piece and waits for it: on return the output is
    // a complete, shorter file (or the failure is known). Harmless when it has ended.
    void stop();

    // Safe from any thread.
    [[nodiscard]] State state() const { return m_state.load(std::memory_order_acquire); }
    [[nodiscard]] std::uint64_t frames() const { return m_frames.load(std::memory_order_acquire); }
    // The frames of the whole conversion: estimated at the start, exact once it is complete.
    [[nodiscard]] std::uint64_t total_frames() const {
        return m_total_frames.load(std::memory_order_acquire);
    }
    // Seconds of audio converted per second of work so far.
    [[nodiscard]] double speed() const;
    // Valid once state() is failed.
    [[nodiscard]] const ConversionFailure& failure() const { return m_failure; }
    [[nodiscard]] DWORD rate() const { return m_rate; }

  private:
    Conversion() = default;
    void work();
    void end(State state);
    void fail(HRESULT code, std::string description);
    void fail(const ConversionFailure& failure) { fail(failure.code, failure.description); }
    void join();

    kelvane::engine::WavSource m_source;
    std::unique_ptr<ConversionSink> m_sink;
    std::function<void()> m_notify;
    DWORD m_rate = 0;
    WORD m_channels = 0;
    std::thread m_worker;
    std::atomic<bool> m_stop{false};
    std::atomic<State> m_state{State::running};
    std::atomic<std::uint64_t> m_frames{0};
    std::atomic<std::uint64_t> m_total_frames{0};
    std::atomic<std::uint64_t> m_samples{0};  // per channel, converted so far
    std::atomic<std::int64_t> m_work_ns{0};   // worker time until the last piece
    ConversionFailure m_failure;              // written before the failed state is published
};

// The failure code for a system error number of the output (0: the encoder itself failed).
[[nodiscard]] HRESULT write_failure_code(int system_error);
// The failure code of an input that could not be read.
[[nodiscard]] HRESULT read_failure_code(kelvane::engine::WavSource::Failure failure);

}  // namespace mp3enc
