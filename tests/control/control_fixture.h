// A container for one control created by class identifier, as a form creates it, with every
// event it fires written down as "Name(arg, ...)".
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "control/kelvane_ids.h"
#include "host/control_host.h"
#include "platform/loop/message_loop.h"
#include "platform/wave/wave_backend.h"
#include "tools/script/script_parser.h"

class ControlFixture : public ::testing::Test {
  protected:
    void SetUp() override {
        MessageLoop::instance().set_clock(ClockKind::manual);
        set_wave_backend(nullptr);
    }
    void TearDown() override {
        m_host.reset();
        unsetenv("KELVANE_VIRTUAL_DEVICES");
        set_wave_backend(nullptr);
    }

    void create(bool user_mode = true) {
        m_host = std::make_unique<ControlHost>(
            user_mode, [this](const MemberDesc& event, std::span<const Variant> args) {
                std::string line = std::string(event.name) + "(";
                for (std::size_t i = 0; i < args.size(); ++i)
                    line += (i ? ", " : "") + format_value(args[i]);
                m_events.push_back(line + ")");
            });
        ASSERT_EQ(m_host->create(CLSID_Kelvane), S_OK);
        m_events.clear();
    }

    IDispatch* control() { return m_host->control(); }

    Variant get(std::string_view name) {
        Variant value;
        EXPECT_EQ(dispatch_get(control(), name, value), S_OK) << name;
        return value;
    }
    LONG get_long(std::string_view name) {
        HRESULT hr;
        return get(name).changed_to(VT_I4, hr).as_i4();
    }
    std::string get_string(std::string_view name) { return std::string(get(name).as_string()); }
    HRESULT put(std::string_view name, const Variant& value) {
        return dispatch_put(control(), name, value);
    }
    Variant call(std::string_view name, std::vector<Variant> args = {}) {
        Variant result;
        EXPECT_EQ(dispatch_call(control(), name, args, &result), S_OK) << name;
        return result;
    }
    bool dirty() {
        auto persist = ComPtr<IDispatch>(control()).as<IPersistStreamInit>();
        return persist && persist->IsDirty() == S_OK;
    }
    std::vector<std::string> take_events() { return std::exchange(m_events, {}); }

    std::unique_ptr<ControlHost> m_host;
    std::vector<std::string> m_events;
};
