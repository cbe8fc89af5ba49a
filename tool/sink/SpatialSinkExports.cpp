// The exports of the SpatialSink library.

#include <new>

#include "DesignToolExports.h"
#include "ZvSinkPlugin.h"

// The library has one design-tool class; the ids are not looked at.
ZV::Orvel::IAudioPlugin* ZvCreatePlugin(uint16_t, uint16_t) {
    return new (std::nothrow) ZvSinkPlugin();
}
