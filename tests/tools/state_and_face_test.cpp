// `kelvane script` saving and loading the control's state and drawing its face into a PNG, run
// as a process in a folder of its own; the PNG is read back with zlib.
#include <gtest/gtest.h>
#include <zlib.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "tests/support/process.h"
#include "tests/support/temp_dir.h"

namespace {

using namespace quillon_test;

using Bytes = std::vector<unsigned char>;

ProcessResult run_in(const std::filesystem::path& folder, const std::string& arguments) {
    return run_command("cd '" + folder.string() + "' && " + QUILLON_BIN_DIR + "/kelvane " +
                       arguments);
}

Bytes read_bytes(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), {});
}

std::string read_text(const std::string& path) {
    std::ifstream in(path);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

void write_bytes(const std::filesystem::path& path, const Bytes& bytes) {
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()), static_cast<long>(bytes.size()));
}

std::uint32_t be32(const Bytes& b, std::size_t at) {
    return (std::uint32_t{b[at]} << 24) | (std::uint32_t{b[at + 1]} << 16) |
           (std::uint32_t{b[at + 2]} << 8) | b[at + 3];
}

// An 8-bit RGB PNG: its size and its pixels as 0xRRGGBB, checking every chunk's CRC.
struct Picture {
    std::uint32_t width = 0, height = 0;
    std::vector<std::uint32_t> pixels;
    std::uint32_t at(std::uint32_t x, std::uint32_t y) const { return pixels[y * width + x]; }
};

Picture decode_png(const Bytes& file) {
    Picture picture;
    const Bytes signature = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    EXPECT_TRUE(file.size() > 8 && Bytes(file.begin(), file.begin() + 8) == signature);
    Bytes packed;
    for (std::size_t at = 8; at + 12 <= file.size();) {
        const std::uint32_t length = be32(file, at);
        const std::string type(file.begin() + at + 4, file.begin() + at + 8);
        EXPECT_EQ(crc32(0, file.data() + at + 4, length + 4), be32(file, at + 8 + length)) << type;
        if (type == "IHDR") {
            picture.width = be32(file, at + 8);
            picture.height = be32(file, at + 12);
            EXPECT_EQ(file[at + 16], 8);  // bits per sample
            EXPECT_EQ(file[at + 17], 2);  // RGB
        } else if (type == "IDAT") {
            packed.insert(packed.end(), file.begin() + at + 8, file.begin() + at + 8 + length);
        }
        at += 12 + length;
    }
    const std::size_t stride = 1 + 3 * std::size_t{picture.width};
    Bytes raw(stride * picture.height);
    uLongf raw_size = raw.size();
    EXPECT_EQ(uncompress(raw.data(), &raw_size, packed.data(), packed.size()), Z_OK);
    EXPECT_EQ(raw_size, raw.size());
    for (std::uint32_t y = 0; y < picture.height; ++y) {
        EXPECT_EQ(raw[y * stride], 0);  // no filter
        for (std::uint32_t x = 0; x < picture.width; ++x) {
            const unsigned char* p = &raw[y * stride + 1 + 3 * x];
            picture.pixels.push_back((std::uint32_t{p[0]} << 16) | (p[1] << 8) | p[2]);
        }
    }
    return picture;
}

// A saved state of this version with the given extent (HIMETRIC) and buffer size.
Bytes state(std::uint32_t extent_x, std::uint32_t extent_y, std::uint32_t buffer_size) {
    Bytes b;
    for (std::uint32_t v : {0x00010000u, extent_x, extent_y, 0u, buffer_size, 1u, 1u})
        for (int i = 0; i < 4; ++i) b.push_back(static_cast<unsigned char>(v >> (8 * i)));
    for (const char* name : {"In", "Out"}) {
        b.push_back(static_cast<unsigned char>(std::strlen(name)));
        b.insert(b.end(), name, name + std::strlen(name));
    }
    b.insert(b.end(), {1, 0, 1, 0, 0});
    return b;
}

class StateAndFace : public ::testing::Test {
  protected:
    quillon::test::TempDir m_folder;
    const std::filesystem::path& m_dir = m_folder.path();
};

TEST_F(StateAndFace, SaveLoadAndDrawMatchTheirTranscript) {
    Bytes short_state = state(847, 847, 4000);
    short_state.resize(30);  // inside the input device name
    write_bytes(m_dir / "short state.bin", short_state);
    // A form that gave the control 189 x 76 pixels.
    write_bytes(m_dir / "wide-state.bin", state(5000, 2000, 3000));

    const std::string script = std::string(QUILLON_TEST_DATA) + "/script/state";
    const ProcessResult r = run_in(m_dir, "script --design " + script + ".kvs");
    EXPECT_EQ(r.output, read_text(script + ".out"));
    EXPECT_EQ(r.status, 1);

    // The saved state: the layout of the stored main window with the virtual card's names.
    const Bytes saved = read_bytes(m_dir / "state.bin");
    ASSERT_EQ(saved.size(), 28u + 1 + 23 + 1 + 24 + 5);
    EXPECT_EQ(Bytes(saved.begin(), saved.begin() + 24),
              (Bytes{0, 0, 1, 0, 0x4F, 3,    0, 0, 0x4F, 3, 0, 0,
                     0, 0, 0, 0, 0xE1, 0x10, 0, 0, 1,    0, 0, 0}));
    EXPECT_EQ(Bytes(saved.end() - 5, saved.end()), (Bytes{0, 0, 1, 0, 1}));

    // Offered 189 x 76 pixels, the control drew itself at its own 32 x 32.
    const Picture face = decode_png(read_bytes(m_dir / "face.png"));
    EXPECT_EQ(face.width, 32u);
    EXPECT_EQ(face.height, 32u);
    ASSERT_EQ(face.pixels.size(), 32u * 32u);
    EXPECT_EQ(face.at(0, 0), 0xC0C0C0u);  // grey ground
    EXPECT_EQ(face.at(31, 31), 0xC0C0C0u);
    EXPECT_NE(std::count(face.pixels.begin(), face.pixels.end(), 0x0000FFu), 0);  // waves
    EXPECT_NE(std::count(face.pixels.begin(), face.pixels.end(), 0x000000u), 0);  // outline
}

TEST_F(StateAndFace, TheFaceIsTheSameAtRunTimeAndAfterARoundTrip) {
    std::ofstream(m_dir / "draw.kvs") << "draw a.png\nsave s.bin\nload s.bin\ndraw b.png\n";
    const ProcessResult r = run_in(m_dir, "script draw.kvs");
    EXPECT_EQ(r.status, 0) << r.output;
    EXPECT_EQ(read_bytes(m_dir / "a.png"), read_bytes(m_dir / "b.png"));
    EXPECT_EQ(decode_png(read_bytes(m_dir / "a.png")).width, 32u);
}

}  // namespace
