// What the verbs say when a recording or playback ends with an error: the control reports only
// its error code, so the reason a file could not be written is asked of the file system.
#pragma once

#include <string>

// Why `path` could not be created or written, as far as the file system shows it: "the disk is
// full", "No space left on device", "Permission denied"; "" when nothing looks wrong.
std::string write_failure_reason(const std::string& path);

// True when `path` is a WAV file within a buffer or so of the 4 GiB a WAV file can hold.
bool at_wav_size_limit(const std::string& path);
