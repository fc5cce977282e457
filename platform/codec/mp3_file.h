// MP3 files as players expect them: an ID3v2 tag with the texts, then a Xing/LAME info frame
// (frame count, byte count and seek table, encoder delay and padding) and the audio frames.
// The info frame can only be filled in when the encoding is over, so the file is written under a
// temporary name and put in its place by finish(); a writer dropped unfinished leaves nothing
// behind, and a destination that already existed stays as it was until finish() succeeds.
//
// The writer takes 16-bit PCM at an MP3 rate (rate_for() picks one for any source) and may be
// used from any one thread at a time.
#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "platform/codec/id3v2_tag.h"

namespace quillon::codec {

struct Mp3FileSettings {
    DWORD rate = 44100;  // of the samples given and of the file; an MP3 rate
    WORD channels = 2;   // 1 or 2
    DWORD kbps = 128;    // the bit rate; with `average` the mean of frames that vary in size
    bool average = false;
    int quality = 3;                     // LAME's quality, 0 (best, slowest) to 9
    std::uint64_t expected_samples = 0;  // per channel, for the frame estimate; 0 when unknown
    std::vector<Id3Text> tags;           // no tag when empty
};

class Mp3FileWriter {
  public:
    // The rate a file at `kbps` gets for samples at `source_rate`: the source's own when it is
    // an MP3 rate that carries the bit rate, else the closest one that does, preferring rates
    // below the source's (only a source slower than every such rate is resampled upwards).
    [[nodiscard]] static DWORD rate_for(DWORD source_rate, DWORD kbps);
    struct Failure {
        std::string text;      // the file and the reason
        int system_error = 0;  // the system's error number (ENOSPC, EACCES, ...), or 0 when the
                               // encoder itself failed
    };

    // Reserves the temporary file beside `destination` and writes the tag. Null, with `failure`,
    // when the folder or the settings are refused.
    [[nodiscard]] static std::unique_ptr<Mp3FileWriter> create(
        const std::filesystem::path& destination, const Mp3FileSettings& settings,
        Failure& failure);

    ~Mp3FileWriter();
    Mp3FileWriter(const Mp3FileWriter&) = delete;
    Mp3FileWriter& operator=(const Mp3FileWriter&) = delete;

    // Encodes interleaved samples and writes the frames that are ready.
    [[nodiscard]] bool write(std::span<const std::int16_t> samples);
    // Encodes what LAME still holds, fills in the info frame and renames the file over the
    // destination. After a failure the temporary file is gone and the destination untouched.
    [[nodiscard]] bool finish();

    // Audio frames made so far; after finish() every frame of the file.
    [[nodiscard]] std::uint64_t frames() const;
    // Frames the whole input makes, from the expected samples (0 when unknown).
    [[nodiscard]] std::uint64_t expected_frames() const;
    [[nodiscard]] const std::filesystem::path& destination() const;

    // The first failure.
    [[nodiscard]] const Failure& failure() const;

    class Impl;

  private:
    explicit Mp3FileWriter(std::unique_ptr<Impl> impl);
    std::unique_ptr<Impl> m_impl;
};

}  // namespace quillon::codec
