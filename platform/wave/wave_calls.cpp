// The wave calls on open devices: the front end that checks every argument once, keeps the
// handles and the header flags, and hands the rest to the backend that opened the device.
#include <atomic>
#include <map>
#include <memory>
#include <mutex>

#include "platform/wave/mmsystem_wave.h"
#include "platform/wave/wave_backend.h"
#include "platform/wave/wave_queue.h"

namespace {

struct OpenWave {
    std::shared_ptr<WaveBackend> backend;  // outlives its devices even if replaced meanwhile
    std::unique_ptr<WaveDevice> device;
    WaveDirection direction;
    WAVEFORMATEX format;
};

std::mutex g_handles_mutex;
std::map<std::uintptr_t, std::shared_ptr<OpenWave>> g_handles;
// Handles are never reused, so a stale handle is refused instead of reaching another device.
std::uintptr_t g_next_handle = 1;

template <typename Handle>
std::shared_ptr<OpenWave> find(Handle handle, WaveDirection direction) {
    std::lock_guard lock(g_handles_mutex);
    const auto it = g_handles.find(reinterpret_cast<std::uintptr_t>(handle));
    if (it == g_handles.end() || it->second->direction != direction) return nullptr;
    return it->second;
}

MMRESULT check_format(const WAVEFORMATEX* format) {
    if (!format) return MMSYSERR_INVALPARAM;
    if (format->wFormatTag != WAVE_FORMAT_PCM) return WAVERR_BADFORMAT;
    if (format->nChannels < 1 || format->nChannels > 2) return WAVERR_BADFORMAT;
    if (format->wBitsPerSample != 8 && format->wBitsPerSample != 16) return WAVERR_BADFORMAT;
    if (format->nSamplesPerSec == 0) return WAVERR_BADFORMAT;
    const WORD align = static_cast<WORD>(format->nChannels * format->wBitsPerSample / 8);
    // An inconsistent header would make the byte counts and the rate disagree.
    if (format->nBlockAlign != align) return WAVERR_BADFORMAT;
    if (format->nAvgBytesPerSec != format->nSamplesPerSec * align) return WAVERR_BADFORMAT;
    return MMSYSERR_NOERROR;
}

template <typename Handle>
MMRESULT open_device(WaveDirection direction, Handle* handle, UINT device,
                     const WAVEFORMATEX* format, DWORD flags) {
    const bool query = (flags & WAVE_FORMAT_QUERY) != 0;
    if ((flags & CALLBACK_TYPEMASK) != CALLBACK_NULL) return MMSYSERR_NOTSUPPORTED;
    if (!query && !handle) return MMSYSERR_INVALPARAM;
    if (handle) *handle = nullptr;

    std::shared_ptr<WaveBackend> backend = shared_wave_backend();
    const bool mapper = device == WAVE_MAPPER;
    // The mapper exists only when a device does.
    if (mapper ? !backend->mapper(direction) : device >= backend->devices(direction).size())
        return MMSYSERR_BADDEVICEID;
    if (const MMRESULT result = check_format(format)) return result;
    if (const MMRESULT failure = backend->injected_failure(direction, WaveCall::open))
        return failure;

    auto open = std::make_shared<OpenWave>();
    open->direction = direction;
    open->format = *format;
    open->format.cbSize = 0;
    std::unique_ptr<WaveDevice>* opened = query ? nullptr : &open->device;
    const MMRESULT result = mapper ? backend->open_mapper(direction, open->format, opened)
                                   : backend->open(direction, device, open->format, opened);
    if (result != MMSYSERR_NOERROR || query) return result;
    open->backend = std::move(backend);

    std::lock_guard lock(g_handles_mutex);
    const std::uintptr_t key = g_next_handle++;
    g_handles[key] = std::move(open);
    *handle = reinterpret_cast<Handle>(key);
    return MMSYSERR_NOERROR;
}

template <typename Handle>
MMRESULT close_device(WaveDirection direction, Handle handle) {
    std::shared_ptr<OpenWave> open = find(handle, direction);
    if (!open) return MMSYSERR_INVALHANDLE;
    if (open->device->has_queued()) return WAVERR_STILLPLAYING;
    // Any other failure is reported, but the device is released all the same: a caller cannot
    // do more than close, and a handle left behind would outlive what its device depends on.
    const MMRESULT failure = open->backend->injected_failure(direction, WaveCall::close);
    std::lock_guard lock(g_handles_mutex);
    g_handles.erase(reinterpret_cast<std::uintptr_t>(handle));
    return failure;
}

MMRESULT check_header(const WAVEHDR* header, UINT size) {
    if (!header || size < sizeof(WAVEHDR)) return MMSYSERR_INVALPARAM;
    return MMSYSERR_NOERROR;
}

template <typename Handle>
MMRESULT prepare(WaveDirection direction, Handle handle, WAVEHDR* header, UINT size) {
    std::shared_ptr<OpenWave> open = find(handle, direction);
    if (!open) return MMSYSERR_INVALHANDLE;
    if (const MMRESULT result = check_header(header, size)) return result;
    // A buffer of no bytes would never fill nor play; refusing it keeps a poller from waiting.
    if (!header->lpData || header->dwBufferLength == 0) return MMSYSERR_INVALPARAM;
    if (const MMRESULT failure = open->backend->injected_failure(direction, WaveCall::prepare))
        return failure;
    set_flags(*header, WHDR_PREPARED, 0);
    return MMSYSERR_NOERROR;
}

template <typename Handle>
MMRESULT unprepare(WaveDirection direction, Handle handle, WAVEHDR* header, UINT size) {
    std::shared_ptr<OpenWave> open = find(handle, direction);
    if (!open) return MMSYSERR_INVALHANDLE;
    if (const MMRESULT result = check_header(header, size)) return result;
    const DWORD flags = load_flags(*header);
    if (flags & WHDR_INQUEUE) return WAVERR_STILLPLAYING;
    if (!(flags & WHDR_PREPARED)) return MMSYSERR_NOERROR;
    if (const MMRESULT failure = open->backend->injected_failure(direction, WaveCall::unprepare))
        return failure;
    set_flags(*header, 0, WHDR_PREPARED);
    return MMSYSERR_NOERROR;
}

template <typename Handle>
MMRESULT queue(WaveDirection direction, WaveCall call, Handle handle, WAVEHDR* header, UINT size) {
    std::shared_ptr<OpenWave> open = find(handle, direction);
    if (!open) return MMSYSERR_INVALHANDLE;
    if (const MMRESULT result = check_header(header, size)) return result;
    const DWORD flags = load_flags(*header);
    if (!(flags & WHDR_PREPARED)) return WAVERR_UNPREPARED;
    if (flags & WHDR_INQUEUE) return WAVERR_STILLPLAYING;
    if (const MMRESULT failure = open->backend->injected_failure(direction, call)) return failure;
    if (direction == WaveDirection::input) header->dwBytesRecorded = 0;
    set_flags(*header, WHDR_INQUEUE, WHDR_DONE);
    const MMRESULT result = open->device->add(*header);
    // A device that refused the buffer never had it: it can be unprepared again.
    if (result != MMSYSERR_NOERROR) set_flags(*header, 0, WHDR_INQUEUE);
    return result;
}

template <typename Handle>
MMRESULT control(WaveDirection direction, WaveCall call, Handle handle,
                 MMRESULT (WaveDevice::*action)()) {
    std::shared_ptr<OpenWave> open = find(handle, direction);
    if (!open) return MMSYSERR_INVALHANDLE;
    if (const MMRESULT failure = open->backend->injected_failure(direction, call)) return failure;
    return ((*open->device).*action)();
}

}  // namespace

