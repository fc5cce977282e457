// Codec throughput: our drivers encode and decode 30 s of audio through the codec manager, as a
// recording or playback does it buffer by buffer, beside sox, ffmpeg, lame and mpg123 doing the
// same conversion from and to WAV files. The peers' times include starting the program, which is
// what a user of them pays too. Printed at the end: each one's real-time factor and the ratio.
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include "platform/codec/acm.h"
#include "platform/codec/format_names.h"

namespace {

constexpr double kSeconds = 30;

const std::filesystem::path& work_dir() {
    static const std::filesystem::path dir = [] {
        auto d = std::filesystem::temp_directory_path() / "quillon-codec-bench";
        std::filesystem::create_directories(d);
        return d;
    }();
    return dir;
}
std::string path(const std::string& name) {
    return (work_dir() / name).string();
}

bool have(const char* tool) {
    return std::system(("command -v " + std::string(tool) + " >/dev/null 2>&1").c_str()) == 0;
}
bool run(const std::string& command) {
    return std::system((command + " >/dev/null 2>&1").c_str()) == 0;
}

struct Job {
    const char* format;  // our name of the coded format
    const char* ffmpeg;  // ffmpeg's encoder, or null
    const char* sox;     // sox's encoding options, or null
};

// LAME quality 5 is what recording uses (see the MP3 driver); the lame command gets the same.
constexpr Job kJobs[] = {
    {"alaw:44100:2", "pcm_alaw", "-e a-law"},
    {"mulaw:44100:2", "pcm_mulaw", "-e u-law"},
    {"ima-adpcm:44100:2", "adpcm_ima_wav", "-e ima-adpcm"},
    {"ms-adpcm:44100:2", "adpcm_ms", "-e ms-adpcm"},
    {"gsm610:8000:1", "libgsm_ms", "-e gsm-full-rate"},
    {"mp3:44100:2:128", nullptr, nullptr},
};

std::vector<BYTE> coded_format(const char* name) {
    auto parsed = quillon::codec::parse_format_name(name);
    if (!parsed.ok()) std::abort();
    return parsed.format;
}

std::vector<BYTE> pcm_for(std::vector<BYTE> coded) {
    std::vector<BYTE> pcm(18);
    if (acmFormatSuggest(nullptr, reinterpret_cast<WAVEFORMATEX*>(coded.data()),
                         reinterpret_cast<WAVEFORMATEX*>(pcm.data()), 18, 0) != 0)
        std::abort();
    return pcm;
}

const WAVEFORMATEX& head(const std::vector<BYTE>& f) {
    return *reinterpret_cast<const WAVEFORMATEX*>(f.data());
}

// Music-like input: two tones and a little noise.
std::vector<BYTE> signal(const WAVEFORMATEX& pcm) {
    const std::size_t frames = static_cast<std::size_t>(kSeconds * pcm.nSamplesPerSec);
    std::vector<BYTE> bytes(frames * pcm.nBlockAlign);
    unsigned noise = 1;
    for (std::size_t i = 0; i < frames * pcm.nChannels; ++i) {
        const double t = static_cast<double>(i / pcm.nChannels) / pcm.nSamplesPerSec;
        noise = noise * 1103515245u + 12345u;
        const double v = 9000 * std::sin(2 * 3.14159265 * 440 * t) +
                         4000 * std::sin(2 * 3.14159265 * 2500 * t) + ((noise >> 16) % 1000) - 500;
        const auto s = static_cast<std::int16_t>(v);
        std::memcpy(bytes.data() + 2 * i, &s, 2);
    }
    return bytes;
}

// Pushes `in` through a stream in buffers of 50 ms of PCM (or their coded size), as the engine.
std::vector<BYTE> convert(const std::vector<BYTE>& from, const std::vector<BYTE>& to,
                          const std::vector<BYTE>& in, DWORD buffer) {
    std::vector<BYTE> src = from, dst = to;
    HACMSTREAM s = nullptr;
    if (acmStreamOpen(&s, nullptr, reinterpret_cast<WAVEFORMATEX*>(src.data()),
                      reinterpret_cast<WAVEFORMATEX*>(dst.data()), nullptr, 0, 0,
                      ACM_STREAMOPENF_NONREALTIME) != 0)
        std::abort();
    DWORD chunk = 0;
    acmStreamSize(s, buffer, &chunk, ACM_STREAMSIZEF_DESTINATION);
    if (head(from).wFormatTag == WAVE_FORMAT_PCM) chunk = buffer;
    DWORD room = 0;
    acmStreamSize(s, chunk, &room, ACM_STREAMSIZEF_SOURCE);
    std::vector<BYTE> work(room + 65536), out;
    for (std::size_t at = 0; at < in.size();) {
        ACMSTREAMHEADER h{};
        h.cbStruct = sizeof h;
        h.pbSrc = const_cast<BYTE*>(in.data() + at);
        h.cbSrcLength = static_cast<DWORD>(std::min<std::size_t>(chunk, in.size() - at));
        h.pbDst = work.data();
        h.cbDstLength = static_cast<DWORD>(work.size());
        acmStreamPrepareHeader(s, &h, 0);
        acmStreamConvert(s, &h, ACM_STREAMCONVERTF_BLOCKALIGN);
        acmStreamUnprepareHeader(s, &h, 0);
        out.insert(out.end(), work.begin(), work.begin() + h.cbDstLengthUsed);
        if (h.cbSrcLengthUsed == 0) break;
        at += h.cbSrcLengthUsed;
    }
    acmStreamClose(s, 0);
    return out;
}

void write_wav(const std::string& file, const std::vector<BYTE>& format,
               const std::vector<BYTE>& data) {
    std::ofstream out(file, std::ios::binary);
    const bool pcm = head(format).wFormatTag == WAVE_FORMAT_PCM;
    const auto fmt_size = static_cast<std::uint32_t>(pcm ? 16 : format.size());
    const auto data_size = static_cast<std::uint32_t>(data.size());
    const std::uint32_t riff = 4 + 8 + fmt_size + (fmt_size & 1) + (pcm ? 0 : 12) + 8 + data_size;
    const std::uint32_t four = 4, frames = 0;
    out.write("RIFF", 4).write(reinterpret_cast<const char*>(&riff), 4).write("WAVEfmt ", 8);
    out.write(reinterpret_cast<const char*>(&fmt_size), 4);
    out.write(reinterpret_cast<const char*>(format.data()), fmt_size);
    if (fmt_size & 1) out.put(0);
    if (!pcm)
        out.write("fact", 4)
            .write(reinterpret_cast<const char*>(&four), 4)
            .write(reinterpret_cast<const char*>(&frames), 4);
    out.write("data", 4).write(reinterpret_cast<const char*>(&data_size), 4);
    out.write(reinterpret_cast<const char*>(data.data()), data_size);
}

std::string stem(const char* format) {
    std::string s = format;
    for (char& c : s)
        if (c == ':') c = '_';
    return s;
}

void register_job(const Job& job) {
    const std::vector<BYTE> coded = coded_format(job.format);
    const std::vector<BYTE> pcm = pcm_for(coded);
    const std::vector<BYTE> audio = signal(head(pcm));
    const DWORD buffer = head(pcm).nAvgBytesPerSec / 20;
    const std::string name = job.format;
    const bool mp3 = head(coded).wFormatTag == WAVE_FORMAT_MPEGLAYER3;
    const std::string in_wav = path(stem(job.format) + "_in.wav");
    const std::string coded_file = path(stem(job.format) + (mp3 ? "_ours.mp3" : "_ours.wav"));
    write_wav(in_wav, pcm, audio);
    const std::vector<BYTE> packed = convert(pcm, coded, audio, buffer);
    if (mp3) {
        std::ofstream(coded_file, std::ios::binary)
            .write(reinterpret_cast<const char*>(packed.data()),
                   static_cast<std::streamsize>(packed.size()));
    } else {
        write_wav(coded_file, coded, packed);
    }

    auto peer = [](const std::string& bench, const char* tool, std::string command) {
        benchmark::RegisterBenchmark(
            bench.c_str(),
            [tool, command](benchmark::State& state) {
                if (!have(tool))
                    return state.SkipWithError((std::string(tool) + " missing").c_str());
                for (auto _ : state)
                    if (!run(command)) return state.SkipWithError("the peer failed");
            })
            ->Unit(benchmark::kMillisecond)
            ->UseRealTime()
            ->Iterations(3);
    };

    benchmark::RegisterBenchmark(
        ("Encode/" + name + "/ours").c_str(),
        [=](benchmark::State& state) {
            for (auto _ : state) benchmark::DoNotOptimize(convert(pcm, coded, audio, buffer));
        })
        ->Unit(benchmark::kMillisecond)
        ->UseRealTime();
    benchmark::RegisterBenchmark(
        ("Decode/" + name + "/ours").c_str(),
        [=](benchmark::State& state) {
            for (auto _ : state) benchmark::DoNotOptimize(convert(coded, pcm, packed, buffer));
        })
        ->Unit(benchmark::kMillisecond)
        ->UseRealTime();
    const std::string out = path("peer_out");
    if (job.ffmpeg) {
        peer("Encode/" + name + "/ffmpeg", "ffmpeg",
             "ffmpeg -nostdin -v error -y -i " + in_wav + " -c:a " + job.ffmpeg + " " + out +
                 ".wav");
        peer("Decode/" + name + "/ffmpeg", "ffmpeg",
             "ffmpeg -nostdin -v error -y -i " + coded_file + " -f s16le " + out + ".raw");
    }
    if (job.sox) {
        peer("Encode/" + name + "/sox", "sox",
             "sox " + in_wav + " " + job.sox + " " + out + ".wav");
        peer("Decode/" + name + "/sox", "sox", "sox -D " + coded_file + " -t raw " + out + ".raw");
    }
    if (mp3) {
        peer("Encode/" + name + "/lame", "lame",
             "lame --quiet -q 5 -b 128 --cbr " + in_wav + " " + out + ".mp3");
        peer("Decode/" + name + "/mpg123", "mpg123",
             "mpg123 -q -s " + coded_file + " > " + out + ".raw");
        peer("Decode/" + name + "/ffmpeg", "ffmpeg",
             "ffmpeg -nostdin -v error -y -f mp3 -i " + coded_file + " -f s16le " + out + ".raw");
    }
}

class RatioReporter : public benchmark::ConsoleReporter {
  public:
    void ReportRuns(const std::vector<Run>& runs) override {
        for (const Run& run : runs)
            if (!run.error_occurred && run.iterations > 0)
                times[run.run_name.function_name] = run.GetAdjustedRealTime();  // milliseconds
        ConsoleReporter::ReportRuns(runs);
    }
    std::map<std::string, double> times;
};

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    for (const Job& job : kJobs) register_job(job);
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);

    std::printf("\n%-26s %12s %12s %10s\n", "conversion", "ours (x RT)", "peer (x RT)",
                "ours/peer");
    for (const auto& [bench, ms] : reporter.times) {
        const auto slash = bench.rfind('/');
        const std::string who = bench.substr(slash + 1);
        if (who == "ours") continue;
        const std::string ours = bench.substr(0, slash) + "/ours";
        if (!reporter.times.count(ours)) continue;
        const double ours_rt = kSeconds * 1000 / reporter.times[ours];
        const double peer_rt = kSeconds * 1000 / ms;
        std::printf("%-26s %12.0f %12.0f %9.2fx  (%s)\n", bench.substr(0, slash).c_str(), ours_rt,
                    peer_rt, ours_rt / peer_rt, who.c_str());
    }
    std::filesystem::remove_all(work_dir());
    benchmark::Shutdown();
    return 0;
}
