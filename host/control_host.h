// A container for one control: creates it by class identifier, gives it a site that reports run
// time or design time, connects an event sink, and destroys it as a form does when it closes.
#pragma once

#include <functional>
#include <span>
#include <string>

#include "platform/com/activation.h"
#include "platform/com/olectl.h"

class ControlHost {
  public:
    using EventHandler =
        std::function<void(const MemberDesc& event, std::span<const Variant> args)>;

    ControlHost(bool user_mode, EventHandler on_event);
    ControlHost(const ControlHost&) = delete;
    ControlHost& operator=(const ControlHost&) = delete;
    ~ControlHost();

    // Creates, sites and initialises a control of class `clsid`: from `saved_state` (the stream a
    // form stores for it) when given, else with default properties. A saved state that cannot be
    // loaded leaves the control as new and returns the failure.
    HRESULT create(REFCLSID clsid, IStream* saved_state = nullptr);
    // Closes the control (its window and sinks go) and releases it.
    void destroy();

    IDispatch* control() const { return m_control.get(); }
    const InterfaceDesc* members() const { return m_members; }
    const InterfaceDesc* events() const { return m_events; }

    class Site;
    class Sink;

  private:
    bool m_user_mode;
    EventHandler m_on_event;
    ComPtr<IDispatch> m_control;
    ComPtr<IConnectionPoint> m_point;
    DWORD m_cookie = 0;
    const InterfaceDesc* m_members = nullptr;
    const InterfaceDesc* m_events = nullptr;
    ComPtr<Site> m_site;
    ComPtr<Sink> m_sink;
};
