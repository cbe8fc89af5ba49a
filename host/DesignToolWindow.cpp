#include "DesignToolWindow.h"

#include <string.h>

namespace host {
namespace {

const wchar_t kClassName[] = L"OrvelDesignToolWindow";

// The class is registered while any design-tool window exists.
int g_iWindows = 0;

}  // namespace

DesignToolWindow::DesignToolWindow() {
    if (g_iWindows++ == 0) {
        WNDCLASSEXW windowClass;
        memset(&windowClass, 0, sizeof(windowClass));
        windowClass.cbSize = sizeof(windowClass);
        windowClass.lpfnWndProc = &DesignToolWindow::WindowProcedure;
        windowClass.lpszClassName = kClassName;
        RegisterClassExW(&windowClass);
    }
    m_hWnd = CreateWindowExW(0, kClassName, L"Orvel", WS_OVERLAPPED, 0, 0, 1280, 800, nullptr,
                             nullptr, nullptr, nullptr);
    SetWindowLongPtrW(m_hWnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
}

DesignToolWindow::~DesignToolWindow() {
    DestroyWindow(m_hWnd);
    if (--g_iWindows == 0) {
        UnregisterClassW(kClassName, nullptr);
    }
}

LRESULT CALLBACK DesignToolWindow::WindowProcedure(HWND in_hWnd, UINT in_uMsg, WPARAM in_wParam,
                                                   LPARAM in_lParam) {
    auto* pWindow = reinterpret_cast<DesignToolWindow*>(GetWindowLongPtrW(in_hWnd, GWLP_USERDATA));
    if (pWindow != nullptr && in_uMsg >= WM_USER) {
        pWindow->m_messages.push_back(ReceivedMessage{in_uMsg, in_wParam, in_lParam});
        return 0;
    }
    return DefWindowProcW(in_hWnd, in_uMsg, in_wParam, in_lParam);
}

}  // namespace host
