// Whether a module holds a dialog resource: on Windows FindResourceW answers; the stand-in has no
// resource table, so there the dialog is made from the module's resource script and destroyed.
#pragma once

#include <windows.h>

#include <cstdint>

namespace spatialhost {

bool HasDialogResource(HINSTANCE in_hModule, uint32_t in_uDialogId);

}  // namespace spatialhost
