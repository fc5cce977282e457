// Shortening the audio of a finished WAV file in place, for recordings of a fixed length: the
// capture engine writes whole buffers, so the file may hold a little more than was asked.
#pragma once

#include <cstdint>
#include <string>

struct WavTrim {
    std::uint64_t before = 0;  // audio bytes the file held
    std::uint64_t after = 0;   // and holds now
};

// Cuts the data chunk of `path` to `data_bytes` (a whole number of the format's blocks) and
// moves the chunks after it (INFO, DISP) up behind it, settling the sizes. A file that holds
// no more is left alone. False, with `error`, when the file cannot be read or rewritten.
bool trim_wav_data(const std::string& path, std::uint64_t data_bytes, WavTrim& trim,
                   std::string& error);
