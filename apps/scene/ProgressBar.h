// A one-line progress bar on a terminal, redrawn in place; silent when the output is not a
// terminal.
#pragma once

#include <cstdio>

namespace scene {

class ProgressBar {
public:
    explicit ProgressBar(FILE* in_pOutput);
    ~ProgressBar() { Done(); }

    bool Enabled() const { return m_bEnabled; }
    // in_fShare from 0 to 1; redraws when the shown percentage changes.
    void Update(double in_fShare, double in_fSceneSeconds);
    // Ends the line.
    void Done();

private:
    FILE* m_pOutput;
    bool m_bEnabled;
    int m_iShown = -1;
    bool m_bDrawn = false;
};

}  // namespace scene
