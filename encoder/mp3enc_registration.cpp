#include "encoder/mp3enc_registration.h"

#include "encoder/mp3enc_ids.h"
#include "encoder/mp3enc_type_info.h"

namespace mp3enc {

HRESULT register_server(RegistryStore& store, const std::filesystem::path& library) {
    if (library.empty()) return SELFREG_E_TYPELIB;
    register_type_library(store.registry(), typelib_desc(), library);
    if (!store.commit()) return SELFREG_E_TYPELIB;
    register_class(store.registry(), {CLSID_Mp3Enc, kProgId, kTypeName, library});
    register_class(store.registry(), {CLSID_WavConv, kWavConvProgId, kWavConvTypeName, library});
    if (!store.commit()) return SELFREG_E_CLASS;
    return S_OK;
}

HRESULT unregister_server(RegistryStore& store) {
    unregister_type_library(store.registry(), typelib_desc());
    if (!store.commit()) return SELFREG_E_TYPELIB;
    unregister_class(store.registry(), CLSID_Mp3Enc, kProgId);
    unregister_class(store.registry(), CLSID_WavConv, kWavConvProgId);
    if (!store.commit()) return SELFREG_E_CLASS;
    return S_OK;
}

}  // namespace mp3enc
