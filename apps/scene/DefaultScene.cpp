#include "SceneDescription.h"

namespace scene {

namespace {

VoiceSpec Voice(const std::string& in_name, SignalSpec in_signal, uint32_t in_uChannels,
                double in_fGain, std::vector<TrajectoryPoint> in_trajectory) {
    VoiceSpec voice;
    voice.name = in_name;
    voice.signal = std::move(in_signal);
    voice.uChannels = in_uChannels;
    voice.fGain = in_fGain;
    voice.trajectory = std::move(in_trajectory);
    return voice;
}

SignalSpec Tone(std::vector<double> in_frequencies) {
    SignalSpec signal;
    signal.eKind = SignalKind::Tone;
    signal.frequencies = std::move(in_frequencies);
    return signal;
}

SignalSpec Noise() {
    SignalSpec signal;
    signal.eKind = SignalKind::Noise;
    return signal;
}

SignalSpec Sweep(double in_fStartHz, double in_fEndHz, double in_fPeriodSeconds) {
    SignalSpec signal;
    signal.eKind = SignalKind::Sweep;
    signal.fStartHz = in_fStartHz;
    signal.fEndHz = in_fEndHz;
    signal.fPeriodSeconds = in_fPeriodSeconds;
    return signal;
}

TrajectoryPoint At(double in_fTime, double in_fAzimuth, double in_fElevation, double in_fDistance) {
    return TrajectoryPoint{in_fTime, in_fAzimuth, in_fElevation, in_fDistance};
}

}  // namespace

SceneSpec DefaultScene() {
    SceneSpec scene;
    scene.name = "default";
    scene.fDurationSeconds = 10.0;
    scene.uGrant = 8;

    std::vector<VoiceSpec>& voices = scene.voices;
    // Noise circling the listener once every five seconds.
    voices.push_back(
        Voice("orbit", Noise(), 1, 0.25, {At(0, 0, 0, 2), At(5, 360, 0, 2), At(10, 720, 0, 2)}));
    // A tone that passes overhead from the front to the back.
    voices.push_back(Voice("flyover", Tone({440}), 1, 0.3,
                           {At(0, 0, 0, 4), At(5, 0, 80, 2), At(10, 180, 0, 4)}));
    // A stereo sweep crossing from the left to the right.
    voices.push_back(Voice("crossing sweep", Sweep(200, 3000, 2.5), 2, 0.3,
                           {At(0, -90, 0, 3), At(10, 90, 0, 3)}));
    // Two voices at one position: they share one object.
    voices.push_back(Voice("pair low", Tone({523.25}), 1, 0.2, {At(0, 45, 10, 2)}));
    voices.push_back(Voice("pair high", Tone({659.25}), 1, 0.2, {At(0, 45, 10, 2)}));
    // Kept off the objects by its attachment: mixed into the bus, heard through the sink.
    VoiceSpec bypassed = Voice("bypassed", Tone({330}), 1, 0.2, {At(0, -45, 0, 2)});
    bypassed.bBypassLocal = true;
    voices.push_back(bypassed);
    // Four still chimes behind and to the sides; they start one after the other.
    const double aChimeAzimuths[] = {110, -110, 150, -150};
    const double aChimeTones[] = {784, 880, 988, 1047};
    for (int i = 0; i < 4; ++i) {
        VoiceSpec chime = Voice("chime " + std::to_string(i + 1), Tone({aChimeTones[i]}), 1, 0.15,
                                {At(0, aChimeAzimuths[i], 20, 3)});
        chime.fStart = 1.0 + i;
        voices.push_back(chime);
    }
    // Two more voices from 6 s on: the grant of eight objects is used up by then, so they are
    // mixed into the bus and reach the renderer through the sink.
    VoiceSpec late1 = Voice("late stereo", Tone({294, 370}), 2, 0.15, {At(0, -20, 0, 2)});
    late1.fStart = 6.0;
    voices.push_back(late1);
    VoiceSpec late2 = Voice("late noise", Noise(), 1, 0.1, {At(0, 20, -10, 2)});
    late2.fStart = 6.5;
    voices.push_back(late2);

    // The music bus: a stereo chord through the spatial effect.
    VoiceSpec music = Voice("music", Tone({220, 277.18}), 2, 0.2, {});
    music.eRoute = VoiceRoute::Music;
    voices.push_back(music);
    // A quiet ambience straight into the final mix.
    VoiceSpec ambience = Voice("ambience", Noise(), 2, 0.03, {});
    ambience.eRoute = VoiceRoute::Master;
    voices.push_back(ambience);
    return scene;
}

double VoiceEnd(const SceneSpec& in_scene, const VoiceSpec& in_voice) {
    return in_voice.fEnd < 0.0 || in_voice.fEnd > in_scene.fDurationSeconds
               ? in_scene.fDurationSeconds
               : in_voice.fEnd;
}

}  // namespace scene
