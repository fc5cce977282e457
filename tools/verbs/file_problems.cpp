#include "tools/verbs/file_problems.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>

#include "control/engine/container.h"
#include "control/engine/device_format.h"
#include "control/engine/mp3_stream.h"
#include "control/engine/wav_file.h"
#include "platform/codec/acm.h"
#include "tools/verbs/failure_text.h"

namespace {

using namespace kelvane::engine;

// Sound files of kinds that are not read, by the bytes they start with.
struct Signature {
    std::size_t offset;
    const char* bytes;
    const char* kind;
};
constexpr Signature kOtherKinds[] = {
    {0, "fLaC", "a FLAC file"},
    {0, "OggS", "an Ogg file (Vorbis, Opus or FLAC)"},
    {4, "ftyp", "an MP4 or M4A file"},
    {0, "FORM", "an AIFF file"},
    {0, ".snd", "a Sun/NeXT audio file"},
    {0, "MThd", "a MIDI file"},
    {0, "wvpk", "a WavPack file"},
    {0, "MAC ", "a Monkey's Audio file"},
    {0, "RF64", "an RF64 file (a WAV file over 4 GiB)"},
};

// "24-bit PCM at 96000 Hz", "MS ADPCM at 22050 Hz, 2 channels".
std::string describe(const WAVEFORMATEX& f) {
    char text[160];
    if (f.wFormatTag == WAVE_FORMAT_PCM) {
        std::snprintf(text, sizeof text, "%u-bit PCM at %u Hz", f.wBitsPerSample,
                      static_cast<unsigned>(f.nSamplesPerSec));
        if (f.nChannels > 2)
            std::snprintf(text + std::strlen(text), 40, ", %u channels", f.nChannels);
        return text;
    }
    ACMFORMATTAGDETAILSA details{};
    details.cbStruct = sizeof details;
    details.dwFormatTag = f.wFormatTag;
    std::string tag;
    if (acmFormatTagDetailsA(nullptr, &details, ACM_FORMATTAGDETAILSF_FORMATTAG) ==
        MMSYSERR_NOERROR)
        tag = details.szFormatTag;
    else {
        std::snprintf(text, sizeof text, "format tag 0x%04X", f.wFormatTag);
        tag = text;
    }
    std::snprintf(text, sizeof text, "%s at %u Hz, %u channel%s", tag.c_str(),
                  static_cast<unsigned>(f.nSamplesPerSec), f.nChannels,
                  f.nChannels == 1 ? "" : "s");
    return text;
}

// Whether the codec manager turns `format` into the PCM the devices play.
bool converts(const FileFormat& format) {
    const auto device = device_format_for(format.wfx);
    if (!device) return false;
    FileFormat source = format;
    WAVEFORMATEX target = *device;
    return acmStreamOpen(nullptr, nullptr, &source.wfx, &target, nullptr, 0, 0,
                         ACM_STREAMOPENF_QUERY | ACM_STREAMOPENF_NONREALTIME) == MMSYSERR_NOERROR;
}

std::string not_converted(const FileFormat& format) {
    return describe(format.wfx) + " is not a format the codec manager converts";
}

std::string why_not_wav(const std::string& path) {
    WavHeader header;
    InfoTexts texts;
    if (read_wav_header(path, header, texts) != 0)
        return "the WAV file has no format chunk that can be read";
    if (!converts(header.format)) return not_converted(header.format);
    MMIOINFO info{};
    UniqueHmmio file(mmioOpen(path.c_str(), &info, MMIO_READ));
    MMCKINFO riff{}, data{};
    riff.fccType = mmioFOURCC('W', 'A', 'V', 'E');
    data.ckid = mmioFOURCC('d', 'a', 't', 'a');
    if (!file || mmioDescend(file.get(), &riff, nullptr, MMIO_FINDRIFF) != MMSYSERR_NOERROR ||
        mmioDescend(file.get(), &data, &riff, MMIO_FINDCHUNK) != MMSYSERR_NOERROR)
        return "the WAV file has no data chunk";
    return "the WAV file cannot be read";
}

std::string why_not_mp3(const std::string& path, const unsigned char* head, std::size_t size) {
    for (const Signature& s : kOtherKinds)
        if (size >= s.offset + 4 && std::memcmp(head + s.offset, s.bytes, 4) == 0)
            return std::string(s.kind) + "; kelvane plays WAV and MP3 files";
    if (size >= 12 && std::memcmp(head, "RIFF", 4) == 0)
        return "a RIFF file of form \"" + std::string(reinterpret_cast<const char*>(head) + 8, 4) +
               "\", not WAVE";
    Mp3Stream stream;
    Mp3Problem problem = Mp3Problem::none;
    if (read_mp3_stream(path, stream, &problem) == 0) {
        if (!converts(stream.format)) return not_converted(stream.format);
        return "the MP3 file cannot be read";
    }
    if (problem == Mp3Problem::other_layer || problem == Mp3Problem::free_format)
        return mp3_problem_text(problem);
    return "neither a WAV file nor an MP3 file";
}

}  // namespace

std::string why_not_playable(const std::string& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) return std::strerror(errno);
    if (S_ISDIR(st.st_mode)) return std::strerror(EISDIR);
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return std::strerror(errno);
    unsigned char head[16] = {};
    const ssize_t got = ::read(fd, head, sizeof head);
    const int read_error = errno;
    ::close(fd);
    if (got < 0) return std::strerror(read_error);
    if (got == 0) return "the file is empty";
    if (test_for_wav(path) == 1) return why_not_wav(path);
    return why_not_mp3(path, head, static_cast<std::size_t>(got));
}

std::string why_not_recordable(const std::string& path, WORD format_tag,
                               const std::string& format_text) {
    namespace fs = std::filesystem;
    std::error_code ignored;
    if (fs::is_directory(path, ignored)) return std::strerror(EISDIR);
    const Container container = container_for_path(path);
    if (container == Container::none) return "the file name must end in .wav or .mp3";
    const fs::path folder = fs::absolute(path, ignored).parent_path();
    struct stat st {};
    if (::stat(folder.c_str(), &st) != 0)
        return "folder " + folder.string() + ": " + std::strerror(errno);
    if (!S_ISDIR(st.st_mode)) return folder.string() + " is not a folder";
    if (::access(folder.c_str(), W_OK) != 0)
        return "folder " + folder.string() + ": " + std::strerror(errno);
    if (::access(path.c_str(), F_OK) == 0 && ::access(path.c_str(), W_OK) != 0)
        return std::strerror(errno);
    // A full disk, or a device that takes nothing, lets the file be named but not written.
    if (std::string full = write_failure_reason(path); !full.empty()) return full;
    if (container == Container::mp3 && format_tag != WAVE_FORMAT_MPEGLAYER3)
        return "an .mp3 file holds MP3 audio, and the format is " + format_text +
               " (choose an mp3: format, or a .wav name)";
    return "the codec manager cannot make " + format_text + " from the input device's PCM";
}
