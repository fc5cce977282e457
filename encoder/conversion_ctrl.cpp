#include "encoder/conversion_ctrl.h"

#include <algorithm>

#include "platform/loop/message_loop.h"

namespace {

using mp3enc::Conversion;
using C = CConversionCtrl;
using Args = std::span<const Variant>;

const DispatchEntry<C> kShared[] = {
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

CConversionCtrl::CConversionCtrl(ComModule& module, const CoClassDesc& class_info)
    : COleControl(module, class_info),
      m_members(*class_info.default_interface),
      m_mailbox(std::make_shared<Mailbox>()) {
    m_mailbox->owner = this;
    SetInitialSize(32, 32);
}

CConversionCtrl::~CConversionCtrl() {
    // Notices still queued find no one; a running conversion is finished as a stopped one.
    m_mailbox->owner = nullptr;
    m_conversion.reset();
    DestroyControlWindow();
}

HRESULT CConversionCtrl::InvokeMember(DISPID member, WORD flags, DISPPARAMS* params,
                                      VARIANT* result, UINT* arg_error) {
    m_call_result = S_OK;
    const bool shared = std::any_of(std::begin(kShared), std::end(kShared),
                                    [&](const auto& entry) { return entry.dispid == member; });
    const HRESULT hr = shared ? dispatch_invoke<C>(*this, m_members, kShared, member, flags, params,
                                                   result, arg_error)
                              : InvokeOwn(member, flags, params, result, arg_error);
    return FAILED(hr) ? hr : m_call_result;
}

HRESULT CConversionCtrl::SetInfo(const std::string& id, const std::string& text) {
    return m_texts.set(id, text) ? S_OK : E_INVALIDARG;
}

void CConversionCtrl::Stop() {
    if (m_conversion) m_conversion->stop();
}

HRESULT CConversionCtrl::Start(const std::string& input, const std::string& output) {
    if (m_conversion && m_conversion->state() == Conversion::State::running) {
        const mp3enc::ConversionFailure busy{mp3enc::MP3ENC_E_BUSY,
                                             "a conversion is already running"};
        fire_failed(busy);
        return busy.code;
    }
    // An end of the last conversion still on its way belongs to that one and is dropped.
    m_conversion.reset();
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
    m_conversion = Conversion::start(input, output, MakeSink(m_texts), notify, failure);
    if (!m_conversion) {
        fire_failed(failure);
        return failure.code;
    }
    m_fired_frames = 0;
    m_ended = false;
    return S_OK;
}

LONG CConversionCtrl::GetTotalFrames() const {
    return m_conversion ? clamp_frames(m_conversion->total_frames()) : 0;
}

double CConversionCtrl::GetSpeed() const {
    return m_conversion ? m_conversion->speed() : 0;
}

void CConversionCtrl::deliver() {
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

void CConversionCtrl::fire_failed(const mp3enc::ConversionFailure& failure) {
    ComPtr<IDispatch> self(static_cast<IDispatch*>(this));
    const Variant args[] = {Variant::i4(failure.code), Variant::string(failure.description)};
    FireEvent(mp3enc::eventidFailed, args);
}
