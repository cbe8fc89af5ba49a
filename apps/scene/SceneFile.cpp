#include "SceneFile.h"

#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <fstream>
#include <set>
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

std::string Shortest(double in_fValue) {
    std::ostringstream text;
    text << in_fValue;
    return text.str();
}

// Edits (insertions, deletions, substitutions, swaps of neighbours) between two keys.
size_t EditDistance(const std::string& in_a, const std::string& in_b) {
    std::vector<std::vector<size_t>> d(in_a.size() + 1, std::vector<size_t>(in_b.size() + 1));
    for (size_t i = 0; i <= in_a.size(); ++i) {
        d[i][0] = i;
    }
    for (size_t j = 0; j <= in_b.size(); ++j) {
        d[0][j] = j;
    }
    for (size_t i = 1; i <= in_a.size(); ++i) {
        for (size_t j = 1; j <= in_b.size(); ++j) {
            const size_t uCost = in_a[i - 1] == in_b[j - 1] ? 0 : 1;
            d[i][j] = std::min({d[i - 1][j] + 1, d[i][j - 1] + 1, d[i - 1][j - 1] + uCost});
            if (i > 1 && j > 1 && in_a[i - 1] == in_b[j - 2] && in_a[i - 2] == in_b[j - 1]) {
                d[i][j] = std::min(d[i][j], d[i - 2][j - 2] + 1);
            }
        }
    }
    return d[in_a.size()][in_b.size()];
}

// The keys of one JSON object of the scene: each value is read through it, and a key that the
// object does not know is refused, with the nearest known key when one is close.
class Fields {
public:
    Fields(const json& in_object, std::string in_where, std::vector<const char*> in_keys)
        : m_object(in_object), m_where(std::move(in_where)) {
        if (!m_object.is_object()) {
            Fail(m_where, "must be an object");
        }
        for (const auto& item : m_object.items()) {
            if (std::find_if(in_keys.begin(), in_keys.end(), [&](const char* in_pszKey) {
                    return item.key() == in_pszKey;
                }) != in_keys.end()) {
                continue;
            }
            std::string message = "unknown key '" + item.key() + "' in " +
                                  (m_where == "scene" ? std::string("the scene") : m_where);
            const char* pszBest = nullptr;
            size_t uBest = SIZE_MAX;
            for (const char* pszKey : in_keys) {
                const size_t uDistance = EditDistance(item.key(), pszKey);
                if (uDistance < uBest) {
                    uBest = uDistance;
                    pszBest = pszKey;
                }
            }
            if (pszBest != nullptr && uBest <= std::max<size_t>(2, item.key().size() / 3)) {
                message += std::string(" (did you mean '") + pszBest + "'?)";
            }
            throw SceneError{message};
        }
    }

    const std::string& Where() const { return m_where; }
    std::string Path(const char* in_pszKey) const { return m_where + "." + in_pszKey; }
    bool Has(const char* in_pszKey) const { return m_object.contains(in_pszKey); }
    const json& Raw(const char* in_pszKey) const { return m_object.at(in_pszKey); }

    // A finite number in [in_fMin, in_fMax].
    double Number(const char* in_pszKey, double in_fDefault, double in_fMin, double in_fMax) const {
        auto it = m_object.find(in_pszKey);
        if (it == m_object.end()) {
            return in_fDefault;
        }
        if (!it->is_number()) {
            Fail(Path(in_pszKey), "must be a number");
        }
        return CheckNumber(it->get<double>(), Path(in_pszKey), in_fMin, in_fMax);
    }

    static double CheckNumber(double in_fValue, const std::string& in_where, double in_fMin,
                              double in_fMax) {
        if (!std::isfinite(in_fValue)) {
            Fail(in_where, "must be a finite number");
        }
        if (in_fValue < in_fMin || in_fValue > in_fMax) {
            Fail(in_where, "must lie between " + Shortest(in_fMin) + " and " + Shortest(in_fMax) +
                               " (it is " + Shortest(in_fValue) + ")");
        }
        return in_fValue;
    }

