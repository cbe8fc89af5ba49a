// The registration records of the engine side that SpatialMixer carries (the desktop build of the
// mixer, zv_mixer_desktop). Built in when ZV_SPATIALMIXER_ENGINE_LIBRARIES (tool/CMakeLists.txt)
// names the engine libraries. The mixer is registered first and its attachment second, so that the
// list reads 798, then 799; ZvGetSoundEngineCallbacks hands out the factories of these records.

#include "SpatialMixerFXRegistration.h"

ZV_REGISTER_SPATIAL_MIXER_FX();
