// The control framework: the base class of an automation control that a container sites, with
// its own window for timers, an ambient user mode, a modified flag, property exchange and events.
#pragma once

#include <memory>
#include <span>
#include <string>
#include <vector>

#include "platform/com/connection_point.h"
#include "platform/com/dispatch.h"
#include "platform/com/gdi.h"
#include "platform/com/prop_exchange.h"
#include "platform/com/property_bag.h"
#include "platform/com/stream.h"
#include "platform/loop/message_loop.h"

struct IOleClientSite : IUnknown {
    static constexpr IID iid{0x00000118, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};

  protected:
    ~IOleClientSite() = default;
};

inline constexpr DWORD OLECLOSE_SAVEIFDIRTY = 0;
inline constexpr DWORD OLECLOSE_NOSAVE = 1;

inline constexpr LONG OLEIVERB_PRIMARY = 0;
inline constexpr LONG OLEIVERB_SHOW = -1;
inline constexpr LONG OLEIVERB_UIACTIVATE = -4;
inline constexpr LONG OLEIVERB_INPLACEACTIVATE = -5;
inline constexpr LONG OLEIVERB_PROPERTIES = -7;
inline constexpr HRESULT OLEOBJ_S_INVALIDVERB = make_hresult(0x00040180);

inline constexpr DWORD DVASPECT_CONTENT = 1;
inline constexpr HRESULT DV_E_DVASPECT = make_hresult(0x8004006B);

// A size in HIMETRIC (1/100 mm) for extents, in pixels elsewhere.
struct SIZEL {
    LONG cx;
    LONG cy;
};

struct IOleObject : IUnknown {
    static constexpr IID iid{0x00000112, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
    // The container gives the control its site (creating the control's window) or takes it away
    // (null, destroying the window).
    virtual HRESULT SetClientSite(IOleClientSite* site) = 0;
    virtual HRESULT GetClientSite(IOleClientSite** site) = 0;
    // Ends the control's activity: destroys its window, disconnects its sinks.
    virtual HRESULT Close(DWORD save_option) = 0;
    // Runs one of the object's verbs; OLEIVERB_PROPERTIES opens its property pages.
    virtual HRESULT DoVerb(LONG verb, HWND parent) = 0;
    // The size the container offers (SetExtent) and the size the object has (GetExtent).
    virtual HRESULT SetExtent(DWORD aspect, const SIZEL* size) = 0;
    virtual HRESULT GetExtent(DWORD aspect, SIZEL* size) = 0;

  protected:
    ~IOleObject() = default;
};

struct IProvideClassInfo : IUnknown {
    static constexpr IID iid{
        0xB196B283, 0xBAB4, 0x101A, {0xB6, 0x9C, 0x00, 0xAA, 0x00, 0x34, 0x1D, 0x07}};
    virtual HRESULT GetClassInfo(const CoClassDesc** info) = 0;

  protected:
    ~IProvideClassInfo() = default;
};

// Saved state in a stream. Load reads exactly the control's own bytes and leaves the stream
// after them, so a container may keep more state behind.
struct IPersistStreamInit : IUnknown {
    static constexpr IID iid{
        0x7FD52380, 0x4E07, 0x101B, {0xAE, 0x2D, 0x08, 0x00, 0x2B, 0x2E, 0xC7, 0x13}};
    virtual HRESULT GetClassID(CLSID* clsid) = 0;
    // S_OK when the control changed since it was last saved, S_FALSE otherwise.
    virtual HRESULT IsDirty() = 0;
    // A stream that ends early or fails leaves the control as new and returns the failure.
    virtual HRESULT Load(IStream* stream) = 0;
    virtual HRESULT Save(IStream* stream, BOOL clear_dirty) = 0;
    // The number of bytes Save would write now.
    virtual HRESULT GetSizeMax(ULARGE_INTEGER* size) = 0;
    // Initialises a control that has no saved state: every property takes its default.
    virtual HRESULT InitNew() = 0;

  protected:
    ~IPersistStreamInit() = default;
};

// Saved state as named values. Each property that the bag lacks, or holds in a form that does
// not convert, takes its default.
struct IPersistPropertyBag : IUnknown {
    static constexpr IID iid{
        0x37D84F60, 0x42CB, 0x11CE, {0x81, 0x35, 0x00, 0xAA, 0x00, 0x4B, 0xB8, 0x51}};
    virtual HRESULT GetClassID(CLSID* clsid) = 0;
    virtual HRESULT InitNew() = 0;
    virtual HRESULT Load(IPropertyBag* bag) = 0;
    // Without `save_all`, properties that hold their defaults are left out.
    virtual HRESULT Save(IPropertyBag* bag, BOOL clear_dirty, BOOL save_all) = 0;

  protected:
    ~IPersistPropertyBag() = default;
};

// How a container asks an object to draw itself.
struct IViewObject : IUnknown {
    static constexpr IID iid{0x0000010D, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
    // Draws into `bounds` (pixels of `dc`); only DVASPECT_CONTENT.
    virtual HRESULT Draw(DWORD aspect, HDC dc, const RECT* bounds) = 0;

  protected:
    ~IViewObject() = default;
};

struct CAUUID {
    std::vector<GUID> elems;
};

struct ISpecifyPropertyPages : IUnknown {
    static constexpr IID iid{
        0xB196B28B, 0xBAB4, 0x101A, {0xB6, 0x9C, 0x00, 0xAA, 0x00, 0x34, 0x1D, 0x07}};
    // The class identifiers of the object's property pages, in order.
    virtual HRESULT GetPages(CAUUID* pages) = 0;

