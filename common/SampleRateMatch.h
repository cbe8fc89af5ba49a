// The engine's sample rate against the rate of the format the spatial renderer offers.
//
// The renderer plays one format, the one its format enumerator offers (32-bit float mono at
// 48 kHz on Windows Sonic), and takes the samples it is given at that rate. Samples of an engine
// at 44.1 kHz played at 48 kHz sound 8.8 % sharp and fast, and the rings run dry every few passes
// because the engine delivers fewer frames per second than the renderer takes. No plug-in of the
// family converts rates, so none opens a stream at another rate than the engine's: the opener
// (SpatialStreamOpener) compares the two before it asks for a stream, and each plug-in falls back
// as it does without a renderer.
//
// The engine's rate is the first field of InitPlugin's format record. 0 means the host does not
// say: the engine is then taken to run at the renderer's rate.
#pragma once

#include <stddef.h>
#include <stdint.h>

// The engine's rate when the format record names none.
constexpr uint32_t kUnstatedSampleRate = 0;

// Whether samples at the engine's rate may be handed to a renderer that plays at its own.
constexpr bool SampleRatesMatch(uint32_t in_uEngineRate, uint32_t in_uRendererRate) {
    return in_uEngineRate == kUnstatedSampleRate || in_uEngineRate == in_uRendererRate;
}

// A text that names both rates, for a notice to the host or a check report: in_pszPrefix, then
// "the engine runs at 44100 Hz, the renderer plays at 48000 Hz", then in_pszSuffix, cut short
// when it would not fit. Built in place, without the heap, so that any thread may make one.
class RateMismatchText {
public:
    static constexpr size_t kCapacity = 224;

    RateMismatchText(const char* in_pszPrefix, uint32_t in_uEngineRate, uint32_t in_uRendererRate,
                     const char* in_pszSuffix);
    RateMismatchText(const RateMismatchText&) = delete;
    RateMismatchText& operator=(const RateMismatchText&) = delete;

    const char* Get() const { return m_szText; }

private:
    void Append(const char* in_pszText);
    void AppendNumber(uint32_t in_uValue);

    char m_szText[kCapacity];
    size_t m_uLength = 0;
};
