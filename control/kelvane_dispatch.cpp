// The dispatch map of _DKelvane: each DISPID bound to the handlers of CKelvaneCtrl. Argument
// counts, argument types and read-only refusals are checked before a handler runs.
#include <array>

#include "control/kelvane_ctrl.h"
#include "control/kelvane_type_info.h"

namespace {

using Entry = DispatchEntry<CKelvaneCtrl>;
using Args = std::span<const Variant>;
using C = CKelvaneCtrl;

template <int Index>
constexpr Entry info_entry() {
    return {dispidInfoCreationDate + Index, [](C& c) { return Variant::string(c.GetInfo(Index)); },
            [](C& c, const Variant& v) { c.SetInfo(Index, v.as_string()); }};
}

template <std::size_t... I>
constexpr std::array<Entry, sizeof...(I)> info_entries(std::index_sequence<I...>) {
    return {info_entry<static_cast<int>(I)>()...};
}

const std::array<Entry, kInfoCount> kInfoEntries =
    info_entries(std::make_index_sequence<kInfoCount>{});

const Entry kEntries[] = {
    {dispidVolume, [](C& c) { return Variant::i4(c.GetVolume()); },
     [](C& c, const Variant& v) { c.SetVolume(v.as_i4()); }},
    {dispidVolumeBalance, [](C& c) { return Variant::i4(c.GetVolumeBalance()); },
     [](C& c, const Variant& v) { c.SetVolumeBalance(v.as_i4()); }},
    {dispidDevInput, [](C& c) { return Variant::i4(c.GetDevInput()); },
     [](C& c, const Variant& v) { c.SetDevInput(v.as_i4()); }},
    {dispidDevOutput, [](C& c) { return Variant::i4(c.GetDevOutput()); },
     [](C& c, const Variant& v) { c.SetDevOutput(v.as_i4()); }},
    {dispidAutoGainControl, [](C& c) { return Variant::boolean(c.GetAutoGainControl()); },
     [](C& c, const Variant& v) { c.SetAutoGainControl(v.as_bool()); }},
    {dispidBufferSize, [](C& c) { return Variant::i4(c.GetBufferSize()); },
     [](C& c, const Variant& v) { c.SetBufferSize(v.as_i4()); }},
    {dispidTypeRecordLevel, [](C& c) { return Variant::i2(c.GetTypeRecordLevel()); },
     [](C& c, const Variant& v) { c.SetTypeRecordLevel(v.as_i2()); }},
    {dispidTypePlayLevel, [](C& c) { return Variant::i2(c.GetTypePlayLevel()); },
     [](C& c, const Variant& v) { c.SetTypePlayLevel(v.as_i2()); }},
    {dispidListen, [](C& c) { return Variant::boolean(c.GetListen()); },
     [](C& c, const Variant& v) { c.SetListen(v.as_bool()); }},
    {dispidGain, [](C& c) { return Variant::i4(c.GetGain()); },
     [](C& c, const Variant& v) { c.SetGain(v.as_i4()); }},
    {dispidDevInputName, [](C& c) { return Variant::string(c.GetDevInputName()); }},
    {dispidDevOutputName, [](C& c) { return Variant::string(c.GetDevOutputName()); }},
    {dispidDevInputMax, [](C& c) { return Variant::i4(c.GetDevInputMax()); }},
    {dispidDevOutputMax, [](C& c) { return Variant::i4(c.GetDevOutputMax()); }},
    {dispidFormatString, [](C& c) { return Variant::string(c.GetFormatString()); }},
    // The 16-bit format fields are widened with zeros.
    {dispidWFormatTag, [](C& c) { return Variant::i4(c.file_format().wFormatTag); }},
    {dispidNChannels, [](C& c) { return Variant::i4(c.file_format().nChannels); }},
    {dispidNSamplesPerSec,
     [](C& c) { return Variant::i4(static_cast<LONG>(c.file_format().nSamplesPerSec)); }},
    {dispidNAvgBytesPerSec,
     [](C& c) { return Variant::i4(static_cast<LONG>(c.file_format().nAvgBytesPerSec)); }},
    {dispidNBlockAlign, [](C& c) { return Variant::i4(c.file_format().nBlockAlign); }},
    {dispidWBitsPerSample, [](C& c) { return Variant::i4(c.file_format().wBitsPerSample); }},
    {dispidBlocksCount, [](C& c) { return Variant::i4(c.GetBlocksCount()); }},
    {dispidPlay, nullptr, nullptr,
     [](C& c, Args a) {
         c.Play(a[0].as_string());
         return Variant();
     }},
    {dispidRecord, nullptr, nullptr,
     [](C& c, Args a) {
         c.Record(a[0].as_string());
         return Variant();
     }},
    {dispidStop, nullptr, nullptr,
     [](C& c, Args) {
         c.Stop();
         return Variant();
     }},
    {dispidPause, nullptr, nullptr,
     [](C& c, Args) {
         c.Pause();
         return Variant();
     }},
    {dispidContinue, nullptr, nullptr,
     [](C& c, Args) {
         c.Continue();
         return Variant();
     }},
    {dispidSeek, nullptr, nullptr,
     [](C& c, Args a) {
         c.Seek(a[0].as_i4(), a[1].as_i2());
         return Variant();
     }},
    {dispidBlockToSec, nullptr, nullptr,
     [](C& c, Args a) { return Variant::i4(c.BlockToSec(a[0].as_i4())); }},
    {dispidSecToBlock, nullptr, nullptr,
     [](C& c, Args a) { return Variant::i4(c.SecToBlock(a[0].as_i4())); }},
    {dispidSetFormatLikeSample, nullptr, nullptr,
     [](C& c, Args a) {
         c.SetFormatLikeSample(a[0].as_string());
         return Variant();
     }},
    {dispidSetFormatFromMenu, nullptr, nullptr,
     [](C& c, Args) { return Variant::i4(c.SetFormatFromMenu()); }},
};

}  // namespace

HRESULT CKelvaneCtrl::InvokeMember(DISPID member, WORD flags, DISPPARAMS* params, VARIANT* result,
                                   UINT* arg_error) {
    const auto& desc = kelvane_dispatch_desc();
    if (member >= dispidInfoCreationDate && member <= dispidInfoDisplayName)
        return dispatch_invoke<C>(*this, desc, kInfoEntries, member, flags, params, result,
                                  arg_error);
    return dispatch_invoke<C>(*this, desc, kEntries, member, flags, params, result, arg_error);
}
