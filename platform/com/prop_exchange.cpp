#include "platform/com/prop_exchange.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <limits>

namespace {

// Strings are read in pieces of this many bytes, so a forged length costs no more memory than
// the stream really holds.
constexpr std::size_t kStringPiece = 4096;

template <typename T>
T from_le(const BYTE* bytes) {
    std::make_unsigned_t<T> value = 0;
    for (std::size_t i = sizeof(T); i-- > 0;)
        value = static_cast<decltype(value)>((value << 8) | bytes[i]);
    return static_cast<T>(value);
}

template <typename T>
void to_le(T value, BYTE* bytes) {
    auto bits = static_cast<std::make_unsigned_t<T>>(value);
    for (std::size_t i = 0; i < sizeof(T); ++i, bits = static_cast<decltype(bits)>(bits >> 8))
        bytes[i] = static_cast<BYTE>(bits & 0xFF);
}

// Copies the default into `value`; a null default leaves `value` as it is.
void take_default(VARTYPE type, void* value, const void* default_value) {
    if (!default_value) return;
    switch (type) {
        case VT_I4:
            *static_cast<LONG*>(value) = *static_cast<const LONG*>(default_value);
            break;
        case VT_I2:
            *static_cast<SHORT*>(value) = *static_cast<const SHORT*>(default_value);
            break;
        case VT_BOOL:
            *static_cast<BOOL*>(value) = *static_cast<const BOOL*>(default_value);
            break;
        case VT_BSTR:
            *static_cast<std::string*>(value) = *static_cast<const std::string*>(default_value);
            break;
        default:
            break;
    }
}

bool equals_default(VARTYPE type, const void* value, const void* default_value) {
    if (!default_value) return false;
    switch (type) {
        case VT_I4:
            return *static_cast<const LONG*>(value) == *static_cast<const LONG*>(default_value);
        case VT_I2:
            return *static_cast<const SHORT*>(value) == *static_cast<const SHORT*>(default_value);
        case VT_BOOL:
            return (*static_cast<const BOOL*>(value) != FALSE) ==
                   (*static_cast<const BOOL*>(default_value) != FALSE);
        case VT_BSTR:
            return *static_cast<const std::string*>(value) ==
                   *static_cast<const std::string*>(default_value);
        default:
            return false;
    }
}

constexpr bool exchangeable(VARTYPE type) {
    return type == VT_I4 || type == VT_I2 || type == VT_BOOL || type == VT_BSTR;
}

}  // namespace

BOOL CPropExchange::ExchangeVersion(DWORD& version, DWORD default_version) {
    if (!m_loading) version = default_version;
    m_version = version;
    return TRUE;
}

BOOL CPropExchangeDefaults::ExchangeVersion(DWORD& version, DWORD default_version) {
    version = default_version;
    m_version = version;
    return TRUE;
}

BOOL CPropExchangeDefaults::ExchangeProp(const char* /*name*/, VARTYPE type, void* value,
                                         const void* default_value) {
    if (!exchangeable(type)) return FALSE;
    take_default(type, value, default_value);
    return TRUE;
}

bool CStreamPropExchange::read(void* data, ULONG size) {
    if (FAILED(m_status)) return false;
    ULONG got = 0;
    const HRESULT hr = m_stream->Read(data, size, &got);
    if (FAILED(hr) || got != size) m_status = FAILED(hr) ? hr : STG_E_READFAULT;
    return SUCCEEDED(m_status);
}

bool CStreamPropExchange::write(const void* data, ULONG size) {
    if (FAILED(m_status)) return false;
    ULONG put = 0;
    const HRESULT hr = m_stream->Write(data, size, &put);
    if (FAILED(hr) || put != size) m_status = FAILED(hr) ? hr : STG_E_WRITEFAULT;
    return SUCCEEDED(m_status);
}

bool CStreamPropExchange::read_string(std::string& text) {
    BYTE short_length = 0;
    if (!read(&short_length, 1)) return false;
    std::uint64_t length = short_length;
    if (short_length == 0xFF) {
        BYTE word[2];
        if (!read(word, 2)) return false;
        length = from_le<WORD>(word);
        if (length == 0xFFFF) {
            BYTE dword[4];
            if (!read(dword, 4)) return false;
            length = from_le<DWORD>(dword);
        }
    }
    std::string result;
    while (result.size() < length) {
        const std::size_t piece = std::min<std::uint64_t>(kStringPiece, length - result.size());
        const std::size_t at = result.size();
        result.resize(at + piece);
        if (!read(result.data() + at, static_cast<ULONG>(piece))) return false;
    }
    text = std::move(result);
    return true;
}

bool CStreamPropExchange::write_string(const std::string& text) {
    if (text.size() > std::numeric_limits<DWORD>::max()) {
        m_status = STG_E_MEDIUMFULL;
        return false;
    }
    BYTE prefix[7];
    ULONG prefix_size = 1;
    if (text.size() < 0xFF) {
        prefix[0] = static_cast<BYTE>(text.size());
    } else if (text.size() < 0xFFFE) {
        prefix[0] = 0xFF;
        to_le(static_cast<WORD>(text.size()), prefix + 1);
        prefix_size = 3;
    } else {
        prefix[0] = 0xFF;
        to_le(WORD{0xFFFF}, prefix + 1);
        to_le(static_cast<DWORD>(text.size()), prefix + 3);
        prefix_size = 7;
    }
    if (!write(prefix, prefix_size)) return false;
    // Written in pieces: one Write moves at most a ULONG of bytes.
    for (std::size_t at = 0; at < text.size(); at += kStringPiece)
        if (!write(text.data() + at, static_cast<ULONG>(std::min(kStringPiece, text.size() - at))))
            return false;
    return true;
}

