// Resource ids of the SpatialEffect design-tool library, shared by its resource script and code.
#pragma once

#define IDD_SPATIALEFFECT_SETTINGS 104

#ifndef IDC_STATIC
#define IDC_STATIC (-1)
#endif
