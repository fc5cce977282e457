#include "control/device_selection.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <optional>

#include "platform/wave/mmsystem_wave.h"

namespace {

struct Identity {
    std::string name;
    WORD maker_id = 0;
};

template <typename Caps, typename Query>
std::optional<Identity> query_identity(Query query, LONG number) {
    Caps caps{};
    // Device number 0 queries device -1, the wave mapper.
    const auto device = static_cast<UINT_PTR>(static_cast<std::intptr_t>(number) - 1);
    if (query(device, &caps, static_cast<UINT>(sizeof caps)) != MMSYSERR_NOERROR)
        return std::nullopt;
    return Identity{std::string(caps.szPname, strnlen(caps.szPname, sizeof caps.szPname)),
                    caps.wMid};
}

std::optional<Identity> identity_of(DeviceSelection::Direction direction, LONG number) {
    if (direction == DeviceSelection::Direction::input)
        return query_identity<WAVEINCAPSA>(waveInGetDevCapsA, number);
    return query_identity<WAVEOUTCAPSA>(waveOutGetDevCapsA, number);
}

}  // namespace

DeviceSelection::DeviceSelection(Direction direction)
    : m_direction(direction),
      m_count(static_cast<LONG>(direction == Direction::input ? waveInGetNumDevs()
                                                              : waveOutGetNumDevs())) {}

void DeviceSelection::clamp() {
    m_number = std::clamp<LONG>(m_number, 0, m_count);
}

void DeviceSelection::select(LONG number) {
    m_number = number;
    clamp();
    m_name = identify();
}

std::string DeviceSelection::identify() {
    const std::optional<Identity> found = identity_of(m_direction, m_number);
    m_maker_id = found ? found->maker_id : 0;
    return found ? found->name : std::string();
}

std::string DeviceSelection::name_of(LONG number) const {
    const std::optional<Identity> found = identity_of(m_direction, number);
    return found ? found->name : std::string();
}

UINT DeviceSelection::platform_device() const {
    return m_number == 0 ? WAVE_MAPPER : static_cast<UINT>(m_number - 1);
}
