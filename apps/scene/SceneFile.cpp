#include "SceneFile.h"

#include <fstream>
#include <sstream>

#include <nlohmann/json.hpp>

namespace scene {

namespace {

using nlohmann::json;

// Thrown inside the parser only, with the path of the value at fault.
struct SceneError {
    std::string message;
};

[[noreturn]] void Fail(const std::string& in_where, const std::string& in_what) {
    throw SceneError{in_where + ": " + in_what};
}

double Number(const json& in_object, const char* in_pszKey, double in_fDefault,
              const std::string& in_where) {
    auto it = in_object.find(in_pszKey);
    if (it == in_object.end()) {
        return in_fDefault;
    }
    if (!it->is_number()) {
        Fail(in_where + "." + in_pszKey, "must be a number");
    }
    return it->get<double>();
}

double PositiveNumber(const json& in_object, const char* in_pszKey, double in_fDefault,
                      const std::string& in_where) {
    const double fValue = Number(in_object, in_pszKey, in_fDefault, in_where);
    if (!(fValue > 0.0)) {
        Fail(in_where + "." + in_pszKey, "must be greater than 0");
    }
    return fValue;
}

int64_t Integer(const json& in_object, const char* in_pszKey, int64_t in_iDefault, int64_t in_iMin,
                int64_t in_iMax, const std::string& in_where) {
    auto it = in_object.find(in_pszKey);
    if (it == in_object.end()) {
        return in_iDefault;
    }
    if (!it->is_number_integer()) {
        Fail(in_where + "." + in_pszKey, "must be an integer");
    }
    const int64_t iValue = it->get<int64_t>();
    if (iValue < in_iMin || iValue > in_iMax) {
        Fail(in_where + "." + in_pszKey,
             "must lie between " + std::to_string(in_iMin) + " and " + std::to_string(in_iMax));
    }
    return iValue;
}

bool Boolean(const json& in_object, const char* in_pszKey, bool in_bDefault,
             const std::string& in_where) {
    auto it = in_object.find(in_pszKey);
    if (it == in_object.end()) {
        return in_bDefault;
    }
    if (!it->is_boolean()) {
        Fail(in_where + "." + in_pszKey, "must be true or false");
    }
    return it->get<bool>();
}

std::string Text(const json& in_object, const char* in_pszKey, const std::string& in_default,
                 const std::string& in_where) {
    auto it = in_object.find(in_pszKey);
    if (it == in_object.end()) {
        return in_default;
    }
    if (!it->is_string()) {
        Fail(in_where + "." + in_pszKey, "must be a string");
    }
    return it->get<std::string>();
}

const json& Object(const json& in_parent, const char* in_pszKey, const std::string& in_where) {
    static const json s_empty = json::object();
    auto it = in_parent.find(in_pszKey);
    if (it == in_parent.end()) {
        return s_empty;
    }
    if (!it->is_object()) {
        Fail(in_where + "." + in_pszKey, "must be an object");
    }
    return *it;
}

SignalSpec ParseSignal(const json& in_source, const std::string& in_baseDirectory,
                       const std::string& in_where) {
    SignalSpec signal;
    const std::string type = Text(in_source, "type", "tone", in_where);
    if (type == "tone") {
        signal.eKind = SignalKind::Tone;
        auto it = in_source.find("frequencies");
        if (it != in_source.end()) {
            if (!it->is_array() || it->empty()) {
                Fail(in_where + ".frequencies", "must be a list of numbers");
            }
            signal.frequencies.clear();
            for (const json& value : *it) {
                if (!value.is_number() || !(value.get<double>() > 0.0)) {
                    Fail(in_where + ".frequencies", "must hold numbers greater than 0");
                }
                signal.frequencies.push_back(value.get<double>());
            }
        } else {
            signal.frequencies = {PositiveNumber(in_source, "frequency", 440.0, in_where)};
        }
    } else if (type == "noise") {
        signal.eKind = SignalKind::Noise;
    } else if (type == "sweep") {
        signal.eKind = SignalKind::Sweep;
        signal.fStartHz = PositiveNumber(in_source, "from", signal.fStartHz, in_where);
        signal.fEndHz = PositiveNumber(in_source, "to", signal.fEndHz, in_where);
        signal.fPeriodSeconds =
            PositiveNumber(in_source, "period", signal.fPeriodSeconds, in_where);
    } else if (type == "wav") {
        signal.eKind = SignalKind::WavFile;
        std::string file = Text(in_source, "file", "", in_where);
        if (file.empty()) {
            Fail(in_where + ".file", "a WAV source needs a file");
        }
        if (file[0] != '/' && !in_baseDirectory.empty()) {
            file = in_baseDirectory + "/" + file;
        }
        signal.wavPath = file;
    } else {
        Fail(in_where + ".type", "unknown source type \"" + type + "\"");
    }
    return signal;
}

VoiceSpec ParseVoice(const json& in_voice, size_t in_uIndex, const std::string& in_baseDirectory) {
    const std::string where = "voices[" + std::to_string(in_uIndex) + "]";
    if (!in_voice.is_object()) {
        Fail(where, "must be an object");
    }
    VoiceSpec voice;
    voice.name = Text(in_voice, "name", "voice " + std::to_string(in_uIndex + 1), where);
    voice.signal =
        ParseSignal(Object(in_voice, "source", where), in_baseDirectory, where + ".source");
    voice.uChannels = static_cast<uint32_t>(Integer(in_voice, "channels", 1, 1, 2, where));
    voice.fGain = Number(in_voice, "gain", voice.fGain, where);
    if (voice.fGain < 0.0) {
        Fail(where + ".gain", "must not be negative");
    }
    voice.fStart = Number(in_voice, "start", 0.0, where);
    voice.fEnd = Number(in_voice, "end", -1.0, where);
    if (voice.fStart < 0.0) {
        Fail(where + ".start", "must not be negative");
    }
    const std::string route = Text(in_voice, "route", "mixer", where);
    if (route == "mixer") {
        voice.eRoute = VoiceRoute::Mixer;
    } else if (route == "music") {
        voice.eRoute = VoiceRoute::Music;
    } else if (route == "master") {
        voice.eRoute = VoiceRoute::Master;
    } else {
        Fail(where + ".route", "must be \"mixer\", \"music\" or \"master\"");
    }
    voice.bBypassLocal = Boolean(in_voice, "bypassLocal", false, where);

    auto it = in_voice.find("trajectory");
    if (it != in_voice.end()) {
        if (!it->is_array()) {
            Fail(where + ".trajectory", "must be a list of points");
        }
        double fLastTime = -1.0;
        for (size_t uPoint = 0; uPoint < it->size(); ++uPoint) {
            const std::string pointWhere = where + ".trajectory[" + std::to_string(uPoint) + "]";
            const json& point = (*it)[uPoint];
            if (!point.is_object()) {
                Fail(pointWhere, "must be an object");
            }
            TrajectoryPoint parsed;
            parsed.fTime = Number(point, "time", 0.0, pointWhere);
            parsed.fAzimuth = Number(point, "azimuth", 0.0, pointWhere);
            parsed.fElevation = Number(point, "elevation", 0.0, pointWhere);
            parsed.fDistance = PositiveNumber(point, "distance", 1.0, pointWhere);
            if (parsed.fTime < fLastTime) {
                Fail(pointWhere + ".time", "points must be in time order");
            }
            if (parsed.fElevation < -90.0 || parsed.fElevation > 90.0) {
                Fail(pointWhere + ".elevation", "must lie between -90 and 90");
            }
            fLastTime = parsed.fTime;
            voice.trajectory.push_back(parsed);
        }
    }
    return voice;
}

SceneSpec ParseRoot(const json& in_root, const std::string& in_baseDirectory) {
    if (!in_root.is_object()) {
        Fail("scene", "must be an object");
    }
    SceneSpec scene;
    scene.name = Text(in_root, "name", scene.name, "scene");
    scene.fDurationSeconds = PositiveNumber(in_root, "duration", scene.fDurationSeconds, "scene");
    if (scene.fDurationSeconds > 3600.0) {
        Fail("scene.duration", "must be at most 3600 seconds");
    }
    scene.uSeed =
        static_cast<uint32_t>(Integer(in_root, "seed", scene.uSeed, 0, UINT32_MAX, "scene"));

    const json& renderer = Object(in_root, "renderer", "scene");
    scene.uGrant =
        static_cast<uint32_t>(Integer(renderer, "grant", scene.uGrant, 0, 256, "renderer"));
    scene.uRendererFrames = static_cast<uint32_t>(
        Integer(renderer, "frameCount", scene.uRendererFrames, 16, 8192, "renderer"));

    const json& hostSettings = Object(in_root, "host", "scene");
    scene.uSampleRate = static_cast<uint32_t>(
        Integer(hostSettings, "sampleRate", scene.uSampleRate, 8000, 192000, "host"));
    scene.uHostFrames = static_cast<uint16_t>(
        Integer(hostSettings, "framesPerBuffer", scene.uHostFrames, 16, 4096, "host"));
    scene.uSinkBufferCount = static_cast<uint16_t>(
        Integer(hostSettings, "bufferCount", scene.uSinkBufferCount, 1, 9, "host"));

    const json& sink = Object(in_root, "sink", "scene");
    scene.fSinkDirectGain =
        static_cast<float>(Number(sink, "directGain", scene.fSinkDirectGain, "sink"));
    scene.iSinkChannelConfig = static_cast<int32_t>(
        Integer(sink, "channelConfig", scene.iSinkChannelConfig, 0, 3, "sink"));

    const json& mixer = Object(in_root, "mixer", "scene");
    scene.bMixerBypass = Boolean(mixer, "bypass", scene.bMixerBypass, "mixer");
    scene.iMixerMaxObjects = static_cast<int32_t>(
        Integer(mixer, "maxObjects", scene.iMixerMaxObjects, INT32_MIN, INT32_MAX, "mixer"));

    const json& music = Object(in_root, "music", "scene");
    const std::string layout = Text(music, "layout", "stereo", "music");
    scene.uMusicBusMask = LayoutMaskFromName(layout);
    if (scene.uMusicBusMask == 0) {
        Fail("music.layout", "unknown layout \"" + layout + "\"");
    }

    auto it = in_root.find("voices");
    if (it == in_root.end() || !it->is_array()) {
        Fail("scene.voices", "a scene needs a list of voices");
    }
    for (size_t uIndex = 0; uIndex < it->size(); ++uIndex) {
        scene.voices.push_back(ParseVoice((*it)[uIndex], uIndex, in_baseDirectory));
    }
    return scene;
}

}  // namespace

uint32_t LayoutMaskFromName(const std::string& in_name) {
    if (in_name == "mono") {
        return 0x4;
    }
    if (in_name == "stereo") {
        return 0x3;
    }
    if (in_name == "5.1") {
        return 0x60F;
    }
    if (in_name == "7.1") {
        return 0x63F;
    }
    if (in_name == "7.1.4") {
        return 0x2D63F;
    }
    return 0;
}

bool ParseScene(const std::string& in_text, const std::string& in_baseDirectory,
                SceneSpec& out_scene, std::string& out_error) {
    json root = json::parse(in_text, nullptr, false);
    if (root.is_discarded()) {
        out_error = "the scene is not valid JSON";
        return false;
    }
    try {
        out_scene = ParseRoot(root, in_baseDirectory);
    } catch (const SceneError& error) {
        out_error = error.message;
        return false;
    } catch (const json::exception& error) {
        out_error = error.what();
        return false;
    }
    return true;
}

bool LoadSceneFile(const std::string& in_path, SceneSpec& out_scene, std::string& out_error) {
    std::ifstream file(in_path, std::ios::binary);
    if (!file) {
        out_error = "cannot open " + in_path;
        return false;
    }
    std::ostringstream text;
    text << file.rdbuf();
    const size_t uSlash = in_path.find_last_of('/');
    const std::string directory = uSlash == std::string::npos ? "" : in_path.substr(0, uSlash);
    if (!ParseScene(text.str(), directory, out_scene, out_error)) {
        out_error = in_path + ": " + out_error;
        return false;
    }
    return true;
}

}  // namespace scene
