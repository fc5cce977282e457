#include "platform/wave/virtual_card.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "platform/wave/mmsystem_wave.h"

namespace {
constexpr int kMaxVirtualDevices = 32;
}

VirtualSoundCard::VirtualSoundCard(int inputs, int outputs) {
    set_device_counts(inputs, outputs);
}

std::unique_ptr<VirtualSoundCard> VirtualSoundCard::from_environment() {
    int inputs = 1;
    int outputs = 1;
    if (const char* text = std::getenv("KELVANE_VIRTUAL_DEVICES")) {
        int in = 0, out = 0;
        char rest = 0;
        if (std::sscanf(text, "%d,%d%c", &in, &out, &rest) == 2 && in >= 0 && out >= 0) {
            inputs = in;
            outputs = out;
        } else {
            std::fprintf(stderr, "KELVANE_VIRTUAL_DEVICES=\"%s\" is not IN,OUT; using 1,1\n", text);
        }
    }
    return std::make_unique<VirtualSoundCard>(inputs, outputs);
}

void VirtualSoundCard::set_device_counts(int inputs, int outputs) {
    m_inputs = std::clamp(inputs, 0, kMaxVirtualDevices);
    m_outputs = std::clamp(outputs, 0, kMaxVirtualDevices);
}

std::vector<WaveDeviceInfo> VirtualSoundCard::devices(WaveDirection direction) const {
    const int count = direction == WaveDirection::input ? m_inputs : m_outputs;
    std::vector<WaveDeviceInfo> list;
    for (int i = 0; i < count; ++i) {
        WaveDeviceInfo info;
        info.name = virtual_device_name(direction, i);
        info.maker_id = kVirtualMakerId;
        info.product_id = kVirtualProductId;
        // Every classic rate, 8 and 16 bits, mono and stereo.
        info.formats = WAVE_FORMAT_1M08 | WAVE_FORMAT_1S08 | WAVE_FORMAT_1M16 | WAVE_FORMAT_1S16 |
                       WAVE_FORMAT_2M08 | WAVE_FORMAT_2S08 | WAVE_FORMAT_2M16 | WAVE_FORMAT_2S16 |
                       WAVE_FORMAT_4M08 | WAVE_FORMAT_4S08 | WAVE_FORMAT_4M16 | WAVE_FORMAT_4S16;
        info.channels = 2;
        list.push_back(std::move(info));
    }
    return list;
}

std::string virtual_device_name(WaveDirection direction, int index) {
    return std::string(direction == WaveDirection::input ? "Quillon Virtual Input "
                                                         : "Quillon Virtual Output ") +
           std::to_string(index + 1);
}
