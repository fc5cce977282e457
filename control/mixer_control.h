// Finds the mixer lines that belong to the selected wave devices and reads and writes their
// controls. Every operation opens the mixer, works and closes it again; failures are silent and
// leave the caller's values as they were.
//
// The four lines: the output line (the wave-output source of the speakers; volume, balance and
// the playback meter), the monitor line (the microphone source of the speakers; its "Mute" is
// `Listen`), the input line (the wave-input destination; gain and the recording meter) and the
// microphone line (the wave-input destination's microphone source, where gain falls back to).
#pragma once

#include <span>
#include <string_view>

#include "platform/base/win_types.h"

class MixerControl {
  public:
    // Searches the speakers destination of the output device's mixer for its wave-output line and
    // its microphone (monitor) line. `device_name` and `maker_id` are the output device's
    // szPname and wMid.
    void find_output_lines(std::string_view device_name, WORD maker_id);
    // Searches the input device's mixer for the wave-input destination and its microphone line.
    void find_input_lines(std::string_view device_name, WORD maker_id);

    // Volume 0..65535 (the louder channel) and balance 0..100 of the output line; false, with
    // both left as they were, when nothing could be read.
    bool read_volume(LONG& volume, LONG& balance);
    // Writes `volume` split by `balance` (50 both channels alike; 0 left only; 100 right only)
    // to the output line. Any values are accepted; the channels are clamped to 0..65535.
    void write_volume(LONG volume, LONG balance);
    // Recording gain 0..65535 of the input line; false when it could not be read. A wave-input
    // destination without a volume control makes the microphone line the input line, for good.
    bool read_gain(LONG& gain);
    // Writes `gain` (clamped to 0..65535) to the input line; false when nothing was written.
    bool write_gain(LONG gain);
    // Monitoring of the microphone through the speakers: muted or not.
    void set_monitor_mute(bool mute);

    // One step of automatic gain control, for one capture buffer.
    struct AutoGainStep {
        bool gain_changed = false;  // the gain value moved: fire GainChange
        bool written = false;       // the mixer took it: mark the control modified
        explicit operator bool() const { return gain_changed; }
    };
    // Called by the capture engine after a full buffer has been written to the file and
    // BlockRecord fired, while AutoGainControl is on, with the buffer's recorded bytes (16-bit
    // samples). Lowers `gain_value` by 5 % when the buffer is loud, raises it by 5 % (at least by
    // one step; 0 jumps to 100) when it is quiet, and writes it to the input line. `gain_value`
    // is the control's last gain read, written or adjusted; it stays within 0..65535.
    AutoGainStep auto_gain_step(std::span<const BYTE> recorded, LONG& gain_value);

    // Where the level meter reads: the mixer and line of the direction that runs.
    struct MeterLine {
        SHORT mixer = -1;
        DWORD line = static_cast<DWORD>(-1);
    };
    MeterLine meter_line(bool recording) const {
        return recording ? MeterLine{m_input_mixer, m_input_line}
                         : MeterLine{m_output_mixer, m_output_line};
    }

    bool has_output_line() const { return m_output_line != kNoLine; }
    bool has_input_line() const { return m_input_line != kNoLine; }

  private:
    static constexpr DWORD kNoLine = static_cast<DWORD>(-1);
    SHORT m_output_mixer = -1;  // mixer id of the output device's card; -1 none
    SHORT m_input_mixer = -1;
    DWORD m_output_line = kNoLine;
    DWORD m_monitor_line = kNoLine;
    DWORD m_input_line = kNoLine;
    DWORD m_microphone_line = kNoLine;
};
