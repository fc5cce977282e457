// Peer programs that interoperability tests run: whether one is installed, and how to skip a
// test when it is not.
#pragma once

#include <cstdlib>
#include <string>

namespace quillon_test {

inline bool have_tool(const std::string& tool) {
    return std::system(("command -v " + tool + " >/dev/null 2>&1").c_str()) == 0;
}

}  // namespace quillon_test

#define QUILLON_REQUIRE_TOOL(tool)      \
    if (!quillon_test::have_tool(tool)) \
    GTEST_SKIP() << tool << " is not installed; install it to run this test"
