// Per-parameter change flags of a plug-in's parameter object: bit i of the flags says that
// parameter id i changed since the plug-in last cleared them. Ids 0 to T_MAXNUMPARAMS have a flag;
// marking a larger id is reported and ignored.
//
// Threads: SetParameter (the host, on whichever thread sets values) marks flags while the plug-in
// clears and reads them on the audio thread. Every flag byte is an atomic touched only with single
// read-modify-write or load operations, relaxed: a flag carries no data of its own, the values it
// announces are atomics of the parameter object.
#pragma once

#include <stdint.h>

#include <atomic>

#include "AssertHook.h"

template <uint32_t T_MAXNUMPARAMS>
class ZvFXParameterChangeHandler {
public:
    ZvFXParameterChangeHandler() { ResetAllParamChanged(); }

    // Not copyable: a copy of a parameter object starts with its own flags (all set).
    ZvFXParameterChangeHandler(const ZvFXParameterChangeHandler&) = delete;
    ZvFXParameterChangeHandler& operator=(const ZvFXParameterChangeHandler&) = delete;

    void SetParamChanged(uint32_t in_ID) {
        ZV_CHECK("ZvFXParameterChangeHandler", in_ID <= T_MAXNUMPARAMS);
        if (in_ID <= T_MAXNUMPARAMS) {
            m_aFlags[in_ID / 8].fetch_or(Bit(in_ID), std::memory_order_relaxed);
        }
    }

    bool HasChanged(uint32_t in_ID) const {
        return in_ID <= T_MAXNUMPARAMS &&
               (m_aFlags[in_ID / 8].load(std::memory_order_relaxed) & Bit(in_ID)) != 0;
    }

    bool HasAnyChanged() const {
        for (const std::atomic<uint8_t>& flags : m_aFlags) {
            if (flags.load(std::memory_order_relaxed) != 0) {
                return true;
            }
        }
        return false;
    }

    void ResetParamChanged(uint32_t in_ID) {
        if (in_ID <= T_MAXNUMPARAMS) {
            m_aFlags[in_ID / 8].fetch_and(static_cast<uint8_t>(~Bit(in_ID)),
                                          std::memory_order_relaxed);
        }
    }

    void ResetAllParamChanged() {
        for (std::atomic<uint8_t>& flags : m_aFlags) {
            flags.store(0, std::memory_order_relaxed);
        }
    }

    // Sets the flag of every id up to T_MAXNUMPARAMS (and no bit beyond).
    void SetAllParamChanged() {
        for (uint32_t uByte = 0; uByte < kNumBytes; ++uByte) {
            m_aFlags[uByte].store(FullByteMask(uByte), std::memory_order_relaxed);
        }
    }

    static constexpr uint32_t kNumBytes = T_MAXNUMPARAMS / 8 + 1;

private:
    static constexpr uint8_t Bit(uint32_t in_ID) { return static_cast<uint8_t>(1u << (in_ID % 8)); }

    static constexpr uint8_t FullByteMask(uint32_t in_uByte) {
        return in_uByte + 1 < kNumBytes ? uint8_t{0xFF}
                                        : static_cast<uint8_t>((2u << (T_MAXNUMPARAMS % 8)) - 1u);
    }

    std::atomic<uint8_t> m_aFlags[kNumBytes];
};

static_assert(sizeof(ZvFXParameterChangeHandler<7>) == 1, "ids 0 to 7 take one byte");
static_assert(sizeof(ZvFXParameterChangeHandler<3>) == 1, "ids 0 to 3 take one byte");
