// Writing and reading a WAV file: our writer and reader against sox doing the same job on the
// same audio (30 s of 44.1 kHz stereo 16-bit). sox's time includes starting the program, which is
// what a user of it pays too.
//
// And what writing a recording so that it survives a kill costs: one hour of 44.1 kHz stereo in
// the engine's 2 s capture buffers, written by our WAV writer (each buffer committed: flushed,
// the RIFF and data sizes settled in place, the storage synced every 5 s) beside the way it was
// written before (a buffered file whose sizes are settled at close), and beside sox writing the
// same hour. CPU time is the process's own.
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

InfoTexts texts() {
    InfoTexts t;
    t.slots[info_slot_index(mmioFOURCC('I', 'N', 'A', 'M'))] = "bench";
    return t;
}

void write_ours(const std::string& target) {
    WavWriter writer;
    if (writer.create(target, cd_format()) != 0) std::abort();
    const auto& bytes = audio();
    for (std::size_t done = 0; done < bytes.size(); done += kCaptureBuffer) {
        const std::size_t n = std::min(kCaptureBuffer, bytes.size() - done);
        if (writer.write({bytes.data() + done, n}) != static_cast<LONG>(n)) std::abort();
    }
    if (writer.finalize(texts()) != 0) std::abort();
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

const std::string& target() {
    static const std::string hour = path("hour.wav");
    return hour;
}

// One hour of 44.1 kHz stereo in the engine's 2 s capture buffers.
constexpr std::size_t kBufferBytes = 2 * 176400;
constexpr std::size_t kBuffers = 1800;

const std::vector<BYTE>& buffer() {
    static const std::vector<BYTE> bytes(audio().begin(), audio().begin() + kBufferBytes);
    return bytes;
}

void BM_HourOfCd_Durable(benchmark::State& state) {
    for (auto _ : state) {
        WavWriter writer;
        if (writer.create(target(), cd_format(), info_chunks_size(texts())) != 0) std::abort();
        for (std::size_t i = 0; i < kBuffers; ++i)
            if (writer.write(buffer()) != static_cast<LONG>(kBufferBytes)) std::abort();
        if (writer.finalize(texts()) != 0) std::abort();
    }
}

// The writing as it was: one buffered file, chunk sizes written when the chunks are ascended.
void BM_HourOfCd_Buffered(benchmark::State& state) {
    for (auto _ : state) {
        HMMIO file =
            mmioOpen(target().c_str(), nullptr, MMIO_CREATE | MMIO_READWRITE | MMIO_ALLOCBUF);
        MMCKINFO riff{};
        riff.fccType = mmioFOURCC('W', 'A', 'V', 'E');
        MMCKINFO fmt{mmioFOURCC('f', 'm', 't', ' '), 18, 0, 0, 0};
        MMCKINFO fact{mmioFOURCC('f', 'a', 'c', 't'), 4, 0, 0, 0};
        MMCKINFO data{mmioFOURCC('d', 'a', 't', 'a'), 0, 0, 0, 0};
        const FileFormat format = cd_format();
        const DWORD zero = 0;
        if (!file || mmioCreateChunk(file, &riff, MMIO_CREATERIFF) != 0 ||
            mmioCreateChunk(file, &fmt, 0) != 0 ||
            mmioWrite(file, reinterpret_cast<const char*>(&format.wfx), 18) != 18 ||
            mmioAscend(file, &fmt, 0) != 0 || mmioCreateChunk(file, &fact, 0) != 0 ||
            mmioWrite(file, reinterpret_cast<const char*>(&zero), 4) != 4 ||
            mmioAscend(file, &fact, 0) != 0 || mmioCreateChunk(file, &data, 0) != 0)
            std::abort();
        for (std::size_t i = 0; i < kBuffers; ++i)
            if (mmioWrite(file, reinterpret_cast<const char*>(buffer().data()),
                          static_cast<LONG>(kBufferBytes)) != static_cast<LONG>(kBufferBytes))
                std::abort();
        if (mmioAscend(file, &data, 0) != 0 || !write_info_chunks(file, texts()) ||
            mmioAscend(file, &riff, 0) != 0 || mmioClose(file, 0) != 0)
            std::abort();
    }
}

// What one sync costs after 5 s of audio (2.5 buffers) were appended: a recording in real time
// pays it 720 times an hour, one in virtual time only every 5 s of the clock on the wall.
void BM_SyncAfterFiveSeconds(benchmark::State& state) {
    HMMIO file = mmioOpen(target().c_str(), nullptr, MMIO_CREATE | MMIO_READWRITE | MMIO_ALLOCBUF);
    if (!file) std::abort();
    for (auto _ : state) {
        state.PauseTiming();
        for (int i = 0; i < 5; ++i)
            if (mmioWrite(file, reinterpret_cast<const char*>(buffer().data()),
                          static_cast<LONG>(kBufferBytes / 2)) !=
                static_cast<LONG>(kBufferBytes / 2))
                std::abort();
        if (mmioFlush(file, 0) != 0) std::abort();
        state.ResumeTiming();
        if (mmioFlush(file, MMIO_FLUSHSYNC) != 0) std::abort();
    }
    mmioClose(file, 0);
}

void BM_HourOfCd_Sox(benchmark::State& state) {
    if (std::system("command -v sox >/dev/null 2>&1") != 0)
        return state.SkipWithError("sox is not installed");
    const std::string command =
        "sox -t raw -r 44100 -e signed -b 16 -c 2 /dev/zero "
        "--comment bench " +
        target() + " trim 0 3600";
    for (auto _ : state)
        if (std::system(command.c_str()) != 0) return state.SkipWithError("sox failed");
}

BENCHMARK(BM_WriteWav_Ours)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_WriteWav_Sox)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_ReadWav_Ours)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_ReadWav_Sox)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_HourOfCd_Durable)
    ->Unit(benchmark::kMillisecond)
    ->MeasureProcessCPUTime()
    ->Iterations(3);
