// The sink's record in a library's registration list. A library that carries the sink defines one
// static SinkRegistration in its own sources (not in a static library, whose unreferenced objects
// the linker would drop); its construction puts the record at the head of g_pZVPluginList.
#pragma once

#include "SinkPluginParams.h"
#include "ZvPluginRegistration.h"
#include "ZvResult.h"
#include "ZvSinkISAC.h"

class SinkRegistration : public ZvPluginRegistration {
public:
    SinkRegistration()
        : ZvPluginRegistration(ZvPluginTypeSink, kZvCompanyId, kZvSinkPluginId, &CreateZvSinkISAC,
                               &CreateSinkPluginParams) {}
};
static_assert(sizeof(SinkRegistration) == sizeof(ZvPluginRegistration),
              "the list holds plain registration records");
