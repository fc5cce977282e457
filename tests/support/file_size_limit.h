// A full disk, as far as one process can tell: a file size limit makes every write past it fail
// (with EFBIG) the way writes fail on a disk that has filled up. Restored when it goes.
#pragma once

#include <sys/resource.h>

#include <csignal>

namespace quillon_test {

class FileSizeLimit {
  public:
    explicit FileSizeLimit(rlim_t bytes) {
        // The signal would end the process; the failed write is what the test wants to see.
        std::signal(SIGXFSZ, SIG_IGN);
        m_ok = getrlimit(RLIMIT_FSIZE, &m_old) == 0;
        rlimit small = m_old;
        small.rlim_cur = bytes;
        m_ok = m_ok && setrlimit(RLIMIT_FSIZE, &small) == 0;
    }
    ~FileSizeLimit() { lift(); }
    FileSizeLimit(const FileSizeLimit&) = delete;
    FileSizeLimit& operator=(const FileSizeLimit&) = delete;

    bool ok() const { return m_ok; }
    void lift() {
        if (m_ok) setrlimit(RLIMIT_FSIZE, &m_old);
        m_ok = false;
    }

  private:
    rlimit m_old{};
    bool m_ok = false;
};

}  // namespace quillon_test
