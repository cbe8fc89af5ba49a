/* What the C host needs from the platform besides the plug-ins: loading a library and finding
 * its list head, and the renderer the plug-ins play into. On Linux that is the stand-in's
 * stepped renderer, which the host drives and inspects; on Windows (and Wine) the system's, which
 * runs by the clock and is not inspected here. */
#pragma once

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

/* COM for the calling thread, and the renderer ready for a run. */
void ZvcPlatformStart(void);
void ZvcPlatformStop(void);

/* The library by its Windows name ("ZvSpatialSink.dll"), or null. */
void* ZvcLoadLibrary(const char* in_pszName);
void ZvcFreeLibrary(void* in_pLibrary);
/* The address of an exported data symbol, or null. */
void* ZvcFindExport(void* in_pLibrary, const char* in_pszName);

/* Lets the renderer run one pass (about one 10 ms period) after a host frame. */
void ZvcRenderPass(void);
/* The largest magnitude of the samples that objects of in_uObjectType (an AudioObjectType bit:
 * 1 dynamic, 2 front left, 4 front right, ...) received since ZvcForgetRendered; -1 where the
 * renderer cannot be inspected. */
float ZvcRenderedPeak(uint32_t in_uObjectType);
void ZvcForgetRendered(void);
/* 1 when no platform object (COM object, handle, work item, ...) is alive any more, 0 when one
 * is, -1 where that cannot be known. */
int ZvcNothingLive(void);

#ifdef __cplusplus
}
#endif
