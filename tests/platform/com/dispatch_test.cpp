#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/com/connection_point.h"
#include "platform/com/dispatch.h"

namespace {

// A small automation object: a read-write counter, a read-only label and an Add method.
const InterfaceDesc kDesc{
    IID{0x1, 0x2, 0x3, {4, 5, 6, 7, 8, 9, 10, 11}},
    "_DCounter",
    "test interface",
    {
        {1, "Count", MemberKind::property, VT_I2},
        {2, "Label", MemberKind::property, VT_BSTR, true},
        {3, "Add", MemberKind::method, VT_I4, false, {{"Left", VT_I4}, {"Right", VT_I2}}},
    }};

struct Counter final : IDispatch {
    SHORT count = 0;
    RefCount refs;

    HRESULT QueryInterface(REFIID riid, void** object) override {
        if (riid != IUnknown::iid && riid != IDispatch::iid) return E_NOINTERFACE;
        *object = this;
        AddRef();
        return S_OK;
    }
    ULONG AddRef() override { return refs.add(); }
    ULONG Release() override { return refs.release(); }  // lives on the stack
    HRESULT GetTypeInfoCount(UINT* n) override { return *n = 1, S_OK; }
    HRESULT GetTypeInfo(UINT, LCID, const InterfaceDesc** info) override {
        return *info = &kDesc, S_OK;
    }
    HRESULT GetIDsOfNames(REFIID, const OLECHAR* const* names, UINT n, LCID, DISPID* ids) override {
        return ids_of_names(kDesc, names, n, ids);
    }
    HRESULT Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS* params, VARIANT* result,
                   EXCEPINFO*, UINT* arg_error) override {
        static const DispatchEntry<Counter> entries[] = {
            {1, [](Counter& c) { return Variant::i2(c.count); },
             [](Counter& c, const Variant& v) { c.count = v.as_i2(); }},
            {2, [](Counter&) { return Variant::string("fixed"); }},
            {3, nullptr, nullptr,
             [](Counter&, std::span<const Variant> a) {
                 return Variant::i4(a[0].as_i4() * 100 + a[1].as_i2());
             }},
        };
        return dispatch_invoke<Counter>(*this, kDesc, entries, id, flags, params, result,
                                        arg_error);
    }
};

TEST(Dispatch, NamesResolveWithoutCaseAndReachTheSameMemberAsTheirDispid) {
    Counter c;
    ASSERT_EQ(dispatch_put(&c, "count", Variant::i4(12)), S_OK);
    Variant by_name, by_id;
    ASSERT_EQ(dispatch_get(&c, "COUNT", by_name), S_OK);
    DISPPARAMS none{nullptr, nullptr, 0, 0};
    VARIANT raw;
    VariantInit(&raw);
    ASSERT_EQ(c.Invoke(1, IID{}, 0, DISPATCH_PROPERTYGET, &none, &raw, nullptr, nullptr), S_OK);
    by_id = Variant::adopt(raw);
    EXPECT_EQ(by_name.type(), VT_I2);
    EXPECT_EQ(by_name.as_i2(), 12);
    EXPECT_EQ(by_id.as_i2(), 12);

    const OLECHAR* names[] = {"add", "right", "LEFT", "middle"};
    DISPID ids[4];
    EXPECT_EQ(c.GetIDsOfNames(IID{}, names, 4, 0, ids), DISP_E_UNKNOWNNAME);
    EXPECT_EQ(ids[0], 3);
    EXPECT_EQ(ids[1], 1);
    EXPECT_EQ(ids[2], 0);
    EXPECT_EQ(ids[3], DISPID_UNKNOWN);
    Variant ignored;
    EXPECT_EQ(dispatch_get(&c, "Nothing", ignored), DISP_E_UNKNOWNNAME);
}

TEST(Dispatch, ArgumentsArriveInOrderConvertedToTheDeclaredTypes) {
    Counter c;
    Variant result;
    const Variant args[] = {Variant::string("7"), Variant::r8(3.0)};
    ASSERT_EQ(dispatch_call(&c, "Add", args, &result), S_OK);
    EXPECT_EQ(result.type(), VT_I4);
    EXPECT_EQ(result.as_i4(), 703);
}

