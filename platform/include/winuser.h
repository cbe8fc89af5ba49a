// Windows, window classes, messages and dialogs: the part that the design-tool plug-ins and the
// design-tool host use.
//
// Off Windows the stand-in keeps every window in one process-wide table and calls window and
// dialog procedures on the thread that sends the message. Windows are meant to be used from one
// user-interface thread, as on Windows. Dialogs are created from the dialog resources of a module
// (see CreateDialogParamW).
#pragma once

#include "windef.h"

typedef WORD ATOM;
typedef struct HMENU__* HMENU;
typedef struct HICON__* HICON;
typedef HICON HCURSOR;
typedef struct HBRUSH__* HBRUSH;

typedef LRESULT(CALLBACK* WNDPROC)(HWND, UINT, WPARAM, LPARAM);
typedef INT_PTR(CALLBACK* DLGPROC)(HWND, UINT, WPARAM, LPARAM);

typedef struct tagRECT {
    LONG left;
    LONG top;
    LONG right;
    LONG bottom;
} RECT, *PRECT, *LPRECT;
typedef const RECT* LPCRECT;

typedef struct tagWNDCLASSEXW {
    UINT cbSize;
    UINT style;
    WNDPROC lpfnWndProc;
    int cbClsExtra;
    int cbWndExtra;
    HINSTANCE hInstance;
    HICON hIcon;
    HCURSOR hCursor;
    HBRUSH hbrBackground;
    LPCWSTR lpszMenuName;
    LPCWSTR lpszClassName;
    HICON hIconSm;
} WNDCLASSEXW, *PWNDCLASSEXW, *LPWNDCLASSEXW;

#define LOWORD(l) ((WORD)(((DWORD_PTR)(l)) & 0xffff))
#define HIWORD(l) ((WORD)((((DWORD_PTR)(l)) >> 16) & 0xffff))
#define MAKEWPARAM(l, h) ((WPARAM)(DWORD)(((DWORD)(WORD)(l)) | (((DWORD)(WORD)(h)) << 16)))
#define IS_INTRESOURCE(r) ((((ULONG_PTR)(r)) >> 16) == 0)

// Messages.
#define WM_DESTROY 0x0002
#define WM_SETTEXT 0x000C
#define WM_GETTEXT 0x000D
#define WM_GETTEXTLENGTH 0x000E
#define WM_INITDIALOG 0x0110
#define WM_COMMAND 0x0111
#define WM_USER 0x0400

// Button messages and notifications.
#define BM_GETCHECK 0x00F0
#define BM_SETCHECK 0x00F1
#define BM_CLICK 0x00F5
#define BN_CLICKED 0
#define BST_UNCHECKED 0x0000
#define BST_CHECKED 0x0001

// Window styles.
#define WS_OVERLAPPED 0x00000000L
#define WS_POPUP 0x80000000L
#define WS_CHILD 0x40000000L
#define WS_VISIBLE 0x10000000L
#define WS_DISABLED 0x08000000L
#define WS_CLIPSIBLINGS 0x04000000L
#define WS_CLIPCHILDREN 0x02000000L
#define WS_CAPTION 0x00C00000L
#define WS_BORDER 0x00800000L
#define WS_SYSMENU 0x00080000L
#define WS_GROUP 0x00020000L
#define WS_TABSTOP 0x00010000L

// Dialog styles.
#define DS_FIXEDSYS 0x0008L
#define DS_SETFONT 0x0040L
#define DS_CONTROL 0x0400L
#define DS_SHELLFONT (DS_SETFONT | DS_FIXEDSYS)

// Button and static control styles.
#define BS_PUSHBUTTON 0x00000000L
#define BS_DEFPUSHBUTTON 0x00000001L
#define BS_CHECKBOX 0x00000002L
#define BS_AUTOCHECKBOX 0x00000003L
#define BS_GROUPBOX 0x00000007L
#define BS_TYPEMASK 0x0000000FL
#define SS_LEFT 0x00000000L
#define SS_CENTER 0x00000001L
#define SS_RIGHT 0x00000002L
#define SS_LEFTNOWORDWRAP 0x0000000CL

