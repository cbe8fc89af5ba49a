// The effect's record in a library's registration list: kind 3, company 275, plug-in 270, with the
// effect's two factories. A library that carries the effect defines one static ISACFXRegistration
// in its own sources (not in a static library, whose unreferenced objects the linker would drop);
// its construction puts the record at the head of g_pZVPluginList.
#pragma once

#include "ISACFXParams.h"
#include "ISACFXPlugin.h"
#include "ZvPluginRegistration.h"
#include "ZvResult.h"

class ISACFXRegistration : public ZvPluginRegistration {
public:
    ISACFXRegistration()
        : ZvPluginRegistration(ZvPluginTypeEffect, kZvCompanyId, kZvEffectPluginId,
                               &CreateISACFXPlugin, &CreateISACFXParams) {}
};
static_assert(sizeof(ISACFXRegistration) == sizeof(ZvPluginRegistration),
              "the list holds plain registration records");
