#include "app/recorder/control_calls.h"

#include <QStringList>

namespace quillon::recorder {

namespace {

QString name_of(const ControlCalls::Member& member) {
    return QString::fromLatin1(member.name.data(), qsizetype(member.name.size()));
}

}  // namespace

QString ControlCalls::text_of(const Variant& value) {
    switch (value.type()) {
        case VT_I2:
            return QString::number(value.as_i2());
        case VT_I4:
            return QString::number(value.as_i4());
        case VT_R8:
            return QString::number(value.as_r8());
        case VT_BOOL:
            return value.as_bool() ? QStringLiteral("True") : QStringLiteral("False");
        case VT_BSTR:
            return QLatin1Char('"') + string_of(value) + QLatin1Char('"');
        default:
            return QStringLiteral("(empty)");
    }
}

void ControlCalls::note(const QString& line) const {
    if (m_trace) m_trace(line);
}

HRESULT ControlCalls::get(const Member& member, Variant& value) const {
    if (!m_control) return E_POINTER;
    return member.id ? dispatch_get(m_control, *member.id, value)
                     : dispatch_get(m_control, member.name, value);
}

std::optional<Variant> ControlCalls::get_as(const Member& member, VARTYPE type) const {
    Variant value;
    HRESULT hr = get(member, value);
    if (FAILED(hr)) return std::nullopt;
    Variant changed = value.changed_to(type, hr);
    if (FAILED(hr)) return std::nullopt;
    return changed;
}

LONG ControlCalls::get_long(const Member& member) const {
    const auto value = get_as(member, VT_I4);
    const LONG result = value ? value->as_i4() : 0;
    note(QStringLiteral("get %1 -> %2").arg(name_of(member)).arg(result));
    return result;
}

double ControlCalls::get_double(const Member& member) const {
    const auto value = get_as(member, VT_R8);
    const double result = value ? value->as_r8() : 0;
    note(QStringLiteral("get %1 -> %2").arg(name_of(member)).arg(result));
    return result;
}

QString ControlCalls::get_text(const Member& member) const {
    Variant value;
    QString result;
    if (SUCCEEDED(get(member, value))) result = string_of(value);
    note(QStringLiteral("get %1 -> \"%2\"").arg(name_of(member), result));
    return result;
}

void ControlCalls::put(const Member& member, const Variant& value) const {
    note(QStringLiteral("put %1 %2").arg(name_of(member), text_of(value)));
    if (!m_control) return;
    if (member.id)
        dispatch_put(m_control, *member.id, value);
    else
        dispatch_put(m_control, member.name, value);
}

HRESULT ControlCalls::invoke(const Member& member, const std::vector<Variant>& args,
                             Variant& result) const {
    QStringList texts;
    for (const Variant& a : args) texts << text_of(a);
    note(QStringLiteral("call %1(%2)").arg(name_of(member), texts.join(QStringLiteral(", "))));
    if (!m_control) return E_POINTER;
    return member.id ? dispatch_invoke_method(m_control, *member.id, args, &result)
                     : dispatch_call(m_control, member.name, args, &result);
}

HRESULT ControlCalls::call(const Member& member, const std::vector<Variant>& args) const {
    Variant ignored;
    return invoke(member, args, ignored);
}

LONG ControlCalls::call_long(const Member& member, const std::vector<Variant>& args) const {
    Variant result;
    invoke(member, args, result);
    HRESULT hr = S_OK;
    const Variant number = result.changed_to(VT_I4, hr);
    const LONG value = SUCCEEDED(hr) ? number.as_i4() : 0;
    note(QStringLiteral("  -> %1").arg(value));
    return value;
}

Variant text_variant(const QString& text) {
    return Variant::string(text.toStdString());
}

LONG long_of(const Variant& value) {
    HRESULT hr = S_OK;
    const Variant number = value.changed_to(VT_I4, hr);
    return SUCCEEDED(hr) ? number.as_i4() : 0;
}

QString string_of(const Variant& value) {
    if (value.type() != VT_BSTR) return {};
    const auto text = value.as_string();
    return QString::fromUtf8(text.data(), qsizetype(text.size()));
}

}  // namespace quillon::recorder
