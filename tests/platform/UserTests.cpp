// The stand-in's windows: texts, check boxes, the order of WM_DESTROY, and dialogs created from
// this test program's own resource script (UserTestDialogs.rc).

#include <gtest/gtest.h>

#include <windows.h>

#include <string.h>

#include <string>
#include <vector>

#include "StandinFixture.h"

namespace {

using testing_support::StandinTest;

struct Delivered {
    HWND hWnd;
    UINT uMsg;
    WPARAM wParam;
    LPARAM lParam;
};

std::vector<Delivered> g_delivered;

LRESULT CALLBACK RecordingWindowProcedure(HWND in_hWnd, UINT in_uMsg, WPARAM in_wParam,
                                          LPARAM in_lParam) {
    g_delivered.push_back(Delivered{in_hWnd, in_uMsg, in_wParam, in_lParam});
    return DefWindowProcW(in_hWnd, in_uMsg, in_wParam, in_lParam);
}

// Controls that the dialog procedure found at WM_INITDIALOG.
int g_iControlsAtInit = -1;

INT_PTR CALLBACK RecordingDialogProcedure(HWND in_hDlg, UINT in_uMsg, WPARAM in_wParam,
                                          LPARAM in_lParam) {
    g_delivered.push_back(Delivered{in_hDlg, in_uMsg, in_wParam, in_lParam});
    if (in_uMsg == WM_INITDIALOG) {
        g_iControlsAtInit = 0;
        for (HWND hChild = GetWindow(in_hDlg, GW_CHILD); hChild != nullptr;
             hChild = GetWindow(hChild, GW_HWNDNEXT)) {
            ++g_iControlsAtInit;
        }
        return TRUE;
    }
    return FALSE;
}

std::wstring TextOf(HWND in_hWnd) {
    wchar_t szText[128];
    const LRESULT iLength =
        SendMessageW(in_hWnd, WM_GETTEXT, 128, reinterpret_cast<LPARAM>(szText));
    return std::wstring(szText, static_cast<size_t>(iLength));
}

class UserTest : public StandinTest {
protected:
    void SetUp() override {
        StandinTest::SetUp();
        g_delivered.clear();
        g_iControlsAtInit = -1;
        WNDCLASSEXW windowClass;
        memset(&windowClass, 0, sizeof(windowClass));
        windowClass.cbSize = sizeof(windowClass);
        windowClass.lpfnWndProc = &RecordingWindowProcedure;
        windowClass.lpszClassName = L"RecordingWindow";
        ASSERT_NE(0, RegisterClassExW(&windowClass));
    }
    void TearDown() override {
        EXPECT_TRUE(UnregisterClassW(L"RecordingWindow", nullptr));
        StandinTest::TearDown();
    }

