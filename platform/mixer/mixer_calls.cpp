// The mixer front end: handles, line and control numbering, argument checks, and the choice of
// backend.
#include <algorithm>
#include <cstring>
#include <map>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "platform/mixer/alsa_mixer.h"
#include "platform/mixer/mixer_backend.h"
#include "platform/mixer/mmsystem_mixer.h"
#include "platform/mixer/pulse_mixer.h"
#include "platform/mixer/virtual_mixer.h"
#include "platform/wave/level_tap.h"

namespace {

// Line ids: a destination is 0xFFFF0000 | d, source s of destination d is (s << 16) | d, so an id
// names its place in the tree and -1 is never a line.
constexpr DWORD kDestinationTag = 0xFFFF0000;

DWORD destination_line_id(DWORD destination) {
    return kDestinationTag | destination;
}
DWORD source_line_id(DWORD destination, DWORD source) {
    return (source << 16) | destination;
}

class EmptyMixerBackend final : public MixerBackend {
  public:
    std::vector<std::shared_ptr<MixerDevice>> devices() override { return {}; }
};

struct BackendState {
    std::mutex mutex;
    std::unique_ptr<MixerBackend> backend;
    // The wave backend (the card) the mixer backend was chosen for: a new card has new mixers.
    std::weak_ptr<WaveBackend> card;
    bool installed = false;  // set by set_mixer_backend: kept whatever the wave backend
};

BackendState& backend_state() {
    static BackendState state;
    return state;
}

std::unique_ptr<MixerBackend> make_virtual_mixer(const WaveBackend&) {
    return std::make_unique<VirtualMixerBackend>();
}

std::unique_ptr<MixerBackend> make_alsa_mixer(const WaveBackend&) {
    return make_alsa_mixer_backend();
}

// The mixer backend of each wave backend, by the wave backend's name; a wave backend without one
// has no mixers. A backend may build its mixers from the wave backend's devices.
struct MixerBackendEntry {
    std::string_view wave;
    std::unique_ptr<MixerBackend> (*make)(const WaveBackend&);
};
constexpr MixerBackendEntry kMixerBackends[] = {
    {"virtual", make_virtual_mixer},
    {"pulse", make_pulse_mixer_backend},
    {"alsa", make_alsa_mixer},
};

std::unique_ptr<MixerBackend> backend_for(const WaveBackend& wave) {
    for (const MixerBackendEntry& entry : kMixerBackends)
        if (entry.wave == wave.name()) return entry.make(wave);
    return std::make_unique<EmptyMixerBackend>();
}

// An open mixer: the device stays alive as long as a handle refers to it, even when the backend
// is replaced meanwhile.
struct OpenMixer {
    std::shared_ptr<MixerDevice> device;
    std::unique_ptr<MixerSession> session;
};

struct HandleTable {
    std::mutex mutex;
    std::map<std::uintptr_t, std::shared_ptr<OpenMixer>> open;
    std::uintptr_t next = 0x4D00;  // handle values are never dereferenced, only looked up
};

HandleTable& handles() {
    static HandleTable table;
    return table;
}

std::shared_ptr<OpenMixer> find_handle(std::uintptr_t value) {
    HandleTable& table = handles();
    std::lock_guard lock(table.mutex);
    const auto found = table.open.find(value);
    return found == table.open.end() ? nullptr : found->second;
}

std::shared_ptr<MixerDevice> device_by_id(std::uintptr_t id) {
    auto list = mixer_backend().devices();
    if (id >= list.size()) return nullptr;
    return list[id];
}

// Resolves the object argument of a call: an open handle, or a mixer id opened for this call.
MMRESULT resolve(HMIXEROBJ object, DWORD flags, std::shared_ptr<OpenMixer>& out) {
    const auto value = reinterpret_cast<std::uintptr_t>(object);
    switch (flags & MIXER_OBJECTF_TYPEMASK) {
        case MIXER_OBJECTF_HMIXER:
            out = find_handle(value);
            return out ? MMSYSERR_NOERROR : MMSYSERR_INVALHANDLE;
        case MIXER_OBJECTF_MIXER: {
            auto device = device_by_id(value);
            if (!device) return MMSYSERR_BADDEVICEID;
            auto session = device->open();
            if (!session) return MMSYSERR_NODRIVER;
            out = std::make_shared<OpenMixer>(OpenMixer{std::move(device), std::move(session)});
            return MMSYSERR_NOERROR;
        }
        default:
            return MMSYSERR_INVALFLAG;
    }
}

void copy_name(std::string_view name, char* out, std::size_t room) {
    const std::size_t length = std::min(name.size(), room - 1);
    std::memcpy(out, name.data(), length);
    out[length] = '\0';
}

// A line found by id or by place.
struct LineRef {
    const MixerLineDesc* line = nullptr;
    DWORD destination = 0;
    DWORD source = 0;
    bool is_source = false;
    DWORD id = 0;
};

LineRef line_by_id(const MixerDevice& device, DWORD id) {
    const auto& destinations = device.destinations();
    const DWORD destination = id & 0xFFFF;
    if (destination >= destinations.size()) return {};
    if ((id & kDestinationTag) == kDestinationTag)
        return {&destinations[destination], destination, 0, false, id};
    const DWORD source = id >> 16;
    const auto& sources = destinations[destination].sources;
    if (source >= sources.size()) return {};
    return {&sources[source], destination, source, true, id};
}

// Control ids number the controls of the whole device in tree order, from 1.
struct ControlRef {
    const MixerLineDesc* line = nullptr;
    const MixerControlDesc* control = nullptr;
};

DWORD first_control_id(const MixerDevice& device, const MixerLineDesc* wanted) {
    DWORD id = 1;
    for (const MixerLineDesc& destination : device.destinations()) {
        if (&destination == wanted) return id;
        id += static_cast<DWORD>(destination.controls.size());
        for (const MixerLineDesc& source : destination.sources) {
            if (&source == wanted) return id;
            id += static_cast<DWORD>(source.controls.size());
        }
    }
    return 0;
}

ControlRef control_by_id(const MixerDevice& device, DWORD id) {
    DWORD first = 1;
    auto within = [&](const MixerLineDesc& line) -> const MixerControlDesc* {
        const DWORD count = static_cast<DWORD>(line.controls.size());
        if (id >= first && id < first + count) return &line.controls[id - first];
        first += count;
        return nullptr;
    };
    for (const MixerLineDesc& destination : device.destinations()) {
        if (auto* control = within(destination)) return {&destination, control};
        for (const MixerLineDesc& source : destination.sources)
            if (auto* control = within(source)) return {&source, control};
    }
    return {};
}

void fill_line(const MixerDevice& device, const LineRef& ref, MIXERLINEA& out) {
    const MixerLineDesc& line = *ref.line;
    const DWORD_PTR user = out.dwUser;
    const DWORD size = out.cbStruct;
    std::memset(&out, 0, sizeof out);
    out.cbStruct = size;
    out.dwUser = user;
    out.dwDestination = ref.destination;
    out.dwSource = ref.is_source ? ref.source : 0;
    out.dwLineID = ref.id;
    out.fdwLine = MIXERLINE_LINEF_ACTIVE | (ref.is_source ? MIXERLINE_LINEF_SOURCE : 0);
    out.dwComponentType = line.component_type;
    out.cChannels = line.channels;
    out.cConnections = ref.is_source ? 0 : static_cast<DWORD>(line.sources.size());
    out.cControls = static_cast<DWORD>(line.controls.size());
    copy_name(line.name, out.szShortName, sizeof out.szShortName);
    copy_name(line.name, out.szName, sizeof out.szName);
    out.Target.dwType = line.target_type;
    out.Target.wMid = device.maker_id();
    out.Target.wPid = device.product_id();
    out.Target.vDriverVersion = 0x0100;
    copy_name(device.name(), out.Target.szPname, sizeof out.Target.szPname);
}

// Checks a details request against its control; on success `count` is the number of values the
// caller passes and `ref` the control.
MMRESULT check_details(const OpenMixer& mixer, const MIXERCONTROLDETAILS* details, ControlRef& ref,
                       std::size_t& count) {
    if (!details || details->cbStruct < sizeof(MIXERCONTROLDETAILS)) return MMSYSERR_INVALPARAM;
    ref = control_by_id(*mixer.device, details->dwControlID);
    if (!ref.control) return MIXERR_INVALCONTROL;
    if (details->cMultipleItems != 0 || details->cbDetails != sizeof(DWORD) || !details->paDetails)
        return MMSYSERR_INVALPARAM;
    // One value stands for every channel; otherwise exactly one per channel of the line.
    if (details->cChannels != 1 && details->cChannels != ref.line->channels)
        return MMSYSERR_INVALPARAM;
    count = details->cChannels;
    return MMSYSERR_NOERROR;
}

}  // namespace

