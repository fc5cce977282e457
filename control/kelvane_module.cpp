// The exports of libkelvane.so: how a host finds and creates the control.
#include "control/kelvane_ctrl.h"
#include "platform/com/class_factory.h"

namespace {

ComModule& module() {
    static ComModule m;
    return m;
}

const ClassEntry kClasses[] = {
    {CLSID_Kelvane, kKelvaneProgId, kKelvaneTypeName},
    {GUID_NULL, nullptr, nullptr},
};

}  // namespace

#define KELVANE_EXPORT extern "C" __attribute__((visibility("default")))

KELVANE_EXPORT HRESULT DllGetClassObject(REFCLSID clsid, REFIID riid, void** object) {
    if (!object) return E_POINTER;
    *object = nullptr;
    if (clsid != CLSID_Kelvane) return CLASS_E_CLASSNOTAVAILABLE;
    auto factory = make_com<ClassFactory<CKelvaneCtrl>>(module());
    return factory->QueryInterface(riid, object);
}

KELVANE_EXPORT HRESULT DllCanUnloadNow() {
    return module().can_unload() ? S_OK : S_FALSE;
}

KELVANE_EXPORT const ClassEntry* DllGetClassTable() {
    return kClasses;
}