    HWND MakeParent() {
        return CreateWindowExW(0, L"recordingwindow", L"parent", WS_OVERLAPPED, 100, 50, 400, 300,
                               nullptr, nullptr, nullptr, nullptr);
    }
};

TEST_F(UserTest, TextsAreSetReadAndTruncatedToTheBuffer) {
    HWND hParent = MakeParent();
    ASSERT_NE(nullptr, hParent);
    HWND hStatic = CreateWindowExW(0, L"Static", L"start", WS_CHILD, 1, 2, 3, 4, hParent,
                                   reinterpret_cast<HMENU>(7), nullptr, nullptr);
    ASSERT_NE(nullptr, hStatic);
    EXPECT_EQ(hStatic, GetDlgItem(hParent, 7));
    EXPECT_EQ(7, GetDlgCtrlID(hStatic));
    EXPECT_EQ(hParent, GetParent(hStatic));

    EXPECT_EQ(L"start", TextOf(hStatic));
    EXPECT_EQ(TRUE, SendMessageW(hStatic, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(L"16")));
    EXPECT_EQ(L"16", TextOf(hStatic));
    EXPECT_EQ(2, SendMessageW(hStatic, WM_GETTEXTLENGTH, 0, 0));
    wchar_t szShort[2] = {L'x', L'x'};
    EXPECT_EQ(1, SendMessageW(hStatic, WM_GETTEXT, 2, reinterpret_cast<LPARAM>(szShort)));
    EXPECT_EQ(L'1', szShort[0]);
    EXPECT_EQ(L'\0', szShort[1]);

    // Registered classes get their messages through their window procedure.
    SendMessageW(hParent, WM_USER + 5, 47, 0);
    ASSERT_FALSE(g_delivered.empty());
    EXPECT_EQ(static_cast<UINT>(WM_USER + 5), g_delivered.back().uMsg);
    EXPECT_EQ(47u, g_delivered.back().wParam);

    EXPECT_TRUE(DestroyWindow(hParent));
}

TEST_F(UserTest, AnAutoCheckBoxToggledByAClickTellsItsParent) {
    HWND hParent = MakeParent();
    HWND hCheck = CreateWindowExW(0, L"BUTTON", L"Bypass", WS_CHILD | BS_AUTOCHECKBOX, 0, 0, 10, 10,
                                  hParent, reinterpret_cast<HMENU>(21046), nullptr, nullptr);
    HWND hPlain = CreateWindowExW(0, L"Button", L"Plain", WS_CHILD | BS_CHECKBOX, 0, 0, 10, 10,
                                  hParent, reinterpret_cast<HMENU>(5), nullptr, nullptr);
    ASSERT_NE(nullptr, hCheck);
    g_delivered.clear();
    EXPECT_EQ(BST_UNCHECKED, SendMessageW(hCheck, BM_GETCHECK, 0, 0));
    SendMessageW(hCheck, BM_CLICK, 0, 0);
    EXPECT_EQ(BST_CHECKED, SendMessageW(hCheck, BM_GETCHECK, 0, 0));
    ASSERT_EQ(1u, g_delivered.size());
    EXPECT_EQ(hParent, g_delivered[0].hWnd);
    EXPECT_EQ(static_cast<UINT>(WM_COMMAND), g_delivered[0].uMsg);
    EXPECT_EQ(MAKEWPARAM(21046, BN_CLICKED), g_delivered[0].wParam);
    EXPECT_EQ(reinterpret_cast<LPARAM>(hCheck), g_delivered[0].lParam);

    // A plain check box only notifies; its owner decides the state.
    SendMessageW(hPlain, BM_CLICK, 0, 0);
    EXPECT_EQ(BST_UNCHECKED, SendMessageW(hPlain, BM_GETCHECK, 0, 0));
    EXPECT_EQ(2u, g_delivered.size());
    DestroyWindow(hParent);
}

TEST_F(UserTest, DestroyingAWindowTellsItFirstThenItsChildrenAndRemovesThemAll) {
    HWND hParent = MakeParent();
    HWND hChild = CreateWindowExW(0, L"RecordingWindow", L"", WS_CHILD, 0, 0, 1, 1, hParent,
                                  nullptr, nullptr, nullptr);
    HWND hGrandChild = CreateWindowExW(0, L"RecordingWindow", L"", WS_CHILD, 0, 0, 1, 1, hChild,
                                       nullptr, nullptr, nullptr);
    ASSERT_NE(nullptr, hGrandChild);
    EXPECT_EQ(3u, standin::Live().windows);
    g_delivered.clear();
    EXPECT_TRUE(DestroyWindow(hParent));
    ASSERT_EQ(3u, g_delivered.size());
    EXPECT_EQ(hParent, g_delivered[0].hWnd);
    EXPECT_EQ(hChild, g_delivered[1].hWnd);
    EXPECT_EQ(hGrandChild, g_delivered[2].hWnd);
    for (const Delivered& message : g_delivered) {
        EXPECT_EQ(static_cast<UINT>(WM_DESTROY), message.uMsg);
    }
    EXPECT_FALSE(IsWindow(hChild));
    EXPECT_EQ(0u, standin::Live().windows);

    // A destroyed window takes no messages, and its handle is not given out again.
    EXPECT_EQ(0, SendMessageW(hChild, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(L"x")));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_WINDOW_HANDLE), GetLastError());
    EXPECT_FALSE(DestroyWindow(hChild));
    HWND hNew = MakeParent();
    EXPECT_NE(hParent, hNew);
    EXPECT_NE(hChild, hNew);
    DestroyWindow(hNew);
}

TEST_F(UserTest, ClassesMustBeKnownAndAreRegisteredOnce) {
    EXPECT_EQ(nullptr, CreateWindowExW(0, L"NoSuchClass", L"", 0, 0, 0, 1, 1, nullptr, nullptr,
                                       nullptr, nullptr));
    EXPECT_EQ(static_cast<DWORD>(ERROR_CANNOT_FIND_WND_CLASS), GetLastError());
    WNDCLASSEXW windowClass;
    memset(&windowClass, 0, sizeof(windowClass));
    windowClass.cbSize = sizeof(windowClass);
    windowClass.lpfnWndProc = &RecordingWindowProcedure;
    windowClass.lpszClassName = L"RECORDINGWINDOW";
    EXPECT_EQ(0, RegisterClassExW(&windowClass));
    EXPECT_EQ(static_cast<DWORD>(ERROR_CLASS_ALREADY_EXISTS), GetLastError());
    EXPECT_FALSE(UnregisterClassW(L"NoSuchClass", nullptr));
}

