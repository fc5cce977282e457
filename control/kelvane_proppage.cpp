#include "control/kelvane_proppage.h"

#include "control/kelvane_ctrl.h"
#include "control/kelvane_resources.h"

CKelvanePropPage::CKelvanePropPage(ComModule& module)
    : COlePropertyPage(module, kelvane_instance(), IDD_PROPPAGE_KELVANE, IDS_KELVANE_PPG_CAPTION) {}

void CKelvanePropPage::DoDataExchange(CDataExchange* dx) {
    DDP_PostProcessing(dx);
}

std::span<const CLSID> CKelvaneCtrl::GetPropPageIDs() const {
    static constexpr CLSID kPages[] = {CLSID_KelvanePropPage};
    return kPages;
}
