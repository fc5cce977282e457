#include "tools/verbs/registration_verbs.h"

#include <dlfcn.h>

#include <filesystem>
#include <iostream>
#include <string>
#include <string_view>

#include "platform/com/activation.h"
#include "platform/com/registry.h"

namespace {

constexpr std::string_view kRegisterUsage =
    "usage: kelvane register [LIBRARY]\n"
    "\n"
    "Registers the control library LIBRARY (default: libkelvane.so beside this program) in the\n"
    "per-user registry, $XDG_CONFIG_HOME/quillon/registry (else ~/.config/quillon/registry), as\n"
    "an installer would: its type library, the control class (ProgID KELVANE.KelvaneCtrl.1) and\n"
    "its property page, with LIBRARY's absolute path. Afterwards a host in any folder creates\n"
    "the control by its class identifier or ProgID. LIBRARY may also be another component's\n"
    "library, such as libmp3enc.so.\n"
    "Exit status: 0 on success, 1 when the library or the registry failed, 2 on bad usage.\n";

constexpr std::string_view kUnregisterUsage =
    "usage: kelvane unregister [LIBRARY]\n"
    "\n"
    "Removes what `kelvane register LIBRARY` wrote (default: libkelvane.so beside this program)\n"
    "from the per-user registry, $XDG_CONFIG_HOME/quillon/registry (else\n"
    "~/.config/quillon/registry). Hosts then find the control only beside their own program.\n"
    "Unregistering what is not registered succeeds.\n"
    "Exit status: 0 on success, 1 when the library or the registry failed, 2 on bad usage.\n";

std::string_view usage(std::string_view verb) {
    return verb == "register" ? kRegisterUsage : kUnregisterUsage;
}

// Self-registration results are not the general runtime's texts (their numbers are shared
// with connection points).
std::string result_text(HRESULT hr) {
    if (hr == SELFREG_E_TYPELIB) return "type library registration failed";
    if (hr == SELFREG_E_CLASS) return "class registration failed";
    return hresult_text(hr);
}

int run(std::string_view verb, const char* export_name, std::span<char*> args) {
    std::filesystem::path library = executable_folder() / "libkelvane.so";
    if (!args.empty()) {
        const std::string_view arg = args[0];
        if (arg == "--help" || arg == "-h") {
            std::cout << usage(verb);
            return 0;
        }
        if (args.size() > 1 || (arg.size() > 1 && arg.front() == '-')) {
            std::cerr << usage(verb);
            return 2;
        }
        library = std::filesystem::absolute(args[0]);
    }
    // The library records its own path when it registers, so it is loaded by an absolute one.
    void* handle = ::dlopen(library.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!handle) {
        std::cerr << "kelvane " << verb << ": cannot load " << library.string() << ": "
                  << ::dlerror() << '\n';
        return 1;
    }
    using Export = HRESULT (*)();
    const auto entry = reinterpret_cast<Export>(::dlsym(handle, export_name));
    if (!entry) {
        std::cerr << "kelvane " << verb << ": " << library.string() << " has no " << export_name
                  << '\n';
        return 1;
    }
    const HRESULT hr = entry();
    const auto registry = RegistryFile::default_path().string();
    if (FAILED(hr)) {
        char code[16];
        std::snprintf(code, sizeof code, "0x%08X", static_cast<unsigned>(hr));
        std::cerr << "kelvane " << verb << ": " << library.string() << ": " << code << ' '
                  << result_text(hr) << " (" << registry << ")\n";
        return 1;
    }
    std::cout << (verb == "register" ? "registered " : "unregistered ") << library.string()
              << (verb == "register" ? " in " : " from ") << registry << '\n';
    return 0;
}

}  // namespace

int register_verb(std::span<char*> args) {
    return run("register", "DllRegisterServer", args);
}

int unregister_verb(std::span<char*> args) {
    return run("unregister", "DllUnregisterServer", args);
}