TEST_F(UserTest, ADialogIsBuiltFromTheModuleResourceBeforeItsProcedureHearsOfIt) {
    HWND hParent = MakeParent();
    HWND hDlg = CreateDialogParamW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(200), hParent,
                                   &RecordingDialogProcedure, 1234);
    ASSERT_NE(nullptr, hDlg);

    // WM_INITDIALOG came once, after all three controls existed, with the first tab stop and
    // the caller's parameter.
    int iInits = 0;
    for (const Delivered& message : g_delivered) {
        if (message.uMsg == WM_INITDIALOG) {
            ++iInits;
            EXPECT_EQ(hDlg, message.hWnd);
            EXPECT_EQ(reinterpret_cast<WPARAM>(GetDlgItem(hDlg, 10)), message.wParam);
            EXPECT_EQ(1234, message.lParam);
        }
    }
    EXPECT_EQ(1, iInits);
    EXPECT_EQ(3, g_iControlsAtInit);

    // Controls in resource order, with their classes, texts, styles and positions in pixels.
    HWND hLabel = GetWindow(hDlg, GW_CHILD);
    HWND hCheck = GetWindow(hLabel, GW_HWNDNEXT);
    EXPECT_EQ(hCheck, GetDlgItem(hDlg, 10));
    EXPECT_EQ(GetDlgItem(hDlg, 11), GetWindow(hCheck, GW_HWNDNEXT));
    EXPECT_EQ(-1, GetDlgCtrlID(hLabel));
    wchar_t szClass[32];
    GetClassNameW(hLabel, szClass, 32);
    EXPECT_STREQ(L"Static", szClass);
    GetClassNameW(hDlg, szClass, 32);
    EXPECT_STREQ(L"#32770", szClass);
    EXPECT_EQ(L"Check", TextOf(hCheck));
    EXPECT_EQ(static_cast<LONG_PTR>(WS_CHILD | WS_VISIBLE | BS_AUTOCHECKBOX | WS_TABSTOP),
              GetWindowLongPtrW(hCheck, GWL_STYLE));

    RECT expected = {50, 8, 110, 18};
    ASSERT_TRUE(MapDialogRect(hDlg, &expected));
    EXPECT_EQ(75, expected.left);  // 50 dialog units of a 6-pixel average character
    RECT dialogRect;
    RECT checkRect;
    GetWindowRect(hDlg, &dialogRect);
    GetWindowRect(hCheck, &checkRect);
    EXPECT_EQ(expected.left, checkRect.left - dialogRect.left);
    EXPECT_EQ(expected.top, checkRect.top - dialogRect.top);
    EXPECT_EQ(expected.right, checkRect.right - dialogRect.left);
    EXPECT_EQ(expected.bottom, checkRect.bottom - dialogRect.top);
    // The dialog itself sits at its resource position inside its parent.
    EXPECT_EQ(100 + 15, dialogRect.left);
    EXPECT_EQ(50 + 33, dialogRect.top);

    // A click in the dialog reaches the dialog procedure as WM_COMMAND.
    g_delivered.clear();
    SendMessageW(hCheck, BM_CLICK, 0, 0);
    ASSERT_EQ(1u, g_delivered.size());
    EXPECT_EQ(static_cast<UINT>(WM_COMMAND), g_delivered[0].uMsg);

    g_delivered.clear();
    EXPECT_TRUE(DestroyWindow(hParent));
    EXPECT_FALSE(IsWindow(hDlg));
    ASSERT_FALSE(g_delivered.empty());
    EXPECT_EQ(hParent, g_delivered[0].hWnd);
    EXPECT_EQ(hDlg, g_delivered[1].hWnd);
    EXPECT_EQ(static_cast<UINT>(WM_DESTROY), g_delivered[1].uMsg);
}

TEST_F(UserTest, DialogCreationFailsForMissingResourcesAndUnknownClasses) {
    HMODULE hSelf = GetModuleHandleW(nullptr);
    EXPECT_EQ(nullptr, CreateDialogParamW(hSelf, MAKEINTRESOURCEW(999), nullptr,
                                          &RecordingDialogProcedure, 0));
    EXPECT_EQ(static_cast<DWORD>(ERROR_RESOURCE_NAME_NOT_FOUND), GetLastError());
    EXPECT_EQ(nullptr, CreateDialogParamW(hSelf, MAKEINTRESOURCEW(201), nullptr,
                                          &RecordingDialogProcedure, 0));
    EXPECT_EQ(static_cast<DWORD>(ERROR_CANNOT_FIND_WND_CLASS), GetLastError());
    // A module without a resource script.
    HMODULE hProbe = LoadLibraryW(L"StandinLoaderProbe.dll");
    ASSERT_NE(nullptr, hProbe);
    EXPECT_EQ(nullptr, CreateDialogParamW(hProbe, MAKEINTRESOURCEW(200), nullptr,
                                          &RecordingDialogProcedure, 0));
    EXPECT_EQ(static_cast<DWORD>(ERROR_RESOURCE_TYPE_NOT_FOUND), GetLastError());
    FreeLibrary(hProbe);
    EXPECT_TRUE(g_delivered.empty());
}

}  // namespace
