#include "platform/com/proppage.h"

#include <cmath>
#include <mutex>
#include <utility>

namespace {

struct FrameHook {
    std::mutex mutex;
    PropertyFrameHook hook;
};

FrameHook& frame_hook() {
    static FrameHook hook;
    return hook;
}

// Dialog base units in pixels at 96 dots per inch for 8-point type: the average character is 6
// pixels wide and a line 13 high; other sizes scale with the point size.
constexpr double kBaseUnitX = 6.0;
constexpr double kBaseUnitY = 13.0;

}  // namespace

void DDP_PostProcessing(CDataExchange* dx) {
    if (dx && dx->m_bSaveAndValidate && dx->m_pDlgWnd) dx->m_pDlgWnd->SetModifiedFlag(FALSE);
}

SIZEL dialog_units_to_pixels(LONG cx, LONG cy, const char*, WORD point_size) {
    const double scale = (point_size ? point_size : 8) / 8.0;
    const double base_x = std::lround(kBaseUnitX * scale);
    const double base_y = std::lround(kBaseUnitY * scale);
    return {static_cast<LONG>(std::lround(cx * base_x / 4.0)),
            static_cast<LONG>(std::lround(cy * base_y / 8.0))};
}

COlePropertyPage::COlePropertyPage(ComModule& module, HINSTANCE instance, WORD dialog_id,
                                   UINT caption_id)
    : m_module(module), m_instance(instance), m_dialog_id(dialog_id), m_caption_id(caption_id) {
    m_module.object_created();
}

COlePropertyPage::~COlePropertyPage() {
    if (m_window) DestroyWindow(m_window);
    m_module.object_destroyed();
}

HRESULT COlePropertyPage::GetPageInfo(PROPPAGEINFO* info) {
    if (!info) return E_POINTER;
    const ResourceDialog* dialog = nullptr;
    if (m_instance)
        for (const auto& d : m_instance->dialogs)
            if (d.id == m_dialog_id) dialog = &d;
    if (!dialog) return E_UNEXPECTED;
    char caption[256];
    LoadStringA(m_instance, m_caption_id, caption, sizeof caption);
    *info = PROPPAGEINFO{
        caption,
        dialog_units_to_pixels(dialog->cx, dialog->cy, dialog->font, dialog->point_size),
        {},
        {},
        0};
    return S_OK;
}

HRESULT COlePropertyPage::SetObjects(ULONG count, IUnknown** objects) {
    if (count && !objects) return E_POINTER;
    m_objects.clear();
    for (ULONG i = 0; i < count; ++i) m_objects.emplace_back(objects[i]);
    return S_OK;
}

HRESULT COlePropertyPage::Activate(HWND, const RECT*, BOOL) {
    if (m_window) return E_UNEXPECTED;
    // The page's window: what its controls would live in, and what Deactivate takes down.
    m_window = CreateMessageWindow([](HWND, UINT, WPARAM, LPARAM) -> LRESULT { return 0; });
    if (!m_window) return E_OUTOFMEMORY;
    UpdateData(FALSE);
    return S_OK;
}

HRESULT COlePropertyPage::Deactivate() {
    if (!m_window) return E_UNEXPECTED;
    DestroyWindow(std::exchange(m_window, nullptr));
    return S_OK;
}

HRESULT COlePropertyPage::IsPageDirty() {
    return m_modified ? S_OK : S_FALSE;
}

HRESULT COlePropertyPage::Apply() {
    return UpdateData(TRUE) ? S_OK : E_FAIL;
}

BOOL COlePropertyPage::UpdateData(BOOL save_and_validate) {
    CDataExchange dx(this, save_and_validate);
    DoDataExchange(&dx);
    return TRUE;
}

PropertyFrameHook set_property_frame_hook(PropertyFrameHook hook) {
    auto& h = frame_hook();
    std::lock_guard lock(h.mutex);
    return std::exchange(h.hook, std::move(hook));
}

HRESULT OleCreatePropertyFrame(HWND owner, UINT, UINT, const char* caption, ULONG object_count,
                               IUnknown** objects, ULONG page_count, const CLSID* pages, LCID) {
    if (!object_count || !objects || !page_count || !pages) return E_INVALIDARG;
    PropertyFrameHook hook;
    {
        auto& h = frame_hook();
        std::lock_guard lock(h.mutex);
        hook = h.hook;
    }
    if (!hook) return E_NOTIMPL;
    PropertyFrameRequest request{owner, caption ? caption : "", {}, {pages, pages + page_count}};
    for (ULONG i = 0; i < object_count; ++i) request.objects.emplace_back(objects[i]);
    return hook(request);
}