    // A number above 0 and below in_fBelow (a frequency under the Nyquist limit).
    double Frequency(const char* in_pszKey, double in_fDefault, double in_fNyquist) const {
        auto it = m_object.find(in_pszKey);
        if (it == m_object.end()) {
            return in_fDefault;
        }
        if (!it->is_number()) {
            Fail(Path(in_pszKey), "must be a number");
        }
        return CheckFrequency(it->get<double>(), Path(in_pszKey), in_fNyquist);
    }

    static double CheckFrequency(double in_fValue, const std::string& in_where,
                                 double in_fNyquist) {
        if (!std::isfinite(in_fValue) || !(in_fValue > 0.0)) {
            Fail(in_where, "must be a frequency greater than 0 Hz");
        }
        if (in_fValue >= in_fNyquist) {
            Fail(in_where, Shortest(in_fValue) + " Hz is not below half the sample rate (" +
                               Shortest(in_fNyquist) + " Hz): it would alias");
        }
        return in_fValue;
    }

    int64_t Integer(const char* in_pszKey, int64_t in_iDefault, int64_t in_iMin,
                    int64_t in_iMax) const {
        auto it = m_object.find(in_pszKey);
        if (it == m_object.end()) {
            return in_iDefault;
        }
        if (!it->is_number_integer()) {
            Fail(Path(in_pszKey), "must be an integer");
        }
        const int64_t iValue = it->is_number_unsigned() && it->get<uint64_t>() > INT64_MAX
                                   ? INT64_MAX
                                   : it->get<int64_t>();
        if (iValue < in_iMin || iValue > in_iMax) {
            Fail(Path(in_pszKey),
                 "must lie between " + std::to_string(in_iMin) + " and " + std::to_string(in_iMax));
        }
        return iValue;
    }

    bool Boolean(const char* in_pszKey, bool in_bDefault) const {
        auto it = m_object.find(in_pszKey);
        if (it == m_object.end()) {
            return in_bDefault;
        }
        if (!it->is_boolean()) {
            Fail(Path(in_pszKey), "must be true or false");
        }
        return it->get<bool>();
    }

    std::string Text(const char* in_pszKey, const std::string& in_default) const {
        auto it = m_object.find(in_pszKey);
        if (it == m_object.end()) {
            return in_default;
        }
        if (!it->is_string()) {
            Fail(Path(in_pszKey), "must be a string");
        }
        return it->get<std::string>();
    }

    // The object under in_pszKey (an empty one when absent).
    const json& Object(const char* in_pszKey) const {
        static const json s_empty = json::object();
        auto it = m_object.find(in_pszKey);
        return it == m_object.end() ? s_empty : *it;
    }

private:
    const json& m_object;
    std::string m_where;
};

