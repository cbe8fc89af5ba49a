#include "DialogResource.h"

namespace spatialhost {
namespace {

INT_PTR CALLBACK IgnoreMessages(HWND, UINT, WPARAM, LPARAM) {
    return FALSE;
}

}  // namespace

bool HasDialogResource(HINSTANCE in_hModule, uint32_t in_uDialogId) {
    HWND hDialog =
        CreateDialogParamW(in_hModule, MAKEINTRESOURCEW(in_uDialogId), nullptr, &IgnoreMessages, 0);
    if (hDialog == nullptr) {
        return false;
    }
    DestroyWindow(hDialog);
    return true;
}

}  // namespace spatialhost
