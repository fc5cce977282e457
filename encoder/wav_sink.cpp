#include "encoder/wav_sink.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "control/engine/sound_file.h"
#include "encoder/mp3enc_ids.h"
#include "platform/codec/format_names.h"
#include "platform/riff/replacing_file.h"

namespace mp3enc {

namespace {

using kelvane::engine::SoundFile;
using kelvane::engine::WavSource;

// Bytes of PCM handed to the conversion stream at most at once.
constexpr DWORD kWork = 1 << 20;

// The format `name` gives, or 16-bit PCM at the listed rate nearest the input's.
bool target_format(const std::string& name, const WavSource& source, std::vector<BYTE>& format,
                   std::string& error) {
    if (!name.empty()) {
        auto parsed = quillon::codec::parse_format_name(name);
        error = parsed.error;
        format = std::move(parsed.format);
        return parsed.ok();
    }
    const AcmFormatChoice* best = nullptr;
    const auto distance = [&](const AcmFormatChoice& choice) {
        const auto& f = *reinterpret_cast<const WAVEFORMATEX*>(choice.format.data());
        return std::labs(static_cast<long>(f.nSamplesPerSec) - static_cast<long>(source.rate()));
    };
    const auto choices = quillon::codec::format_choices();
    for (const auto& c : choices) {
        const auto& wfx = *reinterpret_cast<const WAVEFORMATEX*>(c.format.data());
        if (wfx.wFormatTag == WAVE_FORMAT_PCM && wfx.wBitsPerSample == 16 &&
            wfx.nChannels == source.channels() && (!best || distance(c) < distance(*best)))
            best = &c;
    }
    if (!best) {
        error = "no 16-bit PCM format fits " + std::to_string(source.rate()) + " Hz";
        return false;
    }
    format = best->format;
    return true;
}

// A finalized WAV file: its RIFF chunk spans the whole file and holds a data chunk. Beside the
// result of finalizing, this is how a file cut short by a full disk is told.
bool wav_complete(const std::string& path) {
    MMIOINFO info{};
    UniqueHmmio file(mmioOpen(path.c_str(), &info, MMIO_READ));
    if (!file) return false;
    MMCKINFO riff{};
    riff.fccType = mmioFOURCC('W', 'A', 'V', 'E');
    MMCKINFO data{};
    data.ckid = mmioFOURCC('d', 'a', 't', 'a');
    const LONG end = mmioSeek(file.get(), 0, SEEK_END);
    // Positions past 2 GiB come back as their 32 bits: only -1 is a failure.
    if (end == -1 || mmioSeek(file.get(), 0, SEEK_SET) != 0) return false;
    return mmioDescend(file.get(), &riff, nullptr, MMIO_FINDRIFF) == MMSYSERR_NOERROR &&
           static_cast<LONG>(riff.cksize + 8) == end &&
           mmioDescend(file.get(), &data, &riff, MMIO_FINDCHUNK) == MMSYSERR_NOERROR;
}

class WavSink final : public ConversionSink {
  public:
    // Reserves the output and opens the stream into the file format; false with failure().
    bool open(const std::string& output, const std::vector<BYTE>& format,
              const kelvane::engine::InfoTexts& texts) {
        if (!m_file.create(output))
            return fail({write_failure_code(m_file.system_error()), m_file.error()});
        if (format.size() > sizeof m_sound.file_format())
            return fail({MP3ENC_E_FORMAT, "the format is too large"});
        std::memcpy(&m_sound.file_format(), format.data(), format.size());
        const auto& target = *reinterpret_cast<const WAVEFORMATEX*>(format.data());
        m_pcm_format = WAVEFORMATEX{WAVE_FORMAT_PCM,
                                    target.nChannels,
                                    target.nSamplesPerSec,
                                    target.nSamplesPerSec * 2u * target.nChannels,
                                    static_cast<WORD>(2 * target.nChannels),
                                    16,
                                    0};
        m_sound.device_format() = m_pcm_format;
        m_sound.info() = texts;
        errno = 0;
        if (m_sound.open_for_recording(m_file.path().string()) < 0)
            return fail_system("cannot write " + output + " as " +
                               quillon::codec::format_name(target));
        if (!m_sound.allocate_work_buffer(kWork)) return fail({E_OUTOFMEMORY, "out of memory"});
        // The stream converts whole blocks of the file format only.
        m_block = std::max<DWORD>(m_sound.recording_size_rounding(1), m_pcm_format.nBlockAlign);
        return true;
    }

