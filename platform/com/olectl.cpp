#include "platform/com/olectl.h"

#include <cmath>

BOOL CPropExchange::ExchangeVersion(DWORD& version, DWORD default_version) {
    if (!m_loading) version = default_version;
    m_version = version;
    return TRUE;
}

BOOL CPropExchangeDefaults::ExchangeVersion(DWORD& version, DWORD default_version) {
    version = default_version;
    m_version = version;
    return TRUE;
}

BOOL CPropExchangeDefaults::ExchangeProp(const char* /*name*/, VARTYPE type, void* value,
                                         const void* default_value) {
    switch (type) {
        case VT_I4:
            *static_cast<LONG*>(value) = *static_cast<const LONG*>(default_value);
            break;
        case VT_I2:
            *static_cast<SHORT*>(value) = *static_cast<const SHORT*>(default_value);
            break;
        case VT_BOOL:
            *static_cast<BOOL*>(value) = *static_cast<const BOOL*>(default_value);
            break;
        case VT_BSTR:
            *static_cast<std::string*>(value) = *static_cast<const std::string*>(default_value);
            break;
        default:
            return FALSE;
    }
    return TRUE;
}

BOOL PX_Long(CPropExchange* px, const char* name, LONG& value, LONG default_value) {
    return px->ExchangeProp(name, VT_I4, &value, &default_value);
}

BOOL PX_Short(CPropExchange* px, const char* name, SHORT& value, SHORT default_value) {
    return px->ExchangeProp(name, VT_I2, &value, &default_value);
}

BOOL PX_Bool(CPropExchange* px, const char* name, BOOL& value, BOOL default_value) {
    return px->ExchangeProp(name, VT_BOOL, &value, &default_value);
}

BOOL PX_String(CPropExchange* px, const char* name, std::string& value,
               const std::string& default_value) {
    return px->ExchangeProp(name, VT_BSTR, &value, &default_value);
}

COleControl::COleControl(ComModule& module, const CoClassDesc& class_info)
    : m_module(module),
      m_class(class_info),
      m_events(static_cast<IDispatch&>(*this),
               class_info.source_interface ? class_info.source_interface->iid : IID{}) {
    m_module.object_created();
}

COleControl::~COleControl() {
    DestroyControlWindow();
    m_module.object_destroyed();
}

HRESULT COleControl::QueryInterface(REFIID riid, void** object) {
    if (!object) return E_POINTER;
    *object = nullptr;
    if (riid == IUnknown::iid || riid == IDispatch::iid ||
        (m_class.default_interface && riid == m_class.default_interface->iid))
        *object = static_cast<IDispatch*>(this);
    else if (riid == IConnectionPointContainer::iid)
        *object = static_cast<IConnectionPointContainer*>(this);
    else if (riid == IOleObject::iid)
        *object = static_cast<IOleObject*>(this);
    else if (riid == IProvideClassInfo::iid)
        *object = static_cast<IProvideClassInfo*>(this);
    else if (riid == IPersistStreamInit::iid)
        *object = static_cast<IPersistStreamInit*>(this);
    else
        return E_NOINTERFACE;
    AddRef();
    return S_OK;
}

ULONG COleControl::Release() {
    const ULONG left = m_refs.release();
    if (left == 0) delete this;
    return left;
}

HRESULT COleControl::GetTypeInfoCount(UINT* count) {
    if (!count) return E_POINTER;
    *count = m_class.default_interface ? 1 : 0;
    return S_OK;
}

HRESULT COleControl::GetTypeInfo(UINT index, LCID, const InterfaceDesc** info) {
    if (!info) return E_POINTER;
    *info = nullptr;
    if (index != 0 || !m_class.default_interface) return DISP_E_BADINDEX;
    *info = m_class.default_interface;
    return S_OK;
}

HRESULT COleControl::GetIDsOfNames(REFIID, const OLECHAR* const* names, UINT count, LCID,
                                   DISPID* ids) {
    if (!m_class.default_interface) return DISP_E_UNKNOWNNAME;
    return ids_of_names(*m_class.default_interface, names, count, ids);
}

HRESULT COleControl::Invoke(DISPID member, REFIID, LCID, WORD flags, DISPPARAMS* params,
                            VARIANT* result, EXCEPINFO*, UINT* arg_error) {
    // Keeps the object alive when an event handler releases the container's last reference.
    ComPtr<IDispatch> self(static_cast<IDispatch*>(this));
    return InvokeMember(member, flags, params, result, arg_error);
}

