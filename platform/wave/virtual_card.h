// The virtual sound card: devices that exist everywhere (servers, containers, CI), configured by
// the environment:
//   KELVANE_VIRTUAL_DEVICES=IN,OUT  device counts (default 1,1; 0 is allowed, for the "no
//                                   device" cases)
//   KELVANE_VIRTUAL_INPUT=SIGNAL    what every input captures: silence (default),
//                                   sine:HZ:AMPLITUDE, noise:AMPLITUDE (amplitude 0..1 of full
//                                   scale; the noise repeats from run to run), file:PATH.wav
//                                   (PCM, looped)
//   KELVANE_VIRTUAL_OUTPUT=file:PATH  what every output plays is appended to PATH as raw PCM
//                                   (default: discarded)
//   KELVANE_VIRTUAL_FAIL=CALL,...   each listed call fails once (see parse_failures)
//   KELVANE_VIRTUAL_UNPLUG=[in:|out:]MS,...  devices (of that direction) stop working for good,
//                                   as an unplugged one does, once they have run MS ms
//
// Devices accept any PCM format of 8 or 16 bits, 1 or 2 channels and 8000..48000 Hz.
//
// Time: a device follows the message loop's clock in force when it opens. With the manual clock
// nothing moves until the loop's time moves; then, before the timers due at that time fire,
// inputs capture and outputs play exactly the bytes of the elapsed time at the format's byte
// rate. With the real clock a driver thread per device does the same every 10 ms.
#pragma once

#include <cstdint>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "platform/wave/wave_backend.h"

// Maker id of the virtual card's devices and of its mixer.
inline constexpr WORD kVirtualMakerId = 0x5156;
inline constexpr WORD kVirtualProductId = 0x0001;

inline constexpr DWORD kVirtualMinRate = 8000;   // samples per second
inline constexpr DWORD kVirtualMaxRate = 48000;  // samples per second

class VirtualSoundCard final : public WaveBackend {
  public:
    VirtualSoundCard(int inputs, int outputs);
    // Reads the KELVANE_VIRTUAL_* variables; malformed or negative counts fall back to 1,1, an
    // unusable signal or output to silence or discarding (with a message on stderr).
    static std::unique_ptr<VirtualSoundCard> from_environment();

    std::string_view name() const override { return "virtual"; }
    std::vector<WaveDeviceInfo> devices(WaveDirection direction) const override;
    MMRESULT open(WaveDirection direction, UINT index, const WAVEFORMATEX& format,
                  std::unique_ptr<WaveDevice>* device) override;
    MMRESULT injected_failure(WaveDirection direction, WaveCall call) override;

    // Devices come and go as on a real system (tests of counts taken once).
    void set_device_counts(int inputs, int outputs);
    // The signal inputs opened from now on capture; false (and no change) when `spec` is not
    // one of the forms above or its file cannot be read.
    bool set_input(const std::string& spec);
    // "" discards, "file:PATH" appends; false (and no change) for anything else.
    bool set_output(const std::string& spec);

    // Failure injection: the next call of that kind (in `direction`, or either) gives `result`
    // instead of running, after `after` such calls have run normally. Failures queue up in the
    // order armed.
    void fail_next(WaveCall call, MMRESULT result = MMSYSERR_ERROR,
                   std::optional<WaveDirection> direction = std::nullopt, unsigned after = 0);
    // Devices of `direction` (or either) opened from now on stop working for good once they have
    // moved `ms` milliseconds of audio: they hand back what is queued and answer
    // MMSYSERR_NODRIVER from then on. clear_failures() ends this too.
    void unplug_after(std::uint64_t ms, std::optional<WaveDirection> direction = std::nullopt);
    void clear_failures();

    struct Failure {
        WaveCall call;
        MMRESULT result;
        std::optional<WaveDirection> direction;
        unsigned after;
    };
    // KELVANE_VIRTUAL_FAIL: comma-separated `[in:|out:]CALL[=CODE]`, CALL one of open, close,
    // prepare, unprepare, add, start, stop, reset, write, position, pause, restart; CODE the
    // result in decimal (default 1, MMSYSERR_ERROR). Nullopt when any item is malformed.
    static std::optional<std::vector<Failure>> parse_failures(std::string_view text);

    struct Unplug {
        std::optional<WaveDirection> direction;
        std::uint64_t after_ms;
    };
    // KELVANE_VIRTUAL_UNPLUG: comma-separated `[in:|out:]MS`. Nullopt when any item is malformed.
    static std::optional<std::vector<Unplug>> parse_unplugs(std::string_view text);

  private:
    int m_inputs;
    int m_outputs;
    std::string m_input = "silence";
    std::string m_output;
    std::mutex m_failures_mutex;  // guards the failures and the unplugs
    std::vector<Failure> m_failures;
    std::vector<Unplug> m_unplugs;
};

// "Quillon Virtual Input 1", "Quillon Virtual Output 2", ...
std::string virtual_device_name(WaveDirection direction, int index);
