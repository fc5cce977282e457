#include "control/engine/device_format.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "platform/codec/acm.h"

namespace kelvane::engine {

std::optional<WAVEFORMATEX> device_format_for(const WAVEFORMATEX& file_format) {
    WAVEFORMATEX device{};
    if (file_format.wFormatTag == WAVE_FORMAT_PCM) {
        device = file_format;
        device.cbSize = 0;
        return device;
    }
    DWORD largest = 0;
    acmMetrics(nullptr, ACM_METRIC_MAX_SIZE_FORMAT, &largest);
    std::vector<BYTE> suggestion(
        std::max<std::size_t>(
            {largest, sizeof(WAVEFORMATEX) + file_format.cbSize, sizeof(WAVEFORMATEX)}),
        0);
    auto* pcm = reinterpret_cast<WAVEFORMATEX*>(suggestion.data());
    pcm->wFormatTag = WAVE_FORMAT_PCM;
    // The call takes a non-const source but only reads it.
    if (acmFormatSuggest(nullptr, const_cast<WAVEFORMATEX*>(&file_format), pcm,
                         static_cast<DWORD>(suggestion.size()),
                         ACM_FORMATSUGGESTF_WFORMATTAG) != MMSYSERR_NOERROR ||
        pcm->wFormatTag != WAVE_FORMAT_PCM)
        return std::nullopt;
    std::memcpy(&device, pcm, sizeof device);
    device.cbSize = 0;
    return device;
}

}  // namespace kelvane::engine
