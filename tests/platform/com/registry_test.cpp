#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "platform/com/registry.h"
#include "tests/support/temp_dir.h"

namespace {

TEST(RegistryFile, KeysAndValuesSurviveASaveAndAreMatchedWithoutCase) {
    RegistryFile r;
    r.set_value("CLSID\\{ABC}\\InprocServer32", "", "/opt/lib/libx.so");
    r.set_value("CLSID\\{ABC}\\InprocServer32", "ThreadingModel", "Apartment");
    r.set_value("X.Y.1\\CLSID", "", "{ABC}");
    r.set_value("Other", "multi", "line\nbreak");
    const quillon::test::TempDir dir;
    const std::filesystem::path path = dir.file("registry");
    ASSERT_TRUE(r.save(path));

    const RegistryFile back = RegistryFile::load(path);
    EXPECT_EQ(back.value("clsid\\{abc}\\inprocserver32"), "/opt/lib/libx.so");
    EXPECT_EQ(back.value("CLSID\\{ABC}\\InprocServer32", "threadingmodel"), "Apartment");
    EXPECT_EQ(back.value("x.y.1\\CLSID"), "{ABC}");
    EXPECT_EQ(back.value("Other", "multi"), "line break");
    EXPECT_FALSE(back.value("CLSID\\{ABC}"));
    EXPECT_FALSE(back.value("X.Y.1\\CLSID", "nope"));
}

TEST(RegistryFile, DeletingATreeRemovesTheKeyAndItsChildrenOnly) {
    RegistryFile r;
    r.set_value("CLSID\\{A}", "", "a");
    r.set_value("CLSID\\{A}\\InprocServer32", "", "lib");
    r.set_value("CLSID\\{AB}", "", "keep");
    EXPECT_TRUE(r.delete_tree("clsid\\{a}"));
    EXPECT_FALSE(r.value("CLSID\\{A}"));
    EXPECT_FALSE(r.value("CLSID\\{A}\\InprocServer32"));
    EXPECT_EQ(r.value("CLSID\\{AB}"), "keep");
    EXPECT_FALSE(r.delete_tree("CLSID\\{A}"));
}

TEST(RegistryFile, MissingOrGarbledFilesReadAsWhatIsUsable) {
    EXPECT_TRUE(RegistryFile::load("/nonexistent/quillon/registry").empty());
    const quillon::test::TempDir dir;
    const std::filesystem::path path = dir.file("garbled");
    std::ofstream(path) << "no key yet=value\n[K]\nname=v\nline without equals\n[\n@=default\n";
    const RegistryFile r = RegistryFile::load(path);
    EXPECT_EQ(r.value("K", "name"), "v");
    EXPECT_FALSE(r.value("no key yet"));
}

}  // namespace
