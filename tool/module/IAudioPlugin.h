// The interface through which the design tool uses a design-tool plug-in object: its slot order,
// the dialog kinds and the rows that tie dialog controls to properties.
//
// The order of the virtual functions is the slot order the design tool calls by and must not
// change. Slots that no plug-in of this family overrides carry no name of their own
// (ReservedN, N being the slot). Every call comes on the design tool's user-interface thread.
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
    virtual void DestroyPlugin() = 0;  // 0

protected:
    ~IPluginBase() = default;
};

class IAudioPlugin : public IPluginBase {
public:
    // The design tool's property set, attached before any property access; not owned.
    virtual void AttachPropertySet(IPropertySet* in_pPropertySet) = 0;                  // 1
    virtual void Reserved2(void* in_pArg) = 0;                                          // 2
    virtual void Reserved3(void* in_pArg) = 0;                                          // 3
    virtual bool Reserved4() = 0;                                                       // 4
    virtual void Reserved5() = 0;                                                       // 5
    virtual void Reserved6() = 0;                                                       // 6
    virtual bool Reserved7(void* in_pArg) = 0;                                          // 7
    virtual bool Reserved8(void* in_pArg) = 0;                                          // 8
    virtual bool Reserved9(void* in_pArg) = 0;                                          // 9
    virtual void Reserved10(void* in_pArg) = 0;                                         // 10
    virtual void Reserved11(void* in_pArg1, void* in_pArg2) = 0;                        // 11
    virtual void Reserved12(void* in_pArg1, void* in_pArg2, void* in_pArg3) = 0;        // 12
    virtual void Reserved13(void* in_pArg1, uint32_t in_uArg2, uint32_t in_uArg3) = 0;  // 13
    virtual void Reserved14() = 0;                                                      // 14
    // Appends the plug-in's parameter block for in_platform to the sound bank being built.
    virtual bool WriteBankData(const PlatformKey& in_platform, IBankWriter* in_pWriter) = 0;  // 15
    virtual bool Reserved16(void* in_pArg1, uint16_t in_uArg2, void* in_pArg3) = 0;           // 16
    // The module whose resources hold the plug-in's dialogs.
    virtual HINSTANCE GetResourceModule() = 0;  // 17
    // The dialog resource and the property-control table of in_eDialog; false: no dialog.
    virtual bool DescribeDialog(DialogKind in_eDialog, uint32_t& out_uDialogId,
                                const PropertyControlBinding*& out_pTable) = 0;  // 18
    // A message of the plug-in's open dialog; false lets the design tool handle it as well.
    virtual bool HandleWindowMessage(DialogKind in_eDialog, HWND in_hWnd, uint32_t in_uMsg,
                                     WPARAM in_wParam, LPARAM in_lParam,
                                     LRESULT& out_lResult) = 0;                                // 19
    virtual bool Reserved20(void* in_pArg1, void* in_pArg2, uint32_t in_uArg3) = 0;            // 20
    virtual bool Reserved21(void* in_pArg1, void* in_pArg2, uint32_t in_uArg3) = 0;            // 21
    virtual bool HandleDialogRequest(HWND in_hWnd, DialogKind in_eDialog, void* in_pArg) = 0;  // 22
    // Data that the engine side of the same plug-in posted while it plays.
    virtual void ReceiveMonitorData(const void* in_pData, uint32_t in_uDataSize,
                                    bool in_bFlag) = 0;                               // 23
    virtual void* Reserved24() = 0;                                                   // 24
    virtual uint32_t Reserved25(void* in_pArg1, void* in_pArg2, void* in_pArg3) = 0;  // 25
    virtual bool Reserved26(double& out_fFirst, double& out_fSecond) = 0;             // 26

protected:
    ~IAudioPlugin() = default;
};

}  // namespace Orvel
}  // namespace ZV
