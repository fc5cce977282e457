// Standard input and output as sound files, for `-` in place of a file name. The control reads
// and writes named, seekable files, so standard input is first copied to a temporary file, and a
// recording to standard output goes into a temporary file that is sent on as it grows.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/base/win_types.h"

// How messages name a file: "standard input" or "standard output" for "-".
std::string shown_name(const std::string& path, bool output);

// A temporary file in $TMPDIR (else /tmp), removed when the object goes.
class TemporaryFile {
  public:
    TemporaryFile() = default;
    TemporaryFile(const TemporaryFile&) = delete;
    TemporaryFile& operator=(const TemporaryFile&) = delete;
    ~TemporaryFile();
    // Makes an empty file whose name ends in `suffix`; false with `error`.
    bool create(const std::string& suffix, std::string& error);
    const std::string& path() const { return m_path; }

  private:
    std::string m_path;
};

// The file a verb reads for FILE: FILE itself, or for "-" a copy of standard input kept in
// `copy`. Empty after a message on standard error under the verb's name.
std::string readable_path(const std::string& file, TemporaryFile& copy, std::string_view verb);

// A WAV recording sent to standard output while the control writes it into a temporary file.
// The header goes out once the file holds it, then the audio as it arrives. When the length is
// known beforehand the sizes in the header are exact, the audio is cut or padded to them and
// the texts follow it; otherwise the sizes say "unknown" (0xFFFFFFFF), as a pipe allows, and the
// texts are left out (a reader would take them for audio).
class WavPipe {
  public:
    WavPipe() = default;
    WavPipe(const WavPipe&) = delete;
    WavPipe& operator=(const WavPipe&) = delete;
    ~WavPipe();

    // The file the control records into.
    bool create(std::string& error);
    const std::string& path() const { return m_file.path(); }

    // The audio bytes the stream announces, and the bytes of the texts that follow them in the
    // finished file; without `data_bytes` the length is unknown. `silence` pads a recording that
    // ended early.
    void expect(std::optional<std::uint64_t> data_bytes, DWORD tail_bytes, BYTE silence);

    // Sends what the file holds beyond what was sent; false when standard output fails.
    bool pump();
    // After the control finished the file: the rest of the audio and the texts.
    bool finish();
    // The audio bytes the finished file holds (more than were sent when cut to the length).
    std::uint64_t recorded_bytes() const { return m_recorded; }

  private:
    bool send(const BYTE* bytes, std::size_t count);
    bool send_file(std::uint64_t from, std::uint64_t count);
    // Reads the file's chunks up to its data chunk; false until the file holds them.
    bool read_header();

    TemporaryFile m_file;
    int m_fd = -1;
    std::optional<std::uint64_t> m_expected;
    DWORD m_tail_bytes = 0;
    BYTE m_silence = 0;
    std::vector<BYTE> m_chunks;    // the file's chunks between "WAVE" and "data"
    std::uint64_t m_data_at = 0;   // file offset of the audio
    std::uint64_t m_sent = 0;      // audio bytes sent
    std::uint64_t m_recorded = 0;  // audio bytes in the finished file
    bool m_header_sent = false;
};

// The bytes that the LIST/INFO and DISP chunks take in a finished WAV file for the INFO chunk
// ids and texts given ("DISP": the display name).
DWORD info_chunk_bytes(const std::vector<std::pair<std::string, std::string>>& texts);
