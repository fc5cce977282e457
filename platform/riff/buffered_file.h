// A file with one read/write buffer over a POSIX descriptor: the engine behind the mmio calls.
// Positions and sizes are 64-bit byte offsets; the mmio layer narrows them where its API is
// 32-bit.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <vector>

#include "platform/base/win_types.h"

namespace quillon::riff {

class BufferedFile {
  public:
    enum class Access { read, write, read_write };

    // 0 or an MMIOERR_ code. `create` makes the file or truncates an existing one.
    [[nodiscard]] static MMRESULT open(const char* path, Access access, bool create,
                                       std::size_t buffer_bytes,
                                       std::unique_ptr<BufferedFile>& out);

    BufferedFile(const BufferedFile&) = delete;
    BufferedFile& operator=(const BufferedFile&) = delete;
    ~BufferedFile();  // closes without reporting; call close() to learn about lost writes

    // Bytes read (fewer at the end of the file, 0 there) or -1.
    [[nodiscard]] std::int64_t read(std::span<char> bytes);
    // Bytes written (all of them) or -1.
    [[nodiscard]] std::int64_t write(std::span<const char> bytes);
    [[nodiscard]] std::int64_t position() const { return m_position; }
    // Any position, also past the end (a later write leaves a hole of zero bytes).
    [[nodiscard]] bool seek(std::int64_t position);
    // Length including bytes still in the buffer, or -1.
    [[nodiscard]] std::int64_t size() const;
    // Writes the buffer and closes: 0, MMIOERR_CANNOTWRITE if any write was lost (now or
    // earlier), MMIOERR_CANNOTCLOSE if the system refused to close.
    [[nodiscard]] MMRESULT close();

    // Hands the buffered bytes to the system, and with `sync` waits until they are on the
    // storage (fdatasync). False when a write fails; that loss also stays for close().
    [[nodiscard]] bool flush(bool sync);
    // Writes `bytes` at `offset` without moving the position, after the buffered bytes, so that
    // the file never holds the later bytes without the earlier ones. True when all went out.
    [[nodiscard]] bool write_at(std::int64_t offset, std::span<const char> bytes);
    // Cuts the file at `length` and drops buffered bytes beyond it; the position moves there when
    // it was further. A lost write beyond the cut no longer counts: its bytes are gone anyway.
    [[nodiscard]] bool truncate(std::int64_t length);

  private:
    BufferedFile(int fd, Access access, std::size_t buffer_bytes);
    bool write_buffer();
    void mark_dirty(std::size_t begin, std::size_t end);
    void lost(std::int64_t offset);

    int m_fd = -1;
    Access m_access;
    std::vector<char> m_buffer;
    std::int64_t m_buffer_start = 0;  // file offset of m_buffer[0]
    std::size_t m_valid = 0;          // bytes of m_buffer that hold the file's current contents
    std::size_t m_dirty_begin = 0;    // [begin, end) of m_buffer not yet written to the file
    std::size_t m_dirty_end = 0;
    std::int64_t m_position = 0;
    // The first file offset a failed write was meant for, -1 when none failed: close() reports
    // such a loss unless a truncate() before that offset made it moot.
    std::int64_t m_lost_from = -1;
};

}  // namespace quillon::riff
