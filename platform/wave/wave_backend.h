// The contract between the wave-device front end (the wave* calls) and a backend.
//
// The front end has already checked every argument before a backend sees it:
//   - device numbers are in range (the wave mapper, -1, is resolved to device 0);
//   - handles are open and of the right direction; pointers are valid; structure sizes are
//     handled;
//   - formats are PCM, 8 or 16 bits, 1 or 2 channels, with nBlockAlign and nAvgBytesPerSec
//     consistent with them (a backend still refuses rates or formats its device cannot run);
//   - headers are prepared and not already queued; WHDR_INQUEUE is set and WHDR_DONE cleared
//     (and, for input, dwBytesRecorded is 0) before WaveDevice::add sees them;
//   - a device is destroyed only when nothing is queued (after a reset).
//
// Every backend must:
//   - report its devices in a stable order, each with a readable name (at most 31 characters)
//     and the maker id that its mixer also reports, so that a device and its mixer match;
//   - answer device queries from any thread;
//   - open a device in exactly the format asked for, or refuse it with WAVERR_BADFORMAT (never
//     a nearby rate or a silently converted format);
//   - fill input buffers in the order added with whole blocks, advancing dwBytesRecorded, and
//     complete a buffer (WHDR_DONE set, WHDR_INQUEUE cleared) when no further block fits;
//   - play output buffers in the order written and count the bytes played since open or the
//     last reset;
//   - publish header fields with HeaderQueue (wave_queue.h), which makes them safe to poll from
//     the GUI thread while a driver thread runs;
//   - feed the samples it moves to a PeakTap (level_tap.h) so that mixers can meter them;
//   - keep native error codes to itself (for logs) and answer with MMSYSERR_/WAVERR_ results;
//   - notice a device that stops working for good (its server gone, the device unplugged: a
//     stream that cannot be recovered) and from then on: complete every queued header (input
//     buffers with the data they hold), answer add(), start() and position() with
//     MMSYSERR_NODRIVER, and still let stop(), reset() and the device's destruction succeed.
//     A poller thus learns of it on its next call, and an input buffer completed before it is
//     full tells the same to one that only watches its headers.
// A backend may leave out: loops (WHDR_BEGINLOOP), callbacks, any time format but bytes.
//
// The wave mapper (device -1) reports a device's capabilities under the mapper's own name and
// opens it; by default that device is the first one. A backend whose system keeps a default
// device of its own (a sound server) answers for the mapper instead, so that the mapper follows
// that default and pairs with a mixer of its own.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/base/win_types.h"

struct WAVEHDR;

enum class WaveDirection { input, output };

struct WaveDeviceInfo {
    std::string name;
    WORD maker_id = 0;    // wMid
    WORD product_id = 0;  // wPid
    DWORD formats = 0;    // WAVE_FORMAT_* bits
    WORD channels = 2;
    std::string
        native_name;  // the backend's own name for it ("pulse", "hw:CARD=PCH"); may be empty
};

// The wave calls, as failure injection names them.
enum class WaveCall {
    open,
    close,
    prepare,
    unprepare,
    add,       // waveInAddBuffer
    start,     // waveInStart
    stop,      // waveInStop
    reset,     // waveInReset, waveOutReset
    write,     // waveOutWrite
    position,  // waveOutGetPosition
    pause,     // waveOutPause
    restart,   // waveOutRestart
};

// One open device. Calls come from the front end, one at a time per device; a backend with a
// driver thread synchronises with it itself.
class WaveDevice {
  public:
    virtual ~WaveDevice() = default;  // releases the device; no header is touched afterwards

    // Queues a header: input buffers to fill, output buffers to play.
    virtual MMRESULT add(WAVEHDR& header) = 0;
    // Input: starts capture. Output: resumes after stop() (waveOutRestart).
    virtual MMRESULT start() = 0;
    // Input: stops capture; the buffer being filled completes when it holds data. Output:
    // pauses playback (waveOutPause).
    virtual MMRESULT stop() = 0;
    // Stops moving data and completes every queued header; the output position returns to 0.
    // An input device stays stopped afterwards; an output device keeps its paused state.
    virtual MMRESULT reset() = 0;
    // Output: bytes played since open or the last reset.
    virtual MMRESULT position(std::uint64_t& bytes) = 0;
    virtual bool has_queued() = 0;
};

class WaveBackend {
  public:
    virtual ~WaveBackend() = default;
    // "virtual", "pulse", "alsa": the names KELVANE_AUDIO selects by.
    virtual std::string_view name() const = 0;
    virtual std::vector<WaveDeviceInfo> devices(WaveDirection direction) const = 0;
    // Opens device `index` in `format`; with `device` null only answers whether it would.
    virtual MMRESULT open(WaveDirection direction, UINT index, const WAVEFORMATEX& format,
                          std::unique_ptr<WaveDevice>* device) = 0;
    // A failure that the next such call must report instead of running, or 0 (tests: the
    // virtual card's failure injection). Asked once per call, after the arguments were checked.
    virtual MMRESULT injected_failure(WaveDirection, WaveCall) { return MMSYSERR_NOERROR; }

    // The wave mapper: what it reports (its name is the front end's), none when the direction
    // has no device. Opening it opens what it stands for now.
    virtual std::optional<WaveDeviceInfo> mapper(WaveDirection direction) const {
        auto list = devices(direction);
        if (list.empty()) return std::nullopt;
        return list.front();
    }
    virtual MMRESULT open_mapper(WaveDirection direction, const WAVEFORMATEX& format,
                                 std::unique_ptr<WaveDevice>* device) {
        return open(direction, 0, format, device);
    }
};

// The backend in use, chosen once per process from KELVANE_AUDIO (auto, pulse, alsa or virtual;
// auto takes the first backend of the list that has a device, else the virtual card).
WaveBackend& wave_backend();
// Replaces the backend in use, or with null chooses again from the environment (tests). Devices
// already open keep the backend that opened them until they close.
void set_wave_backend(std::unique_ptr<WaveBackend> backend);
// The backend in use, shared: what an open device holds on to.
std::shared_ptr<WaveBackend> shared_wave_backend();

// The wave mapper's name as device -1 reports it.
inline constexpr std::string_view kWaveMapperName = "Quillon Wave Mapper";

// `name` cut to what szPname holds (31 characters) and kept apart from every name `taken` says
// is in use: "USB Audio", "USB Audio #2".
template <typename Taken>
std::string unique_device_name(std::string_view name, Taken taken) {
    constexpr std::size_t limit = 31;
    std::string candidate(name.substr(0, limit));
    for (int n = 2; taken(candidate); ++n) {
        const std::string suffix = " #" + std::to_string(n);
        candidate = std::string(name.substr(0, limit - suffix.size())) + suffix;
    }
    return candidate;
}
