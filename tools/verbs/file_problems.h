// Why a sound file cannot be played or recorded into, as a person reads it. The control tells
// only "File open error"; after that event the verbs look at the file themselves, through the
// same readers the control uses, and name the reason: the system's error text, or what in the
// file is not supported.
#pragma once

#include <string>

#include "platform/base/win_types.h"

// For playing `path` (or reading its format): "No such file or directory", "Is a directory",
// "a FLAC file; kelvane plays WAV and MP3 files", "24-bit PCM at 96000 Hz is not a format the
// codec manager converts", ...
std::string why_not_playable(const std::string& path);

// For recording into `path` in the file format with tag `format_tag` that `format_text`
// describes (the control's FormatString).
std::string why_not_recordable(const std::string& path, WORD format_tag,
                               const std::string& format_text);