SignalSpec ParseSignal(const json& in_source, const std::string& in_baseDirectory,
                       const std::string& in_where, uint32_t in_uSampleRate) {
    const Fields fields(in_source, in_where,
                        {"type", "frequency", "frequencies", "from", "to", "period", "file"});
    const double fNyquist = in_uSampleRate / 2.0;
    SignalSpec signal;
    const std::string type = fields.Text("type", "tone");
    // Keys that belong to another type of source are mistakes too.
    auto only = [&](std::initializer_list<const char*> in_keys) {
        for (const char* pszKey : {"frequency", "frequencies", "from", "to", "period", "file"}) {
            if (fields.Has(pszKey) &&
                std::find_if(in_keys.begin(), in_keys.end(), [&](const char* in_pszAllowed) {
                    return std::strcmp(in_pszAllowed, pszKey) == 0;
                }) == in_keys.end()) {
                Fail(fields.Path(pszKey), "a " + type + " source has no '" + pszKey + "'");
            }
        }
    };
    if (type == "tone") {
        only({"frequency", "frequencies"});
        signal.eKind = SignalKind::Tone;
        if (fields.Has("frequencies")) {
            if (fields.Has("frequency")) {
                Fail(fields.Path("frequency"), "give 'frequency' or 'frequencies', not both");
            }
            const json& list = fields.Raw("frequencies");
            if (!list.is_array() || list.empty()) {
                Fail(fields.Path("frequencies"), "must be a list of numbers");
            }
            signal.frequencies.clear();
            for (size_t uIndex = 0; uIndex < list.size(); ++uIndex) {
                const std::string where =
                    fields.Path("frequencies") + "[" + std::to_string(uIndex) + "]";
                if (!list[uIndex].is_number()) {
                    Fail(where, "must be a number");
                }
                signal.frequencies.push_back(
                    Fields::CheckFrequency(list[uIndex].get<double>(), where, fNyquist));
            }
        } else {
            signal.frequencies = {fields.Frequency("frequency", 440.0, fNyquist)};
        }
    } else if (type == "noise") {
        only({});
        signal.eKind = SignalKind::Noise;
    } else if (type == "sweep") {
        only({"from", "to", "period"});
        signal.eKind = SignalKind::Sweep;
        signal.fStartHz = fields.Frequency("from", signal.fStartHz, fNyquist);
        signal.fEndHz = fields.Frequency("to", signal.fEndHz, fNyquist);
        signal.fPeriodSeconds =
            fields.Number("period", signal.fPeriodSeconds, 1.0 / in_uSampleRate, 3600.0);
    } else if (type == "wav") {
        only({"file"});
        signal.eKind = SignalKind::WavFile;
        std::string file = fields.Text("file", "");
        if (file.empty()) {
            Fail(fields.Path("file"), "a WAV source needs a file");
        }
        if (file[0] != '/' && !in_baseDirectory.empty()) {
            file = in_baseDirectory + "/" + file;
        }
        signal.wavPath = file;
    } else {
        Fail(fields.Path("type"),
             "unknown source type \"" + type + "\" (tone, noise, sweep or wav)");
    }
    return signal;
}

VoiceSpec ParseVoice(const json& in_voice, size_t in_uIndex, const std::string& in_baseDirectory,
                     uint32_t in_uSampleRate) {
    const Fields fields(in_voice, "voices[" + std::to_string(in_uIndex) + "]",
                        {"name", "source", "channels", "gain", "start", "end", "route",
                         "bypassLocal", "trajectory"});
    VoiceSpec voice;
    voice.name = fields.Text("name", "voice " + std::to_string(in_uIndex + 1));
    voice.signal = ParseSignal(fields.Object("source"), in_baseDirectory, fields.Path("source"),
                               in_uSampleRate);
    voice.uChannels = static_cast<uint32_t>(fields.Integer("channels", 1, 1, 2));
    voice.fGain = fields.Number("gain", voice.fGain, 0.0, kMaxGain);
    voice.fStart = fields.Number("start", 0.0, 0.0, 3600.0);
    if (fields.Has("end")) {
        voice.fEnd = fields.Number("end", 0.0, 0.0, 3600.0);
        if (!(voice.fEnd > voice.fStart)) {
            Fail(fields.Path("end"),
                 "must come after the voice's start (" + Shortest(voice.fStart) + " s)");
        }
    }
    const std::string route = fields.Text("route", "mixer");
    if (route == "mixer") {
        voice.eRoute = VoiceRoute::Mixer;
    } else if (route == "music") {
        voice.eRoute = VoiceRoute::Music;
    } else if (route == "master") {
        voice.eRoute = VoiceRoute::Master;
    } else {
        Fail(fields.Path("route"), "must be \"mixer\", \"music\" or \"master\"");
    }
    voice.bBypassLocal = fields.Boolean("bypassLocal", false);

    if (fields.Has("trajectory")) {
        const json& points = fields.Raw("trajectory");
        if (!points.is_array()) {
            Fail(fields.Path("trajectory"), "must be a list of points");
        }
        double fLastTime = 0.0;
        for (size_t uPoint = 0; uPoint < points.size(); ++uPoint) {
            const Fields point(points[uPoint],
                               fields.Path("trajectory") + "[" + std::to_string(uPoint) + "]",
                               {"time", "azimuth", "elevation", "distance"});
            TrajectoryPoint parsed;
            parsed.fTime = point.Number("time", 0.0, 0.0, 3600.0);
            parsed.fAzimuth = point.Number("azimuth", 0.0, -36000.0, 36000.0);
            parsed.fElevation = point.Number("elevation", 0.0, -90.0, 90.0);
            parsed.fDistance = point.Number("distance", 1.0, 0.01, 10000.0);
            if (parsed.fTime < fLastTime) {
                Fail(point.Path("time"), "points must be in time order");
            }
            fLastTime = parsed.fTime;
            voice.trajectory.push_back(parsed);
        }
    }
    return voice;
}