MixerBackend& mixer_backend() {
    BackendState& state = backend_state();
    // Asked outside our lock: the wave backend has a lock of its own.
    const std::shared_ptr<WaveBackend> card = shared_wave_backend();
    std::lock_guard lock(state.mutex);
    if (!state.backend || (!state.installed && state.card.lock() != card)) {
        state.backend = backend_for(*card);
        state.card = card;
        state.installed = false;
    }
    return *state.backend;
}

void set_mixer_backend(std::unique_ptr<MixerBackend> backend) {
    BackendState& state = backend_state();
    std::lock_guard lock(state.mutex);
    state.installed = backend != nullptr;
    state.backend = std::move(backend);
    state.card.reset();
}

DWORD card_recent_peak(WaveDirection direction, WORD maker_id) {
    const auto list = wave_backend().devices(direction);
    DWORD peak = 0;
    for (std::size_t i = 0; i < list.size(); ++i)
        if (list[i].maker_id == maker_id)
            peak = std::max(peak, wave_recent_peak(direction, static_cast<UINT>(i)));
    return std::min<DWORD>(peak, 32768);
}

UINT mixerGetNumDevs() {
    return static_cast<UINT>(mixer_backend().devices().size());
}

MMRESULT mixerGetDevCapsA(UINT_PTR mixer, LPMIXERCAPSA caps, UINT size) {
    if (!caps || size == 0) return MMSYSERR_INVALPARAM;
    std::shared_ptr<MixerDevice> device;
    if (auto open = find_handle(mixer))
        device = open->device;
    else
        device = device_by_id(mixer);
    if (!device) return MMSYSERR_BADDEVICEID;

    MIXERCAPSA full{};
    full.wMid = device->maker_id();
    full.wPid = device->product_id();
    full.vDriverVersion = 0x0100;
    copy_name(device->name(), full.szPname, sizeof full.szPname);
    full.cDestinations = static_cast<DWORD>(device->destinations().size());
    std::memcpy(caps, &full, std::min<std::size_t>(size, sizeof full));
    return MMSYSERR_NOERROR;
}

