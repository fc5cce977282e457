// CKelvanePropPage: the control's one property page, "General". It shows no controls and binds
// no property; containers list it because the control names it.
#pragma once

#include "control/kelvane_ids.h"
#include "platform/com/proppage.h"

inline constexpr const char* kKelvanePropPageProgId = "KELVANE.KelvanePropPage.1";
inline constexpr const char* kKelvanePropPageTypeName = "Kelvane Property Page";

class CKelvanePropPage final : public COlePropertyPage {
  public:
    explicit CKelvanePropPage(ComModule& module);

  protected:
    ~CKelvanePropPage() override = default;
    void DoDataExchange(CDataExchange* dx) override;
};
