#include "platform/com/property_bag.h"

#include <charconv>
#include <cstdio>

#include "platform/com/typeinfo.h"

namespace {

bool is_name_start(char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_';
}

bool is_name_char(char c) {
    return is_name_start(c) || (c >= '0' && c <= '9') || c == '.';
}

bool valid_name(std::string_view name) {
    if (name.empty() || !is_name_start(name.front())) return false;
    for (char c : name)
        if (!is_name_char(c)) return false;
    return true;
}

std::string_view trim(std::string_view text) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t' || text.back() == '\r'))
        text.remove_suffix(1);
    return text;
}

int hex_digit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

std::string quoted(std::string_view text) {
    std::string out = "\"";
    for (char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        switch (c) {
            case '"':
                out += "\\\"";
                break;
            case '\\':
                out += "\\\\";
                break;
            case '\n':
                out += "\\n";
                break;
            case '\r':
                out += "\\r";
                break;
            case '\t':
                out += "\\t";
                break;
            default:
                if (byte < 0x20 || byte == 0x7F) {
                    char escape[5];
                    std::snprintf(escape, sizeof escape, "\\x%02X", byte);
                    out += escape;
                } else {
                    out += c;
                }
        }
    }
    return out + "\"";
}

// The value part of a line, or an error text.
std::string read_value(std::string_view text, Variant& value) {
    if (text.empty()) return "missing value";
    if (text.front() == '"') {
        std::string content;
        std::size_t i = 1;
        for (;; ++i) {
            if (i >= text.size()) return "unterminated string";
            const char c = text[i];
            if (c == '"') break;
            if (c != '\\') {
                content += c;
                continue;
            }
            if (++i >= text.size()) return "unterminated string";
            switch (text[i]) {
                case '"':
                case '\\':
                    content += text[i];
                    break;
                case 'n':
                    content += '\n';
                    break;
                case 'r':
                    content += '\r';
                    break;
                case 't':
                    content += '\t';
                    break;
                case 'x': {
                    const int high = i + 1 < text.size() ? hex_digit(text[i + 1]) : -1;
                    const int low = i + 2 < text.size() ? hex_digit(text[i + 2]) : -1;
                    if (high < 0 || low < 0) return "bad \\x escape";
                    content += static_cast<char>(high * 16 + low);
                    i += 2;
                    break;
                }
                default:
                    return "unknown escape";
            }
        }
        if (i + 1 != text.size()) return "text after the closing quote";
        value = Variant::string(content);
        return {};
    }
    if (names_equal(text, "True") || names_equal(text, "False")) {
        value = Variant::boolean(names_equal(text, "True"));
        return {};
    }
    LONG number = 0;
    const char* end = text.data() + text.size();
    const auto [stop, error] = std::from_chars(text.data(), end, number);
    if (error == std::errc::result_out_of_range) return "integer out of range";
    if (error != std::errc{} || stop != end) return "expected an integer, True, False or a string";
    value = Variant::i4(number);
    return {};
}

}  // namespace

const Variant* PropertyBag::find(std::string_view name) const {
    for (const auto& [key, value] : m_entries)
        if (names_equal(key, name)) return &value;
    return nullptr;
}

HRESULT PropertyBag::Read(const char* name, VARIANT* value) {
    if (!name || !value) return E_POINTER;
    const Variant* stored = find(name);
    if (!stored) return E_INVALIDARG;
    const VARTYPE wanted = value->vt;
    VARIANT result;
    VariantInit(&result);
    const HRESULT hr = wanted == VT_EMPTY ? VariantCopy(&result, &stored->raw())
                                          : VariantChangeType(&result, &stored->raw(), 0, wanted);
    if (FAILED(hr)) return hr;
    VariantClear(value);
    *value = result;
    return S_OK;
}

HRESULT PropertyBag::Write(const char* name, VARIANT* value) {
    if (!name || !value) return E_POINTER;
    if (!valid_name(name)) return E_INVALIDARG;
    switch (value->vt) {
        case VT_I2:
        case VT_I4:
        case VT_BOOL:
        case VT_BSTR:
            break;
        default:
            return DISP_E_BADVARTYPE;  // the text form holds no other type
    }
    VARIANT copy;
    VariantInit(&copy);
    if (HRESULT hr = VariantCopy(&copy, value); FAILED(hr)) return hr;
    Variant held = Variant::adopt(copy);
    for (auto& [key, stored] : m_entries)
        if (names_equal(key, name)) {
            stored = std::move(held);
            return S_OK;
        }
    m_entries.emplace_back(name, std::move(held));
    return S_OK;
}

std::string PropertyBag::to_text() const {
    std::string text;
    for (const auto& [name, value] : m_entries) {
        text += name + " = ";
        switch (value.type()) {
            case VT_I2:
                text += std::to_string(value.as_i2());
                break;
            case VT_I4:
                text += std::to_string(value.as_i4());
                break;
            case VT_BOOL:
                text += value.as_bool() ? "True" : "False";
                break;
            default:
                text += quoted(value.as_string());
        }
        text += '\n';
    }
    return text;
}

PropertyBag::Parse PropertyBag::parse(std::string_view text) {
    Parse result;
    auto bag = make_com<PropertyBag>();
    int number = 0;
    while (!text.empty()) {
        ++number;
        const std::size_t end = text.find('\n');
        std::string_view line = trim(text.substr(0, end));
        text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
        if (line.empty() || line.front() == '#') continue;

        const std::size_t equals = line.find('=');
        const std::string_view name = trim(line.substr(0, equals));
        std::string why;
        Variant value;
        if (equals == std::string_view::npos)
            why = "expected NAME = VALUE";
        else if (!valid_name(name))
            why = "bad property name";
        else
            why = read_value(trim(line.substr(equals + 1)), value);
        if (!why.empty()) {
            result.error = "line " + std::to_string(number) + ": " + why;
            return result;
        }
        bag->Write(std::string(name).c_str(), const_cast<VARIANT*>(&value.raw()));
    }
    result.bag = std::move(bag);
    return result;
}
