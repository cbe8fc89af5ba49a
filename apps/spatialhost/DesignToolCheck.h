// Loads a design-tool library the way the design tool does and checks its start-up: the load
// succeeds whether or not "OrvelSoundEngine.dll" can be found beside the program, the library's
// InitInstance hands its registration list (when it has one) to that engine library's
// "RegisterOrvelPlugin", and its ZvCreatePlugin makes an object whose dialog resource is in the
// module GetResourceModule names.
#pragma once

#include <cstdio>

namespace spatialhost {

// in_bEngineBeside: whether OrvelSoundEngine.dll lies beside the program. 0 when everything holds,
// 1 otherwise (each finding logged).
int CheckDesignToolLibrary(const wchar_t* in_pszLibrary, bool in_bEngineBeside,
                           std::FILE* out_pLog);

}  // namespace spatialhost
