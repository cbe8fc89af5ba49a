// What every design-tool plug-in with a dialog does with the dialog's messages: keep the dialog
// window from WM_INITDIALOG to WM_DESTROY, answer 0 and let the design tool go on with its own
// handling.
#pragma once

#include <windows.h>

#include <stdint.h>

namespace ZV {
namespace Orvel {

inline bool TrackDialogWindow(HWND& io_hDialog, HWND in_hWnd, uint32_t in_uMsg,
                              LRESULT& out_lResult) {
    if (in_uMsg == WM_INITDIALOG) {
        io_hDialog = in_hWnd;
    } else if (in_uMsg == WM_DESTROY) {
        io_hDialog = nullptr;
    }
    out_lResult = 0;
    return false;
}

}  // namespace Orvel
}  // namespace ZV
