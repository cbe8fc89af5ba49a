// VARIANT, for the layout check's Windows targets: see windows.h here.
#pragma once

#include "windows.h"
