#include "platform/com/stream.h"

#include <algorithm>
#include <cstring>
#include <limits>

namespace {

// Saved state is small; a write that would grow the buffer beyond this is refused, not attempted.
constexpr std::size_t kMaxBytes = std::size_t{1} << 30;

}  // namespace

HRESULT MemoryStream::Read(void* data, ULONG size, ULONG* read) {
    if (read) *read = 0;
    if (!data && size) return STG_E_INVALIDPOINTER;
    const std::size_t available = m_position < m_bytes.size() ? m_bytes.size() - m_position : 0;
    const std::size_t n = std::min<std::size_t>(size, available);
    if (n) std::memcpy(data, m_bytes.data() + m_position, n);
    m_position += n;
    if (read) *read = static_cast<ULONG>(n);
    return n == size ? S_OK : S_FALSE;
}

HRESULT MemoryStream::Write(const void* data, ULONG size, ULONG* written) {
    if (written) *written = 0;
    if (!data && size) return STG_E_INVALIDPOINTER;
    if (!size) return S_OK;
    if (m_position > kMaxBytes || size > kMaxBytes - m_position) return STG_E_MEDIUMFULL;
    const std::size_t end = m_position + size;
    if (end > m_bytes.size()) m_bytes.resize(end);
    std::memcpy(m_bytes.data() + m_position, data, size);
    m_position = end;
    if (written) *written = size;
    return S_OK;
}

HRESULT MemoryStream::Seek(LARGE_INTEGER move, DWORD origin, ULARGE_INTEGER* new_position) {
    std::int64_t base = 0;
    switch (origin) {
        case STREAM_SEEK_SET:
            break;
        case STREAM_SEEK_CUR:
            base = static_cast<std::int64_t>(m_position);
            break;
        case STREAM_SEEK_END:
            base = static_cast<std::int64_t>(m_bytes.size());
            break;
        default:
            return STG_E_INVALIDFUNCTION;
    }
    // Positions before the start, or beyond what an offset can hold, are refused.
    if ((move.QuadPart < 0 && base + move.QuadPart < 0) ||
        (move.QuadPart > 0 && base > std::numeric_limits<std::int64_t>::max() - move.QuadPart))
        return STG_E_INVALIDFUNCTION;
    m_position = static_cast<std::size_t>(base + move.QuadPart);
    if (new_position) new_position->QuadPart = m_position;
    return S_OK;
}
