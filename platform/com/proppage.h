// Property pages: the page object a container's property frame shows for a control, the base
// class of such a page, and the frame itself, which only a host with a user interface can
// provide (it installs a hook; without one, asking for the frame reports E_NOTIMPL).
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "platform/com/gdi.h"
#include "platform/com/olectl.h"

struct PROPPAGEINFO {
    std::string title;
    SIZEL size;  // pixels
    std::string doc_string;
    std::string help_file;
    DWORD help_context;
};

struct IPropertyPage : IUnknown {
    static constexpr IID iid{
        0xB196B28D, 0xBAB4, 0x101A, {0xB6, 0x9C, 0x00, 0xAA, 0x00, 0x34, 0x1D, 0x07}};
    virtual HRESULT GetPageInfo(PROPPAGEINFO* info) = 0;
    // The objects whose properties the page shows; a count of 0 lets them go.
    virtual HRESULT SetObjects(ULONG count, IUnknown** objects) = 0;
    // Creates the page's window inside `parent` and fills it from the objects.
    virtual HRESULT Activate(HWND parent, const RECT* rect, BOOL modal) = 0;
    virtual HRESULT Deactivate() = 0;
    virtual HRESULT IsPageDirty() = 0;
    // Writes what the page holds to the objects.
    virtual HRESULT Apply() = 0;

  protected:
    ~IPropertyPage() = default;
};

class COlePropertyPage;

// One direction of a page's data exchange: from the objects to the page, or back.
class CDataExchange {
  public:
    CDataExchange(COlePropertyPage* page, BOOL save_and_validate)
        : m_pDlgWnd(page), m_bSaveAndValidate(save_and_validate) {}
    COlePropertyPage* m_pDlgWnd;
    BOOL m_bSaveAndValidate;
};

// The end of every page's exchange: after a save the page holds nothing unapplied.
void DDP_PostProcessing(CDataExchange* dx);

class COlePropertyPage : public ComObject<IPropertyPage> {
  public:
    // The page's dialog template and caption are resources of `instance`.
    COlePropertyPage(ComModule& module, HINSTANCE instance, WORD dialog_id, UINT caption_id);
    COlePropertyPage(const COlePropertyPage&) = delete;
    COlePropertyPage& operator=(const COlePropertyPage&) = delete;

    HRESULT GetPageInfo(PROPPAGEINFO* info) override;
    HRESULT SetObjects(ULONG count, IUnknown** objects) override;
    HRESULT Activate(HWND parent, const RECT* rect, BOOL modal) override;
    HRESULT Deactivate() override;
    HRESULT IsPageDirty() override;
    HRESULT Apply() override;

    void SetModifiedFlag(BOOL modified = TRUE) { m_modified = modified; }
    HWND GetSafeHwnd() const { return m_window; }
    const std::vector<ComPtr<IUnknown>>& GetObjects() const { return m_objects; }

  protected:
    virtual ~COlePropertyPage();
    // Moves values between the page and its objects, in the direction `dx` says.
    virtual void DoDataExchange(CDataExchange* dx) = 0;
    BOOL UpdateData(BOOL save_and_validate);

  private:
    ComModule& m_module;
    HINSTANCE m_instance;
    WORD m_dialog_id;
    UINT m_caption_id;
    std::vector<ComPtr<IUnknown>> m_objects;
    HWND m_window = nullptr;
    BOOL m_modified = FALSE;
};

// A dialog size in pixels: dialog units of `font` at `point_size` (96 dots per inch), rounded.
SIZEL dialog_units_to_pixels(LONG cx, LONG cy, const char* font, WORD point_size);

// What a property frame is asked to show.
struct PropertyFrameRequest {
    HWND owner;
    std::string caption;
    std::vector<ComPtr<IUnknown>> objects;
    std::vector<CLSID> pages;
};
using PropertyFrameHook = std::function<HRESULT(const PropertyFrameRequest&)>;
// Installs the host's frame (an empty hook removes it); returns the one it replaces.
PropertyFrameHook set_property_frame_hook(PropertyFrameHook hook);

// Shows the pages for the objects in the host's frame and returns when it closes. E_NOTIMPL
// when the host has no frame; E_INVALIDARG without objects or pages.
HRESULT OleCreatePropertyFrame(HWND owner, UINT x, UINT y, const char* caption, ULONG object_count,
                               IUnknown** objects, ULONG page_count, const CLSID* pages, LCID lcid);
