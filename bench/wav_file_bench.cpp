// Writing and reading a WAV file: our writer and reader against sox doing the same job on the
// same audio (30 s of 44.1 kHz stereo 16-bit). sox's time includes starting the program, which is
// what a user of it pays too.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include "control/engine/wav_file.h"

namespace {

using namespace kelvane::engine;

constexpr std::size_t kAudioBytes = 30 * 44100 * 4;
constexpr std::size_t kCaptureBuffer = 8820;  // 50 ms, the size a recording hands over

const std::filesystem::path& work_dir() {
    static const std::filesystem::path dir = [] {
        auto d = std::filesystem::temp_directory_path() / "quillon-wav-bench";
        std::filesystem::create_directories(d);
        return d;
    }();
    return dir;
}

const std::vector<BYTE>& audio() {
    static const std::vector<BYTE> bytes = [] {
        std::vector<BYTE> b(kAudioBytes);
        for (std::size_t i = 0; i < b.size(); ++i) b[i] = static_cast<BYTE>(i * 7 + (i >> 9));
        return b;
    }();
    return bytes;
}

FileFormat cd_format() {
    FileFormat f;
    f.wfx = {WAVE_FORMAT_PCM, 2, 44100, 176400, 4, 16, 0};
    return f;
}

std::string path(const char* name) {
    return (work_dir() / name).string();
}

bool have_sox() {
    return std::system("command -v sox >/dev/null 2>&1") == 0;
}

void write_ours(const std::string& target) {
    WavWriter writer;
    if (writer.create(target, cd_format()) != 0) std::abort();
    const auto& bytes = audio();
    for (std::size_t done = 0; done < bytes.size(); done += kCaptureBuffer) {
        const std::size_t n = std::min(kCaptureBuffer, bytes.size() - done);
        if (writer.write({bytes.data() + done, n}) != static_cast<LONG>(n)) std::abort();
    }
    InfoTexts texts;
    texts.slots[info_slot_index(mmioFOURCC('I', 'N', 'A', 'M'))] = "bench";
    writer.finalize(texts);
}

void BM_WriteWav_Ours(benchmark::State& state) {
    for (auto _ : state) write_ours(path("ours.wav"));
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * kAudioBytes));
}

void BM_WriteWav_Sox(benchmark::State& state) {
    if (!have_sox()) return state.SkipWithError("sox is not installed");
    {
        std::ofstream raw(path("in.raw"), std::ios::binary);
        raw.write(reinterpret_cast<const char*>(audio().data()), kAudioBytes);
    }
    const std::string command = "sox -t raw -r 44100 -e signed -b 16 -c 2 " + path("in.raw") +
                                " --comment bench " + path("sox.wav");
    for (auto _ : state)
        if (std::system(command.c_str()) != 0) return state.SkipWithError("sox failed");
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * kAudioBytes));
}

void BM_ReadWav_Ours(benchmark::State& state) {
    write_ours(path("read.wav"));
    std::vector<char> sink(kCaptureBuffer);
    for (auto _ : state) {
        WavHeader header;
        InfoTexts texts;
        if (read_wav_header(path("read.wav"), header, texts) != 0) std::abort();
        // Then the audio, as playback pulls it: find data and read it buffer by buffer.
        HMMIO file = mmioOpen(path("read.wav").c_str(), nullptr, MMIO_READ | MMIO_ALLOCBUF);
        MMCKINFO riff{};
        riff.fccType = mmioFOURCC('W', 'A', 'V', 'E');
        MMCKINFO data{};
        data.ckid = mmioFOURCC('d', 'a', 't', 'a');
        if (mmioDescend(file, &riff, nullptr, MMIO_FINDRIFF) != 0 ||
            mmioDescend(file, &data, &riff, MMIO_FINDCHUNK) != 0)
            std::abort();
        std::size_t total = 0;
        for (LONG n; (n = mmioRead(file, sink.data(), static_cast<LONG>(sink.size()))) > 0;)
            total += static_cast<std::size_t>(n);
        benchmark::DoNotOptimize(total);
        mmioClose(file, 0);
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * kAudioBytes));
}

void BM_ReadWav_Sox(benchmark::State& state) {
    if (!have_sox()) return state.SkipWithError("sox is not installed");
    write_ours(path("read.wav"));
    const std::string command = "sox " + path("read.wav") + " -t raw /dev/null";
    for (auto _ : state)
        if (std::system(command.c_str()) != 0) return state.SkipWithError("sox failed");
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * kAudioBytes));
}

BENCHMARK(BM_WriteWav_Ours)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_WriteWav_Sox)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_ReadWav_Ours)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_ReadWav_Sox)->Unit(benchmark::kMillisecond)->UseRealTime();

// Keeps each benchmark's time per iteration so the ratios can be printed at the end.
class RatioReporter : public benchmark::ConsoleReporter {
  public:
    void ReportRuns(const std::vector<Run>& runs) override {
        for (const Run& run : runs)
            if (!run.error_occurred && run.iterations > 0)
                times[run.benchmark_name()] = run.GetAdjustedRealTime();
        ConsoleReporter::ReportRuns(runs);
    }
    std::map<std::string, double> times;
};

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    for (const char* job : {"WriteWav", "ReadWav"}) {
        const std::string ours = std::string("BM_") + job + "_Ours";
        const std::string sox = std::string("BM_") + job + "_Sox";
        if (reporter.times.count(ours) && reporter.times.count(sox))
            std::printf("%s: sox takes %.2fx our time\n", job,
                        reporter.times[sox] / reporter.times[ours]);
    }
    std::filesystem::remove_all(work_dir());
    benchmark::Shutdown();
    return 0;
}
