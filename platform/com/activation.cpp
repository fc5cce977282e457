#include "platform/com/activation.h"

#include <dlfcn.h>

#include <algorithm>
#include <map>
#include <mutex>
#include <string>
#include <system_error>
#include <vector>

#include "platform/com/registry.h"
#include "platform/com/typeinfo.h"

namespace {

struct LoadedModule {
    void* handle = nullptr;
    DllGetClassObjectFn get_class_object = nullptr;
    DllGetClassTableFn get_class_table = nullptr;
};

// Modules are never unloaded: objects and factories they made may outlive any bookkeeping here.
class ModuleCache {
  public:
    const LoadedModule* load(const std::filesystem::path& path) {
        std::lock_guard lock(m_mutex);
        const std::string key = path.string();
        if (auto it = m_modules.find(key); it != m_modules.end())
            return it->second.handle ? &it->second : nullptr;
        LoadedModule module;
        module.handle = ::dlopen(key.c_str(), RTLD_NOW | RTLD_LOCAL);
        if (module.handle) {
            module.get_class_object =
                reinterpret_cast<DllGetClassObjectFn>(::dlsym(module.handle, "DllGetClassObject"));
            module.get_class_table =
                reinterpret_cast<DllGetClassTableFn>(::dlsym(module.handle, "DllGetClassTable"));
        }
        auto& stored = m_modules[key] = module;
        return stored.handle ? &stored : nullptr;
    }

  private:
    std::mutex m_mutex;
    std::map<std::string, LoadedModule> m_modules;
};

ModuleCache& modules() {
    static ModuleCache cache;
    return cache;
}

RegistryFile current_registry() {
    return RegistryFile::load(RegistryFile::default_path());
}

// Shared libraries beside the executable, then those of the installed module folder, each
// folder in name order so that the choice is stable.
std::vector<std::filesystem::path> neighbour_modules() {
    std::vector<std::filesystem::path> found;
    for (const auto& folder : {executable_folder(), executable_folder() / kInstalledModuleFolder}) {
        std::vector<std::filesystem::path> here;
        std::error_code error;
        for (const auto& entry : std::filesystem::directory_iterator(folder, error)) {
            const auto name = entry.path().filename().string();
            if (entry.is_regular_file(error) && name.size() > 3 && name.ends_with(".so"))
                here.push_back(entry.path());
        }
        std::sort(here.begin(), here.end());
        found.insert(found.end(), here.begin(), here.end());
    }
    return found;
}

bool serves(const LoadedModule& module, REFCLSID clsid) {
    if (!module.get_class_table) return false;
    for (const ClassEntry* e = module.get_class_table(); e && e->prog_id; ++e)
        if (e->clsid == clsid) return true;
    return false;
}

HRESULT factory_from(const LoadedModule* module, REFCLSID clsid, REFIID riid, void** object) {
    if (!module) return CO_E_DLLNOTFOUND;
    if (!module->get_class_object) return CO_E_ERRORINDLL;
    return module->get_class_object(clsid, riid, object);
}

}  // namespace

std::filesystem::path executable_folder() {
    std::error_code error;
    const auto self = std::filesystem::read_symlink("/proc/self/exe", error);
    return error ? std::filesystem::current_path() : self.parent_path();
}

HRESULT CLSIDFromString(const char* text, CLSID* clsid) {
    if (!text || !clsid) return E_POINTER;
    const auto parsed = guid_from_string(text);
    if (!parsed) return CO_E_CLASSSTRING;
    *clsid = *parsed;
    return S_OK;
}

HRESULT CLSIDFromProgID(const char* prog_id, CLSID* clsid) {
    if (!prog_id || !clsid) return E_POINTER;
    if (auto text = current_registry().value(std::string(prog_id) + "\\CLSID"))
        if (auto parsed = guid_from_string(*text)) {
            *clsid = *parsed;
            return S_OK;
        }
    for (const auto& path : neighbour_modules()) {
        const LoadedModule* module = modules().load(path);
        if (!module || !module->get_class_table) continue;
        for (const ClassEntry* e = module->get_class_table(); e && e->prog_id; ++e)
            if (names_equal(e->prog_id, prog_id)) {
                *clsid = e->clsid;
                return S_OK;
            }
    }
    return CO_E_CLASSSTRING;
}

HRESULT CoGetClassObject(REFCLSID clsid, DWORD context, void* /*reserved*/, REFIID riid,
                         void** object) {
    if (!object) return E_POINTER;
    *object = nullptr;
    if (!(context & CLSCTX_INPROC_SERVER)) return REGDB_E_CLASSNOTREG;
    const std::string key = "CLSID\\" + guid_to_string(clsid) + "\\InprocServer32";
    if (auto path = current_registry().value(key)) {
        std::error_code error;
        // A stale entry (the library moved or was deleted) falls through to the lookup below.
        if (std::filesystem::exists(*path, error)) {
            const HRESULT hr = factory_from(modules().load(*path), clsid, riid, object);
            if (SUCCEEDED(hr)) return hr;
        }
    }
    for (const auto& path : neighbour_modules()) {
        const LoadedModule* module = modules().load(path);
        if (module && serves(*module, clsid)) return factory_from(module, clsid, riid, object);
    }
    return REGDB_E_CLASSNOTREG;
}

HRESULT CoCreateInstance(REFCLSID clsid, IUnknown* outer, DWORD context, REFIID riid,
                         void** object) {
    if (!object) return E_POINTER;
    *object = nullptr;
    ComPtr<IClassFactory> factory;
    if (HRESULT hr =
            CoGetClassObject(clsid, context, nullptr, IClassFactory::iid, factory.put_void());
        FAILED(hr))
        return hr;
    return factory->CreateInstance(outer, riid, object);
}

HRESULT class_from_text(std::string_view text, CLSID* clsid) {
    const std::string copy(text);
    if (!copy.empty() && copy.front() == '{') return CLSIDFromString(copy.c_str(), clsid);
    return CLSIDFromProgID(copy.c_str(), clsid);
}
