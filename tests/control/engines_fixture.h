// The control on the virtual card's manual clock with a sine input, for the engine scenarios:
// run the loop, record and play files, choose formats, inject failures.
#pragma once

#include <cstdlib>
#include <string>
#include <vector>

#include "platform/codec/acm.h"
#include "platform/wave/virtual_card.h"
#include "tests/control/control_fixture.h"
#include "tests/support/temp_dir.h"

using V = std::vector<std::string>;

class Engines : public ControlFixture {
  protected:
    void SetUp() override {
        ControlFixture::SetUp();
        setenv("KELVANE_VIRTUAL_INPUT", "sine:440:0.5", 1);
    }
    void TearDown() override {
        m_host.reset();
        card().clear_failures();
        unsetenv("KELVANE_VIRTUAL_INPUT");
        ControlFixture::TearDown();
    }

    static VirtualSoundCard& card() { return dynamic_cast<VirtualSoundCard&>(wave_backend()); }
    std::string path(const char* name) const { return m_dir.file(name); }
    static void run(std::uint64_t ms) { MessageLoop::instance().run_for(ms); }

    // A control with no level events from the timer and no mixer poll (design time), so
    // transcripts show the engines alone.
    void create_quiet() {
        create(/*user_mode=*/false);
        put("TypeRecordLevel", Variant::i4(0));
        put("TypePlayLevel", Variant::i4(0));
        take_events();
    }

    // Records `ms` milliseconds in the current format and stops.
    void record_file(const std::string& file, std::uint64_t ms) {
        call("Record", {Variant::string(file)});
        run(ms);
        call("Stop");
        take_events();
    }

    // Makes the next format chooser answer with the format called `name`.
    static void choose(const std::string& name) {
        acm_set_format_chooser(
            [name](const ACMFORMATCHOOSEA&, std::span<const AcmFormatChoice> choices) {
                for (std::size_t i = 0; i < choices.size(); ++i)
                    if (choices[i].name == name) return static_cast<int>(i);
                return -1;
            });
    }

    quillon::test::TempDir m_dir;
};

// Bytes of a WAV file the control writes without INFO: 58 bytes of header and the audio.
inline constexpr std::uintmax_t kWavOverhead = 58;