MMRESULT mixerOpen(LPHMIXER mixer, UINT id, DWORD_PTR, DWORD_PTR, DWORD open_flags) {
    if (!mixer) return MMSYSERR_INVALPARAM;
    *mixer = nullptr;
    const DWORD callback = open_flags & CALLBACK_TYPEMASK;
    if (callback != CALLBACK_NULL && callback != CALLBACK_WINDOW) return MMSYSERR_INVALFLAG;
    if ((open_flags & MIXER_OBJECTF_TYPEMASK) != MIXER_OBJECTF_MIXER) return MMSYSERR_INVALFLAG;

    auto device = device_by_id(id);
    if (!device) return MMSYSERR_BADDEVICEID;
    auto session = device->open();
    if (!session) return MMSYSERR_NODRIVER;

    HandleTable& table = handles();
    std::lock_guard lock(table.mutex);
    const std::uintptr_t value = table.next++;
    table.open[value] = std::make_shared<OpenMixer>(OpenMixer{device, std::move(session)});
    *mixer = reinterpret_cast<HMIXER>(value);
    return MMSYSERR_NOERROR;
}

MMRESULT mixerClose(HMIXER mixer) {
    std::shared_ptr<OpenMixer> closing;
    {
        HandleTable& table = handles();
        std::lock_guard lock(table.mutex);
        const auto found = table.open.find(reinterpret_cast<std::uintptr_t>(mixer));
        if (found == table.open.end()) return MMSYSERR_INVALHANDLE;
        closing = std::move(found->second);
        table.open.erase(found);
    }
    // The session ends here, outside the table's lock (a backend may take its time to close).
    closing.reset();
    return MMSYSERR_NOERROR;
}

MMRESULT mixerGetLineInfoA(HMIXEROBJ mixer, LPMIXERLINEA line, DWORD flags) {
    if (!line || line->cbStruct < sizeof(MIXERLINEA)) return MMSYSERR_INVALPARAM;
    std::shared_ptr<OpenMixer> open;
    if (const MMRESULT result = resolve(mixer, flags, open)) return result;
    const MixerDevice& device = *open->device;
    const auto& destinations = device.destinations();

    LineRef ref;
    switch (flags & MIXER_GETLINEINFOF_QUERYMASK) {
        case MIXER_GETLINEINFOF_DESTINATION:
            if (line->dwDestination >= destinations.size()) return MMSYSERR_INVALPARAM;
            ref = {&destinations[line->dwDestination], line->dwDestination, 0, false,
                   destination_line_id(line->dwDestination)};
            break;
        case MIXER_GETLINEINFOF_SOURCE: {
            if (line->dwDestination >= destinations.size()) return MMSYSERR_INVALPARAM;
            const auto& sources = destinations[line->dwDestination].sources;
            if (line->dwSource >= sources.size()) return MMSYSERR_INVALPARAM;
            ref = {&sources[line->dwSource], line->dwDestination, line->dwSource, true,
                   source_line_id(line->dwDestination, line->dwSource)};
            break;
        }
        case MIXER_GETLINEINFOF_LINEID:
            ref = line_by_id(device, line->dwLineID);
            if (!ref.line) return MIXERR_INVALLINE;
            break;
        default:
            return MMSYSERR_NOTSUPPORTED;
    }
    fill_line(device, ref, *line);
    return MMSYSERR_NOERROR;
}

