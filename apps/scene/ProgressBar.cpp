#include "ProgressBar.h"

#include <unistd.h>

#include <algorithm>

namespace scene {

ProgressBar::ProgressBar(FILE* in_pOutput)
    : m_pOutput(in_pOutput), m_bEnabled(isatty(fileno(in_pOutput)) != 0) {}

void ProgressBar::Update(double in_fShare, double in_fSceneSeconds) {
    if (!m_bEnabled) {
        return;
    }
    const int iPercent = static_cast<int>(std::clamp(in_fShare, 0.0, 1.0) * 100.0);
    if (iPercent == m_iShown) {
        return;
    }
    m_iShown = iPercent;
    constexpr int kWidth = 40;
    const int iFilled = iPercent * kWidth / 100;
    char szBar[kWidth + 1];
    for (int i = 0; i < kWidth; ++i) {
        szBar[i] = i < iFilled ? '#' : '.';
    }
    szBar[kWidth] = '\0';
    std::fprintf(m_pOutput, "\r[%s] %3d%%  %.1f / %.1f s", szBar, iPercent,
                 in_fSceneSeconds * iPercent / 100.0, in_fSceneSeconds);
    std::fflush(m_pOutput);
    m_bDrawn = true;
}

void ProgressBar::Done() {
    if (m_bDrawn) {
        std::fputc('\n', m_pOutput);
        std::fflush(m_pOutput);
        m_bDrawn = false;
    }
}

}  // namespace scene
