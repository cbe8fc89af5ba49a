// The spatial effect as the design tool sees it. The effect has no properties: it writes an empty
// parameter block, offers a settings dialog (resource 104) that holds only a labelled frame, and
// answers a request for that dialog by sending the design tool's window a message.
#pragma once

#include "DefaultAudioPluginImplementation.h"

// The private message of the design tool's window that a dialog request sends, with its first
// parameter.
constexpr UINT kZvDesignToolRequestMessage = 0x4981;
constexpr WPARAM kZvDesignToolRequestSettings = 47;

class SpatialEffectPlugin final : public ZV::Orvel::DefaultAudioPluginImplementation {
public:
    SpatialEffectPlugin() = default;

    void DestroyPlugin() override;
    void AttachPropertySet(ZV::Orvel::IPropertySet* in_pPropertySet) override;
    void Reserved11(void* in_pArg1, void* in_pArg2) override;
    // Writes nothing; true.
    bool WriteBankData(const ZV::Orvel::PlatformKey& in_platform,
                       ZV::Orvel::IBankWriter* in_pWriter) override;
    HINSTANCE GetResourceModule() override;
    // Dialog 104, no table, true. A kind other than SettingsDialog is reported and answered the
    // same.
    bool DescribeDialog(ZV::Orvel::DialogKind in_eDialog, uint32_t& out_uDialogId,
                        const ZV::Orvel::PropertyControlBinding*& out_pTable) override;
    bool HandleWindowMessage(ZV::Orvel::DialogKind in_eDialog, HWND in_hWnd, uint32_t in_uMsg,
                             WPARAM in_wParam, LPARAM in_lParam, LRESULT& out_lResult) override;
    // For SettingsDialog: sends kZvDesignToolRequestMessage (47, 0) to in_hWnd and answers true;
    // otherwise false and nothing is sent.
    bool HandleDialogRequest(HWND in_hWnd, ZV::Orvel::DialogKind in_eDialog,
                             void* in_pArg) override;

    HWND DialogWindow() const { return m_hDialog; }

private:
    ~SpatialEffectPlugin() = default;

    ZV::Orvel::IPropertySet* m_pPropertySet = nullptr;  // not owned; the effect reads nothing
    HWND m_hDialog = nullptr;                           // the settings dialog while it is open
};
