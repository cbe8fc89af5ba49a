// The design-tool host's bank writer: collects a plug-in's parameter block as the sound bank will
// hold it, every value little-endian and unaligned.
#pragma once

#include <cstdint>
#include <vector>

#include "ZvDesignToolHost.h"

namespace host {

class BankWriter final : public ZV::Orvel::IBankWriter {
public:
    bool WriteBytes(const void* in_pData, uint32_t in_uSize) override;
    uint32_t GetPosition() const override;
    // The text's bytes and a terminating zero.
    bool PutString(const char* in_pszValue) override;
    // The text as 16-bit code units and a terminating zero unit.
    bool PutWideString(const wchar_t* in_pszValue) override;
    bool PutBool(bool in_bValue) override;  // one byte, 0 or 1
    bool PutInt8(int8_t in_iValue) override;
    bool PutInt16(int16_t in_iValue) override;
    bool PutInt32(int32_t in_iValue) override;
    bool PutUInt32(uint32_t in_uValue) override;
    bool PutReal32(float in_fValue) override;
    bool PutReal64(double in_fValue) override;

    const std::vector<uint8_t>& Bytes() const { return m_bytes; }

private:
    void PutLittleEndian(uint64_t in_uValue, unsigned in_uBytes);

    std::vector<uint8_t> m_bytes;
};

}  // namespace host
