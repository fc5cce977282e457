#include "control/kelvane_ctrl.h"

#include <algorithm>

#include "control/block_time.h"
#include "control/kelvane_type_info.h"

CKelvaneCtrl::CKelvaneCtrl(ComModule& module) : COleControl(module, kelvane_class_desc()) {
    // The control shows itself only at design time, as a 32 by 32 pixel face.
    SetInitialSize(32, 32);
}

CKelvaneCtrl::~CKelvaneCtrl() {
    // A running recording is finished and a playback closed, without events.
    m_playback.abandon();
    m_capture.abandon();
    // OnDestroy must still see the whole control.
    DestroyControlWindow();
}

// Property exchange: loading, saving and resetting to defaults in one routine.
void CKelvaneCtrl::DoPropExchange(CPropExchange* px) {
    DWORD version = kVersion;
    px->ExchangeVersion(version, kVersion);
    COleControl::DoPropExchange(px);

    if (px->GetVersion() == kVersion) {
        PX_Long(px, "BufferSize", m_buffer_size, kDefaultBufferSize);
        PX_Long(px, "devInput", m_input.number(), 1);
        PX_Long(px, "devOutput", m_output.number(), 1);
        if (px->IsLoading()) {
            // Saved state comes from outside: keep it within the ranges a write would allow.
            m_buffer_size = std::clamp(m_buffer_size, kMinBufferSize, kMaxBufferSize);
            m_input.clamp();
            m_output.clamp();
        }
        const std::string input_name = m_input.identify();
        const std::string output_name = m_output.identify();
        PX_String(px, "devInputName", m_input.name(), input_name);
        PX_String(px, "devOutputName", m_output.name(), output_name);
        // The engine's flags are left alone: a save while recording must not stop the engine's
        // bookkeeping, and a load or reset happens before any engine runs.
        find_input_lines();
        find_output_lines();
        m_mixer.read_volume(m_volume, m_volume_balance);
        // Loaded types outside the three are held to them.
        SHORT play_type = static_cast<SHORT>(m_type_play_level);
        SHORT record_type = static_cast<SHORT>(m_type_record_level);
        PX_Short(px, "TypePlayLevel", play_type, 1);
        PX_Short(px, "TypeRecordLevel", record_type, 1);
        m_type_play_level = level_type(play_type);
        m_type_record_level = level_type(record_type);
        PX_Bool(px, "Listen", m_listen, FALSE);
        if (px->IsLoading()) m_listen = m_listen ? TRUE : FALSE;
        apply_monitor();
    } else {
        // State saved by another version: start as a new control would. The input's lines are
        // searched with the maker id it had so far; the next query below refreshes it.
        m_input.number() = 1;
        m_output.number() = 1;
        m_buffer_size = kDefaultBufferSize;
        m_listen = FALSE;
        m_input.name() = m_input.name_of(1);
        m_output.name() = m_output.identify();
        find_input_lines();
        find_output_lines();
        m_mixer.read_volume(m_volume, m_volume_balance);
        m_type_play_level = LevelType::mixer_meter;
        m_type_record_level = LevelType::mixer_meter;
        apply_monitor();
    }
    // The maker ids always follow the device numbers; the names stay as exchanged.
    m_input.identify();
    m_output.identify();
}

void CKelvaneCtrl::find_input_lines() {
    m_mixer.find_input_lines(m_input.name(), m_input.maker_id());
}

void CKelvaneCtrl::find_output_lines() {
    m_mixer.find_output_lines(m_output.name(), m_output.maker_id());
}

void CKelvaneCtrl::apply_monitor() {
    m_mixer.set_monitor_mute(m_listen == FALSE);
}

int CKelvaneCtrl::OnCreate() {
    // Containers poll volume and gain through these events, but only at run time.
    if (AmbientUserMode() && GetEnabled()) SetTimer(kMixerPollTimer, kMixerPollMs);
    return 0;
}

void CKelvaneCtrl::OnDestroy() {
    KillTimer(kEngineTimer);
    KillTimer(kMixerPollTimer);
}

void CKelvaneCtrl::OnTimer(UINT_PTR id) {
    if (id == kEngineTimer) {
        // The playback branch runs first.
        m_playback.tick();
        m_capture.tick();
    }
    if (id == kMixerPollTimer) poll_mixer();
}

