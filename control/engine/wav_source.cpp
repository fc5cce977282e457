#include "control/engine/wav_source.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "control/engine/wav_file.h"

namespace kelvane::engine {

namespace {

bool is_pcm_family(WORD tag) {
    return tag == WAVE_FORMAT_PCM || tag == WAVE_FORMAT_IEEE_FLOAT || tag == WAVE_FORMAT_EXTENSIBLE;
}

WAVEFORMATEX pcm16(DWORD rate, WORD channels) {
    WAVEFORMATEX f{};
    f.wFormatTag = WAVE_FORMAT_PCM;
    f.nChannels = channels;
    f.nSamplesPerSec = rate;
    f.wBitsPerSample = 16;
    f.nBlockAlign = static_cast<WORD>(2 * channels);
    f.nAvgBytesPerSec = rate * f.nBlockAlign;
    return f;
}

DWORD stream_size(HACMSTREAM stream, DWORD bytes, DWORD direction) {
    DWORD answer = 0;
    if (acmStreamSize(stream, bytes, &answer, direction) != MMSYSERR_NOERROR) return 0;
    return answer;
}

}  // namespace

WavSource::~WavSource() {
    close_stages();
}

void WavSource::close_stages() {
    for (Stage* stage : {&m_decode, &m_resample}) {
        if (stage->stream) acmStreamClose(stage->stream, 0);
        stage->stream = nullptr;
        stage->pending.clear();
    }
}

bool WavSource::fail(Failure failure, const std::string& reason) {
    if (m_failure == Failure::none) {
        m_failure = failure;
        m_error = m_path + ": " + reason;
    }
    return false;
}

WORD WavSource::channels() const {
    return std::min<WORD>(m_format.wfx.nChannels, 2);
}

bool WavSource::open(std::string_view path) {
    m_path = std::string(path);
    // The system's own reason when the file cannot even be opened.
    const int probe = ::open(m_path.c_str(), O_RDONLY | O_CLOEXEC);
    if (probe < 0)
        return fail(errno == ENOENT ? Failure::missing : Failure::unreadable, std::strerror(errno));
    ::close(probe);
    if (test_for_wav(path) != 1) return fail(Failure::not_wav, "not a WAV file");
    WavHeader header;
    if (read_wav_header(path, header, m_info) != 0)
        return fail(Failure::not_wav, "no readable format in the WAV file");
    m_format = header.format;

    MMIOINFO info{};
    m_file.reset(mmioOpen(m_path.c_str(), &info, MMIO_READ | MMIO_ALLOCBUF));
    MMCKINFO riff{};
    riff.fccType = mmioFOURCC('W', 'A', 'V', 'E');
    MMCKINFO data{};
    data.ckid = mmioFOURCC('d', 'a', 't', 'a');
    if (!m_file || mmioDescend(m_file.get(), &riff, nullptr, MMIO_FINDRIFF) != MMSYSERR_NOERROR ||
        mmioDescend(m_file.get(), &data, &riff, MMIO_FINDCHUNK) != MMSYSERR_NOERROR)
        return fail(Failure::not_wav, "the WAV file has no audio data");
    // A data chunk that claims more than the file holds is read only as far as it goes.
    m_data_size = std::min(header.data_size, data.cksize);
    return true;
}

bool WavSource::open_stage(Stage& stage, WAVEFORMATEX& from, WAVEFORMATEX& to) {
    if (acmStreamOpen(&stage.stream, nullptr, &from, &to, nullptr, 0, 0,
                      ACM_STREAMOPENF_NONREALTIME) == MMSYSERR_NOERROR)
        return true;
    stage.stream = nullptr;
    char what[96];
    std::snprintf(what, sizeof what, "format tag 0x%04X at %u Hz, %u channels cannot be decoded",
                  from.wFormatTag, static_cast<unsigned>(from.nSamplesPerSec), from.nChannels);
    return fail(Failure::undecodable, what);
}

bool WavSource::start(DWORD rate, WORD channels) {
    close_stages();
    m_done = false;
    m_data_read = 0;
    WAVEFORMATEX target = pcm16(rate, channels);
    WAVEFORMATEX& file = m_format.wfx;
    std::uint64_t file_frames = 0;  // at the file's rate
    if (is_pcm_family(file.wFormatTag)) {
        if (!open_stage(m_decode, file, target)) return false;
        file_frames = file.nBlockAlign ? m_data_size / file.nBlockAlign : 0;
    } else {
        WAVEFORMATEX own = pcm16(file.nSamplesPerSec, this->channels());
        // The decoder's PCM is the one it suggests; asked for as PCM so that it fits 18 bytes.
        std::vector<BYTE> suggestion(std::max<std::size_t>(256, sizeof own + file.cbSize), 0);
        auto* suggested = reinterpret_cast<WAVEFORMATEX*>(suggestion.data());
        suggested->wFormatTag = WAVE_FORMAT_PCM;
        if (acmFormatSuggest(nullptr, &file, suggested, static_cast<DWORD>(suggestion.size()),
                             ACM_FORMATSUGGESTF_WFORMATTAG) == MMSYSERR_NOERROR &&
            suggested->wFormatTag == WAVE_FORMAT_PCM)
            own = pcm16(suggested->nSamplesPerSec, suggested->nChannels);
        if (!open_stage(m_decode, file, own)) return false;
        const bool same = own.nSamplesPerSec == rate && own.nChannels == channels;
        if (!same && !open_stage(m_resample, own, target)) return false;
        file_frames =
            stream_size(m_decode.stream, m_data_size, ACM_STREAMSIZEF_SOURCE) / own.nBlockAlign;
    }
    m_expected_frames = file.nSamplesPerSec
                            ? (file_frames * rate + file.nSamplesPerSec / 2) / file.nSamplesPerSec
                            : 0;
    const DWORD block = std::max<DWORD>(file.nBlockAlign, 1);
    m_piece = std::max<DWORD>(1, file.nAvgBytesPerSec / 8 / block) * block;
    return true;
}

bool WavSource::pass(Stage& stage, std::vector<BYTE>& out, bool end) {
    for (;;) {
        const DWORD offered = static_cast<DWORD>(stage.pending.size());
        const DWORD room =
            std::max<DWORD>(stream_size(stage.stream, offered, ACM_STREAMSIZEF_SOURCE), 64 * 1024);
        m_scratch.resize(room);
        ACMSTREAMHEADER header{};
        header.cbStruct = sizeof header;
        header.pbSrc = stage.pending.data();
        header.cbSrcLength = offered;
        header.pbDst = m_scratch.data();
        header.cbDstLength = room;
        if (acmStreamPrepareHeader(stage.stream, &header, 0) != MMSYSERR_NOERROR)
            return fail(Failure::undecodable, "the codec manager refused the data");
        const DWORD flags = ACM_STREAMCONVERTF_BLOCKALIGN | (end ? ACM_STREAMCONVERTF_END : 0);
        const MMRESULT converted = acmStreamConvert(stage.stream, &header, flags);
        const MMRESULT unprepared = acmStreamUnprepareHeader(stage.stream, &header, 0);
        if (converted != MMSYSERR_NOERROR || unprepared != MMSYSERR_NOERROR)
            return fail(Failure::undecodable, "the audio data cannot be decoded");
        out.insert(out.end(), m_scratch.begin(), m_scratch.begin() + header.cbDstLengthUsed);
        stage.pending.erase(stage.pending.begin(), stage.pending.begin() + header.cbSrcLengthUsed);
        // Done when no whole block was left and the converter had no more than room for.
        const bool drained = header.cbDstLengthUsed < room;
        if (drained && (header.cbSrcLengthUsed == 0 || stage.pending.empty())) return true;
    }
}

bool WavSource::read(std::vector<BYTE>& pcm) {
    if (m_done) return true;
    if (!m_decode.stream) return fail(Failure::undecodable, "the conversion was not started");
    const DWORD wanted = std::min(m_piece, m_data_size - m_data_read);
    const std::size_t held = m_decode.pending.size();
    m_decode.pending.resize(held + wanted);
    const LONG got = wanted == 0 ? 0
                                 : mmioRead(m_file.get(),
                                            reinterpret_cast<char*>(m_decode.pending.data() + held),
                                            static_cast<LONG>(wanted));
    if (got < 0) {
        m_decode.pending.resize(held);
        return fail(Failure::unreadable, "reading the audio data failed");
    }
    m_decode.pending.resize(held + static_cast<std::size_t>(got));
    m_data_read += static_cast<DWORD>(got);
    // A file shorter than its data chunk says ends where its bytes end.
    const bool end = got == 0 || m_data_read >= m_data_size;
    if (!m_resample.stream) {
        if (!pass(m_decode, pcm, end)) return false;
    } else {
        if (!pass(m_decode, m_resample.pending, end) || !pass(m_resample, pcm, end)) return false;
    }
    m_done = end;
    return true;
}

}  // namespace kelvane::engine
