#include "SpatialMixer.h"

#include <afxwin.h>

#include <wchar.h>

#include "DialogWindowTracking.h"
#include "MixerMonitorData.h"
#include "PropertyReader.h"
#include "SpatialMixerResource.h"

const ZV::Orvel::PropertyControlBinding SpatialMixer::s_propertyControls[] = {
    {IDC_MIXER_BYPASS, L"Bypass"},
    {0, nullptr},
};

void SpatialMixer::DestroyPlugin() {
    delete this;
}

void SpatialMixer::AttachPropertySet(ZV::Orvel::IPropertySet* in_pPropertySet) {
    m_pPropertySet = in_pPropertySet;
}

bool SpatialMixer::WriteBankData(const ZV::Orvel::PlatformKey& in_platform,
                                 ZV::Orvel::IBankWriter* in_pWriter) {
    if (in_pWriter == nullptr) {
        return false;
    }
    ZV::Orvel::PropertyReader properties(m_pPropertySet, in_platform);
    in_pWriter->PutBool(properties.ReadBool(L"Bypass"));
    in_pWriter->PutInt32(properties.ReadInt32(L"MaxObjects"));
    return true;
}

HINSTANCE SpatialMixer::GetResourceModule() {
    AFX_MANAGE_STATE(AfxGetStaticModuleState());
    return AfxGetResourceHandle();
}

bool SpatialMixer::DescribeDialog(ZV::Orvel::DialogKind, uint32_t& out_uDialogId,
                                  const ZV::Orvel::PropertyControlBinding*& out_pTable) {
    out_uDialogId = IDD_SPATIALMIXER_SETTINGS;
    out_pTable = s_propertyControls;
    return true;
}

bool SpatialMixer::HandleWindowMessage(ZV::Orvel::DialogKind, HWND in_hWnd, uint32_t in_uMsg,
                                       WPARAM, LPARAM, LRESULT& out_lResult) {
    return ZV::Orvel::TrackDialogWindow(m_hDialog, in_hWnd, in_uMsg, out_lResult);
}

bool SpatialMixer::HandleDialogRequest(HWND, ZV::Orvel::DialogKind, void*) {
    AFX_MANAGE_STATE(AfxGetStaticModuleState());
    return true;
}

void SpatialMixer::ReceiveMonitorData(const void* in_pData, uint32_t in_uDataSize, bool) {
    if (in_pData == nullptr || in_uDataSize < MixerMonitorData::kSize) {
        return;
    }
    const MixerMonitorData record = MixerMonitorData::Decode(in_pData);
    if (m_hDialog != nullptr) {
        ShowCounter(IDC_PLAYING_OBJECTS, record.iPlayingObjects);
        ShowCounter(IDC_TOTAL_VOICES, record.iTotalVoices);
        ShowCounter(IDC_MAX_AVAILABLE_OBJECTS, record.iMaxAvailableObjects);
    }
    if (m_pPropertySet == nullptr || record.iMaxAvailableObjects <= 0) {
        return;
    }
    ZV::Orvel::PlatformKey platform;
    const ZV::Orvel::PlatformKey* pPlatform = m_pPropertySet->CurrentPlatform(platform);
    if (pPlatform == nullptr) {
        return;
    }
    ZV::Orvel::PropertyReader properties(m_pPropertySet, *pPlatform);
    VARIANT& value = properties.Read(L"MaxObjects");
    if (value.lVal > record.iMaxAvailableObjects) {
        value.lVal = record.iMaxAvailableObjects;
        m_pPropertySet->WriteProperty(*pPlatform, L"MaxObjects", value);
    }
}

void SpatialMixer::ShowCounter(int in_iControlId, int32_t in_iValue) {
    wchar_t szText[100];
    swprintf(szText, sizeof(szText) / sizeof(szText[0]), L"%d", static_cast<int>(in_iValue));
    HWND hControl = GetDlgItem(m_hDialog, in_iControlId);
    if (hControl != nullptr) {
        SendMessageW(hControl, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(szText));
    }
}
