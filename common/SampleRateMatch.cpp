#include "SampleRateMatch.h"

RateMismatchText::RateMismatchText(const char* in_pszPrefix, uint32_t in_uEngineRate,
                                   uint32_t in_uRendererRate, const char* in_pszSuffix) {
    m_szText[0] = '\0';
    Append(in_pszPrefix);
    Append("the engine runs at ");
    AppendNumber(in_uEngineRate);
    Append(" Hz, the renderer plays at ");
    AppendNumber(in_uRendererRate);
    Append(" Hz");
    Append(in_pszSuffix);
}

void RateMismatchText::Append(const char* in_pszText) {
    if (in_pszText == nullptr) {
        return;
    }
    // One byte always stays for the terminator.
    while (*in_pszText != '\0' && m_uLength + 1 < kCapacity) {
        m_szText[m_uLength++] = *in_pszText++;
    }
    m_szText[m_uLength] = '\0';
}

void RateMismatchText::AppendNumber(uint32_t in_uValue) {
    // Ten digits hold any 32-bit value; they are made from the last one back.
    char szDigits[11];
    size_t uFirst = sizeof(szDigits) - 1;
    szDigits[uFirst] = '\0';
    do {
        szDigits[--uFirst] = static_cast<char>('0' + in_uValue % 10);
        in_uValue /= 10;
    } while (in_uValue != 0);
    Append(szDigits + uFirst);
}