void CKelvaneCtrl::poll_mixer() {
    m_mixer.read_volume(m_volume, m_volume_balance);
    fire_volume_change();
    fire_gain_change();
}

void CKelvaneCtrl::fire_volume_change() {
    FireEvent(eventidVolumeChange);
}

void CKelvaneCtrl::fire_gain_change() {
    FireEvent(eventidGainChange);
}

void CKelvaneCtrl::fire_error(KelvaneError code) {
    const auto value = static_cast<SHORT>(code);
    const Variant args[] = {Variant::i2(value), Variant::string(error_text(value))};
    FireEvent(eventidErrors, args);
}

bool CKelvaneCtrl::refuse_when_busy() {
    if (is_playing()) {
        fire_error(KelvaneError::playback);
        return true;
    }
    if (is_recording()) {
        fire_error(KelvaneError::record);
        return true;
    }
    return false;
}

void CKelvaneCtrl::SetVolume(LONG value) {
    m_volume = value;
    m_mixer.write_volume(m_volume, m_volume_balance);
    SetModifiedFlag();
}

void CKelvaneCtrl::SetVolumeBalance(LONG value) {
    m_volume_balance = value;
    m_mixer.write_volume(m_volume, m_volume_balance);
    SetModifiedFlag();
}

void CKelvaneCtrl::SetDevInput(LONG value) {
    m_input.select(value);
    find_input_lines();
    fire_gain_change();
    SetModifiedFlag();
}

void CKelvaneCtrl::SetDevOutput(LONG value) {
    m_output.select(value);
    find_output_lines();
    m_mixer.read_volume(m_volume, m_volume_balance);
    fire_volume_change();
    SetModifiedFlag();
}

void CKelvaneCtrl::SetAutoGainControl(BOOL value) {
    m_auto_gain_control = value ? TRUE : FALSE;
    SetModifiedFlag();
}

void CKelvaneCtrl::SetBufferSize(LONG value) {
    m_buffer_size = std::clamp(value, kMinBufferSize, kMaxBufferSize);
    SetModifiedFlag();
}

void CKelvaneCtrl::SetTypeRecordLevel(SHORT value) {
    m_type_record_level = level_type(value);
    if (is_recording()) follow_level_type(m_type_record_level, true);
    SetModifiedFlag();
}

void CKelvaneCtrl::SetTypePlayLevel(SHORT value) {
    m_type_play_level = level_type(value);
    if (is_playing()) follow_level_type(m_type_play_level, false);
    SetModifiedFlag();
}

void CKelvaneCtrl::follow_level_type(LevelType type, bool recording) {
    // Only the mixer meter keeps a mixer open.
    const bool metered = type == LevelType::mixer_meter;
    if (metered && !m_meter.is_open()) m_meter.open(recording);
    if (!metered && m_meter.is_open()) m_meter.close();
}

void CKelvaneCtrl::SetListen(BOOL value) {
    m_listen = value ? TRUE : FALSE;
    apply_monitor();
    SetModifiedFlag();
}

void CKelvaneCtrl::SetInfo(int index, std::string_view text) {
    m_info[index] = std::string(text);
    SetModifiedFlag();
}

LONG CKelvaneCtrl::GetGain() {
    LONG gain = 0;
    if (!m_mixer.read_gain(gain)) return 0;
    m_gain_value = gain;
    return gain;
}

void CKelvaneCtrl::SetGain(LONG value) {
    const LONG gain = std::clamp<LONG>(value, 0, 65535);
    if (!m_mixer.write_gain(gain)) return;
    m_gain_value = gain;
    SetModifiedFlag();
}

void CKelvaneCtrl::Play(std::string_view fileName) {
    if (refuse_when_busy()) return;
    if (m_output.count() < 1) return;
    m_playback.play(fileName, m_output.platform_device(), m_buffer_size);
}

void CKelvaneCtrl::Record(std::string_view fileName) {
    if (refuse_when_busy()) return;
    if (m_input.count() < 1) return;
    m_sound_file.file_format() = m_format.file_format();
    m_sound_file.device_format() = m_format.device_format();
    // The slots without a property keep what the last file played gave them, and go into the
    // recording again.
    auto& texts = m_sound_file.info();
    for (int i = 0; i < kInfoCount; ++i)
        if (std::string* text =
                kelvane::engine::info_text_for_property(texts, info_property_name(i)))
            *text = m_info[i];
    m_capture.record(fileName, m_input.platform_device(), m_buffer_size);
}

