// What the control's library writes into the registry about itself, and removes again.
#pragma once

#include <filesystem>

#include "platform/com/self_registration.h"

// The control's class data: apartment threaded, not insertable, shown at design time only.
inline constexpr DWORD kKelvaneMiscStatus = OLEMISC_RECOMPOSEONRESIZE | OLEMISC_CANTLINKINSIDE |
                                            OLEMISC_INSIDEOUT | OLEMISC_ACTIVATEWHENVISIBLE |
                                            OLEMISC_INVISIBLEATRUNTIME | OLEMISC_SETCLIENTSITEFIRST;
static_assert(kKelvaneMiscStatus == 0x00020591);

// Registers the type library, then the control class, then the property page class, committing
// after each: S_OK, SELFREG_E_TYPELIB or SELFREG_E_CLASS for the first step that failed.
HRESULT register_kelvane(RegistryStore& store, const std::filesystem::path& library);
// Removes the same entries in the same order, with the same results. Removing what is not
// registered succeeds.
HRESULT unregister_kelvane(RegistryStore& store);
