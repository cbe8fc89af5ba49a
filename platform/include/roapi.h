// Windows Runtime activation factories.
#pragma once

#include "inspectable.h"

#ifdef __cplusplus
extern "C" {
#endif

__declspec(dllimport) HRESULT WINAPI
    RoGetActivationFactory(HSTRING activatableClassId, REFIID iid, void** factory);

#ifdef __cplusplus
}
#endif
