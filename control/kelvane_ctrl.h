// CKelvaneCtrl: the wave recorder control. It owns the selected devices, the recording format,
// the mixer state and the engines, and wires them together: it answers automation calls on the
// GUI thread and reports through events.
#pragma once

#include <array>
#include <span>
#include <string>

#include "control/device_selection.h"
#include "control/engine/capture_engine.h"
#include "control/engine/engine_host.h"
#include "control/engine/error_codes.h"
#include "control/engine/playback_engine.h"
#include "control/engine/sound_file.h"
#include "control/engine/wave_format.h"
#include "control/format_selection.h"
#include "control/kelvane_ids.h"
#include "control/level_meter.h"
#include "control/mixer_control.h"
#include "platform/com/olectl.h"

class CKelvaneCtrl final : public COleControl, private kelvane::engine::EngineHost {
  public:
    explicit CKelvaneCtrl(ComModule& module);

    // The saved-state version this control writes: 1.0.
    static constexpr DWORD kVersion = 0x00010000;
    static constexpr UINT_PTR kEngineTimer = 1;
    static constexpr UINT_PTR kMixerPollTimer = 3;
    static constexpr UINT kMixerPollMs = 1000;
    static constexpr LONG kMinBufferSize = 500;     // milliseconds
    static constexpr LONG kMaxBufferSize = 100000;  // milliseconds
    static constexpr LONG kDefaultBufferSize = 2000;

    void DoPropExchange(CPropExchange* px) override;
    // The design-time face: bitmap 201, scaled into the bounds; the control keeps its size.
    void OnDraw(HDC dc, const RECT& bounds, const RECT& invalid) override;
    std::span<const CLSID> GetPropPageIDs() const override;

    // Property handlers, by the names the interface gives them.
    LONG GetVolume() const { return m_volume; }
    void SetVolume(LONG value);
    LONG GetVolumeBalance() const { return m_volume_balance; }
    void SetVolumeBalance(LONG value);
    LONG GetDevInput() const { return m_input.number(); }
    void SetDevInput(LONG value);
    LONG GetDevOutput() const { return m_output.number(); }
    void SetDevOutput(LONG value);
    BOOL GetAutoGainControl() const { return m_auto_gain_control; }
    void SetAutoGainControl(BOOL value);
    LONG GetBufferSize() const { return m_buffer_size; }
    void SetBufferSize(LONG value);
    SHORT GetTypeRecordLevel() const { return static_cast<SHORT>(m_type_record_level); }
    void SetTypeRecordLevel(SHORT value);
    SHORT GetTypePlayLevel() const { return static_cast<SHORT>(m_type_play_level); }
    void SetTypePlayLevel(SHORT value);
    BOOL GetListen() const { return m_listen; }
    void SetListen(BOOL value);
    const std::string& GetInfo(int index) const { return m_info[index]; }
    void SetInfo(int index, std::string_view text);
    LONG GetGain();
    void SetGain(LONG value);
    const std::string& GetDevInputName() const { return m_input.name(); }
    const std::string& GetDevOutputName() const { return m_output.name(); }
    LONG GetDevInputMax() const { return m_input.count(); }
    LONG GetDevOutputMax() const { return m_output.count(); }
    std::string GetFormatString() const { return m_format.format_string(); }
    LONG GetBlocksCount() const { return m_blocks_count; }

    // Methods.
    void Play(std::string_view fileName);
    void Record(std::string_view fileName);
    void Stop();
    void Pause();
    void Continue();
    void Seek(LONG blocksOffset, SHORT origin);
    LONG BlockToSec(LONG block) const;
    LONG SecToBlock(LONG millisec) const;
    void SetFormatLikeSample(std::string_view fileName);
    LONG SetFormatFromMenu();

    // The wFormatTag .. wBitsPerSample properties read the file format.
    const WAVEFORMATEX& file_format() const { return m_format.file_format().wfx; }
    bool is_playing() const { return m_playback.playing(); }
    bool is_recording() const { return m_capture.recording(); }

  protected:
    ~CKelvaneCtrl() override;
    int OnCreate() override;
    void OnDestroy() override;
    void OnTimer(UINT_PTR id) override;
    HRESULT InvokeMember(DISPID member, WORD flags, DISPPARAMS* params, VARIANT* result,
                         UINT* arg_error) override;

  private:
    // The engines' view of the control.
    void fire_level_record(LONG level) override;
    void fire_block_record(LONG blocks) override;
    void fire_end_record() override;
    void fire_level_play(LONG level) override;
    void fire_block_play(LONG blocks) override;
    void fire_end_play() override;
    void fire_error(KelvaneError code) override;
    void start_engine_timer(UINT period_ms) override { SetTimer(kEngineTimer, period_ms); }
    void kill_engine_timer() override { KillTimer(kEngineTimer); }
    void open_level_meter(bool recording) override;
    void close_level_meter() override;
    void record_level(std::span<const BYTE> buffer, LONG estimated_fill) override;
    void play_level(std::span<const BYTE> buffer, DWORD buffer_length, DWORD position) override;
    void auto_gain(std::span<const BYTE> pcm) override;
    void took_info_texts(const kelvane::engine::InfoTexts& texts) override;

    // Opens or closes the mixer meter when the level type of a running direction changes.
    void follow_level_type(LevelType type, bool recording);
    // Fires -14 or -15 and answers true when playback or recording is running.
    bool refuse_when_busy();
    // The mixer lines follow the selected devices.
    void find_input_lines();
    void find_output_lines();
    void apply_monitor();
    void poll_mixer();
    void fire_volume_change();
    void fire_gain_change();

    // Persisted and change-handled members.
    LONG m_volume = 0;           // 0..65535 at the mixer
    LONG m_volume_balance = 50;  // 0 left only, 50 centre, 100 right only
    DeviceSelection m_input{DeviceSelection::Direction::input};
    DeviceSelection m_output{DeviceSelection::Direction::output};
    BOOL m_auto_gain_control = FALSE;
    LONG m_buffer_size = kDefaultBufferSize;  // milliseconds per capture buffer
    LevelType m_type_record_level = LevelType::mixer_meter;
    LevelType m_type_play_level = LevelType::mixer_meter;
    BOOL m_listen = FALSE;
    std::array<std::string, kInfoCount> m_info;

    // Other state.
    LONG m_gain_value = 0;
    FormatSelection m_format;
    LONG m_blocks_count = 0;
    MixerControl m_mixer;
    LevelMeter m_meter{m_mixer};
    // The engines come last: they hold references to the state above.
    kelvane::engine::SoundFile m_sound_file;
    kelvane::engine::CaptureEngine m_capture{m_sound_file, *this, m_blocks_count};
    kelvane::engine::PlaybackEngine m_playback{m_sound_file, *this, m_blocks_count,
                                               m_format.file_format(), m_format.device_format()};
};
