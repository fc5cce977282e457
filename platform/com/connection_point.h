// Outgoing interfaces: a container connects an event sink (an IDispatch) to an object's
// connection point, and the object fires each event to every connected sink in turn.
#pragma once

#include <span>
#include <vector>

#include "platform/com/dispatch.h"

struct IConnectionPoint : IUnknown {
    static constexpr IID iid{
        0xB196B286, 0xBAB4, 0x101A, {0xB6, 0x9C, 0x00, 0xAA, 0x00, 0x34, 0x1D, 0x07}};
    virtual HRESULT GetConnectionInterface(IID* iid) = 0;
    virtual HRESULT Advise(IUnknown* sink, DWORD* cookie) = 0;
    virtual HRESULT Unadvise(DWORD cookie) = 0;

  protected:
    ~IConnectionPoint() = default;
};

struct IConnectionPointContainer : IUnknown {
    static constexpr IID iid{
        0xB196B284, 0xBAB4, 0x101A, {0xB6, 0x9C, 0x00, 0xAA, 0x00, 0x34, 0x1D, 0x07}};
    virtual HRESULT FindConnectionPoint(REFIID riid, IConnectionPoint** point) = 0;

  protected:
    ~IConnectionPointContainer() = default;
};

// The connection point of one event interface, embedded in the object that fires; its reference
// count is the owner's.
class ConnectionPoint final : public IConnectionPoint {
  public:
    ConnectionPoint(IUnknown& owner, const IID& events) : m_owner(owner), m_events(events) {}
    ConnectionPoint(const ConnectionPoint&) = delete;
    ConnectionPoint& operator=(const ConnectionPoint&) = delete;

    HRESULT QueryInterface(REFIID riid, void** object) override;
    ULONG AddRef() override { return m_owner.AddRef(); }
    ULONG Release() override { return m_owner.Release(); }
    HRESULT GetConnectionInterface(IID* iid) override;
    // The sink must answer for the event interface or for IDispatch.
    HRESULT Advise(IUnknown* sink, DWORD* cookie) override;
    HRESULT Unadvise(DWORD cookie) override;

    // Calls every sink connected when the fire began, synchronously, arguments first to last;
    // returns after the last one. A sink may disconnect itself from inside its handler.
    void fire(DISPID event, std::span<const Variant> args);
    void disconnect_all() { m_sinks.clear(); }
    std::size_t sink_count() const { return m_sinks.size(); }

  private:
    struct Sink {
        DWORD cookie;
        ComPtr<IDispatch> target;
    };
    IUnknown& m_owner;
    IID m_events;
    std::vector<Sink> m_sinks;
    DWORD m_next_cookie = 1;
};
