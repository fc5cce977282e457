// WAV files as the control writes and reads them.
//
// Written layout: RIFF "WAVE" { "fmt " (18 bytes, plus the extra format bytes of non-PCM formats),
// "fact" (u32 0), "data" (the audio), then "LIST" "INFO" when any INFO slot has a text, then
// "DISP" when the display name has one }. Every chunk is padded to an even length.
//
// Results: 0 success, -1 failure, and for test_for_wav 1/0/-2; the sound file object maps them
// onto the control's errors.
#pragma once

#include <cstdint>
#include <span>
#include <string_view>
#include <utility>

#include "control/engine/durable_append.h"
#include "control/engine/info_slots.h"
#include "control/engine/wave_format.h"
#include "platform/riff/mmio.h"

namespace kelvane::engine {

// Largest WAV file we write, in bytes: every offset and size in it fits the 32-bit fields.
inline constexpr std::uint64_t kMaxWavFileBytes = 0xFFFFFFFE;

// A WAV file being recorded: header written at create(), audio appended to the data chunk,
// LIST/INFO and DISP added at finalize(). After create() and after every write() the file is
// valid as it stands, its RIFF and data sizes counting every byte written, so a recording cut
// off by a crash or a kill is readable up to its last write. Dropping an unfinished writer
// finishes it without INFO.
class WavWriter {
  public:
    WavWriter() = default;
    WavWriter(WavWriter&& other) noexcept { *this = std::move(other); }
    WavWriter& operator=(WavWriter&&) noexcept;
    ~WavWriter();

    // Creates (or truncates) `path` and writes everything up to the data chunk's header, with
    // room kept under kMaxWavFileBytes for `trailer_bytes` of chunks that finalize() appends.
    // 0, or -1 on any failure, including a path over kMaxPathChars and a `cbSize` that does not
    // fit the format buffer. The writer stays closed on failure.
    [[nodiscard]] int create(std::string_view path, const FileFormat& format,
                             std::uint64_t trailer_bytes = 0);

    // Audio bytes that still fit.
    [[nodiscard]] std::uint64_t room() const;

    // Appends audio bytes to the data chunk and commits them: the count written, or -1 when they
    // do not fit the room or the file cannot take them (it then ends with the last write).
    [[nodiscard]] LONG write(std::span<const BYTE> audio);

    // Settles the data and RIFF sizes, appends LIST/INFO and DISP, closes: 0, or -1 when any of
    // it failed. The file keeps what the last successful step left.
    [[nodiscard]] int finalize(const InfoTexts& texts);

    [[nodiscard]] bool is_open() const { return m_file != nullptr; }
    [[nodiscard]] HMMIO handle() const { return m_file.get(); }
    [[nodiscard]] const MMCKINFO& riff_chunk() const { return m_riff; }
    [[nodiscard]] const MMCKINFO& data_chunk() const { return m_data; }

  private:
    UniqueHmmio m_file;
    MMCKINFO m_riff{};
    MMCKINFO m_data{};
    DurableAppend m_append;
    std::uint64_t m_trailer = 0;  // bytes kept free for the chunks after the data
};

// Bytes that write_info_chunks() appends for `texts`, with the data chunk's pad byte.
[[nodiscard]] std::uint64_t info_chunks_size(const InfoTexts& texts);

// Appends the LIST/INFO chunk (when any slot has a text) and the DISP chunk (when the display
// name has one) at the current position of `file`, inside whatever chunk is open there. Stops
// at the first failing LIST call; a failing sub-chunk is skipped. True when everything was
// written.
bool write_info_chunks(HMMIO file, const InfoTexts& texts);

// 1 if `path` begins with a RIFF chunk of form "WAVE", 0 if not, -2 if it cannot be opened or
// closed.
[[nodiscard]] int test_for_wav(std::string_view path);

struct WavHeader {
    FileFormat format;
    DWORD data_offset = 0;  // file offset of the first audio byte; 0 when there is no data
    DWORD data_size = 0;    // bytes of audio in the data chunk; 0 when there is none
};

// Reads the format, the data chunk's place and the INFO and DISP texts of a WAV file. 0, or -1
// when the file cannot be opened, does not begin with a RIFF "WAVE" chunk, has no usable "fmt "
// chunk, or a read fails. What others write is read as far as it makes sense: a RIFF size of 0,
// 0xFFFFFFFF or less than the chunks it holds lets the chunks run to the end of the file; a data
// size past the end of the file, 0xFFFFFFFF, or 0 inside such a RIFF counts the audio bytes
// that are there.
// Nothing is changed on failure; on success `texts` gets the slots the file carries and keeps
// the others (callers that want only the file's texts empty them first).
[[nodiscard]] int read_wav_header(std::string_view path, WavHeader& header, InfoTexts& texts);

}  // namespace kelvane::engine
