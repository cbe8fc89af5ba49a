// The spatial mixer as the design tool sees it: owns the properties "Bypass" and "MaxObjects",
// writes the mixer's parameter block, offers the settings dialog (resource 104) and shows the
// counters that the engine-side mixer posts while it plays, lowering "MaxObjects" to what the
// spatial-audio endpoint offers.
#pragma once

#include "DefaultAudioPluginImplementation.h"

class SpatialMixer final : public ZV::Orvel::DefaultAudioPluginImplementation {
public:
    SpatialMixer() = default;

    void DestroyPlugin() override;
    void AttachPropertySet(ZV::Orvel::IPropertySet* in_pPropertySet) override;
    // 5 bytes: "Bypass" as one byte 0 or 1, then "MaxObjects" as a 32-bit integer.
    bool WriteBankData(const ZV::Orvel::PlatformKey& in_platform,
                       ZV::Orvel::IBankWriter* in_pWriter) override;
    HINSTANCE GetResourceModule() override;
    // Dialog 104 and the mixer's table, whatever the kind; true.
    bool DescribeDialog(ZV::Orvel::DialogKind in_eDialog, uint32_t& out_uDialogId,
                        const ZV::Orvel::PropertyControlBinding*& out_pTable) override;
    bool HandleWindowMessage(ZV::Orvel::DialogKind in_eDialog, HWND in_hWnd, uint32_t in_uMsg,
                             WPARAM in_wParam, LPARAM in_lParam, LRESULT& out_lResult) override;
    // true, nothing else.
    bool HandleDialogRequest(HWND in_hWnd, ZV::Orvel::DialogKind in_eDialog,
                             void* in_pArg) override;
    // A MixerMonitorData record: its counters go to the dialog's controls when it is open, and
    // "MaxObjects" of the platform being edited is lowered to the available objects when the
    // endpoint offers fewer (never raised, never set to 0 or below). A null record or one shorter
    // than MixerMonitorData::kSize bytes is ignored; of a longer one the first bytes are read.
    void ReceiveMonitorData(const void* in_pData, uint32_t in_uDataSize, bool in_bFlag) override;

    static const ZV::Orvel::PropertyControlBinding s_propertyControls[];

private:
    ~SpatialMixer() = default;

    void ShowCounter(int in_iControlId, int32_t in_iValue);

    ZV::Orvel::IPropertySet* m_pPropertySet = nullptr;  // not owned
    HWND m_hDialog = nullptr;                           // the settings dialog while it is open
};
