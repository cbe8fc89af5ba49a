// The registration records of the mixer's library. A deliverable that carries the mixer writes
// ZV_REGISTER_SPATIAL_MIXER_FX(); once, at namespace scope, in one of its own sources: records in
// a static library would be dropped by the linker, since nothing refers to them.
//
// The two records are defined in one translation unit, so they are pushed in this order: the
// mixer first, the attachment second. The list therefore reads attachment (798), then mixer (799).
// The mixer record carries no plug-in factory until the mixer object joins the library.
#pragma once

#include "SpatialMixerFXAttachmentParams.h"
#include "SpatialMixerFXParams.h"
#include "ZvPluginRegistration.h"
#include "ZvResult.h"

#define ZV_REGISTER_SPATIAL_MIXER_FX()                                                            \
    static ZvPluginRegistration s_spatialMixerFXRegistration(                                     \
        ZvPluginTypeMixer, kZvCompanyId, kZvMixerPluginId, nullptr, &CreateSpatialMixerFXParams); \
    static ZvPluginRegistration s_spatialMixerFXAttachmentRegistration(                           \
        ZvPluginTypeEffect, kZvCompanyId, kZvMixerAttachmentPluginId, nullptr,                    \
        &CreateSpatialMixerFXAttachmentParams)
