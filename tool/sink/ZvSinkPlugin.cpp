#include "ZvSinkPlugin.h"

#include <afxwin.h>

#include "PropertyReader.h"

void ZvSinkPlugin::DestroyPlugin() {
    delete this;
}

void ZvSinkPlugin::AttachPropertySet(ZV::Orvel::IPropertySet* in_pPropertySet) {
    m_pPropertySet = in_pPropertySet;
}

bool ZvSinkPlugin::WriteBankData(const ZV::Orvel::PlatformKey& in_platform,
                                 ZV::Orvel::IBankWriter* in_pWriter) {
    if (in_pWriter == nullptr) {
        return false;
    }
    ZV::Orvel::PropertyReader properties(m_pPropertySet, in_platform);
    in_pWriter->PutReal32(properties.ReadReal32(L"DirectGain"));
    in_pWriter->PutInt32(properties.ReadInt32(L"ChannelConfig"));
    return true;
}

HINSTANCE ZvSinkPlugin::GetResourceModule() {
    AFX_MANAGE_STATE(AfxGetStaticModuleState());
    return AfxGetResourceHandle();
}

bool ZvSinkPlugin::DescribeDialog(ZV::Orvel::DialogKind, uint32_t&,
                                  const ZV::Orvel::PropertyControlBinding*&) {
    return false;
}

bool ZvSinkPlugin::HandleWindowMessage(ZV::Orvel::DialogKind, HWND, uint32_t, WPARAM, LPARAM,
                                       LRESULT& out_lResult) {
    out_lResult = 0;
    return false;
}