TEST(Dispatch, BadCallsAreRefusedWithTheAutomationCodesAndChangeNothing) {
    Counter c;
    c.count = 4;
    EXPECT_EQ(dispatch_put(&c, "Label", Variant::string("x")), CTL_E_SETNOTSUPPORTED);
    EXPECT_EQ(dispatch_put(&c, "Count", Variant::string("many")), DISP_E_TYPEMISMATCH);
    EXPECT_EQ(dispatch_put(&c, "Count", Variant::i4(40000)), DISP_E_OVERFLOW);
    EXPECT_EQ(c.count, 4);
    const Variant one[] = {Variant::i4(1)};
    EXPECT_EQ(dispatch_call(&c, "Add", one), DISP_E_BADPARAMCOUNT);
    EXPECT_EQ(dispatch_put(&c, "Add", Variant::i4(1)), DISP_E_MEMBERNOTFOUND);
    DISPPARAMS none{nullptr, nullptr, 0, 0};
    EXPECT_EQ(c.Invoke(99, IID{}, 0, DISPATCH_METHOD, &none, nullptr, nullptr, nullptr),
              DISP_E_MEMBERNOTFOUND);
    UINT arg_error = 99;
    VARIANT bad[2];
    bad[0].vt = VT_I2;  // Right, the last argument, comes first
    bad[0].iVal = 1;
    bad[1].vt = VT_BSTR;
    bad[1].bstrVal = SysAllocString("nope");
    DISPPARAMS params{bad, nullptr, 2, 0};
    EXPECT_EQ(c.Invoke(3, IID{}, 0, DISPATCH_METHOD, &params, nullptr, nullptr, &arg_error),
              DISP_E_TYPEMISMATCH);
    EXPECT_EQ(arg_error, 1u);
    VariantClear(&bad[1]);
}

// An event sink that records what reaches it and can act from inside a handler.
struct RecordingSink final : IDispatch {
    RecordingSink(std::vector<std::string>* events, std::string sink_name)
        : log(events), name(std::move(sink_name)) {}
    std::vector<std::string>* log;
    std::string name;
    std::function<void()> on_event;
    RefCount refs;

    HRESULT QueryInterface(REFIID riid, void** object) override {
        if (riid != IUnknown::iid && riid != IDispatch::iid) return E_NOINTERFACE;
        *object = this;
        AddRef();
        return S_OK;
    }
    ULONG AddRef() override { return refs.add(); }
    ULONG Release() override { return refs.release(); }
    HRESULT GetTypeInfoCount(UINT* n) override { return *n = 0, S_OK; }
    HRESULT GetTypeInfo(UINT, LCID, const InterfaceDesc**) override { return E_NOTIMPL; }
    HRESULT GetIDsOfNames(REFIID, const OLECHAR* const*, UINT, LCID, DISPID*) override {
        return DISP_E_UNKNOWNNAME;
    }
    HRESULT Invoke(DISPID id, REFIID, LCID, WORD, DISPPARAMS* p, VARIANT*, EXCEPINFO*,
                   UINT*) override {
        std::string line = name + ":" + std::to_string(id);
        for (UINT i = p->cArgs; i-- > 0;) {
            line += ',';
            line += std::to_string(p->rgvarg[i].lVal);
        }
        log->push_back(line);
        if (on_event) on_event();
        return S_OK;
    }
};

TEST(ConnectionPoint, FiresToEverySinkInOrderAndToleratesUnadviseFromAHandler) {
    Counter owner;
    const IID events{0x9, 0, 0, {}};
    ConnectionPoint point(owner, events);
    std::vector<std::string> log;
    RecordingSink a(&log, "a"), b(&log, "b");
    DWORD cookie_a = 0, cookie_b = 0;
    ASSERT_EQ(point.Advise(&a, &cookie_a), S_OK);
    ASSERT_EQ(point.Advise(&b, &cookie_b), S_OK);
    EXPECT_NE(cookie_a, cookie_b);
    a.on_event = [&] { point.Unadvise(cookie_a); };

    const Variant args[] = {Variant::i4(1), Variant::i4(2)};
    point.fire(7, args);
    point.fire(8, {});
    EXPECT_EQ(log, (std::vector<std::string>{"a:7,1,2", "b:7,1,2", "b:8"}));
    EXPECT_EQ(point.Unadvise(cookie_a), CONNECT_E_NOCONNECTION);
    EXPECT_EQ(point.sink_count(), 1u);
    IID iid;
    point.GetConnectionInterface(&iid);
    EXPECT_EQ(iid, events);
}

}  // namespace
