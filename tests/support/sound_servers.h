// The two sound servers the device tests run on, each a private test server started by its
// script (scripts/pulse-test-server.sh, scripts/pipewire-test-server.sh) unless `make test` has
// started it already; a server this process started is stopped when the process ends. Tests are
// parameterised by the server (`SoundServer`) and skip with the script's reason where it cannot
// start.
#pragma once

#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdlib>
#include <map>
#include <string>
#include <vector>

#include "tests/support/process.h"

namespace quillon_test {

enum class SoundServer { pulseaudio, pipewire };

inline const char* server_label(SoundServer server) {
    return server == SoundServer::pulseaudio ? "PulseAudio" : "PipeWire";
}

// For INSTANTIATE_TEST_SUITE_P: names the cases ".../PulseAudio" and ".../PipeWire", which is
// what the CMake lists filter on to give each server its own lock.
struct ServerName {
    std::string operator()(const ::testing::TestParamInfo<SoundServer>& info) const {
        return server_label(info.param);
    }
};

struct ServerState {
    std::string address;  // a PULSE_SERVER value; empty when the server cannot start
    std::string failure;  // why not
    bool started = false;
};

class SoundServers {
  public:
    static SoundServers& instance() {
        static SoundServers servers;
        return servers;
    }

    // The server, started now if this process has not asked before.
    const ServerState& get(SoundServer server) {
        auto found = m_states.find(server);
        if (found != m_states.end()) return found->second;
        ServerState state;
        const ProcessResult run = run_command(script(server) + " start");
        const std::string address_key =
            server == SoundServer::pulseaudio ? "PULSE_SERVER=" : "QUILLON_PIPEWIRE_SERVER=";
        const std::string started_key = server == SoundServer::pulseaudio
                                            ? "QUILLON_PULSE_STARTED=1"
                                            : "QUILLON_PIPEWIRE_STARTED=1";
        for (std::size_t at = 0; at < run.output.size();) {
            const std::size_t end = run.output.find('\n', at);
            const std::string line = run.output.substr(at, end - at);
            if (line.starts_with(address_key)) state.address = line.substr(address_key.size());
            if (line == started_key) state.started = true;
            if (end == std::string::npos) break;
            at = end + 1;
        }
        if (run.status != 0 || state.address.empty()) {
            state.address.clear();
            state.failure = std::string("the ") + server_label(server) +
                            " test server cannot start here: " + run.output;
        }
        return m_states.emplace(server, state).first->second;
    }

    static std::string script(SoundServer server) {
        return std::string(QUILLON_SOURCE_DIR) + (server == SoundServer::pulseaudio
                                                      ? "/scripts/pulse-test-server.sh"
                                                      : "/scripts/pipewire-test-server.sh");
    }

    ~SoundServers() {
        for (const auto& [server, state] : m_states)
            if (state.started) run_command(script(server) + " stop");
    }

  private:
    SoundServers() = default;
    std::map<SoundServer, ServerState> m_states;
};

// `pactl` against the given server, with its output.
inline ProcessResult pactl(const std::string& address, const std::string& arguments) {
    return run_command("PULSE_SERVER='" + address + "' pactl " + arguments);
}

// Loads a null sink `name` described as `description` (quoted so that both servers take blanks)
// at full volume, its monitor too: a session manager may give a sink that comes back under a
// known name the volume it had before. Answers the module's number, "" when it failed.
inline std::string load_null_sink(const std::string& address, const std::string& name,
                                  const std::string& description) {
    const auto run =
        pactl(address, "load-module module-null-sink sink_name=" + name +
                           " \"sink_properties=\\\"device.description='" + description + "'\\\"\"");
    if (run.status != 0) return "";
    for (int i = 0; i < 100; ++i) {
        pactl(address, "set-sink-volume " + name + " 65536");
        pactl(address, "set-source-volume " + name + ".monitor 65536");
        if (pactl(address, "get-sink-volume " + name).output.find("65536 / 100%") !=
                std::string::npos &&
            pactl(address, "get-source-volume " + name + ".monitor").output.find("65536 / 100%") !=
                std::string::npos)
            break;
        usleep(30'000);
    }
    return run.output.substr(0, run.output.find('\n'));
}

// Makes `name` the server's default "sink" or "source" and waits until the server says so
// (PipeWire's session manager takes a moment); false when it never does.
inline bool set_default_device(const std::string& address, const std::string& kind,
                               const std::string& name) {
    if (pactl(address, "set-default-" + kind + " " + name).status != 0) return false;
    const std::string wanted =
        std::string(kind == "sink" ? "Default Sink: " : "Default Source: ") + name + "\n";
    for (int i = 0; i < 100; ++i) {
        if (pactl(address, "info").output.find(wanted) != std::string::npos) return true;
        usleep(30'000);
    }
    return false;
}

// A test's use of a server: the server chosen (PULSE_SERVER names it from then on), the sinks the
// test loaded, and the defaults and volumes it may have changed, all put back when it ends.
class ServerScratch {
  public:
    // Empty when the server is there, else why not.
    std::string use(SoundServer server) {
        const ServerState& state = SoundServers::instance().get(server);
        if (!state.failure.empty()) return state.failure;
        m_address = state.address;
        setenv("PULSE_SERVER", m_address.c_str(), 1);
        return "";
    }
    const std::string& address() const { return m_address; }

    // A null sink with `description`, taken away again after the test.
    void load_sink(const std::string& name, const std::string& description) {
        const std::string module = load_null_sink(m_address, name, description);
        if (module.empty())
            ADD_FAILURE() << "cannot load a null sink on " << m_address;
        else
            m_modules.push_back(module);
    }
    // Unloads the sink loaded last, as a device that is unplugged.
    bool unload_last() {
        if (m_modules.empty()) return false;
        const bool ok = pactl(m_address, "unload-module " + m_modules.back()).status == 0;
        m_modules.pop_back();
        return ok;
    }

    ~ServerScratch() {
        while (!m_modules.empty()) unload_last();
        if (m_address.empty()) return;
        set_default_device(m_address, "source", "quillon_sine");
        set_default_device(m_address, "sink", "quillon_sink");
        pactl(m_address, "set-sink-volume quillon_sink 65536");
    }

  private:
    std::string m_address;
    std::vector<std::string> m_modules;
};

}  // namespace quillon_test
