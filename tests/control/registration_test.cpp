// Self-registration of the control's library: the registry entries, the results when a write
// fails part way, removal, and the module's unload answer as objects and locks come and go.
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "control/kelvane_ids.h"
#include "control/kelvane_proppage.h"
#include "control/kelvane_registration.h"
#include "platform/com/activation.h"
#include "tests/support/temp_dir.h"

namespace {

const std::string kControl = "CLSID\\{5E21B7A6-6C4F-4D2A-8B19-3F0C7D9E4A10}";
const std::string kPage = "CLSID\\{5E21B7A7-6C4F-4D2A-8B19-3F0C7D9E4A10}";
const std::string kTypeLib = "TypeLib\\{5E21B7A3-6C4F-4D2A-8B19-3F0C7D9E4A10}\\1.0";
const std::string kDispatch = "Interface\\{5E21B7A4-6C4F-4D2A-8B19-3F0C7D9E4A10}";
const std::string kEvents = "Interface\\{5E21B7A5-6C4F-4D2A-8B19-3F0C7D9E4A10}";

// A registry in memory whose commit number `fail_at` (1 = the first) fails; what was committed
// before stays in `committed`, as it would on disk.
class MemoryStore final : public RegistryStore {
  public:
    explicit MemoryStore(int fail_at = 0) : m_fail_at(fail_at) {}
    RegistryFile& registry() override { return m_working; }
    bool commit() override {
        if (++m_commits == m_fail_at) return false;
        committed = m_working;
        return true;
    }
    RegistryFile committed;

  private:
    int m_fail_at;
    int m_commits = 0;
    RegistryFile m_working;
};

const std::filesystem::path kLibrary = "/opt/quillon/libkelvane.so";

TEST(Registration, WritesTheClassesProgIdsAndTypeLibrary) {
    MemoryStore store;
    ASSERT_EQ(register_kelvane(store, kLibrary), S_OK);
    const RegistryFile& r = store.committed;

    EXPECT_EQ(r.value(kControl), "Kelvane Control");
    EXPECT_EQ(r.value(kControl + "\\InprocServer32"), kLibrary.string());
    EXPECT_EQ(r.value(kControl + "\\InprocServer32", "ThreadingModel"), "Apartment");
    EXPECT_EQ(r.value(kControl + "\\ProgID"), "KELVANE.KelvaneCtrl.1");
    EXPECT_EQ(r.value(kControl + "\\MiscStatus\\1"), std::to_string(0x00020591));
    EXPECT_EQ(r.value(kControl + "\\ToolboxBitmap32"), kLibrary.string() + ", 1");
    EXPECT_EQ(r.value(kControl + "\\TypeLib"), "{5E21B7A3-6C4F-4D2A-8B19-3F0C7D9E4A10}");
    EXPECT_EQ(r.value(kControl + "\\Version"), "1.0");
    EXPECT_TRUE(r.value(kControl + "\\Control"));
    EXPECT_FALSE(r.value(kControl + "\\Insertable"));
    EXPECT_EQ(r.value("KELVANE.KelvaneCtrl.1\\CLSID"), "{5E21B7A6-6C4F-4D2A-8B19-3F0C7D9E4A10}");

    EXPECT_EQ(r.value(kPage), "Kelvane Property Page");
    EXPECT_EQ(r.value(kPage + "\\InprocServer32"), kLibrary.string());
    EXPECT_FALSE(r.value(kPage + "\\Control"));
    EXPECT_EQ(r.value("KELVANE.KelvanePropPage.1\\CLSID"),
              "{5E21B7A7-6C4F-4D2A-8B19-3F0C7D9E4A10}");

    EXPECT_EQ(r.value(kTypeLib), "Kelvane ActiveX Control module");
    EXPECT_EQ(r.value(kTypeLib + "\\0\\linux"), kLibrary.string());
    EXPECT_EQ(r.value(kTypeLib + "\\HELPDIR"), "/opt/quillon");
    EXPECT_EQ(r.value(kDispatch), "_DKelvane");
    EXPECT_EQ(r.value(kEvents), "_DKelvaneEvents");
    EXPECT_EQ(r.value(kEvents + "\\TypeLib", "Version"), "1.0");
}

TEST(Registration, StopsAtTheFirstFailedWriteAndKeepsWhatCameBefore) {
    MemoryStore typelib_fails(1);
    EXPECT_EQ(register_kelvane(typelib_fails, kLibrary), SELFREG_E_TYPELIB);
    EXPECT_TRUE(typelib_fails.committed.empty());

    MemoryStore control_fails(2);
    EXPECT_EQ(register_kelvane(control_fails, kLibrary), SELFREG_E_CLASS);
    EXPECT_TRUE(control_fails.committed.value(kTypeLib));
    EXPECT_FALSE(control_fails.committed.value(kControl));

    MemoryStore page_fails(3);
    EXPECT_EQ(register_kelvane(page_fails, kLibrary), SELFREG_E_CLASS);
    EXPECT_TRUE(page_fails.committed.value(kControl));
    EXPECT_FALSE(page_fails.committed.value(kPage));

    MemoryStore nowhere;
    EXPECT_EQ(register_kelvane(nowhere, {}), SELFREG_E_TYPELIB);  // no library to name
}

TEST(Registration, UnregisteringRemovesOnlyWhatRegistrationWrote) {
    MemoryStore store;
    store.registry().set_value("CLSID\\{00000000-0000-0000-0000-000000000001}", "", "other");
    store.registry().set_value("Other.Class.1\\CLSID", "",
                               "{00000000-0000-0000-0000-000000000001}");
    ASSERT_EQ(register_kelvane(store, kLibrary), S_OK);
    // Another class has taken the page's ProgID since: it stays with that class.
    store.registry().set_value("KELVANE.KelvanePropPage.1\\CLSID", "",
                               "{00000000-0000-0000-0000-000000000001}");
    ASSERT_EQ(unregister_kelvane(store), S_OK);
    const RegistryFile& r = store.committed;
    for (const std::string& key :
         {kControl, kControl + "\\InprocServer32", kPage, kTypeLib, kTypeLib + "\\0\\linux",
          kDispatch, kEvents, std::string("KELVANE.KelvaneCtrl.1\\CLSID")})
        EXPECT_FALSE(r.value(key)) << key;
    EXPECT_EQ(r.value("CLSID\\{00000000-0000-0000-0000-000000000001}"), "other");
    EXPECT_TRUE(r.value("Other.Class.1\\CLSID"));
    EXPECT_TRUE(r.value("KELVANE.KelvanePropPage.1\\CLSID"));

    EXPECT_EQ(unregister_kelvane(store), S_OK);  // nothing left to remove is no failure
    MemoryStore fails(2);
    EXPECT_EQ(unregister_kelvane(fails), SELFREG_E_CLASS);
}

// The library's own exports, loaded as a host loads them.
class Exports : public ::testing::Test {
  protected:
    void SetUp() override {
        setenv("XDG_CONFIG_HOME", m_home.path().c_str(), 1);
        m_library = executable_folder() / "libkelvane.so";
        m_handle = ::dlopen(m_library.c_str(), RTLD_NOW | RTLD_LOCAL);
        ASSERT_TRUE(m_handle) << ::dlerror();
    }
    void TearDown() override {
        if (m_handle) ::dlclose(m_handle);
    }
    template <typename F>
    F symbol(const char* name) {
        return reinterpret_cast<F>(::dlsym(m_handle, name));
    }