  protected:
    ~ISpecifyPropertyPages() = default;
};

class COleControl : public IDispatch,
                    public IConnectionPointContainer,
                    public IOleObject,
                    public IProvideClassInfo,
                    public IPersistStreamInit,
                    public IPersistPropertyBag,
                    public IViewObject,
                    public ISpecifyPropertyPages {
  public:
    COleControl(ComModule& module, const CoClassDesc& class_info);
    COleControl(const COleControl&) = delete;
    COleControl& operator=(const COleControl&) = delete;

    // IUnknown
    HRESULT QueryInterface(REFIID riid, void** object) override;
    ULONG AddRef() override { return m_refs.add(); }
    ULONG Release() override;
    // IDispatch, over the class's default interface description.
    HRESULT GetTypeInfoCount(UINT* count) override;
    HRESULT GetTypeInfo(UINT index, LCID lcid, const InterfaceDesc** info) override;
    HRESULT GetIDsOfNames(REFIID riid, const OLECHAR* const* names, UINT count, LCID lcid,
                          DISPID* ids) override;
    HRESULT Invoke(DISPID member, REFIID riid, LCID lcid, WORD flags, DISPPARAMS* params,
                   VARIANT* result, EXCEPINFO* exception, UINT* arg_error) override;
    // IConnectionPointContainer
    HRESULT FindConnectionPoint(REFIID riid, IConnectionPoint** point) override;
    // IOleObject
    HRESULT SetClientSite(IOleClientSite* site) override;
    HRESULT GetClientSite(IOleClientSite** site) override;
    HRESULT Close(DWORD save_option) override;
    HRESULT DoVerb(LONG verb, HWND parent) override;
    HRESULT SetExtent(DWORD aspect, const SIZEL* size) override;
    HRESULT GetExtent(DWORD aspect, SIZEL* size) override;
    // IProvideClassInfo
    HRESULT GetClassInfo(const CoClassDesc** info) override;
    // IPersistStreamInit and IPersistPropertyBag
    HRESULT GetClassID(CLSID* clsid) override;
    HRESULT IsDirty() override;
    HRESULT Load(IStream* stream) override;
    HRESULT Save(IStream* stream, BOOL clear_dirty) override;
    HRESULT GetSizeMax(ULARGE_INTEGER* size) override;
    HRESULT InitNew() override;
    HRESULT Load(IPropertyBag* bag) override;
    HRESULT Save(IPropertyBag* bag, BOOL clear_dirty, BOOL save_all) override;
    // IViewObject
    HRESULT Draw(DWORD aspect, HDC dc, const RECT* bounds) override;
    // ISpecifyPropertyPages
    HRESULT GetPages(CAUUID* pages) override;

    // Framework services for the derived control.
    BOOL AmbientUserMode();
    BOOL GetEnabled() const { return TRUE; }
    void SetModifiedFlag(BOOL modified = TRUE) { m_modified = modified; }
    BOOL IsModified() const { return m_modified; }
    HWND GetSafeHwnd() const { return m_window; }
    // Destroys the control's window, if any, and creates it again.
    void RecreateControlWindow();
    UINT_PTR SetTimer(UINT_PTR id, UINT elapse_ms);
    BOOL KillTimer(UINT_PTR id);
    // Fires an event to every connected sink; returns after all have run.
    void FireEvent(DISPID event, std::span<const Variant> args = {});
    // Sets the initial size in pixels (reported as an extent in HIMETRIC).
    void SetInitialSize(int width_px, int height_px);
    // The control's size in pixels (96 per inch), from its extent.
    void GetControlSize(int* width_px, int* height_px) const;
    // Changes the control's size; the saved extent changes with it, so the control is modified.
    BOOL SetControlSize(int width_px, int height_px);

    // Property exchange of the base: the extent and the (empty) set of stock properties.
    virtual void DoPropExchange(CPropExchange* px);
    // Resets every property to its default.
    virtual void OnResetState();
    // Draws the control into `bounds`; the base draws nothing.
    virtual void OnDraw(HDC dc, const RECT& bounds, const RECT& invalid);
    // The class identifiers of the control's property pages; the base has none.
    virtual std::span<const CLSID> GetPropPageIDs() const { return {}; }
    // The standard properties verb: asks the host's property frame to show the pages.
    virtual HRESULT OnProperties(HWND parent);

  protected:
    virtual ~COleControl();
    virtual int OnCreate() { return 0; }
    virtual void OnDestroy() {}
    virtual void OnTimer(UINT_PTR /*id*/) {}
    // Executes one automation call on the derived control's members.
    virtual HRESULT InvokeMember(DISPID member, WORD flags, DISPPARAMS* params, VARIANT* result,
                                 UINT* arg_error) = 0;
    // Destroys the window now; the derived destructor calls it so that OnDestroy still sees the
    // whole object.
    void DestroyControlWindow();

  private:
    LRESULT window_message(HWND window, UINT message, WPARAM wparam);

    ComModule& m_module;
    const CoClassDesc& m_class;
    RefCount m_refs;
    ConnectionPoint m_events;
    ComPtr<IOleClientSite> m_site;
    HWND m_window = nullptr;
    BOOL m_modified = FALSE;
    LONG m_extent_x = 0;  // HIMETRIC
    LONG m_extent_y = 0;  // HIMETRIC
};
