#include "control/level_meter.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <string_view>
#include <utility>

namespace {

constexpr std::size_t kWindowBytes = 100;
constexpr LONG kMaxLevel = 32767;

std::optional<LONG> window_peak(std::span<const BYTE> window, std::size_t samples,
                                WORD bits_per_sample) {
    if (samples == 0) return std::nullopt;
    LONG peak = 0;
    for (std::size_t i = 0; i < samples; ++i) {
        LONG sample;
        if (bits_per_sample == 8)
            sample = (static_cast<LONG>(window[i]) - 128) * 256;
        else
            sample = static_cast<std::int16_t>(window[2 * i] | (window[2 * i + 1] << 8));
        peak = std::max(peak, sample < 0 ? -sample : sample);
    }
    // The magnitude of -32768 does not fit the level's range.
    peak = std::min(peak, kMaxLevel);
    if (peak == 0) return std::nullopt;
    return peak;
}

std::size_t samples_in(std::size_t bytes, WORD bits_per_sample) {
    return bits_per_sample == 8 ? bytes : bytes / 2;
}

}  // namespace

void LevelMeter::open(bool recording) {
    close();
    const MixerControl::MeterLine where = m_mixer.meter_line(recording);
    OpenMixer device;
    if (!device.open(where.mixer)) return;
    MIXERLINEA line;
    std::vector<MIXERCONTROLA> controls;
    // Otherwise the meter stays closed, and so does its mixer.
    if (!line_by_id(device, where.line, line) || !all_controls(device, line, controls)) return;
    m_device = std::move(device);
    m_controls = std::move(controls);
    m_meter_index = -1;
    for (std::size_t i = 0; i < m_controls.size(); ++i)
        if (std::string_view(m_controls[i].szName).find("Meter") != std::string_view::npos)
            m_meter_index = static_cast<int>(i);
    m_busy = false;
    m_open = true;
}

void LevelMeter::read(const std::function<void(LONG level)>& fire) {
    if (!m_open || m_meter_index < 0 || m_busy) return;
    m_busy = true;
    LONG value = 0;
    MIXERCONTROLDETAILS details{};
    details.cbStruct = sizeof details;
    details.dwControlID = m_controls[static_cast<std::size_t>(m_meter_index)].dwControlID;
    details.cChannels = 1;
    details.cbDetails = sizeof(MIXERCONTROLDETAILS_SIGNED);
    details.paDetails = &value;
    if (mixerGetControlDetailsA(m_device.object(), &details,
                                MIXER_OBJECTF_HMIXER | MIXER_GETCONTROLDETAILSF_VALUE) ==
        MMSYSERR_NOERROR) {
        const LONG level = value == std::numeric_limits<LONG>::min()
                               ? std::numeric_limits<LONG>::max()
                           : value < 0 ? -value
                                       : value;
        if (fire) fire(level);
    }
    m_busy = false;
}

void LevelMeter::close() {
    m_busy = false;
    m_open = false;
    m_meter_index = -1;
    m_controls.clear();
    m_device = OpenMixer();
}

std::optional<LONG> recording_window_peak(std::span<const BYTE> buffer, LONG estimated_fill,
                                          WORD bits_per_sample) {
    if (estimated_fill <= 0) return std::nullopt;
    const std::size_t fill =
        std::min<std::size_t>(static_cast<std::size_t>(estimated_fill), buffer.size());
    if (fill > kWindowBytes) {
        const auto window = buffer.subspan(fill - kWindowBytes, kWindowBytes);
        return window_peak(window, samples_in(kWindowBytes, bits_per_sample), bits_per_sample);
    }
    return window_peak(buffer.first(fill), samples_in(fill, bits_per_sample), bits_per_sample);
}

std::optional<LONG> playback_window_peak(std::span<const BYTE> buffer, DWORD buffer_length,
                                         std::uint64_t position_bytes, WORD bits_per_sample) {
    const std::uint64_t b = buffer_length;
    if (b == 0) return std::nullopt;
    std::uint64_t d = position_bytes <= b ? position_bytes : position_bytes % b;
    if (d == 0) d = b;
    // Never past the bytes that exist.
    d = std::min<std::uint64_t>(d, buffer.size());
    const std::size_t n = static_cast<std::size_t>(std::min<std::uint64_t>(d, kWindowBytes));
    const auto window = buffer.subspan(static_cast<std::size_t>(d) - n, n);
    return window_peak(window, samples_in(n, bits_per_sample), bits_per_sample);
}
