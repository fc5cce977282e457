#include "tools/verbs/registration_verbs.h"

#include <dlfcn.h>

#include <filesystem>
#include <iostream>
#include <string>
#include <string_view>

#include "platform/com/activation.h"
#include "platform/com/registry.h"

namespace {

constexpr std::string_view kUsage =
    "usage: kelvane %s [LIBRARY]\n"
    "\n"
    "%s the control library LIBRARY (default: libkelvane.so beside this program) %s the\n"
    "per-user registry, $XDG_CONFIG_HOME/quillon/registry (else ~/.config/quillon/registry).\n"
    "A registered control is created by its class identifier or by its ProgID\n"
    "KELVANE.KelvaneCtrl.1 from any folder.\n"
    "Exit status: 0 on success, 1 when the library or the registry failed, 2 on bad usage.\n";

std::string usage(std::string_view verb) {
    const bool adding = verb == "register";
    std::string text(kUsage);
    const std::string parts[] = {std::string(verb), adding ? "Registers" : "Unregisters",
                                 adding ? "in" : "from"};
    for (const std::string& part : parts) text.replace(text.find("%s"), 2, part);
    return text;
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
