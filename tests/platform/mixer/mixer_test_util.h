// Small helpers for reading and writing one control through the mixer calls, as a caller would.
#pragma once

#include <gtest/gtest.h>

#include <string_view>
#include <vector>

#include "platform/mixer/mmsystem_mixer.h"

inline MIXERLINEA source_line(HMIXER mixer, DWORD destination, DWORD source) {
    MIXERLINEA line{};
    line.cbStruct = sizeof line;
    line.dwDestination = destination;
    line.dwSource = source;
    EXPECT_EQ(mixerGetLineInfoA(reinterpret_cast<HMIXEROBJ>(mixer), &line,
                                MIXER_OBJECTF_HMIXER | MIXER_GETLINEINFOF_SOURCE),
              MMSYSERR_NOERROR);
    return line;
}

inline MIXERLINEA destination_line(HMIXER mixer, DWORD destination) {
    MIXERLINEA line{};
    line.cbStruct = sizeof line;
    line.dwDestination = destination;
    EXPECT_EQ(mixerGetLineInfoA(reinterpret_cast<HMIXEROBJ>(mixer), &line,
                                MIXER_OBJECTF_HMIXER | MIXER_GETLINEINFOF_DESTINATION),
              MMSYSERR_NOERROR);
    return line;
}

inline std::vector<MIXERCONTROLA> line_controls(HMIXER mixer, const MIXERLINEA& line) {
    std::vector<MIXERCONTROLA> controls(line.cControls);
    MIXERLINECONTROLSA request{};
    request.cbStruct = sizeof request;
    request.dwLineID = line.dwLineID;
    request.cControls = line.cControls;
    request.cbmxctrl = sizeof(MIXERCONTROLA);
    request.pamxctrl = controls.data();
    EXPECT_EQ(mixerGetLineControlsA(reinterpret_cast<HMIXEROBJ>(mixer), &request,
                                    MIXER_OBJECTF_HMIXER | MIXER_GETLINECONTROLSF_ALL),
              MMSYSERR_NOERROR);
    return controls;
}

inline DWORD control_id(HMIXER mixer, const MIXERLINEA& line, std::string_view name) {
    for (const MIXERCONTROLA& control : line_controls(mixer, line))
        if (name == control.szName) return control.dwControlID;
    ADD_FAILURE() << "no control " << name << " on " << line.szName;
    return 0;
}

inline MMRESULT exchange_values(HMIXER mixer, DWORD control, std::vector<LONG>& values,
                                bool write) {
    MIXERCONTROLDETAILS details{};
    details.cbStruct = sizeof details;
    details.dwControlID = control;
    details.cChannels = static_cast<DWORD>(values.size());
    details.cbDetails = sizeof(LONG);
    details.paDetails = values.data();
    const auto object = reinterpret_cast<HMIXEROBJ>(mixer);
    return write ? mixerSetControlDetails(object, &details, MIXER_OBJECTF_HMIXER)
                 : mixerGetControlDetailsA(object, &details, MIXER_OBJECTF_HMIXER);
}

// The values of control `name` on source `source` of destination `destination` of mixer 0.
inline std::vector<LONG> source_values(DWORD destination, DWORD source, std::string_view name) {
    HMIXER mixer = nullptr;
    EXPECT_EQ(mixerOpen(&mixer, 0, 0, 0, 0), MMSYSERR_NOERROR);
    const MIXERLINEA line = source_line(mixer, destination, source);
    std::vector<LONG> values(line.cChannels);
    EXPECT_EQ(exchange_values(mixer, control_id(mixer, line, name), values, false),
              MMSYSERR_NOERROR);
    mixerClose(mixer);
    return values;
}

inline std::vector<LONG> destination_values(DWORD destination, std::string_view name) {
    HMIXER mixer = nullptr;
    EXPECT_EQ(mixerOpen(&mixer, 0, 0, 0, 0), MMSYSERR_NOERROR);
    const MIXERLINEA line = destination_line(mixer, destination);
    std::vector<LONG> values(line.cChannels);
    EXPECT_EQ(exchange_values(mixer, control_id(mixer, line, name), values, false),
              MMSYSERR_NOERROR);
    mixerClose(mixer);
    return values;
}
