#include "platform/com/dispatch.h"

namespace {

inline constexpr IID IID_NULL{};

HRESULT convert_arguments(const DISPPARAMS& params, std::span<const ParamDesc> types,
                          DispatchCall& call, UINT* arg_error) {
    call.args.clear();
    call.args.reserve(types.size());
    for (std::size_t i = 0; i < types.size(); ++i) {
        // rgvarg holds the last argument first.
        const VARIANT& given = params.rgvarg[params.cArgs - 1 - i];
        Variant converted;
        if (HRESULT hr = VariantChangeType(converted.out(), &given, 0, types[i].type); FAILED(hr)) {
            if (arg_error) *arg_error = static_cast<UINT>(params.cArgs - 1 - i);
            return hr == DISP_E_OVERFLOW ? hr : DISP_E_TYPEMISMATCH;
        }
        call.args.push_back(std::move(converted));
    }
    return S_OK;
}

}  // namespace

HRESULT prepare_dispatch_call(const MemberDesc& member, WORD flags, const DISPPARAMS* params,
                              DispatchCall& call, UINT* arg_error) {
    static const DISPPARAMS no_params{nullptr, nullptr, 0, 0};
    const DISPPARAMS& p = params ? *params : no_params;
    if (p.cArgs > 0 && !p.rgvarg) return E_POINTER;

    if (member.kind == MemberKind::property) {
        if (flags & DISPATCH_PROPERTYPUT) {
            // The one named argument a property write may carry is the value itself.
            if (p.cNamedArgs > 1 ||
                (p.cNamedArgs == 1 && p.rgdispidNamedArgs[0] != DISPID_PROPERTYPUT))
                return DISP_E_NONAMEDARGS;
            if (p.cArgs != 1) return DISP_E_BADPARAMCOUNT;
            if (member.read_only) return CTL_E_SETNOTSUPPORTED;
            const ParamDesc value{"value", member.type};
            call.op = DispatchCall::Op::put;
            return convert_arguments(p, {&value, 1}, call, arg_error);
        }
        if (flags & (DISPATCH_PROPERTYGET | DISPATCH_METHOD)) {
            if (p.cNamedArgs != 0) return DISP_E_NONAMEDARGS;
            if (p.cArgs != 0) return DISP_E_BADPARAMCOUNT;
            call.op = DispatchCall::Op::get;
            call.args.clear();
            return S_OK;
        }
        return DISP_E_MEMBERNOTFOUND;
    }
    if (!(flags & DISPATCH_METHOD)) return DISP_E_MEMBERNOTFOUND;
    if (p.cNamedArgs != 0) return DISP_E_NONAMEDARGS;
    if (p.cArgs != member.params.size()) return DISP_E_BADPARAMCOUNT;
    call.op = DispatchCall::Op::call;
    return convert_arguments(p, member.params, call, arg_error);
}

HRESULT ids_of_names(const InterfaceDesc& desc, const OLECHAR* const* names, UINT count,
                     DISPID* ids) {
    if (count == 0) return S_OK;
    if (!names || !ids) return E_POINTER;
    const MemberDesc* member = desc.find(std::string_view(names[0] ? names[0] : ""));
    ids[0] = member ? member->dispid : DISPID_UNKNOWN;
    HRESULT hr = member ? S_OK : DISP_E_UNKNOWNNAME;
    for (UINT i = 1; i < count; ++i) {
        ids[i] = DISPID_UNKNOWN;
        if (member)
            for (std::size_t k = 0; k < member->params.size(); ++k)
                if (names[i] && names_equal(member->params[k].name, names[i]))
                    ids[i] = static_cast<DISPID>(k);
        if (ids[i] == DISPID_UNKNOWN) hr = DISP_E_UNKNOWNNAME;
    }
    return hr;
}

namespace {

HRESULT id_of(IDispatch* object, std::string_view name, DISPID& id) {
    if (!object) return E_POINTER;
    const std::string copy(name);
    const OLECHAR* names[] = {copy.c_str()};
    return object->GetIDsOfNames(IID_NULL, names, 1, 0, &id);
}

HRESULT invoke_with(IDispatch* object, DISPID id, WORD flags, std::span<const Variant> args,
                    bool is_put, Variant* result) {
    std::vector<VARIANT> reversed(args.size());
    for (std::size_t i = 0; i < args.size(); ++i) reversed[args.size() - 1 - i] = args[i].raw();
    DISPID put_id = DISPID_PROPERTYPUT;
    DISPPARAMS params{reversed.data(), is_put ? &put_id : nullptr,
                      static_cast<UINT>(reversed.size()), is_put ? 1u : 0u};
    VARIANT out;
    VariantInit(&out);
    // The arguments stay owned by `args`: the callee only reads them.
    const HRESULT hr =
        object->Invoke(id, IID_NULL, 0, flags, &params, result ? &out : nullptr, nullptr, nullptr);
    if (result) *result = Variant::adopt(out);
    return hr;
}

}  // namespace

HRESULT dispatch_get(IDispatch* object, std::string_view name, Variant& result) {
    DISPID id;
    if (HRESULT hr = id_of(object, name, id); FAILED(hr)) return hr;
    return dispatch_get(object, id, result);
}

HRESULT dispatch_put(IDispatch* object, std::string_view name, const Variant& value) {
    DISPID id;
    if (HRESULT hr = id_of(object, name, id); FAILED(hr)) return hr;
    return dispatch_put(object, id, value);
}

HRESULT dispatch_get(IDispatch* object, DISPID id, Variant& result) {
    if (!object) return E_POINTER;
    return invoke_with(object, id, DISPATCH_PROPERTYGET, {}, false, &result);
}

HRESULT dispatch_put(IDispatch* object, DISPID id, const Variant& value) {
    if (!object) return E_POINTER;
    return invoke_with(object, id, DISPATCH_PROPERTYPUT, {&value, 1}, true, nullptr);
}

HRESULT dispatch_call(IDispatch* object, std::string_view name, std::span<const Variant> args,
                      Variant* result) {
    DISPID id;
    if (HRESULT hr = id_of(object, name, id); FAILED(hr)) return hr;
    return invoke_with(object, id, DISPATCH_METHOD, args, false, result);
}

HRESULT dispatch_invoke_method(IDispatch* object, DISPID id, std::span<const Variant> args,
                               Variant* result) {
    if (!object) return E_POINTER;
    return invoke_with(object, id, DISPATCH_METHOD, args, false, result);
}
