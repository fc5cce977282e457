// Finds the mixer lines that belong to the selected wave devices and reads and writes their
// controls. Every operation opens the mixer, works and closes it again; failures are silent and
// leave the caller's values as they were.
#pragma once

#include <string_view>

#include "platform/base/win_types.h"

class MixerControl {
  public:
    // Searches the speakers destination of the output device's mixer for its wave-output line and
    // its microphone (monitor) line.
    void find_output_lines(std::string_view device_name, WORD maker_id);
    // Searches the wave-input destination of the input device's mixer and its microphone line.
    void find_input_lines(std::string_view device_name, WORD maker_id);

    // Volume 0..65535 and balance 0..100 of the output line; false when nothing could be read.
    bool read_volume(LONG& volume, LONG& balance);
    void write_volume(LONG volume, LONG balance);
    // Recording gain 0..65535; false when it could not be read or written.
    bool read_gain(LONG& gain);
    bool write_gain(LONG gain);
    // Monitoring of the microphone through the speakers: muted or not.
    void set_monitor_mute(bool mute);

    bool has_output_line() const { return m_output_line != kNoLine; }
    bool has_input_line() const { return m_input_line != kNoLine; }

  private:
    static constexpr DWORD kNoLine = static_cast<DWORD>(-1);
    SHORT m_output_mixer = -1;
    SHORT m_input_mixer = -1;
    DWORD m_output_line = kNoLine;
    DWORD m_monitor_line = kNoLine;
    DWORD m_input_line = kNoLine;
    DWORD m_microphone_line = kNoLine;
};
