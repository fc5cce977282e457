// The exports of libkelvane.so: how a host finds, creates and registers the control.
#include "control/kelvane_ctrl.h"
#include "control/kelvane_proppage.h"
#include "control/kelvane_registration.h"
#include "platform/com/class_factory.h"

namespace {

ComModule& module() {
    static ComModule m;
    return m;
}

const ClassEntry kClasses[] = {
    {CLSID_Kelvane, kKelvaneProgId, kKelvaneTypeName},
    {CLSID_KelvanePropPage, kKelvanePropPageProgId, kKelvanePropPageTypeName},
    {GUID_NULL, nullptr, nullptr},
};

}  // namespace

#define KELVANE_EXPORT extern "C" __attribute__((visibility("default")))

KELVANE_EXPORT HRESULT DllGetClassObject(REFCLSID clsid, REFIID riid, void** object) {
    if (!object) return E_POINTER;
    *object = nullptr;
    if (clsid == CLSID_Kelvane)
        return make_com<ClassFactory<CKelvaneCtrl>>(module())->QueryInterface(riid, object);
    if (clsid == CLSID_KelvanePropPage)
        return make_com<ClassFactory<CKelvanePropPage>>(module())->QueryInterface(riid, object);
    return CLASS_E_CLASSNOTAVAILABLE;
}

KELVANE_EXPORT HRESULT DllCanUnloadNow() {
    return module().can_unload() ? S_OK : S_FALSE;
}

KELVANE_EXPORT const ClassEntry* DllGetClassTable() {
    return kClasses;
}

KELVANE_EXPORT HRESULT DllRegisterServer() {
    UserRegistryStore store;
    return register_kelvane(store, module_path_of(reinterpret_cast<const void*>(&module)));
}

KELVANE_EXPORT HRESULT DllUnregisterServer() {
    UserRegistryStore store;
    return unregister_kelvane(store);
}
