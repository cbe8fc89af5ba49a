// Result codes that cross the plug-in boundary, and the plug-in kinds the host knows.
#pragma once

#include <stdint.h>

enum ZvResult : int32_t {
    ZV_Success = 1,
    ZV_Failure = 2,
    ZV_DeviceNotOpened = 4,  // sink InitPlugin: the output device could not be opened
    ZV_BadParameter = 31,
    ZV_UnsupportedOperation = 45,  // in-place effect slot 8
};

enum ZvPluginType : uint32_t {
    ZvPluginTypeEffect = 3,
    ZvPluginTypeMixer = 6,
    ZvPluginTypeSink = 7,
};

// Company and plug-in ids of this family.
constexpr uint32_t kZvCompanyId = 275;
constexpr uint32_t kZvSinkPluginId = 170;
constexpr uint32_t kZvEffectPluginId = 270;
constexpr uint32_t kZvMixerPluginId = 799;
constexpr uint32_t kZvMixerAttachmentPluginId = 798;

// 2016 * 256 + 2: the build version every plug-in of the family reports.
constexpr uint32_t kZvBuildVersion = 0x7E002;
