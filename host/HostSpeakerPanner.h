// The test host's panning law: the speaker volumes that HostMixerInputContext hands to a mixer
// for an input heard from a given azimuth.
//
// Azimuths are in degrees seen from above, 0 straight ahead, positive to the right (the direction
// in which a positive ray azimuth moves a mixer input's position towards +x). Speaker azimuths:
//   front left -30, front right +30, front centre 0, side left -90, side right +90,
//   back left -135, back right +135, back centre 180;
//   top front left -30, top front right +30, top back left -135, top back right +135;
//   any other speaker bit counts as front centre.
//
// Output. The ear-level speakers of the output layout (the first two rows above) take part in
// panning; the top speakers and the low-frequency speaker get nothing from a panned channel.
//
// Input channels. A channel of a standard input layout sits at its own speaker's azimuth plus
// the input's azimuth, so a stereo input keeps its width of 60 degrees around the input. A layout
// that is not standard (or whose mask does not match its channel count) spreads its n channels
// 60 degrees apart, centred on the input's azimuth. An input's low-frequency channel goes
// unchanged (gain 1) to the output's low-frequency channel, or nowhere.
//
// Panning one channel. With one ear-level output speaker, it takes the channel with gain 1.
// Otherwise, going round the circle, the channel's azimuth lies between two neighbouring speakers
// A and B, a fraction t of the way from A to B; A gets cos(t * pi / 2) and B sin(t * pi / 2)
// (constant power: the squares of a channel's gains add up to 1). Elevation is not used.
//
// An output layout that is not standard gets a direct route: input channel i to output channel i
// with gain 1, for the channels both have.
//
// Matrix rows and columns are in buffer order (the low-frequency channel last, as the host stores
// it); the padding at the end of each row is set to 0.
#pragma once

#include "ZvChannelLayout.h"
#include "ZvHostEngine.h"

namespace host {

// Fills io_matrix (whose uNumInputs and uNumOutputs must be the two layouts' channel counts) for
// an input at in_fAzimuthDegrees.
void ComputePanningMatrix(ZvChannelLayout in_inputConfig, ZvChannelLayout in_outputConfig,
                          float in_fAzimuthDegrees, ZV::SpeakerVolumeMatrix& io_matrix);

}  // namespace host
