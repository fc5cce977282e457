// What the capture and playback engines need from the control that owns them: its events, its
// engine timer, and its level metering and automatic gain control. The engines call these in
// the order the control's events must arrive.
#pragma once

#include <span>

#include "control/engine/error_codes.h"
#include "control/engine/info_slots.h"
#include "platform/base/win_types.h"

namespace kelvane::engine {

// The engine timer's period after Continue, in milliseconds, whichever engine resumes.
inline constexpr UINT kContinueTickMs = 50;

class EngineHost {
  public:
    virtual void fire_level_record(LONG level) = 0;
    virtual void fire_block_record(LONG blocks) = 0;
    virtual void fire_end_record() = 0;
    virtual void fire_level_play(LONG level) = 0;
    virtual void fire_block_play(LONG blocks) = 0;
    virtual void fire_end_play() = 0;
    virtual void fire_error(KelvaneError code) = 0;

    // The engine timer (one for both engines): periodic ticks until killed.
    virtual void start_engine_timer(UINT period_ms) = 0;
    virtual void kill_engine_timer() = 0;

    // Level metering, as the level type of the direction says. `recording` picks the direction.
    virtual void open_level_meter(bool recording) = 0;
    virtual void close_level_meter() = 0;
    // One tick's level while recording: the bytes the device has captured into the current
    // buffer so far (never the zeros after them) and the bytes assumed in it.
    virtual void record_level(std::span<const BYTE> buffer, LONG estimated_fill) = 0;
    // One tick's level while playing: the bytes decoded into the buffer queued last, the playback
    // buffer length and the play position in bytes.
    virtual void play_level(std::span<const BYTE> buffer, DWORD buffer_length, DWORD position) = 0;
    // Automatic gain control over one full capture buffer.
    virtual void auto_gain(std::span<const BYTE> pcm) = 0;

    // Playback opened a file: its INFO texts become the control's info properties.
    virtual void took_info_texts(const InfoTexts& texts) = 0;

  protected:
    ~EngineHost() = default;
};

}  // namespace kelvane::engine
