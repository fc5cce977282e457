#include "encoder/wavconv_ctrl.h"

#include "encoder/mp3enc_type_info.h"
#include "encoder/wav_sink.h"
#include "platform/codec/format_names.h"

namespace {

using C = CWavConv;

constexpr DWORD kVersion = 0x00010000;

const DispatchEntry<C> kEntries[] = {
    {mp3enc::dispidFormat, [](C& c) { return Variant::string(c.GetFormat()); },
     [](C& c, const Variant& v) { c.set_call_result(c.SetFormat(std::string(v.as_string()))); }},
    {mp3enc::dispidOutputFormat, [](C& c) { return Variant::string(c.GetOutputFormat()); }},
};

}  // namespace

CWavConv::CWavConv(ComModule& module) : CConversionCtrl(module, mp3enc::wavconv_class_desc()) {}

HRESULT CWavConv::InvokeOwn(DISPID member, WORD flags, DISPPARAMS* params, VARIANT* result,
                            UINT* arg_error) {
    return dispatch_invoke<C>(*this, mp3enc::wavconv_dispatch_desc(), kEntries, member, flags,
                              params, result, arg_error);
}

mp3enc::SinkMaker CWavConv::MakeSink(const mp3enc::TextOverrides& texts) {
    m_output_format.clear();
    return mp3enc::wav_sink({m_format, texts}, m_output_format);
}

HRESULT CWavConv::SetFormat(const std::string& name) {
    if (!name.empty() && !quillon::codec::parse_format_name(name).ok()) return E_INVALIDARG;
    m_format = name;
    SetModifiedFlag();
    return S_OK;
}

void CWavConv::DoPropExchange(CPropExchange* px) {
    DWORD version = kVersion;
    px->ExchangeVersion(version, kVersion);
    COleControl::DoPropExchange(px);
    if (px->GetVersion() != kVersion) return;
    std::string format = m_format;
    PX_String(px, "Format", format, "");
    if (px->IsLoading() && (format.empty() || quillon::codec::parse_format_name(format).ok()))
        m_format = format;
}

void CWavConv::OnResetState() {
    COleControl::OnResetState();
    m_format.clear();
}
