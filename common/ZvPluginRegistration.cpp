#include "ZvPluginRegistration.h"

ZvPluginRegistration::ZvPluginRegistration(uint32_t in_eType, uint32_t in_uCompanyId,
                                           uint32_t in_uPluginId, ZvCreatePluginFn in_pCreatePlugin,
                                           ZvCreateParamFn in_pCreateParam, uintptr_t in_uExtra1,
                                           uintptr_t in_uExtra2)
    : pNext(g_pZVPluginList),
      eType(in_eType),
      uCompanyId(in_uCompanyId),
      uPluginId(in_uPluginId),
      pCreatePlugin(in_pCreatePlugin),
      pCreateParam(in_pCreateParam),
      pReserved1(nullptr),
      pReserved2(nullptr),
      uExtra1(in_uExtra1),
      uExtra2(in_uExtra2) {
    g_pZVPluginList = this;
}

ZvPluginRegistration* g_pZVPluginList = nullptr;
