#include "control/engine/playback_engine.h"

#include <algorithm>
#include <cstring>
#include <limits>

#include "control/engine/block_count.h"

namespace kelvane::engine {

namespace {
constexpr UINT kPlayTickMs = 100;
constexpr UINT kHeaderSize = sizeof(WAVEHDR);
}  // namespace

PlaybackEngine::PlaybackEngine(SoundFile& file, EngineHost& host, LONG& blocks_count,
                               FileFormat& file_format, WAVEFORMATEX& device_format)
    : m_file(file),
      m_host(host),
      m_blocks(blocks_count),
      m_file_format(file_format),
      m_device_format(device_format) {}

PlaybackEngine::~PlaybackEngine() {
    abandon();
    release_device();
}

void PlaybackEngine::play(std::string_view path, UINT device, LONG buffer_ms) {
    // A device left open by a failed reset is given another chance to let go first.
    release_device();
    if (m_file.open_for_playback(path) < 0) {
        return abort_start(KelvaneError::file_open);
    }
    m_file_format = m_file.file_format();
    m_device_format = m_file.device_format();
    m_host.took_info_texts(m_file.info());
    const WAVEFORMATEX& format = m_device_format;
    m_blocks =
        format.nBlockAlign ? saturated_blocks(m_file.total_pcm_bytes() / format.nBlockAlign) : 0;

    // A playback buffer holds twice BufferSize.
    m_buffer_length =
        m_file.playback_size_rounding(buffer_bytes(format.nAvgBytesPerSec, buffer_ms, 2));
    if (!allocate_buffers(m_buffers, m_file, m_buffer_length, format.nBlockAlign))
        return abort_start(KelvaneError::memory_out);

    if (waveOutOpen(&m_device, device, &format, 0, 0, CALLBACK_NULL) != MMSYSERR_NOERROR) {
        m_device = nullptr;
        return abort_start(KelvaneError::output_device);
    }
    if (waveOutReset(m_device) != MMSYSERR_NOERROR) {
        return abort_start(KelvaneError::output_device);
    }
    m_headers = {};
    m_current = 0;
    m_host.fire_block_play(0);
    if (queue(0) == Queued::failed) {
        return abort_start(KelvaneError::output_device);
    }
    m_playing = true;
    m_host.open_level_meter(false);
    m_position_base = 0;
    m_host.start_engine_timer(kPlayTickMs);
}

PlaybackEngine::Queued PlaybackEngine::queue(int index) {
    const LONG produced =
        m_file.read_and_convert(std::span<BYTE>(m_buffers[index].data(), m_buffer_length));
    if (produced == 0 && m_file.source_consumed() >= m_file.data_size()) return Queued::nothing;
    if (produced <= 0) {
        stop();
        return Queued::stopped;
    }
    WAVEHDR& header = m_headers[index];
    waveOutUnprepareHeader(m_device, &header, kHeaderSize);
    header = {};
    header.lpData = reinterpret_cast<LPSTR>(m_buffers[index].data());
    header.dwBufferLength = static_cast<DWORD>(produced);
    if (waveOutPrepareHeader(m_device, &header, kHeaderSize) != MMSYSERR_NOERROR ||
        waveOutWrite(m_device, &header, kHeaderSize) != MMSYSERR_NOERROR)
        return Queued::failed;
    return Queued::written;
}

void PlaybackEngine::tick() {
    if (!m_playing) return;
    MMTIME time{};
    time.wType = TIME_BYTES;
    if (const MMRESULT result = waveOutGetPosition(m_device, &time, sizeof time);
        result != MMSYSERR_NOERROR) {
        // A device that is gone never plays the rest: end instead of waiting for it.
        if (result == MMSYSERR_NODRIVER) stop_with(KelvaneError::output_device);
        return;
    }
    const DWORD align = std::max<DWORD>(m_device_format.nBlockAlign, 1);
    const DWORD blocks = (time.u.cb + m_position_base) / align;
    m_host.fire_block_play(static_cast<LONG>(blocks));
    const DWORD position = blocks * align;
    // Only the bytes decoded into the buffer are audio; the rest of it is not.
    const WAVEHDR& queued = m_headers[m_current];
    m_host.play_level(std::span<const BYTE>(m_buffers[m_current].data(),
                                            std::min<std::size_t>(queued.dwBufferLength,
                                                                  m_buffers[m_current].size())),
                      m_buffer_length, position);
    if (!m_playing) return;

    const auto ahead = static_cast<LONG>(m_file.pcm_produced() - position);
    if (ahead < static_cast<LONG>(m_buffer_length / 2)) {
        m_current ^= 1;
        // A buffer that cannot be played would leave the position short of the end forever.
        if (queue(m_current) == Queued::failed) return stop_with(KelvaneError::output_device);
        if (!m_playing) return;
    }
    if (m_file.source_consumed() >= m_file.data_size() && position >= m_file.pcm_produced()) stop();
}

void PlaybackEngine::pause() {
    if (!m_playing) return;
    if (const MMRESULT result = waveOutPause(m_device); result != MMSYSERR_NOERROR) {
        if (result == MMSYSERR_NODRIVER) stop_with(KelvaneError::output_device);
        return;
    }
    m_host.kill_engine_timer();
}

void PlaybackEngine::resume() {
    if (!m_playing) return;
    if (const MMRESULT result = waveOutRestart(m_device); result != MMSYSERR_NOERROR) {
        if (result == MMSYSERR_NODRIVER) stop_with(KelvaneError::output_device);
        return;
    }
    m_host.start_engine_timer(kContinueTickMs);
}

void PlaybackEngine::seek(LONG blocks_offset, SHORT origin) {
    if (!m_playing || origin < 1 || origin > 3) return;
    const std::int64_t bytes = std::int64_t{blocks_offset} * m_device_format.nBlockAlign;
    const auto offset = static_cast<LONG>(std::clamp<std::int64_t>(
        bytes, std::numeric_limits<LONG>::min(), std::numeric_limits<LONG>::max()));
    (void)m_file.seek(offset, origin);
    m_position_base = m_file.pcm_produced();
    waveOutReset(m_device);
}

void PlaybackEngine::stop() {
    finish(true);
}

void PlaybackEngine::stop_with(KelvaneError code) {
    finish(true);
    m_host.fire_error(code);
}

void PlaybackEngine::abandon() {
    finish(false);
}

void PlaybackEngine::finish(bool fire) {
    if (!m_playing) return;
    m_host.kill_engine_timer();
    m_playing = false;
    m_file.close();
    m_blocks = 0;
    m_host.close_level_meter();
    if (fire) {
        m_host.fire_level_play(0);
        m_host.fire_end_play();
    }
    release_device();
}

void PlaybackEngine::release_device() {
    if (m_device) {
        // Buffers the device still holds must outlive it: keep everything until a reset works.
        if (waveOutReset(m_device) != MMSYSERR_NOERROR) return;
        for (auto& header : m_headers) waveOutUnprepareHeader(m_device, &header, kHeaderSize);
        waveOutClose(m_device);
        m_device = nullptr;
    }
    m_headers = {};
    free_buffers(m_buffers, m_file);
}

void PlaybackEngine::abort_start(KelvaneError code) {
    release_device();
    m_file.close();
    m_host.fire_error(code);
}

}  // namespace kelvane::engine
