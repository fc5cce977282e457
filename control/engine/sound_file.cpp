#include "control/engine/sound_file.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "control/engine/container.h"
#include "control/engine/device_format.h"
#include "control/engine/mp3_stream_header.h"
#include "platform/base/out_of_memory.h"

namespace kelvane::engine {

namespace {

// Samples decoded before a seek's target in other programs' MP3 files, so that it sounds as it
// does when played through: four frames of MPEG-1, eight of the shorter MPEG-2 and 2.5 frames.
constexpr DWORD kMp3PrerollSamples = 4 * 1152;

DWORD stream_size(HACMSTREAM stream, DWORD bytes, DWORD direction) {
    DWORD answer = 0;
    if (stream) acmStreamSize(stream, bytes, &answer, direction);
    return answer;
}

// A conversion stream from `source` to `destination`; empty when none can be opened.
UniqueHacmStream open_stream(WAVEFORMATEX& source, WAVEFORMATEX& destination) {
    HACMSTREAM stream = nullptr;
    if (acmStreamOpen(&stream, nullptr, &source, &destination, nullptr, 0, 0,
                      ACM_STREAMOPENF_NONREALTIME) != MMSYSERR_NOERROR)
        return nullptr;
    return UniqueHacmStream(stream);
}

// PCM in the same layout on both sides: converting would only copy it.
bool same_pcm(const WAVEFORMATEX& a, const WAVEFORMATEX& b) {
    return a.wFormatTag == WAVE_FORMAT_PCM && b.wFormatTag == WAVE_FORMAT_PCM &&
           a.nChannels == b.nChannels && a.nSamplesPerSec == b.nSamplesPerSec &&
           a.wBitsPerSample == b.wBitsPerSample && a.nBlockAlign == b.nBlockAlign;
}

}  // namespace

SoundFile::SoundFile() {
    reset_counters();
}

SoundFile::~SoundFile() {
    close();
}

bool SoundFile::allocate_work_buffer(DWORD bytes) {
    const bool allocated = or_out_of_memory(false, [&] {
        m_work.assign(bytes, 0);
        return true;
    });
    if (!allocated) m_work.clear();
    return allocated;
}

void SoundFile::free_work_buffer() {
    std::vector<BYTE>().swap(m_work);
}

void SoundFile::reset_counters() {
    m_data_start = 0;
    m_data_size = 0;
    m_total_pcm_bytes = 0;
    m_source_consumed = 0;
    m_pcm_produced = 0;
    m_restart_decoder = false;
    m_discard_bytes = 0;
    m_drained = false;
}

int SoundFile::open_for_recording(std::string_view path) {
    close();
    m_mp3 = false;
    switch (container_for_path(path)) {
        case Container::wav:
            if (int result = m_wav.create(path, m_file_format, info_chunks_size(m_info));
                result < 0)
                return result;
            break;
        case Container::mp3:
            m_mp3 = true;
            if (int result = write_mp3_stream_header(path, m_file_format, m_file); result < 0)
                return result;
            if (!m_mp3_append.start(m_file.get(), kMp3StreamHeaderBytes, {})) return fail_open();
            break;
        case Container::none:
            return -1;
    }
    m_record_stream = open_stream(m_device_format, m_file_format.wfx);
    if (!m_record_stream) return fail_open();
    m_copy_through = same_pcm(m_device_format, m_file_format.wfx);
    reset_counters();
    m_mode = Mode::recording;
    m_file_name = std::string(path);
    return 0;
}

bool SoundFile::convert(HACMSTREAM stream, std::span<const BYTE> source,
                        std::span<BYTE> destination, DWORD flags, DWORD& source_used,
                        DWORD& destination_used) {
    std::memset(&m_header, 0, sizeof m_header);
    m_header.cbStruct = sizeof m_header;
    // The stream only reads the source; the header's field is not const.
    m_header.pbSrc = const_cast<BYTE*>(source.data());
    m_header.cbSrcLength = static_cast<DWORD>(source.size());
    m_header.pbDst = destination.data();
    m_header.cbDstLength = static_cast<DWORD>(destination.size());
    if (acmStreamPrepareHeader(stream, &m_header, 0) != MMSYSERR_NOERROR) return false;
    const MMRESULT converted =
        acmStreamConvert(stream, &m_header, ACM_STREAMCONVERTF_BLOCKALIGN | flags);
    const MMRESULT unprepared = acmStreamUnprepareHeader(stream, &m_header, 0);
    if (converted != MMSYSERR_NOERROR || unprepared != MMSYSERR_NOERROR) return false;
    source_used = m_header.cbSrcLengthUsed;
    destination_used = m_header.cbDstLengthUsed;
    return source_used != 0;
}

LONG SoundFile::convert_and_write(std::span<const BYTE> pcm) {
    if (m_mode != Mode::recording || pcm.empty()) return -1;
    if (!m_mp3) {
        // Near the size limit of WAV files only the whole blocks that still fit go in.
        const std::uint64_t room = m_wav.room();
        const DWORD whole = static_cast<DWORD>(pcm.size());
        if (stream_size(m_record_stream.get(), whole, ACM_STREAMSIZEF_SOURCE) > room) {
            m_full = true;
            const DWORD align = std::max<DWORD>(m_device_format.nBlockAlign, 1);
            const DWORD fits =
                std::min(stream_size(m_record_stream.get(),
                                     static_cast<DWORD>(std::min<std::uint64_t>(room, whole)),
                                     ACM_STREAMSIZEF_DESTINATION),
                         whole) /
                align * align;
            if (fits == 0) return 0;
            pcm = pcm.first(fits);
        }
    }
    if (m_copy_through) {
        // The device delivers the file's own format: its whole blocks go in as they are.
        const DWORD align = std::max<DWORD>(m_device_format.nBlockAlign, 1);
        const std::span<const BYTE> whole = pcm.first(pcm.size() / align * align);
        if (whole.empty() || !write_encoded(whole)) return -1;
        return static_cast<LONG>(whole.size());
    }
    // The converted bytes land in the work buffer, which holds at least as many as the source.
    const DWORD room = static_cast<DWORD>(std::min(pcm.size(), m_work.size()));
    DWORD used = 0, produced = 0;
    if (!convert(m_record_stream.get(), pcm, std::span<BYTE>(m_work.data(), room), 0, used,
                 produced))
        return -1;
    if (!write_encoded(std::span<const BYTE>(m_work.data(), produced))) return -1;
    return static_cast<LONG>(used);
}

bool SoundFile::write_encoded(std::span<const BYTE> encoded) {
    if (encoded.empty()) return true;
    if (!m_mp3) return m_wav.write(encoded) >= 0;
    return m_mp3_append.append(encoded);
}

bool SoundFile::flush_encoder() {
    // An encoder keeps the last frames of a recording to itself until told that no more input
    // comes; without this they would be missing from every file.
    if (m_work.empty()) return true;
    for (int round = 0; round < 64; ++round) {
        std::memset(&m_header, 0, sizeof m_header);
        m_header.cbStruct = sizeof m_header;
        m_header.pbSrc = m_work.data();
        m_header.pbDst = m_work.data();
        m_header.cbDstLength = static_cast<DWORD>(m_work.size());
        if (acmStreamPrepareHeader(m_record_stream.get(), &m_header, 0) != MMSYSERR_NOERROR)
            return false;
        const MMRESULT converted =
            acmStreamConvert(m_record_stream.get(), &m_header, ACM_STREAMCONVERTF_END);
        const MMRESULT unprepared = acmStreamUnprepareHeader(m_record_stream.get(), &m_header, 0);
        if (converted != MMSYSERR_NOERROR || unprepared != MMSYSERR_NOERROR) return false;
        if (m_header.cbDstLengthUsed == 0) return true;
        // Past the size limit the encoder's tail is left out; the file stays as it is.
        if (!m_mp3 && m_header.cbDstLengthUsed > m_wav.room()) {
            m_full = true;
            return true;
        }
        if (!write_encoded(std::span<const BYTE>(m_work.data(), m_header.cbDstLengthUsed)))
            return false;
    }
    return true;
}

int SoundFile::open_for_playback(std::string_view path) {
    close();
    m_mp3 = false;
    m_mode = Mode::playing;
    m_info = InfoTexts{};
    if (path.size() > kMaxPathChars) return fail_open();

    const std::string name(path);
    const int kind = test_for_wav(path);
    if (kind < 0) return fail_open(kind);
    FileFormat format{};
    DWORD data_start = 4;  // after the header of a raw MP3 stream
    DWORD data_size = 0;
    if (kind == 1) {
        WavHeader header;
        if (int result = read_wav_header(path, header, m_info); result < 0)
            return fail_open(result);
        if (header.data_offset == 0) return fail_open();  // no data chunk
        format = header.format;
        data_start = header.data_offset;
        data_size = header.data_size;
    } else {
        m_mp3 = true;
        if (int result = read_mp3_stream(path, m_mp3_stream); result < 0) return fail_open(result);
        format = m_mp3_stream.format;
        data_size = m_mp3_stream.data_size;
    }

    MMIOINFO info{};
    m_file.reset(mmioOpen(name.c_str(), &info, MMIO_READ | MMIO_ALLOCBUF));
    if (!m_file) return fail_open();
    if (m_mp3) data_start = m_mp3_stream.data_start;
    if (mmioSeek(m_file.get(), static_cast<LONG>(data_start), SEEK_SET) !=
        static_cast<LONG>(data_start))
        return fail_open();
    m_data_start = data_start;
    m_file_format = format;
    m_data_size = data_size;

    const std::optional<WAVEFORMATEX> device = device_format_for(m_file_format.wfx);
    if (!device) {
        std::memset(&m_device_format, 0, sizeof m_device_format);
        return fail_open();
    }
    m_device_format = *device;
    m_play_stream = open_stream(m_file_format.wfx, m_device_format);
    if (!m_play_stream) return fail_open();
    m_total_pcm_bytes = stream_size(m_play_stream.get(), m_data_size, ACM_STREAMSIZEF_SOURCE);
    // Frames of other programs' files vary in size: their length is counted in samples.
    if (peer_mp3())
        m_total_pcm_bytes = static_cast<DWORD>(std::min<std::uint64_t>(
            m_mp3_stream.samples * m_device_format.nBlockAlign, 0xFFFFFFFF));
    m_source_consumed = 0;
    m_pcm_produced = 0;
    m_restart_decoder = true;
    m_file_name = name;
    return 0;
}

int SoundFile::fail_open(int result) {
    close();
    return result < 0 ? result : -1;
}

LONG SoundFile::read_and_convert(std::span<BYTE> pcm) {
    if (m_mode != Mode::playing || pcm.empty()) return -1;
    // A streaming decoder may put out nothing for a piece (it waits for the frame that follows
    // the one it holds), and what it decodes before a seek's target is dropped: read on until
    // something is left or the data ends.
    for (;;) {
        const DWORD left = m_data_size > m_source_consumed ? m_data_size - m_source_consumed : 0;
        DWORD wanted = std::min(stream_size(m_play_stream.get(), static_cast<DWORD>(pcm.size()),
                                            ACM_STREAMSIZEF_DESTINATION),
                                left);
        wanted = std::min<DWORD>(wanted, static_cast<DWORD>(m_work.size()));
        if (left == 0) return drain_decoder(pcm);
        if (wanted == 0) return 0;
        const LONG read = mmioRead(m_file.get(), reinterpret_cast<char*>(m_work.data()),
                                   static_cast<LONG>(wanted));
        if (read < 0) return -1;
        if (read == 0) return drain_decoder(pcm);
        DWORD used = 0, produced = 0;
        const DWORD flags = m_restart_decoder ? ACM_STREAMCONVERTF_START : 0;
        if (!convert(m_play_stream.get(),
                     std::span<const BYTE>(m_work.data(), static_cast<DWORD>(read)), pcm, flags,
                     used, produced))
            return -1;
        m_restart_decoder = false;
        m_source_consumed += used;
        if (m_discard_bytes > 0) {
            const DWORD dropped = std::min(m_discard_bytes, produced);
            std::memmove(pcm.data(), pcm.data() + dropped, produced - dropped);
            produced -= dropped;
            m_discard_bytes -= dropped;
        }
        if (produced == 0) continue;
        if (peer_mp3() && produced >= m_total_pcm_bytes - m_pcm_produced) {
            // What a decoder puts out past the length (padding it could not drop after a
            // seek) is not played: the position never passes the length.
            produced = m_total_pcm_bytes - m_pcm_produced;
            m_source_consumed = m_data_size;
            m_drained = true;
        }
        m_pcm_produced += produced;
        return static_cast<LONG>(produced);
    }
}

LONG SoundFile::drain_decoder(std::span<BYTE> pcm) {
    // A decoder that lags behind its input (a resampler, an MP3 decoder) holds back decoded
    // audio until it is told that no more input comes; without this the last of every file
    // would be missing.
    if (m_drained) return 0;
    std::memset(&m_header, 0, sizeof m_header);
    m_header.cbStruct = sizeof m_header;
    m_header.pbSrc = m_work.data();
    m_header.pbDst = pcm.data();
    m_header.cbDstLength = static_cast<DWORD>(pcm.size());
    HACMSTREAM stream = m_play_stream.get();
    if (acmStreamPrepareHeader(stream, &m_header, 0) != MMSYSERR_NOERROR) return -1;
    const MMRESULT converted = acmStreamConvert(
        stream, &m_header,
        ACM_STREAMCONVERTF_END | (m_restart_decoder ? ACM_STREAMCONVERTF_START : 0));
    const MMRESULT unprepared = acmStreamUnprepareHeader(stream, &m_header, 0);
    if (converted != MMSYSERR_NOERROR || unprepared != MMSYSERR_NOERROR) return -1;
    m_restart_decoder = false;
    DWORD produced = m_header.cbDstLengthUsed;
    if (produced == 0) m_drained = true;
    if (peer_mp3()) produced = std::min(produced, m_total_pcm_bytes - m_pcm_produced);
    m_pcm_produced += produced;
    return static_cast<LONG>(produced);
}

LONG SoundFile::seek(LONG pcm_offset, SHORT origin) {
    if (m_mode != Mode::playing) return -1;
    if (peer_mp3()) {
        const std::int64_t base = origin == 1   ? std::int64_t{m_pcm_produced}
                                  : origin == 2 ? std::int64_t{m_total_pcm_bytes}
                                  : origin == 3 ? 0
                                                : -1;
        if (base < 0) return -1;
        return seek_frames(base + pcm_offset);
    }
    // The source size of the offset's magnitude, in 64 bits: -2^31 has no 32-bit magnitude.
    const std::uint64_t magnitude = pcm_offset < 0 ? -std::int64_t{pcm_offset} : pcm_offset;
    const std::int64_t source_size = stream_size(
        m_play_stream.get(), static_cast<DWORD>(std::min<std::uint64_t>(magnitude, 0xFFFFFFFF)),
        ACM_STREAMSIZEF_DESTINATION);
    const std::int64_t source_offset = pcm_offset < 0 ? -source_size : source_size;
    // Positions are 32-bit unsigned: a WAV file may be up to 4 GiB long.
    const LONG current = mmioSeek(m_file.get(), 0, SEEK_CUR);
    if (current == -1) return -1;
    std::int64_t target = 0;
    switch (origin) {
        case 1:
            target = std::int64_t{static_cast<DWORD>(current)} + source_offset;
            break;
        case 2:
            target = std::int64_t{m_data_start} + m_data_size + source_offset;
            break;
        case 3:
            target = std::int64_t{m_data_start} + source_offset;
            break;
        default:
            return -1;
    }
    // Never before the first audio byte (the header would play as noise) nor past the last.
    target =
        std::clamp<std::int64_t>(target, m_data_start, std::int64_t{m_data_start} + m_data_size);
    const LONG position =
        mmioSeek(m_file.get(), static_cast<LONG>(static_cast<DWORD>(target)), SEEK_SET);
    if (position == -1) return -1;
    m_source_consumed = static_cast<DWORD>(position) - m_data_start;
    m_pcm_produced = stream_size(m_play_stream.get(), m_source_consumed, ACM_STREAMSIZEF_SOURCE);
    m_restart_decoder = true;
    m_drained = false;
    return static_cast<LONG>(m_pcm_produced);
}

LONG SoundFile::seek_frames(std::int64_t target) {
    const Mp3Stream& s = m_mp3_stream;
    const DWORD align = std::max<WORD>(m_device_format.nBlockAlign, 1);
    target = std::clamp<std::int64_t>(target, 0, m_total_pcm_bytes);
    // The frame that holds the target's sample, counted as the decoder counts: the samples it
    // drops at the start come first.
    const std::uint64_t raw = static_cast<std::uint64_t>(target) / align + s.skipped;
    const std::uint64_t frame = raw / std::max<DWORD>(s.samples_per_frame, 1);
    const std::uint64_t frame_start = frame * s.samples_per_frame;
    LONG offset = static_cast<LONG>(m_data_start);
    std::uint64_t produced = 0;
    DWORD preroll = 0;
    if (frame_start > s.skipped) {
        // From the start the decoder reads the info frame again and drops the delay once more.
        // Elsewhere it starts a few frames early, for the bits that earlier frames carry for
        // later ones and the overlap of their transforms, and what it makes of them is dropped.
        if (!m_frame_index.built() && !m_frame_index.build(m_file.get(), s)) return -1;
        preroll = static_cast<DWORD>(
            std::min<std::uint64_t>(kMp3PrerollSamples / s.samples_per_frame, frame));
        offset = m_frame_index.offset_of(m_file.get(), static_cast<DWORD>(frame) - preroll);
        if (offset < 0) return -1;
        produced = std::min<std::uint64_t>((frame_start - s.skipped) * align, m_total_pcm_bytes);
    }
    if (mmioSeek(m_file.get(), offset, SEEK_SET) != offset) return -1;
    m_source_consumed = std::min(static_cast<DWORD>(offset) - m_data_start, m_data_size);
    m_pcm_produced = static_cast<DWORD>(produced);
    m_discard_bytes = preroll * s.samples_per_frame * align;
    m_restart_decoder = true;
    m_drained = false;
    return static_cast<LONG>(m_pcm_produced);
}

int SoundFile::close() {
    bool ok = true;
    if (m_mode == Mode::recording) {
        ok = flush_encoder();
        m_record_stream.reset();
        if (m_wav.is_open()) ok = m_wav.finalize(m_info) == 0 && ok;
        if (m_file) ok = mmioClose(m_file.release(), 0) == 0 && ok;
    }
    // Everything else goes, also what a failed open left behind.
    m_record_stream.reset();
    m_play_stream.reset();
    m_wav = WavWriter();
    m_file.reset();
    m_mp3_stream = Mp3Stream{};
    m_frame_index.clear();
    reset_counters();
    m_file_name.clear();
    m_mode = Mode::idle;
    m_full = false;
    return ok ? 0 : -1;
}

DWORD SoundFile::recording_size_rounding(DWORD pcm_bytes) const {
    const DWORD encoded = stream_size(m_record_stream.get(), pcm_bytes, ACM_STREAMSIZEF_SOURCE);
    return stream_size(m_record_stream.get(), encoded, ACM_STREAMSIZEF_DESTINATION);
}

DWORD SoundFile::playback_size_rounding(DWORD pcm_bytes) const {
    const DWORD source = stream_size(m_play_stream.get(), pcm_bytes, ACM_STREAMSIZEF_DESTINATION);
    return stream_size(m_play_stream.get(), source, ACM_STREAMSIZEF_SOURCE);
}

}  // namespace kelvane::engine
