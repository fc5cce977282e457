// MP3 files as players find them. Two layouts:
//   - the control's own raw files: one 4-byte header that describes the format, then the
//     encoder's frames (mp3_stream_header.h); they are read exactly as that header says;
//   - files other programs write: an ID3v2 tag, maybe an info frame (Xing, Info or VBRI) that
//     tells the length, frames of any MPEG Layer III version, rate, bit rate and channel mode,
//     and maybe ID3v1 and APE tags at the end. Their length comes from the info frame, else
//     from a walk over the frame headers; where a frame starts comes from that walk.
// Files are read through the mmio calls; nothing is allocated per frame.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "control/engine/wave_format.h"
#include "platform/riff/mmio.h"

namespace kelvane::engine {

struct Mp3Stream {
    enum class Layout { own, peer };
    // Where the length came from.
    enum class Length { own_header, xing, info, vbri, scan };

    Layout layout = Layout::own;
    Length length = Length::own_header;
    FileFormat format{};   // MPEG Layer-3; for peer files nAvgBytesPerSec is the average
    DWORD data_start = 0;  // file offset of the first byte the decoder gets
    DWORD data_size = 0;   // bytes of audio from there on

    // Peer files only.
    DWORD first_audio = 0;        // file offset of the first audio frame (after an info frame)
    DWORD frames = 0;             // audio frames
    DWORD samples_per_frame = 0;  // per channel
    std::uint64_t samples = 0;    // per channel, as the decoder puts them out
    DWORD skipped = 0;            // samples the decoder drops at the start (encoder and decoder
                                  // delay, when the info frame tells them)
    bool variable = false;        // the frames' bit rates differ
    DWORD average_kbps = 0;
    DWORD first_kbps = 0;  // of the first audio frame
    DWORD tag_bytes = 0;   // ID3v2 tags before the audio
};

// Why a file is not read as MP3.
enum class Mp3Problem {
    none,
    unreadable,   // cannot be opened or read
    no_frames,    // no MPEG Layer III frame where the audio should begin
    free_format,  // frames without a bit rate of the table ("free format")
    other_layer,  // MPEG Layer I or II frames
};

// Reads the layout of `path`. 0, or -2 (with `problem` set when given) when it is no MP3 file
// either layout accepts. Nothing is changed on failure.
[[nodiscard]] int read_mp3_stream(std::string_view path, Mp3Stream& stream,
                                  Mp3Problem* problem = nullptr);

// Where audio frames begin in a peer file: the offset of every 32nd frame, found by one walk
// over the headers, and the headers between them read again when asked.
class Mp3FrameIndex {
  public:
    // Walks `file` from the stream's first audio frame to the end of its data.
    [[nodiscard]] bool build(HMMIO file, const Mp3Stream& stream);
    [[nodiscard]] bool built() const { return !m_points.empty(); }
    // File offset of audio frame `frame` (0 the first), or -1; the last frame's end for
    // `frame` at or past the count.
    [[nodiscard]] LONG offset_of(HMMIO file, DWORD frame) const;
    [[nodiscard]] DWORD frames() const { return m_frames; }
    void clear();

    static constexpr DWORD kStride = 32;

  private:
    std::vector<DWORD> m_points;  // offset of frame i * kStride
    DWORD m_frames = 0;
    DWORD m_end = 0;  // offset after the last frame
};

// The text for a problem, for messages: "no MPEG audio frame where the audio should begin".
[[nodiscard]] std::string mp3_problem_text(Mp3Problem problem);

}  // namespace kelvane::engine
