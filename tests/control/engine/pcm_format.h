// The PCM file format of a test: its byte rate and block alignment follow from the other fields.
#pragma once

#include "control/engine/wave_format.h"

namespace quillon::test {

inline kelvane::engine::FileFormat pcm(WORD channels, DWORD rate, WORD bits) {
    kelvane::engine::FileFormat f;
    f.wfx.wFormatTag = WAVE_FORMAT_PCM;
    f.wfx.nChannels = channels;
    f.wfx.nSamplesPerSec = rate;
    f.wfx.nBlockAlign = static_cast<WORD>(channels * bits / 8);
    f.wfx.nAvgBytesPerSec = rate * f.wfx.nBlockAlign;
    f.wfx.wBitsPerSample = bits;
    return f;
}

}  // namespace quillon::test
