#include "control/kelvane_registration.h"

#include "control/kelvane_proppage.h"
#include "control/kelvane_resources.h"
#include "control/kelvane_type_info.h"

namespace {

std::string resource_string(UINT id) {
    char text[256];
    LoadStringA(kelvane_instance(), id, text, sizeof text);
    return text;
}

}  // namespace

HRESULT register_kelvane(RegistryStore& store, const std::filesystem::path& library) {
    if (library.empty()) return SELFREG_E_TYPELIB;
    const TypeLibDesc& typelib = kelvane_typelib_desc();
    register_type_library(store.registry(), typelib, library);
    if (!store.commit()) return SELFREG_E_TYPELIB;

    register_control_class(
        store.registry(),
        {CLSID_Kelvane, kKelvaneProgId, resource_string(IDS_KELVANE), library, IDB_KELVANE,
         kKelvaneMiscStatus, false, typelib.libid, typelib.major_version, typelib.minor_version});
    if (!store.commit()) return SELFREG_E_CLASS;

    register_class(store.registry(), {CLSID_KelvanePropPage, kKelvanePropPageProgId,
                                      resource_string(IDS_KELVANE_PPG), library});
    if (!store.commit()) return SELFREG_E_CLASS;
    return S_OK;
}

HRESULT unregister_kelvane(RegistryStore& store) {
    unregister_type_library(store.registry(), kelvane_typelib_desc());
    if (!store.commit()) return SELFREG_E_TYPELIB;
    unregister_class(store.registry(), CLSID_Kelvane, kKelvaneProgId);
    if (!store.commit()) return SELFREG_E_CLASS;
    unregister_class(store.registry(), CLSID_KelvanePropPage, kKelvanePropPageProgId);
    if (!store.commit()) return SELFREG_E_CLASS;
    return S_OK;
}