BENCHMARK(BM_HourOfCd_Buffered)
    ->Unit(benchmark::kMillisecond)
    ->MeasureProcessCPUTime()
    ->Iterations(3);
BENCHMARK(BM_SyncAfterFiveSeconds)
    ->Unit(benchmark::kMillisecond)
    ->MeasureProcessCPUTime()
    ->Iterations(20);
// sox runs as a child: its CPU is not this process's, so it is timed by the clock.
BENCHMARK(BM_HourOfCd_Sox)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);

// Keeps each benchmark's time per iteration so the ratios can be printed at the end.
class RatioReporter : public benchmark::ConsoleReporter {
  public:
    void ReportRuns(const std::vector<Run>& runs) override {
        for (const Run& run : runs)
            if (!run.error_occurred && run.iterations > 0) {
                times[run.benchmark_name()] = run.GetAdjustedRealTime();
                cpu[run.benchmark_name()] = run.GetAdjustedCPUTime();
            }
        ConsoleReporter::ReportRuns(runs);
    }
    std::map<std::string, double> times, cpu;
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
    const std::string durable = "BM_HourOfCd_Durable/iterations:3/process_time";
    const std::string buffered = "BM_HourOfCd_Buffered/iterations:3/process_time";
    const std::string sox = "BM_HourOfCd_Sox/iterations:3/real_time";
    if (reporter.cpu.count(durable) && reporter.cpu.count(buffered))
        std::printf(
            "crash-safe writing takes %.3fx the CPU and %.3fx the wall time of buffered "
            "writing\n",
            reporter.cpu[durable] / reporter.cpu[buffered],
            reporter.times[durable] / reporter.times[buffered]);
    const std::string sync = "BM_SyncAfterFiveSeconds/iterations:20/process_time";
    if (reporter.cpu.count(sync) && reporter.cpu.count(buffered))
        std::printf(
            "in real time an hour syncs 720 times: %.0f ms CPU (%.1f%% of the buffered "
            "writing's), %.0f ms waiting for the storage\n",
            720 * reporter.cpu[sync], 100.0 * 720 * reporter.cpu[sync] / reporter.cpu[buffered],
            720 * reporter.times[sync]);
    if (reporter.times.count(durable) && reporter.times.count(sox))
        std::printf("sox takes %.2fx the wall time of our crash-safe writing\n",
                    reporter.times[sox] / reporter.times[durable]);
    std::filesystem::remove_all(work_dir());
    benchmark::Shutdown();
    return 0;
}
