// Late-bound calls: IDispatch by DISPID and by name, and a table-driven implementation of it that
// checks argument counts, converts argument types and refuses writes to read-only properties in
// one place for every object.
#pragma once

#include <span>
#include <vector>

#include "platform/com/typeinfo.h"
#include "platform/com/unknown.h"

inline constexpr WORD DISPATCH_METHOD = 1;
inline constexpr WORD DISPATCH_PROPERTYGET = 2;
inline constexpr WORD DISPATCH_PROPERTYPUT = 4;

// Arguments travel last-first, as automation passes them.
struct DISPPARAMS {
    VARIANT* rgvarg;
    DISPID* rgdispidNamedArgs;
    UINT cArgs;
    UINT cNamedArgs;
};

struct EXCEPINFO {
    WORD wCode;
    HRESULT scode;
};

struct IDispatch : IUnknown {
    static constexpr IID iid{0x00020400, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
    virtual HRESULT GetTypeInfoCount(UINT* count) = 0;
    virtual HRESULT GetTypeInfo(UINT index, LCID lcid, const InterfaceDesc** info) = 0;
    virtual HRESULT GetIDsOfNames(REFIID riid, const OLECHAR* const* names, UINT count, LCID lcid,
                                  DISPID* ids) = 0;
    virtual HRESULT Invoke(DISPID member, REFIID riid, LCID lcid, WORD flags, DISPPARAMS* params,
                           VARIANT* result, EXCEPINFO* exception, UINT* arg_error) = 0;

  protected:
    ~IDispatch() = default;
};

// One validated call: what to do and its arguments, first to last, already in the member's types.
struct DispatchCall {
    enum class Op { get, put, call } op;
    std::vector<Variant> args;
};

// Checks a call against a member's description and converts its arguments.
HRESULT prepare_dispatch_call(const MemberDesc& member, WORD flags, const DISPPARAMS* params,
                              DispatchCall& call, UINT* arg_error);

// GetIDsOfNames over a description: the first name is the member, the rest its parameters.
HRESULT ids_of_names(const InterfaceDesc& desc, const OLECHAR* const* names, UINT count,
                     DISPID* ids);

// Handlers of one member of an object of type T. A property has `get` and, unless read-only,
// `put`; a method has `call`.
template <typename T>
struct DispatchEntry {
    DISPID dispid;
    Variant (*get)(T&) = nullptr;
    void (*put)(T&, const Variant&) = nullptr;
    Variant (*call)(T&, std::span<const Variant>) = nullptr;
};

template <typename T>
HRESULT dispatch_invoke(T& object, const InterfaceDesc& desc,
                        std::span<const DispatchEntry<T>> entries, DISPID member, WORD flags,
                        DISPPARAMS* params, VARIANT* result, UINT* arg_error) {
    const MemberDesc* m = desc.find(member);
    const DispatchEntry<T>* entry = nullptr;
    for (const auto& e : entries)
        if (e.dispid == member) entry = &e;
    if (!m || !entry) return DISP_E_MEMBERNOTFOUND;
    DispatchCall call;
    if (HRESULT hr = prepare_dispatch_call(*m, flags, params, call, arg_error); FAILED(hr))
        return hr;
    Variant value;
    switch (call.op) {
        case DispatchCall::Op::get:
            value = entry->get(object);
            break;
        case DispatchCall::Op::put:
            entry->put(object, call.args.front());
            break;
        case DispatchCall::Op::call:
            value = entry->call(object, call.args);
            break;
    }
    if (result) {
        VariantClear(result);
        VARIANT& raw = const_cast<VARIANT&>(value.raw());
        *result = raw;
        VariantInit(&raw);
    }
    return S_OK;
}

// Client side: calls by name with arguments given first to last.
HRESULT dispatch_get(IDispatch* object, std::string_view name, Variant& result);
HRESULT dispatch_put(IDispatch* object, std::string_view name, const Variant& value);
HRESULT dispatch_call(IDispatch* object, std::string_view name, std::span<const Variant> args,
                      Variant* result = nullptr);
// By DISPID, the way events reach their sinks and late-bound hosts call.
HRESULT dispatch_invoke_method(IDispatch* object, DISPID id, std::span<const Variant> args,
                               Variant* result = nullptr);
HRESULT dispatch_get(IDispatch* object, DISPID id, Variant& result);
HRESULT dispatch_put(IDispatch* object, DISPID id, const Variant& value);