    quillon::test::TempDir m_home;
    std::filesystem::path m_library;
    void* m_handle = nullptr;
};

using HresultFn = HRESULT (*)();

TEST_F(Exports, RegisterServerWritesTheUsersRegistryAndFailsCleanlyWhereItCannot) {
    const auto register_server = symbol<HresultFn>("DllRegisterServer");
    const auto unregister_server = symbol<HresultFn>("DllUnregisterServer");
    ASSERT_TRUE(register_server && unregister_server);

    ASSERT_EQ(register_server(), S_OK);
    const auto registry = RegistryFile::load(RegistryFile::default_path());
    EXPECT_EQ(registry.value(kControl + "\\InprocServer32"),
              std::filesystem::canonical(m_library).string());
    CLSID clsid{};
    EXPECT_EQ(CLSIDFromProgID("KELVANE.KelvanePropPage.1", &clsid), S_OK);
    EXPECT_EQ(clsid, CLSID_KelvanePropPage);

    ASSERT_EQ(unregister_server(), S_OK);
    EXPECT_FALSE(RegistryFile::load(RegistryFile::default_path()).value(kControl));

    // A configuration folder that is a file: the first write, the type library's, fails.
    std::filesystem::remove_all(m_home.path());
    std::filesystem::create_directories(m_home.path());
    std::ofstream(m_home.file("quillon")) << "not a folder";
    EXPECT_EQ(register_server(), SELFREG_E_TYPELIB);
    EXPECT_EQ(unregister_server(), SELFREG_E_TYPELIB);
}

TEST_F(Exports, CanUnloadNowOnlyWithoutObjectsFactoriesOrLocks) {
    const auto can_unload = symbol<HresultFn>("DllCanUnloadNow");
    const auto get_class_object = symbol<DllGetClassObjectFn>("DllGetClassObject");
    ASSERT_TRUE(can_unload && get_class_object);
    ASSERT_EQ(can_unload(), S_OK);

    for (const CLSID& clsid : {CLSID_Kelvane, CLSID_KelvanePropPage}) {
        ComPtr<IClassFactory> factory;
        ASSERT_EQ(get_class_object(clsid, IClassFactory::iid, factory.put_void()), S_OK);
        EXPECT_EQ(can_unload(), S_FALSE);
        ComPtr<IUnknown> object;
        ASSERT_EQ(factory->CreateInstance(nullptr, IUnknown::iid, object.put_void()), S_OK);
        ASSERT_EQ(factory->LockServer(TRUE), S_OK);
        factory.reset();
        EXPECT_EQ(can_unload(), S_FALSE);  // the object and the lock
        object.reset();
        EXPECT_EQ(can_unload(), S_FALSE);  // the lock alone
        ComPtr<IClassFactory> again;
        ASSERT_EQ(get_class_object(clsid, IClassFactory::iid, again.put_void()), S_OK);
        ASSERT_EQ(again->LockServer(FALSE), S_OK);
        again.reset();
        EXPECT_EQ(can_unload(), S_OK);
    }
    ComPtr<IClassFactory> none;
    EXPECT_EQ(get_class_object(LIBID_KELVANELib, IClassFactory::iid, none.put_void()),
              CLASS_E_CLASSNOTAVAILABLE);
}

}  // namespace
