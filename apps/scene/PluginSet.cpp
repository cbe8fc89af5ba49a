#include "PluginSet.h"

#include "DesignToolExports.h"
#include "IAudioPlugin.h"

namespace scene {

namespace {

constexpr size_t kSinkTool = 0;
constexpr size_t kEffectTool = 1;
constexpr size_t kMixerTool = 2;

const wchar_t* const kToolLibraryNames[] = {L"SpatialSink.dll", L"SpatialEffect.dll",
                                            L"SpatialMixer.dll"};
const char* const kToolLibraryNarrowNames[] = {"SpatialSink.dll", "SpatialEffect.dll",
                                               "SpatialMixer.dll"};

// The platform a scene's properties belong to (the design tool's "Windows" platform).
constexpr ZV::Orvel::PlatformKey kScenePlatform = {
    0x6A8E1F52, 0x3C0D, 0x4E7B, {0x9A, 0x51, 0x1D, 0x2C, 0x7E, 0x48, 0xB3, 0x06}};

bool LoadEngineLibrary(host::PluginLibrary& io_library, const wchar_t* in_pszName,
                       const char* in_pszNarrowName, std::string& out_error) {
    if (!io_library.Load(in_pszName)) {
        out_error = std::string("cannot load ") + in_pszNarrowName + ": " + io_library.Error();
        return false;
    }
    return true;
}

const ZvPluginRegistration* FindRecord(const host::PluginLibrary& in_library, uint32_t in_uPluginId,
                                       uint32_t in_eType, bool in_bNeedsPlugin,
                                       const char* in_pszLibrary, std::string& out_error) {
    const ZvPluginRegistration* pRecord = in_library.Find(kZvCompanyId, in_uPluginId);
    if (pRecord == nullptr || pRecord->eType != in_eType || pRecord->pCreateParam == nullptr ||
        (in_bNeedsPlugin && pRecord->pCreatePlugin == nullptr)) {
        out_error = std::string(in_pszLibrary) + " has no usable record for company " +
                    std::to_string(kZvCompanyId) + ", plug-in " + std::to_string(in_uPluginId);
        return nullptr;
    }
    return pRecord;
}

}  // namespace

PluginSet::PluginSet() : m_platform(kScenePlatform) {
    m_properties.SetCurrentPlatform(m_platform);
}

PluginSet::~PluginSet() {
    for (HMODULE hModule : m_toolLibraries) {
        if (hModule != nullptr) {
            FreeLibrary(hModule);
        }
    }
}

bool PluginSet::Load(std::string& out_error) {
    if (!LoadEngineLibrary(m_sinkLibrary, L"ZvSpatialSink.dll", "ZvSpatialSink.dll", out_error) ||
        !LoadEngineLibrary(m_effectLibrary, L"SpatialEffectEngine.dll", "SpatialEffectEngine.dll",
                           out_error) ||
        !LoadEngineLibrary(m_mixerLibrary, L"SpatialMixerFX.dll", "SpatialMixerFX.dll",
                           out_error)) {
        return false;
    }
    m_pSink = FindRecord(m_sinkLibrary, kZvSinkPluginId, ZvPluginTypeSink, true,
                         "ZvSpatialSink.dll", out_error);
    if (m_pSink == nullptr) {
        return false;
    }
    m_pEffect = FindRecord(m_effectLibrary, kZvEffectPluginId, ZvPluginTypeEffect, true,
                           "SpatialEffectEngine.dll", out_error);
    if (m_pEffect == nullptr) {
        return false;
    }
    m_pMixer = FindRecord(m_mixerLibrary, kZvMixerPluginId, ZvPluginTypeMixer, true,
                          "SpatialMixerFX.dll", out_error);
    if (m_pMixer == nullptr) {
        return false;
    }
    m_pAttachment = FindRecord(m_mixerLibrary, kZvMixerAttachmentPluginId, ZvPluginTypeEffect,
                               false, "SpatialMixerFX.dll", out_error);
    if (m_pAttachment == nullptr) {
        return false;
    }
    for (size_t uTool = 0; uTool < 3; ++uTool) {
        HMODULE hModule = LoadLibraryW(kToolLibraryNames[uTool]);
        if (hModule == nullptr) {
            out_error = std::string("cannot load ") + kToolLibraryNarrowNames[uTool] + " (error " +
                        std::to_string(GetLastError()) + ")";
            return false;
        }
        m_toolLibraries.push_back(hModule);
    }
    return true;
}

bool PluginSet::WriteBlock(size_t in_uToolLibrary, uint32_t in_uPluginId,
                           host::ParameterBlock& out_block, std::string& out_error) {
    const char* pszLibrary = kToolLibraryNarrowNames[in_uToolLibrary];
    if (in_uToolLibrary >= m_toolLibraries.size()) {
        out_error = std::string(pszLibrary) + " is not loaded";
        return false;
    }
    auto pfnCreate = reinterpret_cast<ZvCreatePluginExport>(reinterpret_cast<void*>(
        GetProcAddress(m_toolLibraries[in_uToolLibrary], "ZvCreatePlugin")));
    if (pfnCreate == nullptr) {
        out_error = std::string(pszLibrary) + " does not export ZvCreatePlugin";
        return false;
    }
    ZV::Orvel::IAudioPlugin* pPlugin =
        pfnCreate(static_cast<uint16_t>(kZvCompanyId), static_cast<uint16_t>(in_uPluginId));
    if (pPlugin == nullptr) {
        out_error = std::string(pszLibrary) + " created no object for plug-in " +
                    std::to_string(in_uPluginId);
        return false;
    }
    out_block = host::WriteParameterBlock(*pPlugin, m_properties, m_platform);
    pPlugin->DestroyPlugin();
    if (!out_block.bWritten) {
        out_error = std::string(pszLibrary) + " refused to write the block of plug-in " +
                    std::to_string(in_uPluginId);
        return false;
    }
    return true;
}

bool PluginSet::SinkBlock(const SceneSpec& in_scene, host::ParameterBlock& out_block,
                          std::string& out_error) {
    m_properties.SetReal32(m_platform, L"DirectGain", in_scene.fSinkDirectGain);
    m_properties.SetInt32(m_platform, L"ChannelConfig", in_scene.iSinkChannelConfig);
    return WriteBlock(kSinkTool, kZvSinkPluginId, out_block, out_error);
}

bool PluginSet::EffectBlock(host::ParameterBlock& out_block, std::string& out_error) {
    return WriteBlock(kEffectTool, kZvEffectPluginId, out_block, out_error);
}

bool PluginSet::MixerBlock(const SceneSpec& in_scene, host::ParameterBlock& out_block,
                           std::string& out_error) {
    m_properties.SetBool(m_platform, L"Bypass", in_scene.bMixerBypass);
    m_properties.SetInt32(m_platform, L"MaxObjects", in_scene.iMixerMaxObjects);
    return WriteBlock(kMixerTool, kZvMixerPluginId, out_block, out_error);
}

bool PluginSet::AttachmentBlock(bool in_bBypassLocal, host::ParameterBlock& out_block,
                                std::string& out_error) {
    m_properties.SetBool(m_platform, L"BypassLocal", in_bBypassLocal);
    return WriteBlock(kMixerTool, kZvMixerAttachmentPluginId, out_block, out_error);
}

}  // namespace scene
