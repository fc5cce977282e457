// `kelvane script` run as a process on script files, its output compared line for line with the
// expected transcript.
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>

#include "tests/support/process.h"

namespace {

using namespace quillon_test;

ProcessResult run(const std::string& arguments) {
    return run_kelvane(arguments);
}

std::string read_file(const std::string& path) {
    std::ifstream in(path);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

std::string data(const char* name) {
    return std::string(QUILLON_TEST_DATA) + "/script/" + name;
}

TEST(ScriptTranscript, RunTimeSessionMatchesItsTranscriptAndFailsOverall) {
    const ProcessResult r = run("script " + data("defaults.kvs"));
    EXPECT_EQ(r.output, read_file(data("defaults.out")));
    EXPECT_EQ(r.status, 1);
}

TEST(ScriptTranscript, DesignTimeHasNoPollAndACleanRunExitsZero) {
    const ProcessResult r = run("script --design " + data("design.kvs"));
    EXPECT_EQ(r.output, read_file(data("design.out")));
    EXPECT_EQ(r.status, 0);
}

TEST(ScriptTranscript, ChooseAnswersTheControlsFormatChooserOnce) {
    const ProcessResult r = run("script --design " + data("formats.kvs"));
    EXPECT_EQ(r.output, read_file(data("formats.out")));
    EXPECT_EQ(r.status, 1);
}

TEST(ScriptTranscript, StandardInputAndUsageErrors) {
    ProcessResult r = run("script < /dev/null");
    EXPECT_EQ(r.output, "");
    EXPECT_EQ(r.status, 0);
    r = run("script --clock sometimes");
    EXPECT_NE(r.output.find("--clock takes manual or real"), std::string::npos);
    EXPECT_EQ(r.status, 2);
    r = run("script /nonexistent/file.kvs");
    EXPECT_NE(r.output.find("cannot open /nonexistent/file.kvs"), std::string::npos);
    EXPECT_EQ(r.status, 1);  // a file that is not there is no usage error
    r = run("script --help");
    EXPECT_NE(r.output.find("usage: kelvane script"), std::string::npos);
    EXPECT_EQ(r.status, 0);
    r = run("nosuchverb");
    EXPECT_NE(r.output.find("unknown verb"), std::string::npos);
    EXPECT_EQ(r.status, 2);
}

TEST(ScriptTranscript, TheRealClockDeliversThePollOnItsOwn) {
    const std::string script = ::testing::TempDir() + "real-clock.kvs";
    std::ofstream(script) << "wait 1100\n";
    const ProcessResult r = run("script --clock real " + script);
    EXPECT_EQ(r.output.rfind("event VolumeChange()\nevent GainChange()\n", 0), 0u) << r.output;
    EXPECT_EQ(r.status, 0);
}

}  // namespace
