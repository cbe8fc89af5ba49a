// The exports of the SpatialMixer library.

#include <new>

#include "DesignToolExports.h"
#include "SpatialMixer.h"
#include "SpatialMixerAttachment.h"
#include "ZvResult.h"

namespace {

bool IsPair(uint16_t in_uCompanyId, uint16_t in_uPluginId, uint32_t in_uWantedPluginId) {
    return in_uCompanyId == static_cast<uint16_t>(kZvCompanyId) &&
           in_uPluginId == static_cast<uint16_t>(in_uWantedPluginId);
}

// The library's own registration record of the pair, or null (none while the engine side is not
// built in).
const ZvPluginRegistration* FindRecord(uint32_t in_uPluginId) {
    for (const ZvPluginRegistration* pRecord = g_pZVPluginList; pRecord != nullptr;
         pRecord = pRecord->pNext) {
        if (pRecord->uCompanyId == kZvCompanyId && pRecord->uPluginId == in_uPluginId) {
            return pRecord;
        }
    }
    return nullptr;
}

}  // namespace

ZV::Orvel::IAudioPlugin* ZvCreatePlugin(uint16_t in_uCompanyId, uint16_t in_uPluginId) {
    if (IsPair(in_uCompanyId, in_uPluginId, kZvMixerPluginId)) {
        return new (std::nothrow) SpatialMixer();
    }
    if (IsPair(in_uCompanyId, in_uPluginId, kZvMixerAttachmentPluginId)) {
        return new (std::nothrow) SpatialMixerAttachment();
    }
    return nullptr;
}

bool ZvGetSoundEngineCallbacks(uint16_t in_uCompanyId, uint16_t in_uPluginId,
                               ZvCreatePluginFn* out_pfnEngineCreate,
                               ZvCreateParamFn* out_pfnParameterCreate) {
    uint32_t uPluginId = 0;
    if (IsPair(in_uCompanyId, in_uPluginId, kZvMixerPluginId)) {
        uPluginId = kZvMixerPluginId;
    } else if (IsPair(in_uCompanyId, in_uPluginId, kZvMixerAttachmentPluginId)) {
        uPluginId = kZvMixerAttachmentPluginId;
    } else {
        return true;
    }
    const ZvPluginRegistration* pRecord = FindRecord(uPluginId);
    if (out_pfnEngineCreate != nullptr) {
        *out_pfnEngineCreate = pRecord != nullptr ? pRecord->pCreatePlugin : nullptr;
    }
    if (out_pfnParameterCreate != nullptr) {
        *out_pfnParameterCreate = pRecord != nullptr ? pRecord->pCreateParam : nullptr;
    }
    return true;
}