SceneSpec ParseRoot(const json& in_root, const std::string& in_baseDirectory) {
    const Fields fields(
        in_root, "scene",
        {"name", "duration", "seed", "renderer", "host", "sink", "mixer", "music", "voices"});
    SceneSpec scene;
    scene.name = fields.Text("name", scene.name);
    scene.fDurationSeconds = fields.Number("duration", scene.fDurationSeconds, 0.0, 3600.0);
    scene.uSeed = static_cast<uint32_t>(fields.Integer("seed", scene.uSeed, 0, UINT32_MAX));

    const Fields renderer(fields.Object("renderer"), "renderer", {"grant", "frameCount"});
    scene.uGrant = static_cast<uint32_t>(renderer.Integer("grant", scene.uGrant, 0, 256));
    scene.uRendererFrames =
        static_cast<uint32_t>(renderer.Integer("frameCount", scene.uRendererFrames, 16, 8192));

    const Fields host(fields.Object("host"), "host",
                      {"sampleRate", "framesPerBuffer", "bufferCount"});
    scene.uSampleRate =
        static_cast<uint32_t>(host.Integer("sampleRate", scene.uSampleRate, 8000, 192000));
    scene.uHostFrames =
        static_cast<uint16_t>(host.Integer("framesPerBuffer", scene.uHostFrames, 16, 4096));
    scene.uSinkBufferCount =
        static_cast<uint16_t>(host.Integer("bufferCount", scene.uSinkBufferCount, 1, 9));

    const Fields sink(fields.Object("sink"), "sink", {"directGain", "channelConfig"});
    scene.fSinkDirectGain =
        static_cast<float>(sink.Number("directGain", scene.fSinkDirectGain, 0.0, kMaxGain));
    scene.iSinkChannelConfig =
        static_cast<int32_t>(sink.Integer("channelConfig", scene.iSinkChannelConfig, 0, 3));

    const Fields mixer(fields.Object("mixer"), "mixer", {"bypass", "maxObjects"});
    scene.bMixerBypass = mixer.Boolean("bypass", scene.bMixerBypass);
    scene.iMixerMaxObjects = static_cast<int32_t>(
        mixer.Integer("maxObjects", scene.iMixerMaxObjects, INT32_MIN, INT32_MAX));

    const Fields music(fields.Object("music"), "music", {"layout"});
    const std::string layout = music.Text("layout", "stereo");
    scene.uMusicBusMask = LayoutMaskFromName(layout);
    if (scene.uMusicBusMask == 0) {
        Fail("music.layout", "unknown layout \"" + layout + "\"");
    }

    if (!fields.Has("voices") || !fields.Raw("voices").is_array()) {
        Fail("scene.voices", "a scene needs a list of voices");
    }
    const json& voices = fields.Raw("voices");
    if (voices.size() > kMaxVoices) {
        Fail("scene.voices", std::to_string(voices.size()) + " voices; a scene plays at most " +
                                 std::to_string(kMaxVoices));
    }
    for (size_t uIndex = 0; uIndex < voices.size(); ++uIndex) {
        scene.voices.push_back(
            ParseVoice(voices[uIndex], uIndex, in_baseDirectory, scene.uSampleRate));
    }
    return scene;
}

