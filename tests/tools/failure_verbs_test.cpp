// The command line when recording or playback cannot go on: each failure is told with what the
// file holds, and a cut file can be repaired.
#include <gtest/gtest.h>
#include <sys/mount.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "tests/support/process.h"
#include "tests/support/temp_dir.h"

namespace {

using namespace quillon_test;

bool contains(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

bool have(const char* tool) {
    return std::system(("command -v " + std::string(tool) + " > /dev/null 2>&1").c_str()) == 0;
}

class FailureVerbs : public ::testing::Test {
  protected:
    std::string path(const char* name) const { return m_folder.file(name); }
    quillon::test::TempDir m_folder;
};

TEST_F(FailureVerbs, LostDevicesAndFullFilesAreToldWithWhatTheFileHolds) {
    // A recording's name must end in .wav: a link to the device that is always full.
    const std::string full = path("full.wav");
    std::filesystem::create_symlink("/dev/full", full);
    auto r = run_kelvane("record " + full + " --seconds 1 --clock manual");
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(contains(
        r.output, "cannot record into " + full + ": No space left on device (File open error)"))
        << r.output;

    const std::string file = path("unplugged.wav");
    r = run_kelvane("record " + file + " --seconds 10 --clock manual",
                    "KELVANE_VIRTUAL_UNPLUG=in:3300 KELVANE_VIRTUAL_INPUT=sine:440:0.5");
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(contains(r.output, "Input device error: the input device stopped working"))
        << r.output;
    EXPECT_TRUE(contains(r.output, file + " holds the 3.3 s recorded until then")) << r.output;

    r = run_kelvane("play " + file + " --clock manual", "KELVANE_VIRTUAL_UNPLUG=out:1500");
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(contains(r.output, "the output device stopped working at 1.4 s of 3.3 s"))
        << r.output;

    // A close that fails is no reason for the program to fall over on its way out.
    r = run_kelvane("record " + path("c.wav") + " --seconds 1 --clock manual",
                    "KELVANE_VIRTUAL_FAIL=in:close");
    EXPECT_EQ(r.status, 0) << r.output;
    r = run_kelvane("play " + path("c.wav") + " --clock manual", "KELVANE_VIRTUAL_FAIL=out:close");
    EXPECT_EQ(r.status, 0) << r.output;
}

TEST_F(FailureVerbs, RepairSettlesTheSizesOfACutFileOnce) {
    // What this recorder left when killed before files were kept valid: both sizes 0.
    const std::string file = path("cut.wav");
    auto r = run_kelvane("record " + file + " --seconds 2 --clock manual --format pcm:8000:1:16",
                         "KELVANE_VIRTUAL_INPUT=sine:440:0.5");
    ASSERT_EQ(r.status, 0) << r.output;
    {
        std::fstream f(file, std::ios::in | std::ios::out | std::ios::binary);
        const char zero[4] = {};
        f.seekp(4);
        f.write(zero, 4);
        f.seekp(54);
        f.write(zero, 4);
    }
    r = run_kelvane("repair " + file + " --dry-run");
    EXPECT_EQ(r.status, 0);
    EXPECT_TRUE(contains(r.output, "RIFF size 0 would become 32050")) << r.output;
    r = run_kelvane("repair " + file);
    EXPECT_EQ(r.status, 0);
    EXPECT_TRUE(contains(r.output,
                         "\"data\" size 0 -> 32000 (the chunk runs to the end of the "
                         "file)"))
        << r.output;
    EXPECT_TRUE(contains(run_kelvane("info " + file).output, "Duration:              2.000 s"));
    r = run_kelvane("repair " + file);
    EXPECT_TRUE(contains(r.output, "nothing to repair")) << r.output;

    std::ofstream(path("zeros.wav")) << std::string(4096, '\0');
    r = run_kelvane("repair " + path("zeros.wav"));
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(contains(r.output, "does not begin with a RIFF header; nothing was changed"));
    EXPECT_EQ(run_kelvane("repair").status, 2);
}

TEST_F(FailureVerbs, AScriptWhoseLinesNeverEndIsRefused) {
    // A device file as a script: 1 MiB is read, then the script ends.
    const auto r = run_kelvane("script /dev/zero");
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(contains(r.output, "a line longer than 1048576 bytes is no script line"))
        << r.output.substr(0, 200);
}

// A small file system of its own (a tmpfs), so that the disk really fills up.
class SmallDisk {
  public:
    SmallDisk(const std::string& folder, const char* size) : m_folder(folder) {
        std::filesystem::create_directories(folder);
        m_mounted = ::mount("tmpfs", folder.c_str(), "tmpfs", 0,
                            (std::string("size=") + size).c_str()) == 0;
    }
    ~SmallDisk() {
        if (m_mounted) ::umount2(m_folder.c_str(), MNT_DETACH);
    }
    bool mounted() const { return m_mounted; }

  private:
    std::string m_folder;
    bool m_mounted = false;
};

TEST_F(FailureVerbs, AFullDiskKeepsEveryBufferThatFit) {
    const SmallDisk disk(path("disk"), "2m");
    if (!disk.mounted())
        GTEST_SKIP() << "cannot mount a small tmpfs here (needs root or CAP_SYS_ADMIN)";
    // 2 MiB takes five buffers of 2 s of 44.1 kHz stereo, not six.
    const std::string file = path("disk") + "/long.wav";
    auto r = run_kelvane("record " + file + " --format pcm:44100:2:16 --seconds 30 --clock manual",
                         "KELVANE_VIRTUAL_INPUT=sine:440:0.5");
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(contains(r.output, "Record error: writing " + file + " failed: the disk is full"))
        << r.output;
    EXPECT_TRUE(contains(r.output, file + " holds the 10.0 s recorded until then")) << r.output;
    EXPECT_TRUE(contains(run_kelvane("info " + file).output, "Duration:              10.000 s"));
    if (have("sox")) {
        r = run_command("sox --i -s " + file);
        EXPECT_EQ(r.output, "441000\n");
    }
    if (have("ffprobe")) {
        r = run_command("ffprobe -v error -show_entries stream=duration_ts -of csv=p=0 " + file);
        EXPECT_EQ(r.output, "441000\n");
    }

    // Full before the recording begins: not even the header fits.
    r = run_command("cat /dev/zero > " + path("disk") + "/filler");
    r = run_kelvane("record " + path("disk") + "/none.wav --seconds 1 --clock manual");
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(contains(r.output, "cannot record into " + path("disk") +
                                       "/none.wav: the disk is full (File open error)"))
        << r.output;
}

}  // namespace
