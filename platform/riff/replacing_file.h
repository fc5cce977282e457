// A new file that takes the place of another only once it is complete: it is written under a
// temporary name in the destination's folder and renamed over the destination at commit(), so
// that a failed or abandoned write never touches a file the user already had there. Dropped
// without commit(), it removes its temporary file.
#pragma once

#include <filesystem>
#include <string>

namespace quillon::riff {

class ReplacingFile {
  public:
    ReplacingFile() = default;
    ReplacingFile(const ReplacingFile&) = delete;
    ReplacingFile& operator=(const ReplacingFile&) = delete;
    ReplacingFile(ReplacingFile&& other) noexcept;
    ReplacingFile& operator=(ReplacingFile&& other) noexcept;
    ~ReplacingFile();

    // Reserves an empty temporary file beside `destination`, named so that it keeps the
    // destination's extension (container choices go by the extension). False, with error(),
    // when the folder does not take a new file.
    [[nodiscard]] bool create(const std::filesystem::path& destination);

    // Where to write: the temporary file.
    [[nodiscard]] const std::filesystem::path& path() const { return m_temporary; }
    [[nodiscard]] const std::filesystem::path& destination() const { return m_destination; }

    // Renames the written file over the destination. False, with error(), when the rename
    // failed; the temporary file is then removed.
    [[nodiscard]] bool commit();
    // Removes the temporary file now.
    void abandon();

    // What went wrong, naming the file and the system's reason.
    [[nodiscard]] const std::string& error() const { return m_error; }
    // The system's error number of that failure (EACCES, ENOSPC, ...).
    [[nodiscard]] int system_error() const { return m_errno; }

  private:
    // Keeps errno and the message `what: reason`.
    void fail(const std::string& what);

    std::filesystem::path m_destination;
    std::filesystem::path m_temporary;  // empty when nothing is reserved
    std::string m_error;
    int m_errno = 0;
};

}  // namespace quillon::riff
