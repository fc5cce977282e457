#include "tools/verbs/control_session.h"

#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <csignal>
#include <cstdio>
#include <iostream>

#include "control/kelvane_ids.h"
#include "platform/loop/message_loop.h"

namespace {

std::atomic<bool> g_interrupted{false};

extern "C" void on_signal(int) {
    g_interrupted = true;
}

}  // namespace

ControlSession::ControlSession(bool manual_clock)
    : m_manual(manual_clock),
      m_host(true, [this](const MemberDesc& event, std::span<const Variant> args) {
          m_events.push_back({std::string(event.name),
                              {args.begin(), args.end()},
                              MessageLoop::instance().now_ms()});
          if (event.name == "Errors" && args.size() == 2) {
              HRESULT hr = S_OK;
              m_error_codes.push_back(args[0].changed_to(VT_I2, hr).as_i2());
              m_errors.emplace_back(args[1].as_string());
          }
      }) {
    MessageLoop::instance().set_clock(manual_clock ? ClockKind::manual : ClockKind::real);
    g_interrupted = false;
    // Closing the terminal ends a recording as politely as Ctrl+C does.
    std::signal(SIGINT, on_signal);
    std::signal(SIGTERM, on_signal);
    std::signal(SIGHUP, on_signal);
}

ControlSession::~ControlSession() {
    // Destroying the control finishes a running recording.
    m_host.destroy();
    std::signal(SIGINT, SIG_DFL);
    std::signal(SIGTERM, SIG_DFL);
    std::signal(SIGHUP, SIG_DFL);
}

bool ControlSession::start(std::string_view verb) {
    return start(verb, CLSID_Kelvane, "recorder control");
}

bool ControlSession::start(std::string_view verb, REFCLSID clsid, std::string_view what) {
    m_verb = std::string(verb);
    const HRESULT hr = m_host.create(clsid);
    if (FAILED(hr)) {
        std::fprintf(stderr, "kelvane %s: cannot create the %.*s: %s (0x%08X)\n", m_verb.c_str(),
                     static_cast<int>(what.size()), what.data(), hresult_text(hr),
                     static_cast<unsigned>(hr));
        return false;
    }
    return true;
}

bool ControlSession::put(std::string_view name, const Variant& value) {
    const HRESULT hr = dispatch_put(control(), name, value);
    if (FAILED(hr))
        std::fprintf(stderr, "kelvane %s: cannot set %.*s: %s\n", m_verb.c_str(),
                     static_cast<int>(name.size()), name.data(), hresult_text(hr));
    return SUCCEEDED(hr);
}

std::optional<Variant> ControlSession::get(std::string_view name) {
    Variant value;
    if (FAILED(dispatch_get(control(), name, value))) return std::nullopt;
    return value;
}

std::optional<Variant> ControlSession::call(std::string_view name, std::vector<Variant> args) {
    Variant result;
    const HRESULT hr = dispatch_call(control(), name, args, &result);
    if (FAILED(hr)) {
        std::fprintf(stderr, "kelvane %s: %.*s failed: %s\n", m_verb.c_str(),
                     static_cast<int>(name.size()), name.data(), hresult_text(hr));
        return std::nullopt;
    }
    return result;
}

LONG ControlSession::get_long(std::string_view name) {
    HRESULT hr = S_OK;
    const auto value = get(name);
    return value ? value->changed_to(VT_I4, hr).as_i4() : 0;
}

std::string ControlSession::get_string(std::string_view name) {
    const auto value = get(name);
    return value && value->type() == VT_BSTR ? std::string(value->as_string()) : std::string();
}

std::vector<std::string> ControlSession::info_property_names() const {
    std::vector<std::string> names;
    for (int i = 0; i < kInfoCount && m_host.members(); ++i)
        if (const MemberDesc* m = m_host.members()->find(dispidInfoCreationDate + i))
            names.emplace_back(m->name);
    return names;
}

void ControlSession::run_for(std::uint64_t ms) {
    MessageLoop::instance().run_for(ms);
}

void ControlSession::run_next(std::uint64_t ms) {
    MessageLoop::instance().run_next(ms);
}

std::uint64_t ControlSession::now_ms() const {
    return MessageLoop::instance().now_ms();
}

bool ControlSession::interrupted() {
    return g_interrupted;
}

StatusLine::StatusLine(std::ostream& out, int fd, bool terminal_only)
    : m_out(out), m_terminal(::isatty(fd) != 0), m_terminal_only(terminal_only) {}

void StatusLine::show(const std::string& text, std::uint64_t now_ms) {
    if (m_terminal) {
        // The same text again would only cost a write.
        if (m_shown && text == m_drawn) return;
        m_out << '\r' << text << "\033[K" << std::flush;
        m_drawn = text;
        m_shown = true;
        return;
    }
    if (m_terminal_only) return;
    m_unshown = text;
    if (m_shown && now_ms < m_last_ms + 1000) return;
    m_out << text << '\n' << std::flush;
    m_unshown.clear();
    m_shown = true;
    m_last_ms = now_ms;
}

void StatusLine::finish() {
    if (m_terminal && m_shown) m_out << '\n' << std::flush;
    // Elsewhere the last state is worth a line of its own, even within the second.
    if (!m_terminal && !m_unshown.empty()) m_out << m_unshown << '\n' << std::flush;
    m_unshown.clear();
}

std::string level_bar(LONG level) {
    const int filled = static_cast<int>(std::clamp<LONG>(level, 0, 32767) * 20 / 32767);
    std::string bar(22, ' ');
    bar.front() = '[';
    bar.back() = ']';
    std::fill_n(bar.begin() + 1, filled, '#');
    return bar;
}

std::string seconds_text(LONG milliseconds) {
    char text[32];
    std::snprintf(text, sizeof text, "%.1f s", milliseconds / 1000.0);
    return text;
}
