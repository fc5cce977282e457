// The sound file object: the one open sound file of the control (WAV or raw MP3) with the
// conversion stream between the file's format and the PCM format of the wave devices. Recording
// converts each captured buffer into the file format; playback reads file bytes and converts them
// into PCM. Results: 0 or a count on success, -1 (or -2 where the file code says so) on failure;
// this object fires no events.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "control/engine/durable_append.h"
#include "control/engine/info_slots.h"
#include "control/engine/mp3_stream.h"
#include "control/engine/wav_file.h"
#include "control/engine/wave_format.h"
#include "platform/codec/acm.h"
#include "platform/riff/mmio.h"

namespace kelvane::engine {

class SoundFile {
  public:
    enum class Mode { idle = -1, recording = 1, playing = 2 };

    SoundFile();
    SoundFile(const SoundFile&) = delete;
    SoundFile& operator=(const SoundFile&) = delete;
    ~SoundFile();

    // Set before opening for recording; filled by opening for playback. Kept across close.
    FileFormat& file_format() { return m_file_format; }
    WAVEFORMATEX& device_format() { return m_device_format; }
    InfoTexts& info() { return m_info; }

    // The buffer that receives converted bytes (recording) or file bytes (playback); the engines
    // size it at twice their buffer length. False when it cannot be allocated.
    [[nodiscard]] bool allocate_work_buffer(DWORD bytes);
    void free_work_buffer();

    // Creates the file named by `path` ("wav" or "mp3" after the last dot) and opens the stream
    // from the device format to the file format.
    [[nodiscard]] int open_for_recording(std::string_view path);
    // Converts the whole source blocks of `pcm` and appends them to the file: the PCM bytes
    // used (> 0), or -1. The bytes after the last whole block are dropped. When the returned
    // bytes are in the file, so are the sizes that count them (a cut-off file stays valid). A
    // WAV file takes only as many whole blocks as fit its size limit, and then is_full(); 0 when
    // none fit.
    [[nodiscard]] LONG convert_and_write(std::span<const BYTE> pcm);
    // The recording reached the size limit of its container.
    [[nodiscard]] bool is_full() const { return m_full; }

    // Opens a WAV or raw MP3 file, fills both formats, the data layout and the INFO texts, and
    // opens the stream from the file format to a PCM device format.
    [[nodiscard]] int open_for_playback(std::string_view path);
    // Fills at most `room` bytes of `pcm`: the PCM bytes produced, 0 at the end of the data, -1.
    [[nodiscard]] LONG read_and_convert(std::span<BYTE> pcm);
    // Moves the read position by a PCM byte offset from the current position (origin 1), the end
    // of the data (2) or its start (3): the PCM bytes produced up to there, or -1.
    [[nodiscard]] LONG seek(LONG pcm_offset, SHORT origin);

    // Finishes and closes whatever is open (a recorded WAV file gets its sizes and INFO): 0, or -1
    // when a recording could not be finished completely (what it holds stays valid).
    int close();

    // Buffer lengths the conversion can fill exactly, asked before buffers are allocated.
    [[nodiscard]] DWORD recording_size_rounding(DWORD pcm_bytes) const;
    [[nodiscard]] DWORD playback_size_rounding(DWORD pcm_bytes) const;

    Mode mode() const { return m_mode; }
    bool is_mp3() const { return m_mp3; }
    // The MP3 file's layout, when one is open for playback.
    const Mp3Stream& mp3_stream() const { return m_mp3_stream; }
    const std::string& file_name() const { return m_file_name; }
    DWORD data_start() const { return m_data_start; }
    DWORD data_size() const { return m_data_size; }
    DWORD total_pcm_bytes() const { return m_total_pcm_bytes; }
    DWORD source_consumed() const { return m_source_consumed; }
    DWORD pcm_produced() const { return m_pcm_produced; }

  private:
    // One conversion through the shared stream header; false on any failure or no whole block.
    bool convert(HACMSTREAM stream, std::span<const BYTE> source, std::span<BYTE> destination,
                 DWORD flags, DWORD& source_used, DWORD& destination_used);
    // Closes what a failed open acquired; returns `result` when negative, else -1.
    int fail_open(int result = -1);
    bool write_encoded(std::span<const BYTE> encoded);
    // Seeking in an MP3 file of another program's by its frames: `target` PCM bytes from the
    // start.
    LONG seek_frames(std::int64_t target);
    // At the end of the data: what the playback stream still holds, into `pcm`. Bytes, or -1.
    LONG drain_decoder(std::span<BYTE> pcm);
    bool peer_mp3() const { return m_mp3 && m_mp3_stream.layout == Mp3Stream::Layout::peer; }
    bool flush_encoder();
    void reset_counters();

    Mode m_mode = Mode::idle;
    bool m_mp3 = false;
    std::string m_file_name;
    FileFormat m_file_format{};
    WAVEFORMATEX m_device_format{};
    InfoTexts m_info;
    WavWriter m_wav;                   // recording into WAV
    UniqueHmmio m_file;                // recording into MP3, and every playback
    DurableAppend m_mp3_append;        // recording into MP3
    UniqueHacmStream m_record_stream;  // device format to file format
    UniqueHacmStream m_play_stream;    // file format to device format
    ACMSTREAMHEADER m_header{};
    std::vector<BYTE> m_work;
    DWORD m_data_start = 0;          // file offset of the first audio byte
    DWORD m_data_size = 0;           // audio bytes in the file
    DWORD m_total_pcm_bytes = 0;     // PCM size of the data
    DWORD m_source_consumed = 0;     // file bytes converted so far (playback)
    DWORD m_pcm_produced = 0;        // PCM bytes produced so far (playback)
    bool m_restart_decoder = false;  // the next conversion follows a seek
    Mp3Stream m_mp3_stream;
    Mp3FrameIndex m_frame_index;  // built at the first seek in a peer MP3 file
    DWORD m_discard_bytes = 0;    // decoded PCM bytes still to drop after a seek
    bool m_drained = false;       // the decoder has given all it held at the end of the data
    bool m_full = false;          // the recording reached its container's size limit
    bool m_copy_through = false;  // recording: the device format is the file's PCM format
};

}  // namespace kelvane::engine
