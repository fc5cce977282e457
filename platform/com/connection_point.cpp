#include "platform/com/connection_point.h"

HRESULT ConnectionPoint::QueryInterface(REFIID riid, void** object) {
    if (!object) return E_POINTER;
    if (riid == IUnknown::iid || riid == IConnectionPoint::iid) {
        *object = static_cast<IConnectionPoint*>(this);
        AddRef();
        return S_OK;
    }
    *object = nullptr;
    return E_NOINTERFACE;
}

HRESULT ConnectionPoint::GetConnectionInterface(IID* iid) {
    if (!iid) return E_POINTER;
    *iid = m_events;
    return S_OK;
}

HRESULT ConnectionPoint::Advise(IUnknown* sink, DWORD* cookie) {
    if (!sink || !cookie) return E_POINTER;
    ComPtr<IDispatch> target;
    if (FAILED(sink->QueryInterface(m_events, target.put_void())) &&
        FAILED(sink->QueryInterface(IDispatch::iid, target.put_void()))) {
        *cookie = 0;
        return CONNECT_E_CANNOTCONNECT;
    }
    *cookie = m_next_cookie++;
    m_sinks.push_back({*cookie, std::move(target)});
    return S_OK;
}

HRESULT ConnectionPoint::Unadvise(DWORD cookie) {
    for (auto it = m_sinks.begin(); it != m_sinks.end(); ++it)
        if (it->cookie == cookie) {
            m_sinks.erase(it);
            return S_OK;
        }
    return CONNECT_E_NOCONNECTION;
}

void ConnectionPoint::fire(DISPID event, std::span<const Variant> args) {
    // A snapshot keeps the walk valid when a handler connects or disconnects a sink.
    std::vector<ComPtr<IDispatch>> targets;
    targets.reserve(m_sinks.size());
    for (const auto& sink : m_sinks) targets.push_back(sink.target);
    for (const auto& target : targets) dispatch_invoke_method(target.get(), event, args);
}
