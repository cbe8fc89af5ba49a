// Windows, window classes, messages and dialogs.
//
// Every window lives in one table guarded by a mutex. The mutex is held only to look windows up
// and to change the table, never while a window or dialog procedure runs, so that a procedure
// may create, query, message and destroy windows itself.

#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cwctype>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "CallScope.h"
#include "LiveCounters.h"
#include "ModuleRegistry.h"

using standin::detail::CallScope;
using standin::detail::Counters;

namespace {

// The stand-in's dialog font: its average character width and its height, in pixels.
constexpr LONG kDialogBaseUnitX = 6;
constexpr LONG kDialogBaseUnitY = 13;

constexpr DWORD ERROR_CONTROL_ID_NOT_FOUND_VALUE = 1421;
constexpr DWORD ERROR_INVALID_INDEX_VALUE = 1413;

enum class WindowKind { Registered, Button, Static, Dialog };

struct Window {
    HWND hWnd = nullptr;
    WindowKind eKind = WindowKind::Registered;
    std::wstring className;
    WNDPROC pfnWndProc = nullptr;  // registered classes
    DLGPROC pfnDlgProc = nullptr;  // dialogs
    DWORD dwStyle = 0;
    DWORD dwExStyle = 0;
    int iId = 0;
    std::wstring text;
    RECT rect = {0, 0, 0, 0};  // in the parent's client coordinates
    HWND hParent = nullptr;
    std::vector<HWND> children;  // in creation order
    LONG_PTR userData = 0;
    int iCheck = BST_UNCHECKED;
    bool bDestroying = false;
};

struct WindowClass {
    std::wstring name;
    WNDPROC pfnWndProc;
    HINSTANCE hInstance;
    ATOM atom;
};

struct WindowTable {
    std::mutex mutex;
    uintptr_t uNextHandle = 0x10010;
    std::map<HWND, std::shared_ptr<Window>> windows;
    std::vector<WindowClass> classes;
    ATOM nextAtom = 0xC000;
};

WindowTable& Table() {
    static WindowTable* s_pTable = new WindowTable();  // never destroyed: used at exit
    return *s_pTable;
}

bool SameName(const std::wstring& in_a, const std::wstring& in_b) {
    if (in_a.size() != in_b.size()) {
        return false;
    }
    for (size_t i = 0; i < in_a.size(); ++i) {
        if (towupper(in_a[i]) != towupper(in_b[i])) {
            return false;
        }
    }
    return true;
}

std::shared_ptr<Window> Lookup(HWND in_hWnd) {
    WindowTable& table = Table();
    std::lock_guard<std::mutex> lock(table.mutex);
    auto it = table.windows.find(in_hWnd);
    return it == table.windows.end() ? nullptr : it->second;
}

std::shared_ptr<Window> LookupOrFail(HWND in_hWnd) {
    std::shared_ptr<Window> window = Lookup(in_hWnd);
    if (!window) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    }
    return window;
}

// Puts a new window into the table and into its parent's children; null if the parent is gone.
HWND Insert(const std::shared_ptr<Window>& io_window) {
    WindowTable& table = Table();
    std::lock_guard<std::mutex> lock(table.mutex);
    std::shared_ptr<Window> parent;
    if (io_window->hParent != nullptr) {
        auto it = table.windows.find(io_window->hParent);
        if (it == table.windows.end()) {
            return nullptr;
        }
        parent = it->second;
    }
    io_window->hWnd = reinterpret_cast<HWND>(table.uNextHandle);
    table.uNextHandle += 2;
    table.windows[io_window->hWnd] = io_window;
    if (parent) {
        parent->children.push_back(io_window->hWnd);
    }
    Counters().windows.fetch_add(1);
    return io_window->hWnd;
}

