// Builds expected file contents byte by byte, so tests compare whole files.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <string_view>
#include <vector>

namespace quillon::test {

class ByteBuilder {
  public:
    ByteBuilder& text(std::string_view s) {
        m_bytes.insert(m_bytes.end(), s.begin(), s.end());
        return *this;
    }
    ByteBuilder& u16(std::uint16_t v) {
        m_bytes.push_back(static_cast<unsigned char>(v));
        m_bytes.push_back(static_cast<unsigned char>(v >> 8));
        return *this;
    }
    ByteBuilder& u32(std::uint32_t v) {
        for (int i = 0; i < 4; ++i) m_bytes.push_back(static_cast<unsigned char>(v >> (8 * i)));
        return *this;
    }
    ByteBuilder& bytes(std::initializer_list<unsigned char> b) {
        m_bytes.insert(m_bytes.end(), b);
        return *this;
    }
    ByteBuilder& bytes(const std::vector<unsigned char>& b) {
        m_bytes.insert(m_bytes.end(), b.begin(), b.end());
        return *this;
    }
    ByteBuilder& zeros(std::size_t n) {
        m_bytes.insert(m_bytes.end(), n, 0);
        return *this;
    }
    // A chunk with the given id and body; the size field is the body's length unless given, and
    // an odd body gets its pad byte.
    ByteBuilder& chunk(std::string_view id, const std::vector<unsigned char>& body) {
        text(id).u32(static_cast<std::uint32_t>(body.size())).bytes(body);
        if (body.size() % 2) m_bytes.push_back(0);
        return *this;
    }
    // A PCM fmt chunk of 16 or 18 bytes.
    ByteBuilder& pcm_fmt(std::uint16_t channels, std::uint32_t rate, std::uint16_t bits,
                         bool with_cb_size) {
        const std::uint16_t align = static_cast<std::uint16_t>(channels * bits / 8);
        text("fmt ").u32(with_cb_size ? 18 : 16).u16(1).u16(channels).u32(rate).u32(rate * align);
        u16(align).u16(bits);
        if (with_cb_size) u16(0);
        return *this;
    }
    std::size_t size() const { return m_bytes.size(); }
    const std::vector<unsigned char>& get() const { return m_bytes; }
    operator std::vector<unsigned char>() const { return m_bytes; }

  private:
    std::vector<unsigned char> m_bytes;
};

// A RIFF WAVE file around the given chunks, its size field settled.
inline std::vector<unsigned char> riff_wave(const std::vector<unsigned char>& chunks) {
    ByteBuilder b;
    b.text("RIFF").u32(static_cast<std::uint32_t>(chunks.size() + 4)).text("WAVE").bytes(chunks);
    return b;
}

}  // namespace quillon::test
