// WAV files as the control writes and reads them.
//
// Written layout: RIFF "WAVE" { "fmt " (18 bytes, plus the extra format bytes of non-PCM formats),
// "fact" (u32 0), "data" (the audio), then "LIST" "INFO" when any INFO slot has a text, then
// "DISP" when the display name has one }. Every chunk is padded to an even length.
//
// Results: 0 success, -1 failure, and for test_for_wav 1/0/-2; the sound file object maps them
// onto the control's errors.
#pragma once

#include <span>
#include <string_view>

#include "control/engine/info_slots.h"
#include "control/engine/wave_format.h"
#include "platform/riff/mmio.h"

namespace kelvane::engine {

// A WAV file being recorded: header written at create(), audio appended to the data chunk,
// sizes and INFO settled at finalize(). Dropping an unfinished writer settles the sizes without
// INFO, so an aborted recording still leaves a readable file.
class WavWriter {
  public:
    WavWriter() = default;
    WavWriter(WavWriter&&) noexcept = default;
    WavWriter& operator=(WavWriter&&) noexcept;
    ~WavWriter();

    // Creates (or truncates) `path` and writes everything up to the data chunk's header.
    // 0, or -1 on any failure, including a path over kMaxPathChars and a `cbSize` that does not
    // fit the format buffer. The writer stays closed on failure.
    [[nodiscard]] int create(std::string_view path, const FileFormat& format);

    // Appends audio bytes to the data chunk: the count written, or -1.
    [[nodiscard]] LONG write(std::span<const BYTE> audio);

    // Settles the data and RIFF sizes, appends LIST/INFO and DISP, closes. The file keeps what
    // the last successful step left; the result (0 or -1) is only for logs.
    int finalize(const InfoTexts& texts);

    [[nodiscard]] bool is_open() const { return m_file != nullptr; }
    [[nodiscard]] HMMIO handle() const { return m_file.get(); }
    [[nodiscard]] const MMCKINFO& riff_chunk() const { return m_riff; }
    [[nodiscard]] const MMCKINFO& data_chunk() const { return m_data; }

  private:
    UniqueHmmio m_file;
    MMCKINFO m_riff{};
    MMCKINFO m_data{};
};

// Appends the LIST/INFO chunk (when any slot has a text) and the DISP chunk (when the display
// name has one) at the current position of `file`, inside whatever chunk is open there. Stops
// at the first failing LIST call; a failing sub-chunk is skipped.
void write_info_chunks(HMMIO file, const InfoTexts& texts);

// 1 if `path` holds a RIFF chunk of form "WAVE", 0 if not, -2 if it cannot be opened or closed.
[[nodiscard]] int test_for_wav(std::string_view path);

struct WavHeader {
    FileFormat format;
    DWORD data_size = 0;  // bytes of audio in the data chunk; 0 when there is none
};

// Reads the format, the data size and the INFO and DISP texts of a WAV file. 0, or -1 when the
// file cannot be opened, has no RIFF "WAVE" chunk or no usable "fmt " chunk, or a read fails.
// Nothing is changed on failure; on success `texts` gets the slots the file carries and keeps
// the others (callers that want only the file's texts empty them first).
[[nodiscard]] int read_wav_header(std::string_view path, WavHeader& header, InfoTexts& texts);

}  // namespace kelvane::engine
