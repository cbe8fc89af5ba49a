// The exports of the SpatialEffect library.

#include <new>

#include "DesignToolExports.h"
#include "SpatialEffectPlugin.h"

// The library has one design-tool class; the ids are not looked at.
ZV::Orvel::IAudioPlugin* ZvCreatePlugin(uint16_t, uint16_t) {
    return new (std::nothrow) SpatialEffectPlugin();
}
