#include "control/kelvane_ctrl.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "control/block_time.h"
#include "control/kelvane_type_info.h"
#include "platform/codec/acm.h"
#include "platform/wave/mmsystem_wave.h"

namespace {

// The format every new control records in: PCM, mono, 8000 Hz, 16 bits.
constexpr WAVEFORMATEX kDefaultFormat{WAVE_FORMAT_PCM, 1, 8000, 16000, 2, 16, 0};

// A device's name and maker id from its capabilities; an empty name and id 0 when the query fails
// (no device, or a number the system rejects).
template <typename Caps, typename Query>
void device_identity(Query query, LONG device_number, std::string* name, WORD& maker_id) {
    Caps caps{};
    // Device number 0 queries device -1, the wave mapper.
    const auto device = static_cast<UINT_PTR>(static_cast<std::intptr_t>(device_number) - 1);
    if (query(device, &caps, static_cast<UINT>(sizeof caps)) != MMSYSERR_NOERROR) {
        maker_id = 0;
        if (name) name->clear();
        return;
    }
    maker_id = caps.wMid;
    if (name) *name = std::string(caps.szPname, strnlen(caps.szPname, sizeof caps.szPname));
}

}  // namespace

CKelvaneCtrl::CKelvaneCtrl(ComModule& module) : COleControl(module, kelvane_class_desc()) {
    // The control shows itself only at design time, as a 32 by 32 pixel face.
    SetInitialSize(32, 32);
    m_inputDeviceCount = static_cast<LONG>(waveInGetNumDevs());
    m_outputDeviceCount = static_cast<LONG>(waveOutGetNumDevs());
    m_fileFormat.wfx = kDefaultFormat;
    m_deviceFormat = kDefaultFormat;
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
        PX_Long(px, "BufferSize", m_bufferSize, kDefaultBufferSize);
        PX_Long(px, "devInput", m_devInput, 1);
        PX_Long(px, "devOutput", m_devOutput, 1);
        if (px->IsLoading()) {
            // Saved state comes from outside: keep it within the ranges a write would allow.
            m_bufferSize = std::clamp(m_bufferSize, kMinBufferSize, kMaxBufferSize);
            m_devInput = std::clamp<LONG>(m_devInput, 0, m_inputDeviceCount);
            m_devOutput = std::clamp<LONG>(m_devOutput, 0, m_outputDeviceCount);
        }
        std::string inputName, outputName;
        QueryInputCaps(&inputName);
        QueryOutputCaps(&outputName);
        PX_String(px, "devInputName", m_inputDeviceName, inputName);
        PX_String(px, "devOutputName", m_outputDeviceName, outputName);
        // The engine's flags are left alone: a save while recording must not stop the engine's
        // bookkeeping, and a load or reset happens before any engine runs.
        m_mixer.find_input_lines(m_inputDeviceName, m_inputMakerId);
        m_mixer.find_output_lines(m_outputDeviceName, m_outputMakerId);
        m_mixer.read_volume(m_volume, m_volumeBalance);
        PX_Short(px, "TypePlayLevel", m_typePlayLevel, 1);
        PX_Short(px, "TypeRecordLevel", m_typeRecordLevel, 1);
        PX_Bool(px, "Listen", m_listen, FALSE);
        if (px->IsLoading()) {
            m_typePlayLevel = std::clamp<SHORT>(m_typePlayLevel, 0, 2);
            m_typeRecordLevel = std::clamp<SHORT>(m_typeRecordLevel, 0, 2);
            m_listen = m_listen ? TRUE : FALSE;
        }
        ApplyMonitor();
    } else {
        // State saved by another version: start as a new control would.
        m_devInput = 1;
        m_devOutput = 1;
        m_bufferSize = kDefaultBufferSize;
        m_listen = FALSE;
        WORD ignored = 0;
        device_identity<WAVEINCAPSA>(waveInGetDevCapsA, 1, &m_inputDeviceName, ignored);
        QueryOutputCaps(&m_outputDeviceName);
        m_mixer.find_input_lines(m_inputDeviceName, m_inputMakerId);
        m_mixer.find_output_lines(m_outputDeviceName, m_outputMakerId);
        m_mixer.read_volume(m_volume, m_volumeBalance);
        m_typePlayLevel = 1;
        m_typeRecordLevel = 1;
        ApplyMonitor();
    }
    // The maker ids always follow the device numbers; the names stay as exchanged.
    QueryInputCaps(nullptr);
    QueryOutputCaps(nullptr);
}

