// The virtual sound card: devices that exist everywhere (servers, containers, CI), configured by
// the environment. KELVANE_VIRTUAL_DEVICES=IN,OUT gives the device counts (default 1,1; 0 is
// allowed, for the "no device" cases).
#pragma once

#include "platform/wave/wave_backend.h"

// Maker id of the virtual card's devices and of its mixer.
inline constexpr WORD kVirtualMakerId = 0x5156;
inline constexpr WORD kVirtualProductId = 0x0001;

class VirtualSoundCard final : public WaveBackend {
  public:
    VirtualSoundCard(int inputs, int outputs);
    // Reads KELVANE_VIRTUAL_DEVICES; malformed or negative counts fall back to 1,1.
    static std::unique_ptr<VirtualSoundCard> from_environment();

    std::string_view name() const override { return "virtual"; }
    std::vector<WaveDeviceInfo> devices(WaveDirection direction) const override;

    // Devices come and go as on a real system (tests of counts taken once).
    void set_device_counts(int inputs, int outputs);

  private:
    int m_inputs;
    int m_outputs;
};

// "Quillon Virtual Input 1", "Quillon Virtual Output 2", ...
std::string virtual_device_name(WaveDirection direction, int index);
