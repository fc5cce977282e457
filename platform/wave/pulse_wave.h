// The sound server's wave backend, on the PulseAudio client library (which the PulseAudio server
// and PipeWire's pulse server both answer).
//
// Devices: every source of the server is an input device and every sink an output device, named
// by the description the desktop's sound settings show ("Built-in Audio Analog Stereo", "Monitor
// of ..."), cut to 31 characters and kept apart (" #2"). Inputs list the sources that record from
// hardware first and the monitors of sinks after them, each in the order of the server's own
// names, so the numbers do not depend on the order in which devices were plugged in. The list is
// taken once, when the backend is made. The wave mapper is the server's default source or sink
// at the moment it opens (and its stream follows the default when that changes); it has a maker
// id of its own, so that it pairs with a mixer that acts on the default device.
//
// Streams: one server stream per open device, on the process's one connection
// (pulse_connection.h), whose loop thread moves the data: input as the server delivers it, in
// fragments of about 100 ms (the engine's tick), straight into the queued buffers; output on the
// server's requests, keeping about 400 ms ahead of the play position. The stream runs in exactly
// the format asked for (the server converts to its device); a format it cannot carry is refused
// with WAVERR_BADFORMAT. The play position is published through atomics (pulse_play_clock.h);
// dwBytesRecorded and the flags through the headers (wave_queue.h).
//
// A device opened by number stays on its device: when that device is removed, or the server goes
// away, the stream fails. A failed device completes every queued buffer with what it holds, and
// from then on refuses buffers, starts, pauses and position queries (MMSYSERR_NODRIVER); stopping,
// resetting and closing still succeed, so a recording can be finished.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/wave/wave_backend.h"

// Where no server answers, the backend has no devices.
std::unique_ptr<WaveBackend> make_pulse_wave_backend();

// What the server says of one of its sources or sinks.
struct PulseEndpoint {
    std::string name;         // the server's own ("alsa_input.pci-0000_00_1f.3.analog-stereo")
    std::string description;  // what the desktop shows
    unsigned channels = 2;
    bool monitor = false;  // a source that records what a sink plays
};

// The wave devices of one direction made from the server's sources (input) or sinks (output), in
// the order the backend lists them. Each carries the server's name as native_name.
std::vector<WaveDeviceInfo> pulse_device_list(WaveDirection direction,
                                              std::vector<PulseEndpoint> endpoints);

// Maker ids (wMid): the mapper's, then one per device of each direction, so that every device
// pairs with its own mixer. Inputs 0x5200 (the mapper), 0x5201, ...; outputs 0x5300, 0x5301, ...
inline constexpr WORD kPulseInputMakerBase = 0x5200;
inline constexpr WORD kPulseOutputMakerBase = 0x5300;
WORD pulse_mapper_maker_id(WaveDirection direction);
WORD pulse_device_maker_id(WaveDirection direction, std::size_t index);

// The server's names for its current default devices, as the mapper's native_name carries them.
inline constexpr const char* kPulseDefaultSource = "@DEFAULT_SOURCE@";
inline constexpr const char* kPulseDefaultSink = "@DEFAULT_SINK@";

// Counters over every pulse wave device of the process since it started (benchmarks, tests).
struct PulseWaveStats {
    std::uint64_t deliveries = 0;   // input: the server's deliveries handled (driver wake-ups)
    std::uint64_t requests = 0;     // output: the server's requests for data handled
    std::uint64_t bytes_moved = 0;  // bytes captured or handed to the server
    std::uint64_t failures = 0;     // streams that failed (server gone, device removed)
};
PulseWaveStats pulse_wave_stats();
