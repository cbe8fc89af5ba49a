// The defaults of every slot of IAudioPlugin but the three each plug-in class must define
// (DestroyPlugin, GetResourceModule, DescribeDialog). It has no fields; each design-tool library
// carries its own copy.
#pragma once

#include "IAudioPlugin.h"

namespace ZV {
namespace Orvel {

class DefaultAudioPluginImplementation : public IAudioPlugin {
public:
    void AttachPropertySet(IPropertySet* in_pPropertySet) override;
    void Reserved2(void* in_pArg) override;
    void Reserved3(void* in_pArg) override;
    bool Reserved4() override;  // true
    void Reserved5() override;
    void Reserved6() override;
    bool Reserved7(void* in_pArg) override;  // false
    bool Reserved8(void* in_pArg) override;  // false
    bool Reserved9(void* in_pArg) override;  // true
    void Reserved10(void* in_pArg) override;
    void Reserved11(void* in_pArg1, void* in_pArg2) override;
    void Reserved12(void* in_pArg1, void* in_pArg2, void* in_pArg3) override;
    void Reserved13(void* in_pArg1, uint32_t in_uArg2, uint32_t in_uArg3) override;
    void Reserved14() override;
    bool WriteBankData(const PlatformKey& in_platform, IBankWriter* in_pWriter) override;  // false
    bool Reserved16(void* in_pArg1, uint16_t in_uArg2, void* in_pArg3) override;           // false
    // false; out_lResult is left as it is.
    bool HandleWindowMessage(DialogKind in_eDialog, HWND in_hWnd, uint32_t in_uMsg,
                             WPARAM in_wParam, LPARAM in_lParam, LRESULT& out_lResult) override;
    bool Reserved20(void* in_pArg1, void* in_pArg2, uint32_t in_uArg3) override;            // false
    bool Reserved21(void* in_pArg1, void* in_pArg2, uint32_t in_uArg3) override;            // false
    bool HandleDialogRequest(HWND in_hWnd, DialogKind in_eDialog, void* in_pArg) override;  // false
    void ReceiveMonitorData(const void* in_pData, uint32_t in_uDataSize, bool in_bFlag) override;
    void* Reserved24() override;                                                   // null
    uint32_t Reserved25(void* in_pArg1, void* in_pArg2, void* in_pArg3) override;  // 2
    // out_fFirst = 0.0, out_fSecond = the largest 32-bit float; false.
    bool Reserved26(double& out_fFirst, double& out_fSecond) override;

protected:
    DefaultAudioPluginImplementation() = default;
    ~DefaultAudioPluginImplementation() = default;
};

}  // namespace Orvel
}  // namespace ZV