void CKelvaneCtrl::took_info_texts(const kelvane::engine::InfoTexts& texts) {
    auto copy = texts;
    for (int i = 0; i < kInfoCount; ++i)
        if (const std::string* text =
                kelvane::engine::info_text_for_property(copy, info_property_name(i)))
            m_info[i] = *text;
}

void CKelvaneCtrl::Stop() {
    m_playback.stop();
    m_capture.stop();
}

void CKelvaneCtrl::Pause() {
    m_playback.pause();
    m_capture.pause();
}

void CKelvaneCtrl::Continue() {
    m_playback.resume();
    m_capture.resume();
}

void CKelvaneCtrl::Seek(LONG blocksOffset, SHORT origin) {
    if (is_recording()) return;
    m_playback.seek(blocksOffset, origin);
}

void CKelvaneCtrl::fire_level_record(LONG level) {
    const Variant args[] = {Variant::i4(level)};
    FireEvent(eventidLevelRecord, args);
}

void CKelvaneCtrl::fire_block_record(LONG blocks) {
    const Variant args[] = {Variant::i4(blocks)};
    FireEvent(eventidBlockRecord, args);
}

void CKelvaneCtrl::fire_end_record() {
    FireEvent(eventidEndRecord);
}

void CKelvaneCtrl::fire_level_play(LONG level) {
    const Variant args[] = {Variant::i4(level)};
    FireEvent(eventidLevelPlay, args);
}

void CKelvaneCtrl::fire_block_play(LONG blocks) {
    const Variant args[] = {Variant::i4(blocks)};
    FireEvent(eventidBlockPlay, args);
}

void CKelvaneCtrl::fire_end_play() {
    FireEvent(eventidEndPlay);
}

LONG CKelvaneCtrl::BlockToSec(LONG block) const {
    return blocks_to_milliseconds(block, m_format.device_format().nSamplesPerSec);
}

LONG CKelvaneCtrl::SecToBlock(LONG millisec) const {
    return milliseconds_to_blocks(millisec, m_format.device_format().nSamplesPerSec);
}

void CKelvaneCtrl::SetFormatLikeSample(std::string_view fileName) {
    if (refuse_when_busy()) return;
    if (!m_format.take_from_sample(fileName)) fire_error(KelvaneError::file_open);
}

LONG CKelvaneCtrl::SetFormatFromMenu() {
    if (refuse_when_busy()) return 0;
    return m_format.choose();
}

void CKelvaneCtrl::open_level_meter(bool recording) {
    if ((recording ? m_type_record_level : m_type_play_level) == LevelType::mixer_meter)
        m_meter.open(recording);
}

void CKelvaneCtrl::close_level_meter() {
    m_meter.close();
}

void CKelvaneCtrl::record_level(std::span<const BYTE> buffer, LONG estimated_fill) {
    if (m_type_record_level == LevelType::mixer_meter) {
        m_meter.read([this](LONG level) { fire_level_record(level); });
    } else if (m_type_record_level == LevelType::sample_window) {
        if (auto level = recording_window_peak(buffer, estimated_fill,
                                               m_format.device_format().wBitsPerSample))
            fire_level_record(*level);
    }
}

void CKelvaneCtrl::play_level(std::span<const BYTE> buffer, DWORD buffer_length, DWORD position) {
    if (m_type_play_level == LevelType::mixer_meter) {
        m_meter.read([this](LONG level) { fire_level_play(level); });
    } else if (m_type_play_level == LevelType::sample_window) {
        if (auto level = playback_window_peak(buffer, buffer_length, position,
                                              m_format.device_format().wBitsPerSample))
            fire_level_play(*level);
    }
}

void CKelvaneCtrl::auto_gain(std::span<const BYTE> pcm) {
    if (!m_auto_gain_control) return;
    const auto step = m_mixer.auto_gain_step(pcm, m_gain_value);
    if (step.written) SetModifiedFlag();
    if (step.gain_changed) fire_gain_change();
}