BOOL CStreamPropExchange::ExchangeVersion(DWORD& version, DWORD default_version) {
    BYTE bytes[4];
    if (m_loading) {
        version = read(bytes, 4) ? from_le<DWORD>(bytes) : default_version;
    } else {
        version = default_version;
        to_le(version, bytes);
        write(bytes, 4);
    }
    m_version = version;
    return SUCCEEDED(m_status);
}

BOOL CStreamPropExchange::ExchangeProp(const char* /*name*/, VARTYPE type, void* value,
                                       const void* default_value) {
    if (!exchangeable(type)) return FALSE;
    BYTE bytes[4];
    if (m_loading) {
        bool whole = false;
        switch (type) {
            case VT_I4:
                if ((whole = read(bytes, 4))) *static_cast<LONG*>(value) = from_le<LONG>(bytes);
                break;
            case VT_I2:
                if ((whole = read(bytes, 2))) *static_cast<SHORT*>(value) = from_le<SHORT>(bytes);
                break;
            case VT_BOOL:
                if ((whole = read(bytes, 1))) *static_cast<BOOL*>(value) = bytes[0] ? TRUE : FALSE;
                break;
            default:
                whole = read_string(*static_cast<std::string*>(value));
        }
        if (!whole) take_default(type, value, default_value);
        return whole ? TRUE : FALSE;
    }
    switch (type) {
        case VT_I4:
            to_le(*static_cast<const LONG*>(value), bytes);
            return write(bytes, 4) ? TRUE : FALSE;
        case VT_I2:
            to_le(*static_cast<const SHORT*>(value), bytes);
            return write(bytes, 2) ? TRUE : FALSE;
        case VT_BOOL:
            bytes[0] = *static_cast<const BOOL*>(value) ? 1 : 0;
            return write(bytes, 1) ? TRUE : FALSE;
        default:
            return write_string(*static_cast<const std::string*>(value)) ? TRUE : FALSE;
    }
}

BOOL CBagPropExchange::ExchangeVersion(DWORD& version, DWORD default_version) {
    LONG stored = static_cast<LONG>(default_version);
    if (m_loading) {
        // A bag without a version was written by the version that reads it.
        PX_Long(this, "_Version", stored, static_cast<LONG>(default_version));
        version = static_cast<DWORD>(stored);
    } else {
        version = default_version;
        PX_Long(this, "_Version", stored);
    }
    m_version = version;
    return SUCCEEDED(m_status);
}

BOOL CBagPropExchange::ExchangeProp(const char* name, VARTYPE type, void* value,
                                    const void* default_value) {
    if (!exchangeable(type)) return FALSE;
    if (m_loading) {
        VARIANT raw;
        VariantInit(&raw);
        raw.vt = type;
        if (FAILED(m_bag->Read(name, &raw))) {
            take_default(type, value, default_value);
            return FALSE;
        }
        Variant read = Variant::adopt(raw);
        switch (type) {
            case VT_I4:
                *static_cast<LONG*>(value) = read.as_i4();
                break;
            case VT_I2:
                *static_cast<SHORT*>(value) = read.as_i2();
                break;
            case VT_BOOL:
                *static_cast<BOOL*>(value) = read.as_bool() ? TRUE : FALSE;
                break;
            default:
                *static_cast<std::string*>(value) = std::string(read.as_string());
        }
        return TRUE;
    }
    if (!m_save_all && equals_default(type, value, default_value)) return TRUE;
    Variant written;
    switch (type) {
        case VT_I4:
            written = Variant::i4(*static_cast<const LONG*>(value));
            break;
        case VT_I2:
            written = Variant::i2(*static_cast<const SHORT*>(value));
            break;
        case VT_BOOL:
            written = Variant::boolean(*static_cast<const BOOL*>(value) != FALSE);
            break;
        default:
            written = Variant::string(*static_cast<const std::string*>(value));
    }
    const HRESULT hr = m_bag->Write(name, const_cast<VARIANT*>(&written.raw()));
    if (FAILED(hr) && SUCCEEDED(m_status)) m_status = hr;
    return SUCCEEDED(hr) ? TRUE : FALSE;
}

BOOL PX_Long(CPropExchange* px, const char* name, LONG& value, LONG default_value) {
    return px->ExchangeProp(name, VT_I4, &value, &default_value);
}

BOOL PX_Long(CPropExchange* px, const char* name, LONG& value) {
    return px->ExchangeProp(name, VT_I4, &value, nullptr);
}

BOOL PX_Short(CPropExchange* px, const char* name, SHORT& value, SHORT default_value) {
    return px->ExchangeProp(name, VT_I2, &value, &default_value);
}

BOOL PX_Bool(CPropExchange* px, const char* name, BOOL& value, BOOL default_value) {
    return px->ExchangeProp(name, VT_BOOL, &value, &default_value);
}

BOOL PX_String(CPropExchange* px, const char* name, std::string& value,
               const std::string& default_value) {
    return px->ExchangeProp(name, VT_BSTR, &value, &default_value);
}
