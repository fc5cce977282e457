#include "control/format_selection.h"

#include <algorithm>
#include <cstring>
#include <optional>

#include "control/engine/device_format.h"
#include "control/engine/sound_file.h"
#include "platform/codec/acm.h"

namespace {

constexpr WAVEFORMATEX kDefaultFormat{WAVE_FORMAT_PCM, 1, 8000, 16000, 2, 16, 0};

}  // namespace

FormatSelection::FormatSelection() {
    m_file_format.wfx = kDefaultFormat;
    m_device_format = kDefaultFormat;
}

std::string FormatSelection::format_string() const {
    ACMFORMATTAGDETAILSA tag{};
    tag.cbStruct = sizeof tag;
    tag.dwFormatTag = m_file_format.wfx.wFormatTag;
    acmFormatTagDetailsA(nullptr, &tag, ACM_FORMATTAGDETAILSF_FORMATTAG);

    kelvane::engine::FileFormat copy = m_file_format;
    ACMFORMATDETAILSA details{};
    details.cbStruct = sizeof details;
    details.dwFormatTag = copy.wfx.wFormatTag;
    details.pwfx = &copy.wfx;
    details.cbwfx = copy.wfx.wFormatTag == WAVE_FORMAT_PCM
                        ? 16
                        : static_cast<DWORD>(std::min<std::size_t>(
                              sizeof(WAVEFORMATEX) + copy.wfx.cbSize, sizeof copy));
    acmFormatDetailsA(nullptr, &details, ACM_FORMATDETAILSF_FORMAT);

    return std::string(tag.szFormatTag, strnlen(tag.szFormatTag, sizeof tag.szFormatTag)) + " " +
           std::string(details.szFormat, strnlen(details.szFormat, sizeof details.szFormat));
}

LONG FormatSelection::choose() {
    kelvane::engine::FileFormat chosen{};
    ACMFORMATCHOOSEA request{};
    request.cbStruct = sizeof request;
    request.pwfx = &chosen.wfx;
    request.cbwfx = sizeof chosen;
    request.pszTitle = "Choose Format WAV file";
    if (acmFormatChooseA(&request) != MMSYSERR_NOERROR) return -1;

    const std::optional<WAVEFORMATEX> device = kelvane::engine::device_format_for(chosen.wfx);
    if (!device) return 0;
    // A format that no stream converts into would fail only at the next Record.
    WAVEFORMATEX source = *device;
    if (acmStreamOpen(nullptr, nullptr, &source, &chosen.wfx, nullptr, 0, 0,
                      ACM_STREAMOPENF_QUERY | ACM_STREAMOPENF_NONREALTIME) != MMSYSERR_NOERROR)
        return 0;
    m_file_format = chosen;
    m_device_format = *device;
    return 0;
}

bool FormatSelection::take_from_sample(std::string_view path) {
    // A sound file object of its own: the control's may be in use.
    kelvane::engine::SoundFile sample;
    if (sample.open_for_playback(path) < 0) return false;
    m_file_format = sample.file_format();
    m_device_format = sample.device_format();
    return true;
}
