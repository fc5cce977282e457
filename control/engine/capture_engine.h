// The capture engine: records from a wave input device into the sound file object with two
// buffers that the device fills in turn, polled by the engine timer.
#pragma once

#include <array>
#include <string_view>
#include <vector>

#include "control/engine/engine_buffers.h"
#include "control/engine/engine_host.h"
#include "control/engine/sound_file.h"
#include "platform/wave/mmsystem_wave.h"

namespace kelvane::engine {

class CaptureEngine {
  public:
    // `blocks_count` is the control's BlocksCount, shared with playback.
    CaptureEngine(SoundFile& file, EngineHost& host, LONG& blocks_count);
    CaptureEngine(const CaptureEngine&) = delete;
    CaptureEngine& operator=(const CaptureEngine&) = delete;
    // Destruction while recording finishes the file without events.
    ~CaptureEngine();

    bool recording() const { return m_recording; }

    // Starts recording into `path`; the sound file object already holds both formats and the
    // INFO texts. `device` is the platform's device number (WAVE_MAPPER for the mapper) and
    // `buffer_ms` the length of one capture buffer.
    void record(std::string_view path, UINT device, LONG buffer_ms);
    void tick();
    void pause();
    void resume();
    void stop();
    // The stop of a control being destroyed: the file is finished, no event is fired.
    void abandon();

    DWORD buffer_length() const { return m_buffer_length; }

  private:
    bool queue(int index);
    // Writes the bytes of the current buffer that no Pause wrote yet and counts the blocks that
    // went into the file; fires BlockRecord with `fire`. False when the file refused them.
    bool write_unwritten(bool fire);
    // The stop sequence; false when the file could not take all that was captured or could not
    // be finished (it is valid all the same).
    bool finish(bool fire);
    // Stops, then reports why the recording ended.
    void stop_with(KelvaneError code);
    void release_device();
    // Releases what a failed start acquired and reports `code`.
    void abort_start(KelvaneError code);

    SoundFile& m_file;
    EngineHost& m_host;
    LONG& m_blocks;
    bool m_recording = false;
    HWAVEIN m_device = nullptr;
    std::array<WAVEHDR, 2> m_headers{};
    DeviceBuffers m_buffers;
    DWORD m_buffer_length = 0;     // bytes per capture buffer
    int m_current = 0;             // the buffer the device fills now
    LONG m_estimated_fill = 0;     // bytes assumed captured into the current buffer
    DWORD m_tick_increment = 0;    // bytes per 50 ms of the device format
    DWORD m_written_by_pause = 0;  // bytes of the current buffer that Pause already wrote
};

}  // namespace kelvane::engine
