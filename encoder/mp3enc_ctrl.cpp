#include "encoder/mp3enc_ctrl.h"

#include <algorithm>
#include <cctype>

#include "encoder/mp3enc_type_info.h"
#include "platform/loop/message_loop.h"

namespace {

using mp3enc::Conversion;
using Entry = DispatchEntry<CMp3Enc>;
using Args = std::span<const Variant>;
using C = CMp3Enc;

constexpr DWORD kVersion = 0x00010000;

const Entry kEntries[] = {
    {mp3enc::dispidBitrate, [](C& c) { return Variant::i4(c.GetBitrate()); },
     [](C& c, const Variant& v) { c.SetBitrate(v.as_i4()); }},
    {mp3enc::dispidVariableBitrate, [](C& c) { return Variant::boolean(c.GetVariableBitrate()); },
     [](C& c, const Variant& v) { c.SetVariableBitrate(v.as_bool()); }},
    {mp3enc::dispidCopyTags, [](C& c) { return Variant::boolean(c.GetCopyTags()); },
     [](C& c, const Variant& v) { c.SetCopyTags(v.as_bool()); }},
    {mp3enc::dispidStop, nullptr, nullptr,
     [](C& c, Args) {
         c.Stop();
         return Variant();
     }},
    {mp3enc::dispidStart, nullptr, nullptr,
     [](C& c, Args a) {
         c.set_call_result(c.Start(std::string(a[0].as_string()), std::string(a[1].as_string())));
         return Variant();
     }},
    {mp3enc::dispidTotalFrames, [](C& c) { return Variant::i4(c.GetTotalFrames()); }},
    {mp3enc::dispidSpeed, [](C& c) { return Variant::r8(c.GetSpeed()); }},
    {mp3enc::dispidSetInfo, nullptr, nullptr,
     [](C& c, Args a) {
         c.set_call_result(c.SetInfo(std::string(a[0].as_string()), std::string(a[1].as_string())));
         return Variant();
     }},
};

LONG clamp_frames(std::uint64_t frames) {
    return static_cast<LONG>(std::min<std::uint64_t>(frames, 0x7FFFFFFF));
}

}  // namespace

CMp3Enc::CMp3Enc(ComModule& module)
    : COleControl(module, mp3enc::class_desc()), m_mailbox(std::make_shared<Mailbox>()) {
    m_mailbox->owner = this;
    SetInitialSize(32, 32);
}

CMp3Enc::~CMp3Enc() {
    // Notices still queued find no one; a running conversion is finished as a stopped one.
    m_mailbox->owner = nullptr;
    m_conversion.reset();
    DestroyControlWindow();
}

HRESULT CMp3Enc::InvokeMember(DISPID member, WORD flags, DISPPARAMS* params, VARIANT* result,
                              UINT* arg_error) {
    m_call_result = S_OK;
    const HRESULT hr = dispatch_invoke<C>(*this, mp3enc::dispatch_desc(), kEntries, member, flags,
                                          params, result, arg_error);
    return FAILED(hr) ? hr : m_call_result;
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

HRESULT CMp3Enc::SetInfo(const std::string& id, const std::string& text) {
    std::string upper = id;
    for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    if (upper == "DISP") {
        m_display_name = text;
        return S_OK;
    }
    if (upper.size() != 4) return E_INVALIDARG;
    const int slot =
        kelvane::engine::info_slot_index(mmioFOURCC(upper[0], upper[1], upper[2], upper[3]));
    if (slot < 0) return E_INVALIDARG;
    std::erase_if(m_slot_texts, [&](const auto& entry) { return entry.first == slot; });
    m_slot_texts.emplace_back(slot, text);
    return S_OK;
}

void CMp3Enc::Stop() {
    if (m_conversion) m_conversion->stop();
}

HRESULT CMp3Enc::Start(const std::string& input, const std::string& output) {
    if (m_conversion && m_conversion->state() == Conversion::State::running) {
        const mp3enc::ConversionFailure busy{mp3enc::MP3ENC_E_BUSY,
                                             "a conversion is already running"};
        fire_failed(busy);
        return busy.code;
    }
    // An end of the last conversion still on its way belongs to that one and is dropped.
    m_conversion.reset();
    mp3enc::ConversionSettings settings;
    settings.kbps = static_cast<DWORD>((m_bitrate + 500) / 1000);
    settings.average = m_variable_bitrate;
    settings.tags = m_copy_tags;
    settings.slot_texts = m_slot_texts;
    settings.display_name = m_display_name;
    // A fresh mailbox: notices of an earlier conversion must not speak for this one.
    m_mailbox->owner = nullptr;
    m_mailbox = std::make_shared<Mailbox>();
    m_mailbox->owner = this;
    std::weak_ptr<Mailbox> mailbox = m_mailbox;
    auto notify = [mailbox] {
        const auto box = mailbox.lock();
        if (!box || box->posted.exchange(true, std::memory_order_acq_rel)) return;
        MessageLoop::instance().post([box] {
            box->posted.store(false, std::memory_order_release);
            if (box->owner) box->owner->deliver();
        });
    };
    mp3enc::ConversionFailure failure;
    m_conversion = Conversion::start(input, output, settings, notify, failure);
    if (!m_conversion) {
        fire_failed(failure);
        return failure.code;
    }
    m_fired_frames = 0;
    m_ended = false;
    return S_OK;
}

LONG CMp3Enc::GetTotalFrames() const {
    return m_conversion ? clamp_frames(m_conversion->total_frames()) : 0;
}

double CMp3Enc::GetSpeed() const {
    return m_conversion ? m_conversion->speed() : 0;
}

void CMp3Enc::deliver() {
    if (!m_conversion || m_ended) return;
    // A handler may release the container's last reference, or start another conversion.
    ComPtr<IDispatch> self(static_cast<IDispatch*>(this));
    Conversion* conversion = m_conversion.get();
    // The state first: frames published before an end are then in the count read next.
    const Conversion::State state = conversion->state();
    const std::uint64_t frames = conversion->frames();
    if (frames != m_fired_frames) {
        m_fired_frames = frames;
        const Variant args[] = {Variant::i4(clamp_frames(frames))};
        FireEvent(mp3enc::eventidProgress, args);
        if (m_conversion.get() != conversion) return;
    }
    if (state == Conversion::State::running) return;
    m_ended = true;
    conversion->stop();  // the worker has ended; this only joins it
    if (state == Conversion::State::failed) {
        fire_failed(conversion->failure());
    } else {
        const Variant args[] = {Variant::boolean(state == Conversion::State::stopped)};
        FireEvent(mp3enc::eventidFinished, args);
    }
}

void CMp3Enc::fire_failed(const mp3enc::ConversionFailure& failure) {
    ComPtr<IDispatch> self(static_cast<IDispatch*>(this));
    const Variant args[] = {Variant::i4(failure.code), Variant::string(failure.description)};
    FireEvent(mp3enc::eventidFailed, args);
}