MMRESULT waveInOpen(LPHWAVEIN handle, UINT device, const WAVEFORMATEX* format, DWORD_PTR, DWORD_PTR,
                    DWORD flags) {
    return open_device(WaveDirection::input, handle, device, format, flags);
}

MMRESULT waveInClose(HWAVEIN handle) {
    return close_device(WaveDirection::input, handle);
}

MMRESULT waveInPrepareHeader(HWAVEIN handle, LPWAVEHDR header, UINT size) {
    return prepare(WaveDirection::input, handle, header, size);
}

MMRESULT waveInUnprepareHeader(HWAVEIN handle, LPWAVEHDR header, UINT size) {
    return unprepare(WaveDirection::input, handle, header, size);
}

MMRESULT waveInAddBuffer(HWAVEIN handle, LPWAVEHDR header, UINT size) {
    return queue(WaveDirection::input, WaveCall::add, handle, header, size);
}

MMRESULT waveInStart(HWAVEIN handle) {
    return control(WaveDirection::input, WaveCall::start, handle, &WaveDevice::start);
}

MMRESULT waveInStop(HWAVEIN handle) {
    return control(WaveDirection::input, WaveCall::stop, handle, &WaveDevice::stop);
}

MMRESULT waveInReset(HWAVEIN handle) {
    return control(WaveDirection::input, WaveCall::reset, handle, &WaveDevice::reset);
}

