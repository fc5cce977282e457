#include "control/engine/capture_engine.h"

#include <algorithm>
#include <atomic>
#include <cstring>
#include <limits>

#include "control/engine/block_count.h"

namespace kelvane::engine {

namespace {
constexpr UINT kRecordTickMs = 100;
constexpr UINT kHeaderSize = sizeof(WAVEHDR);
}  // namespace

CaptureEngine::CaptureEngine(SoundFile& file, EngineHost& host, LONG& blocks_count)
    : m_file(file), m_host(host), m_blocks(blocks_count) {}

CaptureEngine::~CaptureEngine() {
    abandon();
}

void CaptureEngine::record(std::string_view path, UINT device, LONG buffer_ms) {
    if (m_file.open_for_recording(path) < 0) {
        return abort_start(KelvaneError::file_open);
    }
    const WAVEFORMATEX format = m_file.device_format();
    m_tick_increment = format.nAvgBytesPerSec / 20;
    m_buffer_length =
        m_file.recording_size_rounding(buffer_bytes(format.nAvgBytesPerSec, buffer_ms, 1));
    if (!allocate_buffers(m_buffers, m_file, m_buffer_length, format.nBlockAlign))
        return abort_start(KelvaneError::memory_out);

    if (waveInOpen(&m_device, device, &format, 0, 0, CALLBACK_NULL) != MMSYSERR_NOERROR) {
        m_device = nullptr;
        return abort_start(KelvaneError::input_device);
    }
    if (waveInReset(m_device) != MMSYSERR_NOERROR || waveInStart(m_device) != MMSYSERR_NOERROR) {
        return abort_start(KelvaneError::input_device);
    }
    m_headers = {};
    m_blocks = 0;
    m_current = 0;
    m_written_by_pause = 0;
    m_recording = true;
    m_host.open_level_meter(true);
    m_host.fire_level_record(0);
    if (!queue(0) || !queue(1)) return stop_with(KelvaneError::input_device);
    m_host.start_engine_timer(kRecordTickMs);
}

bool CaptureEngine::queue(int index) {
    std::fill_n(m_buffers[index].begin(), m_buffer_length, BYTE{0});
    m_estimated_fill = 0;
    WAVEHDR& header = m_headers[index];
    waveInUnprepareHeader(m_device, &header, kHeaderSize);
    header = {};
    header.lpData = reinterpret_cast<LPSTR>(m_buffers[index].data());
    header.dwBufferLength = m_buffer_length;
    return waveInPrepareHeader(m_device, &header, kHeaderSize) == MMSYSERR_NOERROR &&
           waveInAddBuffer(m_device, &header, kHeaderSize) == MMSYSERR_NOERROR;
}

void CaptureEngine::tick() {
    if (!m_recording) return;
    m_estimated_fill += static_cast<LONG>(m_tick_increment);
    // The driver thread publishes the count and the flags with release stores.
    WAVEHDR& header = m_headers[m_current];
    const DWORD recorded =
        std::atomic_ref<DWORD>(header.dwBytesRecorded).load(std::memory_order_acquire);
    m_host.record_level(std::span<const BYTE>(m_buffers[m_current].data(), recorded),
                        m_estimated_fill);
    // The host may have stopped the recording from inside the level event.
    if (!m_recording) return;

    const DWORD flags = std::atomic_ref<DWORD>(header.dwFlags).load(std::memory_order_acquire);
    const DWORD align = std::max<DWORD>(m_file.device_format().nBlockAlign, 1);
    // Full to within one block, or handed back early by a device that stopped working.
    const bool full = std::int64_t{recorded} > std::int64_t{m_buffer_length} - align;
    if (!full && !(flags & WHDR_DONE)) return;

    if (!write_unwritten(true)) return stop_with(KelvaneError::record);
    m_host.auto_gain(std::span<const BYTE>(m_buffers[m_current].data(), recorded));
    if (!m_recording) return;
    if (m_file.is_full()) return stop_with(KelvaneError::record);
    m_written_by_pause = 0;
    if (!queue(m_current)) return stop_with(KelvaneError::input_device);
    m_current ^= 1;
}

bool CaptureEngine::write_unwritten(bool fire) {
    const DWORD recorded = m_headers[m_current].dwBytesRecorded;
    const DWORD fresh = recorded > m_written_by_pause ? recorded - m_written_by_pause : 0;
    // These bytes are handled now, whatever becomes of them: a failed write is not tried again.
    m_written_by_pause = std::max(m_written_by_pause, recorded);
    LONG used = 0;
    if (fresh > 0) {
        used = m_file.convert_and_write(
            std::span<const BYTE>(m_buffers[m_current].data() + recorded - fresh, fresh));
        // Less than one block of a compressed format holds nothing that can be written.
        if (used < 0 && fresh >= m_file.recording_size_rounding(1)) return false;
    }
    // The blocks the file holds: after a failure or at the size limit that is fewer than were
    // captured.
    add_blocks(m_blocks,
               std::max<LONG>(used, 0) / std::max<DWORD>(m_file.device_format().nBlockAlign, 1));
    if (fire) m_host.fire_block_record(m_blocks);
    return true;
}

void CaptureEngine::pause() {
    if (!m_recording) return;
    m_host.kill_engine_timer();
    if (waveInStop(m_device) != MMSYSERR_NOERROR) return;
    if (!write_unwritten(true)) return stop_with(KelvaneError::record);
    waveInReset(m_device);
    m_host.fire_level_record(0);
}

void CaptureEngine::resume() {
    if (!m_recording) return;
    if (const MMRESULT reset = waveInReset(m_device); reset != MMSYSERR_NOERROR) {
        if (reset == MMSYSERR_NODRIVER) stop_with(KelvaneError::input_device);
        return;
    }
    if (const MMRESULT started = waveInStart(m_device); started != MMSYSERR_NOERROR) {
        // A device that is gone will not come back: the recording ends, and says why.
        if (started == MMSYSERR_NODRIVER) stop_with(KelvaneError::input_device);
        return;
    }
    m_headers = {};
    m_current = 0;
    m_written_by_pause = 0;
    if (!queue(0) || !queue(1)) return stop_with(KelvaneError::file_open);
    m_host.start_engine_timer(kContinueTickMs);
}

void CaptureEngine::stop() {
    if (!finish(true)) m_host.fire_error(KelvaneError::record);
}

void CaptureEngine::stop_with(KelvaneError code) {
    finish(true);
    m_host.fire_error(code);
}

void CaptureEngine::abandon() {
    (void)finish(false);
}

bool CaptureEngine::finish(bool fire) {
    if (!m_recording) return true;
    if (fire) m_host.kill_engine_timer();
    m_recording = false;
    const bool stopped = waveInStop(m_device) == MMSYSERR_NOERROR;
    if (!stopped) {
        // The device did not stop: reset takes the buffers back so that what was captured can
        // still be written and the file finalized; a recording is never left unreadable.
        waveInReset(m_device);
    }
    bool written = write_unwritten(fire);
    written = m_file.close() == 0 && written;
    if (stopped) waveInReset(m_device);
    m_host.close_level_meter();
    if (fire) {
        m_host.fire_level_record(0);
        if (stopped) m_host.fire_end_record();
    }
    release_device();
    return written;
}

void CaptureEngine::release_device() {
    if (m_device) {
        waveInReset(m_device);
        for (auto& header : m_headers) waveInUnprepareHeader(m_device, &header, kHeaderSize);
        waveInClose(m_device);
        m_device = nullptr;
    }
    m_headers = {};
    free_buffers(m_buffers, m_file);
}

void CaptureEngine::abort_start(KelvaneError code) {
    release_device();
    (void)m_file.close();
    m_host.fire_error(code);
}

}  // namespace kelvane::engine
