// CKelvaneCtrl: the wave recorder control. It owns the selected devices, the recording format,
// the mixer state and the engines, answers automation calls on the GUI thread and reports
// through events.
#pragma once

#include <array>
#include <span>
#include <string>

#include "control/engine/capture_engine.h"
#include "control/engine/engine_host.h"
#include "control/engine/error_codes.h"
#include "control/engine/playback_engine.h"
#include "control/engine/sound_file.h"
#include "control/engine/wave_format.h"
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
    LONG GetVolumeBalance() const { return m_volumeBalance; }
    void SetVolumeBalance(LONG value);
    LONG GetDevInput() const { return m_devInput; }
    void SetDevInput(LONG value);
    LONG GetDevOutput() const { return m_devOutput; }
    void SetDevOutput(LONG value);
    BOOL GetAutoGainControl() const { return m_autoGainControl; }
    void SetAutoGainControl(BOOL value);
    LONG GetBufferSize() const { return m_bufferSize; }
    void SetBufferSize(LONG value);
    SHORT GetTypeRecordLevel() const { return m_typeRecordLevel; }
    void SetTypeRecordLevel(SHORT value);
    SHORT GetTypePlayLevel() const { return m_typePlayLevel; }
    void SetTypePlayLevel(SHORT value);
    BOOL GetListen() const { return m_listen; }
    void SetListen(BOOL value);
    const std::string& GetInfo(int index) const { return m_info[index]; }
    void SetInfo(int index, std::string_view text);
    LONG GetGain();
    void SetGain(LONG value);
    const std::string& GetDevInputName() const { return m_inputDeviceName; }
    const std::string& GetDevOutputName() const { return m_outputDeviceName; }
    LONG GetDevInputMax() const { return m_inputDeviceCount; }
    LONG GetDevOutputMax() const { return m_outputDeviceCount; }
    std::string GetFormatString() const;
    const WAVEFORMATEX& FileFormat() const { return m_fileFormat.wfx; }
    const WAVEFORMATEX& DeviceFormat() const { return m_deviceFormat; }
    LONG GetBlocksCount() const { return m_blocksCount; }

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

    bool IsPlaying() const { return m_playback.playing(); }
    bool IsRecording() const { return m_capture.recording(); }

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
    void fire_error(KelvaneError code) override { FireError(code); }
    void start_engine_timer(UINT period_ms) override { SetTimer(kEngineTimer, period_ms); }
    void kill_engine_timer() override { KillTimer(kEngineTimer); }
    void open_level_meter(bool recording) override;
    void close_level_meter() override;
    void record_level(std::span<const BYTE> buffer, LONG estimated_fill) override;
    void play_level(std::span<const BYTE> buffer, DWORD buffer_length, DWORD position) override;
    void auto_gain(std::span<const BYTE> pcm) override;
    void took_info_texts(const kelvane::engine::InfoTexts& texts) override;

    void FireError(KelvaneError code);
    // Opens or closes the mixer meter when the level type of a running direction changes.
    void FollowLevelType(SHORT type, bool recording);
    // Fires -14 or -15 and answers true when playback or recording is running.
    bool RefuseWhenBusy();
    void SelectInputDevice();
    void SelectOutputDevice();
    void QueryInputCaps(std::string* name);
    void QueryOutputCaps(std::string* name);
    void ApplyMonitor();
    void PollMixer();
    void FireVolumeChange();
    void FireGainChange();

    // Persisted and change-handled members.
    LONG m_volume = 0;          // 0..65535 at the mixer
    LONG m_volumeBalance = 50;  // 0 left only, 50 centre, 100 right only
    LONG m_devInput = 1;        // 0 wave mapper, n device n-1
    LONG m_devOutput = 1;
    BOOL m_autoGainControl = FALSE;
    LONG m_bufferSize = kDefaultBufferSize;  // milliseconds per capture buffer
    SHORT m_typeRecordLevel = 1;
    SHORT m_typePlayLevel = 1;
    BOOL m_listen = FALSE;
    std::array<std::string, kInfoCount> m_info;

    // Other state.
    LONG m_inputDeviceCount = 0;   // taken once, at construction
    LONG m_outputDeviceCount = 0;  // taken once, at construction
    std::string m_inputDeviceName;
    std::string m_outputDeviceName;
    WORD m_inputMakerId = 0;
    WORD m_outputMakerId = 0;
    LONG m_gainValue = 0;
    kelvane::engine::FileFormat m_fileFormat;
    WAVEFORMATEX m_deviceFormat{};
    LONG m_blocksCount = 0;
    MixerControl m_mixer;
    LevelMeter m_meter{m_mixer};
    // The engines come last: they hold references to the state above.
    kelvane::engine::SoundFile m_soundFile;
    kelvane::engine::CaptureEngine m_capture{m_soundFile, *this, m_blocksCount};
    kelvane::engine::PlaybackEngine m_playback{m_soundFile, *this, m_blocksCount, m_fileFormat,
                                               m_deviceFormat};
};