void Remove(const std::shared_ptr<Window>& in_window) {
    WindowTable& table = Table();
    std::lock_guard<std::mutex> lock(table.mutex);
    auto parent = table.windows.find(in_window->hParent);
    if (parent != table.windows.end()) {
        std::vector<HWND>& siblings = parent->second->children;
        for (auto it = siblings.begin(); it != siblings.end(); ++it) {
            if (*it == in_window->hWnd) {
                siblings.erase(it);
                break;
            }
        }
    }
    if (table.windows.erase(in_window->hWnd) != 0) {
        Counters().windows.fetch_sub(1);
    }
}

std::vector<HWND> ChildrenOf(const std::shared_ptr<Window>& in_window) {
    std::lock_guard<std::mutex> lock(Table().mutex);
    return in_window->children;
}

LRESULT DefaultProcedure(Window& io_window, UINT in_uMsg, WPARAM in_wParam, LPARAM in_lParam) {
    switch (in_uMsg) {
        case WM_SETTEXT: {
            const wchar_t* pszText = reinterpret_cast<const wchar_t*>(in_lParam);
            std::lock_guard<std::mutex> lock(Table().mutex);
            io_window.text = pszText == nullptr ? std::wstring() : std::wstring(pszText);
            return TRUE;
        }
        case WM_GETTEXT: {
            wchar_t* pszBuffer = reinterpret_cast<wchar_t*>(in_lParam);
            if (pszBuffer == nullptr || in_wParam == 0) {
                return 0;
            }
            std::lock_guard<std::mutex> lock(Table().mutex);
            const size_t uCopied = std::min<size_t>(io_window.text.size(), in_wParam - 1);
            io_window.text.copy(pszBuffer, uCopied);
            pszBuffer[uCopied] = L'\0';
            return static_cast<LRESULT>(uCopied);
        }
        case WM_GETTEXTLENGTH: {
            std::lock_guard<std::mutex> lock(Table().mutex);
            return static_cast<LRESULT>(io_window.text.size());
        }
        default:
            return 0;
    }
}

LRESULT Dispatch(const std::shared_ptr<Window>& in_window, UINT in_uMsg, WPARAM in_wParam,
                 LPARAM in_lParam);

LRESULT ButtonProcedure(const std::shared_ptr<Window>& in_window, UINT in_uMsg, WPARAM in_wParam,
                        LPARAM in_lParam) {
    switch (in_uMsg) {
        case BM_GETCHECK:
            return in_window->iCheck;
        case BM_SETCHECK:
            in_window->iCheck = static_cast<int>(in_wParam);
            return 0;
        case BM_CLICK: {
            if ((in_window->dwStyle & BS_TYPEMASK) == BS_AUTOCHECKBOX) {
                in_window->iCheck = in_window->iCheck == BST_CHECKED ? BST_UNCHECKED : BST_CHECKED;
            }
            if (std::shared_ptr<Window> parent = Lookup(in_window->hParent)) {
                Dispatch(parent, WM_COMMAND,
                         MAKEWPARAM(static_cast<WORD>(in_window->iId), BN_CLICKED),
                         reinterpret_cast<LPARAM>(in_window->hWnd));
            }
            return 0;
        }
        default:
            return DefaultProcedure(*in_window, in_uMsg, in_wParam, in_lParam);
    }
}

LRESULT Dispatch(const std::shared_ptr<Window>& in_window, UINT in_uMsg, WPARAM in_wParam,
                 LPARAM in_lParam) {
    switch (in_window->eKind) {
        case WindowKind::Registered:
            return in_window->pfnWndProc(in_window->hWnd, in_uMsg, in_wParam, in_lParam);
        case WindowKind::Button:
            return ButtonProcedure(in_window, in_uMsg, in_wParam, in_lParam);
        case WindowKind::Static:
            return DefaultProcedure(*in_window, in_uMsg, in_wParam, in_lParam);
        case WindowKind::Dialog: {
            // A dialog procedure answers TRUE for what it handled; the rest gets the default.
            const INT_PTR iHandled =
                in_window->pfnDlgProc(in_window->hWnd, in_uMsg, in_wParam, in_lParam);
            if (iHandled != FALSE) {
                return iHandled;
            }
            return DefaultProcedure(*in_window, in_uMsg, in_wParam, in_lParam);
        }
    }
    return 0;
}