MMRESULT mixerGetLineControlsA(HMIXEROBJ mixer, LPMIXERLINECONTROLSA controls, DWORD flags) {
    if (!controls || controls->cbStruct < sizeof(MIXERLINECONTROLSA)) return MMSYSERR_INVALPARAM;
    if ((flags & MIXER_GETLINECONTROLSF_QUERYMASK) != MIXER_GETLINECONTROLSF_ALL)
        return MMSYSERR_NOTSUPPORTED;
    std::shared_ptr<OpenMixer> open;
    if (const MMRESULT result = resolve(mixer, flags, open)) return result;
    const LineRef ref = line_by_id(*open->device, controls->dwLineID);
    if (!ref.line) return MIXERR_INVALLINE;
    const auto& list = ref.line->controls;
    if (controls->cControls != list.size() || controls->cbmxctrl < sizeof(MIXERCONTROLA) ||
        (!list.empty() && !controls->pamxctrl))
        return MMSYSERR_INVALPARAM;

    const DWORD first = first_control_id(*open->device, ref.line);
    auto* out = reinterpret_cast<BYTE*>(controls->pamxctrl);
    for (std::size_t i = 0; i < list.size(); ++i) {
        MIXERCONTROLA control{};
        control.cbStruct = sizeof control;
        control.dwControlID = first + static_cast<DWORD>(i);
        control.dwControlType = list[i].type;
        control.fdwControl = list[i].flags;
        copy_name(list[i].name, control.szShortName, sizeof control.szShortName);
        copy_name(list[i].name, control.szName, sizeof control.szName);
        control.Bounds.lMinimum = list[i].minimum;
        control.Bounds.lMaximum = list[i].maximum;
        control.Metrics.cSteps = list[i].steps;
        // Callers may pass bigger records; each one starts cbmxctrl bytes after the last.
        std::memcpy(out + i * controls->cbmxctrl, &control, sizeof control);
    }
    return MMSYSERR_NOERROR;
}

MMRESULT mixerGetControlDetailsA(HMIXEROBJ mixer, LPMIXERCONTROLDETAILS details, DWORD flags) {
    if ((flags & MIXER_GETCONTROLDETAILSF_QUERYMASK) != MIXER_GETCONTROLDETAILSF_VALUE)
        return MMSYSERR_NOTSUPPORTED;
    std::shared_ptr<OpenMixer> open;
    if (const MMRESULT result = resolve(mixer, flags, open)) return result;
    ControlRef ref;
    std::size_t count = 0;
    if (const MMRESULT result = check_details(*open, details, ref, count)) return result;

    std::vector<LONG> values(value_count(*ref.line, *ref.control));
    if (const MMRESULT result = open->session->get_values(*ref.line, *ref.control, values))
        return result;
    auto* out = static_cast<LONG*>(details->paDetails);
    // A uniform control answers every channel with its one value.
    for (std::size_t i = 0; i < count; ++i) out[i] = values[std::min(i, values.size() - 1)];
    return MMSYSERR_NOERROR;
}

MMRESULT mixerSetControlDetails(HMIXEROBJ mixer, LPMIXERCONTROLDETAILS details, DWORD flags) {
    if ((flags & MIXER_SETCONTROLDETAILSF_QUERYMASK) != MIXER_SETCONTROLDETAILSF_VALUE)
        return MMSYSERR_NOTSUPPORTED;
    std::shared_ptr<OpenMixer> open;
    if (const MMRESULT result = resolve(mixer, flags, open)) return result;
    ControlRef ref;
    std::size_t count = 0;
    if (const MMRESULT result = check_details(*open, details, ref, count)) return result;

    const auto* in = static_cast<const LONG*>(details->paDetails);
    const MixerControlDesc& control = *ref.control;
    auto bounded = [&](LONG value) -> LONG {
        if ((control.type & MIXERCONTROL_CT_UNITS_MASK) == MIXERCONTROL_CT_UNITS_BOOLEAN)
            return value != 0 ? 1 : 0;
        if ((control.type & MIXERCONTROL_CT_UNITS_MASK) == MIXERCONTROL_CT_UNITS_UNSIGNED) {
            // Unsigned controls: a "negative" value is a huge one.
            const DWORD raw = static_cast<DWORD>(value);
            return static_cast<LONG>(std::clamp<DWORD>(raw, static_cast<DWORD>(control.minimum),
                                                       static_cast<DWORD>(control.maximum)));
        }
        return std::clamp(value, control.minimum, control.maximum);
    };
    std::vector<LONG> values(value_count(*ref.line, control));
    for (std::size_t i = 0; i < values.size(); ++i)
        values[i] = bounded(in[count == 1 ? 0 : std::min(i, count - 1)]);
    return open->session->set_values(*ref.line, control, values);
}
