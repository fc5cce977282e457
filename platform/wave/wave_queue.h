// The queue of headers an open device owns, shared by every backend: which buffer fills or
// plays next, how far it got, and the publishing of dwBytesRecorded and dwFlags so that a caller
// may poll them while a driver thread runs. Not locked: the device's own mutex guards it.
#pragma once

#include <cstddef>
#include <deque>
#include <span>

#include "platform/wave/mmsystem_wave.h"

class HeaderQueue {
  public:
    explicit HeaderQueue(WORD block_align) : m_block_align(block_align ? block_align : 1) {}
    HeaderQueue(const HeaderQueue&) = delete;
    HeaderQueue& operator=(const HeaderQueue&) = delete;

    void push(WAVEHDR& header);
    bool empty() const { return m_headers.empty(); }

    // Capture: the free whole-block room of the buffer being filled (buffers without room for
    // a block are completed on the way); empty when nothing is queued.
    std::span<BYTE> capture_room();
    // Counts `bytes` written at the start of capture_room(); completes the buffer when no
    // further block fits.
    void commit_capture(std::size_t bytes);
    // Completes the buffer being filled if it holds data (waveInStop).
    void complete_partial_capture();

    // Playback: the unplayed rest of the buffer playing now; empty when nothing is queued.
    std::span<const BYTE> playback_data();
    // Counts `bytes` of playback_data() as played; completes the buffer when all of it is.
    void commit_playback(std::size_t bytes);

    // Completes every queued header, front first (reset).
    void complete_all();

  private:
    void complete_front();

    WORD m_block_align;  // bytes
    std::deque<WAVEHDR*> m_headers;
    std::size_t m_played = 0;  // bytes of the front output buffer already played
};

// Header fields the device shares with a polling caller.
DWORD load_bytes_recorded(const WAVEHDR& header);
DWORD load_flags(const WAVEHDR& header);
void set_flags(WAVEHDR& header, DWORD set, DWORD clear);
