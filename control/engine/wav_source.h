// The audio of a WAV file of any kind the codec manager decodes (PCM of any rate, depth and
// channel count, float, extensible, A-law, µ-law, IMA and MS ADPCM, GSM 6.10, MP3), read as
// 16-bit PCM at a rate and channel count of the caller's choice. PCM-family data goes through one
// conversion stream; coded data through its decoder into its own PCM and then, when the rate or
// the channels differ, through the PCM converter.
//
// One object belongs to one thread at a time; open() and start() may run on one thread and the
// reads on another.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "control/engine/info_slots.h"
#include "control/engine/wave_format.h"
#include "platform/codec/acm.h"
#include "platform/riff/mmio.h"

namespace kelvane::engine {

class WavSource {
  public:
    enum class Failure {
        none,
        missing,      // no such file
        unreadable,   // it exists but cannot be read
        not_wav,      // no RIFF WAVE file, or no usable format chunk
        undecodable,  // a format the codec manager cannot turn into the PCM asked for
    };

    WavSource() = default;
    WavSource(const WavSource&) = delete;
    WavSource& operator=(const WavSource&) = delete;
    ~WavSource();

    // Reads the format, the INFO texts and where the data lies. False with error() and failure().
    [[nodiscard]] bool open(std::string_view path);
    [[nodiscard]] const FileFormat& file_format() const { return m_format; }
    [[nodiscard]] const InfoTexts& info() const { return m_info; }
    // The file's own rate, and its channels as the PCM converter folds them (at most two).
    [[nodiscard]] DWORD rate() const { return m_format.wfx.nSamplesPerSec; }
    [[nodiscard]] WORD channels() const;

    // Opens the conversion into 16-bit PCM of `rate` and `channels` (1 or 2).
    [[nodiscard]] bool start(DWORD rate, WORD channels);
    // Appends the PCM of the next piece of the file (about an eighth of a second) to `pcm`.
    // After the last piece done() is true; false with error() when reading or converting failed.
    [[nodiscard]] bool read(std::vector<BYTE>& pcm);
    [[nodiscard]] bool done() const { return m_done; }

    // Sample frames the whole file makes in the PCM asked for; for coded data an estimate from
    // the byte rates.
    [[nodiscard]] std::uint64_t expected_frames() const { return m_expected_frames; }
    // The source bytes read so far and in all.
    [[nodiscard]] DWORD data_read() const { return m_data_read; }
    [[nodiscard]] DWORD data_size() const { return m_data_size; }

    [[nodiscard]] Failure failure() const { return m_failure; }
    // The file and the reason, as a person reads it.
    [[nodiscard]] const std::string& error() const { return m_error; }

  private:
    // One stream of the chain with the bytes it has not converted yet.
    struct Stage {
        HACMSTREAM stream = nullptr;
        std::vector<BYTE> pending;
    };
    [[nodiscard]] bool fail(Failure failure, const std::string& reason);
    [[nodiscard]] bool open_stage(Stage& stage, WAVEFORMATEX& from, WAVEFORMATEX& to);
    // Converts what the stage holds (with `end`, also its last partial block and what the
    // converter keeps back) and appends the result to `out`.
    [[nodiscard]] bool pass(Stage& stage, std::vector<BYTE>& out, bool end);
    void close_stages();

    std::string m_path;
    FileFormat m_format{};
    InfoTexts m_info;
    UniqueHmmio m_file;
    DWORD m_data_size = 0;  // bytes of audio in the data chunk
    DWORD m_data_read = 0;
    Stage m_decode;    // file format to PCM
    Stage m_resample;  // the decoder's PCM to the PCM asked for; unused for PCM-family files
    std::vector<BYTE> m_scratch;
    DWORD m_piece = 0;  // source bytes per read, whole blocks
    std::uint64_t m_expected_frames = 0;
    bool m_done = false;
    Failure m_failure = Failure::none;
    std::string m_error;
};

}  // namespace kelvane::engine
