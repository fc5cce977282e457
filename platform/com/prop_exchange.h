// Property exchange: how a control's saved state is loaded, saved and reset in one routine
// (DoPropExchange), over a stream or a property bag.
#pragma once

#include <string>

#include "platform/com/property_bag.h"
#include "platform/com/stream.h"

// One pass of property exchange: loading, saving or resetting to defaults. The control's
// DoPropExchange names each property once; the exchange decides the direction.
class CPropExchange {
  public:
    virtual ~CPropExchange() = default;
    BOOL IsLoading() const { return m_loading; }
    DWORD GetVersion() const { return m_version; }

    // Exchanges the control's version; when loading, `version` becomes the stored one.
    virtual BOOL ExchangeVersion(DWORD& version, DWORD default_version);
    // `value` points at a LONG (VT_I4), SHORT (VT_I2), BOOL (VT_BOOL) or std::string (VT_BSTR);
    // `default_value` at the same type, used when loading finds nothing. A null default means
    // the property has none: it is always saved, and loading that finds nothing leaves `value`.
    virtual BOOL ExchangeProp(const char* name, VARTYPE type, void* value,
                              const void* default_value) = 0;

  protected:
    explicit CPropExchange(BOOL loading) : m_loading(loading) {}
    BOOL m_loading;
    DWORD m_version = 0;
};

// Loading with no saved state: every property takes its default.
class CPropExchangeDefaults final : public CPropExchange {
  public:
    CPropExchangeDefaults() : CPropExchange(TRUE) {}
    BOOL ExchangeVersion(DWORD& version, DWORD default_version) override;
    BOOL ExchangeProp(const char* name, VARTYPE type, void* value,
                      const void* default_value) override;
};

// Saved state in a stream, little-endian, in the order of exchange: the version and each LONG
// in 4 bytes, a SHORT in 2, a BOOL in 1 (0 or 1), a string as its length and then its bytes
// without terminator. The length is one byte below 255; else 0xFF and 16 bits below 0xFFFE;
// else 0xFF, 0xFFFF and 32 bits.
class CStreamPropExchange final : public CPropExchange {
  public:
    CStreamPropExchange(IStream* stream, BOOL loading) : CPropExchange(loading), m_stream(stream) {}
    BOOL ExchangeVersion(DWORD& version, DWORD default_version) override;
    BOOL ExchangeProp(const char* name, VARTYPE type, void* value,
                      const void* default_value) override;
    // S_OK while every field went through whole; else the first failure. Once a read has
    // failed, no more is read and every later property takes its default.
    HRESULT status() const { return m_status; }

  private:
    bool read(void* data, ULONG size);
    bool write(const void* data, ULONG size);
    bool read_string(std::string& text);
    bool write_string(const std::string& text);

    IStream* m_stream;
    HRESULT m_status = S_OK;
};

// Saved state as named values: the version under "_Version", each property under its name.
class CBagPropExchange final : public CPropExchange {
  public:
    CBagPropExchange(IPropertyBag* bag, BOOL loading, BOOL save_all = TRUE)
        : CPropExchange(loading), m_bag(bag), m_save_all(save_all) {}
    BOOL ExchangeVersion(DWORD& version, DWORD default_version) override;
    BOOL ExchangeProp(const char* name, VARTYPE type, void* value,
                      const void* default_value) override;
    // S_OK unless a write into the bag failed.
    HRESULT status() const { return m_status; }

  private:
    IPropertyBag* m_bag;
    BOOL m_save_all;
    HRESULT m_status = S_OK;
};

BOOL PX_Long(CPropExchange* px, const char* name, LONG& value, LONG default_value);
// Without a default: always saved; when loading finds nothing, `value` stays.
BOOL PX_Long(CPropExchange* px, const char* name, LONG& value);
BOOL PX_Short(CPropExchange* px, const char* name, SHORT& value, SHORT default_value);
BOOL PX_Bool(CPropExchange* px, const char* name, BOOL& value, BOOL default_value);
BOOL PX_String(CPropExchange* px, const char* name, std::string& value,
               const std::string& default_value);
