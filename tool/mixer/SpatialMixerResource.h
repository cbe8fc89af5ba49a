// Resource ids of the SpatialMixer design-tool library, shared by its resource script and code.
#pragma once

#define IDD_SPATIALMIXERATTACHMENT_SETTINGS 101
#define IDD_SPATIALMIXER_SETTINGS 104

#define IDC_MIXER_BYPASS 21046
#define IDC_ATTACHMENT_BYPASS 21052
#define IDC_PLAYING_OBJECTS 21060
#define IDC_TOTAL_VOICES 21061
#define IDC_MAX_AVAILABLE_OBJECTS 21062

#ifndef IDC_STATIC
#define IDC_STATIC (-1)
#endif