void DestroyTree(const std::shared_ptr<Window>& in_window) {
    {
        std::lock_guard<std::mutex> lock(Table().mutex);
        if (in_window->bDestroying) {
            return;
        }
        in_window->bDestroying = true;
    }
    Dispatch(in_window, WM_DESTROY, 0, 0);
    for (HWND hChild : ChildrenOf(in_window)) {
        if (std::shared_ptr<Window> child = Lookup(hChild)) {
            DestroyTree(child);
        }
    }
    Remove(in_window);
}

LONG MulDivRounded(LONG in_iValue, LONG in_iMultiplier, LONG in_iDivisor) {
    const long long iProduct = static_cast<long long>(in_iValue) * in_iMultiplier;
    const long long iHalf = in_iDivisor / 2;
    return static_cast<LONG>(iProduct >= 0 ? (iProduct + iHalf) / in_iDivisor
                                           : (iProduct - iHalf) / in_iDivisor);
}

RECT DialogUnitsToPixels(int in_x, int in_y, int in_cx, int in_cy) {
    RECT rect;
    rect.left = MulDivRounded(in_x, kDialogBaseUnitX, 4);
    rect.top = MulDivRounded(in_y, kDialogBaseUnitY, 8);
    rect.right = MulDivRounded(in_x + in_cx, kDialogBaseUnitX, 4);
    rect.bottom = MulDivRounded(in_y + in_cy, kDialogBaseUnitY, 8);
    return rect;
}

// Fills the kind, class and procedure of a window of class in_className; false if the class is
// not known.
bool ResolveClass(const std::wstring& in_className, Window& io_window) {
    if (SameName(in_className, L"Button")) {
        io_window.eKind = WindowKind::Button;
        io_window.className = L"Button";
        return true;
    }
    if (SameName(in_className, L"Static")) {
        io_window.eKind = WindowKind::Static;
        io_window.className = L"Static";
        return true;
    }
    WindowTable& table = Table();
    std::lock_guard<std::mutex> lock(table.mutex);
    for (const WindowClass& windowClass : table.classes) {
        if (SameName(windowClass.name, in_className)) {
            io_window.eKind = WindowKind::Registered;
            io_window.className = windowClass.name;
            io_window.pfnWndProc = windowClass.pfnWndProc;
            return true;
        }
    }
    return false;
}

}  // namespace

