// `kelvane register` and `unregister` as an installer runs them, and a host in another folder
// that finds the control only through what they wrote.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

#include "tests/support/process.h"
#include "tests/support/temp_dir.h"

namespace {

using namespace quillon_test;

class RegistrationCli : public ::testing::Test {
  protected:
    quillon::test::TempDir m_folder;
    const std::filesystem::path& m_home = m_folder.path();

    // Runs `program` from the configuration folder with the private registry.
    ProcessResult run(const std::string& program, const std::string& arguments) {
        return run_command("cd '" + m_home.string() + "' && XDG_CONFIG_HOME='" + m_home.string() +
                           "' " + program + " " + arguments);
    }
    ProcessResult kelvane(const std::string& arguments) {
        return run(std::string(QUILLON_BIN_DIR) + "/kelvane", arguments);
    }
    ProcessResult probe(const std::string& name) { return run(QUILLON_PROBE, name); }
};

const std::string kCreated = "created {5E21B7A6-6C4F-4D2A-8B19-3F0C7D9E4A10}: BufferSize = 2000\n";

TEST_F(RegistrationCli, RegisterLetsAHostElsewhereCreateTheControlAndUnregisterTakesItBack) {
    // Nothing registered and no library beside the probe: the name means nothing.
    ProcessResult r = probe("KELVANE.KelvaneCtrl.1");
    EXPECT_EQ(r.output, "KELVANE.KelvaneCtrl.1: 0x800401F3 invalid class string\n");
    EXPECT_EQ(r.status, 1);

    r = kelvane("register");
    const std::string library =
        std::filesystem::canonical(std::string(QUILLON_BIN_DIR) + "/libkelvane.so").string();
    EXPECT_EQ(r.output,
              "registered " + library + " in " + (m_home / "quillon" / "registry").string() + "\n");
    EXPECT_EQ(r.status, 0);
    r = probe("KELVANE.KelvaneCtrl.1");
    EXPECT_EQ(r.output, kCreated);
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(probe("{5E21B7A6-6C4F-4D2A-8B19-3F0C7D9E4A10}").output, kCreated);

    // Registering again changes nothing; the library may be named, relative to the folder.
    std::filesystem::copy_file(library, m_home / "libkelvane.so");
    EXPECT_EQ(kelvane("register libkelvane.so").status, 0);
    EXPECT_EQ(probe("KELVANE.KelvaneCtrl.1").output, kCreated);

    r = kelvane("unregister");
    EXPECT_EQ(r.status, 0) << r.output;
    r = probe("KELVANE.KelvaneCtrl.1");
    EXPECT_EQ(r.output, "KELVANE.KelvaneCtrl.1: 0x800401F3 invalid class string\n");
    EXPECT_EQ(r.status, 1);
    r = probe("{5E21B7A6-6C4F-4D2A-8B19-3F0C7D9E4A10}");
    EXPECT_EQ(r.output,
              "{5E21B7A6-6C4F-4D2A-8B19-3F0C7D9E4A10}: 0x80040154 class not registered\n");
    EXPECT_EQ(kelvane("unregister").status, 0);  // twice is no failure
}

TEST_F(RegistrationCli, FailuresNameTheStepTheLibraryOrTheUsage) {
    // The configuration folder is a file: the first write, the type library's, fails.
    std::ofstream(m_home / "quillon") << "not a folder";
    ProcessResult r = kelvane("register");
    EXPECT_NE(r.output.find(": 0x80040200 type library registration failed ("), std::string::npos)
        << r.output;
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(kelvane("unregister").status, 1);

    r = kelvane("register /nonexistent/libkelvane.so");
    EXPECT_NE(r.output.find("cannot load /nonexistent/libkelvane.so"), std::string::npos);
    EXPECT_EQ(r.status, 1);
    r = kelvane(std::string("register ") + QUILLON_PROBE);  // loads, but exports nothing
    EXPECT_EQ(r.status, 1);
    r = kelvane("register a b");
    EXPECT_NE(r.output.find("usage: kelvane register [LIBRARY]"), std::string::npos);
    EXPECT_EQ(r.status, 2);
    // Each verb has its own help.
    r = kelvane("unregister --help");
    EXPECT_NE(r.output.find("usage: kelvane unregister [LIBRARY]"), std::string::npos);
    EXPECT_NE(r.output.find("Removes what `kelvane register LIBRARY` wrote"), std::string::npos);
    EXPECT_EQ(r.output.find("Registers"), std::string::npos) << r.output;
    EXPECT_EQ(r.status, 0);
}

}  // namespace
