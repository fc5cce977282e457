// Level metering: the levels the control hands to its container in LevelRecord and LevelPlay.
// Type 1 reads the mixer's meter on the line in use; type 2 takes the peak of a short window of
// the wave data in the current buffer. The engine timer tick asks for one level per tick.
#pragma once

#include <algorithm>
#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <vector>

#include "control/mixer_control.h"
#include "control/open_mixer.h"
#include "platform/base/win_types.h"
#include "platform/mixer/mmsystem_mixer.h"

// What LevelRecord and LevelPlay report, as TypeRecordLevel and TypePlayLevel select it.
enum class LevelType : SHORT { none = 0, mixer_meter = 1, sample_window = 2 };

// A written or loaded type number, held to the three types.
inline LevelType level_type(SHORT value) {
    return static_cast<LevelType>(std::clamp<SHORT>(value, 0, 2));
}

// The mixer meter (level type 1). It keeps its mixer open from open() to close(), the one
// exception to the mixer control's open-work-close rule, because it is read on every tick.
//
// The engines call, on the GUI thread:
//   open(recording)  when Record (Play) has set its recording (playing) flag and TypeRecordLevel
//                    (TypePlayLevel) is 1, and when that property is written to 1 while the
//                    direction runs and is_open() is false;
//   read(fire)       on each engine timer tick of that direction while its level type is 1,
//                    after the estimated fill has grown (recording) or BlockPlay has been
//                    fired (playing); `fire` is called with the level (0..32768) when there is
//                    one, and fires LevelRecord or LevelPlay;
//   close()          at Stop, when the property is written to 0 or 2 while the direction runs
//                    and the meter is open, and at the control's destruction (the destructor
//                    closes too).
// Every mixer failure is silent: an open that fails leaves the meter closed; a line without a
// control named with "Meter" leaves it open but silent; a read that fails fires nothing.
class LevelMeter {
  public:
    explicit LevelMeter(const MixerControl& mixer) : m_mixer(mixer) {}
    ~LevelMeter() { close(); }
    LevelMeter(const LevelMeter&) = delete;
    LevelMeter& operator=(const LevelMeter&) = delete;

    // Opens the input line's mixer when recording, the output line's when playing.
    void open(bool recording);
    // Does nothing while a read is already running: a handler of the event it fires may run the
    // message loop, and the next tick must not read inside this one.
    void read(const std::function<void(LONG level)>& fire);
    void close();

    bool is_open() const { return m_open; }
    // Index of the meter in the line's controls; -1 when the line has none.
    int meter_index() const { return m_meter_index; }

  private:
    const MixerControl& m_mixer;
    bool m_open = false;
    bool m_busy = false;
    int m_meter_index = -1;
    OpenMixer m_device;                     // open from open() to close()
    std::vector<MIXERCONTROLA> m_controls;  // all controls of the metered line
};

// The sample-window level (type 2), for the engine timer tick. Samples are signed 16-bit
// little-endian, read in pairs of bytes, except with 8-bit device formats, where each byte is an
// unsigned sample scaled to the 16-bit range (so silence reads as silence). A level is the
// largest magnitude in the window, at most 32767; no level (nullopt) for a window without
// samples or a peak of 0.

// Recording: `buffer` is what the device has captured into the current buffer (only bytes that
// hold audio: the rest of a buffer is zeros, which 8-bit samples would read as full scale),
// `estimated_fill` the bytes assumed captured into it. Over 100: the 100 bytes ending
// there; 1..100: the first that many bytes; 0: no level. An estimate beyond the buffer (a driver
// that fell behind) is held at its end.
std::optional<LONG> recording_window_peak(std::span<const BYTE> buffer, LONG estimated_fill,
                                          WORD bits_per_sample);

// Playing: `buffer` is the audio decoded into the buffer queued last, `buffer_length` the playback
// buffer length and `position_bytes` the playback position (the blocks just sent with BlockPlay
// times nBlockAlign), all in bytes. The window is the up to 100 bytes that end at the position's
// offset within a buffer.
std::optional<LONG> playback_window_peak(std::span<const BYTE> buffer, DWORD buffer_length,
                                         std::uint64_t position_bytes, WORD bits_per_sample);