MMRESULT waveOutOpen(LPHWAVEOUT handle, UINT device, const WAVEFORMATEX* format, DWORD_PTR,
                     DWORD_PTR, DWORD flags) {
    return open_device(WaveDirection::output, handle, device, format, flags);
}

MMRESULT waveOutClose(HWAVEOUT handle) {
    return close_device(WaveDirection::output, handle);
}

MMRESULT waveOutPrepareHeader(HWAVEOUT handle, LPWAVEHDR header, UINT size) {
    return prepare(WaveDirection::output, handle, header, size);
}

MMRESULT waveOutUnprepareHeader(HWAVEOUT handle, LPWAVEHDR header, UINT size) {
    return unprepare(WaveDirection::output, handle, header, size);
}

MMRESULT waveOutWrite(HWAVEOUT handle, LPWAVEHDR header, UINT size) {
    return queue(WaveDirection::output, WaveCall::write, handle, header, size);
}

MMRESULT waveOutPause(HWAVEOUT handle) {
    return control(WaveDirection::output, WaveCall::pause, handle, &WaveDevice::stop);
}

MMRESULT waveOutRestart(HWAVEOUT handle) {
    return control(WaveDirection::output, WaveCall::restart, handle, &WaveDevice::start);
}

MMRESULT waveOutReset(HWAVEOUT handle) {
    return control(WaveDirection::output, WaveCall::reset, handle, &WaveDevice::reset);
}

MMRESULT waveOutGetPosition(HWAVEOUT handle, LPMMTIME time, UINT size) {
    std::shared_ptr<OpenWave> open = find(handle, WaveDirection::output);
    if (!open) return MMSYSERR_INVALHANDLE;
    if (!time || size < sizeof(MMTIME)) return MMSYSERR_INVALPARAM;
    if (const MMRESULT failure =
            open->backend->injected_failure(WaveDirection::output, WaveCall::position))
        return failure;
    std::uint64_t bytes = 0;
    if (const MMRESULT result = open->device->position(bytes)) return result;
    const WAVEFORMATEX& f = open->format;
    // Counters are 32 bits wide, as callers expect: they wrap as the real ones do.
    switch (time->wType) {
        case TIME_SAMPLES:
            time->u.sample = static_cast<DWORD>(bytes / f.nBlockAlign);
            break;
        case TIME_MS:
            time->u.ms = static_cast<DWORD>(bytes * 1000 / f.nAvgBytesPerSec);
            break;
        default:
            time->wType = TIME_BYTES;
            time->u.cb = static_cast<DWORD>(bytes);
            break;
    }
    return MMSYSERR_NOERROR;
}
