// An open mixer device as the control's mixer work holds it, and the two questions about a line
// that both the mixer control and the level meter ask.
#pragma once

#include <vector>

#include "platform/mixer/mmsystem_mixer.h"

class OpenMixer {
  public:
    // Opens mixer `id`; false (and nothing open) for a negative id or a mixer that refuses.
    bool open(SHORT id);
    // Closes it and reports whether the close succeeded, for the operations that store nothing
    // unless it did. Dropping an open mixer closes it too.
    bool close();
    bool is_open() const { return m_handle != nullptr; }
    HMIXEROBJ object() const { return reinterpret_cast<HMIXEROBJ>(m_handle.get()); }
    HMIXER handle() const { return m_handle.get(); }

  private:
    UniqueHmixer m_handle;
};

// The line with id `line_id`.
bool line_by_id(const OpenMixer& mixer, DWORD line_id, MIXERLINEA& line);
// Every control of `line`, in the mixer's order.
bool all_controls(const OpenMixer& mixer, const MIXERLINEA& line,
                  std::vector<MIXERCONTROLA>& controls);
