#include "encoder/mp3enc_ctrl.h"

#include <algorithm>

#include "encoder/mp3_sink.h"
#include "encoder/mp3enc_type_info.h"

namespace {

using Entry = DispatchEntry<CMp3Enc>;
using C = CMp3Enc;

constexpr DWORD kVersion = 0x00010000;

const Entry kEntries[] = {
    {mp3enc::dispidBitrate, [](C& c) { return Variant::i4(c.GetBitrate()); },
     [](C& c, const Variant& v) { c.SetBitrate(v.as_i4()); }},
    {mp3enc::dispidVariableBitrate, [](C& c) { return Variant::boolean(c.GetVariableBitrate()); },
     [](C& c, const Variant& v) { c.SetVariableBitrate(v.as_bool()); }},
    {mp3enc::dispidCopyTags, [](C& c) { return Variant::boolean(c.GetCopyTags()); },
     [](C& c, const Variant& v) { c.SetCopyTags(v.as_bool()); }},
};

}  // namespace

CMp3Enc::CMp3Enc(ComModule& module) : CConversionCtrl(module, mp3enc::class_desc()) {}

HRESULT CMp3Enc::InvokeOwn(DISPID member, WORD flags, DISPPARAMS* params, VARIANT* result,
                           UINT* arg_error) {
    return dispatch_invoke<C>(*this, mp3enc::dispatch_desc(), kEntries, member, flags, params,
                              result, arg_error);
}

mp3enc::SinkMaker CMp3Enc::MakeSink(const mp3enc::TextOverrides& texts) {
    mp3enc::Mp3Settings settings;
    settings.kbps = static_cast<DWORD>((m_bitrate + 500) / 1000);
    settings.average = m_variable_bitrate;
    settings.tags = m_copy_tags;
    settings.texts = texts;
    return mp3enc::mp3_sink(settings);
}

void CMp3Enc::DoPropExchange(CPropExchange* px) {
    DWORD version = kVersion;
    px->ExchangeVersion(version, kVersion);
    COleControl::DoPropExchange(px);
    if (px->GetVersion() != kVersion) return;
    BOOL variable = m_variable_bitrate, tags = m_copy_tags;
    PX_Long(px, "Bitrate", m_bitrate, mp3enc::kDefaultBitrate);
    PX_Bool(px, "VariableBitrate", variable, FALSE);
    PX_Bool(px, "CopyTags", tags, TRUE);
    if (px->IsLoading()) {
        m_bitrate = std::clamp(m_bitrate, mp3enc::kMinBitrate, mp3enc::kMaxBitrate);
        m_variable_bitrate = variable != FALSE;
        m_copy_tags = tags != FALSE;
    }
}

void CMp3Enc::OnResetState() {
    COleControl::OnResetState();
    m_bitrate = mp3enc::kDefaultBitrate;
    m_variable_bitrate = false;
    m_copy_tags = true;
}

void CMp3Enc::SetBitrate(LONG bits_per_second) {
    m_bitrate = std::clamp(bits_per_second, mp3enc::kMinBitrate, mp3enc::kMaxBitrate);
    SetModifiedFlag();
}

void CMp3Enc::SetVariableBitrate(bool on) {
    m_variable_bitrate = on;
    SetModifiedFlag();
}

void CMp3Enc::SetCopyTags(bool on) {
    m_copy_tags = on;
    SetModifiedFlag();
}