// Refuses a key given twice in one object, while the text is parsed (the parsed value keeps only
// the last one). Tracks the path of every open object and list for the message.
class DuplicateKeys {
public:
    bool operator()(int, json::parse_event_t in_eEvent, json& io_value) {
        switch (in_eEvent) {
            case json::parse_event_t::object_start:
            case json::parse_event_t::array_start:
                Enter(in_eEvent == json::parse_event_t::array_start);
                break;
            case json::parse_event_t::object_end:
            case json::parse_event_t::array_end:
                m_stack.pop_back();
                break;
            case json::parse_event_t::key: {
                Level& level = m_stack.back();
                const std::string key = io_value.get<std::string>();
                if (!level.keys.insert(key).second) {
                    throw SceneError{"duplicate key '" + key + "' in " +
                                     (m_stack.size() == 1 ? std::string("the scene") : level.path)};
                }
                level.key = key;
                break;
            }
            case json::parse_event_t::value:
                if (!m_stack.empty() && m_stack.back().bList) {
                    ++m_stack.back().uIndex;
                }
                break;
        }
        return true;
    }

private:
    struct Level {
        bool bList = false;
        size_t uIndex = 0;  // lists: elements seen
        std::string key;    // objects: the key being read
        std::set<std::string> keys;
        std::string path;
    };

    void Enter(bool in_bList) {
        std::string path;
        if (!m_stack.empty()) {
            Level& parent = m_stack.back();
            if (parent.bList) {
                path = parent.path + "[" + std::to_string(parent.uIndex++) + "]";
            } else {
                path = m_stack.size() == 1 ? parent.key : parent.path + "." + parent.key;
            }
        }
        Level level;
        level.bList = in_bList;
        level.path = path;
        m_stack.push_back(std::move(level));
    }

    std::vector<Level> m_stack;
};

// "line L, column C" of byte in_uByte (counted from 1, as the parser reports it).
std::string LineAndColumn(const std::string& in_text, size_t in_uByte) {
    size_t uLine = 1, uColumn = 1;
    for (size_t uIndex = 0; uIndex + 1 < in_uByte && uIndex < in_text.size(); ++uIndex) {
        if (in_text[uIndex] == '\n') {
            ++uLine;
            uColumn = 1;
        } else {
            ++uColumn;
        }
    }
    return "line " + std::to_string(uLine) + ", column " + std::to_string(uColumn);
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
    try {
        const json root = json::parse(in_text, DuplicateKeys());
        out_scene = ParseRoot(root, in_baseDirectory);
    } catch (const SceneError& error) {
        out_error = error.message;
        return false;
    } catch (const json::parse_error& error) {
        // The parser's own words without its "[json.exception...] parse error at ...:" prefix.
        std::string what = error.what();
        const size_t uColon = what.find(": ");
        if (uColon != std::string::npos) {
            what = what.substr(uColon + 2);
        }
        out_error = LineAndColumn(in_text, error.byte) + ": not valid JSON: " + what;
        return false;
    } catch (const json::exception& error) {
        // A number too large for a double, say: the parser's words without its prefix.
        std::string what = error.what();
        const size_t uBracket = what.find("] ");
        out_error =
            "not valid JSON: " + (uBracket == std::string::npos ? what : what.substr(uBracket + 2));
        return false;
    }
    return true;
}

bool LoadSceneFile(const std::string& in_path, SceneSpec& out_scene, std::string& out_error) {
    struct stat status = {};
    if (stat(in_path.c_str(), &status) != 0) {
        out_error = "cannot open " + in_path + ": " + std::strerror(errno);
        return false;
    }
    if (S_ISDIR(status.st_mode)) {
        out_error = in_path + " is a directory, not a scene file";
        return false;
    }
    std::ifstream file(in_path, std::ios::binary);
    if (!file) {
        out_error = "cannot open " + in_path + ": " + std::strerror(errno);
        return false;
    }
    std::ostringstream text;
    text << file.rdbuf();
    if (file.bad()) {
        out_error = "cannot read " + in_path + ": " + std::strerror(errno);
        return false;
    }
    const size_t uSlash = in_path.find_last_of('/');
    const std::string directory = uSlash == std::string::npos ? "" : in_path.substr(0, uSlash);
    if (!ParseScene(text.str(), directory, out_scene, out_error)) {
        out_error = in_path + ": " + out_error;
        return false;
    }
    return true;
}

