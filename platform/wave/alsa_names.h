// Identities the ALSA backends share, so that a card's wave devices and its mixer match.
#pragma once

#include "platform/base/win_types.h"

// A device that reaches a sound server (PulseAudio or PipeWire through ALSA's `default` or
// `pulse` device) rather than one card.
inline constexpr int kAlsaServerCard = -1;

// Maker id (wMid) of the wave devices and the mixer of ALSA card `card` (its index, 0..254), or
// of the sound server for kAlsaServerCard: 0x4C00 + card + 1, a block of its own so that no id
// of the virtual card (0x5156) collides with it. The server's id is 0x4C00, card 0's 0x4C01.
constexpr WORD alsa_maker_id(int card) {
    return static_cast<WORD>(0x4C00 + (card + 1));
}
