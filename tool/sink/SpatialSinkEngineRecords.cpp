// The registration record of the engine side that SpatialSink carries (the desktop build of the
// sink). Built in when ZV_SPATIALSINK_ENGINE_LIBRARIES (tool/CMakeLists.txt) names the engine
// libraries. The record is the engine library's own: the same factories, CreateZvSinkISAC and
// CreateSinkPluginParams.

#include "SinkRegistration.h"

namespace {

SinkRegistration g_sinkRecord;

}  // namespace
