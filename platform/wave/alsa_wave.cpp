// The ALSA wave backend's list of devices: which ALSA devices it offers, under which names, and
// what they can run. Opening one is alsa_device.cpp's.
#include "platform/wave/alsa_wave.h"

#include <algorithm>
#include <cstdlib>
#include <utility>
#include <vector>

#include "platform/wave/alsa_device.h"
#include "platform/wave/alsa_names.h"
#include "platform/wave/alsa_pcm.h"
#include "platform/wave/mmsystem_wave.h"

namespace {

struct HwParamsFree {
    void operator()(snd_pcm_hw_params_t* p) const { snd_pcm_hw_params_free(p); }
};
using HwParamsPtr = std::unique_ptr<snd_pcm_hw_params_t, HwParamsFree>;

struct CtlCloser {
    void operator()(snd_ctl_t* ctl) const { snd_ctl_close(ctl); }
};
using CtlPtr = std::unique_ptr<snd_ctl_t, CtlCloser>;

struct HintsFree {
    void operator()(void** hints) const { snd_device_name_free_hint(hints); }
};
using HintsPtr = std::unique_ptr<void*, HintsFree>;

// A string that ALSA allocated for its caller.
struct FreeText {
    void operator()(char* text) const { std::free(text); }
};
using CString = std::unique_ptr<char, FreeText>;

int card_of(snd_pcm_t* pcm) {
    snd_pcm_info_t* info = nullptr;
    snd_pcm_info_alloca(&info);
    if (snd_pcm_info(pcm, info) < 0) return kAlsaServerCard;
    const int card = snd_pcm_info_get_card(info);
    return card < 0 ? kAlsaServerCard : card;
}

// The classic format grid this device runs exactly.
DWORD probe_formats(snd_pcm_t* pcm, WORD& channels) {
    HwParamsPtr hw;
    {
        snd_pcm_hw_params_t* p = nullptr;
        if (snd_pcm_hw_params_malloc(&p) < 0) return 0;
        hw.reset(p);
    }
    DWORD formats = 0;
    channels = 1;
    const unsigned rates[] = {11025, 22050, 44100};
    for (int r = 0; r < 3; ++r)
        for (unsigned ch = 1; ch <= 2; ++ch)
            for (WORD bits : {WORD{8}, WORD{16}}) {
                if (snd_pcm_hw_params_any(pcm, hw.get()) < 0) return formats;
                snd_pcm_hw_params_set_rate_resample(pcm, hw.get(), 0);
                if (snd_pcm_hw_params_test_rate(pcm, hw.get(), rates[r], 0) < 0 ||
                    snd_pcm_hw_params_test_channels(pcm, hw.get(), ch) < 0 ||
                    snd_pcm_hw_params_test_format(pcm, hw.get(), sample_format(bits)) < 0)
                    continue;
                // Bits: M08, S08, M16, S16 for 11 kHz, then the same four for 22 and 44 kHz.
                formats |= 1u << (4 * r + 2 * (bits == 16) + (ch == 2));
                channels = std::max<WORD>(channels, static_cast<WORD>(ch));
            }
    return formats;
}

struct Endpoint {
    WaveDeviceInfo info;
    std::string pcm;
};

class AlsaBackend final : public WaveBackend {
  public:
    AlsaBackend() {
        keep_alsa_messages();
        // The configuration decides at load time whether a sound server is running; load it
        // afresh so that a server started since then is found (never under an open device).
        if (alsa_counters().open_devices == 0) snd_config_update_free_global();
        for (WaveDirection d : {WaveDirection::input, WaveDirection::output})
            m_endpoints[d == WaveDirection::output] = enumerate(d);
    }

    std::string_view name() const override { return "alsa"; }

    std::vector<WaveDeviceInfo> devices(WaveDirection direction) const override {
        std::vector<WaveDeviceInfo> list;
        for (const Endpoint& e : m_endpoints[direction == WaveDirection::output])
            list.push_back(e.info);
        return list;
    }

    MMRESULT open(WaveDirection direction, UINT index, const WAVEFORMATEX& format,
                  std::unique_ptr<WaveDevice>* device) override {
        const auto& list = m_endpoints[direction == WaveDirection::output];
        if (index >= list.size()) return MMSYSERR_BADDEVICEID;
        return open_alsa_device(list[index].pcm, direction, index, format, device);
    }

  private:
    static std::vector<Endpoint> enumerate(WaveDirection direction) {
        std::vector<std::pair<std::string, std::string>> candidates = {{"default", "ALSA Default"}};
        if (has_hint("pulse")) candidates.emplace_back("pulse", "PulseAudio");
        int card = -1;
        while (snd_card_next(&card) == 0 && card >= 0) {
            char* name = nullptr;
            snd_card_get_name(card, &name);
            const CString owned_name(name);
            std::string card_id = std::to_string(card);
            snd_ctl_t* opened = nullptr;
            if (snd_ctl_open(&opened, ("hw:" + card_id).c_str(), 0) == 0) {
                const CtlPtr ctl(opened);
                snd_ctl_card_info_t* info = nullptr;
                snd_ctl_card_info_alloca(&info);
                if (snd_ctl_card_info(ctl.get(), info) == 0)
                    card_id = snd_ctl_card_info_get_id(info);
            }
            candidates.emplace_back("sysdefault:CARD=" + card_id,
                                    name ? name : "ALSA card " + std::to_string(card));
        }

        std::vector<Endpoint> endpoints;
        for (auto& [pcm_name, label] : candidates) {
            PcmPtr pcm = open_pcm(pcm_name, direction);
            if (!pcm) continue;
            Endpoint e;
            e.pcm = pcm_name;
            e.info.native_name = pcm_name;
            e.info.name = unique_name(endpoints, label);
            e.info.maker_id = alsa_maker_id(card_of(pcm.get()));
            e.info.product_id = static_cast<WORD>(endpoints.size() + 1);
            e.info.formats = probe_formats(pcm.get(), e.info.channels);
            endpoints.push_back(std::move(e));
        }
        return endpoints;
    }

    static bool has_hint(const std::string& wanted) {
        void** found_hints = nullptr;
        if (snd_device_name_hint(-1, "pcm", &found_hints) < 0) return false;
        const HintsPtr hints(found_hints);
        for (void** h = hints.get(); *h; ++h) {
            const CString name(snd_device_name_get_hint(*h, "NAME"));
            if (name && wanted == name.get()) return true;
        }
        return false;
    }

    static std::string unique_name(const std::vector<Endpoint>& taken, const std::string& name) {
        return unique_device_name(name, [&](const std::string& n) {
            return std::any_of(taken.begin(), taken.end(),
                               [&](const Endpoint& e) { return e.info.name == n; });
        });
    }

    std::vector<Endpoint> m_endpoints[2];  // input, output
};

}  // namespace

std::unique_ptr<WaveBackend> make_alsa_wave_backend() {
    return std::make_unique<AlsaBackend>();
}
