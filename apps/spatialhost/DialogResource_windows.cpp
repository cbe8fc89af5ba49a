#include "DialogResource.h"

namespace spatialhost {

bool HasDialogResource(HINSTANCE in_hModule, uint32_t in_uDialogId) {
    return FindResourceW(in_hModule, MAKEINTRESOURCEW(in_uDialogId),
                         reinterpret_cast<LPCWSTR>(RT_DIALOG)) != nullptr;
}

}  // namespace spatialhost