// GetWindowLongPtrW and SetWindowLongPtrW.
#define GWL_STYLE (-16)
#define GWL_EXSTYLE (-20)
#define GWLP_USERDATA (-21)
#define GWLP_ID (-12)

// GetWindow.
#define GW_HWNDNEXT 2
#define GW_CHILD 5

#ifdef __cplusplus
extern "C" {
#endif

// Window classes are process-wide by name (compared without regard to case). "Button" and
// "Static" are built in, with the check-box and text behaviour that dialogs need.
__declspec(dllimport) ATOM WINAPI RegisterClassExW(const WNDCLASSEXW* lpwcx);
__declspec(dllimport) BOOL WINAPI UnregisterClassW(LPCWSTR lpClassName, HINSTANCE hInstance);

// x, y, nWidth and nHeight are in the parent's client coordinates (the stand-in's windows have no
// non-client area). For a child window hMenu carries its control id. No creation messages are
// sent.
__declspec(dllimport) HWND WINAPI
    CreateWindowExW(DWORD dwExStyle, LPCWSTR lpClassName, LPCWSTR lpWindowName, DWORD dwStyle,
                    int X, int Y, int nWidth, int nHeight, HWND hWndParent, HMENU hMenu,
                    HINSTANCE hInstance, LPVOID lpParam);
// Sends WM_DESTROY to the window and then to each of its children, and removes them.
__declspec(dllimport) BOOL WINAPI DestroyWindow(HWND hWnd);
__declspec(dllimport) BOOL WINAPI IsWindow(HWND hWnd);
__declspec(dllimport) LRESULT WINAPI
    DefWindowProcW(HWND hWnd, UINT Msg, WPARAM wParam, LPARAM lParam);
__declspec(dllimport) LRESULT WINAPI
    SendMessageW(HWND hWnd, UINT Msg, WPARAM wParam, LPARAM lParam);

__declspec(dllimport) HWND WINAPI GetDlgItem(HWND hDlg, int nIDDlgItem);
__declspec(dllimport) int WINAPI GetDlgCtrlID(HWND hWnd);
__declspec(dllimport) HWND WINAPI GetParent(HWND hWnd);
__declspec(dllimport) HWND WINAPI GetWindow(HWND hWnd, UINT uCmd);
__declspec(dllimport) int WINAPI GetClassNameW(HWND hWnd, LPWSTR lpClassName, int nMaxCount);
__declspec(dllimport) LONG_PTR WINAPI GetWindowLongPtrW(HWND hWnd, int nIndex);
__declspec(dllimport) LONG_PTR WINAPI SetWindowLongPtrW(HWND hWnd, int nIndex, LONG_PTR dwNewLong);
// In screen coordinates: a top-level window's position plus those of its ancestors.
__declspec(dllimport) BOOL WINAPI GetWindowRect(HWND hWnd, LPRECT lpRect);
// Dialog units to pixels. The stand-in's dialog font has the base units 6 (horizontal) and 13
// (vertical) whatever the dialog resource names.
__declspec(dllimport) BOOL WINAPI MapDialogRect(HWND hDlg, LPRECT lpRect);

// Creates a modeless dialog from the DIALOGEX resource lpTemplateName of the module hInstance
// (the stand-in reads the module's resource script, see standin/ModuleHooks.h), creates its
// controls in resource order, and sends WM_INITDIALOG (wParam: the first control with WS_TABSTOP,
// lParam: dwInitParam) to lpDialogFunc before returning.
__declspec(dllimport) HWND WINAPI
    CreateDialogParamW(HINSTANCE hInstance, LPCWSTR lpTemplateName, HWND hWndParent,
                       DLGPROC lpDialogFunc, LPARAM dwInitParam);

#ifdef __cplusplus
}
#endif
