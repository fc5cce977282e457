#include "platform/com/self_registration.h"

#include <dlfcn.h>

#include <system_error>

namespace {

// The class that marshals dispatch interfaces, named for every automation interface.
constexpr const char* kDispatchProxy = "{00020420-0000-0000-C000-000000000046}";

std::string version_text(WORD major, WORD minor) {
    return std::to_string(major) + "." + std::to_string(minor);
}

std::string library_key(const TypeLibDesc& library) {
    return "TypeLib\\" + guid_to_string(library.libid) + "\\" +
           version_text(library.major_version, library.minor_version);
}

void register_server(RegistryFile& registry, const std::string& class_key,
                     const std::string& type_name, const std::filesystem::path& library,
                     const std::string& prog_id, const CLSID& clsid) {
    registry.set_value(class_key, "", type_name);
    registry.set_value(class_key + "\\InprocServer32", "", library.string());
    registry.set_value(class_key + "\\InprocServer32", "ThreadingModel", "Apartment");
    if (prog_id.empty()) return;
    registry.set_value(class_key + "\\ProgID", "", prog_id);
    registry.set_value(prog_id, "", type_name);
    registry.set_value(prog_id + "\\CLSID", "", guid_to_string(clsid));
}

}  // namespace

UserRegistryStore::UserRegistryStore()
    : m_path(RegistryFile::default_path()), m_registry(RegistryFile::load(m_path)) {}

bool UserRegistryStore::commit() {
    return m_registry.save(m_path);
}

void register_type_library(RegistryFile& registry, const TypeLibDesc& library,
                           const std::filesystem::path& path) {
    const std::string key = library_key(library);
    registry.set_value(key, "", std::string(library.doc));
    registry.set_value(key + "\\0\\linux", "", path.string());
    registry.set_value(key + "\\FLAGS", "", "0");
    registry.set_value(key + "\\HELPDIR", "", path.parent_path().string());
    const std::string libid = guid_to_string(library.libid);
    for (const InterfaceDesc* desc : library.interfaces) {
        const std::string interface_key = "Interface\\" + guid_to_string(desc->iid);
        registry.set_value(interface_key, "", std::string(desc->name));
        registry.set_value(interface_key + "\\ProxyStubClsid32", "", kDispatchProxy);
        registry.set_value(interface_key + "\\TypeLib", "", libid);
        registry.set_value(interface_key + "\\TypeLib", "Version",
                           version_text(library.major_version, library.minor_version));
    }
}

void unregister_type_library(RegistryFile& registry, const TypeLibDesc& library) {
    registry.delete_tree(library_key(library));
    for (const InterfaceDesc* desc : library.interfaces)
        registry.delete_tree("Interface\\" + guid_to_string(desc->iid));
}

void register_control_class(RegistryFile& registry, const ControlClassRegistration& control) {
    const std::string key = "CLSID\\" + guid_to_string(control.clsid);
    register_server(registry, key, control.type_name, control.library, control.prog_id,
                    control.clsid);
    registry.set_value(key + "\\Control", "", "");
    if (control.insertable) registry.set_value(key + "\\Insertable", "", "");
    registry.set_value(key + "\\MiscStatus", "", "0");
    registry.set_value(key + "\\MiscStatus\\1", "", std::to_string(control.misc_status));
    registry.set_value(key + "\\ToolboxBitmap32", "",
                       control.library.string() + ", " + std::to_string(control.toolbox_bitmap));
    registry.set_value(key + "\\TypeLib", "", guid_to_string(control.libid));
    registry.set_value(key + "\\Version", "",
                       version_text(control.major_version, control.minor_version));
}

void register_class(RegistryFile& registry, const ClassRegistration& server) {
    register_server(registry, "CLSID\\" + guid_to_string(server.clsid), server.type_name,
                    server.library, server.prog_id, server.clsid);
}

void unregister_class(RegistryFile& registry, const CLSID& clsid, const std::string& prog_id) {
    registry.delete_tree("CLSID\\" + guid_to_string(clsid));
    // A ProgID that another class has taken over since is left to that class.
    if (prog_id.empty()) return;
    const auto named = registry.value(prog_id + "\\CLSID");
    const auto parsed = named ? guid_from_string(*named) : std::nullopt;
    if (!named || (parsed && *parsed == clsid)) registry.delete_tree(prog_id);
}

std::filesystem::path module_path_of(const void* address) {
    Dl_info info{};
    if (!::dladdr(address, &info) || !info.dli_fname || !*info.dli_fname) return {};
    std::error_code error;
    auto path = std::filesystem::weakly_canonical(std::filesystem::absolute(info.dli_fname), error);
    return error ? std::filesystem::path{} : path;
}
