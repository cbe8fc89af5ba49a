#include "SpatialEffectPlugin.h"

#include <afxwin.h>

#include "AssertHook.h"
#include "DialogWindowTracking.h"
#include "SpatialEffectResource.h"

void SpatialEffectPlugin::DestroyPlugin() {
    delete this;
}

void SpatialEffectPlugin::AttachPropertySet(ZV::Orvel::IPropertySet* in_pPropertySet) {
    m_pPropertySet = in_pPropertySet;
}

void SpatialEffectPlugin::Reserved11(void*, void*) {}

bool SpatialEffectPlugin::WriteBankData(const ZV::Orvel::PlatformKey&, ZV::Orvel::IBankWriter*) {
    return true;
}

HINSTANCE SpatialEffectPlugin::GetResourceModule() {
    AFX_MANAGE_STATE(AfxGetStaticModuleState());
    return AfxGetResourceHandle();
}

bool SpatialEffectPlugin::DescribeDialog(ZV::Orvel::DialogKind in_eDialog, uint32_t& out_uDialogId,
                                         const ZV::Orvel::PropertyControlBinding*& out_pTable) {
    using ZV::Orvel::SettingsDialog;
    ZV_CHECK("SpatialEffectPlugin", in_eDialog == SettingsDialog);
    out_uDialogId = IDD_SPATIALEFFECT_SETTINGS;
    out_pTable = nullptr;
    return true;
}

bool SpatialEffectPlugin::HandleWindowMessage(ZV::Orvel::DialogKind, HWND in_hWnd, uint32_t in_uMsg,
                                              WPARAM, LPARAM, LRESULT& out_lResult) {
    return ZV::Orvel::TrackDialogWindow(m_hDialog, in_hWnd, in_uMsg, out_lResult);
}

bool SpatialEffectPlugin::HandleDialogRequest(HWND in_hWnd, ZV::Orvel::DialogKind in_eDialog,
                                              void*) {
    AFX_MANAGE_STATE(AfxGetStaticModuleState());
    if (in_eDialog != ZV::Orvel::SettingsDialog) {
        return false;
    }
    SendMessageW(in_hWnd, kZvDesignToolRequestMessage, kZvDesignToolRequestSettings, 0);
    return true;
}
