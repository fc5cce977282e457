#include "platform/com/olectl.h"

#include <cmath>

#include "platform/com/proppage.h"

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
    else if (riid == IPersistPropertyBag::iid)
        *object = static_cast<IPersistPropertyBag*>(this);
    else if (riid == IViewObject::iid)
        *object = static_cast<IViewObject*>(this);
    else if (riid == ISpecifyPropertyPages::iid)
        *object = static_cast<ISpecifyPropertyPages*>(this);
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
    SetModifiedFlag(FALSE);
    return S_OK;
}

HRESULT COleControl::GetClassID(CLSID* clsid) {
    if (!clsid) return E_POINTER;
    *clsid = m_class.clsid;
    return S_OK;
}

HRESULT COleControl::Load(IStream* stream) {
    if (!stream) return E_POINTER;
    const LONG extent_x = m_extent_x;
    const LONG extent_y = m_extent_y;
    CStreamPropExchange px(stream, TRUE);
    DoPropExchange(&px);
    // Half a saved state is no state: the control starts as a new one and says why.
    if (FAILED(px.status())) {
        m_extent_x = extent_x;
        m_extent_y = extent_y;
        OnResetState();
    }
    SetModifiedFlag(FALSE);
    return px.status();
}

HRESULT COleControl::Save(IStream* stream, BOOL clear_dirty) {
    if (!stream) return E_POINTER;
    CStreamPropExchange px(stream, FALSE);
    DoPropExchange(&px);
    if (FAILED(px.status())) return px.status();
    if (clear_dirty) SetModifiedFlag(FALSE);
    return S_OK;
}

HRESULT COleControl::GetSizeMax(ULARGE_INTEGER* size) {
    if (!size) return E_POINTER;
    auto counter = make_com<MemoryStream>();
    CStreamPropExchange px(counter.get(), FALSE);
    DoPropExchange(&px);
    if (FAILED(px.status())) return px.status();
    size->QuadPart = counter->bytes().size();
    return S_OK;
}

HRESULT COleControl::Load(IPropertyBag* bag) {
    if (!bag) return E_POINTER;
    CBagPropExchange px(bag, TRUE);
    DoPropExchange(&px);
    SetModifiedFlag(FALSE);
    return S_OK;
}

HRESULT COleControl::Save(IPropertyBag* bag, BOOL clear_dirty, BOOL save_all) {
    if (!bag) return E_POINTER;
    CBagPropExchange px(bag, FALSE, save_all);
    DoPropExchange(&px);
    if (FAILED(px.status())) return px.status();
    if (clear_dirty) SetModifiedFlag(FALSE);
    return S_OK;
}

HRESULT COleControl::DoVerb(LONG verb, HWND parent) {
    switch (verb) {
        case OLEIVERB_PROPERTIES:
            return OnProperties(parent);
        case OLEIVERB_PRIMARY:
        case OLEIVERB_SHOW:
        case OLEIVERB_UIACTIVATE:
        case OLEIVERB_INPLACEACTIVATE:
            return S_OK;  // the control has no in-place user interface to show
        default:
            return OLEOBJ_S_INVALIDVERB;
    }
}

HRESULT COleControl::SetExtent(DWORD aspect, const SIZEL* size) {
    if (!size) return E_POINTER;
    if (aspect != DVASPECT_CONTENT) return DV_E_DVASPECT;
    if (size->cx < 1 || size->cy < 1) return E_INVALIDARG;
    m_extent_x = size->cx;
    m_extent_y = size->cy;
    return S_OK;
}

HRESULT COleControl::GetExtent(DWORD aspect, SIZEL* size) {
    if (!size) return E_POINTER;
    if (aspect != DVASPECT_CONTENT) return DV_E_DVASPECT;
    *size = {m_extent_x, m_extent_y};
    return S_OK;
}

HRESULT COleControl::Draw(DWORD aspect, HDC dc, const RECT* bounds) {
    if (!bounds) return E_POINTER;
    if (aspect != DVASPECT_CONTENT) return DV_E_DVASPECT;
    if (!dc) return E_INVALIDARG;
    OnDraw(dc, *bounds, *bounds);
    return S_OK;
}

HRESULT COleControl::GetPages(CAUUID* pages) {
    if (!pages) return E_POINTER;
    const auto ids = GetPropPageIDs();
    pages->elems.assign(ids.begin(), ids.end());
    return S_OK;
}

void COleControl::OnDraw(HDC, const RECT&, const RECT&) {}

HRESULT COleControl::OnProperties(HWND parent) {
    const auto pages = GetPropPageIDs();
    IUnknown* self = static_cast<IDispatch*>(this);
    const std::string caption(m_class.doc.empty() ? m_class.name : m_class.doc);
    return OleCreatePropertyFrame(parent, 0, 0, caption.c_str(), 1, &self,
                                  static_cast<ULONG>(pages.size()), pages.data(), 0);
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

namespace {

// HIMETRIC is 1/100 mm; a pixel is 1/96 inch.
LONG pixels_to_himetric(int pixels) {
    return static_cast<LONG>(std::lround(pixels * 2540.0 / 96.0));
}

int himetric_to_pixels(LONG himetric) {
    return static_cast<int>(std::lround(himetric * 96.0 / 2540.0));
}

}  // namespace

void COleControl::SetInitialSize(int width_px, int height_px) {
    m_extent_x = pixels_to_himetric(width_px);
    m_extent_y = pixels_to_himetric(height_px);
}

void COleControl::GetControlSize(int* width_px, int* height_px) const {
    if (width_px) *width_px = himetric_to_pixels(m_extent_x);
    if (height_px) *height_px = himetric_to_pixels(m_extent_y);
}

BOOL COleControl::SetControlSize(int width_px, int height_px) {
    if (width_px < 1 || height_px < 1) return FALSE;
    m_extent_x = pixels_to_himetric(width_px);
    m_extent_y = pixels_to_himetric(height_px);
    SetModifiedFlag();
    return TRUE;
}

void COleControl::DoPropExchange(CPropExchange* px) {
    // The extent has no default: it is always saved, and a reset keeps the size the control has.
    LONG stock_mask = 0;
    const LONG extent_x = m_extent_x;
    const LONG extent_y = m_extent_y;
    PX_Long(px, "_ExtentX", m_extent_x);
    PX_Long(px, "_ExtentY", m_extent_y);
    PX_Long(px, "_StockProps", stock_mask, 0);
    if (px->IsLoading() && (m_extent_x < 1 || m_extent_y < 1)) {
        // A size of nothing cannot be drawn or placed: keep the one the control had.
        m_extent_x = extent_x;
        m_extent_y = extent_y;
    }
}

void COleControl::OnResetState() {
    CPropExchangeDefaults defaults;
    DoPropExchange(&defaults);
}
