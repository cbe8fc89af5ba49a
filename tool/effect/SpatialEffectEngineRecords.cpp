// The registration record of the engine side that SpatialEffect carries (the desktop build of the
// effect). Built in when ZV_SPATIALEFFECT_ENGINE_LIBRARIES (tool/CMakeLists.txt) names the engine
// libraries.

#include "ISACFXRegistration.h"

namespace {

ISACFXRegistration g_effectRecord;

}  // namespace
