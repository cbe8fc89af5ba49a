// The design tool's own window: the parent of hosted plug-in dialogs and the window that a
// plug-in's dialog request messages. It records every private message (WM_USER and above) that
// it receives. User-interface thread only.
#pragma once

#include <windows.h>

#include <vector>

namespace host {

struct ReceivedMessage {
    UINT uMsg;
    WPARAM wParam;
    LPARAM lParam;
};

class DesignToolWindow {
public:
    DesignToolWindow();
    ~DesignToolWindow();
    DesignToolWindow(const DesignToolWindow&) = delete;
    DesignToolWindow& operator=(const DesignToolWindow&) = delete;

    HWND Window() const { return m_hWnd; }
    const std::vector<ReceivedMessage>& PrivateMessages() const { return m_messages; }

private:
    static LRESULT CALLBACK WindowProcedure(HWND in_hWnd, UINT in_uMsg, WPARAM in_wParam,
                                            LPARAM in_lParam);

    HWND m_hWnd = nullptr;
    std::vector<ReceivedMessage> m_messages;
};

}  // namespace host
