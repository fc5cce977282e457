#include "control/open_mixer.h"

bool OpenMixer::open(SHORT id) {
    m_handle.reset();
    if (id < 0) return false;
    HMIXER handle = nullptr;
    // A window callback without a window: the control polls, it wants no notifications.
    if (mixerOpen(&handle, static_cast<UINT>(id), 0, 0, CALLBACK_WINDOW) != MMSYSERR_NOERROR)
        return false;
    m_handle.reset(handle);
    return true;
}

bool OpenMixer::close() {
    return mixerClose(m_handle.release()) == MMSYSERR_NOERROR;
}

bool line_by_id(const OpenMixer& mixer, DWORD line_id, MIXERLINEA& line) {
    line = {};
    line.cbStruct = sizeof line;
    line.dwLineID = line_id;
    return mixerGetLineInfoA(mixer.object(), &line,
                             MIXER_OBJECTF_HMIXER | MIXER_GETLINEINFOF_LINEID) == MMSYSERR_NOERROR;
}

bool all_controls(const OpenMixer& mixer, const MIXERLINEA& line,
                  std::vector<MIXERCONTROLA>& controls) {
    controls.assign(line.cControls, MIXERCONTROLA{});
    for (MIXERCONTROLA& control : controls) control.cbStruct = sizeof control;
    MIXERLINECONTROLSA request{};
    request.cbStruct = sizeof request;
    request.dwLineID = line.dwLineID;
    request.cControls = line.cControls;
    request.cbmxctrl = sizeof(MIXERCONTROLA);
    request.pamxctrl = controls.data();
    return mixerGetLineControlsA(mixer.object(), &request,
                                 MIXER_OBJECTF_HMIXER | MIXER_GETLINECONTROLSF_ALL) ==
           MMSYSERR_NOERROR;
}
