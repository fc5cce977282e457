#include "host/control_host.h"

// The site: the control asks it for ambient properties through IDispatch.
class ControlHost::Site final : public ComObject<IOleClientSite, IDispatch> {
  public:
    explicit Site(bool user_mode) : m_user_mode(user_mode) {}

    HRESULT GetTypeInfoCount(UINT* count) override { return *count = 0, S_OK; }
    HRESULT GetTypeInfo(UINT, LCID, const InterfaceDesc**) override { return E_NOTIMPL; }
    HRESULT GetIDsOfNames(REFIID, const OLECHAR* const*, UINT, LCID, DISPID*) override {
        return DISP_E_UNKNOWNNAME;
    }
    HRESULT Invoke(DISPID member, REFIID, LCID, WORD flags, DISPPARAMS*, VARIANT* result,
                   EXCEPINFO*, UINT*) override {
        if (member != DISPID_AMBIENT_USERMODE || !(flags & DISPATCH_PROPERTYGET))
            return DISP_E_MEMBERNOTFOUND;
        if (result) {
            VariantClear(result);
            result->vt = VT_BOOL;
            result->boolVal = m_user_mode ? VARIANT_TRUE : VARIANT_FALSE;
        }
        return S_OK;
    }

  private:
    ~Site() = default;
    bool m_user_mode;
};

// The event sink: every event the control fires reaches the host's handler with its description.
class ControlHost::Sink final : public ComObject<IDispatch> {
  public:
    Sink(const InterfaceDesc& events, EventHandler& handler)
        : m_events(events), m_handler(handler) {}

    // A source looks for its event interface; a dispatch sink answers for it.
    HRESULT QueryInterface(REFIID riid, void** object) override {
        return ComObject::QueryInterface(riid == m_events.iid ? IDispatch::iid : riid, object);
    }
    HRESULT GetTypeInfoCount(UINT* count) override { return *count = 0, S_OK; }
    HRESULT GetTypeInfo(UINT, LCID, const InterfaceDesc**) override { return E_NOTIMPL; }
    HRESULT GetIDsOfNames(REFIID, const OLECHAR* const* names, UINT count, LCID,
                          DISPID* ids) override {
        return ids_of_names(m_events, names, count, ids);
    }
    HRESULT Invoke(DISPID member, REFIID, LCID, WORD flags, DISPPARAMS* params, VARIANT*,
                   EXCEPINFO*, UINT* arg_error) override {
        const MemberDesc* event = m_events.find(member);
        if (!event) return DISP_E_MEMBERNOTFOUND;
        DispatchCall call;
        if (HRESULT hr = prepare_dispatch_call(*event, flags, params, call, arg_error); FAILED(hr))
            return hr;
        if (m_handler) m_handler(*event, call.args);
        return S_OK;
    }

  private:
    ~Sink() = default;
    const InterfaceDesc& m_events;
    EventHandler& m_handler;
};

ControlHost::ControlHost(bool user_mode, EventHandler on_event)
    : m_user_mode(user_mode), m_on_event(std::move(on_event)) {}

ControlHost::~ControlHost() {
    destroy();
}

HRESULT ControlHost::create(REFCLSID clsid, IStream* saved_state) {
    destroy();
    ComPtr<IDispatch> control;
    if (HRESULT hr = CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IDispatch::iid,
                                      control.put_void());
        FAILED(hr))
        return hr;

    auto class_info = control.as<IProvideClassInfo>();
    const CoClassDesc* desc = nullptr;
    if (!class_info || FAILED(class_info->GetClassInfo(&desc)) || !desc) return E_NOINTERFACE;
    m_members = desc->default_interface;
    m_events = desc->source_interface;

    // Sink first, so that events fired while the control starts are seen.
    if (m_events) {
        auto container = control.as<IConnectionPointContainer>();
        if (container && SUCCEEDED(container->FindConnectionPoint(m_events->iid, m_point.put()))) {
            m_sink = make_com<Sink>(*m_events, m_on_event);
            if (FAILED(m_point->Advise(static_cast<IDispatch*>(m_sink.get()), &m_cookie)))
                m_point.reset();
        }
    }
    // As a form does: the site first (the control makes its window), then the properties.
    m_site = make_com<Site>(m_user_mode);
    if (auto object = control.as<IOleObject>())
        object->SetClientSite(static_cast<IOleClientSite*>(m_site.get()));
    HRESULT loaded = S_OK;
    if (auto persist = control.as<IPersistStreamInit>())
        loaded = saved_state ? persist->Load(saved_state) : persist->InitNew();
    else if (saved_state)
        loaded = E_NOINTERFACE;
    m_control = std::move(control);
    return loaded;
}

void ControlHost::destroy() {
    if (m_point) {
        m_point->Unadvise(m_cookie);
        m_point.reset();
    }
    if (m_control)
        if (auto object = m_control.as<IOleObject>()) object->Close(OLECLOSE_NOSAVE);
    m_control.reset();
    m_sink.reset();
    m_site.reset();
    m_members = nullptr;
    m_events = nullptr;
}
