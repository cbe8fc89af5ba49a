// The per-input companion of the spatial mixer in the design tool: owns the property
// "BypassLocal", writes the attachment's parameter block and offers a one-check-box dialog
// (resource 101).
#pragma once

#include "DefaultAudioPluginImplementation.h"

class SpatialMixerAttachment final : public ZV::Orvel::DefaultAudioPluginImplementation {
public:
    SpatialMixerAttachment() = default;

    void DestroyPlugin() override;
    void AttachPropertySet(ZV::Orvel::IPropertySet* in_pPropertySet) override;
    // 1 byte: "BypassLocal", 0 or 1.
    bool WriteBankData(const ZV::Orvel::PlatformKey& in_platform,
                       ZV::Orvel::IBankWriter* in_pWriter) override;
    HINSTANCE GetResourceModule() override;
    // Dialog 101 and the attachment's table, whatever the kind; true.
    bool DescribeDialog(ZV::Orvel::DialogKind in_eDialog, uint32_t& out_uDialogId,
                        const ZV::Orvel::PropertyControlBinding*& out_pTable) override;
    bool HandleWindowMessage(ZV::Orvel::DialogKind in_eDialog, HWND in_hWnd, uint32_t in_uMsg,
                             WPARAM in_wParam, LPARAM in_lParam, LRESULT& out_lResult) override;
    // true, nothing else.
    bool HandleDialogRequest(HWND in_hWnd, ZV::Orvel::DialogKind in_eDialog,
                             void* in_pArg) override;

    static const ZV::Orvel::PropertyControlBinding s_propertyControls[];

private:
    ~SpatialMixerAttachment() = default;

    ZV::Orvel::IPropertySet* m_pPropertySet = nullptr;  // not owned
    HWND m_hDialog = nullptr;                           // the dialog while it is open
};