HRESULT COleControl::FindConnectionPoint(REFIID riid, IConnectionPoint** point) {
    if (!point) return E_POINTER;
    *point = nullptr;
    if (!m_class.source_interface || riid != m_class.source_interface->iid)
        return CONNECT_E_NOCONNECTION;
    *point = &m_events;
    m_events.AddRef();
    return S_OK;
}

HRESULT COleControl::SetClientSite(IOleClientSite* site) {
    m_site = ComPtr<IOleClientSite>(site);
    // The control needs its window, and with it its timers, as soon as it is sited, even when it
    // is invisible at run time.
    if (m_site)
        RecreateControlWindow();
    else
        DestroyControlWindow();
    return S_OK;
}

HRESULT COleControl::GetClientSite(IOleClientSite** site) {
    if (!site) return E_POINTER;
    *site = m_site.get();
    if (*site) (*site)->AddRef();
    return S_OK;
}

HRESULT COleControl::Close(DWORD) {
    DestroyControlWindow();
    m_events.disconnect_all();
    m_site.reset();
    return S_OK;
}

HRESULT COleControl::GetClassInfo(const CoClassDesc** info) {
    if (!info) return E_POINTER;
    *info = &m_class;
    return S_OK;
}

HRESULT COleControl::IsDirty() {
    return m_modified ? S_OK : S_FALSE;
}

HRESULT COleControl::InitNew() {
    OnResetState();
    return S_OK;
}

BOOL COleControl::AmbientUserMode() {
    // Without a site, or a site that does not say, the control assumes run time.
    auto ambient = m_site.as<IDispatch>();
    if (!ambient) return TRUE;
    VARIANT value;
    VariantInit(&value);
    DISPPARAMS none{nullptr, nullptr, 0, 0};
    const HRESULT hr = ambient->Invoke(DISPID_AMBIENT_USERMODE, IID{}, 0, DISPATCH_PROPERTYGET,
                                       &none, &value, nullptr, nullptr);
    Variant held = Variant::adopt(value);
    if (FAILED(hr)) return TRUE;
    HRESULT converted;
    const Variant flag = held.changed_to(VT_BOOL, converted);
    return FAILED(converted) || flag.as_bool() ? TRUE : FALSE;
}

void COleControl::RecreateControlWindow() {
    DestroyControlWindow();
    CreateMessageWindow([this](HWND window, UINT message, WPARAM wparam, LPARAM) {
        if (message == WM_CREATE) m_window = window;
        return window_message(window, message, wparam);
    });
}

void COleControl::DestroyControlWindow() {
    if (m_window) DestroyWindow(m_window);
}

LRESULT COleControl::window_message(HWND window, UINT message, WPARAM wparam) {
    switch (message) {
        case WM_CREATE:
            if (OnCreate() == -1) {
                m_window = nullptr;
                return -1;
            }
            return 0;
        case WM_DESTROY:
            OnDestroy();
            if (m_window == window) m_window = nullptr;
            return 0;
        case WM_TIMER:
            OnTimer(wparam);
            return 0;
        default:
            return 0;
    }
}

UINT_PTR COleControl::SetTimer(UINT_PTR id, UINT elapse_ms) {
    return m_window ? ::SetTimer(m_window, id, elapse_ms, nullptr) : 0;
}

BOOL COleControl::KillTimer(UINT_PTR id) {
    return m_window ? ::KillTimer(m_window, id) : FALSE;
}

void COleControl::FireEvent(DISPID event, std::span<const Variant> args) {
    m_events.fire(event, args);
}

void COleControl::SetInitialSize(int width_px, int height_px) {
    // HIMETRIC is 1/100 mm; a pixel is 1/96 inch.
    m_extent_x = static_cast<LONG>(std::lround(width_px * 2540.0 / 96.0));
    m_extent_y = static_cast<LONG>(std::lround(height_px * 2540.0 / 96.0));
}

void COleControl::DoPropExchange(CPropExchange* px) {
    LONG stock_mask = 0;
    const LONG extent_x = m_extent_x;
    const LONG extent_y = m_extent_y;
    PX_Long(px, "_ExtentX", m_extent_x, extent_x);
    PX_Long(px, "_ExtentY", m_extent_y, extent_y);
    PX_Long(px, "_StockProps", stock_mask, 0);
}

void COleControl::OnResetState() {
    CPropExchangeDefaults defaults;
    DoPropExchange(&defaults);
}
