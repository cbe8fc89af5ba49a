// The plug-ins of a scene, found as the engine and the design tool find them: the three engine
// libraries ("ZvSpatialSink.dll", "SpatialEffectEngine.dll", "SpatialMixerFX.dll") are loaded by
// name and searched through their registration lists; the three design-tool libraries
// ("SpatialSink.dll", "SpatialEffect.dll", "SpatialMixer.dll") create design-tool objects that
// write each plug-in's parameter block from a property set, which the engine's parameter objects
// then read. So the chain design tool -> bank -> engine runs whole.
//
// Used on the player's thread only.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

#include "ParameterBlock.h"
#include "PluginLibrary.h"
#include "PropertySet.h"
#include "SceneDescription.h"
#include "ZvHostEngine.h"

namespace scene {

class PluginSet {
public:
    PluginSet();
    ~PluginSet();
    PluginSet(const PluginSet&) = delete;
    PluginSet& operator=(const PluginSet&) = delete;

    // Loads all six libraries and finds the four records; false with out_error naming what is
    // missing.
    bool Load(std::string& out_error);

    // The parameter blocks that the design-tool objects write for in_scene's properties (and,
    // for an attachment, its voice's "BypassLocal").
    bool SinkBlock(const SceneSpec& in_scene, host::ParameterBlock& out_block,
                   std::string& out_error);
    bool EffectBlock(host::ParameterBlock& out_block, std::string& out_error);
    bool MixerBlock(const SceneSpec& in_scene, host::ParameterBlock& out_block,
                    std::string& out_error);
    bool AttachmentBlock(bool in_bBypassLocal, host::ParameterBlock& out_block,
                         std::string& out_error);

    const ZvPluginRegistration* Sink() const { return m_pSink; }
    const ZvPluginRegistration* Effect() const { return m_pEffect; }
    const ZvPluginRegistration* Mixer() const { return m_pMixer; }
    const ZvPluginRegistration* Attachment() const { return m_pAttachment; }

    // The platform whose properties the scene sets and whose blocks are written.
    const ZV::Orvel::PlatformKey& Platform() const { return m_platform; }

private:
    bool WriteBlock(size_t in_uToolLibrary, uint32_t in_uPluginId, host::ParameterBlock& out_block,
                    std::string& out_error);

    host::PluginLibrary m_sinkLibrary;
    host::PluginLibrary m_effectLibrary;
    host::PluginLibrary m_mixerLibrary;
    std::vector<HMODULE> m_toolLibraries;  // sink, effect, mixer design-tool libraries
    host::PropertySet m_properties;
    ZV::Orvel::PlatformKey m_platform;
    const ZvPluginRegistration* m_pSink = nullptr;
    const ZvPluginRegistration* m_pEffect = nullptr;
    const ZvPluginRegistration* m_pMixer = nullptr;
    const ZvPluginRegistration* m_pAttachment = nullptr;
};

}  // namespace scene