void CKelvaneCtrl::QueryInputCaps(std::string* name) {
    device_identity<WAVEINCAPSA>(waveInGetDevCapsA, m_devInput, name, m_inputMakerId);
}

void CKelvaneCtrl::QueryOutputCaps(std::string* name) {
    device_identity<WAVEOUTCAPSA>(waveOutGetDevCapsA, m_devOutput, name, m_outputMakerId);
}

void CKelvaneCtrl::ApplyMonitor() {
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
    if (id == kMixerPollTimer) PollMixer();
}

void CKelvaneCtrl::PollMixer() {
    m_mixer.read_volume(m_volume, m_volumeBalance);
    FireVolumeChange();
    FireGainChange();
}

void CKelvaneCtrl::FireVolumeChange() {
    FireEvent(eventidVolumeChange);
}

void CKelvaneCtrl::FireGainChange() {
    FireEvent(eventidGainChange);
}

void CKelvaneCtrl::FireError(KelvaneError code) {
    const auto value = static_cast<SHORT>(code);
    const Variant args[] = {Variant::i2(value), Variant::string(error_text(value))};
    FireEvent(eventidErrors, args);
}

bool CKelvaneCtrl::RefuseWhenBusy() {
    if (IsPlaying()) {
        FireError(KelvaneError::playback);
        return true;
    }
    if (IsRecording()) {
        FireError(KelvaneError::record);
        return true;
    }
    return false;
}

void CKelvaneCtrl::SetVolume(LONG value) {
    m_volume = value;
    m_mixer.write_volume(m_volume, m_volumeBalance);
    SetModifiedFlag();
}

void CKelvaneCtrl::SetVolumeBalance(LONG value) {
    m_volumeBalance = value;
    m_mixer.write_volume(m_volume, m_volumeBalance);
    SetModifiedFlag();
}

void CKelvaneCtrl::SetDevInput(LONG value) {
    m_devInput = std::max<LONG>(std::min(value, m_inputDeviceCount), 0);
    SelectInputDevice();
    SetModifiedFlag();
}

void CKelvaneCtrl::SetDevOutput(LONG value) {
    m_devOutput = std::max<LONG>(std::min(value, m_outputDeviceCount), 0);
    SelectOutputDevice();
    SetModifiedFlag();
}

void CKelvaneCtrl::SelectInputDevice() {
    QueryInputCaps(&m_inputDeviceName);
    m_mixer.find_input_lines(m_inputDeviceName, m_inputMakerId);
    FireGainChange();
}

void CKelvaneCtrl::SelectOutputDevice() {
    QueryOutputCaps(&m_outputDeviceName);
    m_mixer.find_output_lines(m_outputDeviceName, m_outputMakerId);
    m_mixer.read_volume(m_volume, m_volumeBalance);
    FireVolumeChange();
}

void CKelvaneCtrl::SetAutoGainControl(BOOL value) {
    m_autoGainControl = value ? TRUE : FALSE;
    SetModifiedFlag();
}

void CKelvaneCtrl::SetBufferSize(LONG value) {
    m_bufferSize = std::clamp(value, kMinBufferSize, kMaxBufferSize);
    SetModifiedFlag();
}

void CKelvaneCtrl::SetTypeRecordLevel(SHORT value) {
    m_typeRecordLevel = std::clamp<SHORT>(value, 0, 2);
    if (IsRecording()) FollowLevelType(m_typeRecordLevel, true);
    SetModifiedFlag();
}

