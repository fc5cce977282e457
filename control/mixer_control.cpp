#include "control/mixer_control.h"

// This platform has no mixer devices yet, so every search finds nothing and every control
// operation fails silently, exactly as on a sound card without a mixer.

void MixerControl::find_output_lines(std::string_view, WORD) {
    m_output_mixer = -1;
    m_output_line = kNoLine;
    m_monitor_line = kNoLine;
}

void MixerControl::find_input_lines(std::string_view, WORD) {
    m_input_mixer = -1;
    m_input_line = kNoLine;
    m_microphone_line = kNoLine;
}

bool MixerControl::read_volume(LONG&, LONG&) {
    return false;
}

void MixerControl::write_volume(LONG, LONG) {}

bool MixerControl::read_gain(LONG&) {
    return false;
}

bool MixerControl::write_gain(LONG) {
    return false;
}

void MixerControl::set_monitor_mute(bool) {}