    DWORD rate() const override { return m_pcm_format.nSamplesPerSec; }
    WORD channels() const override { return m_pcm_format.nChannels; }
    void expect(std::uint64_t frames) { m_expected = frames; }

    bool write(std::span<const std::int16_t> samples) override {
        const auto bytes = std::as_bytes(samples);
        const auto* first = reinterpret_cast<const BYTE*>(bytes.data());
        m_pcm.insert(m_pcm.end(), first, first + bytes.size());
        return write_blocks(false);
    }

    bool finish() override {
        if (!write_blocks(true)) return false;
        errno = 0;
        if (m_sound.close() != 0 || !wav_complete(m_file.path().string()))
            return fail_system(write_reason());
        if (!m_file.commit())
            return fail({write_failure_code(m_file.system_error()), m_file.error()});
        return true;
    }

    std::uint64_t frames() const override { return m_written / m_pcm_format.nBlockAlign; }
    std::uint64_t expected_frames() const override { return m_expected; }
    ConversionFailure failure() const override { return m_failure; }

  private:
    // Converts and writes the whole blocks gathered; with `last` also the last partial block,
    // padded with silence.
    bool write_blocks(bool last) {
        if (last && m_pcm.size() % m_block != 0)
            m_pcm.resize((m_pcm.size() / m_block + 1) * m_block, 0);
        std::size_t at = 0;
        while (m_pcm.size() - at >= m_block) {
            const std::size_t n =
                std::min<std::size_t>(m_pcm.size() - at, kWork / m_block * m_block);
            errno = 0;
            const LONG used = m_sound.convert_and_write({m_pcm.data() + at, n / m_block * m_block});
            if (used <= 0) return fail_system(write_reason());
            at += static_cast<std::size_t>(used);
        }
        m_written += at;
        m_pcm.erase(m_pcm.begin(), m_pcm.begin() + static_cast<std::ptrdiff_t>(at));
        return true;
    }

    std::string write_reason() const { return "cannot write " + m_file.destination().string(); }
    // The failure with the system's reason, when it gave one.
    bool fail_system(const std::string& what) {
        const int error = errno;
        return fail({write_failure_code(error != 0 ? error : EIO),
                     what + (error != 0 ? std::string(": ") + std::strerror(error) : "")});
    }
    bool fail(ConversionFailure failure) {
        if (m_failure.code == S_OK) m_failure = std::move(failure);
        return false;
    }

    // Declared first, so that it outlives the sound file writing into it.
    quillon::riff::ReplacingFile m_file;
    SoundFile m_sound;
    WAVEFORMATEX m_pcm_format{};  // what the sink takes
    std::vector<BYTE> m_pcm;      // PCM not yet converted: less than one block after each write
    DWORD m_block = 0;            // PCM bytes of one block of the file format
    std::uint64_t m_written = 0;
    std::uint64_t m_expected = 0;
    ConversionFailure m_failure;
};

}  // namespace

SinkMaker wav_sink(const WavSettings& settings, std::string& chosen) {
    return [settings, &chosen](WavSource& source, const std::string& output,
                               ConversionFailure& failure) -> std::unique_ptr<ConversionSink> {
        std::vector<BYTE> format;
        std::string error;
        if (!target_format(settings.format, source, format, error)) {
            failure = {MP3ENC_E_FORMAT, error};
            return nullptr;
        }
        const auto& target = *reinterpret_cast<const WAVEFORMATEX*>(format.data());
        if (!source.start(target.nSamplesPerSec, target.nChannels)) {
            failure = {read_failure_code(source.failure()), source.error()};
            return nullptr;
        }
        auto sink = std::make_unique<WavSink>();
        if (!sink->open(output, format, settings.texts.applied_to(source.info()))) {
            failure = sink->failure();
            return nullptr;
        }
        sink->expect(source.expected_frames());
        chosen = quillon::codec::format_name(target);
        return sink;
    };
}

}  // namespace mp3enc
