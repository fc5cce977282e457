#include "app/recorder/control_calls.h"

#include <QStringList>

namespace quillon::recorder {

namespace {

QString name_of(std::string_view name) {
    return QString::fromLatin1(name.data(), qsizetype(name.size()));
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
        case VT_BSTR: {
            const auto text = value.as_string();
            return QLatin1Char('"') + QString::fromUtf8(text.data(), qsizetype(text.size())) +
                   QLatin1Char('"');
        }
        default:
            return QStringLiteral("(empty)");
    }
}

void ControlCalls::note(const QString& line) const {
    if (m_trace) m_trace(line);
}

LONG ControlCalls::get_long(std::string_view name) const {
    Variant value;
    HRESULT hr = m_control ? dispatch_get(m_control, name, value) : E_POINTER;
    LONG result = 0;
    if (SUCCEEDED(hr)) {
        const Variant number = value.changed_to(VT_I4, hr);
        if (SUCCEEDED(hr)) result = number.as_i4();
    }
    note(QStringLiteral("get %1 -> %2").arg(name_of(name)).arg(result));
    return result;
}

QString ControlCalls::get_text(std::string_view name) const {
    Variant value;
    QString result;
    if (m_control && SUCCEEDED(dispatch_get(m_control, name, value)) && value.type() == VT_BSTR) {
        const auto text = value.as_string();
        result = QString::fromUtf8(text.data(), qsizetype(text.size()));
    }
    note(QStringLiteral("get %1 -> \"%2\"").arg(name_of(name), result));
    return result;
}

void ControlCalls::put(std::string_view name, const Variant& value) const {
    note(QStringLiteral("put %1 %2").arg(name_of(name), text_of(value)));
    if (m_control) dispatch_put(m_control, name, value);
}

Variant ControlCalls::invoke(std::string_view name, const std::vector<Variant>& args) const {
    QStringList texts;
    for (const Variant& a : args) texts << text_of(a);
    note(QStringLiteral("call %1(%2)").arg(name_of(name), texts.join(QStringLiteral(", "))));
    Variant result;
    if (m_control) dispatch_call(m_control, name, args, &result);
    return result;
}

void ControlCalls::call(std::string_view name, const std::vector<Variant>& args) const {
    invoke(name, args);
}

LONG ControlCalls::call_long(std::string_view name, const std::vector<Variant>& args) const {
    HRESULT hr = S_OK;
    const Variant result = invoke(name, args).changed_to(VT_I4, hr);
    const LONG value = SUCCEEDED(hr) ? result.as_i4() : 0;
    note(QStringLiteral("  -> %1").arg(value));
    return value;
}

}  // namespace quillon::recorder
