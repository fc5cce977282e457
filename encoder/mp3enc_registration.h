// What the encoder's library writes into the registry about itself, and removes again.
#pragma once

#include <filesystem>

#include "platform/com/self_registration.h"

namespace mp3enc {

// Registers the type library, then the classes with their ProgIDs, committing after each: S_OK,
// SELFREG_E_TYPELIB or SELFREG_E_CLASS for the first step that failed.
HRESULT register_server(RegistryStore& store, const std::filesystem::path& library);
// Removes the same entries; removing what is not registered succeeds.
HRESULT unregister_server(RegistryStore& store);

}  // namespace mp3enc
