// A folder of its own for each test case, named after it and removed when the case ends.
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <string>
#include <string_view>

namespace quillon_test {

class TestFolder {
  public:
    explicit TestFolder(std::string_view prefix)
        : m_path(std::filesystem::temp_directory_path() /
                 ("quillon-" + std::string(prefix) + "-" + std::to_string(::getpid()) + "-" +
                  ::testing::UnitTest::GetInstance()->current_test_info()->name())) {
        std::filesystem::remove_all(m_path);
        std::filesystem::create_directories(m_path);
    }
    TestFolder(const TestFolder&) = delete;
    TestFolder& operator=(const TestFolder&) = delete;
    ~TestFolder() {
        std::error_code ignored;
        std::filesystem::remove_all(m_path, ignored);
    }

    const std::filesystem::path& path() const { return m_path; }
    std::string file(std::string_view name) const { return (m_path / name).string(); }

  private:
    std::filesystem::path m_path;
};

}  // namespace quillon_test
