// The signals the virtual card's inputs capture, rendered in any device format.
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>

#include "platform/base/win_types.h"

class VirtualSignal {
  public:
    virtual ~VirtualSignal() = default;

    // The next `out.size() / nBlockAlign` frames in the format given at creation.
    void render(std::span<BYTE> out);
    // Moves on by `frames` without producing them (captured while no buffer was queued).
    virtual void skip(std::uint64_t frames);

  protected:
    explicit VirtualSignal(const WAVEFORMATEX& format) : m_format(format) {}
    // One frame as 16-bit left and right samples.
    virtual void next_frame(std::int16_t& left, std::int16_t& right) = 0;

    WAVEFORMATEX m_format;
};

// Checks a KELVANE_VIRTUAL_INPUT value without opening anything but its file; the reason goes
// to `error`.
bool valid_signal_spec(std::string_view spec, std::string* error);
// The signal for one opened device; silence when `spec` is not valid.
std::unique_ptr<VirtualSignal> make_signal(std::string_view spec, const WAVEFORMATEX& format);