extern "C" {

ATOM WINAPI RegisterClassExW(const WNDCLASSEXW* lpwcx) {
    CallScope scope("RegisterClassExW");
    if (scope.Failed()) {
        SetLastError(static_cast<DWORD>(scope.Fault()) & 0xFFFFu);
        return 0;
    }
    if (lpwcx == nullptr || lpwcx->cbSize != sizeof(WNDCLASSEXW) ||
        lpwcx->lpszClassName == nullptr || lpwcx->lpfnWndProc == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    const std::wstring name(lpwcx->lpszClassName);
    if (SameName(name, L"Button") || SameName(name, L"Static")) {
        SetLastError(ERROR_CLASS_ALREADY_EXISTS);
        return 0;
    }
    WindowTable& table = Table();
    std::lock_guard<std::mutex> lock(table.mutex);
    for (const WindowClass& windowClass : table.classes) {
        if (SameName(windowClass.name, name)) {
            SetLastError(ERROR_CLASS_ALREADY_EXISTS);
            return 0;
        }
    }
    const ATOM atom = table.nextAtom++;
    table.classes.push_back(WindowClass{name, lpwcx->lpfnWndProc, lpwcx->hInstance, atom});
    return atom;
}

BOOL WINAPI UnregisterClassW(LPCWSTR lpClassName, HINSTANCE) {
    CallScope scope("UnregisterClassW");
    if (lpClassName == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    WindowTable& table = Table();
    std::lock_guard<std::mutex> lock(table.mutex);
    for (auto it = table.classes.begin(); it != table.classes.end(); ++it) {
        if (SameName(it->name, lpClassName)) {
            table.classes.erase(it);
            return TRUE;
        }
    }
    SetLastError(ERROR_CLASS_DOES_NOT_EXIST);
    return FALSE;
}

HWND WINAPI CreateWindowExW(DWORD dwExStyle, LPCWSTR lpClassName, LPCWSTR lpWindowName,
                            DWORD dwStyle, int X, int Y, int nWidth, int nHeight, HWND hWndParent,
                            HMENU hMenu, HINSTANCE, LPVOID) {
    CallScope scope("CreateWindowExW");
    if (scope.Failed()) {
        SetLastError(static_cast<DWORD>(scope.Fault()) & 0xFFFFu);
        return nullptr;
    }
    if (lpClassName == nullptr || IS_INTRESOURCE(lpClassName)) {
        // Class atoms are not kept by the stand-in: name the class.
        fprintf(stderr, "standin: CreateWindowExW needs a class name, not an atom\n");
        SetLastError(ERROR_CANNOT_FIND_WND_CLASS);
        return nullptr;
    }
    auto window = std::make_shared<Window>();
    if (!ResolveClass(lpClassName, *window)) {
        SetLastError(ERROR_CANNOT_FIND_WND_CLASS);
        return nullptr;
    }
    if ((dwStyle & WS_CHILD) != 0 && hWndParent == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    window->dwStyle = dwStyle;
    window->dwExStyle = dwExStyle;
    window->iId =
        (dwStyle & WS_CHILD) != 0 ? static_cast<int>(reinterpret_cast<INT_PTR>(hMenu)) : 0;
    window->text = lpWindowName == nullptr ? std::wstring() : std::wstring(lpWindowName);
    window->rect = RECT{X, Y, X + nWidth, Y + nHeight};
    window->hParent = hWndParent;
    HWND hWnd = Insert(window);
    if (hWnd == nullptr) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    }
    return hWnd;
}

BOOL WINAPI DestroyWindow(HWND hWnd) {
    CallScope scope("DestroyWindow");
    std::shared_ptr<Window> window = LookupOrFail(hWnd);
    if (!window) {
        return FALSE;
    }
    DestroyTree(window);
    return TRUE;
}

BOOL WINAPI IsWindow(HWND hWnd) {
    CallScope scope("IsWindow");
    return Lookup(hWnd) ? TRUE : FALSE;
}

LRESULT WINAPI DefWindowProcW(HWND hWnd, UINT Msg, WPARAM wParam, LPARAM lParam) {
    CallScope scope("DefWindowProcW");
    std::shared_ptr<Window> window = LookupOrFail(hWnd);
    return window ? DefaultProcedure(*window, Msg, wParam, lParam) : 0;
}

LRESULT WINAPI SendMessageW(HWND hWnd, UINT Msg, WPARAM wParam, LPARAM lParam) {
    CallScope scope("SendMessageW");
    std::shared_ptr<Window> window = LookupOrFail(hWnd);
    return window ? Dispatch(window, Msg, wParam, lParam) : 0;
}

HWND WINAPI GetDlgItem(HWND hDlg, int nIDDlgItem) {
    CallScope scope("GetDlgItem");
    std::shared_ptr<Window> dialog = LookupOrFail(hDlg);
    if (!dialog) {
        return nullptr;
    }
    for (HWND hChild : ChildrenOf(dialog)) {
        std::shared_ptr<Window> child = Lookup(hChild);
        if (child && child->iId == nIDDlgItem) {
            return hChild;
        }
    }
    SetLastError(ERROR_CONTROL_ID_NOT_FOUND_VALUE);
    return nullptr;
}

int WINAPI GetDlgCtrlID(HWND hWnd) {
    CallScope scope("GetDlgCtrlID");
    std::shared_ptr<Window> window = LookupOrFail(hWnd);
    return window ? window->iId : 0;
}

HWND WINAPI GetParent(HWND hWnd) {
    CallScope scope("GetParent");
    std::shared_ptr<Window> window = LookupOrFail(hWnd);
    return window ? window->hParent : nullptr;
}

HWND WINAPI GetWindow(HWND hWnd, UINT uCmd) {
    CallScope scope("GetWindow");
    std::shared_ptr<Window> window = LookupOrFail(hWnd);
    if (!window) {
        return nullptr;
    }
    if (uCmd == GW_CHILD) {
        const std::vector<HWND> children = ChildrenOf(window);
        return children.empty() ? nullptr : children.front();
    }
    if (uCmd == GW_HWNDNEXT) {
        std::shared_ptr<Window> parent = Lookup(window->hParent);
        if (!parent) {
            return nullptr;  // the stand-in does not order top-level windows
        }
        const std::vector<HWND> siblings = ChildrenOf(parent);
        for (size_t i = 0; i + 1 < siblings.size(); ++i) {
            if (siblings[i] == hWnd) {
                return siblings[i + 1];
            }
        }
        return nullptr;
    }
    fprintf(stderr, "standin: GetWindow supports GW_CHILD and GW_HWNDNEXT only (asked for %u)\n",
            uCmd);
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
}

int WINAPI GetClassNameW(HWND hWnd, LPWSTR lpClassName, int nMaxCount) {
    CallScope scope("GetClassNameW");
    std::shared_ptr<Window> window = LookupOrFail(hWnd);
    if (!window || lpClassName == nullptr || nMaxCount <= 0) {
        return 0;
    }
    const std::wstring name = window->eKind == WindowKind::Dialog ? L"#32770" : window->className;
    const size_t uCopied = std::min<size_t>(name.size(), static_cast<size_t>(nMaxCount) - 1);
    name.copy(lpClassName, uCopied);
    lpClassName[uCopied] = L'\0';
    return static_cast<int>(uCopied);
}

LONG_PTR WINAPI GetWindowLongPtrW(HWND hWnd, int nIndex) {
    CallScope scope("GetWindowLongPtrW");
    std::shared_ptr<Window> window = LookupOrFail(hWnd);
    if (!window) {
        return 0;
    }
    std::lock_guard<std::mutex> lock(Table().mutex);
    switch (nIndex) {
        case GWL_STYLE:
            return static_cast<LONG_PTR>(window->dwStyle);
        case GWL_EXSTYLE:
            return static_cast<LONG_PTR>(window->dwExStyle);
        case GWLP_USERDATA:
            return window->userData;
        case GWLP_ID:
            return window->iId;
        default:
            fprintf(stderr, "standin: GetWindowLongPtrW does not support the index %d\n", nIndex);
            SetLastError(ERROR_INVALID_INDEX_VALUE);
            return 0;
    }
}

LONG_PTR WINAPI SetWindowLongPtrW(HWND hWnd, int nIndex, LONG_PTR dwNewLong) {
    CallScope scope("SetWindowLongPtrW");
    std::shared_ptr<Window> window = LookupOrFail(hWnd);
    if (!window) {
        return 0;
    }
    std::lock_guard<std::mutex> lock(Table().mutex);
    LONG_PTR previous = 0;
    switch (nIndex) {
        case GWLP_USERDATA:
            previous = window->userData;
            window->userData = dwNewLong;
            return previous;
        case GWLP_ID:
            previous = window->iId;
            window->iId = static_cast<int>(dwNewLong);
            return previous;
        default:
            fprintf(stderr, "standin: SetWindowLongPtrW does not support the index %d\n", nIndex);
            SetLastError(ERROR_INVALID_INDEX_VALUE);
            return 0;
    }
}

BOOL WINAPI GetWindowRect(HWND hWnd, LPRECT lpRect) {
    CallScope scope("GetWindowRect");
    std::shared_ptr<Window> window = LookupOrFail(hWnd);
    if (!window || lpRect == nullptr) {
        return FALSE;
    }
    RECT rect = window->rect;
    for (std::shared_ptr<Window> parent = Lookup(window->hParent); parent;
         parent = Lookup(parent->hParent)) {
        rect.left += parent->rect.left;
        rect.right += parent->rect.left;
        rect.top += parent->rect.top;
        rect.bottom += parent->rect.top;
    }
    *lpRect = rect;
    return TRUE;
}

BOOL WINAPI MapDialogRect(HWND hDlg, LPRECT lpRect) {
    CallScope scope("MapDialogRect");
    std::shared_ptr<Window> dialog = LookupOrFail(hDlg);
    if (!dialog || lpRect == nullptr) {
        return FALSE;
    }
    lpRect->left = MulDivRounded(lpRect->left, kDialogBaseUnitX, 4);
    lpRect->right = MulDivRounded(lpRect->right, kDialogBaseUnitX, 4);
    lpRect->top = MulDivRounded(lpRect->top, kDialogBaseUnitY, 8);
    lpRect->bottom = MulDivRounded(lpRect->bottom, kDialogBaseUnitY, 8);
    return TRUE;
}

HWND WINAPI CreateDialogParamW(HINSTANCE hInstance, LPCWSTR lpTemplateName, HWND hWndParent,
                               DLGPROC lpDialogFunc, LPARAM dwInitParam) {
    CallScope scope("CreateDialogParamW");
    if (scope.Failed()) {
        SetLastError(static_cast<DWORD>(scope.Fault()) & 0xFFFFu);
        return nullptr;
    }
    if (lpTemplateName == nullptr || lpDialogFunc == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    standin::DialogTemplate dialogTemplate;
    DWORD dwError = ERROR_SUCCESS;
    if (!standin::detail::FindDialogTemplate(hInstance, lpTemplateName, dialogTemplate, dwError)) {
        SetLastError(dwError);
        return nullptr;
    }
    if (hWndParent != nullptr && !Lookup(hWndParent)) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return nullptr;
    }

    auto dialog = std::make_shared<Window>();
    dialog->eKind = WindowKind::Dialog;
    dialog->className = L"#32770";
    dialog->pfnDlgProc = lpDialogFunc;
    dialog->dwStyle = dialogTemplate.style;
    dialog->dwExStyle = dialogTemplate.exStyle;
    dialog->text = dialogTemplate.caption;
    dialog->rect = DialogUnitsToPixels(dialogTemplate.x, dialogTemplate.y, dialogTemplate.cx,
                                       dialogTemplate.cy);
    dialog->hParent = hWndParent;
    HWND hDlg = Insert(dialog);
    if (hDlg == nullptr) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return nullptr;
    }

    HWND hFocus = nullptr;
    for (const standin::DialogControlTemplate& control : dialogTemplate.controls) {
        auto window = std::make_shared<Window>();
        if (!ResolveClass(control.className, *window)) {
            Remove(dialog);
            for (HWND hChild : ChildrenOf(dialog)) {
                if (std::shared_ptr<Window> child = Lookup(hChild)) {
                    Remove(child);
                }
            }
            SetLastError(ERROR_CANNOT_FIND_WND_CLASS);
            return nullptr;
        }
        window->dwStyle = control.style;
        window->dwExStyle = control.exStyle;
        window->iId = control.id;
        window->text = control.text;
        window->rect = DialogUnitsToPixels(control.x, control.y, control.cx, control.cy);
        window->hParent = hDlg;
        HWND hControl = Insert(window);
        if (hFocus == nullptr && (control.style & WS_TABSTOP) != 0) {
            hFocus = hControl;
        }
    }
    Dispatch(dialog, WM_INITDIALOG, reinterpret_cast<WPARAM>(hFocus), dwInitParam);
    return hDlg;
}

}  // extern "C"
