// Self-registration: the entries a loadable module writes into the per-user registry so that
// hosts find its classes by class identifier and ProgID, and its type library by identifier.
//
//   TypeLib\{libid}\1.0                 @=description
//   TypeLib\{libid}\1.0\0\linux         @=library path
//   TypeLib\{libid}\1.0\FLAGS           @=0
//   TypeLib\{libid}\1.0\HELPDIR         @=library folder
//   Interface\{iid}                     @=interface name, and below it ProxyStubClsid32 and
//                                         TypeLib (@={libid}, Version=1.0)
//   CLSID\{clsid}                       @=type name
//   CLSID\{clsid}\InprocServer32        @=library path, ThreadingModel=Apartment
//   CLSID\{clsid}\ProgID                @=ProgID
//   CLSID\{clsid}\Control, \MiscStatus (@=0), \MiscStatus\1 (@=status), \ToolboxBitmap32
//     (@="library, id"), \TypeLib (@={libid}), \Version (@=major.minor): controls only
//   ProgID                              @=type name
//   ProgID\CLSID                        @={clsid}
#pragma once

#include <filesystem>
#include <string>

#include "platform/com/registry.h"
#include "platform/com/typeinfo.h"

// Where registration writes. Each step is committed before the next begins, so a failure
// leaves the earlier steps registered.
class RegistryStore {
  public:
    virtual ~RegistryStore() = default;
    virtual RegistryFile& registry() = 0;
    // Makes what was written so far permanent; false when it could not.
    [[nodiscard]] virtual bool commit() = 0;
};

// The registry file of the current user (RegistryFile::default_path()).
class UserRegistryStore final : public RegistryStore {
  public:
    UserRegistryStore();
    RegistryFile& registry() override { return m_registry; }
    bool commit() override;

  private:
    std::filesystem::path m_path;
    RegistryFile m_registry;
};

inline constexpr DWORD OLEMISC_RECOMPOSEONRESIZE = 0x1;
inline constexpr DWORD OLEMISC_CANTLINKINSIDE = 0x10;
inline constexpr DWORD OLEMISC_INSIDEOUT = 0x80;
inline constexpr DWORD OLEMISC_ACTIVATEWHENVISIBLE = 0x100;
inline constexpr DWORD OLEMISC_INVISIBLEATRUNTIME = 0x400;
inline constexpr DWORD OLEMISC_SETCLIENTSITEFIRST = 0x20000;

struct ControlClassRegistration {
    CLSID clsid;
    std::string prog_id;
    std::string type_name;
    std::filesystem::path library;
    WORD toolbox_bitmap;  // bitmap resource id
    DWORD misc_status;    // OLEMISC_ flags
    bool insertable;
    GUID libid;
    WORD major_version;
    WORD minor_version;
};

struct ClassRegistration {
    CLSID clsid;
    std::string prog_id;  // may be empty
    std::string type_name;
    std::filesystem::path library;
};

void register_type_library(RegistryFile& registry, const TypeLibDesc& library,
                           const std::filesystem::path& path);
// Removes version major.minor of the library and the interfaces it describes.
void unregister_type_library(RegistryFile& registry, const TypeLibDesc& library);
void register_control_class(RegistryFile& registry, const ControlClassRegistration& control);
void register_class(RegistryFile& registry, const ClassRegistration& server);
// Removes the class and its ProgID (when given and still naming this class).
void unregister_class(RegistryFile& registry, const CLSID& clsid, const std::string& prog_id);

// The loadable module that holds `address` (a function or object of it), as an absolute path;
// empty when it cannot be told.
std::filesystem::path module_path_of(const void* address);
