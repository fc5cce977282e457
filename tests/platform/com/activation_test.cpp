// Creating the control by class identifier and ProgID from this test program, which does not
// link the control's library: through the per-user registry file and through the library that
// lies beside the program.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

#include "platform/com/activation.h"
#include "platform/com/dispatch.h"
#include "platform/com/registry.h"
#include "tests/support/temp_dir.h"

namespace {

const char* kControlClass = "{5E21B7A6-6C4F-4D2A-8B19-3F0C7D9E4A10}";

class Activation : public ::testing::Test {
  protected:
    void SetUp() override { setenv("XDG_CONFIG_HOME", m_home.path().c_str(), 1); }

    static CLSID control_class() {
        CLSID clsid{};
        EXPECT_EQ(CLSIDFromString(kControlClass, &clsid), S_OK);
        return clsid;
    }

    quillon::test::TempDir m_home;
};

TEST_F(Activation, CreatesTheControlFromTheLibraryBesideTheProgram) {
    ComPtr<IDispatch> control;
    ASSERT_EQ(CoCreateInstance(control_class(), nullptr, CLSCTX_INPROC_SERVER, IDispatch::iid,
                               control.put_void()),
              S_OK);
    Variant size;
    ASSERT_EQ(dispatch_get(control.get(), "BufferSize", size), S_OK);
    EXPECT_EQ(size.type(), VT_I4);

    CLSID by_prog_id{};
    ASSERT_EQ(CLSIDFromProgID("kelvane.kelvanectrl.1", &by_prog_id), S_OK);
    EXPECT_EQ(by_prog_id, control_class());
}

TEST_F(Activation, TheRegistryNamesTheLibraryAndAStaleEntryFallsBack) {
    RegistryFile registry;
    const std::string key = std::string("CLSID\\") + kControlClass + "\\InprocServer32";
    registry.set_value(key, "", (executable_folder() / "libkelvane.so").string());
    registry.set_value("My.Recorder\\CLSID", "", kControlClass);
    ASSERT_TRUE(registry.save(RegistryFile::default_path()));

    CLSID clsid{};
    ASSERT_EQ(class_from_text("My.Recorder", &clsid), S_OK);
    ComPtr<IDispatch> control;
    EXPECT_EQ(
        CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IDispatch::iid, control.put_void()),
        S_OK);

    registry.set_value(key, "", "/nonexistent/libkelvane.so");
    ASSERT_TRUE(registry.save(RegistryFile::default_path()));
    ComPtr<IDispatch> again;
    EXPECT_EQ(
        CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IDispatch::iid, again.put_void()),
        S_OK);
}

TEST_F(Activation, UnknownClassesAndMalformedNamesAreRefused) {
    CLSID clsid{};
    EXPECT_EQ(class_from_text("{not-a-guid}", &clsid), CO_E_CLASSSTRING);
    EXPECT_EQ(class_from_text("No.Such.Class", &clsid), CO_E_CLASSSTRING);
    ComPtr<IDispatch> control;
    const CLSID unknown{0x12345678, 1, 2, {3, 4, 5, 6, 7, 8, 9, 10}};
    EXPECT_EQ(CoCreateInstance(unknown, nullptr, CLSCTX_INPROC_SERVER, IDispatch::iid,
                               control.put_void()),
              REGDB_E_CLASSNOTREG);
    EXPECT_FALSE(control);
}

}  // namespace
