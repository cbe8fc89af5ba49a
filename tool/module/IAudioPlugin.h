// The interface through which the design tool uses a design-tool plug-in object: its slot order,
// the dialog kinds and the rows that tie dialog controls to properties.
//
// The order of the virtual functions is the slot order the design tool calls by and must not
// change; the rules that keep it the vtable order in every build (no destructor slot, no class
// returned by value, no overloads, ZV_THISCALL) are those of ZvDesignToolHost.h. Slots that no
// plug-in of this family overrides carry no name of their own (ReservedN, N being the slot). Every
// call comes on the design tool's user-interface thread.
#pragma once

#include <windows.h>

#include <stdint.h>

#include "ZvDesignToolHost.h"

namespace ZV {
namespace Orvel {

// The dialogs a plug-in can describe; the only one any plug-in of this family has.
enum DialogKind : uint32_t {
    SettingsDialog = 0,
};

// One row of a property-control table: the dialog control in_uControlId shows and edits the
// property pszPropertyName. A table ends with the row {0, nullptr}.
struct PropertyControlBinding {
    uint32_t uControlId;
    const wchar_t* pszPropertyName;
};

class IPluginBase {
public:
    // Ends the object; the design tool never deletes it itself.
    virtual void ZV_THISCALL DestroyPlugin() = 0;  // 0

protected:
    ~IPluginBase() = default;
};

class IAudioPlugin : public IPluginBase {
public:
    // The design tool's property set, attached before any property access; not owned.
    virtual void ZV_THISCALL AttachPropertySet(IPropertySet* in_pPropertySet) = 0;            // 1
    virtual void ZV_THISCALL Reserved2(void* in_pArg) = 0;                                    // 2
    virtual void ZV_THISCALL Reserved3(void* in_pArg) = 0;                                    // 3
    virtual bool ZV_THISCALL Reserved4() = 0;                                                 // 4
    virtual void ZV_THISCALL Reserved5() = 0;                                                 // 5
    virtual void ZV_THISCALL Reserved6() = 0;                                                 // 6
    virtual bool ZV_THISCALL Reserved7(void* in_pArg) = 0;                                    // 7
    virtual bool ZV_THISCALL Reserved8(void* in_pArg) = 0;                                    // 8
    virtual bool ZV_THISCALL Reserved9(void* in_pArg) = 0;                                    // 9
    virtual void ZV_THISCALL Reserved10(void* in_pArg) = 0;                                   // 10
    virtual void ZV_THISCALL Reserved11(void* in_pArg1, void* in_pArg2) = 0;                  // 11
    virtual void ZV_THISCALL Reserved12(void* in_pArg1, void* in_pArg2, void* in_pArg3) = 0;  // 12
    virtual void ZV_THISCALL Reserved13(void* in_pArg1, uint32_t in_uArg2,
                                        uint32_t in_uArg3) = 0;  // 13
    virtual void ZV_THISCALL Reserved14() = 0;                   // 14
    // Appends the plug-in's parameter block for in_platform to the sound bank being built.
    virtual bool ZV_THISCALL WriteBankData(const PlatformKey& in_platform,
                                           IBankWriter* in_pWriter) = 0;  // 15
    virtual bool ZV_THISCALL Reserved16(void* in_pArg1, uint16_t in_uArg2,
                                        void* in_pArg3) = 0;  // 16
    // The module whose resources hold the plug-in's dialogs.
    virtual HINSTANCE ZV_THISCALL GetResourceModule() = 0;  // 17
    // The dialog resource and the property-control table of in_eDialog; false: no dialog.
    virtual bool ZV_THISCALL DescribeDialog(DialogKind in_eDialog, uint32_t& out_uDialogId,
                                            const PropertyControlBinding*& out_pTable) = 0;  // 18
    // A message of the plug-in's open dialog; false lets the design tool handle it as well.
    virtual bool ZV_THISCALL HandleWindowMessage(DialogKind in_eDialog, HWND in_hWnd,
                                                 uint32_t in_uMsg, WPARAM in_wParam,
                                                 LPARAM in_lParam,
                                                 LRESULT& out_lResult) = 0;  // 19
    virtual bool ZV_THISCALL Reserved20(void* in_pArg1, void* in_pArg2,
                                        uint32_t in_uArg3) = 0;  // 20
    virtual bool ZV_THISCALL Reserved21(void* in_pArg1, void* in_pArg2,
                                        uint32_t in_uArg3) = 0;  // 21
    virtual bool ZV_THISCALL HandleDialogRequest(HWND in_hWnd, DialogKind in_eDialog,
                                                 void* in_pArg) = 0;  // 22
    // Data that the engine side of the same plug-in posted while it plays.
    virtual void ZV_THISCALL ReceiveMonitorData(const void* in_pData, uint32_t in_uDataSize,
                                                bool in_bFlag) = 0;  // 23
    virtual void* ZV_THISCALL Reserved24() = 0;                      // 24
    virtual uint32_t ZV_THISCALL Reserved25(void* in_pArg1, void* in_pArg2,
                                            void* in_pArg3) = 0;                       // 25
    virtual bool ZV_THISCALL Reserved26(double& out_fFirst, double& out_fSecond) = 0;  // 26

protected:
    ~IAudioPlugin() = default;
};

}  // namespace Orvel
}  // namespace ZV
