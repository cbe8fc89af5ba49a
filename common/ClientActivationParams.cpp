#include "ClientActivationParams.h"

#include <string.h>

#include "TaskMemHolder.h"

bool BuildClientActivationParams(int32_t in_iMinorVersion3, PropVariantHolder& out_rParams) {
    out_rParams.Clear();
    TaskMemHolder<SpatialAudioClientActivationParams> record;
    if (!record.Allocate(sizeof(SpatialAudioClientActivationParams))) {
        return false;
    }
    SpatialAudioClientActivationParams* pRecord = record.Get();
    memset(pRecord, 0, sizeof(*pRecord));
    if (FAILED(CoCreateGuid(&pRecord->tracingContextId))) {
        memset(&pRecord->tracingContextId, 0, sizeof(pRecord->tracingContextId));
    }
    pRecord->appId = kZvApplicationId;
    pRecord->majorVersion = kZvActivationMajorVersion;
    pRecord->minorVersion1 = kZvActivationMinorVersion1;
    pRecord->minorVersion2 = kZvActivationMinorVersion2;
    pRecord->minorVersion3 = in_iMinorVersion3;
    out_rParams.AttachBlob(record.Detach(), sizeof(SpatialAudioClientActivationParams));
    return true;
}
