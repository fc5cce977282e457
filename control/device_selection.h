// One direction's wave device as the control selects it (devInput, devOutput): the number a
// container sees, 0 for the wave mapper and n for device n-1; the name the selection was made or
// saved under; and the maker id by which the device's mixer is found.
#pragma once

#include <string>

#include "platform/base/win_types.h"

class DeviceSelection {
  public:
    enum class Direction { input, output };

    // Counts the direction's devices, once: a device plugged in later is not offered.
    explicit DeviceSelection(Direction direction);

    LONG count() const { return m_count; }
    // Open to the property exchange, which reads and writes both in place.
    LONG& number() { return m_number; }
    LONG number() const { return m_number; }
    std::string& name() { return m_name; }
    const std::string& name() const { return m_name; }
    WORD maker_id() const { return m_maker_id; }

    // Holds the number within 0..count.
    void clamp();
    // Selects device `number` (held within 0..count) and takes its name and maker id.
    void select(LONG number);
    // The selected device's name as it reports it, taking its maker id; an empty name and id 0
    // when the query fails (no device, or a number the system rejects).
    std::string identify();
    // The name device `number` reports, leaving the maker id as it is.
    std::string name_of(LONG number) const;
    // The device number for the wave calls: WAVE_MAPPER for 0.
    UINT platform_device() const;

  private:
    Direction m_direction;
    LONG m_count = 0;
    LONG m_number = 1;
    std::string m_name;
    WORD m_maker_id = 0;
};
