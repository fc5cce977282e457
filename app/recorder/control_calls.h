// The window's calls into the recorder control, by member name through its automation
// interface, as a form host makes them. Failures of a call are the control's matter: a read
// that fails gives 0 or "". A trace, when set, hears every call in order (tests compare it).
#pragma once

#include <QString>
#include <functional>
#include <string_view>
#include <vector>

#include "platform/com/dispatch.h"
#include "platform/com/variant.h"

namespace quillon::recorder {

class ControlCalls {
  public:
    using Trace = std::function<void(const QString& line)>;

    void attach(IDispatch* control) { m_control = control; }
    void set_trace(Trace trace) { m_trace = std::move(trace); }
    // Writes a line of the window's own into the trace (its events, its boxes).
    void note(const QString& line) const;

    LONG get_long(std::string_view name) const;
    QString get_text(std::string_view name) const;
    void put(std::string_view name, const Variant& value) const;
    void put_long(std::string_view name, LONG value) const { put(name, Variant::i4(value)); }
    void put_bool(std::string_view name, bool value) const { put(name, Variant::boolean(value)); }
    void call(std::string_view name, const std::vector<Variant>& args = {}) const;
    LONG call_long(std::string_view name, const std::vector<Variant>& args = {}) const;

    // How a value reads in the trace: 12, True, "text".
    static QString text_of(const Variant& value);

  private:
    Variant invoke(std::string_view name, const std::vector<Variant>& args) const;

    IDispatch* m_control = nullptr;
    Trace m_trace;
};

}  // namespace quillon::recorder
