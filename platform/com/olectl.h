// The control framework: the base class of an automation control that a container sites, with
// its own window for timers, an ambient user mode, a modified flag, property exchange and events.
#pragma once

#include <memory>
#include <span>
#include <string>

#include "platform/com/connection_point.h"
#include "platform/com/dispatch.h"
#include "platform/loop/message_loop.h"

struct IOleClientSite : IUnknown {
    static constexpr IID iid{0x00000118, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};

  protected:
    ~IOleClientSite() = default;
};

inline constexpr DWORD OLECLOSE_SAVEIFDIRTY = 0;
inline constexpr DWORD OLECLOSE_NOSAVE = 1;

struct IOleObject : IUnknown {
    static constexpr IID iid{0x00000112, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
    // The container gives the control its site (creating the control's window) or takes it away
    // (null, destroying the window).
    virtual HRESULT SetClientSite(IOleClientSite* site) = 0;
    virtual HRESULT GetClientSite(IOleClientSite** site) = 0;
    // Ends the control's activity: destroys its window, disconnects its sinks.
    virtual HRESULT Close(DWORD save_option) = 0;

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

struct IPersistStreamInit : IUnknown {
    static constexpr IID iid{
        0x7FD52380, 0x4E07, 0x101B, {0xAE, 0x2D, 0x08, 0x00, 0x2B, 0x2E, 0xC7, 0x13}};
    // S_OK when the control changed since it was last saved, S_FALSE otherwise.
    virtual HRESULT IsDirty() = 0;
    // Initialises a control that has no saved state: every property takes its default.
    virtual HRESULT InitNew() = 0;

  protected:
    ~IPersistStreamInit() = default;
};

// One pass of property exchange: loading, saving or resetting to defaults. The control's
// DoPropExchange names each property once; the exchange decides the direction.
class CPropExchange {
  public:
    virtual ~CPropExchange() = default;
    BOOL IsLoading() const { return m_loading; }
    DWORD GetVersion() const { return m_version; }

    // Exchanges the control's version; when loading, `version` becomes the stored one.
    virtual BOOL ExchangeVersion(DWORD& version, DWORD default_version);
    // `value` points at a LONG (VT_I4), SHORT (VT_I2), BOOL (VT_BOOL) or std::string (VT_BSTR);
    // `default_value` at the same type, used when loading finds nothing.
    virtual BOOL ExchangeProp(const char* name, VARTYPE type, void* value,
                              const void* default_value) = 0;

  protected:
    explicit CPropExchange(BOOL loading) : m_loading(loading) {}
    BOOL m_loading;
    DWORD m_version = 0;
};

// Loading with no saved state: every property takes its default.
class CPropExchangeDefaults final : public CPropExchange {
  public:
    CPropExchangeDefaults() : CPropExchange(TRUE) {}
    BOOL ExchangeVersion(DWORD& version, DWORD default_version) override;
    BOOL ExchangeProp(const char* name, VARTYPE type, void* value,
                      const void* default_value) override;
};

BOOL PX_Long(CPropExchange* px, const char* name, LONG& value, LONG default_value);
BOOL PX_Short(CPropExchange* px, const char* name, SHORT& value, SHORT default_value);
BOOL PX_Bool(CPropExchange* px, const char* name, BOOL& value, BOOL default_value);
BOOL PX_String(CPropExchange* px, const char* name, std::string& value,
               const std::string& default_value);

class COleControl : public IDispatch,
                    public IConnectionPointContainer,
                    public IOleObject,
                    public IProvideClassInfo,
                    public IPersistStreamInit {
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
    // IProvideClassInfo
    HRESULT GetClassInfo(const CoClassDesc** info) override;
    // IPersistStreamInit
    HRESULT IsDirty() override;
    HRESULT InitNew() override;

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

    // Property exchange of the base: the extent and the (empty) set of stock properties.
    virtual void DoPropExchange(CPropExchange* px);
    // Resets every property to its default.
    virtual void OnResetState();

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