void CKelvaneCtrl::SetTypePlayLevel(SHORT value) {
    m_typePlayLevel = std::clamp<SHORT>(value, 0, 2);
    if (IsPlaying()) FollowLevelType(m_typePlayLevel, false);
    SetModifiedFlag();
}

void CKelvaneCtrl::FollowLevelType(SHORT type, bool recording) {
    // Only the mixer meter (type 1) keeps a mixer open.
    if (type == 1 && !m_meter.is_open()) m_meter.open(recording);
    if (type != 1 && m_meter.is_open()) m_meter.close();
}

void CKelvaneCtrl::SetListen(BOOL value) {
    m_listen = value ? TRUE : FALSE;
    ApplyMonitor();
    SetModifiedFlag();
}

void CKelvaneCtrl::SetInfo(int index, std::string_view text) {
    m_info[index] = std::string(text);
    SetModifiedFlag();
}

LONG CKelvaneCtrl::GetGain() {
    LONG gain = 0;
    if (!m_mixer.read_gain(gain)) return 0;
    m_gainValue = gain;
    return gain;
}

void CKelvaneCtrl::SetGain(LONG value) {
    const LONG gain = std::clamp<LONG>(value, 0, 65535);
    if (!m_mixer.write_gain(gain)) return;
    m_gainValue = gain;
    SetModifiedFlag();
}

std::string CKelvaneCtrl::GetFormatString() const {
    // Each half that the codec manager cannot describe stays empty.
    ACMFORMATTAGDETAILSA tag{};
    tag.cbStruct = sizeof tag;
    tag.dwFormatTag = m_fileFormat.wfx.wFormatTag;
    acmFormatTagDetailsA(nullptr, &tag, ACM_FORMATTAGDETAILSF_FORMATTAG);

    kelvane::engine::FileFormat copy = m_fileFormat;
    ACMFORMATDETAILSA details{};
    details.cbStruct = sizeof details;
    details.dwFormatTag = copy.wfx.wFormatTag;
    details.pwfx = &copy.wfx;
    details.cbwfx = copy.wfx.wFormatTag == WAVE_FORMAT_PCM
                        ? 16
                        : static_cast<DWORD>(std::min<std::size_t>(
                              sizeof(WAVEFORMATEX) + copy.wfx.cbSize, sizeof copy));
    acmFormatDetailsA(nullptr, &details, ACM_FORMATDETAILSF_FORMAT);

    return std::string(tag.szFormatTag, strnlen(tag.szFormatTag, sizeof tag.szFormatTag)) + " " +
           std::string(details.szFormat, strnlen(details.szFormat, sizeof details.szFormat));
}

namespace {

// The platform's device number for a control device number: 0 is the wave mapper.
UINT platform_device(LONG device_number) {
    return device_number == 0 ? WAVE_MAPPER : static_cast<UINT>(device_number - 1);
}

}  // namespace

void CKelvaneCtrl::Play(std::string_view fileName) {
    if (RefuseWhenBusy()) return;
    if (m_outputDeviceCount < 1) return;
    m_playback.play(fileName, platform_device(m_devOutput), m_bufferSize);
}

void CKelvaneCtrl::Record(std::string_view fileName) {
    if (RefuseWhenBusy()) return;
    if (m_inputDeviceCount < 1) return;
    m_soundFile.file_format() = m_fileFormat;
    m_soundFile.device_format() = m_deviceFormat;
    auto& texts = m_soundFile.info();
    texts = {};
    for (int i = 0; i < kInfoCount; ++i)
        if (std::string* text =
                kelvane::engine::info_text_for_property(texts, info_property_name(i)))
            *text = m_info[i];
    m_capture.record(fileName, platform_device(m_devInput), m_bufferSize);
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
    if (IsRecording()) return;
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
    return blocks_to_milliseconds(block, m_deviceFormat.nSamplesPerSec);
}

LONG CKelvaneCtrl::SecToBlock(LONG millisec) const {
    return milliseconds_to_blocks(millisec, m_deviceFormat.nSamplesPerSec);
}

