// One WAV-to-MP3 conversion: the input and the output are opened on the caller's thread, so
// that what cannot even start fails at once, and a worker thread then reads, decodes and encodes
// piece by piece until the input ends or stop() is asked. Between pieces (an eighth of a second
// of audio each) the worker looks for the stop request and publishes its progress; the caller
// learns of each change through `notify`, which the worker calls from its own thread.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "control/engine/info_slots.h"
#include "control/engine/wav_source.h"
#include "platform/codec/mp3_file.h"
#include "platform/com/hresult.h"

namespace mp3enc {

struct ConversionSettings {
    DWORD kbps = 128;
    bool average = false;  // average bit rate instead of a constant one
    bool tags = true;      // the input's texts into an ID3v2 tag
    // Texts that take the place of the input's own (an empty one removes it).
    std::vector<std::pair<int, std::string>> slot_texts;  // slot index, text
    std::optional<std::string> display_name;
};

struct ConversionFailure {
    HRESULT code = S_OK;
    std::string description;  // names the file and the reason
};

class Conversion {
  public:
    enum class State { running, complete, stopped, failed };

    // Null with `failure` when the input cannot be read or decoded, or the output not written.
    [[nodiscard]] static std::unique_ptr<Conversion> start(const std::string& input,
                                                           const std::string& output,
                                                           const ConversionSettings& settings,
                                                           std::function<void()> notify,
                                                           ConversionFailure& failure);
    // Stops and waits: the file is finished as after stop().
    ~Conversion();
    Conversion(const Conversion&) = delete;
    Conversion& operator=(const Conversion&) = delete;

    // Asks the worker to end after its current piece and waits for it: on return the output is
    // a complete, shorter MP3 file (or the failure is known). Harmless when it has ended.
    void stop();

    // Safe from any thread.
    [[nodiscard]] State state() const { return m_state.load(std::memory_order_acquire); }
    [[nodiscard]] std::uint64_t frames() const { return m_frames.load(std::memory_order_acquire); }
    // The frames of the whole conversion: estimated at the start, exact once it is complete.
    [[nodiscard]] std::uint64_t total_frames() const {
        return m_total_frames.load(std::memory_order_acquire);
    }
    // Seconds of audio encoded per second of work so far.
    [[nodiscard]] double speed() const;
    // Valid once state() is failed.
    [[nodiscard]] const ConversionFailure& failure() const { return m_failure; }
    [[nodiscard]] DWORD rate() const { return m_rate; }

  private:
    Conversion() = default;
    void work();
    void end(State state);
    void fail(HRESULT code, std::string description);
    void join();

    kelvane::engine::WavSource m_source;
    std::unique_ptr<quillon::codec::Mp3FileWriter> m_writer;
    std::function<void()> m_notify;
    DWORD m_rate = 0;
    WORD m_channels = 0;
    std::thread m_worker;
    std::atomic<bool> m_stop{false};
    std::atomic<State> m_state{State::running};
    std::atomic<std::uint64_t> m_frames{0};
    std::atomic<std::uint64_t> m_total_frames{0};
    std::atomic<std::uint64_t> m_samples{0};  // per channel, encoded so far
    std::atomic<std::int64_t> m_work_ns{0};   // worker time until the last piece
    ConversionFailure m_failure;              // written before the failed state is published
};

// The failure code for a system error number of the output.
[[nodiscard]] HRESULT write_failure_code(int system_error);

}  // namespace mp3enc
