// Asks the default render endpoint's spatial renderer the questions the plug-ins rely on (formats,
// frame count, object grants, activation errors, pass order) and prints one "key: value" line per
// answer, so that the answers of two renderers (the stand-in's and another platform's) can be
// compared line by line. Uses only the Windows API.
#pragma once

#include <cstdio>

namespace spatialhost {

// Prints the answers to out_pFile. Returns 0 when every question could be asked (a renderer was
// found and a bed stream opened), 1 otherwise.
int ProbeRenderer(std::FILE* out_pFile);

}  // namespace spatialhost
