// A window's calls into a control through its automation interface, as a form host makes them:
// by member name, or by dispatch id for a control whose ids the window knows (the encoder).
// Failures of a call are the control's matter: a read that fails gives 0 or "", and a method
// call answers its result only. A trace, when set, hears every call in order (tests compare it).
#pragma once

#include <QString>
#include <functional>
#include <optional>
#include <string_view>
#include <vector>

#include "platform/com/dispatch.h"
#include "platform/com/variant.h"

namespace quillon::recorder {

class ControlCalls {
  public:
    using Trace = std::function<void(const QString& line)>;

    // A member by name, or by dispatch id; the name is also what the trace shows.
    struct Member {
        Member(const char* member_name) : name(member_name) {}
        Member(std::string_view member_name) : name(member_name) {}
        constexpr Member(DISPID member_id, std::string_view member_name)
            : id(member_id), name(member_name) {}
        std::optional<DISPID> id;
        std::string_view name;
    };

    void attach(IDispatch* control) { m_control = control; }
    void set_trace(Trace trace) { m_trace = std::move(trace); }
    // Writes a line of the window's own into the trace (its events, its boxes).
    void note(const QString& line) const;

    LONG get_long(const Member& member) const;
    double get_double(const Member& member) const;
    QString get_text(const Member& member) const;
    void put(const Member& member, const Variant& value) const;
    void put_long(const Member& member, LONG value) const { put(member, Variant::i4(value)); }
    void put_bool(const Member& member, bool value) const { put(member, Variant::boolean(value)); }
    // The call's own result: S_OK, or the failure it raised.
    HRESULT call(const Member& member, const std::vector<Variant>& args = {}) const;
    LONG call_long(const Member& member, const std::vector<Variant>& args = {}) const;

    // How a value reads in the trace: 12, True, "text".
    static QString text_of(const Variant& value);

  private:
    HRESULT get(const Member& member, Variant& value) const;
    // The property's value in `type`; nothing when it cannot be read or changed into it.
    std::optional<Variant> get_as(const Member& member, VARTYPE type) const;
    HRESULT invoke(const Member& member, const std::vector<Variant>& args, Variant& result) const;

    IDispatch* m_control = nullptr;
    Trace m_trace;
};

// Values as the windows pass and take them: a text as an automation string, a number from any
// numeric value (0 when it is none), the text of a string value ("" when it is none).
Variant text_variant(const QString& text);
LONG long_of(const Variant& value);
QString string_of(const Variant& value);

}  // namespace quillon::recorder
