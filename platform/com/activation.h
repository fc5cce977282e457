// Creating objects by class identifier or ProgID. A class is looked up in the per-user registry
// (its InprocServer32 library); when the registry does not know it, the loadable modules beside
// the running executable are asked in turn, then those of the installed module folder (an
// installed program lives in bin/, its modules in lib/quillon/). Modules stay loaded for the life
// of the process.
#pragma once

#include <filesystem>
#include <string_view>

#include "platform/com/class_factory.h"

inline constexpr DWORD CLSCTX_INPROC_SERVER = 0x1;

HRESULT CLSIDFromString(const char* text, CLSID* clsid);
// Registry first ("ProgID\CLSID"), then the class tables of the modules beside the executable.
HRESULT CLSIDFromProgID(const char* prog_id, CLSID* clsid);
HRESULT CoGetClassObject(REFCLSID clsid, DWORD context, void* reserved, REFIID riid, void** object);
HRESULT CoCreateInstance(REFCLSID clsid, IUnknown* outer, DWORD context, REFIID riid,
                         void** object);

// Where an installed program's modules are, from the executable's folder.
inline constexpr const char* kInstalledModuleFolder = "../lib/quillon";

// The folder of the running executable.
std::filesystem::path executable_folder();

// Accepts "{GUID}" or a ProgID.
HRESULT class_from_text(std::string_view text, CLSID* clsid);
