// The spatial sink as the design tool sees it: writes the sink's parameter block ("DirectGain",
// "ChannelConfig") into sound banks. The sink has no dialog of its own.
#pragma once

#include "DefaultAudioPluginImplementation.h"

class ZvSinkPlugin final : public ZV::Orvel::DefaultAudioPluginImplementation {
public:
    ZvSinkPlugin() = default;

    void DestroyPlugin() override;
    void AttachPropertySet(ZV::Orvel::IPropertySet* in_pPropertySet) override;
    // 8 bytes: "DirectGain" as a 32-bit float, then "ChannelConfig" as a 32-bit integer.
    bool WriteBankData(const ZV::Orvel::PlatformKey& in_platform,
                       ZV::Orvel::IBankWriter* in_pWriter) override;
    HINSTANCE GetResourceModule() override;
    // false, outputs untouched.
    bool DescribeDialog(ZV::Orvel::DialogKind in_eDialog, uint32_t& out_uDialogId,
                        const ZV::Orvel::PropertyControlBinding*& out_pTable) override;
    // Result 0; false.
    bool HandleWindowMessage(ZV::Orvel::DialogKind in_eDialog, HWND in_hWnd, uint32_t in_uMsg,
                             WPARAM in_wParam, LPARAM in_lParam, LRESULT& out_lResult) override;

private:
    ~ZvSinkPlugin() = default;

    ZV::Orvel::IPropertySet* m_pPropertySet = nullptr;  // not owned
};
