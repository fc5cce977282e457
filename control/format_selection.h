// The control's recording format: the format of the files it records and the PCM format its wave
// devices run, and the three ways a container sees or changes them (FormatString,
// SetFormatFromMenu, SetFormatLikeSample). A new control records PCM, mono, 8000 Hz, 16 bits.
#pragma once

#include <string>
#include <string_view>

#include "control/engine/wave_format.h"
#include "platform/base/win_types.h"

class FormatSelection {
  public:
    FormatSelection();

    // Playback replaces both with the formats of the file it plays.
    kelvane::engine::FileFormat& file_format() { return m_file_format; }
    WAVEFORMATEX& device_format() { return m_device_format; }
    const kelvane::engine::FileFormat& file_format() const { return m_file_format; }
    const WAVEFORMATEX& device_format() const { return m_device_format; }

    // The codec manager's name of the format's tag and its description of the format, joined by
    // a blank; a half it cannot describe stays empty.
    std::string format_string() const;

    // Shows the codec manager's format chooser. -1 when it shows none or nothing is chosen;
    // otherwise 0, and the chosen format is taken when a conversion from its device format can
    // be opened (else the selection stays as it was).
    LONG choose();

    // Takes the formats of the WAV or MP3 file `path`; false, with the selection unchanged, when
    // it cannot be opened.
    bool take_from_sample(std::string_view path);

  private:
    kelvane::engine::FileFormat m_file_format;
    WAVEFORMATEX m_device_format{};
};
