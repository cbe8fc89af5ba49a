// The modules that registered an entry point or a resource script (see standin/ModuleHooks.h), as
// the loader and the dialog functions look them up.
#pragma once

#include <windows.h>

#include "standin/ModuleHooks.h"
#include "standin/ResourceScript.h"

namespace standin {
namespace detail {

// The entry point that in_hModule registered, or null.
ModuleEntryFn ModuleEntryOf(HMODULE in_hModule);

// Finds the dialog resource in_pszName (an integer resource or a name) of in_hModule. False with
// out_rdwError set when the module has no resource script, the script cannot be read (the reason
// goes to standard error: a script the reader does not understand is a fault to fix, not a state
// to live with), or it has no such dialog.
bool FindDialogTemplate(HMODULE in_hModule, LPCWSTR in_pszName, DialogTemplate& out_rTemplate,
                        DWORD& out_rdwError);

}  // namespace detail
}  // namespace standin