void CKelvaneCtrl::SetFormatLikeSample(std::string_view fileName) {
    if (RefuseWhenBusy()) return;
    // A sound file object of its own: the control's may not be disturbed.
    kelvane::engine::SoundFile sample;
    if (sample.open_for_playback(fileName) < 0) {
        sample.close();
        FireError(KelvaneError::file_open);
        return;
    }
    m_fileFormat = sample.file_format();
    m_deviceFormat = sample.device_format();
    sample.close();
}

LONG CKelvaneCtrl::SetFormatFromMenu() {
    if (RefuseWhenBusy()) return 0;
    kelvane::engine::FileFormat chosen{};
    ACMFORMATCHOOSEA choose{};
    choose.cbStruct = sizeof choose;
    choose.pwfx = &chosen.wfx;
    choose.cbwfx = sizeof chosen;
    choose.pszTitle = "Choose Format WAV file";
    if (acmFormatChooseA(&choose) != MMSYSERR_NOERROR) return -1;

    DWORD largest = 0;
    acmMetrics(nullptr, ACM_METRIC_MAX_SIZE_FORMAT, &largest);
    largest = std::max<DWORD>(largest, sizeof(WAVEFORMATEX) + chosen.wfx.cbSize);
    WAVEFORMATEX device{};
    if (chosen.wfx.wFormatTag == WAVE_FORMAT_PCM) {
        device = chosen.wfx;
        device.cbSize = 0;
    } else {
        // Asked for PCM, so that nothing larger than the device format's 18 bytes comes back.
        std::vector<BYTE> suggestion(std::max<DWORD>(largest, sizeof(WAVEFORMATEX)), 0);
        auto* pcm = reinterpret_cast<WAVEFORMATEX*>(suggestion.data());
        pcm->wFormatTag = WAVE_FORMAT_PCM;
        if (acmFormatSuggest(nullptr, &chosen.wfx, pcm, static_cast<DWORD>(suggestion.size()),
                             ACM_FORMATSUGGESTF_WFORMATTAG) != MMSYSERR_NOERROR ||
            pcm->wFormatTag != WAVE_FORMAT_PCM)
            return 0;
        std::memcpy(&device, pcm, sizeof device);
        device.cbSize = 0;
    }
    HACMSTREAM stream = nullptr;
    if (acmStreamOpen(&stream, nullptr, &device, &chosen.wfx, nullptr, 0, 0,
                      ACM_STREAMOPENF_NONREALTIME) != MMSYSERR_NOERROR)
        return 0;
    if (acmStreamClose(stream, 0) != MMSYSERR_NOERROR) return 0;
    m_fileFormat = chosen;
    m_deviceFormat = device;
    return 0;
}

void CKelvaneCtrl::open_level_meter(bool recording) {
    if ((recording ? m_typeRecordLevel : m_typePlayLevel) == 1) m_meter.open(recording);
}

void CKelvaneCtrl::close_level_meter() {
    m_meter.close();
}

void CKelvaneCtrl::record_level(std::span<const BYTE> buffer, LONG estimated_fill) {
    if (m_typeRecordLevel == 1) {
        m_meter.read([this](LONG level) { fire_level_record(level); });
    } else if (m_typeRecordLevel == 2) {
        if (auto level =
                recording_window_peak(buffer, estimated_fill, m_deviceFormat.wBitsPerSample))
            fire_level_record(*level);
    }
}

void CKelvaneCtrl::play_level(std::span<const BYTE> buffer, DWORD buffer_length, DWORD position) {
    if (m_typePlayLevel == 1) {
        m_meter.read([this](LONG level) { fire_level_play(level); });
    } else if (m_typePlayLevel == 2) {
        if (auto level = playback_window_peak(buffer, buffer_length, position,
                                              m_deviceFormat.wBitsPerSample))
            fire_level_play(*level);
    }
}

void CKelvaneCtrl::auto_gain(std::span<const BYTE> pcm) {
    if (!m_autoGainControl) return;
    const auto step = m_mixer.auto_gain_step(pcm, m_gainValue);
    if (step.written) SetModifiedFlag();
    if (step.gain_changed) FireGainChange();
}
