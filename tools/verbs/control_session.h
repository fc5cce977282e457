// One control hosted for a command-line verb: created by class identifier on the chosen clock,
// its events kept for the verb to look at, Ctrl+C, SIGTERM and SIGHUP turned into a polite request
// to stop.
#pragma once

#include <cstdint>
#include <iosfwd>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "host/control_host.h"

class ControlSession {
  public:
    explicit ControlSession(bool manual_clock);
    ~ControlSession();

    // Creates the recorder control, or the component of class `clsid` (`what` names it in the
    // message); prints why and returns false when it cannot be created.
    bool start(std::string_view verb);
    bool start(std::string_view verb, REFCLSID clsid, std::string_view what);
    IDispatch* control() const { return m_host.control(); }

    // Property and method helpers that print a failure under the verb's name.
    bool put(std::string_view name, const Variant& value);
    std::optional<Variant> get(std::string_view name);
    std::optional<Variant> call(std::string_view name, std::vector<Variant> args = {});
    LONG get_long(std::string_view name);
    std::string get_string(std::string_view name);
    // The info property names, in DISPID order, as the control's type description spells them.
    std::vector<std::string> info_property_names() const;

    // Runs the message loop for a slice of time (virtual time on the manual clock).
    void run_for(std::uint64_t ms);
    // Runs the message loop until its next timer or posted task, at most `ms`: a verb that looks
    // at the control after each turn wakes only when the control did something.
    void run_next(std::uint64_t ms);
    bool manual_clock() const { return m_manual; }
    std::uint64_t now_ms() const;

    // True once Ctrl+C, SIGTERM or SIGHUP arrived.
    static bool interrupted();

    // What the control has said, in order; the verb clears what it has handled.
    struct Event {
        std::string name;
        std::vector<Variant> args;
        std::uint64_t when_ms = 0;  // on the session's clock
    };
    std::vector<Event>& events() { return m_events; }
    // The texts of the Errors events seen so far, and their codes.
    const std::vector<std::string>& errors() const { return m_errors; }
    const std::vector<SHORT>& error_codes() const { return m_error_codes; }

  private:
    bool m_manual;
    std::string m_verb;
    ControlHost m_host;
    std::vector<Event> m_events;
    std::vector<std::string> m_errors;
    std::vector<SHORT> m_error_codes;
};

// A status line: rewritten in place on a terminal when its text changes, printed at most once
// a second otherwise.
class StatusLine {
  public:
    // On `out`, which is the terminal `fd` or not; with `terminal_only` nothing is printed
    // elsewhere.
    StatusLine(std::ostream& out, int fd, bool terminal_only);
    void show(const std::string& text, std::uint64_t now_ms);
    void finish();

  private:
    std::ostream& m_out;
    bool m_terminal;
    bool m_terminal_only = false;
    bool m_shown = false;
    std::uint64_t m_last_ms = 0;
    std::string m_unshown;  // the latest text, when the once-a-second rule held it back
    std::string m_drawn;    // on a terminal: the text on the line now
};

// A 20-character bar for a level of 0..32767.
std::string level_bar(LONG level);
// "12.3 s".
std::string seconds_text(LONG milliseconds);
