// Streams of bytes for saved state: the sequential read/write/seek interface a control saves
// itself into, and a stream held in memory that containers and tests hand to it.
#pragma once

#include <span>
#include <vector>

#include "platform/com/unknown.h"

union LARGE_INTEGER {
    std::int64_t QuadPart;
};
union ULARGE_INTEGER {
    std::uint64_t QuadPart;
};

inline constexpr DWORD STREAM_SEEK_SET = 0;
inline constexpr DWORD STREAM_SEEK_CUR = 1;
inline constexpr DWORD STREAM_SEEK_END = 2;

inline constexpr HRESULT STG_E_INVALIDFUNCTION = make_hresult(0x80030001);
inline constexpr HRESULT STG_E_FILENOTFOUND = make_hresult(0x80030002);
inline constexpr HRESULT STG_E_INVALIDPOINTER = make_hresult(0x80030009);
inline constexpr HRESULT STG_E_MEDIUMFULL = make_hresult(0x80030070);
inline constexpr HRESULT STG_E_READFAULT = make_hresult(0x8003001E);
inline constexpr HRESULT STG_E_WRITEFAULT = make_hresult(0x8003001D);

struct IStream : IUnknown {
    static constexpr IID iid{0x0000000C, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
    // Reads up to `size` bytes; `*read` (when given) tells how many came. Reading at the end is
    // not an error: it yields fewer bytes, S_FALSE when they were fewer than asked.
    virtual HRESULT Read(void* data, ULONG size, ULONG* read) = 0;
    virtual HRESULT Write(const void* data, ULONG size, ULONG* written) = 0;
    virtual HRESULT Seek(LARGE_INTEGER move, DWORD origin, ULARGE_INTEGER* new_position) = 0;

  protected:
    ~IStream() = default;
};

// A stream over a growable byte buffer. Writing past the end extends it; seeking past the end
// is allowed and the gap fills with zeros at the next write.
class MemoryStream final : public ComObject<IStream> {
  public:
    MemoryStream() = default;
    explicit MemoryStream(std::span<const BYTE> bytes) : m_bytes(bytes.begin(), bytes.end()) {}

    HRESULT Read(void* data, ULONG size, ULONG* read) override;
    HRESULT Write(const void* data, ULONG size, ULONG* written) override;
    HRESULT Seek(LARGE_INTEGER move, DWORD origin, ULARGE_INTEGER* new_position) override;

    const std::vector<BYTE>& bytes() const { return m_bytes; }
    std::size_t position() const { return m_position; }

  private:
    ~MemoryStream() = default;
    std::vector<BYTE> m_bytes;
    std::size_t m_position = 0;  // bytes from the start; may lie beyond the end
};
