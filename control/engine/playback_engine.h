// The playback engine: decodes the sound file object into two buffers that a wave output device
// plays in turn, refilled by the engine timer as the play position moves.
#pragma once

#include <array>
#include <string_view>
#include <vector>

#include "control/engine/engine_buffers.h"
#include "control/engine/engine_host.h"
#include "control/engine/sound_file.h"
#include "platform/wave/mmsystem_wave.h"

namespace kelvane::engine {

class PlaybackEngine {
  public:
    // `file_format` and `device_format` are the control's: playback replaces them with the
    // file's. `blocks_count` is the control's BlocksCount, shared with capture.
    PlaybackEngine(SoundFile& file, EngineHost& host, LONG& blocks_count, FileFormat& file_format,
                   WAVEFORMATEX& device_format);
    PlaybackEngine(const PlaybackEngine&) = delete;
    PlaybackEngine& operator=(const PlaybackEngine&) = delete;
    // Destruction while playing closes everything without events.
    ~PlaybackEngine();

    bool playing() const { return m_playing; }

    void play(std::string_view path, UINT device, LONG buffer_ms);
    void tick();
    void pause();
    void resume();
    void stop();
    void seek(LONG blocks_offset, SHORT origin);
    // The stop of a control being destroyed: no event is fired.
    void abandon();

    DWORD buffer_length() const { return m_buffer_length; }

  private:
    enum class Queued { written, nothing, stopped, failed };
    Queued queue(int index);
    void finish(bool fire);
    // Stops, then reports why playback ended.
    void stop_with(KelvaneError code);
    void release_device();
    // Releases what a failed start acquired and reports `code`.
    void abort_start(KelvaneError code);

    SoundFile& m_file;
    EngineHost& m_host;
    LONG& m_blocks;
    FileFormat& m_file_format;
    WAVEFORMATEX& m_device_format;
    bool m_playing = false;
    HWAVEOUT m_device = nullptr;
    std::array<WAVEHDR, 2> m_headers{};
    DeviceBuffers m_buffers;
    DWORD m_buffer_length = 0;  // PCM bytes requested per buffer
    int m_current = 0;          // the buffer queued last
    DWORD m_position_base = 0;  // PCM bytes added to the device position (set by Seek)
};

}  // namespace kelvane::engine
