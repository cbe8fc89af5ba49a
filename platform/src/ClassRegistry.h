// The classes that CoCreateInstance can create in the stand-in (the renderer registers the device
// enumerator).
#pragma once

#include <windows.h>

namespace standin {
namespace detail {

typedef HRESULT (*ClassFactoryFn)(REFIID in_riid, void** out_ppv);

void RegisterComClass(REFCLSID in_clsid, ClassFactoryFn in_pfnCreate);

// True when the calling thread may use COM: it joined an apartment itself, or some thread of the
// process is in the multithreaded apartment (the implicit MTA).
bool ComUsableOnThisThread();

}  // namespace detail
}  // namespace standin
