// Class factories: how a loadable module hands out new objects of its classes.
#pragma once

#include "platform/com/unknown.h"

struct IClassFactory : IUnknown {
    static constexpr IID iid{0x00000001, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
    virtual HRESULT CreateInstance(IUnknown* outer, REFIID riid, void** object) = 0;
    virtual HRESULT LockServer(BOOL lock) = 0;

  protected:
    ~IClassFactory() = default;
};

// The factory of class T. T is constructed with the module and must be a COM object whose
// QueryInterface answers `riid`. Aggregation is not offered.
template <typename T>
class ClassFactory final : public ComObject<IClassFactory> {
  public:
    explicit ClassFactory(ComModule& module) : m_module(module) { m_module.object_created(); }
    ~ClassFactory() override { m_module.object_destroyed(); }

    HRESULT CreateInstance(IUnknown* outer, REFIID riid, void** object) override {
        if (!object) return E_POINTER;
        *object = nullptr;
        if (outer) return CLASS_E_NOAGGREGATION;
        auto instance = make_com<T>(m_module);
        return instance->QueryInterface(riid, object);
    }
    HRESULT LockServer(BOOL lock) override {
        m_module.lock(lock != FALSE);
        return S_OK;
    }

  private:
    ComModule& m_module;
};

// What a loadable module tells about each class it serves; the registration and the lookup
// beside the executable both read it.
struct ClassEntry {
    CLSID clsid;
    const char* prog_id;
    const char* type_name;
};

// The exports of a loadable module, with C linkage.
extern "C" {
using DllGetClassObjectFn = HRESULT (*)(REFCLSID clsid, REFIID riid, void** object);
using DllCanUnloadNowFn = HRESULT (*)();
// Null-terminated (a null prog_id ends the table).
using DllGetClassTableFn = const ClassEntry* (*)();
}
