// The exports of libmp3enc.so: how a host finds, creates and registers the MP3 encoder and the
// WAV converter.
#include "encoder/mp3enc_ctrl.h"
#include "encoder/mp3enc_registration.h"
#include "encoder/wavconv_ctrl.h"
#include "platform/com/class_factory.h"

namespace {

ComModule& module() {
    static ComModule m;
    return m;
}

const ClassEntry kClasses[] = {
    {mp3enc::CLSID_Mp3Enc, mp3enc::kProgId, mp3enc::kTypeName},
    {mp3enc::CLSID_WavConv, mp3enc::kWavConvProgId, mp3enc::kWavConvTypeName},
    {GUID_NULL, nullptr, nullptr},
};

}  // namespace

#define MP3ENC_EXPORT extern "C" __attribute__((visibility("default")))

MP3ENC_EXPORT HRESULT DllGetClassObject(REFCLSID clsid, REFIID riid, void** object) {
    if (!object) return E_POINTER;
    *object = nullptr;
    if (clsid == mp3enc::CLSID_Mp3Enc)
        return make_com<ClassFactory<CMp3Enc>>(module())->QueryInterface(riid, object);
    if (clsid == mp3enc::CLSID_WavConv)
        return make_com<ClassFactory<CWavConv>>(module())->QueryInterface(riid, object);
    return CLASS_E_CLASSNOTAVAILABLE;
}

MP3ENC_EXPORT HRESULT DllCanUnloadNow() {
    return module().can_unload() ? S_OK : S_FALSE;
}

MP3ENC_EXPORT const ClassEntry* DllGetClassTable() {
    return kClasses;
}

MP3ENC_EXPORT HRESULT DllRegisterServer() {
    UserRegistryStore store;
    return mp3enc::register_server(store, module_path_of(reinterpret_cast<const void*>(&module)));
}

MP3ENC_EXPORT HRESULT DllUnregisterServer() {
    UserRegistryStore store;
    return mp3enc::unregister_server(store);
}
