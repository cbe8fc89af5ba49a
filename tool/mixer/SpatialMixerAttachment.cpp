#include "SpatialMixerAttachment.h"

#include <afxwin.h>

#include "DialogWindowTracking.h"
#include "PropertyReader.h"
#include "SpatialMixerResource.h"

// The check box reads "Bypass" although it is bound to "BypassLocal".
const ZV::Orvel::PropertyControlBinding SpatialMixerAttachment::s_propertyControls[] = {
    {IDC_ATTACHMENT_BYPASS, L"BypassLocal"},
    {0, nullptr},
};

void SpatialMixerAttachment::DestroyPlugin() {
    delete this;
}

void SpatialMixerAttachment::AttachPropertySet(ZV::Orvel::IPropertySet* in_pPropertySet) {
    m_pPropertySet = in_pPropertySet;
}

bool SpatialMixerAttachment::WriteBankData(const ZV::Orvel::PlatformKey& in_platform,
                                           ZV::Orvel::IBankWriter* in_pWriter) {
    if (in_pWriter == nullptr) {
        return false;
    }
    ZV::Orvel::PropertyReader properties(m_pPropertySet, in_platform);
    in_pWriter->PutBool(properties.ReadBool(L"BypassLocal"));
    return true;
}

HINSTANCE SpatialMixerAttachment::GetResourceModule() {
    AFX_MANAGE_STATE(AfxGetStaticModuleState());
    return AfxGetResourceHandle();
}

bool SpatialMixerAttachment::DescribeDialog(ZV::Orvel::DialogKind, uint32_t& out_uDialogId,
                                            const ZV::Orvel::PropertyControlBinding*& out_pTable) {
    out_uDialogId = IDD_SPATIALMIXERATTACHMENT_SETTINGS;
    out_pTable = s_propertyControls;
    return true;
}

bool SpatialMixerAttachment::HandleWindowMessage(ZV::Orvel::DialogKind, HWND in_hWnd,
                                                 uint32_t in_uMsg, WPARAM, LPARAM,
                                                 LRESULT& out_lResult) {
    return ZV::Orvel::TrackDialogWindow(m_hDialog, in_hWnd, in_uMsg, out_lResult);
}

bool SpatialMixerAttachment::HandleDialogRequest(HWND, ZV::Orvel::DialogKind, void*) {
    AFX_MANAGE_STATE(AfxGetStaticModuleState());
    return true;
}