bool CheckScene(const SceneSpec& in_scene, std::vector<std::string>& out_warnings,
                std::string& out_error) {
    const double fShortest =
        static_cast<double>(std::max<uint32_t>(in_scene.uHostFrames, in_scene.uRendererFrames)) /
        in_scene.uSampleRate;
    if (!(in_scene.fDurationSeconds >= fShortest)) {
        out_error = "scene.duration: " + Shortest(in_scene.fDurationSeconds) +
                    " s is shorter than one host buffer or renderer pass (" + Shortest(fShortest) +
                    " s)";
        return false;
    }
    // What the plug-ins are built to play without a dropout: host buffers of 64 to 4096 frames,
    // renderer periods of 120 to 4096 frames, and a period shorter than the 100 ms after which a
    // silent renderer counts as lost.
    if (in_scene.uHostFrames < 64) {
        out_error = "host.framesPerBuffer: " + std::to_string(in_scene.uHostFrames) +
                    " frames; the plug-ins play host buffers of 64 to 4096 frames without a "
                    "dropout";
        return false;
    }
    if (in_scene.uRendererFrames < 120 || in_scene.uRendererFrames > 4096) {
        out_error =
            "renderer.frameCount (--frame-count): " + std::to_string(in_scene.uRendererFrames) +
            " frames; the plug-ins play renderer periods of 120 to 4096 frames without a "
            "dropout";
        return false;
    }
    if (uint64_t{in_scene.uRendererFrames} * 10 >= in_scene.uSampleRate) {
        out_error =
            "renderer.frameCount (--frame-count): " + std::to_string(in_scene.uRendererFrames) +
            " frames at " + std::to_string(in_scene.uSampleRate) +
            " Hz is a period of 100 ms or more; the plug-ins take a renderer that asks for "
            "no pass for 100 ms as lost";
        return false;
    }
    if (in_scene.voices.size() > kMaxVoices) {
        out_error = "scene.voices: " + std::to_string(in_scene.voices.size()) +
                    " voices; a scene plays at most " + std::to_string(kMaxVoices);
        return false;
    }
    for (size_t uIndex = 0; uIndex < in_scene.voices.size(); ++uIndex) {
        const VoiceSpec& voice = in_scene.voices[uIndex];
        const std::string where = "voices[" + std::to_string(uIndex) + "]";
        if (voice.fStart >= in_scene.fDurationSeconds) {
            out_warnings.push_back(where + " (\"" + voice.name + "\") starts at " +
                                   Shortest(voice.fStart) + " s, at or after the scene's end (" +
                                   Shortest(in_scene.fDurationSeconds) + " s): it is not heard");
        }
    }
    return true;
}

bool CheckOutputName(const std::string& in_name, std::string& out_error) {
    if (in_name.empty() || in_name == "." || in_name == "..") {
        out_error = "the name \"" + in_name + "\" cannot name files";
    } else if (in_name.find('/') != std::string::npos) {
        out_error = "the name \"" + in_name +
                    "\" is not one path component: names the files, not where they go (use "
                    "--out for that)";
    } else if (std::any_of(in_name.begin(), in_name.end(), [](char in_c) {
                   return static_cast<unsigned char>(in_c) < 0x20 || in_c == 0x7F;
               })) {
        out_error = "the name holds control characters, which cannot be in file names";
    } else if (in_name.size() > 200) {
        out_error = "the name is longer than 200 bytes";
    } else {
        return true;
    }
    return false;
}

}  // namespace scene
