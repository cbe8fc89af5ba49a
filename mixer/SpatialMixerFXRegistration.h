// The registration records of a library that carries the mixer. The library writes
// ZV_REGISTER_SPATIAL_MIXER_FX(); once, at namespace scope, in one of its own sources: records in
// a static library would be dropped by the linker, since nothing refers to them. The mixer's
// factory is the one of the build the library links (SpatialMixerFXFactory.h).
//
// The two records are defined in one translation unit, so they are pushed in this order: the
// mixer first, the attachment second. The list therefore reads attachment (798), then mixer (799).
#pragma once

#include "SpatialMixerFXAttachmentParams.h"
#include "SpatialMixerFXFactory.h"
#include "SpatialMixerFXParams.h"
#include "ZvPluginRegistration.h"
#include "ZvResult.h"

#define ZV_REGISTER_SPATIAL_MIXER_FX()                                            \
    static ZvPluginRegistration s_spatialMixerFXRegistration(                     \
        ZvPluginTypeMixer, kZvCompanyId, kZvMixerPluginId, &CreateSpatialMixerFX, \
        &CreateSpatialMixerFXParams);                                             \
    static ZvPluginRegistration s_spatialMixerFXAttachmentRegistration(           \
        ZvPluginTypeEffect, kZvCompanyId, kZvMixerAttachmentPluginId, nullptr,    \
        &CreateSpatialMixerFXAttachmentParams)
