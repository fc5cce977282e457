// Capturing as the engine does, for the benchmarks that measure a wave backend by itself: two
// buffers of two seconds, 44.1 kHz 16-bit stereo, polled every 100 ms on the real clock.
#pragma once

#include <chrono>
#include <cstdint>
#include <cstring>
#include <vector>

#include "platform/loop/message_loop.h"
#include "platform/wave/mmsystem_wave.h"

// The input device called `name` (its szPname), or ~0u.
inline UINT input_named(const char* name) {
    UINT device = ~0u;
    for (UINT i = 0; i < waveInGetNumDevs(); ++i) {
        WAVEINCAPSA caps{};
        if (waveInGetDevCapsA(i, &caps, sizeof caps) == 0 && std::strcmp(caps.szPname, name) == 0)
            device = i;
    }
    return device;
}

inline WAVEFORMATEX cd_format() {
    return {WAVE_FORMAT_PCM, 2, 44100, 176400, 4, 16, 0};
}

// Captures from `device` for `seconds`; the bytes captured, or -1 when it does not open.
inline std::int64_t capture_like_the_engine(UINT device, double seconds) {
    MessageLoop::instance().set_clock(ClockKind::real);
    const WAVEFORMATEX f = cd_format();
    HWAVEIN in = nullptr;
    if (device == ~0u || waveInOpen(&in, device, &f, 0, 0, CALLBACK_NULL) != 0) return -1;
    std::vector<char> storage[2] = {std::vector<char>(2 * f.nAvgBytesPerSec),
                                    std::vector<char>(2 * f.nAvgBytesPerSec)};
    WAVEHDR headers[2]{};
    for (int i = 0; i < 2; ++i) {
        headers[i].lpData = storage[i].data();
        headers[i].dwBufferLength = static_cast<DWORD>(storage[i].size());
        waveInPrepareHeader(in, &headers[i], sizeof(WAVEHDR));
        waveInAddBuffer(in, &headers[i], sizeof(WAVEHDR));
    }
    waveInStart(in);
    std::int64_t bytes = 0;
    int current = 0;
    const auto end = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
    while (std::chrono::steady_clock::now() < end) {
        MessageLoop::instance().run_for(100);
        if (headers[current].dwFlags & WHDR_DONE) {
            bytes += headers[current].dwBytesRecorded;
            waveInAddBuffer(in, &headers[current], sizeof(WAVEHDR));
            current ^= 1;
        }
    }
    waveInStop(in);
    bytes += headers[current].dwBytesRecorded;
    waveInReset(in);
    for (auto& h : headers) waveInUnprepareHeader(in, &h, sizeof(WAVEHDR));
    waveInClose(in);
    return bytes;
}
