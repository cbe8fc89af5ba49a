#include "BankWriter.h"

#include <cstring>

namespace host {

void BankWriter::PutLittleEndian(uint64_t in_uValue, unsigned in_uBytes) {
    for (unsigned i = 0; i < in_uBytes; ++i) {
        m_bytes.push_back(static_cast<uint8_t>(in_uValue >> (8 * i)));
    }
}

bool BankWriter::WriteBytes(const void* in_pData, uint32_t in_uSize) {
    if (in_pData == nullptr && in_uSize != 0) {
        return false;
    }
    const uint8_t* pBytes = static_cast<const uint8_t*>(in_pData);
    m_bytes.insert(m_bytes.end(), pBytes, pBytes + in_uSize);
    return true;
}

uint32_t BankWriter::GetPosition() const {
    return static_cast<uint32_t>(m_bytes.size());
}

bool BankWriter::PutString(const char* in_pszValue) {
    if (in_pszValue == nullptr) {
        return false;
    }
    return WriteBytes(in_pszValue, static_cast<uint32_t>(strlen(in_pszValue) + 1));
}

bool BankWriter::PutWideString(const wchar_t* in_pszValue) {
    if (in_pszValue == nullptr) {
        return false;
    }
    for (; *in_pszValue != L'\0'; ++in_pszValue) {
        PutLittleEndian(static_cast<uint16_t>(*in_pszValue), 2);
    }
    PutLittleEndian(0, 2);
    return true;
}

bool BankWriter::PutBool(bool in_bValue) {
    PutLittleEndian(in_bValue ? 1 : 0, 1);
    return true;
}

bool BankWriter::PutInt8(int8_t in_iValue) {
    PutLittleEndian(static_cast<uint8_t>(in_iValue), 1);
    return true;
}

bool BankWriter::PutInt16(int16_t in_iValue) {
    PutLittleEndian(static_cast<uint16_t>(in_iValue), 2);
    return true;
}

bool BankWriter::PutInt32(int32_t in_iValue) {
    PutLittleEndian(static_cast<uint32_t>(in_iValue), 4);
    return true;
}

bool BankWriter::PutUInt32(uint32_t in_uValue) {
    PutLittleEndian(in_uValue, 4);
    return true;
}

bool BankWriter::PutReal32(float in_fValue) {
    uint32_t uBits = 0;
    memcpy(&uBits, &in_fValue, sizeof(uBits));
    PutLittleEndian(uBits, 4);
    return true;
}

bool BankWriter::PutReal64(double in_fValue) {
    uint64_t uBits = 0;
    memcpy(&uBits, &in_fValue, sizeof(uBits));
    PutLittleEndian(uBits, 8);
    return true;
}

}  // namespace host
